#pragma once

// What the SDK's tests share: a scratch directory, recognisable image blocks
// with a minimal ISO 9660 descriptor set and an image-tree stand-in that a
// recording streams them from; a fixture that starts the SDK and makes the
// library's calls (its drive query, its burn).

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "common/BlockIo.h"
#include "common/Object.h"
#include "devices/DeviceRegistry.h"
#include "mmc/Cdb.h"
#include "starburn/StarBurn.h"
#include "virtual/EmulatedRecorder.h"
#include "virtual/Medium.h"

namespace sdktest {

using starburn::kBlockSize;

// A directory of its own under the system's temporary directory, removed with
// everything in it when the object goes. Its paths are in the platform's form
// (backslashes on Windows), as the SDK gives paths back.
class Scratch {
 public:
  Scratch() {
    namespace fs = std::filesystem;
    constexpr int kAttempts = 100;  // random names another process may have taken
    std::random_device random;
    for (int attempt = 0; attempt < kAttempts && path.empty(); ++attempt) {
      const fs::path candidate =
          fs::temp_directory_path() / ("starburn-" + std::to_string(random()));
      std::error_code exists;
      if (fs::create_directory(candidate, exists)) path = candidate.lexically_normal().u8string();
    }
  }
  ~Scratch() {
    std::error_code ignored;
    std::filesystem::remove_all(std::filesystem::u8path(path), ignored);
  }
  Scratch(const Scratch&) = delete;
  Scratch& operator=(const Scratch&) = delete;
  std::string File(const std::string& name) const {
    return (std::filesystem::u8path(path) / std::filesystem::u8path(name))
        .make_preferred()
        .u8string();
  }
  std::string path;
};

inline std::string ReadFile(const std::string& path) {
  std::ifstream file(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
}
inline void WriteFile(const std::string& path, const std::string& text) {
  std::ofstream(path, std::ios::binary) << text;
}

inline void PutLittleBig32(uint8_t* field, uint32_t value) {  // both-endian 32-bit field
  for (int i = 0; i < 4; ++i) field[i] = field[7 - i] = static_cast<uint8_t>(value >> (8 * i));
}

// Block i of an image that starts at start and has blocks blocks, labelled
// label: block 16 a primary volume descriptor (volume space size start +
// blocks: the volume covers every earlier session too) whose root is one block
// at start + 18, block 17 the terminator, every other block stamped with its
// disc address and the label.
inline std::vector<uint8_t> ImageBlock(uint32_t start, uint32_t blocks, const std::string& label,
                                       uint32_t i) {
  std::vector<uint8_t> block(kBlockSize, 0);
  const std::size_t labelSize = std::min<std::size_t>(label.size(), 32);
  if (i == 16 || i == 17) {
    block[0] = i == 16 ? 1 : 255;
    std::memcpy(&block[1], "CD001", 5);
    block[6] = 1;
    if (i == 17) return block;
    std::memset(&block[40], ' ', 32);
    std::memcpy(&block[40], label.data(), labelSize);
    PutLittleBig32(&block[80], start + blocks);
    block[129] = block[130] = 8;  // logical block size 2048, both byte orders
    uint8_t* root = &block[156];
    root[0] = 34;
    PutLittleBig32(root + 2, start + 18);
    PutLittleBig32(root + 10, kBlockSize);
    root[25] = 2;
    root[28] = root[31] = root[32] = 1;
    return block;
  }
  const uint32_t address = start + i;
  std::memcpy(block.data(), "BLOCK", 5);
  std::memcpy(&block[8], &address, 4);
  std::memcpy(&block[16], label.data(), labelSize);
  std::memset(&block[48], static_cast<int>(address & 0xFF), kBlockSize - 48);
  return block;
}

inline std::string ImageBytes(uint32_t start, uint32_t blocks, const std::string& label) {
  std::string bytes;
  for (uint32_t i = 0; i < blocks; ++i) {
    const auto block = ImageBlock(start, blocks, label, i);
    bytes.append(block.begin(), block.end());
  }
  return bytes;
}

// Block lba of an image file (zeros past its end).
inline std::vector<uint8_t> ImageFileBlock(const std::string& path, uint32_t lba) {
  std::vector<uint8_t> block(kBlockSize, 0);
  std::ifstream file(path, std::ios::binary);
  file.seekg(uint64_t{lba} * kBlockSize);
  file.read(reinterpret_cast<char*>(block.data()), kBlockSize);
  return block;
}

// An image-tree handle's stand-in: a built image of blocks blocks of
// ImageBlock at start.
class FakeImage : public starburn::ImageProvider {
 public:
  FakeImage(uint32_t start, uint32_t blocks, std::string label)
      : start(start), blocks(blocks), label(std::move(label)) {}
  StarBurnStatus OpenImage(std::unique_ptr<starburn::BlockSource>* out, std::string*) override {
    out->reset(new Source(*this));
    return STARBURN_OK;
  }
  StarBurnStatus Relocate(uint32_t startAddress, std::string*) override {
    start = startAddress;
    return STARBURN_OK;
  }

 private:
  struct Source : starburn::BlockSource {
    explicit Source(const FakeImage& image) : image(image) {}
    uint32_t StartAddress() const override { return image.start; }
    uint64_t BlockCount() const override { return image.blocks; }
    StarBurnStatus Pull(uint8_t* out, uint32_t count, std::string*) override {
      for (uint32_t k = 0; k < count; ++k, ++next) {
        const auto block =
            ImageBlock(image.start, image.blocks, image.label, static_cast<uint32_t>(next));
        std::memcpy(out + uint64_t{k} * kBlockSize, block.data(), kBlockSize);
      }
      return STARBURN_OK;
    }
    const FakeImage& image;
    int64_t next = 0;
  };
  uint32_t start, blocks;
  std::string label;
};

// What the library's drive query reads from the SDK.
struct Reading {
  int32_t discType = 0;
  uint8_t blank = 0;
  uint64_t usedBytes = 0, freeBytes = 0;
  uint32_t sessionStart = 0;  // the next writable address of the track-255 record
  uint8_t formats[STARBURN_MEDIA_FORMAT_COUNT] = {};
  uint8_t writeModes[4] = {};  // packet, track at once, session at once, raw
  std::u16string label;
};

// Notifications a recording handle received.
struct Notifications {
  std::vector<std::pair<uint64_t, uint64_t>> progress;  // total, done
  std::vector<std::pair<uint32_t, uint32_t>> buffer;    // size, free
  std::function<void()> onFirstProgress;
};

inline void Record(uint32_t notification, void* context, void* first, void* second) {
  auto* seen = static_cast<Notifications*>(context);
  if (notification == STARBURN_NOTIFY_PROGRESS) {
    seen->progress.emplace_back(*static_cast<uint64_t*>(first), *static_cast<uint64_t*>(second));
    if (seen->progress.size() == 1 && seen->onFirstProgress) seen->onFirstProgress();
  } else if (notification == STARBURN_NOTIFY_BUFFER) {
    seen->buffer.emplace_back(*static_cast<uint32_t*>(first), *static_cast<uint32_t*>(second));
  }
}

// The SDK started with an empty registry; the library's calls through the C
// interface on the drives a test attaches.
class SdkFixture : public testing::Test {
 protected:
  void SetUp() override {
    ASSERT_EQ(StarBurn_UpStartEx(text, sizeof text), STARBURN_OK) << text;
    starburn::DeviceRegistry::Instance().DetachAll();
  }
  void TearDown() override {
    for (void*& handle : handles) StarBurn_Destroy(&handle);
    EXPECT_EQ(starburn::HandleTable::Instance().Count(), 0u);  // every handle was released
    starburn::DeviceRegistry::Instance().DetachAll();
    StarBurn_DownShut();
  }

  void Attach(const std::string& list) {
    ASSERT_EQ(StarBurn_AttachVirtualDrives(list.c_str(), text, sizeof text), STARBURN_OK) << text;
  }
  // One recorder attached directly, so that a test can set its faults.
  std::shared_ptr<starburn::EmulatedRecorder> AttachRecorder(
      const char* medium, const std::string& image,
      const starburn::DriveModel& model = starburn::DriveModel::AllMedia()) {
    std::shared_ptr<starburn::EmulatedRecorder> recorder;
    std::string error;
    EXPECT_EQ(starburn::EmulatedRecorder::Create(starburn::FindMedium(medium), image, model,
                                                 &recorder, &error),
              STARBURN_OK)
        << error;
    EXPECT_EQ(starburn::DeviceRegistry::Instance().AttachVirtual({recorder}, &error), STARBURN_OK);
    return recorder;
  }

  // A device call with the error text, system error and failure record
  // after its handle: Call(StarBurn_CdvdBurnerGrabber_Blank, device, 1).
  template <typename F, typename... Args>
  StarBurnStatus Call(F function, void* device, Args... args) {
    return function(device, text, sizeof text, &systemError, &failure, args...);
  }

  // A handle closed by TearDown; null on failure (status in *status).
  void* Open(const std::string& name, uint32_t shared, StarBurnCallback callback = nullptr,
             void* context = nullptr, StarBurnStatus* status = nullptr) {
    void* handle = nullptr;
    const StarBurnStatus result =
        StarBurn_CdvdBurnerGrabber_CreateEx(&handle, text, sizeof text, &systemError, &failure,
                                            callback, context, name.c_str(), shared);
    if (status != nullptr) *status = result;
    if (result == STARBURN_OK) handles.push_back(handle);
    return handle;
  }
  void Close(void* handle) {
    for (void*& open : handles) {
      if (open == handle) StarBurn_Destroy(&open);
    }
  }

  // The readings the library's drive query takes, in its order.
  Reading Query(const std::string& name, char letter = 0) {
    Reading reading;
    void* device = Open(name, 1);
    EXPECT_NE(device, nullptr) << text;
    uint32_t ignored = 0;
    if (letter != 0) {
      StarBurnWChar label[260] = {};
      StarBurn_GetVolumeLabelByLetter(letter, label, 260);
      reading.label = label;
    }
    reading.discType = StarBurn_CdvdBurnerGrabber_GetInsertedDiscType(device);
    if (reading.discType != 14) {
      uint64_t used = 0, free = 0;
      if (Call(StarBurn_CdvdBurnerGrabber_GetDiscUsedSpace, device, &used) == STARBURN_OK) {
        reading.usedBytes = used;
      }
      if (StarBurn_CdvdBurnerGrabber_GetDiscFreeSpace(device, 3, &ignored, &free) == STARBURN_OK) {
        reading.freeBytes = free;
      }
      uint8_t blank = 0;
      reading.blank =
          Call(StarBurn_CdvdBurnerGrabber_IsDiscBlank, device, &blank) == STARBURN_OK && blank != 0;
      StarBurn_SetFastReadTOC(1);
      uint8_t track[STARBURN_TRACK_INFORMATION_SIZE] = {};
      if (Call(StarBurn_CdvdBurnerGrabber_GetTrackInformation, device, 255, track, sizeof track) ==
          STARBURN_OK) {
        std::memcpy(&reading.sessionStart, track + 16, 4);
      }
    }
    StarBurnMediaFormats formats = {STARBURN_MEDIA_FORMATS_SIZE, {}};
    StarBurn_CdvdBurnerGrabber_GetAdvancedSupportedMediaFormats(device, &formats);
    std::memcpy(reading.formats, formats.flags, sizeof reading.formats);
    uint8_t* modes = reading.writeModes;
    Call(StarBurn_CdvdBurnerGrabber_ProbeSupportedWriteModes, device, &modes[0], &modes[1],
         &modes[2], &modes[3]);
    Close(device);
    return reading;
  }

  // The library's burn of an image of blocks blocks labelled label, built for
  // the session start the query read: the file-tree stage's shared open, then
  // the recording open, protection, speeds, the track, the session, the
  // eject. Answers the recording call's status (and CloseSession's when the
  // recording passed). mark(stage), when given, is called before the
  // recording (0), before the close (1) and after it (2).
  StarBurnStatus Burn(const std::string& name, uint32_t start, uint32_t blocks,
                      const std::string& label, Notifications* seen = nullptr,
                      const std::function<void(int)>& mark = nullptr) {
    void* reader = Open(name, 1);
    uint32_t lastAddress = 0;
    EXPECT_EQ(Call(StarBurn_CdvdBurnerGrabber_GetLastAddress, reader, &lastAddress), STARBURN_OK)
        << text;
    Close(reader);
    Notifications local;
    void* device = Open(name, 0, &Record, seen != nullptr ? seen : &local);
    EXPECT_NE(device, nullptr) << text;
    if (device == nullptr) return STARBURN_STATUS_FAILED;
    EXPECT_EQ(Call(StarBurn_CdvdBurnerGrabber_TestUnitReady, device), STARBURN_OK);
    uint8_t enabled = 0;
    uint32_t supported = 0;
    if (Call(StarBurn_CdvdBurnerGrabber_GetBUP, device, &enabled, &supported) == STARBURN_OK &&
        supported == 1) {
      EXPECT_EQ(Call(StarBurn_CdvdBurnerGrabber_SetBUP, device, 1), STARBURN_OK);
    }
    uint32_t speeds[4];
    Call(StarBurn_CdvdBurnerGrabber_GetSpeeds, device, &speeds[0], &speeds[1], &speeds[2],
         &speeds[3]);
    void* tree = starburn::HandleTable::Instance().Add(new FakeImage(start, blocks, label));
    if (mark) mark(0);
    const StarBurnStatus status =
        Call(StarBurn_CdvdBurnerGrabber_TrackAtOnceFromTree, device, tree, 0, 0, 1, 1, 5);
    recordText = text;
    if (mark) mark(1);
    const StarBurnStatus close = Call(StarBurn_CdvdBurnerGrabber_CloseSession, device);
    if (mark) mark(2);
    Call(StarBurn_CdvdBurnerGrabber_Eject, device);
    StarBurn_Destroy(&tree);
    Close(device);
    return status != STARBURN_OK ? status : close;
  }

  Scratch directory;
  char text[STARBURN_ERROR_TEXT_SIZE] = {};
  uint32_t systemError = 0;
  StarBurnCommandFailure failure = {};
  std::vector<void*> handles;
  std::string recordText;
};

}  // namespace sdktest
