#pragma once

// The one way the SDK talks to a drive: a SCSI command descriptor block, data
// in or out, a timeout; the SCSI status and sense data back. The emulated
// recorder is one transport, the Linux SG_IO pass-through another; everything
// above speaks MMC through this interface only.

#include <array>
#include <cstdint>
#include <string>

#include "starburn/StarBurn.h"

namespace starburn {

// Longest command descriptor block MMC uses.
constexpr uint32_t kMaxCdbLength = 16;
// Fixed-format sense is 18 bytes; drives may add more. 32 is the room of the
// SDK's command-failure record.
constexpr uint32_t kMaxSenseLength = 32;

// Timeouts. Ordinary commands answer within seconds; blanking, formatting,
// closing a session and flushing the cache of a slow drive can take many
// minutes (a full blank of a CD-RW at 1x takes about 80 minutes).
constexpr uint32_t kShortTimeoutMs = 30 * 1000;
constexpr uint32_t kLongTimeoutMs = 120 * 60 * 1000;

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
  uint32_t timeoutMs = kShortTimeoutMs;
};

struct ScsiResult {
  // Not STARBURN_OK when the command did not complete at the drive (the device
  // vanished, the timeout passed, the system refused): then the fields below
  // mean nothing and transportError says what happened.
  StarBurnStatus transport = STARBURN_OK;
  std::string transportError;
  uint32_t systemError = 0;  // errno behind a transport failure
  uint8_t status = kScsiGood;
  std::array<uint8_t, kMaxSenseLength> sense{};
  uint8_t senseLength = 0;
  uint32_t transferred = 0;  // data bytes actually moved
};

// One open path to one drive. Execute is called by one thread at a time (the
// thread that owns the device handle); implementations serialise with other
// paths to the same drive themselves.
class ScsiTransport {
 public:
  virtual ~ScsiTransport() = default;
  virtual ScsiResult Execute(const ScsiCommand& command) = 0;
};

}  // namespace starburn
