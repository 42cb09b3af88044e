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
constexpr uint8_t kRequestSense = 0x03;
constexpr uint8_t kFormatUnit = 0x04;
constexpr uint8_t kInquiry = 0x12;
constexpr uint8_t kStartStopUnit = 0x1B;
constexpr uint8_t kReadFormatCapacities = 0x23;
constexpr uint8_t kPreventAllowMediumRemoval = 0x1E;
constexpr uint8_t kRead10 = 0x28;
constexpr uint8_t kWrite10 = 0x2A;
constexpr uint8_t kSynchronizeCache = 0x35;
constexpr uint8_t kReadToc = 0x43;
constexpr uint8_t kGetConfiguration = 0x46;
constexpr uint8_t kReadDiscInformation = 0x51;
constexpr uint8_t kReadTrackInformation = 0x52;
constexpr uint8_t kReserveTrack = 0x53;
constexpr uint8_t kModeSelect10 = 0x55;
constexpr uint8_t kModeSense10 = 0x5A;
constexpr uint8_t kCloseTrackSession = 0x5B;
constexpr uint8_t kReadBufferCapacity = 0x5C;
constexpr uint8_t kBlank = 0xA1;
constexpr uint8_t kGetPerformance = 0xAC;
constexpr uint8_t kSetStreaming = 0xB6;
constexpr uint8_t kSetCdSpeed = 0xBB;
}  // namespace opcode

struct Cdb {
  std::array<uint8_t, kMaxCdbLength> bytes{};
  uint8_t length = 0;
};

// Name of a command for messages ("WRITE(10)"); "a command" for others.
const char* CommandName(uint8_t opcode);

// How long a command of this operation code may take (ScsiTransport.h): the
// long classes for BLANK, FORMAT UNIT, CLOSE TRACK/SESSION and SYNCHRONIZE
// CACHE, the transfer class for reads, writes and the tray, the query class
// for the rest. A command started with IMMED answers at once; the same time
// then bounds the wait for it to finish.
uint32_t TimeoutOf(uint8_t opcode);

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
// Close the session (a border on DVD-R). On DVD+RW: stop a running background
// format, leaving what is formatted readable by any drive.
constexpr uint8_t kCloseSession = 2;
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
// immediate (the IMMED bit): the drive answers as soon as it has checked the
// command and goes on working; REQUEST SENSE then shows its progress.
Cdb BlankCdb(uint8_t type, bool immediate = false);
// Format descriptor follows as data: see FormatUnitParameters.
Cdb FormatUnitCdb();
Cdb Write10Cdb(uint32_t lba, uint16_t blocks);
Cdb Read10Cdb(uint32_t lba, uint16_t blocks);
Cdb SynchronizeCacheCdb(bool immediate = false);
Cdb CloseTrackSessionCdb(uint8_t function, uint16_t track, bool immediate = false);
// Reserves the next track of a blank DVD-R/-RW for a disc-at-once write of
// blocks blocks (the reservation-size form).
Cdb ReserveTrackCdb(uint32_t blocks);
Cdb StartStopUnitCdb(bool loadEject, bool start);
Cdb PreventAllowMediumRemovalCdb(bool prevent);
Cdb ReadBufferCapacityCdb(uint16_t allocation);
Cdb ReadFormatCapacitiesCdb(uint16_t allocation);
Cdb RequestSenseCdb(uint8_t allocation);
// A performance descriptor follows as data: see PerformanceDescriptor.
Cdb SetStreamingCdb(uint16_t parameterLength);

// SET STREAMING's performance descriptor: over the blocks startLba to endLba,
// read readSpeed KB and write writeSpeed KB every second (the drive takes the
// nearest performance it supports; no exact match is asked).
constexpr uint32_t kPerformanceDescriptorSize = 28;
namespace streaming {
constexpr uint32_t kStartLba = 4;
constexpr uint32_t kEndLba = 8;
constexpr uint32_t kReadSize = 12;    // KB per read time
constexpr uint32_t kReadTime = 16;    // ms
constexpr uint32_t kWriteSize = 20;   // KB per write time
constexpr uint32_t kWriteTime = 24;   // ms
constexpr uint32_t kTimeBase = 1000;  // sizes are given per second
}  // namespace streaming
std::array<uint8_t, kPerformanceDescriptorSize> PerformanceDescriptor(uint32_t startLba,
                                                                      uint32_t endLba,
                                                                      uint32_t readSpeed,
                                                                      uint32_t writeSpeed);

// The 12-byte parameter list of FORMAT UNIT: a 4-byte header (byte 1: FOV,
// bit 7, makes the drive heed the other options; IMMED, bit 1) and one format
// descriptor (number of blocks, format type, type parameter), as READ FORMAT
// CAPACITIES offers them.
constexpr uint32_t kFormatParameterLength = 12;
constexpr uint8_t kFormatOptionsValid = 0x80;
constexpr uint8_t kFormatImmediate = 0x02;
std::array<uint8_t, kFormatParameterLength> FormatUnitParameters(uint32_t blocks,
                                                                 uint8_t formatType,
                                                                 uint32_t typeParameter,
                                                                 bool immediate = false);

// Format types.
constexpr uint8_t kFormatFull = 0x00;       // DVD-RAM, BD-RE: full format
constexpr uint8_t kFormatDvdPlusRw = 0x26;  // DVD+RW: basic format
// DVD+RW basic format's type parameter, bit 0: restart a background format
// that was stopped, instead of formatting anew.
constexpr uint32_t kFormatRestart = 0x01;

}  // namespace starburn
