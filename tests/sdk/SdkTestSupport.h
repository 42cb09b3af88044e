#pragma once

// What the SDK's tests share: a scratch directory, recognisable image blocks
// with a minimal ISO 9660 descriptor set and an image-tree stand-in that a
// recording streams them from; a fixture that starts the SDK and makes the
// library's calls (its drive query, its burn); a scripted Linux kernel for the
// SG_IO path.

#include <fcntl.h>
#include <gtest/gtest.h>
#include <scsi/scsi.h>
#include <scsi/sg.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "common/BlockIo.h"
#include "common/Object.h"
#include "devices/DeviceRegistry.h"
#include "linux/SgSystem.h"
#include "mmc/Cdb.h"
#include "starburn/StarBurn.h"
#include "virtual/EmulatedRecorder.h"
#include "virtual/Medium.h"

namespace sdktest {

using starburn::kBlockSize;

// A directory removed with everything in it when the object goes.
class Scratch {
 public:
  Scratch() {
    std::string pattern = std::filesystem::temp_directory_path().string() + "/starburn-XXXXXX";
    path = mkdtemp(pattern.data()) != nullptr ? pattern : "";
  }
  ~Scratch() {
    std::error_code ignored;
    std::filesystem::remove_all(path, ignored);
  }
  Scratch(const Scratch&) = delete;
  Scratch& operator=(const Scratch&) = delete;
  std::string File(const std::string& name) const { return path + "/" + name; }
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
  // eject. Answers the recording call's status; *closed gets CloseSession's.
  // mark(stage), when given, is called before the recording (0), before the
  // close (1) and after it (2).
  StarBurnStatus Burn(const std::string& name, uint32_t start, uint32_t blocks,
                      const std::string& label, Notifications* seen = nullptr,
                      StarBurnStatus* closed = nullptr,
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
    recordFailure = failure;
    if (mark) mark(1);
    const StarBurnStatus close = Call(StarBurn_CdvdBurnerGrabber_CloseSession, device);
    if (mark) mark(2);
    if (closed != nullptr) *closed = close;
    Call(StarBurn_CdvdBurnerGrabber_Eject, device);
    StarBurn_Destroy(&tree);
    Close(device);
    return status;
  }

  Scratch directory;
  char text[STARBURN_ERROR_TEXT_SIZE] = {};
  uint32_t systemError = 0;
  StarBurnCommandFailure failure = {};
  std::vector<void*> handles;
  std::string recordText;
  StarBurnCommandFailure recordFailure = {};
};

// The host byte the kernel sets for a device that is gone, or silent.
constexpr uint16_t kHostNoConnect = 0x01;
constexpr uint16_t kHostTimeOut = 0x03;
constexpr uint16_t kDriverSense = 0x08;

// A scripted Linux kernel for the SG_IO transport and drive discovery: device
// nodes that list, open (or refuse with an errno) and take SG_IO. A node may
// have an emulated recorder behind it, which answers as a drive on the bus
// would; its intercept sees every SG_IO first and may answer it itself. The
// kernel keeps a journal of every SG_IO header it was handed. One thread.
class SgIoKernelDouble : public starburn::SgSystem {
 public:
  struct Call {  // one SG_IO as the kernel received it
    std::string node;
    uint8_t interfaceId = 0;
    std::vector<uint8_t> cdb;
    int direction = 0;
    uint32_t length = 0, timeoutMs = 0;
    bool hasBuffer = false;
    uint8_t senseRoom = 0;
    std::vector<uint8_t> dataOut;  // what went to the device
    uint8_t Opcode() const { return cdb.empty() ? 0 : cdb[0]; }
  };
  struct Node {
    int openErrno = 0;       // nonzero: open fails with it
    std::string mountPoint;  // where its disc is mounted; empty: it is not
    std::string group = "cdrom";
    uint8_t peripheralType = 5;  // what INQUIRY says when no drive is behind the node
    bool addressKnown = true;
    starburn::ScsiAddress address;
    std::shared_ptr<starburn::DriveBackend> drive;  // answers the commands, when set
    // Answers true (with *rc, 0 or -errno) when it answered the command itself.
    std::function<bool(sg_io_hdr_t* header, int* rc)> intercept;
  };

  Node& AddNode(const std::string& name) { return nodes["/dev/" + name]; }

