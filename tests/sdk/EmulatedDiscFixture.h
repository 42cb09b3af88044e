#pragma once

// Helpers of the drive tests: a scratch directory, recognisable image blocks
// with a minimal ISO 9660 descriptor set, and an image-tree stand-in that the
// recording call streams from.

#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "common/BlockIo.h"
#include "starburn/StarBurn.h"

namespace drivetest {

using starburn::kBlockSize;

// A directory removed with everything in it when the object goes.
class ScratchDirectory {
 public:
  ScratchDirectory() {
    const char* base = std::getenv("TMPDIR");
    std::string pattern = std::string(base != nullptr ? base : "/tmp") + "/starburn-drives-XXXXXX";
    std::vector<char> name(pattern.begin(), pattern.end());
    name.push_back('\0');
    path = mkdtemp(name.data()) != nullptr ? name.data() : "";
  }
  ~ScratchDirectory() { Remove(path); }
  ScratchDirectory(const ScratchDirectory&) = delete;
  ScratchDirectory& operator=(const ScratchDirectory&) = delete;

  std::string File(const std::string& name) const { return path + "/" + name; }
  const std::string& Path() const { return path; }

 private:
  static void Remove(const std::string& directory) {
    DIR* dir = opendir(directory.c_str());
    if (dir == nullptr) return;
    while (dirent* entry = readdir(dir)) {
      const std::string name = entry->d_name;
      if (name == "." || name == "..") continue;
      const std::string full = std::string(directory).append("/").append(name);
      struct stat info;
      if (lstat(full.c_str(), &info) == 0 && S_ISDIR(info.st_mode)) {
        Remove(full);
      } else {
        unlink(full.c_str());
      }
    }
    closedir(dir);
    rmdir(directory.c_str());
  }

  std::string path;
};

inline void PutLittleBig32(uint8_t* field, uint32_t value) {  // both-endian 32-bit field
  for (int i = 0; i < 4; ++i) {
    field[i] = static_cast<uint8_t>(value >> (8 * i));
    field[7 - i] = static_cast<uint8_t>(value >> (8 * i));
  }
}

// Block i of an image that starts at start and has blocks blocks, labelled
// label: block 16 a primary volume descriptor (volume space size start +
// blocks: the volume covers every earlier session too), block 17 the
// terminator, every other block stamped with its disc address and the label.
inline std::vector<uint8_t> ImageBlock(uint32_t start, uint32_t blocks, const std::string& label,
                                       uint32_t i) {
  std::vector<uint8_t> block(kBlockSize, 0);
  if (i == 16 || i == 17) {
    block[0] = i == 16 ? 1 : 255;
    std::memcpy(&block[1], "CD001", 5);
    block[6] = 1;
    if (i == 16) {
      std::memset(&block[40], ' ', 32);
      std::memcpy(&block[40], label.data(), std::min<std::size_t>(label.size(), 32));
      PutLittleBig32(&block[80], start + blocks);
      block[129] = block[130] = 8;  // logical block size 2048, both byte orders
      // The root directory record: 34 bytes, one block at start + 18, a
      // directory of volume 1 with the one-byte identifier 0.
      uint8_t* root = &block[156];
      root[0] = 34;
      PutLittleBig32(root + 2, start + 18);
      PutLittleBig32(root + 10, kBlockSize);
      root[25] = 2;
      root[28] = root[31] = 1;
      root[32] = 1;
    }
    return block;
  }
  const uint32_t address = start + i;
  std::memcpy(block.data(), "BLOCK", 5);
  std::memcpy(&block[8], &address, 4);
  std::memcpy(&block[16], label.data(), std::min<std::size_t>(label.size(), 32));
  std::memset(&block[48], static_cast<int>(address & 0xFF), kBlockSize - 48);
  return block;
}

// What a recording call pulls: the blocks of ImageBlock. abortAt: the pull of
// that block first asks the named device's write to stop, as a host thread would.
class FakeSource : public starburn::BlockSource {
 public:
  FakeSource(uint32_t start, uint32_t blocks, std::string label, int64_t abortAt,
             std::string abortDevice)
      : start(start),
        blocks(blocks),
        label(std::move(label)),
        abortAt(abortAt),
        abortDevice(std::move(abortDevice)) {}
  uint32_t StartAddress() const override { return start; }
  uint64_t BlockCount() const override { return blocks; }
  StarBurnStatus Pull(uint8_t* out, uint32_t count, std::string*) override {
    for (uint32_t k = 0; k < count; ++k, ++next) {
      if (static_cast<int64_t>(next) == abortAt) StarBurn_AbortDeviceWrite(abortDevice.c_str());
      const auto block = ImageBlock(start, blocks, label, next);
      std::memcpy(out + uint64_t{k} * kBlockSize, block.data(), kBlockSize);
    }
    return STARBURN_OK;
  }

 private:
  uint32_t start, blocks;
  std::string label;
  int64_t abortAt;
  std::string abortDevice;
  uint32_t next = 0;
};

// An image-tree handle's stand-in: a built image of blocks blocks at start.
class FakeImage : public starburn::ImageProvider {
 public:
  FakeImage(uint32_t start, uint32_t blocks, std::string label)
      : start(start), blocks(blocks), label(std::move(label)) {}
  StarBurnStatus OpenImage(std::unique_ptr<starburn::BlockSource>* out, std::string*) override {
    out->reset(new FakeSource(start, blocks, label, abortAt, abortDevice));
    return STARBURN_OK;
  }
  StarBurnStatus Relocate(uint32_t startAddress, std::string*) override {
    start = startAddress;
    return STARBURN_OK;
  }
  void AbortAt(int64_t block, const std::string& device) {
    abortAt = block;
    abortDevice = device;
  }

 private:
  uint32_t start, blocks;
  std::string label;
  int64_t abortAt = -1;
  std::string abortDevice;
};

// A test name for a medium name: "dvd+r-dl" -> "dvdplusr_dl".
inline std::string MediumTestName(const char* medium) {
  std::string name;
  for (const char* c = medium; *c != 0; ++c) {
    name += *c == '+' ? "plus" : *c == '-' ? "_" : std::string(1, *c);
  }
  return name;
}

// Bytes of a file; empty when it cannot be read.
inline std::string ReadFile(const std::string& path) {
  std::ifstream file(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
}

inline void WriteFile(const std::string& path, const std::string& text) {
  std::ofstream(path, std::ios::binary) << text;
}

// Block lba of an image file (zeros past its end).
inline std::vector<uint8_t> ImageFileBlock(const std::string& path, uint32_t lba) {
  std::vector<uint8_t> block(kBlockSize, 0);
  std::ifstream file(path, std::ios::binary);
  file.seekg(uint64_t{lba} * kBlockSize);
  file.read(reinterpret_cast<char*>(block.data()), kBlockSize);
  return block;
}

}  // namespace drivetest
