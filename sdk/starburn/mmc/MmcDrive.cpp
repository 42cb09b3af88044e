#include "mmc/MmcDrive.h"

#include <algorithm>
#include <array>
#include <chrono>
#include <cstring>
#include <functional>
#include <thread>

#include "common/BlockIo.h"
#include "mmc/CommandLog.h"
#include "mmc/Sense.h"

namespace starburn {

namespace {

// A drive reports a unit attention once per event (a disc was loaded, the bus
// was reset) and then runs the same command normally; a few in a row happen
// when events pile up.
constexpr int kUnitAttentionRetries = 3;
// A long operation is polled four times a second: a progress bar moves
// smoothly, and a REQUEST SENSE keeps the drive from its work for microseconds.
constexpr auto kBusyPollPause = std::chrono::milliseconds(250);
// A drive answering WRITE with NOT READY while it writes out its buffer, or
// while it calibrates, writes the lead-in or formats in the background, is
// asked again: first after a millisecond (a buffer drains at several MB/s),
// then at doubling pauses up to a tenth of a second, for as long as a drive
// may take for a session's first write.
constexpr auto kWriteBusyFirstPause = std::chrono::milliseconds(1);
constexpr auto kWriteBusyLongestPause = std::chrono::milliseconds(100);
constexpr auto kWriteBusyBudget = std::chrono::milliseconds(kWriteTimeoutMs);

// The NOT READY answers to a WRITE that mean "wait and send it again".
bool BusyWriting(const CommandFailure& failure) {
  const StarBurnCommandFailure& record = failure.record;
  if (!failure.fromDrive || record.senseKey != sensekey::kNotReady ||
      record.asc != asc::kNotReadyCause) {
    return false;
  }
  switch (record.ascq) {
    case kAscqBecomingReady:
    case kAscqFormatInProgress:
    case kAscqOperationInProgress:
    case kAscqLongWriteInProgress:
      return true;
    default:
      return false;
  }
}

}  // namespace

StarBurnStatus MmcDrive::Run(const Cdb& cdb, DataDirection direction, uint8_t* data,
                             uint32_t length, uint32_t* transferred) {
  ScsiCommand command;
  command.cdb = cdb.bytes;
  command.cdbLength = cdb.length;
  command.direction = direction;
  command.data = data;
  command.length = length;
  command.timeoutMs = TimeoutOf(cdb.bytes[0]);
  ScsiResult result;
  for (int attempt = 0;; ++attempt) {
    const auto sent = std::chrono::steady_clock::now();
    result = transport.Execute(command);
    if (CommandLog::Enabled())
      CommandLog::Write(command, result, std::chrono::steady_clock::now() - sent);
    const SenseCodes sense = DecodeSense(result.sense.data(), result.senseLength);
    const bool unitAttention = result.transport == STARBURN_OK &&
                               result.status == kScsiCheckCondition &&
                               sense.key == sensekey::kUnitAttention;
    if (!unitAttention || attempt == kUnitAttentionRetries) break;
    // A WRITE after a reset or changed parameters would go out with the
    // drive's defaults (packet writing, its own speed): the caller sets the
    // write up again first.
    if (cdb.bytes[0] == opcode::kWrite10 &&
        (sense.asc == asc::kResetOccurred || sense.asc == asc::kParametersChanged)) {
      break;
    }
  }
  if (transferred != nullptr) *transferred = result.transferred;
  return Failed(cdb, result);
}

StarBurnStatus MmcDrive::Failed(const Cdb& cdb, const ScsiResult& result) {
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

StarBurnStatus MmcDrive::RunLong(const Cdb& cdb, DataDirection direction, uint8_t* data,
                                 uint32_t length, const BusyObserver& onBusy) {
  StarBurnStatus status = Run(cdb, direction, data, length);
  if (status != STARBURN_OK) return status;
  const uint32_t timeoutMs = TimeoutOf(cdb.bytes[0]);
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
  int attentions = 0;
  for (;;) {
    std::array<uint8_t, kMaxSenseLength> sense{};
    uint32_t got = 0;
    status = Run(RequestSenseCdb(kMaxSenseLength), DataDirection::kFromDevice, sense.data(),
                 kMaxSenseLength, &got);
    if (status != STARBURN_OK) return status;
    SenseReport report;
    report.codes = DecodeSense(sense.data(), got);
    // A unit attention (the disc changed its state) is told once; the next
    // poll gives the operation's state.
    if (report.codes.key == sensekey::kUnitAttention && ++attentions <= kUnitAttentionRetries) {
      continue;
    }
    if (!OperationInProgress(report.codes)) {
      // Done. A drive that failed the operation reports it now, often as a
      // deferred error; it is the started command's failure.
      ScsiResult result;
      if (report.codes.key != sensekey::kNoSense && report.codes.key != sensekey::kRecoveredError) {
        result.status = kScsiCheckCondition;
        result.senseLength = static_cast<uint8_t>(std::min<uint32_t>(got, kMaxSenseLength));
        std::memcpy(result.sense.data(), sense.data(), result.senseLength);
      }
      return Failed(cdb, result);
    }
    report.hasProgress = ProgressOf(sense.data(), got, &report.progress);
    if (onBusy) onBusy(report);
    if (std::chrono::steady_clock::now() >= deadline) {
      failure = CommandFailure();
      failure.message = std::string(CommandName(cdb.bytes[0])) + " did not finish within " +
                        std::to_string(timeoutMs / 60000) + " minutes";
      return STARBURN_STATUS_TIMEOUT;
    }
    std::this_thread::sleep_for(kBusyPollPause);
  }
}

StarBurnStatus MmcDrive::Malformed(const Cdb& cdb) {
  failure = CommandFailure();
  failure.message = std::string("the drive's answer to ") + CommandName(cdb.bytes[0]) +
                    " is too short or malformed";
  return STARBURN_STATUS_COMMAND_FAILED;
}

StarBurnStatus MmcDrive::TestUnitReady() {
  return Run(TestUnitReadyCdb(), DataDirection::kNone, nullptr, 0);
}

StarBurnStatus MmcDrive::Query(const Cdb& cdb, uint32_t size,
                               const std::function<bool(const uint8_t*, uint32_t)>& parse) {
  std::vector<uint8_t> answer(size);
  uint32_t got = 0;
  StarBurnStatus status = Run(cdb, DataDirection::kFromDevice, answer.data(), size, &got);
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
             list.data(), static_cast<uint32_t>(list.size()));
}

StarBurnStatus MmcDrive::SetCdSpeed(uint16_t readSpeed, uint16_t writeSpeed) {
  return Run(SetCdSpeedCdb(readSpeed, writeSpeed), DataDirection::kNone, nullptr, 0);
}

StarBurnStatus MmcDrive::SetStreaming(uint32_t startLba, uint32_t endLba, uint32_t readSpeed,
                                      uint32_t writeSpeed) {
  auto descriptor = PerformanceDescriptor(startLba, endLba, readSpeed, writeSpeed);
  return Run(SetStreamingCdb(kPerformanceDescriptorSize), DataDirection::kToDevice,
             descriptor.data(), kPerformanceDescriptorSize);
}

StarBurnStatus MmcDrive::RequestSense(SenseReport* out) {
  return Query(RequestSenseCdb(kMaxSenseLength), kMaxSenseLength,
               [out](const uint8_t* data, uint32_t got) {
                 *out = SenseReport();
                 out->codes = DecodeSense(data, got);
                 out->hasProgress = ProgressOf(data, got, &out->progress);
                 return true;
               });
}

StarBurnStatus MmcDrive::Blank(uint8_t type, const BusyObserver& onBusy) {
  return RunLong(BlankCdb(type, true), DataDirection::kNone, nullptr, 0, onBusy);
}

StarBurnStatus MmcDrive::FormatUnit(uint32_t blocks, uint8_t formatType, uint32_t typeParameter,
                                    const BusyObserver& onBusy) {
  auto list = FormatUnitParameters(blocks, formatType, typeParameter, true);
  return RunLong(FormatUnitCdb(), DataDirection::kToDevice, list.data(), kFormatParameterLength,
                 onBusy);
}

StarBurnStatus MmcDrive::Write(uint32_t lba, uint32_t count, const uint8_t* data) {
  for (uint32_t done = 0; done < count;) {
    const uint32_t blocks = std::min(count - done, kMaxTransferBlocks);
    // The transport only reads data going to the device.
    auto* bytes = const_cast<uint8_t*>(data + uint64_t{done} * kBlockSize);
    const auto deadline = std::chrono::steady_clock::now() + kWriteBusyBudget;
    auto pause = kWriteBusyFirstPause;
    for (;;) {
      const StarBurnStatus status = Run(Write10Cdb(lba + done, static_cast<uint16_t>(blocks)),
                                        DataDirection::kToDevice, bytes, blocks * kBlockSize);
      if (status == STARBURN_OK) break;
      if (status != STARBURN_STATUS_NOT_READY || !BusyWriting(failure) ||
          std::chrono::steady_clock::now() >= deadline) {
        return status;
      }
      std::this_thread::sleep_for(pause);
      pause = std::min<std::chrono::milliseconds>(pause * 2, kWriteBusyLongestPause);
    }
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
            blocks * kBlockSize, &got);
    if (status != STARBURN_OK) return status;
    if (got != blocks * kBlockSize) return Malformed(cdb);
    done += blocks;
  }
  return STARBURN_OK;
}

