#pragma once

// Sense data, and the one place where what a drive said becomes an SDK status.

#include <cstdint>
#include <string>

#include "mmc/ScsiTransport.h"

namespace starburn {

// Sense keys.
namespace sensekey {
constexpr uint8_t kNoSense = 0x0;
constexpr uint8_t kRecoveredError = 0x1;
constexpr uint8_t kNotReady = 0x2;
constexpr uint8_t kMediumError = 0x3;
constexpr uint8_t kHardwareError = 0x4;
constexpr uint8_t kIllegalRequest = 0x5;
constexpr uint8_t kUnitAttention = 0x6;
constexpr uint8_t kDataProtect = 0x7;
constexpr uint8_t kBlankCheck = 0x8;
constexpr uint8_t kAbortedCommand = 0xB;
constexpr uint8_t kVolumeOverflow = 0xD;
}  // namespace sensekey

// Additional sense codes the SDK and the emulated recorder use.
namespace asc {
constexpr uint8_t kNotReadyCause = 0x04;  // ascq 01: becoming ready
constexpr uint8_t kWriteError = 0x0C;
constexpr uint8_t kInvalidOpcode = 0x20;
constexpr uint8_t kAddress = 0x21;  // ascq 00: block out of range; 02: invalid address for write
constexpr uint8_t kInvalidFieldInCdb = 0x24;
constexpr uint8_t kInvalidFieldInParameters = 0x26;
constexpr uint8_t kWriteProtected = 0x27;
constexpr uint8_t kMediumChanged = 0x28;
constexpr uint8_t kResetOccurred = 0x29;
constexpr uint8_t kParametersChanged = 0x2A;
constexpr uint8_t kCommandSequenceError = 0x2C;
constexpr uint8_t kIncompatibleMedium =
    0x30;  // ascq 00 unknown format, 05 cannot write, 10 unformatted
constexpr uint8_t kMediumNotPresent = 0x3A;  // ascq 01 tray closed, 02 tray open
constexpr uint8_t kRemovalPrevented = 0x53;  // ascq 02
constexpr uint8_t kIllegalModeForTrack = 0x64;
}  // namespace asc
constexpr uint8_t kAscqLbaOutOfRange = 0x00;
constexpr uint8_t kAscqInvalidWriteAddress = 0x02;
// Qualifiers of "logical unit not ready" (asc 04) while the drive works.
constexpr uint8_t kAscqBecomingReady = 0x01;
constexpr uint8_t kAscqFormatInProgress = 0x04;
constexpr uint8_t kAscqOperationInProgress = 0x07;
constexpr uint8_t kAscqLongWriteInProgress = 0x08;
// NO SENSE 00h/16h: operation in progress.
constexpr uint8_t kAscqNoSenseOperationInProgress = 0x16;

// Key, code and qualifier of fixed-format (0x70/0x71) or descriptor-format
// (0x72/0x73) sense.
struct SenseCodes {
  uint8_t key = 0;
  uint8_t asc = 0;
  uint8_t ascq = 0;
};
SenseCodes DecodeSense(const uint8_t* sense, uint32_t length);

// Fills fixed-format sense (18 bytes) into sense; answers its length.
uint8_t EncodeSense(SenseCodes codes, uint8_t* sense, uint32_t room);

// Whether the sense says a long operation (a format, a blank, a close, a
// flush) still runs: NOT READY 04h with 01h, 04h, 07h or 08h, or NO SENSE
// 00h/16h.
bool OperationInProgress(SenseCodes codes);

// A long operation's progress, as a drive reports it in the sense-key
// specific bytes of fixed-format sense (15-17) or in the sense-key specific
// descriptor of descriptor-format sense: done of kProgressScale. False when
// the sense carries none (the SKSV bit is clear).
constexpr uint32_t kProgressScale = 65536;
bool ProgressOf(const uint8_t* sense, uint32_t length, uint16_t* progress);
// Adds a progress indication to fixed-format sense of 18 bytes.
void PutProgress(uint16_t progress, uint8_t* sense);

// The status of a finished command: transport failures pass through; GOOD is
// success; BUSY and reservation conflicts mean another initiator holds the
// drive; CHECK CONDITION is decoded from the sense. The opcode matters for
// one code only: a block out of range on a write means the disc is full.
StarBurnStatus StatusOf(uint8_t opcode, const ScsiResult& result);

// "ILLEGAL REQUEST, 21h/02h (invalid address for write)".
std::string DescribeSense(SenseCodes codes);

}  // namespace starburn
