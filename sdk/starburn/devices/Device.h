#pragma once

// An open device handle: one path to one registered drive, and every device
// call of the SDK as a short sequence of MMC commands. It knows nothing of the
// drive's kind: the emulated recorder and a real drive answer the same
// commands.
//
// Ownership: made by the opens, kept in the handle table, deleted by
// StarBurn_Destroy. Threads: one thread at a time uses a handle (the SDK's
// rule); StarBurn_AbortDeviceWrite reaches a running write through the
// registered drive, not through the handle.

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "common/BlockIo.h"
#include "devices/DeviceRegistry.h"
#include "iso/SessionProbe.h"
#include "mmc/MmcDrive.h"
#include "mmc/SdkRecords.h"

namespace starburn {

class Device : public DiscProvider {
 public:
  // shared: other handles may open the drive too (reading); otherwise the
  // handle has the drive to itself (recording). lockTray: the tray stays
  // locked while the handle is open. callback and context receive the
  // recording notifications.
  static StarBurnStatus Open(const std::shared_ptr<RegisteredDrive>& drive, bool shared,
                             bool lockTray, StarBurnCallback callback, void* context,
                             std::unique_ptr<Device>* out, CommandFailure* failure);
  ~Device() override;

  // Why the last failing call failed. Every call of the C interface clears it
  // first.
  const CommandFailure& LastFailure() const { return failure; }
  void ClearFailure() { failure = CommandFailure(); }
  // Records a failure that is not the drive's (a bad argument, a disc in the
  // wrong state); answers status.
  StarBurnStatus Refuse(StarBurnStatus status, const std::string& message);
  const std::string& Name() const { return drive->Name(); }

  StarBurnStatus GetDeviceInformation(InquiryData* identity, uint32_t* bufferKiB);
  int32_t InsertedDiscType();
  StarBurnStatus GetDiscInformation(DiscInformation* out);
  StarBurnStatus GetMediaFormats(uint8_t flags[STARBURN_MEDIA_FORMAT_COUNT]);
  StarBurnStatus ProbeWriteModes(WriteModes* out);
  StarBurnStatus IsDiscBlank(bool* blank);
  StarBurnStatus GetUsedSpace(uint64_t* bytes);
  StarBurnStatus GetFreeSpace(uint32_t* blocks, uint64_t* bytes);
  StarBurnStatus GetTrackRecord(uint32_t track, TrackRecord* out);
  StarBurnStatus GetSpeeds(uint32_t* currentRead, uint32_t* maximumRead, uint32_t* currentWrite,
                           uint32_t* maximumWrite);
  StarBurnStatus SetSpeeds(uint32_t readSpeed, uint32_t writeSpeed);
  StarBurnStatus TestUnitReady();
  StarBurnStatus GetUnderrunProtection(bool* enabled, bool* supported);
  StarBurnStatus SetUnderrunProtection(bool enable);
  StarBurnStatus RecordTrack(ImageProvider& image, bool testWrite, bool closeDisc,
                             bool multiSession, uint32_t dataMode);
  StarBurnStatus CloseSession();
  StarBurnStatus Eject();
  StarBurnStatus Load(bool wait);
  StarBurnStatus Blank(bool quick);
  StarBurnStatus GetLastAddress(uint32_t* out);
  StarBurnStatus GetDiscFileSystem(uint8_t record[STARBURN_DISC_FILE_SYSTEM_SIZE]);
  StarBurnStatus GetLastTrack(uint32_t* out);
  StarBurnStatus GetVolumeLabel(std::u16string* label);

  // DiscProvider: the disc through READ(10), up to the end of its last session.
  BlockReader& DiscReader() override;
  StarBurnStatus TrackExtent(uint8_t track, uint32_t* start, uint32_t* blocks,
                             std::string* error) override;

 private:
  // The disc as a few commands show it.
  struct Layout {
    uint16_t profile = 0;
    DiscInformation info;
    bool overwritable = false;
    bool formatted = false;  // overwritable media
    // Recorded (closed) tracks in number order. Overwritable media: one track
    // over the blocks the file system covers, when there is one.
    std::vector<TrackInformation> tracks;
    // The track the next write goes to (open or invisible), when the disc
    // takes more.
    bool hasNext = false;
    TrackInformation next;
    uint32_t capacity = 0;  // overwritable media: the formatted capacity
    uint64_t ReadableEnd() const;
    // The last recorded track an interruption did not cut short; null when
    // there is none.
    const TrackInformation* LastReadableTrack() const;
  };

  // Reads blocks through this handle's drive.
  class Reader : public BlockReader {
   public:
    explicit Reader(Device& device) : device(device) {}
    StarBurnStatus ReadBlocks(uint32_t lba, uint32_t count, uint8_t* out) override;
    uint64_t BlockCount() const override { return blocks; }
    uint64_t blocks = 0;

