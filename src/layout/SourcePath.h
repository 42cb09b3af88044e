#pragma once

#include <boost/filesystem/path.hpp>
#include <string>

namespace Orlet {

// Source paths on disk are wide text in the container and file-system bytes
// on Linux. Paths are built from the bytes that the base services' own
// conversion gives, so a name that is not valid UTF-8 (carried as escapes in
// wide text) reaches the same file again, and no conversion can throw.
boost::filesystem::path ToSourcePath(const std::wstring& text);
std::wstring FromSourcePath(const boost::filesystem::path& path);

}  // namespace Orlet
