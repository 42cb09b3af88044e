#pragma once

/// The one header a host includes: the service interface, its factory, the
/// result codes, the observers, the drive record and the file container.

#include <cstddef>
#include <string>

#include "orlet/DriveInfo.h"
#include "orlet/Export.h"
#include "orlet/FileContainer.h"
#include "orlet/MediaBurningResult.h"
#include "orlet/Observers.h"

namespace Orlet {

/// The burning service. Obtain one with CreateMediaBurning, give it back with
/// DestroyMediaBurning. Every operation may be called from any host thread; the
/// observers say on which thread they are called.
///
/// The order of the virtual operations is part of the interface: the table holds
/// the destructor, then the twelve operations below in this order. Never reorder
/// or insert.
class ORLET_API MediaBurning {
 public:
  MediaBurning();
  MediaBurning(const MediaBurning& other);
  /// Changes nothing and returns this object.
  MediaBurning& operator=(const MediaBurning& other);
  virtual ~MediaBurning();

  /// Stores the host's burn and drive-search observer (may be null). Takes
  /// effect for the next drive search and the next burn job.
  virtual void SetBurnObserver(MediaBurningObserver* observer) = 0;
  /// Stores the host's erase observer (may be null).
  virtual void SetEraseObserver(EraseObserver* observer) = 0;
  /// Starts the SDK unless it is started: ResultOk or ResultFailed.
  virtual int Initialize() = 0;
  /// Shuts the SDK down if it is started. Stops no search, burn or erase.
  virtual void Uninitialize() = 0;
  /// Starts a drive search; with asynchronous nonzero it runs on the drive
  /// finder's thread and ends with OnSearchFinished. Nothing before Initialize.
  virtual void StartDriveSearch(int writersOnly, int asynchronous) = 0;
  /// Reads the drive and disc information of every found drive again.
  virtual void RefreshDrives() = 0;
  /// Number of found drives; 0 before Initialize.
  virtual std::size_t GetDriveCount() = 0;
  /// Reads one drive's information afresh and copies it out: ResultOk,
  /// ResultInvalidArgument (unknown index or unreadable drive), ResultNotStarted.
  virtual int GetDriveInfo(std::size_t index, DriveInfo& info) = 0;
  /// 1 when the drive can write the inserted disc, else 0.
  virtual int IsDiscWritable(const DriveInfo& info) = 0;
  /// Checks drive and disc, then starts the burn job on the service's thread.
  /// The job reports only through the burn observer.
  virtual int Burn(std::size_t index, const std::wstring& discLabel, unsigned int speed,
                   int force) = 0;
  /// Checks drive and disc, then erases the disc on the calling thread.
  virtual int Erase(std::size_t index) = 0;
  /// Asks a running burn job to stop.
  virtual void Cancel() = 0;
};

/// Makes a new, independent service object: ResultOk, or ResultCreateFailed with
/// service unchanged (also when memory runs out part of the way; nothing
/// throws).
ORLET_API int CreateMediaBurning(MediaBurning*& service);

/// Destroys a service made by CreateMediaBurning. A null pointer or an object of
/// another class does nothing. Always ResultOk; the caller's pointer is not
/// changed and no longer valid afterwards. A burn job that runs is waited for.
/// On the job's own thread, inside its last event (OnBurnEvent(7,0) or (4,0)),
/// the service is destroyed at once, and the job's thread touches nothing of it
/// afterwards. Earlier in the job, from inside another of its calls, the job
/// runs on to its end (the observer hears the rest of it) and its thread then
/// destroys the service.
ORLET_API int DestroyMediaBurning(MediaBurning*& service);

}  // namespace Orlet
