#pragma once

// Helpers of the image-tree tests: temporary folders, files, an image tree
// driven through the C calls, block readers over memory and files, a disc
// double that offers tracks.

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <string>
#include <utility>
#include <vector>

#include "common/BlockIo.h"
#include "common/Object.h"
#include "starburn/StarBurn.h"

namespace isotest {

class TempDir {
 public:
  TempDir() {
    char pattern[] = "/tmp/starburn-iso-XXXXXX";
    path = mkdtemp(pattern);
  }
  ~TempDir() { std::system(("rm -rf '" + path + "'").c_str()); }
  std::string operator/(const std::string& name) const { return path + "/" + name; }
  std::string path;
};

inline void WriteFile(const std::string& path, const std::string& content) {
  std::ofstream(path, std::ios::binary) << content;
}

inline std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// A tree driven through the C calls, with the notifications it received.
class Tree {
 public:
  Tree(uint8_t level2, uint32_t joliet, StarBurnCallback callback = &Tree::Record)
      : callback(callback) {
    status = StarBurn_ISO9660JolietFileTree_Create(&handle, error, sizeof error, &systemError,
                                                   callback, this, 1, 0, level2, joliet);
  }
  ~Tree() { StarBurn_Destroy(&handle); }
  Tree(const Tree&) = delete;
  Tree& operator=(const Tree&) = delete;

  void* Root() { return StarBurn_ISO9660JolietFileTree_GetRoot(handle); }
  void* AddFile(void* parent, const std::string& source, const std::string& name) {
    void* node = nullptr;
    status = StarBurn_ISO9660JolietFileTree_Add(handle, error, sizeof error, &systemError,
                                                source.c_str(), name.c_str(), STARBURN_ADD_FILE,
                                                &parent, &node);
    return node;
  }
  void* AddDirectory(void* parent, const std::string& name) {
    void* node = nullptr;
    status =
        StarBurn_ISO9660JolietFileTree_Add(handle, error, sizeof error, &systemError, nullptr,
                                           name.c_str(), STARBURN_ADD_DIRECTORY, &parent, &node);
    return node;
  }
  StarBurnStatus Build(uint32_t start = 0, const char* label = "LABEL") {
    status = StarBurn_ISO9660JolietFileTree_BuildImage(
        handle, error, sizeof error, &systemError, start, 0, 1, label, "Publisher", "Application");
    return status;
  }
  StarBurnStatus Save(const std::string& path, bool atStart = false) {
    status = StarBurn_ISO9660JolietFileTree_SaveImage(handle, error, sizeof error, &systemError,
                                                      path.c_str(), atStart ? 1 : 0);
    return status;
  }
  std::pair<std::string, std::string> Names(void* node) {
    char first[1024];
    char second[1024];
    char third[1024];
    status =
        StarBurn_ISO9660JolietFileTree_GetNames(handle, node, first, second, third, sizeof first);
    return {first, second};
  }
  std::vector<void*> Kids(void* node) {
    std::vector<void*> kids;
    for (void* kid = StarBurn_ISO9660JolietFileTree_GetFirstKid(handle, node); kid != nullptr;
         kid = StarBurn_ISO9660JolietFileTree_GetNextKid(handle, node, kid)) {
      kids.push_back(kid);
    }
    return kids;
  }
  uint64_t Size(void* node) {
    uint32_t high = 0;
    const uint32_t low = StarBurn_ISO9660JolietFileTree_GetNodePowerInUCHARs(handle, node, &high);
    return (uint64_t{high} << 32) | low;
  }
  bool IsDirectory(void* node) {
    return StarBurn_ISO9660JolietFileTree_GetAttributes(handle, node) == STARBURN_NODE_DIRECTORY;
  }

  // What the call-back heard: "0:text", "2:text", "3:flag:name".
  std::vector<std::string> heard;
  // Answers to rejected names, taken in order (8-bit answers for flag 0,
  // UTF-8 turned into 16-bit units for flag 1); none left: declined.
  std::vector<std::string> answers;

  void* handle = nullptr;
  StarBurnStatus status = STARBURN_OK;
  char error[STARBURN_ERROR_TEXT_SIZE] = {};
  uint32_t systemError = 0;

