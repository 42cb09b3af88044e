#include "layout/SourcePath.h"

#include "platform/OrletBases.h"

namespace Orlet {

#ifdef _WIN32

SourcePath ToSourcePath(const std::wstring& text) { return SourcePath(text); }

std::wstring FromSourcePath(const SourcePath& path) { return path.wstring(); }

#else

SourcePath ToSourcePath(const std::wstring& text) { return SourcePath(tcs_to_mbs(text)); }

std::wstring FromSourcePath(const SourcePath& path) { return mbs_to_tcs(path.string()); }

#endif

SourcePath ParentOf(const SourcePath& path) {
  SourcePath parent = path.parent_path();
  return parent == path ? SourcePath() : parent;
}

bool SourceExists(const SourcePath& path) {
  const FileStatus::Kind kind = QueryFileStatus(path.native()).kind;
  return kind != FileStatus::kMissing && kind != FileStatus::kUnknown;
}

}  // namespace Orlet
