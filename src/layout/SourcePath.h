#pragma once

// Source paths on disk: wide text in the container, and the system's own form
// for the path calls. On POSIX systems that is file-system bytes, through
// Boost.Filesystem: paths are built from the bytes that the base services'
// own conversion gives, so a name that is not valid UTF-8 (carried as escapes
// in wide text) reaches the same file again, and no conversion can throw. On
// Windows it is the UTF-16 text itself, through std::filesystem (Boost has no
// Windows build here), so every name reaches its file whatever the ANSI code
// page. The few calls the container makes on a path behave alike on both.

#include <string>

#ifdef _WIN32
#include <filesystem>
#else
#include <boost/filesystem/path.hpp>
#endif

namespace Orlet {

#ifdef _WIN32
using SourcePath = std::filesystem::path;
#else
using SourcePath = boost::filesystem::path;
#endif

SourcePath ToSourcePath(const std::wstring& text);
std::wstring FromSourcePath(const SourcePath& path);

// The path above path; empty where there is none (a root, or a relative path
// of one element), on both platforms (std::filesystem calls a root its own
// parent).
SourcePath ParentOf(const SourcePath& path);

// Whether anything is at path (its status can be read, links followed).
bool SourceExists(const SourcePath& path);

}  // namespace Orlet
