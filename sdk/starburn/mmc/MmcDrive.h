#pragma once

// The MMC commands over one ScsiTransport: each builds its CDB, runs it, turns
// the outcome into an SDK status (Sense.h) and decodes the answer. A failure
// leaves what happened in LastFailure(): a message, the system error behind a
// transport failure, and the CDB with the drive's sense.
//
// Threads: one thread at a time, like the transport it drives.

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "mmc/Answers.h"
#include "mmc/Cdb.h"
#include "mmc/ScsiTransport.h"
#include "mmc/Sense.h"
#include "starburn/StarBurn.h"

namespace starburn {

// Blocks per READ(10)/WRITE(10): 64 KiB, a transfer every drive and the Linux
// SCSI generic driver take in one command.
constexpr uint32_t kMaxTransferBlocks = 32;

struct CommandFailure {
  std::string message;
  uint32_t systemError = 0;
  bool fromDrive = false;           // record holds a command the drive refused
  StarBurnCommandFailure record{};  // zero unless fromDrive
};

// What REQUEST SENSE reports while a long operation runs.
struct SenseReport {
  SenseCodes codes;
  bool hasProgress = false;
  uint16_t progress = 0;  // of kProgressScale
};
// Called at every poll while a long operation still runs.
using BusyObserver = std::function<void(const SenseReport&)>;

class MmcDrive {
 public:
  explicit MmcDrive(ScsiTransport& transport) : transport(transport) {}  // not owned

  StarBurnStatus TestUnitReady();
  StarBurnStatus Inquiry(InquiryData* out);
  StarBurnStatus GetConfiguration(uint8_t requestType, Configuration* out);
  StarBurnStatus ReadDiscInformation(DiscInformation* out);
  StarBurnStatus ReadTrackInformation(uint32_t track, TrackInformation* out);
  StarBurnStatus ReadToc(uint8_t format, Toc* out);
  StarBurnStatus GetWriteSpeeds(std::vector<WriteSpeed>* out);
  // The page from its code byte on, PS bit cleared.
  StarBurnStatus ModeSense(uint8_t page, std::vector<uint8_t>* out);
  StarBurnStatus ModeSelect(const std::vector<uint8_t>& page);
  StarBurnStatus SetCdSpeed(uint16_t readSpeed, uint16_t writeSpeed);
  // One performance descriptor over startLba to endLba, speeds in KB/s.
  StarBurnStatus SetStreaming(uint32_t startLba, uint32_t endLba, uint32_t readSpeed,
                              uint32_t writeSpeed);
  StarBurnStatus RequestSense(SenseReport* out);

  // The long operations. Each is started with IMMED and then polled with
  // REQUEST SENSE until the drive reports it done (onBusy, when given, hears
  // every poll that finds it still running), for at most the operation's
  // timeout (TimeoutOf): STARBURN_STATUS_TIMEOUT after that. An error the
  // drive reports when the operation ends counts as the operation's failure.
  StarBurnStatus Blank(uint8_t type, const BusyObserver& onBusy = nullptr);
  StarBurnStatus FormatUnit(uint32_t blocks, uint8_t formatType, uint32_t typeParameter,
                            const BusyObserver& onBusy = nullptr);
  StarBurnStatus SynchronizeCache(const BusyObserver& onBusy = nullptr);
  StarBurnStatus CloseTrackSession(uint8_t function, uint16_t track,
                                   const BusyObserver& onBusy = nullptr);

  // count blocks of kBlockSize bytes, sent kMaxTransferBlocks at a time. A
  // WRITE the drive answers NOT READY because it is busy writing (its buffer
  // full: "long write in progress"), calibrating or formatting in the
  // background ("operation in progress", "format in progress") or becoming
  // ready is flow control: the same WRITE is sent again after a pause, for up
  // to kWriteBusyBudget.
  StarBurnStatus Write(uint32_t lba, uint32_t count, const uint8_t* data);
  StarBurnStatus Read(uint32_t lba, uint32_t count, uint8_t* data);
  StarBurnStatus ReserveTrack(uint32_t blocks);
  StarBurnStatus StartStopUnit(bool loadEject, bool start);
  StarBurnStatus PreventMediumRemoval(bool prevent);
  StarBurnStatus ReadBufferCapacity(BufferCapacity* out);
  StarBurnStatus ReadFormatCapacities(FormatCapacities* out);

  const CommandFailure& LastFailure() const { return failure; }

 private:
  StarBurnStatus Run(const Cdb& cdb, DataDirection direction, uint8_t* data, uint32_t length,
                     uint32_t* transferred = nullptr);
  // Keeps what the drive said of cdb in failure; answers its status.
  StarBurnStatus Failed(const Cdb& cdb, const ScsiResult& result);
  StarBurnStatus Malformed(const Cdb& cdb);
  // Runs a command with IMMED set and waits for the operation it started.
  StarBurnStatus RunLong(const Cdb& cdb, DataDirection direction, uint8_t* data, uint32_t length,
                         const BusyObserver& onBusy);
  // Runs a command that answers size bytes at most and decodes the answer
  // with parse (given the bytes and how many came).
  StarBurnStatus Query(const Cdb& cdb, uint32_t size,
                       const std::function<bool(const uint8_t*, uint32_t)>& parse);

  ScsiTransport& transport;
  CommandFailure failure;
};

}  // namespace starburn
