#include "drives/OddFinder.h"

#include <algorithm>
#include <cstring>
#include <string>
#include <utility>

#include "drives/DriveQuery.h"
#include "drives/SdkCallHead.h"
#include "platform/Win32.h"

namespace Orlet {

namespace {

// The ASPI layer: a module of this name beside the library that exports GetId.
constexpr const wchar_t* kAspiModule = L"\\WnASPI32.dll";
constexpr const char* kAspiEntry = "GetId";
// Room for the library's directory (MAX_PATH on the home platform).
constexpr uint32_t kModuleDirRoom = 260;
// Room for the SPTD layer's version texts; their contents are not used.
constexpr uint32_t kVersionTextRoom = 256;
// Room for a drive letter's device target during the scan (MAX_PATH).
constexpr uint32_t kScanTargetRoom = 260;
// Device targets of optical drives, and the name the SDK opens them by.
constexpr const char* kCdRomTarget = "\\Device\\CdRom";
constexpr const char* kCdRomName = "CdRom";
// The letters the scans look at: A: and B: are floppy drives.
constexpr char kFirstScannedLetter = 'C';
constexpr char kLastLetter = 'Z';
// Largest device number of a name: the SDK reads it as unsigned 32-bit.
constexpr uint64_t kMaxDeviceNumber = 0xFFFFFFFF;

// The media-format positions of which one nonzero makes a drive a writer, in
// the order they are looked at. Position 23 (DVD+R DL) does not count.
constexpr int kWriterFlags[] = {2, 4, 21, 17, 15, 9, 7, 11, 28, 32, 30, 26};

// The device name ("CdRom1") of a device target that holds "\Device\CdRom"
// followed by the decimal device number and nothing else. False for any other
// target: a number that is missing, has leading zeros, is followed by more
// text or does not fit 32 bits would make a name of another drive.
bool DeviceNameOfTarget(const char* target, std::string& name) {
  const char* found = std::strstr(target, kCdRomTarget);
  if (found == nullptr) return false;
  const std::string digits(found + std::strlen(kCdRomTarget));
  if (digits.empty() || (digits.size() > 1 && digits[0] == '0')) return false;
  uint64_t number = 0;
  for (char c : digits) {
    if (c < '0' || c > '9') return false;
    number = number * 10 + static_cast<uint64_t>(c - '0');
    if (number > kMaxDeviceNumber) return false;
  }
  name = kCdRomName + digits;
  return true;
}

}  // namespace

OddFinder::OddFinder() = default;

OddFinder::~OddFinder() {
  // The search thread uses the list: it ends before the records go.
  StopThread(kInfinite, 1);
  CsLocker locker(lock);
  drives.clear();
}

void OddFinder::SetObserver(DriveSearchObserver* searchObserver) { observer = searchObserver; }

int OddFinder::StartSearch(int32_t method, int32_t writersOnlyFlag, int32_t asynchronous) {
  if (IsThreadRunning() != 0) return ResultBusy;
  if (method == AccessNone) return ResultInvalidArgument;
  if (method == AccessAspi && ProbeAspi() == 0) return ResultNotSupported;
  if (method == AccessSptd && ProbeSptd() == 0) return ResultNotSupported;
  accessMethod = method;
  writersOnly = writersOnlyFlag;
  if (asynchronous != 0) return StartThread(0) != 0 ? ResultOk : ResultThreadFailed;
  RunSearch();
  return ResultOk;
}

void OddFinder::RunSearch() {
  Enumerate();
  WalkInternal(false);
}

int OddFinder::ThreadProc() {
  Enumerate();
  if (IsStopThread(0) == 0) WalkInternal(true);
  if (DriveSearchObserver* told = observer.load()) told->OnSearchFinished();
  return 0;
}

int OddFinder::ProbeAspi() {
  if (aspiProbed != 0) return aspiAvailable;
  int32_t available = 0;
  wchar_t directory[kModuleDirRoom] = {};
  if (GetModuleDir(directory, kModuleDirRoom) != 0) {
    const std::wstring path = std::wstring(directory) + kAspiModule;
    if (win32::HMODULE module = win32::LoadLibraryW(path.c_str())) {
      available = win32::GetProcAddress(module, kAspiEntry) != nullptr ? 1 : 0;
      win32::FreeLibrary(module);
    }
  }
  aspiAvailable = available;
  aspiProbed = 1;
  return available;
}

int OddFinder::ProbeSptd() {
  if (sptdProbed != 0) return sptdAvailable;
  char driverVersion[kVersionTextRoom] = {};
  char layerVersion[kVersionTextRoom] = {};
  uint32_t version = 0;
  const int32_t available = StarBurn_SPTD_GetVersion(driverVersion, kVersionTextRoom, layerVersion,
                                                     kVersionTextRoom, &version) == STARBURN_OK
                                ? 1
                                : 0;
  sptdAvailable = available;
  sptdProbed = 1;
  return available;
}

void OddFinder::Enumerate() {
  switch (accessMethod.load()) {
    case AccessAspi:
      // The results of the enumeration are the call-backs; its status is not needed.
      StarBurn_FindDevice(STARBURN_PERIPHERAL_CDROM, 0, OnDeviceFound, this);
      break;
    case AccessSpti:
      ScanSptiDrives();
      break;
    case AccessSptd:
      ScanSptdDrives();
      break;
    default:
      break;  // any other method only walks the drives already listed
  }
}

void OddFinder::ScanSptiDrives() { ScanDriveLettersInternal(AccessSpti); }

void OddFinder::ScanSptdDrives() { ScanDriveLettersInternal(AccessSptd); }

void OddFinder::ScanDriveLettersInternal(DriveAccessMethod method) {
  for (char letter = kFirstScannedLetter; letter <= kLastLetter; ++letter) {
    const char root[] = {letter, ':', '\0'};
    if (win32::GetDriveTypeA(root) != win32::kDriveCdrom) continue;
    char target[kScanTargetRoom] = {};
    if (win32::QueryDosDeviceA(root, target, kScanTargetRoom) == 0) continue;
    target[kScanTargetRoom - 1] = '\0';
    std::string name;
    if (!DeviceNameOfTarget(target, name)) continue;

    // The drive is listed only when it can be opened.
    SdkCallHead head;
    void* device = nullptr;
    uint32_t status = STARBURN_STATUS_INVALID_ARGUMENT;
    if (method == AccessSptd) {
      std::u16string wide;
      if (!SptdDeviceName(name, wide)) continue;
      status = StarBurn_CdvdBurnerGrabber_CreateExEx(
          &device, head.errorText, sizeof head.errorText, &head.systemError, &head.failure,
          IgnoreNotification, nullptr, wide.c_str(), kLeaveTrayUnlocked, kOpenShared);
    } else {
      status = StarBurn_CdvdBurnerGrabber_CreateEx(
          &device, head.errorText, sizeof head.errorText, &head.systemError, &head.failure,
          IgnoreNotification, nullptr, name.c_str(), kOpenShared);
    }
    if (status != STARBURN_OK) continue;
    DriveInfo record;
    record.accessMethod = method;
    record.deviceName = mbs_to_tcs(name);
    AddDrive(record);
    StarBurn_Destroy(&device);
  }
}

void OddFinder::OnDeviceFound(uint32_t notification, void* context, void* data, void* /*unused*/) {
  if (context == nullptr || data == nullptr || notification != STARBURN_NOTIFY_DEVICE_FOUND) {
    return;
  }
  const auto* address = static_cast<const uint8_t*>(data);
  DriveInfo record;
  record.accessMethod = AccessAspi;
  record.deviceTag = address[0];
  record.portId = address[1];
  record.busId = address[2];
  record.targetId = address[3];
  record.lun = address[4];
  static_cast<OddFinder*>(context)->AddDrive(record);
}

void OddFinder::AddDrive(const DriveInfo& info) {
  auto record = std::make_unique<DriveInfo>(info);
  CsLocker locker(lock);
  drives.push_back(Entry{++lastIdentity, std::move(record)});
}

std::size_t OddFinder::CountDrives() const {
  CsLocker locker(lock);
  return drives.size();
}

void OddFinder::CopyDriveInfo(std::size_t index, DriveInfo& info) const {
  CsLocker locker(lock);
  if (index < drives.size()) info = *drives[index].record;
}

int OddFinder::QueryDrive(std::size_t index) {
  uint64_t identity = 0;
  return QueryDriveInternal(index, identity);
}

int OddFinder::QueryDriveInternal(std::size_t index, uint64_t& identity) {
  identity = 0;
  DriveInfo record;
  {
    CsLocker locker(lock);
    if (index >= drives.size()) return 0;
    identity = drives[index].identity;
    record = *drives[index].record;
  }
  if (ReadDrive(record) == 0) return 0;
  // A walk on another thread may have removed an earlier entry meanwhile: the
  // result goes to the record it was read from, not to the position.
  CsLocker locker(lock);
  const std::size_t position = FindEntryInternal(identity);
  if (position < drives.size()) *drives[position].record = std::move(record);
  return 1;
}

std::size_t OddFinder::FindEntryInternal(uint64_t identity) const {
  const auto found = std::find_if(drives.begin(), drives.end(),
                                  [&](const Entry& entry) { return entry.identity == identity; });
  return static_cast<std::size_t>(found - drives.begin());
}

void OddFinder::RemoveDriveInternal(uint64_t identity) {
  CsLocker locker(lock);
  const std::size_t position = FindEntryInternal(identity);
  if (position < drives.size())
    drives.erase(drives.begin() + static_cast<std::ptrdiff_t>(position));
}

bool OddFinder::IsWriterInternal(uint64_t identity) const {
  CsLocker locker(lock);
  const std::size_t position = FindEntryInternal(identity);
  if (position >= drives.size()) return true;  // gone already: nothing to drop
  const DriveInfo& record = *drives[position].record;
  return std::any_of(std::begin(kWriterFlags), std::end(kWriterFlags),
                     [&](int flag) { return record.mediaFormats[flag] != 0; });
}

void OddFinder::WalkInternal(bool pollStop) {
  // Removing an entry brings the next one to position i.
  std::size_t i = 0;
  while (i < CountDrives()) {
    uint64_t identity = 0;
    const bool unreadable = QueryDriveInternal(i, identity) == 0;
    if (unreadable || (writersOnly != 0 && !IsWriterInternal(identity))) {
      RemoveDriveInternal(identity);
    } else {
      ++i;
    }
    if (pollStop && IsStopThread(0) != 0) return;
  }
}

}  // namespace Orlet