  std::vector<std::string> List(const std::string& directory, const std::string& prefix) override {
    std::vector<std::pair<long, std::string>> found;
    for (const auto& entry : nodes) {
      const std::string name = entry.first.substr(directory.size() + 1);
      if (entry.first.rfind(directory + "/", 0) == 0 && name.rfind(prefix, 0) == 0) {
        found.emplace_back(std::stol(name.substr(prefix.size())), name);
      }
    }
    std::sort(found.begin(), found.end());
    std::vector<std::string> names;
    names.reserve(found.size());
    for (const auto& entry : found) names.push_back(entry.second);
    return names;
  }
  int Open(const std::string& path, int flags) override {
    opens.emplace_back(path, flags);
    const auto node = nodes.find(path);
    if (node == nodes.end()) return -ENOENT;
    if (node->second.openErrno != 0) return -node->second.openErrno;
    Descriptor descriptor{path, nullptr};
    std::string error;
    if (node->second.drive &&
        node->second.drive->Open((flags & O_EXCL) != 0, &descriptor.path, &error) != STARBURN_OK) {
      return -EIO;
    }
    open[nextFd] = std::move(descriptor);
    return nextFd++;
  }
  void Close(int fd) override { open.erase(fd); }
  int Ioctl(int fd, unsigned long request, void* argument) override {
    const auto descriptor = open.find(fd);
    if (descriptor == open.end()) return -EBADF;
    Node& node = nodes[descriptor->second.node];
    if (request == SCSI_IOCTL_GET_IDLUN) {
      if (!node.addressKnown) return -EINVAL;
      const starburn::ScsiAddress& a = node.address;
      const uint32_t packed =
          a.target | (a.lun << 8) | (a.channel << 16) | (uint32_t{a.host} << 24);
      std::memcpy(argument, &packed, sizeof packed);
      return 0;
    }
    if (request != SG_IO) return -ENOTTY;
    auto* header = static_cast<sg_io_hdr_t*>(argument);
    Journal(descriptor->second.node, *header);
    int rc = 0;
    if (node.intercept && node.intercept(header, &rc)) return rc;
    if (descriptor->second.path) return Forward(*descriptor->second.path, header);
    return Inquiry(node, header);
  }
  std::string GroupOf(const std::string& path) override { return nodes[path].group; }
  std::string MountPointOf(const std::string& path) override { return nodes[path].mountPoint; }

  std::size_t OpenCount() const { return open.size(); }
  std::vector<std::string> Commands(std::size_t from = 0) const {  // opcodes by name
    std::vector<std::string> names;
    for (std::size_t i = from; i < journal.size(); ++i) {
      names.push_back(starburn::CommandName(journal[i].Opcode()));
    }
    return names;
  }

  std::map<std::string, Node> nodes;
  std::vector<Call> journal;
  std::vector<std::pair<std::string, int>> opens;  // path, flags

 private:
  struct Descriptor {
    std::string node;
    std::unique_ptr<starburn::ScsiTransport> path;  // to the drive behind the node
  };

  void Journal(const std::string& node, const sg_io_hdr_t& header) {
    Call call;
    call.node = node;
    call.interfaceId = static_cast<uint8_t>(header.interface_id);
    call.cdb.assign(header.cmdp, header.cmdp + header.cmd_len);
    call.direction = header.dxfer_direction;
    call.length = header.dxfer_len;
    call.hasBuffer = header.dxferp != nullptr;
    call.timeoutMs = header.timeout;
    call.senseRoom = header.mx_sb_len;
    if (header.dxfer_direction == SG_DXFER_TO_DEV && header.dxferp != nullptr) {
      const auto* data = static_cast<const uint8_t*>(header.dxferp);
      call.dataOut.assign(data, data + header.dxfer_len);
    }
    journal.push_back(std::move(call));
  }

  // The header as the kernel fills it from what the drive did.
  static int Forward(starburn::ScsiTransport& path, sg_io_hdr_t* header) {
    starburn::ScsiCommand command;
    std::copy(header->cmdp, header->cmdp + header->cmd_len, command.cdb.begin());
    command.cdbLength = header->cmd_len;
    command.direction =
        header->dxfer_direction == SG_DXFER_TO_DEV     ? starburn::DataDirection::kToDevice
        : header->dxfer_direction == SG_DXFER_FROM_DEV ? starburn::DataDirection::kFromDevice
                                                       : starburn::DataDirection::kNone;
    command.data = static_cast<uint8_t*>(header->dxferp);
    command.length = header->dxfer_len;
    command.timeoutMs = header->timeout;
    const starburn::ScsiResult result = path.Execute(command);
    if (result.transport == STARBURN_STATUS_DEVICE_GONE) {
      header->host_status = kHostNoConnect;
      return 0;
    }
    header->status = result.status;
    header->masked_status = static_cast<unsigned char>(result.status >> 1);
    header->sb_len_wr = std::min<unsigned char>(result.senseLength, header->mx_sb_len);
    std::memcpy(header->sbp, result.sense.data(), header->sb_len_wr);
    if (header->sb_len_wr > 0) header->driver_status = kDriverSense;
    header->resid = static_cast<int>(header->dxfer_len - result.transferred);
    return 0;
  }

  // A node with nothing behind it answers INQUIRY with its type, and every
  // other command with GOOD and no data.
  static int Inquiry(const Node& node, sg_io_hdr_t* header) {
    if (header->cmdp[0] != starburn::opcode::kInquiry) {
      header->resid = static_cast<int>(header->dxfer_len);
      return 0;
    }
    std::vector<uint8_t> answer(36, ' ');
    answer[0] = node.peripheralType;
    answer[1] = 0x80;  // removable
    answer[2] = 5;
    answer[3] = 2;
    answer[4] = 31;
    const uint32_t size = std::min<uint32_t>(header->dxfer_len, 36);
    std::memcpy(header->dxferp, answer.data(), size);
    header->resid = static_cast<int>(header->dxfer_len - size);
    return 0;
  }

  int nextFd = 100;
  std::map<int, Descriptor> open;
};

}  // namespace sdktest
