#include "virtual/EmulatedRecorder.h"

#include <algorithm>
#include <cstring>

#include "common/BlockIo.h"
#include "mmc/Answers.h"
#include "mmc/Bytes.h"
#include "mmc/Cdb.h"
#include "mmc/Profiles.h"
#include "virtual/EmulatedAnswers.h"
#include "virtual/ImageLock.h"

namespace starburn {

namespace {

constexpr SenseCodes kInvalidField{sensekey::kIllegalRequest, asc::kInvalidFieldInCdb, 0};
constexpr SenseCodes kInvalidParameter{sensekey::kIllegalRequest, asc::kInvalidFieldInParameters,
                                       0};
constexpr SenseCodes kInvalidOpcode{sensekey::kIllegalRequest, asc::kInvalidOpcode, 0};
constexpr SenseCodes kMediumChanged{sensekey::kUnitAttention, asc::kMediumChanged, 0};
constexpr SenseCodes kBecomingReady{sensekey::kNotReady, asc::kNotReadyCause, 0x01};
constexpr SenseCodes kNoDiscTrayClosed{sensekey::kNotReady, asc::kMediumNotPresent, 0x01};
constexpr SenseCodes kNoDiscTrayOpen{sensekey::kNotReady, asc::kMediumNotPresent, 0x02};
constexpr SenseCodes kUnknownDisc{sensekey::kNotReady, asc::kIncompatibleMedium, 0x00};
constexpr SenseCodes kCannotWrite{sensekey::kIllegalRequest, asc::kIncompatibleMedium, 0x05};
constexpr SenseCodes kOutOfRange{sensekey::kIllegalRequest, asc::kAddress, kAscqLbaOutOfRange};
constexpr SenseCodes kIllegalMode{sensekey::kIllegalRequest, asc::kIllegalModeForTrack, 0};
constexpr SenseCodes kRemovalPrevented{sensekey::kIllegalRequest, asc::kRemovalPrevented, 0x02};
constexpr SenseCodes kNothingToReport{sensekey::kNoSense, 0, 0};
constexpr SenseCodes kResetOccurred{sensekey::kUnitAttention, asc::kResetOccurred, 0};
constexpr SenseCodes kLongWriteInProgress{sensekey::kNotReady, asc::kNotReadyCause,
                                          kAscqLongWriteInProgress};
constexpr SenseCodes kFormatRunning{sensekey::kNotReady, asc::kNotReadyCause,
                                    kAscqFormatInProgress};
constexpr SenseCodes kSequenceError{sensekey::kIllegalRequest, asc::kCommandSequenceError, 0};
constexpr SenseCodes kInvalidWriteAddress{sensekey::kIllegalRequest, asc::kAddress,
                                          kAscqInvalidWriteAddress};
// Restricted-overwrite DVD-RW takes writes of whole ECC blocks only, and a
// disc-at-once reservation is made of them.
constexpr uint32_t kEccBlockBlocks = 16;

ScsiResult Good() { return ScsiResult(); }

ScsiResult Check(SenseCodes codes) {
  ScsiResult result;
  result.status = kScsiCheckCondition;
  result.senseLength = EncodeSense(codes, result.sense.data(), kMaxSenseLength);
  return result;
}

// Copies an answer into the command's buffer, cut to the allocation length
// the CDB gives and to the buffer.
ScsiResult Answer(const std::vector<uint8_t>& answer, const ScsiCommand& command,
                  uint32_t allocation) {
  ScsiResult result;
  if (command.direction != DataDirection::kFromDevice || command.data == nullptr) {
    return Check(kInvalidField);
  }
  const uint32_t size =
      std::min<uint32_t>({static_cast<uint32_t>(answer.size()), allocation, command.length});
  std::memcpy(command.data, answer.data(), size);
  result.transferred = size;
  return result;
}

uint32_t RoundDown(uint16_t requested, const std::vector<uint32_t>& speeds) {
  if (speeds.empty()) return 0;
  if (requested == kMaximumSpeed) return speeds.back();
  uint32_t taken = speeds.front();  // slower than the slowest: the slowest
  for (uint32_t speed : speeds) {
    if (speed <= requested) taken = speed;
  }
  return taken;
}

}  // namespace

// One path to the recorder, owned by one device handle. Its hold on the
// image goes after the recorder has forgotten the path (and any track it left
// open), so no other process sees that track half given up.
class EmulatedConnection : public ScsiTransport {
 public:
  EmulatedConnection(std::shared_ptr<EmulatedRecorder> recorder, int id, uint64_t epoch,
                     std::unique_ptr<ImageLock> hold)
      : hold(std::move(hold)), recorder(std::move(recorder)), id(id), epoch(epoch) {}
  ~EmulatedConnection() override { recorder->Disconnect(id); }
  ScsiResult Execute(const ScsiCommand& command) override {
    return recorder->Execute(id, epoch, command);
  }

