#include "mmc/MmcDrive.h"

#include <algorithm>
#include <cstring>
#include <functional>

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

StarBurnStatus MmcDrive::Query(const Cdb& cdb, uint32_t size,
                               const std::function<bool(const uint8_t*, uint32_t)>& parse) {
  std::vector<uint8_t> answer(size);
  uint32_t got = 0;
  StarBurnStatus status =
      Run(cdb, DataDirection::kFromDevice, answer.data(), size, kShortTimeoutMs, &got);
  if (status == STARBURN_OK && !parse(answer.data(), got)) status = Malformed(cdb);
  return status;
}

StarBurnStatus MmcDrive::Inquiry(InquiryData* out) {
  return Query(InquiryCdb(kInquiryLength), kInquiryLength,
               [out](const uint8_t* data, uint32_t got) { return ParseInquiry(data, got, out); });
}

StarBurnStatus MmcDrive::GetConfiguration(uint8_t requestType, Configuration* out) {
  return Query(
      GetConfigurationCdb(requestType, 0, kConfigurationLength), kConfigurationLength,
      [out](const uint8_t* data, uint32_t got) { return ParseConfiguration(data, got, out); });
}

StarBurnStatus MmcDrive::ReadDiscInformation(DiscInformation* out) {
  return Query(
      ReadDiscInformationCdb(kDiscInformationLength), kDiscInformationLength,
      [out](const uint8_t* data, uint32_t got) { return ParseDiscInformation(data, got, out); });
}

StarBurnStatus MmcDrive::ReadTrackInformation(uint32_t track, TrackInformation* out) {
  return Query(
      ReadTrackInformationCdb(track, kTrackInformationLength), kTrackInformationLength,
      [out](const uint8_t* data, uint32_t got) { return ParseTrackInformation(data, got, out); });
}

StarBurnStatus MmcDrive::ReadToc(uint8_t format, Toc* out) {
  return Query(ReadTocCdb(format, false, format == kTocFormatTracks ? 1 : 0, kTocLength),
               kTocLength,
               [out](const uint8_t* data, uint32_t got) { return ParseToc(data, got, out); });
}

StarBurnStatus MmcDrive::GetWriteSpeeds(std::vector<WriteSpeed>* out) {
  const uint32_t size =
      kPerformanceHeaderLength + kMaxPerformanceDescriptors * kPerformanceDescriptorLength;
  return Query(
      GetPerformanceCdb(kPerformanceWriteSpeed, kMaxPerformanceDescriptors), size,
      [out](const uint8_t* data, uint32_t got) { return ParseWriteSpeeds(data, got, out); });
}

StarBurnStatus MmcDrive::ModeSense(uint8_t page, std::vector<uint8_t>* out) {
  return Query(ModeSense10Cdb(page, kModeSenseLength), kModeSenseLength,
               [page, out](const uint8_t* data, uint32_t got) {
                 return ParseModePage(data, got, page, out);
               });
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
  return Query(
      ReadBufferCapacityCdb(kBufferCapacityLength), kBufferCapacityLength,
      [out](const uint8_t* data, uint32_t got) { return ParseBufferCapacity(data, got, out); });
}

}  // namespace starburn
