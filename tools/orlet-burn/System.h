#pragma once

// What orlet-burn asks of the system: about the files and folders a user
// names, their status, a folder's names and whether a file opens for
// reading; whether the output is a terminal; setting an environment variable. Paths are UTF-8 (on
// Windows converted to UTF-16 for the system's wide calls; on Linux the bytes as they are, so a
// name that is not UTF-8 still reaches its file). The POSIX and Win32 versions live in posix/ and
// windows/; errors are errno values on both (Win32 errors mapped to the nearest one), so that
// ErrorWords says them alike.

#include <cstdint>
#include <string>
#include <vector>

namespace orletburn {

struct EntryStatus {
  // 0, or why the status cannot be read (ENOENT, EACCES, ELOOP,
  // ENAMETOOLONG, ...); the other fields mean nothing then.
  int error = 0;
  enum Kind {
    kFile,
    kFolder,
    kPipe,
    kSocket,
    kCharacterDevice,
    kBlockDevice,
    kOther
  } kind = kOther;
  uint64_t size = 0;
  int64_t modified = 0;  // seconds since 1970-01-01 UTC
  // The entry's identity: two paths with the same pair reach the same entry.
  uint64_t device = 0, inode = 0;
};

// Whether c separates the elements of a path: '/', and on Windows '\' too.
bool IsSeparator(char c);

// The status of path, following symbolic links as the container's walk does.
EntryStatus StatusOf(const std::string& path);

// Whether path itself is a symbolic link (where a followed status failed:
// a dangling link, or a loop).
bool IsSymbolicLink(const std::string& path);

// The names of a folder but "." and "..", in byte order; 0, or the errno of
// the listing (the names listed before a failure are kept).
int ListFolder(const std::string& path, std::vector<std::string>* names);

// Opens path for reading without waiting (a pipe is not waited for) and
// closes it again: 0, or the errno.
int TryOpenForReading(const std::string& path);

// Whether standard output is a terminal (a progress bar then redraws itself).
bool OutputIsTerminal();

// Sets the environment variable name to value for this process (and the
// libraries it has loaded, which read it with getenv).
void SetEnvironment(const char* name, const char* value);

}  // namespace orletburn
