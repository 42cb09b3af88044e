// The container's name checks, the directory nesting rule and the file-size
// limit.

#include "layout/SourcePath.h"
#include "orlet/FileContainer.h"
#include "orlet/MediaBurningResult.h"

namespace Orlet {

int FileContainer::CheckValidName(const std::wstring& name) { return name.empty() ? 0 : 1; }

int FileContainer::CheckValidRootName(const std::wstring& name) {
  return name.empty() ? ResultInvalidArgument : ResultOk;
}

int FileContainer::CheckDirRestrictions(const std::wstring& name, Node* /*parent*/) {
  if (imageFileSystem == ImageFileSystemNone) return ResultFailed;
  if (imageFileSystem != ImageFileSystemIso9660) return ResultOk;
  // Count the name's own parent paths: a/b/c has two (a/b and a). Only the
  // name counts, not where in the tree it is made.
  unsigned parents = 0;
  for (SourcePath current = ParentOf(ToSourcePath(name)); !current.empty();
       current = ParentOf(current)) {
    if (++parents == kIso9660MaxDirectoryLevels) return ResultPathTooDeep;
  }
  return ResultOk;
}

int FileContainer::CheckFileRestriction(unsigned long long size) {
  if (imageFileSystem < ImageFileSystemIso9660 || imageFileSystem > ImageFileSystemJoliet) {
    return ResultNotSupported;
  }
  return size > kMaxFileSize ? ResultFailed : ResultOk;
}

}  // namespace Orlet
