#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <vector>

#include "StatusAt.h"
#include "platform/OrletBases.h"

namespace Orlet {

namespace {

// The effective user and groups, read on first use. Asking the kernel for
// them per file would cost a call per file, which the one status query is
// there to avoid.
struct Credentials {
  Credentials() : user(geteuid()), group(getegid()) {
    const int count = getgroups(0, nullptr);
    if (count > 0) {
      groups.resize(static_cast<std::size_t>(count));
      groups.resize(static_cast<std::size_t>(std::max(0, getgroups(count, groups.data()))));
    }
  }
  bool InGroup(gid_t id) const {
    return id == group || std::find(groups.begin(), groups.end(), id) != groups.end();
  }
  uid_t user;
  gid_t group;
  std::vector<gid_t> groups;
};

// Whether an open for reading passes the permission check: the owner's bits
// for the owner, the group's for a member, the others' for the rest.
bool ReadableBy(const Credentials& who, const struct stat& info) {
  if (who.user == 0) return true;
  if (info.st_uid == who.user) return (info.st_mode & S_IRUSR) != 0;
  if (who.InGroup(info.st_gid)) return (info.st_mode & S_IRGRP) != 0;
  return (info.st_mode & S_IROTH) != 0;
}

}  // namespace

FileStatus QueryFileStatusAt(int folder, const char* path) {
  static const Credentials credentials;  // initialised once, thread-safe
  FileStatus status;
  struct stat info {};
  if (::fstatat(folder, path, &info, 0) != 0) {
    status.kind = errno == ENOENT || errno == ENOTDIR ? FileStatus::kMissing : FileStatus::kUnknown;
    return status;
  }
  status.kind = S_ISDIR(info.st_mode)   ? FileStatus::kDirectory
                : S_ISREG(info.st_mode) ? FileStatus::kRegularFile
                                        : FileStatus::kSpecialFile;
  status.size = S_ISREG(info.st_mode) ? static_cast<uint64_t>(info.st_size) : 0;
  status.modified = static_cast<int64_t>(info.st_mtime);
  status.readable = ReadableBy(credentials, info);
  status.device = static_cast<uint64_t>(info.st_dev);
  status.inode = static_cast<uint64_t>(info.st_ino);
  return status;
}

FileStatus QueryFileStatus(const std::string& path) {
  return QueryFileStatusAt(AT_FDCWD, path.c_str());
}

}  // namespace Orlet