  static void Record(uint32_t notification, void* context, void* special1, void*) {
    auto* self = static_cast<Tree*>(context);
    auto* bytes = static_cast<uint8_t*>(special1);
    if (notification != STARBURN_NOTIFY_NAME_REJECTED) {
      self->heard.push_back(std::to_string(notification) + ":" + static_cast<char*>(special1));
      return;
    }
    const bool wide = bytes[STARBURN_REJECTED_NAME_FLAG] == 1;
    std::string name;
    if (wide) {
      for (std::size_t i = 0;; i += 2) {
        char16_t unit = 0;
        std::memcpy(&unit, bytes + STARBURN_REJECTED_NAME_TEXT + i, 2);
        if (unit == 0) break;
        name.push_back(unit < 0x80 ? static_cast<char>(unit) : '?');
      }
    } else {
      name = reinterpret_cast<char*>(bytes + STARBURN_REJECTED_NAME_TEXT);
    }
    self->heard.push_back("3:" + std::to_string(wide ? 1 : 0) + ":" + name);
    if (self->answers.empty()) return;
    const std::string answer = self->answers.front();
    self->answers.erase(self->answers.begin());
    if (wide) {
      std::vector<char16_t> units(answer.begin(), answer.end());
      units.push_back(0);
      std::memcpy(bytes + STARBURN_REJECTED_NAME_TEXT, units.data(), units.size() * 2);
    } else {
      std::memcpy(bytes + STARBURN_REJECTED_NAME_TEXT, answer.c_str(), answer.size() + 1);
    }
    const uint32_t action = STARBURN_REJECTED_NAME_USE_REWRITTEN;
    std::memcpy(bytes + STARBURN_REJECTED_NAME_ACTION, &action, sizeof action);
  }

 private:
  StarBurnCallback callback;
};

// Blocks in memory.
class MemoryReader : public starburn::BlockReader {
 public:
  explicit MemoryReader(std::vector<uint8_t> image) : image(std::move(image)) {}
  StarBurnStatus ReadBlocks(uint32_t lba, uint32_t count, uint8_t* out) override {
    const uint64_t begin = uint64_t{lba} * starburn::kBlockSize;
    const uint64_t size = uint64_t{count} * starburn::kBlockSize;
    if (begin + size > image.size()) return STARBURN_STATUS_IO_ERROR;
    std::memcpy(out, image.data() + begin, size);
    return STARBURN_OK;
  }
  uint64_t BlockCount() const override { return image.size() / starburn::kBlockSize; }
  std::vector<uint8_t> image;
};

// Blocks of an image file; a short file reads as zeros up to its length.
class FileReader : public starburn::BlockReader {
 public:
  explicit FileReader(const std::string& path) : file(::open(path.c_str(), O_RDONLY)) {
    struct stat info {};
    if (file >= 0 && ::fstat(file, &info) == 0) blocks = info.st_size / starburn::kBlockSize;
  }
  ~FileReader() override {
    if (file >= 0) ::close(file);
  }
  StarBurnStatus ReadBlocks(uint32_t lba, uint32_t count, uint8_t* out) override {
    if (uint64_t{lba} + count > blocks) return STARBURN_STATUS_IO_ERROR;
    const ssize_t n = ::pread(file, out, std::size_t{count} * starburn::kBlockSize,
                              static_cast<off_t>(lba) * starburn::kBlockSize);
    return n == static_cast<ssize_t>(std::size_t{count} * starburn::kBlockSize)
               ? STARBURN_OK
               : STARBURN_STATUS_IO_ERROR;
  }
  uint64_t BlockCount() const override { return blocks; }

 private:
  int file;
  uint64_t blocks = 0;
};

// A disc of tracks over a reader; registered as a device handle.
class DiscDouble : public starburn::DiscProvider {
 public:
  DiscDouble(starburn::BlockReader* reader, std::vector<std::pair<uint32_t, uint32_t>> tracks)
      : reader(reader), tracks(std::move(tracks)) {}
  starburn::BlockReader& DiscReader() override { return *reader; }
  StarBurnStatus TrackExtent(uint8_t track, uint32_t* start, uint32_t* blocks,
                             std::string* error) override {
    if (track == 0 || track > tracks.size()) {
      *error = "no such track";
      return STARBURN_STATUS_NOT_FOUND;
    }
    *start = tracks[track - 1].first;
    *blocks = tracks[track - 1].second;
    return STARBURN_OK;
  }

 private:
  starburn::BlockReader* reader;
  std::vector<std::pair<uint32_t, uint32_t>> tracks;
};

}  // namespace isotest
