#pragma once

#include <string>

namespace Orlet {

class FileContainer;

/// The host implements these interfaces; the library only calls them. They have
/// no data, and the library never deletes an observer (their destructors are
/// protected and not virtual, so nothing deletes one through the interface).
/// The host must keep each observer alive while the library may still call it:
/// the burn observer until its job's last event, the erase observer until Erase
/// returns, a FileContainerObserver until its import call returns, and the
/// drive-search observer until a threaded search has reported OnSearchFinished.
/// No lock of the library is held while an observer is called.

/// Prepare events (BurnObserver::OnPrepareEvent), with their details.
enum PrepareEvent : int {
  PrepareJobStarted = 1,    ///< detail 0: the drive is opened, the disc examined
  PrepareTreeStarted = 2,   ///< detail 0: building the image tree begins
  PrepareHostDeclined = 3,  ///< detail 0: OnFillContainer answered 0; the job ends
  PrepareFailed = 4,        ///< detail: DetailOpenFailed or an image-tree detail
  PrepareImageReady = 5,    ///< detail 0: the image is built; writing begins
};

/// Burn events (BurnObserver::OnBurnEvent).
enum BurnEvent : int {
  BurnRecorderStarted = 1,  ///< detail 0: preparing the recorder begins
  BurnCancelled = 3,        ///< detail 0: the write was cancelled
  BurnFailed = 4,           ///< detail: what failed; detail 0 closes every failed job
  BurnFinished = 7,         ///< detail 0: recorded, session closed, disc ejected
};

/// Erase events (EraseObserver::OnEraseEvent).
enum EraseEvent : int {
  EraseJobStarted = 1,      ///< the erase job starts
  EraseBlankStarted = 2,    ///< erasing begins (OnEraseEstimate follows)
  EraseBlankCompleted = 3,  ///< erasing completed
  EraseFailed = 4,          ///< detail: what failed (or DetailEraseRefused)
  EraseEjecting = 5,        ///< ejecting the disc
  EraseEjectFailed = 6,     ///< ejecting failed
  EraseReloading = 7,       ///< loading the disc again
  EraseReloadFailed = 8,    ///< loading the disc again failed
  EraseJobFinished = 9,     ///< the erase job has finished
};

/// Details of the failure events. The high byte groups them: 0x0 general,
/// 0x1 erasing, 0x2 the image tree, 0x3 preparing the recorder.
enum EventDetail : int {
  DetailNone = 0,
  DetailOpenFailed = 1,               ///< the drive could not be opened
  DetailNotReady = 2,                 ///< not ready; for an erase also a speed failure
  DetailBadImageFileSystem = 3,       ///< the image file system is not 1, 2 or 3
  DetailEraseRefused = 0x101,         ///< Erase refused the request (no job ran)
  DetailBlankRejected = 0x101,        ///< blanking failed: the disc refused (SDK status 8)
  DetailBlankCommandFailed = 0x102,   ///< blanking failed: the drive failed the command (5)
  DetailBlankCancelled = 0x103,       ///< blanking was aborted (SDK status 14)
  DetailTreeCreateFailed = 0x201,     ///< the SDK image tree could not be created
  DetailSessionImportFailed = 0x202,  ///< the last track could not be read or imported
  DetailTreeEntryNotAdded = 0x203,    ///< an entry of the container could not be added
  DetailBupReadFailed = 0x301,        ///< reading buffer-underrun protection failed
  DetailBupSetFailed = 0x302,         ///< switching buffer-underrun protection on failed
  DetailSetSpeedFailed = 0x303,       ///< setting the write speed failed
  DetailReadSpeedsFailed = 0x304,     ///< reading the speeds failed
  DetailBuildImageFailed = 0x305,     ///< building the image failed
};

/// Progress value meaning "this call brings no new value for this position".
constexpr int kNoProgressValue = -1;

/// Told about a burn job. Every call comes on the burn job's own thread, in the
/// order: OnPrepareEvent(1,0), OnPrepareEvent(2,0), [OnAskImportSession],
/// OnFillContainer, OnBurnEvent(1,0), [OnAskRetryOpen], OnPrepareEvent(5,0),
/// progress, OnBurnProgress(-1,0), OnBurnProgress(100,0), OnBurnEvent(7,0).
/// A job that fails ends with its failure's own event (if any) and then
/// OnBurnEvent(4,0). The last call of every job is OnBurnEvent(7,0) or
/// OnBurnEvent(4,0); after it the library does not call this observer for that job.
class BurnObserver {
 public:
  /// Preparation channel: PrepareEvent with an EventDetail.
  virtual void OnPrepareEvent(int event, int detail) = 0;
  /// Called at most once per job with the burner's container, whose root is
  /// named and which already holds the disc's earlier entries when they were
  /// imported. Add entries to it here; answer nonzero to go on, 0 to end the
  /// job (OnPrepareEvent(3,0), then OnBurnEvent(4,0)). The container stays
  /// valid until the next job starts.
  virtual int OnFillContainer(FileContainer* container) = 0;
  /// Texts from the SDK's image-tree call-backs, converted to wide text. They
  /// may come at any point from the tree's creation to the end of the image build.
  virtual void OnTreeNameKind0(const std::wstring& text) = 0;
  virtual void OnTreeNameKind2(const std::wstring& text) = 0;
  /// Asked only when the disc already holds data: nonzero imports the disc's
  /// last session into the new image (and mirrors it into the container).
  virtual int OnAskImportSession() = 0;
  /// Recording channel: BurnEvent with an EventDetail.
  virtual void OnBurnEvent(int event, int detail) = 0;
  /// progress: percent written; level: drive buffer fill in percent. Either may
  /// be kNoProgressValue when the call carries no new value for it.
  virtual void OnBurnProgress(int progress, int level) = 0;
  /// Asked when opening the drive for recording through the SPTD layer failed:
  /// nonzero tries once more, 0 gives up.
  virtual int OnAskRetryOpen() = 0;

