#include "mmc/MmcDrive.h"

#include <algorithm>
#include <cstring>

#include "common/BlockIo.h"
#include "mmc/Sense.h"

namespace starburn {

namespace {

// A drive reports a unit attention once per event (a disc was loaded, the bus
// was reset) and then runs the same command normally; a few in a row happen
// when events pile up.
constexpr int kUnitAttentionRetries = 3;

}  // namespace

StarBurnStatus MmcDrive::Run(const Cdb& cdb, DataDirection direction, uint8_t* data,
                             uint32_t length, uint32_t timeoutMs, uint32_t* transferred) {
  ScsiCommand command;
  command.cdb = cdb.bytes;
  command.cdbLength = cdb.length;
  command.direction = direction;
  command.data = data;
  command.length = length;
  command.timeoutMs = timeoutMs;
  ScsiResult result;
  for (int attempt = 0;; ++attempt) {
    result = transport.Execute(command);
    const SenseCodes sense = DecodeSense(result.sense.data(), result.senseLength);
    const bool unitAttention = result.transport == STARBURN_OK &&
                               result.status == kScsiCheckCondition &&
                               sense.key == sensekey::kUnitAttention;
    if (!unitAttention || attempt == kUnitAttentionRetries) break;
  }
  if (transferred != nullptr) *transferred = result.transferred;
  const StarBurnStatus status = StatusOf(cdb.bytes[0], result);
  if (status == STARBURN_OK) return STARBURN_OK;

  failure = CommandFailure();
  const std::string name = CommandName(cdb.bytes[0]);
  if (result.transport != STARBURN_OK) {
    failure.message = name + ": " + result.transportError;
    failure.systemError = result.systemError;
    return status;
  }
  failure.fromDrive = true;
  StarBurnCommandFailure& record = failure.record;
  std::memcpy(record.cdb, cdb.bytes.data(), kMaxCdbLength);
  record.cdbLength = cdb.length;
  record.scsiStatus = result.status;
  const SenseCodes sense = DecodeSense(result.sense.data(), result.senseLength);
  record.senseKey = sense.key;
  record.asc = sense.asc;
  record.ascq = sense.ascq;
  record.senseLength = std::min<uint8_t>(result.senseLength, sizeof record.sense);
  std::memcpy(record.sense, result.sense.data(), record.senseLength);
  if (result.status == kScsiCheckCondition && result.senseLength > 0) {
    failure.message = name + " failed: " + DescribeSense(sense);
  } else {
    char text[64];
    std::snprintf(text, sizeof text, " failed with SCSI status %02Xh", result.status);
    failure.message = name + text;
  }
  return status;
}

StarBurnStatus MmcDrive::Malformed(const Cdb& cdb) {
  failure = CommandFailure();
  failure.message = std::string("the drive's answer to ") + CommandName(cdb.bytes[0]) +
                    " is too short or malformed";
  return STARBURN_STATUS_COMMAND_FAILED;
}

StarBurnStatus MmcDrive::TestUnitReady() {
  return Run(TestUnitReadyCdb(), DataDirection::kNone, nullptr, 0, kShortTimeoutMs);
}

StarBurnStatus MmcDrive::Inquiry(InquiryData* out) {
  uint8_t answer[kInquiryLength] = {};
  uint32_t got = 0;
  const Cdb cdb = InquiryCdb(sizeof answer);
  StarBurnStatus status =
      Run(cdb, DataDirection::kFromDevice, answer, sizeof answer, kShortTimeoutMs, &got);
  if (status == STARBURN_OK && !ParseInquiry(answer, got, out)) status = Malformed(cdb);
  return status;
}

StarBurnStatus MmcDrive::GetConfiguration(uint8_t requestType, Configuration* out) {
  std::vector<uint8_t> answer(kConfigurationLength);
  uint32_t got = 0;
  const Cdb cdb = GetConfigurationCdb(requestType, 0, kConfigurationLength);
  StarBurnStatus status = Run(cdb, DataDirection::kFromDevice, answer.data(), kConfigurationLength,
                              kShortTimeoutMs, &got);
  if (status == STARBURN_OK && !ParseConfiguration(answer.data(), got, out)) {
    status = Malformed(cdb);
  }
  return status;
}

StarBurnStatus MmcDrive::ReadDiscInformation(DiscInformation* out) {
  uint8_t answer[kDiscInformationLength] = {};
  uint32_t got = 0;
  const Cdb cdb = ReadDiscInformationCdb(sizeof answer);
  StarBurnStatus status =
      Run(cdb, DataDirection::kFromDevice, answer, sizeof answer, kShortTimeoutMs, &got);
  if (status == STARBURN_OK && !ParseDiscInformation(answer, got, out)) status = Malformed(cdb);
  return status;
}

StarBurnStatus MmcDrive::ReadTrackInformation(uint32_t track, TrackInformation* out) {
  uint8_t answer[kTrackInformationLength] = {};
  uint32_t got = 0;
  const Cdb cdb = ReadTrackInformationCdb(track, sizeof answer);
  StarBurnStatus status =
      Run(cdb, DataDirection::kFromDevice, answer, sizeof answer, kShortTimeoutMs, &got);
  if (status == STARBURN_OK && !ParseTrackInformation(answer, got, out)) status = Malformed(cdb);
  return status;
}

StarBurnStatus MmcDrive::ReadToc(uint8_t format, Toc* out) {
  std::vector<uint8_t> answer(kTocLength);
  uint32_t got = 0;
  const Cdb cdb = ReadTocCdb(format, false, format == kTocFormatTracks ? 1 : 0, kTocLength);
  StarBurnStatus status =
      Run(cdb, DataDirection::kFromDevice, answer.data(), kTocLength, kShortTimeoutMs, &got);
  if (status == STARBURN_OK && !ParseToc(answer.data(), got, out)) status = Malformed(cdb);
  return status;
}

StarBurnStatus MmcDrive::GetWriteSpeeds(std::vector<WriteSpeed>* out) {
  const uint32_t size =
      kPerformanceHeaderLength + kMaxPerformanceDescriptors * kPerformanceDescriptorLength;
  std::vector<uint8_t> answer(size);
  uint32_t got = 0;
  const Cdb cdb = GetPerformanceCdb(kPerformanceWriteSpeed, kMaxPerformanceDescriptors);
  StarBurnStatus status =
      Run(cdb, DataDirection::kFromDevice, answer.data(), size, kShortTimeoutMs, &got);
  if (status == STARBURN_OK && !ParseWriteSpeeds(answer.data(), got, out)) {
    status = Malformed(cdb);
  }
  return status;
}

StarBurnStatus MmcDrive::ModeSense(uint8_t page, std::vector<uint8_t>* out) {
  uint8_t answer[kModeSenseLength] = {};
  uint32_t got = 0;
  const Cdb cdb = ModeSense10Cdb(page, sizeof answer);
  StarBurnStatus status =
      Run(cdb, DataDirection::kFromDevice, answer, sizeof answer, kShortTimeoutMs, &got);
  if (status == STARBURN_OK && !ParseModePage(answer, got, page, out)) status = Malformed(cdb);
  return status;
}

StarBurnStatus MmcDrive::ModeSelect(const std::vector<uint8_t>& page) {
  std::vector<uint8_t> list(kModeHeaderLength, 0);  // mode data length is reserved (0) here
  list.insert(list.end(), page.begin(), page.end());
  return Run(ModeSelect10Cdb(static_cast<uint16_t>(list.size())), DataDirection::kToDevice,
             list.data(), static_cast<uint32_t>(list.size()), kShortTimeoutMs);
}

StarBurnStatus MmcDrive::SetCdSpeed(uint16_t readSpeed, uint16_t writeSpeed) {
  return Run(SetCdSpeedCdb(readSpeed, writeSpeed), DataDirection::kNone, nullptr, 0,
             kShortTimeoutMs);
}

StarBurnStatus MmcDrive::Blank(uint8_t type) {
  return Run(BlankCdb(type), DataDirection::kNone, nullptr, 0, kLongTimeoutMs);
}

StarBurnStatus MmcDrive::FormatUnit(uint32_t blocks, uint8_t formatType, uint32_t typeParameter) {
  auto list = FormatUnitParameters(blocks, formatType, typeParameter);
  return Run(FormatUnitCdb(), DataDirection::kToDevice, list.data(), kFormatParameterLength,
             kLongTimeoutMs);
}

StarBurnStatus MmcDrive::Write(uint32_t lba, uint32_t count, const uint8_t* data) {
  for (uint32_t done = 0; done < count;) {
    const uint32_t blocks = std::min(count - done, kMaxTransferBlocks);
    // The transport only reads data going to the device.
    auto* bytes = const_cast<uint8_t*>(data + uint64_t{done} * kBlockSize);
    const StarBurnStatus status =
        Run(Write10Cdb(lba + done, static_cast<uint16_t>(blocks)), DataDirection::kToDevice, bytes,
            blocks * kBlockSize, kShortTimeoutMs);
    if (status != STARBURN_OK) return status;
    done += blocks;
  }
  return STARBURN_OK;
}

StarBurnStatus MmcDrive::Read(uint32_t lba, uint32_t count, uint8_t* data) {
  for (uint32_t done = 0; done < count;) {
    const uint32_t blocks = std::min(count - done, kMaxTransferBlocks);
    const Cdb cdb = Read10Cdb(lba + done, static_cast<uint16_t>(blocks));
    uint32_t got = 0;
    const StarBurnStatus status =
        Run(cdb, DataDirection::kFromDevice, data + uint64_t{done} * kBlockSize,
            blocks * kBlockSize, kShortTimeoutMs, &got);
    if (status != STARBURN_OK) return status;
    if (got != blocks * kBlockSize) return Malformed(cdb);
    done += blocks;
  }
  return STARBURN_OK;
}

StarBurnStatus MmcDrive::SynchronizeCache() {
  return Run(SynchronizeCacheCdb(), DataDirection::kNone, nullptr, 0, kLongTimeoutMs);
}

StarBurnStatus MmcDrive::CloseTrackSession(uint8_t function, uint16_t track) {
  return Run(CloseTrackSessionCdb(function, track), DataDirection::kNone, nullptr, 0,
             kLongTimeoutMs);
}

StarBurnStatus MmcDrive::StartStopUnit(bool loadEject, bool start) {
  return Run(StartStopUnitCdb(loadEject, start), DataDirection::kNone, nullptr, 0, kShortTimeoutMs);
}

StarBurnStatus MmcDrive::PreventMediumRemoval(bool prevent) {
  return Run(PreventAllowMediumRemovalCdb(prevent), DataDirection::kNone, nullptr, 0,
             kShortTimeoutMs);
}

StarBurnStatus MmcDrive::ReadBufferCapacity(BufferCapacity* out) {
  uint8_t answer[kBufferCapacityLength] = {};
  uint32_t got = 0;
  const Cdb cdb = ReadBufferCapacityCdb(sizeof answer);
  StarBurnStatus status =
      Run(cdb, DataDirection::kFromDevice, answer, sizeof answer, kShortTimeoutMs, &got);
  if (status == STARBURN_OK && !ParseBufferCapacity(answer, got, out)) status = Malformed(cdb);
  return status;
}

}  // namespace starburn