StarBurnStatus MmcDrive::SynchronizeCache(const BusyObserver& onBusy) {
  return RunLong(SynchronizeCacheCdb(true), DataDirection::kNone, nullptr, 0, onBusy);
}

StarBurnStatus MmcDrive::CloseTrackSession(uint8_t function, uint16_t track,
                                           const BusyObserver& onBusy) {
  return RunLong(CloseTrackSessionCdb(function, track, true), DataDirection::kNone, nullptr, 0,
                 onBusy);
}

StarBurnStatus MmcDrive::ReserveTrack(uint32_t blocks) {
  return Run(ReserveTrackCdb(blocks), DataDirection::kNone, nullptr, 0);
}

StarBurnStatus MmcDrive::StartStopUnit(bool loadEject, bool start) {
  return Run(StartStopUnitCdb(loadEject, start), DataDirection::kNone, nullptr, 0);
}

StarBurnStatus MmcDrive::PreventMediumRemoval(bool prevent) {
  return Run(PreventAllowMediumRemovalCdb(prevent), DataDirection::kNone, nullptr, 0);
}

StarBurnStatus MmcDrive::ReadBufferCapacity(BufferCapacity* out) {
  return Query(
      ReadBufferCapacityCdb(kBufferCapacityLength), kBufferCapacityLength,
      [out](const uint8_t* data, uint32_t got) { return ParseBufferCapacity(data, got, out); });
}

StarBurnStatus MmcDrive::ReadFormatCapacities(FormatCapacities* out) {
  return Query(
      ReadFormatCapacitiesCdb(kFormatCapacitiesLength), kFormatCapacitiesLength,
      [out](const uint8_t* data, uint32_t got) { return ParseFormatCapacities(data, got, out); });
}

}  // namespace starburn
