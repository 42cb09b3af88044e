// What orlet-burn asks of the system, on POSIX systems.

#include "System.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>

namespace orletburn {

namespace {

EntryStatus::Kind KindOf(mode_t mode) {
  if (S_ISREG(mode)) return EntryStatus::kFile;
  if (S_ISDIR(mode)) return EntryStatus::kFolder;
  if (S_ISFIFO(mode)) return EntryStatus::kPipe;
  if (S_ISSOCK(mode)) return EntryStatus::kSocket;
  if (S_ISCHR(mode)) return EntryStatus::kCharacterDevice;
  if (S_ISBLK(mode)) return EntryStatus::kBlockDevice;
  return EntryStatus::kOther;
}

bool IsDotEntry(const char* name) {
  return name[0] == '.' && (name[1] == '\0' || (name[1] == '.' && name[2] == '\0'));
}

}  // namespace

bool IsSeparator(char c) { return c == '/'; }

EntryStatus StatusOf(const std::string& path) {
  EntryStatus out;
  struct stat status {};
  if (stat(path.c_str(), &status) != 0) {
    out.error = errno;
    return out;
  }
  out.kind = KindOf(status.st_mode);
  out.size = static_cast<uint64_t>(status.st_size);
  out.modified = status.st_mtime;
  out.device = status.st_dev;
  out.inode = status.st_ino;
  return out;
}

bool IsSymbolicLink(const std::string& path) {
  struct stat own {};
  return lstat(path.c_str(), &own) == 0 && S_ISLNK(own.st_mode);
}

int ListFolder(const std::string& path, std::vector<std::string>* names) {
  DIR* stream = opendir(path.c_str());
  if (stream == nullptr) return errno;
  int listingError = 0;
  for (;;) {
    errno = 0;
    const dirent* entry = readdir(stream);
    if (entry == nullptr) {
      listingError = errno;
      break;
    }
    if (!IsDotEntry(entry->d_name)) names->emplace_back(entry->d_name);
  }
  closedir(stream);
  std::sort(names->begin(), names->end());  // the walk's order: bytes, unsigned
  return listingError;
}

int TryOpenForReading(const std::string& path) {
  const int file = open(path.c_str(), O_RDONLY | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
  if (file < 0) return errno;
  close(file);
  return 0;
}

bool OutputIsTerminal() { return isatty(fileno(stdout)) != 0; }

void SetEnvironment(const char* name, const char* value) { setenv(name, value, 1); }

}  // namespace orletburn
