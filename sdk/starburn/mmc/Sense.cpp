#include "mmc/Sense.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

#include "mmc/Bytes.h"
#include "mmc/Cdb.h"

namespace starburn {

namespace {

constexpr uint8_t kFixedCurrent = 0x70;
constexpr uint8_t kFixedDeferred = 0x71;
constexpr uint8_t kDescriptorCurrent = 0x72;
constexpr uint8_t kDescriptorDeferred = 0x73;
constexpr uint8_t kFixedSenseLength = 18;
// Sense-key specific bytes: fixed format bytes 15-17; descriptor type 02h.
constexpr uint32_t kFixedSpecific = 15;
constexpr uint32_t kDescriptorsStart = 8;
constexpr uint8_t kSpecificDescriptor = 0x02;
constexpr uint32_t kSpecificInDescriptor = 4;
constexpr uint8_t kSksv = 0x80;  // the sense-key specific bytes are valid

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
      switch (qualifier) {
        case kAscqBecomingReady:
          return "logical unit is becoming ready";
        case kAscqFormatInProgress:
          return "logical unit not ready, format in progress";
        case kAscqOperationInProgress:
          return "logical unit not ready, operation in progress";
        case kAscqLongWriteInProgress:
          return "logical unit not ready, long write in progress";
        default:
          return "logical unit not ready";
      }
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

bool OperationInProgress(SenseCodes codes) {
  if (codes.key == sensekey::kNoSense) {
    return codes.asc == 0 && codes.ascq == kAscqNoSenseOperationInProgress;
  }
  return codes.key == sensekey::kNotReady && codes.asc == asc::kNotReadyCause &&
         (codes.ascq == kAscqBecomingReady || codes.ascq == kAscqFormatInProgress ||
          codes.ascq == kAscqOperationInProgress || codes.ascq == kAscqLongWriteInProgress);
}

bool ProgressOf(const uint8_t* sense, uint32_t length, uint16_t* progress) {
  if (length < 1) return false;
  const uint8_t format = sense[0] & 0x7F;
  const uint8_t* specific = nullptr;
  if ((format == kFixedCurrent || format == kFixedDeferred) && length >= kFixedSpecific + 3) {
    specific = sense + kFixedSpecific;
  } else if ((format == kDescriptorCurrent || format == kDescriptorDeferred) &&
             length > kDescriptorsStart) {
    // Descriptors: a type byte and an additional length, then their bytes;
    // the additional sense length (byte 7) bounds them.
    const uint32_t end = std::min<uint32_t>(length, kDescriptorsStart + sense[7]);
    for (uint32_t at = kDescriptorsStart; at + 2 <= end; at += 2u + sense[at + 1]) {
      if (sense[at] == kSpecificDescriptor && at + kSpecificInDescriptor + 3 <= end) {
        specific = sense + at + kSpecificInDescriptor;
        break;
      }
    }
  }
  if (specific == nullptr || (specific[0] & kSksv) == 0) return false;
  *progress = GetBig16(specific + 1);
  return true;
}

void PutProgress(uint16_t progress, uint8_t* sense) {
  sense[kFixedSpecific] = kSksv;
  PutBig16(sense + kFixedSpecific + 1, progress);
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
