#include <windows.h>

#include <algorithm>

#include "platform/OrletBases.h"

namespace Orlet {

FileFind::~FileFind() = default;

int FileFind::FindFirst(const std::wstring& folder, const std::wstring& pattern) {
  names.clear();
  position = 0;
  directory = folder;
  std::wstring query = folder.empty() ? L"." : folder;
  if (query.back() != L'\\' && query.back() != L'/') query += L'\\';
  query += pattern;
  WIN32_FIND_DATAW found;
  HANDLE search =
      FindFirstFileExW(query.c_str(), FindExInfoBasic, &found, FindExSearchNameMatch, nullptr, 0);
  if (search == INVALID_HANDLE_VALUE) return 0;
  std::vector<std::wstring> entries;
  bool dots = false;
  do {
    const std::wstring name = found.cFileName;
    if (name == L"." || name == L"..") {
      dots = true;
    } else {
      entries.push_back(name);
    }
  } while (FindNextFileW(search, &found));
  FindClose(search);
  // The same order on every run, whatever order the file system keeps.
  std::sort(entries.begin(), entries.end());
  if (dots) {
    names.push_back(L".");
    names.push_back(L"..");
  }
  names.insert(names.end(), std::make_move_iterator(entries.begin()),
               std::make_move_iterator(entries.end()));
  return names.empty() ? 0 : 1;
}

FileStatus FileFind::GetFileStatus() const {
  if (position >= names.size()) return FileStatus{};
  // The status that QueryFileStatus gives of the joined path: the find data
  // alone does not say whether this process may open the file.
  std::wstring path = directory.empty() ? L"." : directory;
  if (path.back() != L'\\' && path.back() != L'/') path += L'\\';
  return QueryFileStatus(path + names[position]);
}

std::wstring FileFind::GetFileName() const {
  return position < names.size() ? names[position] : std::wstring();
}

}  // namespace Orlet
