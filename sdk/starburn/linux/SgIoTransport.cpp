#include "linux/SgIoTransport.h"

#include <fcntl.h>
#include <scsi/scsi.h>
#include <scsi/sg.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>

namespace starburn {

namespace {

// The host byte of a finished command (the kernel's DID_* codes): what the
// host adapter saw on its way to the drive.
namespace host {
constexpr uint16_t kOk = 0x00;
constexpr uint16_t kNoConnect = 0x01;  // the device is not there (any more)
constexpr uint16_t kBusBusy = 0x02;
constexpr uint16_t kTimeOut = 0x03;
constexpr uint16_t kBadTarget = 0x04;  // the device was removed
constexpr uint16_t kAbort = 0x05;
constexpr uint16_t kReset = 0x08;
constexpr uint16_t kTransportFailfast = 0x0F;  // the link to the device is down
}  // namespace host
// The driver byte (DRIVER_*): its low three bits say what the driver saw; the
// DRIVER_SENSE bit says the sense buffer holds the drive's sense data.
constexpr uint16_t kDriverStatusMask = 0x07;
constexpr uint16_t kDriverTimeout = 0x06;
constexpr uint16_t kDriverSense = 0x08;

std::string Hex(const char* what, unsigned value) {
  char text[64];
  std::snprintf(text, sizeof text, "%s %02Xh", what, value);
  return text;
}

// The ioctl itself failed: the command may not have reached the drive.
ScsiResult IoctlFailure(const std::string& node, int error) {
  const std::string why = node + ": " + std::strerror(error);
  switch (error) {
    case ENODEV:
    case ENXIO:
      return TransportFailure(STARBURN_STATUS_DEVICE_GONE, why + " (the drive disappeared)", error);
    case EBUSY:
      return TransportFailure(STARBURN_STATUS_DEVICE_BUSY, why, error);
    case EACCES:
    case EPERM:
      // The kernel lets only a descriptor opened for writing send commands
      // that change the disc.
      return TransportFailure(STARBURN_STATUS_PERMISSION_DENIED,
                              why + " (the system refused the command)", error);
    case ENOMEM:
      return TransportFailure(STARBURN_STATUS_OUT_OF_MEMORY, why, error);
    case ENOTTY:
      return TransportFailure(STARBURN_STATUS_NOT_SUPPORTED,
                              why + " (the node does not take SCSI commands)", error);
    default:
      return TransportFailure(STARBURN_STATUS_COMMAND_FAILED, why, error);
  }
}

// The command ran, but the host adapter or the driver did not complete it.
bool HostFailure(const sg_io_hdr_t& header, const std::string& node, ScsiResult* result) {
  const unsigned hostStatus = header.host_status;
  const unsigned driverStatus = header.driver_status & kDriverStatusMask;
  if (hostStatus == host::kNoConnect || hostStatus == host::kBadTarget ||
      hostStatus == host::kTransportFailfast) {
    *result = TransportFailure(
        STARBURN_STATUS_DEVICE_GONE,
        node + ": the drive disappeared (" + Hex("host status", hostStatus) + ")", ENODEV);
    return true;
  }
  if (hostStatus == host::kTimeOut || driverStatus == kDriverTimeout) {
    *result = TransportFailure(STARBURN_STATUS_TIMEOUT, node + ": the drive did not answer in time",
                               ETIMEDOUT);
    return true;
  }
  if (hostStatus == host::kBusBusy) {
    *result = TransportFailure(STARBURN_STATUS_DEVICE_BUSY, node + ": the bus is busy", EBUSY);
    return true;
  }
  if (hostStatus != host::kOk) {
    const char* what = hostStatus == host::kAbort   ? "the command was aborted"
                       : hostStatus == host::kReset ? "the bus was reset"
                                                    : "the host adapter failed the command";
    *result =
        TransportFailure(STARBURN_STATUS_COMMAND_FAILED,
                         node + ": " + what + " (" + Hex("host status", hostStatus) + ")", EIO);
    return true;
  }
  return false;
}

}  // namespace

SgIoTransport::SgIoTransport(std::shared_ptr<SgSystem> system, int fd, std::string node)
    : system(std::move(system)), fd(fd), node(std::move(node)) {}

SgIoTransport::~SgIoTransport() { system->Close(fd); }

ScsiResult SgIoTransport::Execute(const ScsiCommand& command) {
  std::array<uint8_t, kMaxCdbLength> cdb = command.cdb;  // the kernel wants it writable
  std::array<uint8_t, kMaxSenseLength> sense{};
  sg_io_hdr_t header;
  std::memset(&header, 0, sizeof header);
  header.interface_id = 'S';
  switch (command.direction) {
    case DataDirection::kNone:
      header.dxfer_direction = SG_DXFER_NONE;
      break;
    case DataDirection::kFromDevice:
      header.dxfer_direction = SG_DXFER_FROM_DEV;
      break;
    case DataDirection::kToDevice:
      header.dxfer_direction = SG_DXFER_TO_DEV;
      break;
  }
  const bool moves = command.direction != DataDirection::kNone && command.length > 0;
  header.cmd_len = command.cdbLength;
  header.cmdp = cdb.data();
  header.mx_sb_len = kMaxSenseLength;
  header.sbp = sense.data();
  header.dxfer_len = moves ? command.length : 0;
  header.dxferp = moves ? command.data : nullptr;
  header.timeout = command.timeoutMs;

  const int rc = system->Ioctl(fd, SG_IO, &header);
  if (rc < 0) return IoctlFailure(node, -rc);
  ScsiResult result;
  if (HostFailure(header, node, &result)) return result;

  result.senseLength = static_cast<uint8_t>(std::min<unsigned>(header.sb_len_wr, kMaxSenseLength));
  std::memcpy(result.sense.data(), sense.data(), result.senseLength);
  result.status = header.status;
  // Some paths report the drive's sense with the status byte already
  // cleared; the sense still says the command failed.
  if (result.status == kScsiGood && (header.driver_status & kDriverSense) != 0 &&
      result.senseLength > 0) {
    result.status = kScsiCheckCondition;
  }
  const uint32_t resid = header.resid > 0 ? static_cast<uint32_t>(header.resid) : 0;
  result.transferred = header.dxfer_len - std::min(resid, header.dxfer_len);
  return result;
}

SgIoDrive::SgIoDrive(std::shared_ptr<SgSystem> system, std::string node)
    : system(std::move(system)), node(std::move(node)) {}

bool SgIoTransport::Address(ScsiAddress* out) const {
  // SCSI_IOCTL_GET_IDLUN's answer: its first word packs the target (bits
  // 0-7), the logical unit (8-15), the channel (16-23) and the host adapter
  // number (24-31); the second is the adapter's unique id.
  struct {
    uint32_t packed;
    uint32_t hostUniqueId;
  } idLun{};
  if (system->Ioctl(fd, SCSI_IOCTL_GET_IDLUN, &idLun) != 0) return false;
  out->target = static_cast<uint8_t>(idLun.packed);
  out->lun = static_cast<uint8_t>(idLun.packed >> 8);
  out->channel = static_cast<uint8_t>(idLun.packed >> 16);
  out->host = static_cast<uint8_t>(idLun.packed >> 24);
  return true;
}

StarBurnStatus SgIoDrive::Open(bool exclusive, std::unique_ptr<ScsiTransport>* out,
                               std::string* error) {
  std::unique_ptr<SgIoTransport> transport;
  const StarBurnStatus status = OpenDriveNode(system, node, exclusive, &transport, error);
  if (status == STARBURN_OK) *out = std::move(transport);
  return status;
}

StarBurnStatus OpenDriveNode(const std::shared_ptr<SgSystem>& system, const std::string& node,
                             bool exclusive, std::unique_ptr<SgIoTransport>* out,
                             std::string* reason) {
  // Read and write: the kernel lets a descriptor opened only for reading send
  // only the commands that read. Non-blocking: the CD-ROM driver otherwise
  // refuses a drive without a readable disc, and a blank disc is what a
  // recorder is opened for.
  const int flags = O_RDWR | O_NONBLOCK | O_CLOEXEC | (exclusive ? O_EXCL : 0);
  const int fd = system->Open(node, flags);
  if (fd >= 0) {
    out->reset(new SgIoTransport(system, fd, node));
    return STARBURN_OK;
  }
  const int error = -fd;
  switch (error) {
    case EACCES:
    case EPERM: {
      const std::string group = system->GroupOf(node);
      *reason = node + ": permission denied" +
                (group.empty() || group == "root"
                     ? std::string(" (only the administrator may open it)")
                     : " (the user is not in the group " + group +
                           " that owns it; add the user to it and log in again)");
      return STARBURN_STATUS_PERMISSION_DENIED;
    }
    case EBUSY: {
      const std::string mounted = system->MountPointOf(node);
      *reason =
          node + (mounted.empty() ? ": busy (another program holds it exclusively, or its disc is "
                                    "mounted; unmount the disc or close the other program)"
                                  : ": busy: its disc is mounted at " + mounted +
                                        " (the desktop mounts discs it can read); unmount it with "
                                        "\"umount " +
                                        mounted + "\" or the file manager's eject, then try again");
      return STARBURN_STATUS_DEVICE_BUSY;
    }
    case ENOENT:
    case ENODEV:
    case ENXIO:
      *reason = node + ": no drive answers there (" + std::strerror(error) + ")";
      return STARBURN_STATUS_NO_DEVICE;
    default:
      *reason = node + ": cannot be opened (" + std::strerror(error) + ")";
      return STARBURN_STATUS_FAILED;
  }
}

}  // namespace starburn
