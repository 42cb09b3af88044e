#pragma once

// Command descriptor blocks of the MMC commands the SDK sends. Each builder
// fills the bytes a drive reads; the executor (MmcDrive) adds direction, data
// and timeout.

#include <array>
#include <cstdint>

#include "mmc/ScsiTransport.h"

namespace starburn {

// Operation codes.
namespace opcode {
constexpr uint8_t kTestUnitReady = 0x00;
constexpr uint8_t kFormatUnit = 0x04;
constexpr uint8_t kInquiry = 0x12;
constexpr uint8_t kStartStopUnit = 0x1B;
constexpr uint8_t kPreventAllowMediumRemoval = 0x1E;
constexpr uint8_t kRead10 = 0x28;
constexpr uint8_t kWrite10 = 0x2A;
constexpr uint8_t kSynchronizeCache = 0x35;
constexpr uint8_t kReadToc = 0x43;
constexpr uint8_t kGetConfiguration = 0x46;
constexpr uint8_t kReadDiscInformation = 0x51;
constexpr uint8_t kReadTrackInformation = 0x52;
constexpr uint8_t kModeSelect10 = 0x55;
constexpr uint8_t kModeSense10 = 0x5A;
constexpr uint8_t kCloseTrackSession = 0x5B;
constexpr uint8_t kReadBufferCapacity = 0x5C;
constexpr uint8_t kBlank = 0xA1;
constexpr uint8_t kGetPerformance = 0xAC;
constexpr uint8_t kSetCdSpeed = 0xBB;
}  // namespace opcode

struct Cdb {
  std::array<uint8_t, kMaxCdbLength> bytes{};
  uint8_t length = 0;
};

// Name of a command for messages ("WRITE(10)"); "command 0xNN" for others.
const char* CommandName(uint8_t opcode);

// GET CONFIGURATION request types.
constexpr uint8_t kConfigurationAll = 0;      // every feature the drive has
constexpr uint8_t kConfigurationCurrent = 1;  // only the current ones

// READ TRACK INFORMATION: the invisible (next writable) track.
constexpr uint32_t kInvisibleTrack = 0xFF;

// READ TOC formats.
constexpr uint8_t kTocFormatTracks = 0;    // every track of the complete sessions
constexpr uint8_t kTocFormatSessions = 1;  // the first track of the last complete session

// BLANK types.
constexpr uint8_t kBlankFull = 0;     // the whole disc
constexpr uint8_t kBlankMinimal = 1;  // the table of contents and the program memory area

// CLOSE TRACK/SESSION functions.
constexpr uint8_t kCloseTrack = 1;
constexpr uint8_t kCloseSession = 2;  // close the session (a border on DVD-R)
constexpr uint8_t kFinalizeDisc = 6;  // DVD+R and BD-R: close the session and the disc

// Mode pages.
constexpr uint8_t kWriteParametersPage = 0x05;
constexpr uint8_t kCapabilitiesPage = 0x2A;

// SET CD SPEED's "as fast as the drive can".
constexpr uint16_t kMaximumSpeed = 0xFFFF;

// GET PERFORMANCE type of the write speed descriptors.
constexpr uint8_t kPerformanceWriteSpeed = 0x03;

Cdb TestUnitReadyCdb();
Cdb InquiryCdb(uint16_t allocation);
Cdb GetConfigurationCdb(uint8_t requestType, uint16_t startingFeature, uint16_t allocation);
Cdb ReadDiscInformationCdb(uint16_t allocation);
Cdb ReadTrackInformationCdb(uint32_t track, uint16_t allocation);
Cdb ReadTocCdb(uint8_t format, bool msf, uint8_t trackOrSession, uint16_t allocation);
Cdb GetPerformanceCdb(uint8_t type, uint16_t maxDescriptors);
Cdb ModeSense10Cdb(uint8_t page, uint16_t allocation);
Cdb ModeSelect10Cdb(uint16_t parameterLength);
Cdb SetCdSpeedCdb(uint16_t readSpeed, uint16_t writeSpeed);
Cdb BlankCdb(uint8_t type);
// Format descriptor follows as data: see FormatUnitParameters.
Cdb FormatUnitCdb();
Cdb Write10Cdb(uint32_t lba, uint16_t blocks);
Cdb Read10Cdb(uint32_t lba, uint16_t blocks);
Cdb SynchronizeCacheCdb();
Cdb CloseTrackSessionCdb(uint8_t function, uint16_t track);
Cdb StartStopUnitCdb(bool loadEject, bool start);
Cdb PreventAllowMediumRemovalCdb(bool prevent);
Cdb ReadBufferCapacityCdb(uint16_t allocation);

// The 12-byte parameter list of FORMAT UNIT: a 4-byte header and one format
// descriptor (number of blocks, format type, type parameter).
constexpr uint32_t kFormatParameterLength = 12;
std::array<uint8_t, kFormatParameterLength> FormatUnitParameters(uint32_t blocks,
                                                                 uint8_t formatType,
                                                                 uint32_t typeParameter);

// Format types.
constexpr uint8_t kFormatFull = 0x00;       // DVD-RAM, BD-RE: full format
constexpr uint8_t kFormatDvdPlusRw = 0x26;  // DVD+RW: basic format

}  // namespace starburn
