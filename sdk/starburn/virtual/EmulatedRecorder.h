#pragma once

// A virtual drive: an MMC target over an image file. It answers the commands
// of the MMC layer as a recorder does for the disc it holds (profiles and
// features, disc and track information, table of contents, speeds, write
// parameters, buffer), keeps its tray (a disc is not ready while the tray is
// open; an open tray closes again, with the same disc, when a new path to the
// drive is opened, as a person would push it back), reports a unit attention
// after a disc was loaded, shows long operations running (DriveModel), and
// can be told to fail (FaultPlan).
//
// It holds a host to what real recorders need, so that the SDK's command
// sequences are the ones a real drive gets:
// - CD-R/RW and DVD-R/RW: a track is written only after MODE SELECT set the
//   write parameters page to the write type of the disc (track at once on
//   CD, incremental on DVD) and, on CD, Mode 1 blocks. The page goes back to
//   its defaults (packet writing) when a disc is loaded.
// - DVD+RW, DVD-RAM and BD-RE: a blank disc takes writes only after FORMAT
//   UNIT.
// - CD: a track shorter than 4 seconds (300 blocks) is not closed.
// - Every medium: a WRITE that would overfill the buffer, and now and then
//   one besides (DriveModel::busyWriteOneIn), is answered NOT READY, long
//   write in progress: the host must wait and send it again.
// A write that misses one of these is refused with ILLEGAL REQUEST: the
// parameters (64h/00h, illegal mode for this track), the format (30h/10h,
// medium not formatted); a short track's close with 2Ch/00h (command
// sequence error). SET STREAMING is taken but not demanded: a real recorder
// left to itself writes at a speed of its own.
//
// Across processes, each path holds the image (ImageLock): shared for
// reading, exclusive for recording. An exclusive open that another process
// stands in the way of fails with STARBURN_STATUS_DEVICE_BUSY; a reading path
// opened while another process records sees the drive as busy (SCSI BUSY for
// every command that needs the disc), never the half-written disc. The disc
// is read again from its image and sidecar whenever this process takes the
// image anew (no other path of it holds the image), since another process
// may have written it in between.
//
// Threads: any number of paths may be open on different threads; the
// recorder's lock is held for one command at a time, never across a call-back.

#include <cstdint>
#include <memory>
#include <mutex>
#include <random>
#include <set>
#include <string>
#include <vector>

#include "devices/DriveBackend.h"
#include "virtual/DriveModel.h"
#include "virtual/EmulatedAnswers.h"
#include "virtual/EmulatedDisc.h"
#include "virtual/FaultPlan.h"

namespace starburn {

class EmulatedRecorder : public DriveBackend,
                         public std::enable_shared_from_this<EmulatedRecorder> {
 public:
  // A recorder holding the disc of medium over imagePath; medium null makes an
  // empty drive (imagePath is then ignored). Fails with
  // STARBURN_STATUS_BAD_CONFIGURATION when the image and its sidecar cannot be
  // used (EmulatedDisc::Load).
  static StarBurnStatus Create(const Medium* medium, const std::string& imagePath, DriveModel model,
                               std::shared_ptr<EmulatedRecorder>* out, std::string* error);

  StarBurnStatus Open(bool exclusive, std::unique_ptr<ScsiTransport>* out,
                      std::string* error) override;
  std::string Identity() const override;

  // Replaces the faults the recorder shows from the next command on.
  void SetFaults(FaultPlan plan);

 private:
  friend class EmulatedConnection;

  EmulatedRecorder(std::unique_ptr<EmulatedDisc> disc, const Medium* medium, std::string imagePath,
                   DriveModel model);
  ScsiResult Execute(int connection, uint64_t epoch, const ScsiCommand& command);
  void Disconnect(int connection);
  // The answer to a path opened while another process records: what needs no
  // disc, or SCSI BUSY.
  ScsiResult AnswerWhileHeldElsewhere(const ScsiCommand& command);

  // The command handlers, under mutex.
  ScsiResult Dispatch(int connection, const ScsiCommand& command);
  ScsiResult WriteBlocks(int connection, const ScsiCommand& command);
  ScsiResult CloseTrackSession(const ScsiCommand& command);
  ScsiResult ReserveTrack(const ScsiCommand& command);
  ScsiResult ModeSelect(const ScsiCommand& command);
  ScsiResult StartStop(const ScsiCommand& command);
  ScsiResult SetStreaming(const ScsiCommand& command);
  ScsiResult RequestSense(const ScsiCommand& command);
  // A long operation just started: shown running for the model's polls when
  // the command asked IMMED. flushed: bytes a flush writes out.
  void StartOperation(bool immediate, uint8_t ascq, uint64_t flushed);
  // The sense of the running operation, its progress included.
  ScsiResult OperationSense() const;
  bool DiscReady(SenseCodes* refusal) const;
  bool DiscWritable(SenseCodes* refusal) const;
  bool TestWriting() const;
  uint16_t CurrentProfile() const;
  SpeedState Speeds() const;
  // Speeds() as the capabilities page gives them (DriveModel::pageSpeedsInCdUnits).
  SpeedState PageSpeeds() const;
  void LoseDisc();
  void PowerLoss();
  void DiscChanged();

  const Medium* medium;  // null: an empty drive
  const std::string imagePath;
  const DriveModel model;

  mutable std::mutex mutex;  // guards everything below, one command at a time
  // Null for an empty drive, or until this process first holds the image.
  std::unique_ptr<EmulatedDisc> disc;
  std::set<int> holding;    // paths that hold the image
  std::set<int> heldAside;  // paths opened while another process records
  bool trayOpen = false;
  bool removalPrevented = false;
  uint64_t epoch = 0;  // counts power losses; paths from an older epoch are dead
  int nextConnection = 1;
  std::set<int> connections;
  std::set<int> attention;  // connections owed a unit attention
  uint16_t requestedRead = 0xFFFF;
  uint16_t requestedWrite = 0xFFFF;
  std::vector<uint8_t> writeParameters;
  bool parametersLost = false;  // reset since the write parameters were last sent
  // A DVD-RW given a minimal blank takes disc-at-once writing only, until it
  // is blanked fully (kept for the life of the recorder).
  bool incrementalLost = false;
  // Whether 0021h is current: a DVD-R or DVD-RW that takes incremental writes
  // (a DVD-R DL takes disc at once only).
  bool IncrementalOffered() const;
  // Blocks RESERVE TRACK set aside for a disc-at-once write; 0 none. The
  // flush of exactly these blocks closes the disc.
  uint32_t reservedBlocks = 0;
  // DVD+RW: the state of its background format as READ DISC INFORMATION
  // shows it. FORMAT UNIT starts it, CLOSE SESSION stops it, a restart
  // resumes it; a disc whose format was stopped takes no write until it is
  // restarted, and the tray does not open while it runs. A disc loaded from
  // its image shows it complete (kept for the life of the recorder).
  uint8_t backgroundFormat = kBackgroundFormatComplete;
  uint64_t unflushedBytes = 0;
  // The long operation shown running (total nonzero): REQUEST SENSE polls
  // answered of total (the poll after the last says it is done), its
  // qualifier (04h/xx), the bytes a flush writes out.
  struct Operation {
    uint32_t answered = 0;
    uint32_t total = 0;
    uint8_t ascq = 0;
    uint64_t flushing = 0;
  } operation;
  std::minstd_rand busyDice;  // seeded with model.busySeed
  FaultPlan faults;
  std::vector<uint32_t> faultHits;  // commands seen by each of faults.commands
};

}  // namespace starburn
