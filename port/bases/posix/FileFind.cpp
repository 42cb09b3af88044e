#include <dirent.h>
#include <fcntl.h>
#include <fnmatch.h>
#include <unistd.h>

#include <algorithm>

#include "StatusAt.h"
#include "platform/OrletBases.h"

namespace Orlet {

namespace {

bool MatchesEverything(const std::string& pattern) { return pattern == "*" || pattern == "*.*"; }

}  // namespace

FileFind::~FileFind() {
  if (folder >= 0) close(folder);
}

int FileFind::FindFirst(const std::wstring& directory, const std::wstring& pattern) {
  names.clear();
  position = 0;
  if (folder >= 0) close(folder);
  folder = -1;
  const std::string dir = tcs_to_mbs(directory);
  const std::string wildcard = tcs_to_mbs(pattern);
  listed = dir.empty() ? "." : dir;
  DIR* stream = opendir(listed.c_str());
  if (stream == nullptr) return 0;
  std::vector<std::string> entries;
  while (dirent* entry = readdir(stream)) {
    std::string name = entry->d_name;
    if (name == "." || name == "..") continue;
    if (MatchesEverything(wildcard) || fnmatch(wildcard.c_str(), name.c_str(), 0) == 0) {
      entries.push_back(std::move(name));
    }
  }
  // Kept for the status queries of the entries: their names are looked up
  // in this directory, not along its whole path again. Where no descriptor
  // is left (a process at its limit of open files), they are looked up by
  // the joined path instead, never taken for missing.
  folder = fcntl(dirfd(stream), F_DUPFD_CLOEXEC, 0);
  closedir(stream);
  std::sort(entries.begin(), entries.end());
  // The two directory entries come first, as the home platform lists them.
  if (MatchesEverything(wildcard)) {
    names.push_back(".");
    names.push_back("..");
  }
  names.insert(names.end(), std::make_move_iterator(entries.begin()),
               std::make_move_iterator(entries.end()));
  return names.empty() ? 0 : 1;
}

FileStatus FileFind::GetFileStatus() const {
  if (position >= names.size()) return FileStatus{};
  if (folder < 0) return QueryFileStatus(listed + "/" + names[position]);
  return QueryFileStatusAt(folder, names[position].c_str());
}

std::wstring FileFind::GetFileName() const {
  return position < names.size() ? mbs_to_tcs(names[position]) : std::wstring();
}

}  // namespace Orlet
