#include "iso/SourceFile.h"

#include <unistd.h>

#include <algorithm>
#include <vector>

namespace starburn {
namespace iso {

namespace {

struct Credentials {
  Credentials() : user(::geteuid()), group(::getegid()) {
    const int count = ::getgroups(0, nullptr);
    if (count > 0) {
      groups.resize(static_cast<std::size_t>(count));
      groups.resize(static_cast<std::size_t>(std::max(0, ::getgroups(count, groups.data()))));
    }
  }
  bool InGroup(gid_t id) const {
    return id == group || std::find(groups.begin(), groups.end(), id) != groups.end();
  }
  uid_t user;
  gid_t group;
  std::vector<gid_t> groups;
};

}  // namespace

bool ReadableByProcess(const struct stat& info) {
  static const Credentials who;  // initialised once, thread-safe
  if (who.user == 0) return true;
  if (info.st_uid == who.user) return (info.st_mode & S_IRUSR) != 0;
  if (who.InGroup(info.st_gid)) return (info.st_mode & S_IRGRP) != 0;
  return (info.st_mode & S_IROTH) != 0;
}

}  // namespace iso
}  // namespace starburn
