#include "linux/SgSystem.h"

#include <dirent.h>
#include <fcntl.h>
#include <grp.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

namespace starburn {

namespace {

// Room for a group entry: names and member lists of a local group file fit
// well within 16 KiB; getgrgid_r says ERANGE otherwise and the name is unknown.
constexpr std::size_t kGroupBufferSize = 16384;

// The number after prefix in name, or -1 when name is not prefix and digits.
long NodeNumber(const std::string& name, const std::string& prefix) {
  if (name.size() <= prefix.size() || name.compare(0, prefix.size(), prefix) != 0) return -1;
  for (std::size_t i = prefix.size(); i < name.size(); ++i) {
    if (std::isdigit(static_cast<unsigned char>(name[i])) == 0) return -1;
  }
  return std::strtol(name.c_str() + prefix.size(), nullptr, 10);
}

class Kernel : public SgSystem {
 public:
  std::vector<std::string> List(const std::string& directory, const std::string& prefix) override {
    std::vector<std::pair<long, std::string>> found;
    DIR* dir = opendir(directory.c_str());
    if (dir == nullptr) return {};
    while (const dirent* entry = readdir(dir)) {
      const long number = NodeNumber(entry->d_name, prefix);
      if (number >= 0) found.emplace_back(number, entry->d_name);
    }
    closedir(dir);
    std::sort(found.begin(), found.end());
    std::vector<std::string> names;
    names.reserve(found.size());
    for (auto& entry : found) names.push_back(std::move(entry.second));
    return names;
  }

  int Open(const std::string& path, int flags) override {
    const int fd = open(path.c_str(), flags);
    return fd >= 0 ? fd : -errno;
  }

  void Close(int fd) override { close(fd); }

  int Ioctl(int fd, unsigned long request, void* argument) override {
    return ioctl(fd, request, argument) == 0 ? 0 : -errno;
  }

  std::string GroupOf(const std::string& path) override {
    struct stat info;
    if (stat(path.c_str(), &info) != 0) return "";
    group entry;
    group* result = nullptr;
    std::vector<char> buffer(kGroupBufferSize);
    if (getgrgid_r(info.st_gid, &entry, buffer.data(), buffer.size(), &result) != 0 ||
        result == nullptr) {
      return "";
    }
    return result->gr_name;
  }

  std::string MountPointOf(const std::string& node) override {
    // /proc/self/mounts: "DEVICE MOUNTPOINT TYPE OPTIONS 0 0", with spaces,
    // tabs, newlines and backslashes in names written as octal escapes.
    std::ifstream table("/proc/self/mounts");
    char resolved[PATH_MAX];
    const std::string wanted = realpath(node.c_str(), resolved) != nullptr ? resolved : node;
    std::string device;
    std::string point;
    std::string rest;
    while (table >> device >> point && std::getline(table, rest)) {
      if (device == node || device == wanted) return Unescape(point);
    }
    return "";
  }

 private:
  static std::string Unescape(const std::string& text) {
    const auto octal = [](char c) { return c >= '0' && c <= '7'; };
    std::string out;
    for (std::size_t i = 0; i < text.size(); ++i) {
      if (text[i] == '\\' && i + 3 < text.size() && octal(text[i + 1]) && octal(text[i + 2]) &&
          octal(text[i + 3])) {
        out += static_cast<char>((text[i + 1] - '0') * 64 + (text[i + 2] - '0') * 8 +
                                 (text[i + 3] - '0'));
        i += 3;
      } else {
        out += text[i];
      }
    }
    return out;
  }
};

}  // namespace

std::shared_ptr<SgSystem> SgSystem::Kernel() {
  static const std::shared_ptr<SgSystem> kernel = std::make_shared<class Kernel>();
  return kernel;
}

}  // namespace starburn
