#include "mmc/Cdb.h"

#include "mmc/Bytes.h"

namespace starburn {

namespace {

Cdb Make(uint8_t opcode, uint8_t length) {
  Cdb cdb;
  cdb.bytes[0] = opcode;
  cdb.length = length;
  return cdb;
}

}  // namespace

const char* CommandName(uint8_t code) {
  switch (code) {
    case opcode::kTestUnitReady:
      return "TEST UNIT READY";
    case opcode::kRequestSense:
      return "REQUEST SENSE";
    case opcode::kFormatUnit:
      return "FORMAT UNIT";
    case opcode::kInquiry:
      return "INQUIRY";
    case opcode::kStartStopUnit:
      return "START STOP UNIT";
    case opcode::kPreventAllowMediumRemoval:
      return "PREVENT ALLOW MEDIUM REMOVAL";
    case opcode::kRead10:
      return "READ(10)";
    case opcode::kWrite10:
      return "WRITE(10)";
    case opcode::kSynchronizeCache:
      return "SYNCHRONIZE CACHE";
    case opcode::kReadToc:
      return "READ TOC";
    case opcode::kGetConfiguration:
      return "GET CONFIGURATION";
    case opcode::kReadDiscInformation:
      return "READ DISC INFORMATION";
    case opcode::kReadTrackInformation:
      return "READ TRACK INFORMATION";
    case opcode::kModeSelect10:
      return "MODE SELECT(10)";
    case opcode::kModeSense10:
      return "MODE SENSE(10)";
    case opcode::kCloseTrackSession:
      return "CLOSE TRACK/SESSION";
    case opcode::kReadFormatCapacities:
      return "READ FORMAT CAPACITIES";
    case opcode::kReserveTrack:
      return "RESERVE TRACK";
    case opcode::kReadBufferCapacity:
      return "READ BUFFER CAPACITY";
    case opcode::kBlank:
      return "BLANK";
    case opcode::kGetPerformance:
      return "GET PERFORMANCE";
    case opcode::kSetStreaming:
      return "SET STREAMING";
    case opcode::kSetCdSpeed:
      return "SET CD SPEED";
    default:
      return "a command";
  }
}

uint32_t TimeoutOf(uint8_t code) {
  switch (code) {
    case opcode::kBlank:
      return kBlankTimeoutMs;
    case opcode::kFormatUnit:
      return kFormatTimeoutMs;
    case opcode::kCloseTrackSession:
      return kCloseTimeoutMs;
    case opcode::kSynchronizeCache:
      return kFlushTimeoutMs;
    case opcode::kWrite10:
      return kWriteTimeoutMs;
    case opcode::kRead10:
    case opcode::kStartStopUnit:
    case opcode::kReserveTrack:  // the drive may write the reservation's border at once
      return kTransferTimeoutMs;
    default:
      return kQueryTimeoutMs;
  }
}

Cdb TestUnitReadyCdb() { return Make(opcode::kTestUnitReady, 6); }

Cdb InquiryCdb(uint16_t allocation) {
  Cdb cdb = Make(opcode::kInquiry, 6);
  PutBig16(&cdb.bytes[3], allocation);
  return cdb;
}

Cdb GetConfigurationCdb(uint8_t requestType, uint16_t startingFeature, uint16_t allocation) {
  Cdb cdb = Make(opcode::kGetConfiguration, 10);
  cdb.bytes[1] = requestType & 0x03;
  PutBig16(&cdb.bytes[2], startingFeature);
  PutBig16(&cdb.bytes[7], allocation);
  return cdb;
}

Cdb ReadDiscInformationCdb(uint16_t allocation) {
  Cdb cdb = Make(opcode::kReadDiscInformation, 10);  // data type 0: standard information
  PutBig16(&cdb.bytes[7], allocation);
  return cdb;
}

Cdb ReadTrackInformationCdb(uint32_t track, uint16_t allocation) {
  Cdb cdb = Make(opcode::kReadTrackInformation, 10);
  cdb.bytes[1] = 0x01;  // address type: the field is a track number
  PutBig32(&cdb.bytes[2], track);
  PutBig16(&cdb.bytes[7], allocation);
  return cdb;
}

Cdb ReadTocCdb(uint8_t format, bool msf, uint8_t trackOrSession, uint16_t allocation) {
  Cdb cdb = Make(opcode::kReadToc, 10);
  cdb.bytes[1] = msf ? 0x02 : 0x00;
  cdb.bytes[2] = format & 0x0F;
  cdb.bytes[6] = trackOrSession;
  PutBig16(&cdb.bytes[7], allocation);
  return cdb;
}

Cdb GetPerformanceCdb(uint8_t type, uint16_t maxDescriptors) {
  Cdb cdb = Make(opcode::kGetPerformance, 12);
  PutBig16(&cdb.bytes[8], maxDescriptors);
  cdb.bytes[10] = type;
  return cdb;
}

Cdb ModeSense10Cdb(uint8_t page, uint16_t allocation) {
  Cdb cdb = Make(opcode::kModeSense10, 10);
  cdb.bytes[1] = 0x08;         // DBD: no block descriptors
  cdb.bytes[2] = page & 0x3F;  // page control 0: current values
  PutBig16(&cdb.bytes[7], allocation);
  return cdb;
}

Cdb ModeSelect10Cdb(uint16_t parameterLength) {
  Cdb cdb = Make(opcode::kModeSelect10, 10);
  cdb.bytes[1] = 0x10;  // PF: the pages follow the page format
  PutBig16(&cdb.bytes[7], parameterLength);
  return cdb;
}

Cdb SetCdSpeedCdb(uint16_t readSpeed, uint16_t writeSpeed) {
  Cdb cdb = Make(opcode::kSetCdSpeed, 12);
  PutBig16(&cdb.bytes[2], readSpeed);
  PutBig16(&cdb.bytes[4], writeSpeed);
  return cdb;
}

Cdb BlankCdb(uint8_t type, bool immediate) {
  Cdb cdb = Make(opcode::kBlank, 12);
  cdb.bytes[1] = static_cast<uint8_t>((immediate ? 0x10 : 0x00) | (type & 0x07));
  return cdb;
}

Cdb FormatUnitCdb() {
  Cdb cdb = Make(opcode::kFormatUnit, 6);
  cdb.bytes[1] = 0x11;  // FmtData, format code 001
  return cdb;
}

std::array<uint8_t, kFormatParameterLength> FormatUnitParameters(uint32_t blocks,
                                                                 uint8_t formatType,
                                                                 uint32_t typeParameter,
                                                                 bool immediate) {
  std::array<uint8_t, kFormatParameterLength> list{};
  list[1] = immediate ? kFormatOptionsValid | kFormatImmediate : 0;
  PutBig16(&list[2], 8);  // one 8-byte format descriptor
  PutBig32(&list[4], blocks);
  list[8] = static_cast<uint8_t>(formatType << 2);
  PutBig24(&list[9], typeParameter);
  return list;
}

Cdb Write10Cdb(uint32_t lba, uint16_t blocks) {
  Cdb cdb = Make(opcode::kWrite10, 10);
  PutBig32(&cdb.bytes[2], lba);
  PutBig16(&cdb.bytes[7], blocks);
  return cdb;
}

Cdb Read10Cdb(uint32_t lba, uint16_t blocks) {
  Cdb cdb = Make(opcode::kRead10, 10);
  PutBig32(&cdb.bytes[2], lba);
  PutBig16(&cdb.bytes[7], blocks);
  return cdb;
}

Cdb SynchronizeCacheCdb(bool immediate) {
  Cdb cdb = Make(opcode::kSynchronizeCache, 10);
  cdb.bytes[1] = immediate ? 0x02 : 0x00;
  return cdb;
}

Cdb CloseTrackSessionCdb(uint8_t function, uint16_t track, bool immediate) {
  Cdb cdb = Make(opcode::kCloseTrackSession, 10);
  cdb.bytes[1] = immediate ? 0x01 : 0x00;
  cdb.bytes[2] = function & 0x07;
  PutBig16(&cdb.bytes[4], track);
  return cdb;
}

Cdb ReserveTrackCdb(uint32_t blocks) {
  Cdb cdb = Make(opcode::kReserveTrack, 10);
  PutBig32(&cdb.bytes[5], blocks);  // byte 1 ARSV 0: bytes 5-8 are the size
  return cdb;
}

Cdb StartStopUnitCdb(bool loadEject, bool start) {
  Cdb cdb = Make(opcode::kStartStopUnit, 6);
  cdb.bytes[4] = static_cast<uint8_t>((loadEject ? 0x02 : 0x00) | (start ? 0x01 : 0x00));
  return cdb;
}

Cdb PreventAllowMediumRemovalCdb(bool prevent) {
  Cdb cdb = Make(opcode::kPreventAllowMediumRemoval, 6);
  cdb.bytes[4] = prevent ? 0x01 : 0x00;
  return cdb;
}

Cdb ReadBufferCapacityCdb(uint16_t allocation) {
  Cdb cdb = Make(opcode::kReadBufferCapacity, 10);
  PutBig16(&cdb.bytes[7], allocation);
  return cdb;
}

Cdb ReadFormatCapacitiesCdb(uint16_t allocation) {
  Cdb cdb = Make(opcode::kReadFormatCapacities, 10);
  PutBig16(&cdb.bytes[7], allocation);
  return cdb;
}

Cdb RequestSenseCdb(uint8_t allocation) {
  Cdb cdb = Make(opcode::kRequestSense, 6);
  cdb.bytes[4] = allocation;
  return cdb;
}

Cdb SetStreamingCdb(uint16_t parameterLength) {
  Cdb cdb = Make(opcode::kSetStreaming, 12);
  cdb.bytes[8] = 0;  // type 0: a performance descriptor
  PutBig16(&cdb.bytes[9], parameterLength);
  return cdb;
}

std::array<uint8_t, kPerformanceDescriptorSize> PerformanceDescriptor(uint32_t startLba,
                                                                      uint32_t endLba,
                                                                      uint32_t readSpeed,
                                                                      uint32_t writeSpeed) {
  std::array<uint8_t, kPerformanceDescriptorSize> descriptor{};  // byte 0: no flags
  PutBig32(&descriptor[streaming::kStartLba], startLba);
  PutBig32(&descriptor[streaming::kEndLba], endLba);
  PutBig32(&descriptor[streaming::kReadSize], readSpeed);
  PutBig32(&descriptor[streaming::kReadTime], streaming::kTimeBase);
  PutBig32(&descriptor[streaming::kWriteSize], writeSpeed);
  PutBig32(&descriptor[streaming::kWriteTime], streaming::kTimeBase);
  return descriptor;
}

}  // namespace starburn