 protected:
  ~BurnObserver() = default;
};

/// Told when a threaded drive search has ended.
class DriveSearchObserver {
 public:
  /// Called once, on the drive finder's own thread, when a threaded search has
  /// examined every drive or was told to stop. A synchronous search never calls it.
  virtual void OnSearchFinished() = 0;

 protected:
  ~DriveSearchObserver() = default;
};

/// The host's combined burn and drive-search observer, handed to SetBurnObserver.
class MediaBurningObserver : public BurnObserver, public DriveSearchObserver {
 protected:
  ~MediaBurningObserver() = default;
};

/// Told about an erase. Every call comes on the host thread that called Erase,
/// before Erase returns. A successful erase calls: OnEraseEvent(1,0),
/// [OnAskRetryOpen], OnEraseEvent(2,0), OnEraseEstimate, OnEraseEvent(3,0),
/// OnEraseEvent(5,0), OnEraseEvent(7,0), OnEraseEvent(9,0).
class EraseObserver {
 public:
  /// Asked when opening the drive through the SPTD layer was refused as busy:
  /// nonzero tries once more without taking the drive's lock, 0 gives up.
  virtual int OnAskRetryOpen() = 0;
  /// EraseEvent with an EventDetail.
  virtual void OnEraseEvent(int event, int detail) = 0;
  /// Expected duration of the blanking itself, sent right after OnEraseEvent(2,0).
  virtual void OnEraseEstimate(unsigned int milliseconds) = 0;

 protected:
  ~EraseObserver() = default;
};

/// Asked and told by FileContainer::AddItem, on the thread that called it, also
/// for every entry of an imported folder, in enumeration order.
class FileContainerObserver {
 public:
  /// Called at the start of every AddItem: nonzero goes on; 0 stops, AddItem
  /// answers ResultCancelled and a folder import under way is undone.
  virtual int OnAddItem() = 0;
  /// Adding a file (not a folder) failed with code (ResultInvalidArgument,
  /// ResultFailed, ResultAlreadyExists or ResultNotSupported).
  virtual void OnAddFileFailed(const std::wstring& sourcePath, int code) = 0;

 protected:
  ~FileContainerObserver() = default;
};

}  // namespace Orlet
