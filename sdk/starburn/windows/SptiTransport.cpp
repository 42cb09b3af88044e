#include "windows/SptiTransport.h"

#include <algorithm>
#include <cstddef>

namespace starburn {

namespace {

// The pass-through takes its timeout in whole seconds.
constexpr uint32_t kMillisecondsPerSecond = 1000;

// What a system error means for a command or an open: the status and words.
struct ErrorMeaning {
  StarBurnStatus status;
  const char* words;
};

ErrorMeaning MeaningOf(DWORD error) {
  switch (error) {
    case ERROR_DEVICE_NOT_CONNECTED:
    case ERROR_DEV_NOT_EXIST:
    case ERROR_DEVICE_REMOVED:
      return {STARBURN_STATUS_DEVICE_GONE, "the drive disappeared"};
    case ERROR_BUSY:
    case ERROR_SHARING_VIOLATION:
    case ERROR_LOCK_VIOLATION:
      return {STARBURN_STATUS_DEVICE_BUSY, "another program is using the drive"};
    case ERROR_ACCESS_DENIED:
      return {STARBURN_STATUS_PERMISSION_DENIED, "the system refused access to the drive"};
    case ERROR_SEM_TIMEOUT:
    case ERROR_TIMEOUT:
      return {STARBURN_STATUS_TIMEOUT, "the drive did not answer in time"};
    case ERROR_NOT_ENOUGH_MEMORY:
    case ERROR_OUTOFMEMORY:
      return {STARBURN_STATUS_OUT_OF_MEMORY, "the system ran out of memory"};
    case ERROR_INVALID_FUNCTION:
    case ERROR_NOT_SUPPORTED:
      return {STARBURN_STATUS_NOT_SUPPORTED, "the volume does not take SCSI commands"};
    default:
      return {STARBURN_STATUS_COMMAND_FAILED, "the system failed the command"};
  }
}

std::string Described(const std::string& volume, DWORD error, const char* words) {
  return volume + " " + words + " (system error " + std::to_string(error) + ")";
}

UCHAR DataInOf(DataDirection direction) {
  switch (direction) {
    case DataDirection::kFromDevice:
      return SCSI_IOCTL_DATA_IN;
    case DataDirection::kToDevice:
      return SCSI_IOCTL_DATA_OUT;
    case DataDirection::kNone:
      break;
  }
  return SCSI_IOCTL_DATA_UNSPECIFIED;
}

}  // namespace

std::string VolumePath(char letter) { return std::string("\\\\.\\") + letter + ':'; }

SptiTransport::SptiTransport(std::shared_ptr<SptiSystem> system, HANDLE handle, std::string volume)
    : system(std::move(system)), handle(handle), volume(std::move(volume)) {}

SptiTransport::~SptiTransport() { system->Close(handle); }

ScsiResult SptiTransport::Execute(const ScsiCommand& command) {
  SptiRequest request{};
  SCSI_PASS_THROUGH_DIRECT& header = request.header;
  const bool moves = command.direction != DataDirection::kNone && command.length > 0;
  header.Length = sizeof header;
  header.CdbLength = command.cdbLength;
  header.SenseInfoLength = sizeof request.sense;
  header.SenseInfoOffset = offsetof(SptiRequest, sense);
  header.DataIn = moves ? DataInOf(command.direction) : SCSI_IOCTL_DATA_UNSPECIFIED;
  header.DataTransferLength = moves ? command.length : 0;
  header.DataBuffer = moves ? command.data : nullptr;
  // Rounded up: a timeout of 500 ms is one second, never none.
  header.TimeOutValue = (command.timeoutMs + kMillisecondsPerSecond - 1) / kMillisecondsPerSecond;
  std::copy(command.cdb.begin(), command.cdb.begin() + command.cdbLength, header.Cdb);

  const DWORD error = system->PassThrough(handle, &request);
  if (error != 0) {
    const ErrorMeaning meaning = MeaningOf(error);
    return TransportFailure(meaning.status, Described(volume, error, meaning.words), error);
  }
  ScsiResult result;
  result.status = header.ScsiStatus;
  result.senseLength = std::min<uint8_t>(header.SenseInfoLength, kMaxSenseLength);
  std::copy(request.sense, request.sense + result.senseLength, result.sense.begin());
  // The system leaves in DataTransferLength the bytes that moved.
  result.transferred = moves ? std::min<uint32_t>(header.DataTransferLength, command.length) : 0;
  return result;
}

bool SptiTransport::Address(ScsiAddress* out) const {
  SCSI_ADDRESS address{};
  if (system->Address(handle, &address) != 0) return false;
  out->host = address.PortNumber;
  out->channel = address.PathId;
  out->target = address.TargetId;
  out->lun = address.Lun;
  return true;
}

SptiDrive::SptiDrive(std::shared_ptr<SptiSystem> system, char letter)
    : system(std::move(system)), letter(letter) {}

StarBurnStatus SptiDrive::Open(bool exclusive, std::unique_ptr<ScsiTransport>* out,
                               std::string* error) {
  std::unique_ptr<SptiTransport> transport;
  const StarBurnStatus status = OpenDriveVolume(system, letter, exclusive, &transport, error);
  if (status == STARBURN_OK) *out = std::move(transport);
  return status;
}

StarBurnStatus OpenDriveVolume(const std::shared_ptr<SptiSystem>& system, char letter,
                               bool exclusive, std::unique_ptr<SptiTransport>* out,
                               std::string* reason) {
  const std::string volume = VolumePath(letter);
  DWORD error = 0;
  const HANDLE handle = system->Open(std::wstring(volume.begin(), volume.end()), exclusive, &error);
  if (handle != INVALID_HANDLE_VALUE) {
    out->reset(new SptiTransport(system, handle, volume));
    return STARBURN_OK;
  }
  switch (error) {
    case ERROR_ACCESS_DENIED:
      *reason = Described(volume, error,
                          "access denied (sending commands to a drive may need an administrator)");
      return STARBURN_STATUS_PERMISSION_DENIED;
    case ERROR_SHARING_VIOLATION:
    case ERROR_BUSY:
      *reason = Described(volume, error,
                          "busy (another program has the drive open; close it and try again)");
      return STARBURN_STATUS_DEVICE_BUSY;
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND:
    case ERROR_DEV_NOT_EXIST:
    case ERROR_DEVICE_NOT_CONNECTED:
      *reason = Described(volume, error, "no drive answers there");
      return STARBURN_STATUS_NO_DEVICE;
    default:
      *reason = Described(volume, error, "cannot be opened");
      return STARBURN_STATUS_FAILED;
  }
}

}  // namespace starburn
