#include "layout/SourcePath.h"

#include "platform/OrletBases.h"

namespace Orlet {

boost::filesystem::path ToSourcePath(const std::wstring& text) {
  return boost::filesystem::path(tcs_to_mbs(text));
}

std::wstring FromSourcePath(const boost::filesystem::path& path) {
  return mbs_to_tcs(path.string());
}

}  // namespace Orlet