   private:
    Device& device;
  };

  Device(std::shared_ptr<RegisteredDrive> drive, std::unique_ptr<ScsiTransport> transport,
         bool exclusive, StarBurnCallback callback, void* context);

  StarBurnStatus FromDrive(StarBurnStatus status);  // takes the MMC layer's failure
  StarBurnStatus Survey(Layout* layout);
  StarBurnStatus SurveyOverwritable(Layout* layout);
  StarBurnStatus LastSessionStart(const Layout& layout, uint32_t* start);
  StarBurnStatus ProbeLastSession(SessionSummary* summary);
  // How a recording goes out, as the write parameters page states it.
  struct WriteSetup {
    uint16_t profile = 0;
    bool testWrite = false;
    bool lastSession = false;
    uint8_t writeType = 0;  // writeparams::kWriteType...
    uint8_t linkSize = 0;   // DVD-R/-RW incremental: the drive's link size; 0 none
    uint8_t trackMode = 0;  // as READ TRACK INFORMATION gives it for the next track
    bool underrunProtection = false;
  };
  // Chooses the write type of a recording on profile (track at once on CD;
  // on DVD-R/-RW incremental while the drive offers it, else disc at once
  // onto a blank disc) and the rest of out. Refuses a disc that takes no
  // recording the drive offers.
  StarBurnStatus ChooseWriteSetup(uint16_t profile, bool testWrite, bool lastSession,
                                  WriteSetup* out);
  StarBurnStatus SendWriteParameters(const WriteSetup& chosen);
  // DVD and BD: one performance descriptor over the whole disc; 65535 or more
  // asks the fastest speed the drive lists for the disc.
  StarBurnStatus SetStreaming(uint32_t readSpeed, uint32_t writeSpeed);
  // The same with the write speeds GET PERFORMANCE gave for the disc.
  StarBurnStatus SetStreamingWith(const std::vector<WriteSpeed>& speeds, uint32_t readSpeed,
                                  uint32_t writeSpeed);
  // DVD and BD before a write: states the speeds the drive runs at now (the
  // last a host asked, or the fastest) with SET STREAMING; a current write
  // speed in mode page 2A that GET PERFORMANCE does not list counts as none.
  StarBurnStatus KeepSpeeds();
  StarBurnStatus WriteZeros(uint32_t from, uint32_t count);
  // Writes source from block start, then zeros up to blocks in all (at least
  // the source's count). keepDescriptors: the image's volume descriptors go
  // to descriptors (and, for a session at block 0, out as zeros).
  StarBurnStatus WriteImage(BlockSource& source, uint32_t start, uint64_t blocks,
                            std::vector<uint8_t>* descriptors, bool keepDescriptors);
  // Overwritable media: the session's descriptors to block 16, last. A disc
  // written in whole groups (restricted-overwrite DVD-RW) gets a whole group,
  // the rest of it read back from the disc first.
  StarBurnStatus WriteDescriptors(const std::vector<uint8_t>& descriptors, uint32_t group);
  // DVD+RW: restarts a background format that was stopped (READ DISC
  // INFORMATION shows it); nothing otherwise.
  StarBurnStatus RestartBackgroundFormat(const Layout& layout);
  // Notification 12 (total, done) and then 13 with the drive's buffer.
  void Notify(uint64_t total, uint64_t done);
  void NotifyBuffer();
  // What the handle's call-back hears while a long operation runs: the
  // buffer (13) while the drive flushes or closes; the drive's progress (12,
  // of kProgressScale) while it blanks or formats at a host's request.
  BusyObserver BufferWatch();
  BusyObserver ProgressWatch();

  const std::shared_ptr<RegisteredDrive> drive;
  std::unique_ptr<ScsiTransport> transport;
  MmcDrive mmc;
  const bool exclusive;
  bool trayLocked = false;
  StarBurnCallback callback;
  void* context;
  Reader reader;
  CommandFailure failure;
  // Sends the write parameters (CD, DVD-R/-RW) and the speeds (DVD, BD) of
  // the recording under way again, after the drive went back to its defaults.
  StarBurnStatus RestoreWriteSetup();
  // FORMAT UNIT with the format READ FORMAT CAPACITIES offers for an
  // overwritable disc of profile.
  StarBurnStatus FormatAsOffered(uint16_t profile, const BusyObserver& onBusy);
  // Whether the last failure is a unit attention for a reset or changed
  // parameters: the drive took nothing of the command.
  bool DriveWasReset() const;

  // The recording under way, as RestoreWriteSetup sends it.
  WriteSetup setup;
  // The host switched underrun protection off on this handle (SetBUP);
  // otherwise it is on wherever the drive offers it.
  bool underrunProtectionOff = false;
  // What the last RecordTrack asked for the session's closing.
  bool trackFailed = false;
  bool simulated = false;
  bool finalizeOnClose = false;
};

}  // namespace starburn
