#include "viewer/base/reparse_points.h"

namespace kelvora {

ReparseKind classify_reparse_tag(std::uint32_t tag) {
  if (tag == 0) return ReparseKind::Unread;
  if (tag == REPARSE_TAG_SYMLINK) return ReparseKind::SymbolicLink;
  if (tag == REPARSE_TAG_MOUNT_POINT) return ReparseKind::MountPoint;
  if (tag & REPARSE_TAG_NAME_SURROGATE_BIT) return ReparseKind::OtherSurrogate;
  if ((tag & ~REPARSE_TAG_CLOUD_MASK) == REPARSE_TAG_CLOUD) return ReparseKind::Cloud;
  if (tag == REPARSE_TAG_DEDUP) return ReparseKind::Dedup;
  if (tag == REPARSE_TAG_WOF) return ReparseKind::Wof;
  if (tag == REPARSE_TAG_APPEXECLINK) return ReparseKind::AppExecLink;
  return (tag & REPARSE_TAG_MICROSOFT_BIT) ? ReparseKind::OtherMicrosoft
                                           : ReparseKind::OtherThirdParty;
}

bool reparse_leads_elsewhere(std::uint32_t attributes, std::uint32_t tag) {
  if (!(attributes & REPARSE_POINT_ATTRIBUTE)) return false;
  switch (classify_reparse_tag(tag)) {
    case ReparseKind::SymbolicLink:
    case ReparseKind::MountPoint:
    case ReparseKind::OtherSurrogate:
    case ReparseKind::Unread:
      return true;
    default:
      return false;
  }
}

}  // namespace kelvora
