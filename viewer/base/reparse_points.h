// What a reparse point is, from its tag.  Windows marks many files and
// folders as reparse points that are no links at all: OneDrive's
// on-demand files and folders, deduplicated and compressed system files,
// App Execution Aliases.  Only a name surrogate (a symbolic link, a
// junction or a volume mount point, or any tag with the name-surrogate bit)
// makes a name lead to another place; everything else is the file or folder
// it looks like, and is read, written and entered as one.
//
// Portable on purpose: the Windows file layer reads the tag, the rules
// about it are tested on every platform.
#pragma once

#include <cstdint>

namespace kelvora {

// The attribute bit that marks a reparse point (FILE_ATTRIBUTE_REPARSE_POINT).
constexpr std::uint32_t REPARSE_POINT_ATTRIBUTE = 0x400;

// Tags as the system documents them.
constexpr std::uint32_t REPARSE_TAG_MOUNT_POINT = 0xA0000003;  // junction or volume mount point
constexpr std::uint32_t REPARSE_TAG_SYMLINK = 0xA000000C;
constexpr std::uint32_t REPARSE_TAG_DEDUP = 0x80000013;
constexpr std::uint32_t REPARSE_TAG_WOF = 0x80000017;          // Compact OS, compact /exe
constexpr std::uint32_t REPARSE_TAG_APPEXECLINK = 0x8000001B;  // App Execution Alias
constexpr std::uint32_t REPARSE_TAG_CLOUD = 0x9000001A;        // and 0x9000101A ... 0x9000F01A
constexpr std::uint32_t REPARSE_TAG_CLOUD_MASK = 0x0000F000;

// The tag's own bits: set by Microsoft, and "the name leads elsewhere".
constexpr std::uint32_t REPARSE_TAG_MICROSOFT_BIT = 0x80000000;
constexpr std::uint32_t REPARSE_TAG_NAME_SURROGATE_BIT = 0x20000000;

enum class ReparseKind {
  SymbolicLink,
  MountPoint,        // a junction or a volume mount point: one tag for both
  OtherSurrogate,    // another tag with the name-surrogate bit
  Cloud,             // OneDrive and other cloud files' placeholders
  Dedup,             // a deduplicated file
  Wof,               // a file compressed by Compact OS or compact /exe
  AppExecLink,       // an App Execution Alias
  OtherMicrosoft,    // a Microsoft tag that is no name surrogate
  OtherThirdParty,   // someone else's tag that is no name surrogate
  Unread,            // 0: the tag could not be read
};

ReparseKind classify_reparse_tag(std::uint32_t tag);

// Whether a name with these attributes and tag leads somewhere else: only a
// name surrogate does.  A reparse point whose tag could not be read (0)
// counts as one: nothing is ever written or deleted through what might be
// a link.  Without the reparse-point attribute the tag means nothing.
bool reparse_leads_elsewhere(std::uint32_t attributes, std::uint32_t tag);

}  // namespace kelvora