 private:
  std::unique_ptr<ImageLock> hold;  // destroyed last
  std::shared_ptr<EmulatedRecorder> recorder;
  int id;
  uint64_t epoch;
};

StarBurnStatus EmulatedRecorder::Create(const Medium* medium, const std::string& imagePath,
                                        DriveModel model, std::shared_ptr<EmulatedRecorder>* out,
                                        std::string* error) {
  std::unique_ptr<EmulatedDisc> disc;
  if (medium != nullptr) {
    // Checked now when no other process records on the image; otherwise when
    // this process first holds it.
    std::unique_ptr<ImageLock> hold;
    switch (ImageLock::Take(imagePath, false, &hold, error)) {
      case ImageLock::Outcome::kFailed:
        return STARBURN_STATUS_BAD_CONFIGURATION;
      case ImageLock::Outcome::kBusy:
        break;
      case ImageLock::Outcome::kHeld: {
        const StarBurnStatus status = EmulatedDisc::Load(*medium, imagePath, false, &disc, error);
        if (status != STARBURN_OK) return status;
        break;
      }
    }
  }
  out->reset(new EmulatedRecorder(std::move(disc), medium, medium != nullptr ? imagePath : "",
                                  std::move(model)));
  return STARBURN_OK;
}

EmulatedRecorder::EmulatedRecorder(std::unique_ptr<EmulatedDisc> disc, const Medium* medium,
                                   std::string imagePath, DriveModel model)
    : medium(medium),
      imagePath(std::move(imagePath)),
      model(std::move(model)),
      disc(std::move(disc)),
      writeParameters(DefaultWriteParameters()),
      incrementalLost(this->model.quickBlanked),
      backgroundFormat(this->model.formatStopped ? kBackgroundFormatStopped
                                                 : kBackgroundFormatComplete),
      busyDice(this->model.busySeed) {
  faults.resetAt = this->model.resetAt;
}

std::string EmulatedRecorder::Identity() const { return imagePath; }

StarBurnStatus EmulatedRecorder::Open(bool exclusive, std::unique_ptr<ScsiTransport>* out,
                                      std::string* error) {
  // The hold on the image is taken before the recorder's lock: it may wait
  // for readers in other programs.
  std::unique_ptr<ImageLock> hold;
  bool aside = false;
  if (medium != nullptr) {
    switch (ImageLock::Take(imagePath, exclusive, &hold, error)) {
      case ImageLock::Outcome::kFailed:
        return STARBURN_STATUS_BAD_CONFIGURATION;
      case ImageLock::Outcome::kBusy:
        if (exclusive) {
          *error = "another program is using the drive: it holds " + imagePath;
          return STARBURN_STATUS_DEVICE_BUSY;
        }
        aside = true;
        break;
      case ImageLock::Outcome::kHeld:
        break;
    }
  }
  std::lock_guard<std::mutex> lock(mutex);
  if (hold && holding.empty()) {
    std::unique_ptr<EmulatedDisc> reloaded;
    const StarBurnStatus status =
        EmulatedDisc::Load(*medium, imagePath, exclusive, &reloaded, error);
    if (status != STARBURN_OK) return status;
    disc = std::move(reloaded);
  }
  const int id = nextConnection++;
  connections.insert(id);
  (aside ? heldAside : holding).insert(id);
  if (trayOpen) {  // pushed back in, with the same disc
    trayOpen = false;
    DiscChanged();
  }
  out->reset(new EmulatedConnection(shared_from_this(), id, epoch, std::move(hold)));
  return STARBURN_OK;
}

void EmulatedRecorder::Disconnect(int connection) {
  std::lock_guard<std::mutex> lock(mutex);
  connections.erase(connection);
  holding.erase(connection);
  heldAside.erase(connection);
  attention.erase(connection);
  if (disc) disc->DropOpenTrack(connection);
  if (disc && disc->Tracks().back().state != TrackView::State::kOpen) reservedBlocks = 0;
}

ScsiResult EmulatedRecorder::AnswerWhileHeldElsewhere(const ScsiCommand& command) {
  const uint8_t* cdb = command.cdb.data();
  switch (cdb[0]) {
    case opcode::kInquiry:
      return Answer(InquiryAnswer(model), command, GetBig16(cdb + 3));
    case opcode::kGetConfiguration: {
      const uint16_t current =
          trayOpen || !model.Reads(medium->profile) ? profile::kNone : medium->profile;
      return Answer(ConfigurationAnswer(model, current, cdb[1] & 0x03, GetBig16(cdb + 2)), command,
                    GetBig16(cdb + 7));
    }
    case opcode::kModeSense10: {
      const uint8_t page = cdb[2] & 0x3F;
      if (page != kCapabilitiesPage) break;
      return Answer(ModeSenseAnswer(CapabilitiesPage(model, PageSpeeds(), removalPrevented)),
                    command, GetBig16(cdb + 7));
    }
    case opcode::kRequestSense: {
      const ScsiResult none = Check(kNothingToReport);
      return Answer(std::vector<uint8_t>(none.sense.begin(), none.sense.begin() + none.senseLength),
                    command, cdb[4]);
    }
    default:
      break;
  }
  ScsiResult busy;
  busy.status = kScsiBusy;
  return busy;
}

void EmulatedRecorder::SetFaults(FaultPlan plan) {
  std::lock_guard<std::mutex> lock(mutex);
  faults = std::move(plan);
  faultHits.assign(faults.commands.size(), 0);
}

void EmulatedRecorder::DiscChanged() {
  if (disc) attention = connections;
  // What the host set up for the previous disc does not carry over.
  writeParameters = DefaultWriteParameters();
  operation = Operation();
  reservedBlocks = 0;
}

void EmulatedRecorder::PowerLoss() {
  ++epoch;
  std::unique_ptr<EmulatedDisc> reloaded;
  std::string ignored;
  if (medium != nullptr &&
      EmulatedDisc::Load(*medium, imagePath, false, &reloaded, &ignored) == STARBURN_OK) {
    disc = std::move(reloaded);
  } else if (disc) {
    disc->DropOpenTrack(-1);
  }
  removalPrevented = false;
  requestedRead = requestedWrite = kMaximumSpeed;
  writeParameters = DefaultWriteParameters();
  operation = Operation();
  unflushedBytes = 0;
  attention.clear();
  faults.powerLossAt.reset();  // the drive is switched on again undamaged
}

bool EmulatedRecorder::IncrementalOffered() const {
  const uint16_t current = CurrentProfile();
  return (current == profile::kDvdR || current == profile::kDvdRwSequential) && !incrementalLost;
}

uint16_t EmulatedRecorder::CurrentProfile() const {
  if (!disc || trayOpen || !model.Reads(disc->GetMedium().profile)) return profile::kNone;
  return disc->GetMedium().profile;
}

bool EmulatedRecorder::DiscReady(SenseCodes* refusal) const {
  if (trayOpen) {
    *refusal = kNoDiscTrayOpen;
  } else if (!disc) {
    *refusal = kNoDiscTrayClosed;
  } else if (faults.notReady) {
    *refusal = kBecomingReady;
  } else if (!model.Reads(disc->GetMedium().profile)) {
    *refusal = kUnknownDisc;
  } else {
    return true;
  }
  return false;
}

bool EmulatedRecorder::DiscWritable(SenseCodes* refusal) const {
  if (!DiscReady(refusal)) return false;
  if (!model.Writes(disc->GetMedium().profile) || !disc->Writable()) {
    *refusal = kCannotWrite;
    return false;
  }
  return true;
}

bool EmulatedRecorder::TestWriting() const {
  return UsesWriteParametersPage(disc->GetMedium().profile) &&
         (writeParameters[writeparams::kFlags] & writeparams::kTestWrite) != 0;
}

SpeedState EmulatedRecorder::Speeds() const {
  const bool present = disc && !trayOpen;
  const Medium& speeds = present ? disc->GetMedium() : CdSpeedsMedium();
  SpeedState state;
  state.maximumRead = speeds.readSpeeds.empty() ? 0 : speeds.readSpeeds.back();
  state.currentRead = RoundDown(requestedRead, speeds.readSpeeds);
  if (model.Writes(speeds.profile)) {
    state.writeSpeeds = speeds.writeSpeeds;
    state.maximumWrite = speeds.writeSpeeds.empty() ? 0 : speeds.writeSpeeds.back();
    state.currentWrite = RoundDown(requestedWrite, speeds.writeSpeeds);
  }
  return state;
}

SpeedState EmulatedRecorder::PageSpeeds() const {
  SpeedState speeds = Speeds();
  if (!model.pageSpeedsInCdUnits || !disc || trayOpen) return speeds;
  // KB/s of 1x: CD 176, DVD 1385, BD 4496.
  constexpr uint32_t kCd1x = 176;
  constexpr uint32_t kDvd1x = 1385;
  constexpr uint32_t kBd1x = 4496;
  const uint16_t p = disc->GetMedium().profile;
  if (IsCdProfile(p)) return speeds;
  speeds.currentWrite = speeds.currentWrite * kCd1x / (IsBdProfile(p) ? kBd1x : kDvd1x);
  return speeds;
}

ScsiResult EmulatedRecorder::Execute(int connection, uint64_t connectionEpoch,
                                     const ScsiCommand& command) {
  std::lock_guard<std::mutex> lock(mutex);
  if (connectionEpoch != epoch) {
    ScsiResult gone;
    gone.transport = STARBURN_STATUS_DEVICE_GONE;
    gone.transportError = "the drive lost power";
    return gone;
  }
  if (heldAside.count(connection) > 0) return AnswerWhileHeldElsewhere(command);
  const uint8_t code = command.cdb[0];
  if (code != opcode::kInquiry && attention.erase(connection) > 0) {
    // REQUEST SENSE reports a unit attention as its data; other commands fail with it.
    if (code != opcode::kRequestSense) return Check(kMediumChanged);
    ScsiResult attentionSense = Check(kMediumChanged);
    return Answer(std::vector<uint8_t>(attentionSense.sense.begin(),
                                       attentionSense.sense.begin() + attentionSense.senseLength),
                  command, command.cdb[4]);
  }
  for (std::size_t i = 0; i < faults.commands.size(); ++i) {
    const CommandFault& fault = faults.commands[i];
    if (fault.opcode != code) continue;
    const uint32_t hit = ++faultHits[i];
    if (hit > fault.skip && (fault.times == 0 || hit <= fault.skip + fault.times)) {
      return Check(fault.sense);
    }
  }
  return Dispatch(connection, command);
}

ScsiResult EmulatedRecorder::Dispatch(int connection, const ScsiCommand& command) {
  const uint8_t* cdb = command.cdb.data();
  SenseCodes refusal;
  // While a long operation runs, the drive answers what needs no disc access
  // and reports the operation to everything else.
  if (operation.total > 0 && cdb[0] != opcode::kInquiry && cdb[0] != opcode::kRequestSense &&
      cdb[0] != opcode::kGetConfiguration && cdb[0] != opcode::kReadBufferCapacity) {
    return OperationSense();
  }
  switch (cdb[0]) {
    case opcode::kTestUnitReady:
      return DiscReady(&refusal) ? Good() : Check(refusal);
    case opcode::kRequestSense:
      return RequestSense(command);
    case opcode::kInquiry:
      return Answer(InquiryAnswer(model), command, GetBig16(cdb + 3));
    case opcode::kGetConfiguration:
      return Answer(ConfigurationAnswer(model, CurrentProfile(), cdb[1] & 0x03, GetBig16(cdb + 2),
                                        IncrementalOffered()),
                    command, GetBig16(cdb + 7));
    case opcode::kReadDiscInformation:
      if (!DiscReady(&refusal)) return Check(refusal);
      if ((cdb[1] & 0x07) != 0) return Check(kInvalidField);
      return Answer(DiscInformationAnswer(*disc, backgroundFormat), command, GetBig16(cdb + 7));
    case opcode::kReadTrackInformation: {
      if (!DiscReady(&refusal)) return Check(refusal);
      if ((cdb[1] & 0x03) != 1) return Check(kInvalidField);  // only by track number
      const uint32_t number = GetBig32(cdb + 2);
      const std::vector<TrackView> tracks = disc->Tracks();
      for (const TrackView& track : tracks) {
        const bool next =
            number == kInvisibleTrack && (track.state != TrackView::State::kClosed ||
                                          disc->GetMedium().kind == MediumClass::kOverwritable);
        if (track.number == number || next) {
          return Answer(TrackInformationAnswer(*disc, track), command, GetBig16(cdb + 7));
        }
      }
      return Check(kInvalidField);
    }
    case opcode::kReadToc: {
      if (!DiscReady(&refusal)) return Check(refusal);
      std::vector<uint8_t> answer;
      if (!TocAnswer(*disc, cdb[2] & 0x0F, (cdb[1] & 0x02) != 0, cdb[6], &answer)) {
        return Check(kInvalidField);
      }
      return Answer(answer, command, GetBig16(cdb + 7));
    }
    case opcode::kGetPerformance:
      if (!DiscReady(&refusal)) return Check(refusal);
      if (cdb[10] != kPerformanceWriteSpeed) return Check(kInvalidField);
      return Answer(WriteSpeedsAnswer(Speeds(), disc->Capacity()), command,
                    kPerformanceHeaderLength + GetBig16(cdb + 8) * kPerformanceDescriptorLength);
    case opcode::kModeSense10: {
      const uint8_t page = cdb[2] & 0x3F;
      if (page == kWriteParametersPage) {
        return Answer(ModeSenseAnswer(writeParameters), command, GetBig16(cdb + 7));
      }
      if (page == kCapabilitiesPage) {
        return Answer(ModeSenseAnswer(CapabilitiesPage(model, PageSpeeds(), removalPrevented)),
                      command, GetBig16(cdb + 7));
      }
      return Check(kInvalidField);
    }
    case opcode::kModeSelect10:
      return ModeSelect(command);
    case opcode::kSetCdSpeed:
      requestedRead = GetBig16(cdb + 2);
      requestedWrite = GetBig16(cdb + 4);
      return Good();
    case opcode::kSetStreaming:
      return SetStreaming(command);
    case opcode::kBlank:
      if (!DiscWritable(&refusal)) return Check(refusal);
      if ((cdb[1] & 0x07) > kBlankMinimal) return Check(kInvalidField);
      if (!disc->Blank(&refusal)) return Check(refusal);
      incrementalLost = disc->GetMedium().profile == profile::kDvdRwSequential &&
                        (cdb[1] & 0x07) == kBlankMinimal;
      reservedBlocks = 0;
      unflushedBytes = 0;
      StartOperation((cdb[1] & 0x10) != 0, kAscqOperationInProgress, 0);
      return Good();
    case opcode::kFormatUnit:
      if (!DiscWritable(&refusal)) return Check(refusal);
      if (command.direction != DataDirection::kToDevice ||
          command.length < kFormatParameterLength) {
        return Check(kInvalidParameter);
      }
      {
        const uint8_t* descriptor = command.data + 4;
        const bool plusRw = disc->GetMedium().profile == profile::kDvdPlusRw;
        if (plusRw && descriptor[4] >> 2 == kFormatDvdPlusRw &&
            (GetBig24(descriptor + 5) & kFormatRestart) != 0) {
          // A restart of a stopped background format, nothing else.
          if (backgroundFormat != kBackgroundFormatStopped) return Check(kSequenceError);
          backgroundFormat = kBackgroundFormatRunning;
          return Good();
        }
        // Only a format READ FORMAT CAPACITIES offers, block count included.
        const std::vector<FormatCapacity> offered = FormatsOf(*disc);
        const bool listed =
            std::any_of(offered.begin(), offered.end(), [descriptor](const FormatCapacity& format) {
              return format.blocks == GetBig32(descriptor) && format.type == descriptor[4] >> 2 &&
                     format.parameter == GetBig24(descriptor + 5);
            });
        if (!listed) return Check(kInvalidParameter);
      }
      if (!disc->Format(&refusal)) return Check(refusal);
      // A DVD+RW formats in the background: usable at once, its format
      // running until the host stops it.
      backgroundFormat = disc->GetMedium().profile == profile::kDvdPlusRw
                             ? kBackgroundFormatRunning
                             : kBackgroundFormatComplete;
      // IMMED counts only with FOV, which makes the drive heed the options.
      StartOperation(
          (command.data[1] & kFormatOptionsValid) != 0 && (command.data[1] & kFormatImmediate) != 0,
          kAscqFormatInProgress, 0);
      return Good();
    case opcode::kReadFormatCapacities:
      if (!DiscReady(&refusal)) return Check(refusal);
      return Answer(FormatCapacitiesAnswer(*disc), command, GetBig16(cdb + 7));
    case opcode::kWrite10:
      return WriteBlocks(connection, command);
    case opcode::kReserveTrack:
      return ReserveTrack(command);
    case opcode::kRead10: {
      if (!DiscReady(&refusal)) return Check(refusal);
      const uint32_t count = GetBig16(cdb + 7);
      if (command.direction != DataDirection::kFromDevice ||
          command.length < uint64_t{count} * kBlockSize) {
        return Check(kInvalidField);
      }
      if (!disc->Read(GetBig32(cdb + 2), count, command.data, &refusal)) return Check(refusal);
      ScsiResult result;
      result.transferred = count * kBlockSize;
      return result;
    }
    case opcode::kSynchronizeCache: {
      if (!DiscReady(&refusal)) return Check(refusal);
      if (!disc->Sync(&refusal)) return Check(refusal);
      if (reservedBlocks > 0 && disc->Tracks().back().state == TrackView::State::kOpen) {
        // Disc at once: the flush of the whole reservation writes the
        // lead-out and closes the disc; a flush before it is a host's error.
        if (disc->Tracks().back().written != reservedBlocks) return Check(kSequenceError);
        if (!disc->CloseTrack(&refusal) || !disc->CloseSession(true, &refusal)) {
          return Check(refusal);
        }
        reservedBlocks = 0;
      }
      if (model.flushClosesCdTrack && IsCdProfile(disc->GetMedium().profile) &&
          disc->Tracks().back().state == TrackView::State::kOpen && !disc->CloseTrack(&refusal)) {
        return Check(refusal);
      }
      const uint64_t flushed = unflushedBytes;
      unflushedBytes = 0;
      StartOperation((cdb[1] & 0x02) != 0, kAscqLongWriteInProgress, flushed);
      return Good();
    }
    case opcode::kCloseTrackSession:
      return CloseTrackSession(command);
    case opcode::kStartStopUnit:
      return StartStop(command);
    case opcode::kPreventAllowMediumRemoval:
      removalPrevented = (cdb[4] & 0x01) != 0;
      return Good();
    case opcode::kReadBufferCapacity: {
      std::vector<uint8_t> answer(kBufferCapacityLength, 0);
      PutBig16(&answer[0], kBufferCapacityLength - 2);
      // A flush shown running empties the buffer as its progress rises.
      const uint32_t reported = operation.answered > 0 ? operation.answered - 1 : 0;
      const uint64_t held =
          unflushedBytes +
          (operation.total == 0
               ? 0
               : operation.flushing * (operation.total - reported) / operation.total);
      const uint32_t used = static_cast<uint32_t>(std::min<uint64_t>(held, model.bufferBytes));
      PutBig32(&answer[4], model.bufferBytes);
      PutBig32(&answer[8], model.bufferBytes - used);
      return Answer(answer, command, GetBig16(cdb + 7));
    }
    default:
      return Check(kInvalidOpcode);
  }
}

ScsiResult EmulatedRecorder::WriteBlocks(int connection, const ScsiCommand& command) {
  const uint8_t* cdb = command.cdb.data();
  SenseCodes refusal;
  if (!DiscWritable(&refusal)) return Check(refusal);
  const uint32_t lba = GetBig32(cdb + 2);
  const uint32_t count = GetBig16(cdb + 7);
  if (command.direction != DataDirection::kToDevice ||
      command.length != uint64_t{count} * kBlockSize) {
    return Check(kInvalidField);
  }
  const uint16_t p = disc->GetMedium().profile;
  if (TestWriting()) return Good();  // simulation: the laser stays off
  const bool startsTrack = disc->GetMedium().kind == MediumClass::kSequential &&
                           disc->Tracks().back().state == TrackView::State::kInvisible;
  if (startsTrack && UsesWriteParametersPage(p)) {
    const uint8_t type = writeParameters[writeparams::kFlags] & 0x0F;
    const uint8_t mode = writeParameters[writeparams::kMultiSession] & 0x0F;
    const bool cd = IsCdProfile(p);
    const bool mode1 =
        (writeParameters[writeparams::kDataBlockType] & 0x0F) == writeparams::kDataBlockMode1;
    if (cd && (type != writeparams::kWriteTypeTrackAtOnce || !mode1)) return Check(kIllegalMode);
    // DVD-R/RW: the track mode READ TRACK INFORMATION gives; incremental only
    // while the disc takes it, with the link size the drive lists; disc at
    // once only into a reservation.
    const bool incremental =
        type == writeparams::kWriteTypeIncremental && IncrementalOffered() &&
        (writeParameters[writeparams::kFlags] & writeparams::kLinkSizeValid) != 0 &&
        writeParameters[writeparams::kLinkSize] == kDvdLinkSize;
    const bool discAtOnce = type == writeparams::kWriteTypeDiscAtOnce && reservedBlocks > 0;
    if (!cd && (mode != kDvdTrackMode || !(incremental || discAtOnce))) {
      return Check(kIllegalMode);
    }
  }
  if (reservedBlocks > 0 && uint64_t{lba} + count > reservedBlocks) return Check(kOutOfRange);
  if (p == profile::kDvdRwRestrictedOverwrite &&
      (lba % kEccBlockBlocks != 0 || count % kEccBlockBlocks != 0)) {
    return Check(kInvalidWriteAddress);
  }
  if (backgroundFormat == kBackgroundFormatStopped) return Check(kSequenceError);
  if (parametersLost && UsesWriteParametersPage(p)) return Check(kIllegalMode);
  if (faults.resetAt && lba <= *faults.resetAt && *faults.resetAt < uint64_t{lba} + count) {
    faults.resetAt.reset();
    writeParameters = DefaultWriteParameters();
    parametersLost = true;
    return Check(kResetOccurred);
  }
  const uint64_t bytes = uint64_t{count} * kBlockSize;
  const bool overfill = model.bufferBytes != 0 && unflushedBytes + bytes > model.bufferBytes;
  if (overfill || (model.busyWriteOneIn != 0 && busyDice() % model.busyWriteOneIn == 0)) {
    unflushedBytes = 0;  // written out while the host waits
    return Check(kLongWriteInProgress);
  }
  const uint64_t end = uint64_t{lba} + count;
  if (faults.spaceEndsAt && end > *faults.spaceEndsAt) return Check(kOutOfRange);
  if (faults.powerLossAt && lba <= *faults.powerLossAt && *faults.powerLossAt < end) {
    const uint32_t before = *faults.powerLossAt - lba;
    if (before > 0) disc->Write(lba, before, command.data, connection, &refusal);
    PowerLoss();
    ScsiResult gone;
    gone.transport = STARBURN_STATUS_DEVICE_GONE;
    gone.transportError = "the drive lost power";
    return gone;
  }
  if (!disc->Write(lba, count, command.data, connection, &refusal)) return Check(refusal);
  unflushedBytes += bytes;
  return Good();
}

ScsiResult EmulatedRecorder::ReserveTrack(const ScsiCommand& command) {
  SenseCodes refusal;
  if (!DiscWritable(&refusal)) return Check(refusal);
  const uint16_t p = disc->GetMedium().profile;
  const uint32_t size = GetBig32(command.cdb.data() + 5);
  if ((command.cdb[1] & 0x01) != 0 || size == 0) return Check(kInvalidField);
  // Only DVD-R/-RW, blank, set for disc at once.
  if (IsCdProfile(p) || !UsesWriteParametersPage(p) || disc->DiscStatus() != kDiscBlank ||
      (writeParameters[writeparams::kFlags] & 0x0F) != writeparams::kWriteTypeDiscAtOnce) {
    return Check(kSequenceError);
  }
  const uint64_t whole = (uint64_t{size} + kEccBlockBlocks - 1) / kEccBlockBlocks * kEccBlockBlocks;
  if (whole > disc->Capacity()) return Check(kInvalidField);
  reservedBlocks = static_cast<uint32_t>(whole);
  return Good();
}

ScsiResult EmulatedRecorder::CloseTrackSession(const ScsiCommand& command) {
  SenseCodes refusal;
  if (!DiscWritable(&refusal)) return Check(refusal);
  if (TestWriting()) return Good();
  bool done = false;
  switch (command.cdb[2] & 0x07) {
    case kCloseTrack:
      done = disc->CloseTrack(&refusal);
      break;
    case kCloseSession: {
      if (disc->GetMedium().profile == profile::kDvdPlusRw) {
        // Stops a running background format; nothing else to close.
        if (backgroundFormat == kBackgroundFormatRunning) {
          backgroundFormat = kBackgroundFormatStopped;
        }
        StartOperation((command.cdb[1] & 0x01) != 0, kAscqOperationInProgress, 0);
        return Good();
      }
      // CD and DVD-R: the write parameters say whether a next session may follow.
      const bool last =
          UsesWriteParametersPage(disc->GetMedium().profile) &&
          (writeParameters[writeparams::kMultiSession] >> 6) == writeparams::kMultiSessionNone;
      done = disc->CloseSession(last, &refusal);
      break;
    }
    case 5:
    case kFinalizeDisc:
      done = disc->CloseSession(true, &refusal);
      break;
    default:
      return Check(kInvalidField);
  }
  if (!done) return Check(refusal);
  unflushedBytes = 0;
  StartOperation((command.cdb[1] & 0x01) != 0, kAscqOperationInProgress, 0);
  return Good();
}

ScsiResult EmulatedRecorder::ModeSelect(const ScsiCommand& command) {
  if (command.direction != DataDirection::kToDevice || command.length < kModeHeaderLength + 2) {
    return Check(kInvalidParameter);
  }
  const uint8_t* list = command.data;
  const uint32_t at = kModeHeaderLength + GetBig16(list + 6);
  if (at + 2 > command.length) return Check(kInvalidParameter);
  const uint8_t* page = list + at;
  const uint32_t size = 2u + page[1];
  if ((page[0] & 0x3F) != kWriteParametersPage || size != kWriteParametersPageLength ||
      at + size > command.length || (page[writeparams::kFlags] & 0x0F) > 4) {
    return Check(kInvalidParameter);
  }
  writeParameters.assign(page, page + size);
  writeParameters[0] &= 0x3F;
  parametersLost = false;
  return Good();
}

ScsiResult EmulatedRecorder::StartStop(const ScsiCommand& command) {
  const uint8_t flags = command.cdb[4];
  if ((flags & 0x02) == 0) return Good();  // spin up or down: nothing to emulate
  if ((flags & 0x01) != 0) {               // load
    if (trayOpen) {
      trayOpen = false;
      DiscChanged();
    }
    return Good();
  }
  if (removalPrevented) return Check(kRemovalPrevented);
  if (backgroundFormat == kBackgroundFormatRunning) return Check(kFormatRunning);
  trayOpen = true;
  if (disc) disc->DropOpenTrack(-1);
  return Good();
}

ScsiResult EmulatedRecorder::SetStreaming(const ScsiCommand& command) {
  const uint8_t* cdb = command.cdb.data();
  if (cdb[8] != 0) return Check(kInvalidField);  // only performance descriptors
  const uint32_t length = GetBig16(cdb + 9);
  if (command.direction != DataDirection::kToDevice || length < kPerformanceDescriptorSize ||
      command.length < kPerformanceDescriptorSize) {
    return Check(kInvalidParameter);
  }
  const uint8_t* descriptor = command.data;
  const uint32_t readTime = GetBig32(descriptor + streaming::kReadTime);
  const uint32_t writeTime = GetBig32(descriptor + streaming::kWriteTime);
  if (readTime == 0 || writeTime == 0 ||
      GetBig32(descriptor + streaming::kEndLba) < GetBig32(descriptor + streaming::kStartLba)) {
    return Check(kInvalidParameter);
  }
  // KB per time in ms -> KB/s; anything the 16-bit figures cannot hold is
  // "the fastest".
  const auto perSecond = [](uint32_t size, uint32_t time) {
    const uint64_t speed = uint64_t{size} * streaming::kTimeBase / time;
    return static_cast<uint16_t>(std::min<uint64_t>(speed, kMaximumSpeed));
  };
  requestedRead = perSecond(GetBig32(descriptor + streaming::kReadSize), readTime);
  requestedWrite = perSecond(GetBig32(descriptor + streaming::kWriteSize), writeTime);
  return Good();
}

ScsiResult EmulatedRecorder::RequestSense(const ScsiCommand& command) {
  if (operation.total > 0 && operation.answered == operation.total) operation = Operation();
  const ScsiResult sense = operation.total > 0 ? OperationSense() : Check(kNothingToReport);
  if (operation.total > 0) ++operation.answered;
  return Answer(std::vector<uint8_t>(sense.sense.begin(), sense.sense.begin() + sense.senseLength),
                command, command.cdb[4]);
}

void EmulatedRecorder::StartOperation(bool immediate, uint8_t ascq, uint64_t flushed) {
  if (!immediate || model.longOperationPolls == 0) return;
  operation.answered = 0;
  operation.total = model.longOperationPolls;
  operation.ascq = ascq;
  operation.flushing = flushed;
}

ScsiResult EmulatedRecorder::OperationSense() const {
  ScsiResult result = Check(SenseCodes{sensekey::kNotReady, asc::kNotReadyCause, operation.ascq});
  PutProgress(
      static_cast<uint16_t>(uint64_t{operation.answered} * kProgressScale / operation.total),
      result.sense.data());
  return result;
}

}  // namespace starburn
