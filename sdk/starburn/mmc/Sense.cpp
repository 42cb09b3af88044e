#include "mmc/Sense.h"

#include <cstdio>
#include <cstring>

#include "mmc/Cdb.h"

namespace starburn {

namespace {

constexpr uint8_t kFixedCurrent = 0x70;
constexpr uint8_t kFixedDeferred = 0x71;
constexpr uint8_t kDescriptorCurrent = 0x72;
constexpr uint8_t kDescriptorDeferred = 0x73;
constexpr uint8_t kFixedSenseLength = 18;

const char* KeyName(uint8_t key) {
  static const char* const kNames[] = {
      "NO SENSE",       "RECOVERED ERROR", "NOT READY",      "MEDIUM ERROR",
      "HARDWARE ERROR", "ILLEGAL REQUEST", "UNIT ATTENTION", "DATA PROTECT",
      "BLANK CHECK",    "VENDOR SPECIFIC", "COPY ABORTED",   "ABORTED COMMAND",
      "sense key 0Ch",  "VOLUME OVERFLOW", "MISCOMPARE",     "sense key 0Fh"};
  return kNames[key & 0x0F];
}

const char* CodeText(uint8_t code, uint8_t qualifier) {
  switch (code) {
    case asc::kNotReadyCause:
      return "logical unit not ready";
    case asc::kWriteError:
      return "write error";
    case asc::kInvalidOpcode:
      return "invalid command operation code";
    case asc::kAddress:
      return qualifier == kAscqInvalidWriteAddress ? "invalid address for write"
                                                   : "logical block address out of range";
    case asc::kInvalidFieldInCdb:
      return "invalid field in CDB";
    case asc::kInvalidFieldInParameters:
      return "invalid field in parameter list";
    case asc::kWriteProtected:
      return "write protected";
    case asc::kMediumChanged:
      return "not ready to ready change, medium may have changed";
    case asc::kResetOccurred:
      return "power on or reset occurred";
    case asc::kCommandSequenceError:
      return "command sequence error";
    case asc::kIncompatibleMedium:
      return qualifier == 0x05   ? "cannot write medium, incompatible format"
             : qualifier == 0x10 ? "medium not formatted"
                                 : "incompatible medium installed";
    case asc::kMediumNotPresent:
      return qualifier == 0x02 ? "medium not present, tray open" : "medium not present";
    case asc::kRemovalPrevented:
      return "medium removal prevented";
    case asc::kIllegalModeForTrack:
      return "illegal mode for this track";
    default:
      return nullptr;
  }
}

}  // namespace

SenseCodes DecodeSense(const uint8_t* sense, uint32_t length) {
  SenseCodes codes;
  if (length < 1) return codes;
  const uint8_t format = sense[0] & 0x7F;
  if ((format == kFixedCurrent || format == kFixedDeferred) && length >= 3) {
    codes.key = sense[2] & 0x0F;
    if (length >= 14) {
      codes.asc = sense[12];
      codes.ascq = sense[13];
    }
  } else if ((format == kDescriptorCurrent || format == kDescriptorDeferred) && length >= 4) {
    codes.key = sense[1] & 0x0F;
    codes.asc = sense[2];
    codes.ascq = sense[3];
  }
  return codes;
}

uint8_t EncodeSense(SenseCodes codes, uint8_t* sense, uint32_t room) {
  if (room < kFixedSenseLength) return 0;
  std::memset(sense, 0, kFixedSenseLength);
  sense[0] = kFixedCurrent;
  sense[2] = codes.key & 0x0F;
  sense[7] = kFixedSenseLength - 8;  // additional sense length
  sense[12] = codes.asc;
  sense[13] = codes.ascq;
  return kFixedSenseLength;
}

StarBurnStatus StatusOf(uint8_t code, const ScsiResult& result) {
  if (result.transport != STARBURN_OK) return result.transport;
  switch (result.status) {
    case kScsiGood:
    case kScsiConditionMet:
      return STARBURN_OK;
    case kScsiBusy:
    case kScsiReservationConflict:
      return STARBURN_STATUS_DEVICE_BUSY;
    case kScsiCheckCondition:
      break;
    default:
      return STARBURN_STATUS_COMMAND_FAILED;
  }
  const SenseCodes sense = DecodeSense(result.sense.data(), result.senseLength);
  switch (sense.key) {
    case sensekey::kNoSense:
    case sensekey::kRecoveredError:
      // A CHECK CONDITION without sense is still a failure; a recovered error is not.
      return result.senseLength == 0 ? STARBURN_STATUS_COMMAND_FAILED : STARBURN_OK;
    case sensekey::kNotReady:
      return sense.asc == asc::kIncompatibleMedium ? STARBURN_STATUS_INCOMPATIBLE_MEDIUM
                                                   : STARBURN_STATUS_NOT_READY;
    case sensekey::kIllegalRequest:
      if (sense.asc == asc::kIncompatibleMedium) return STARBURN_STATUS_INCOMPATIBLE_MEDIUM;
      if (sense.asc == asc::kInvalidOpcode) return STARBURN_STATUS_NOT_SUPPORTED;
      if (sense.asc == asc::kAddress && sense.ascq == kAscqLbaOutOfRange &&
          code == opcode::kWrite10) {
        return STARBURN_STATUS_NO_SPACE;
      }
      return STARBURN_STATUS_COMMAND_FAILED;
    case sensekey::kDataProtect:
      return STARBURN_STATUS_INCOMPATIBLE_MEDIUM;
    case sensekey::kVolumeOverflow:
      return STARBURN_STATUS_NO_SPACE;
    default:
      return STARBURN_STATUS_COMMAND_FAILED;
  }
}

std::string DescribeSense(SenseCodes codes) {
  char text[160];
  const char* meaning = CodeText(codes.asc, codes.ascq);
  std::snprintf(text, sizeof text, "%s, %02Xh/%02Xh%s%s%s", KeyName(codes.key), codes.asc,
                codes.ascq, meaning != nullptr ? " (" : "", meaning != nullptr ? meaning : "",
                meaning != nullptr ? ")" : "");
  return text;
}

}  // namespace starburn
