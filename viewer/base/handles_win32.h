// Owners of the Win32 handles the viewer releases: each handle is released
// by its owner's destructor, once, whichever way its scope ends.
#pragma once

#include <windows.h>
#include <commctrl.h>

#include <utility>

namespace kelvora {

// A handle with its release function; null (or the traits' invalid value)
// owns nothing.
template <typename Traits>
class Owned {
 public:
  using Handle = typename Traits::Handle;

  Owned() = default;
  explicit Owned(Handle handle) : handle_(handle) {}
  ~Owned() { reset(); }
  Owned(Owned&& other) noexcept : handle_(std::exchange(other.handle_, Traits::invalid())) {}
  Owned& operator=(Owned&& other) noexcept {
    if (this != &other) {
      reset();
      handle_ = std::exchange(other.handle_, Traits::invalid());
    }
    return *this;
  }
  Owned(const Owned&) = delete;
  Owned& operator=(const Owned&) = delete;

  Handle get() const { return handle_; }
  explicit operator bool() const { return handle_ != Traits::invalid(); }
  // Releases what is owned and takes handle.
  void reset(Handle handle = Traits::invalid()) {
    if (handle_ != Traits::invalid()) Traits::release(handle_);
    handle_ = handle;
  }
  // Gives the handle up without releasing it.
  Handle release() { return std::exchange(handle_, Traits::invalid()); }
  // For calls that return the handle through a pointer.
  Handle* put() {
    reset();
    return &handle_;
  }

 private:
  Handle handle_ = Traits::invalid();
};

template <typename H, auto Release>
struct HandleTraits {
  using Handle = H;
  static Handle invalid() { return nullptr; }
  static void release(Handle handle) { Release(handle); }
};

using GdiBitmap = Owned<HandleTraits<HBITMAP, DeleteObject>>;
using GdiFont = Owned<HandleTraits<HFONT, DeleteObject>>;
using GdiBrush = Owned<HandleTraits<HBRUSH, DeleteObject>>;
using DeviceContext = Owned<HandleTraits<HDC, DeleteDC>>;
using RegistryKey = Owned<HandleTraits<HKEY, RegCloseKey>>;
using KernelHandle = Owned<HandleTraits<HANDLE, CloseHandle>>;
using ImageList = Owned<HandleTraits<HIMAGELIST, ImageList_Destroy>>;
using IconHandle = Owned<HandleTraits<HICON, DestroyIcon>>;

// A file opened with CreateFile: its invalid value is not null.
struct FileHandleTraits {
  using Handle = HANDLE;
  static Handle invalid() { return INVALID_HANDLE_VALUE; }
  static void release(Handle handle) { CloseHandle(handle); }
};
using FileHandle = Owned<FileHandleTraits>;

// A COM interface pointer, released once.
template <typename Interface>
struct ComTraits {
  using Handle = Interface*;
  static Handle invalid() { return nullptr; }
  static void release(Handle pointer) { pointer->Release(); }
};
template <typename Interface>
using ComPtr = Owned<ComTraits<Interface>>;

// Selects an object into a device context for a scope.
class SelectedObject {
 public:
  SelectedObject(HDC dc, HGDIOBJ object) : dc_(dc), old_(SelectObject(dc, object)) {}
  ~SelectedObject() { SelectObject(dc_, old_); }
  SelectedObject(const SelectedObject&) = delete;
  SelectedObject& operator=(const SelectedObject&) = delete;

 private:
  HDC dc_;
  HGDIOBJ old_;
};

}  // namespace kelvora
