// Burnable CD images: writing the CD's folder as an ISO 9660 image with
// Joliet and Rock Ridge names, and reading such an image in place of the
// folder.  Both go through the xorriso program; the tool writes no ISO
// structures itself.
#pragma once

#include <optional>
#include <string>

namespace kelvora::cli {

// The volume label as it goes into the image: 1 to 32 of A-Z, 0-9 and _,
// lower case raised.  Nothing when the label cannot be one.
std::optional<std::string> volume_label(const std::string& label);

// The autorun.inf that starts the viewer when the CD is inserted, lines
// ending in CR LF.
std::string autorun_text(const std::string& viewer_name, const std::string& label);

// True when the file at path is an ISO 9660 image (its first volume
// descriptor says CD001).
bool is_iso_image(const std::string& path);

// The message that says how to get xorriso, or nothing when it can be run.
std::optional<std::string> xorriso_missing();

// Writes the contents of directory as the image file.  Returns an empty
// text on success, else what went wrong.
std::string write_iso_image(const std::string& directory, const std::string& image,
                            const std::string& label);

// What a command needs of an image: the viewer file alone (info, list), or
// every file (extract, test).
enum class ImageNeeds { ViewerFile, AllFiles };

// A copy of an image's files in a fresh temporary directory, removed with
// everything in it when the copy ends.
class ImageCopy {
 public:
  ImageCopy() = default;
  ~ImageCopy();
  ImageCopy(ImageCopy&& other) noexcept : directory_(std::move(other.directory_)) {
    other.directory_.clear();
  }
  ImageCopy& operator=(ImageCopy&& other) noexcept;
  ImageCopy(const ImageCopy&) = delete;
  ImageCopy& operator=(const ImageCopy&) = delete;

  // Copies the files of image that are needed; an empty text on success,
  // else what went wrong.
  std::string open(const std::string& image, ImageNeeds needs);
  // The directory that holds the image's files.
  std::string files() const { return directory_.empty() ? "" : directory_ + "/cd"; }

 private:
  void remove();
  bool copy_viewer_files(const std::string& image);
  std::string directory_;
};

}  // namespace kelvora::cli
