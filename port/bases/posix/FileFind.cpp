#include <dirent.h>
#include <fnmatch.h>

#include <algorithm>

#include "platform/OrletBases.h"

namespace Orlet {

namespace {

bool MatchesEverything(const std::string& pattern) { return pattern == "*" || pattern == "*.*"; }

}  // namespace

int FileFind::FindFirst(const std::wstring& directory, const std::wstring& pattern) {
  names.clear();
  position = 0;
  const std::string dir = tcs_to_mbs(directory);
  const std::string wildcard = tcs_to_mbs(pattern);
  DIR* stream = opendir(dir.empty() ? "." : dir.c_str());
  if (stream == nullptr) return 0;
  std::vector<std::string> entries;
  while (dirent* entry = readdir(stream)) {
    std::string name = entry->d_name;
    if (name == "." || name == "..") continue;
    if (MatchesEverything(wildcard) || fnmatch(wildcard.c_str(), name.c_str(), 0) == 0) {
      entries.push_back(std::move(name));
    }
  }
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

std::wstring FileFind::GetFileName() const {
  return position < names.size() ? mbs_to_tcs(names[position]) : std::wstring();
}

}  // namespace Orlet
