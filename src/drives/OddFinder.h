#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <memory>

#include "orlet/DriveInfo.h"
#include "orlet/MediaBurningResult.h"
#include "orlet/Observers.h"
#include "platform/OrletBases.h"

namespace Orlet {

// Finds the optical drives and keeps the device list: one DriveInfo per drive
// that the SDK can open with the chosen access method. A search enumerates
// candidate drives (appending to the list, which is never emptied between
// searches), then walks the whole list, refreshing every record with
// QueryDrive and dropping the drives that cannot be read (and, with
// writersOnly, those that write nothing). A search runs in the caller's thread
// or on this object's own thread, which ends with OnSearchFinished.
//
// Threads: every public operation may be called from any thread; at most one
// threaded search runs at a time. `lock` guards `drives` and the records in
// it and is held for one list operation at a time (an append, the count, one
// record copied in or out, one writers check, one removal), never across an
// SDK call, a Windows call or an observer call. The settings below are atomic
// because a synchronous search on one host thread may overlap a StartSearch on
// another.
class OddFinder : public Thread {
 public:
  OddFinder();
  // Stops the search thread and waits for it, then destroys every record.
  ~OddFinder() override;
  OddFinder(const OddFinder&) = delete;
  OddFinder& operator=(const OddFinder&) = delete;

  // The observer told when a threaded search ends (null: nobody). Not owned;
  // it must outlive the threaded search it is set for.
  void SetObserver(DriveSearchObserver* searchObserver);

  // Starts a search with method (a DriveAccessMethod; other values enumerate
  // nothing and only walk the list): ResultOk, ResultThreadFailed,
  // ResultInvalidArgument (method 0), ResultBusy (a threaded search runs) or
  // ResultNotSupported (the ASPI or SPTD layer is missing). With asynchronous
  // nonzero the search runs on this object's thread; otherwise it has ended
  // when StartSearch returns.
  int StartSearch(int32_t method, int32_t writersOnlyFlag, int32_t asynchronous);
  // The synchronous search: enumeration, then the walk. Never calls the
  // observer.
  void RunSearch();

  // Refreshes the record at index from its drive (the drive query). 1 when the
  // drive was read: the result is written back to the record it was read from,
  // wherever that record is in the list by then, and nowhere when it has left
  // the list. 0 when index is not below the count or the drive cannot be
  // opened; the record is unchanged.
  int QueryDrive(std::size_t index);
  // Appends a copy of info to the list.
  void AddDrive(const DriveInfo& info);
  std::size_t CountDrives() const;
  // Copies the record at index into info; leaves info as it is when index is
  // not below the count.
  void CopyDriveInfo(std::size_t index, DriveInfo& info) const;

  // The SDK's call-back during the ASPI enumeration. context: the finder;
  // notification STARBURN_NOTIFY_DEVICE_FOUND lists the drive whose 5-byte
  // address data points at (tag, port, bus, target, logical unit). Every
  // other notification, and a null context or data, is ignored.
  static void OnDeviceFound(uint32_t notification, void* context, void* data, void* unused);

 protected:
  // The threaded search: enumeration, the walk (skipped or cut short once a
  // stop is asked for; polled before the walk and after every entry), then
  // OnSearchFinished once. Answers 0.
  int ThreadProc() override;

 private:
  // One listed drive. identity tells a record from the one that takes its
  // position after a removal; it is never reused within a finder.
  struct Entry {
    uint64_t identity;
    std::unique_ptr<DriveInfo> record;
  };

  int ProbeAspi();
  int ProbeSptd();
  void Enumerate();
  void ScanSptiDrives();
  void ScanSptdDrives();
  void ScanDriveLettersInternal(DriveAccessMethod method);
  // Walks the list from its start; with pollStop, ends once a stop is asked for.
  void WalkInternal(bool pollStop);
  // QueryDrive that also tells which record it read (0: none).
  int QueryDriveInternal(std::size_t index, uint64_t& identity);
  // Under lock: the position of the record with that identity, or the count.
  std::size_t FindEntryInternal(uint64_t identity) const;
  void RemoveDriveInternal(uint64_t identity);
  bool IsWriterInternal(uint64_t identity) const;

  std::atomic<DriveSearchObserver*> observer{nullptr};  // not owned
  std::atomic<int32_t> accessMethod{AccessSpti};        // method of the last started search
  std::atomic<int32_t> writersOnly{0};
  std::atomic<int32_t> aspiAvailable{0};
  std::atomic<int32_t> aspiProbed{0};
  std::atomic<int32_t> sptdAvailable{0};
  std::atomic<int32_t> sptdProbed{0};
  std::deque<Entry> drives;   // guarded by lock
  uint64_t lastIdentity = 0;  // guarded by lock
  Cs lock;
};

}  // namespace Orlet
