#pragma once

// A scripted Linux kernel for the SG_IO transport and drive discovery.

#include <fcntl.h>
#include <scsi/scsi.h>
#include <scsi/sg.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "devices/DriveBackend.h"
#include "linux/SgSystem.h"
#include "mmc/Cdb.h"

namespace sdktest {

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
