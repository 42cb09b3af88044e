#pragma once

// The one way the SDK talks to a drive: a SCSI command descriptor block, data
// in or out, a timeout; the SCSI status and sense data back. The emulated
// recorder is one transport, the Linux SG_IO pass-through another; everything
// above speaks MMC through this interface only.

#include <array>
#include <cstdint>
#include <string>
#include <utility>

#include "starburn/StarBurn.h"

namespace starburn {

// Longest command descriptor block MMC uses.
constexpr uint32_t kMaxCdbLength = 16;
// Fixed-format sense is 18 bytes; drives may add more. 32 is the room of the
// SDK's command-failure record.
constexpr uint32_t kMaxSenseLength = 32;

// How long a command may take, by class (TimeoutOf in Cdb.h picks one).
// Questions the drive answers from its memory or from a table of contents it
// has read: a drive still spinning up answers NOT READY rather than wait, so
// 30 seconds is for a drive busy with an earlier command.
constexpr uint32_t kQueryTimeoutMs = 30 * 1000;
// READ(10)/WRITE(10) of 64 KiB and the tray: a drive retrying a damaged block,
// or loading a disc and reading its lead-in, takes up to a minute.
constexpr uint32_t kTransferTimeoutMs = 60 * 1000;
// WRITE(10): the first write of a DVD or BD session may be held while the
// drive calibrates its laser, writes the lead-in or formats a BD-R for
// defect management: two minutes.
constexpr uint32_t kWriteTimeoutMs = 120 * 1000;
// SYNCHRONIZE CACHE: writing out a buffer of a few MiB at 1x takes under a
// minute, but a drive may first calibrate the laser or pad a short DVD track
// to its minimum length: ten minutes.
constexpr uint32_t kFlushTimeoutMs = 10 * 60 * 1000;
// CLOSE TRACK/SESSION: a session's lead-in and lead-out (CD: 90 seconds at
// 1x), or on a nearly empty DVD±R a lead-out padded out to the minimum radius
// a player needs, several minutes at 1x: half an hour.
constexpr uint32_t kCloseTimeoutMs = 30 * 60 * 1000;
// BLANK: a full blank of a CD-RW at 1x takes about 80 minutes, of a DVD-RW at
// 1x about an hour: two hours.
constexpr uint32_t kBlankTimeoutMs = 120 * 60 * 1000;
// FORMAT UNIT: a full format of a 25 GB BD-RE with certification at 1x reads
// back every block it writes, about three hours: four hours.
constexpr uint32_t kFormatTimeoutMs = 240 * 60 * 1000;

enum class DataDirection { kNone, kFromDevice, kToDevice };

// SCSI status bytes.
constexpr uint8_t kScsiGood = 0x00;
constexpr uint8_t kScsiCheckCondition = 0x02;
constexpr uint8_t kScsiConditionMet = 0x04;
constexpr uint8_t kScsiBusy = 0x08;
constexpr uint8_t kScsiReservationConflict = 0x18;

struct ScsiCommand {
  std::array<uint8_t, kMaxCdbLength> cdb{};
  uint8_t cdbLength = 0;
  DataDirection direction = DataDirection::kNone;
  uint8_t* data = nullptr;  // length bytes, owned by the caller
  uint32_t length = 0;
  uint32_t timeoutMs = kQueryTimeoutMs;
};

struct ScsiResult {
  // Not STARBURN_OK when the command did not complete at the drive (the device
  // vanished, the timeout passed, the system refused): then the fields below
  // mean nothing and transportError says what happened.
  StarBurnStatus transport = STARBURN_OK;
  std::string transportError;
  uint32_t systemError = 0;  // the system's code behind a transport failure
  uint8_t status = kScsiGood;
  std::array<uint8_t, kMaxSenseLength> sense{};
  uint8_t senseLength = 0;
  uint32_t transferred = 0;  // data bytes actually moved
};

// A command that did not complete at the drive: status, what happened, and
// the system's error behind it.
inline ScsiResult TransportFailure(StarBurnStatus status, std::string text, uint32_t error) {
  ScsiResult result;
  result.transport = status;
  result.transportError = std::move(text);
  result.systemError = error;
  return result;
}

// One open path to one drive. Execute is called by one thread at a time (the
// thread that owns the device handle); implementations serialise with other
// paths to the same drive themselves.
class ScsiTransport {
 public:
  virtual ~ScsiTransport() = default;
  virtual ScsiResult Execute(const ScsiCommand& command) = 0;
};

}  // namespace starburn
