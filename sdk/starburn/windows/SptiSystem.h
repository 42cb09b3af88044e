#pragma once

// The Win32 calls through which the SDK reaches real drives on Windows: the
// drive letters in use and their types, opening a drive's volume
// ("\\.\E:"), closing it, and the two pass-through requests (a SCSI command,
// the drive's address). The SPTI transport and the drive discovery make no
// other system call, so tests put a scripted system in their place (one that
// answers with a vanished device, a short transfer or a volume the user may
// not open) without a drive.
//
// Threads: every member may be called from any thread at once.

#include <windows.h>
// windows.h first: the pass-through records use its types.
#include <ntddscsi.h>

#include <cstdint>
#include <memory>
#include <string>

namespace starburn {

// A SCSI pass-through request with room for the sense data after it, as
// IOCTL_SCSI_PASS_THROUGH_DIRECT takes it (SenseInfoOffset points at sense).
struct SptiRequest {
  SCSI_PASS_THROUGH_DIRECT header;
  UCHAR sense[32];
};

class SptiSystem {
 public:
  virtual ~SptiSystem() = default;
  // GetLogicalDrives: bit 0 for A:, bit 25 for Z:.
  virtual uint32_t LogicalDrives() = 0;
  // GetDriveTypeW of "X:\" (DRIVE_CDROM for an optical drive).
  virtual unsigned DriveType(char letter) = 0;
  // CreateFileW of path for reading and writing; exclusive: no sharing, else
  // shared for reading and writing. A handle (not INVALID_HANDLE_VALUE), or
  // INVALID_HANDLE_VALUE with the error in *error (GetLastError).
  virtual HANDLE Open(const std::wstring& path, bool exclusive, DWORD* error) = 0;
  virtual void Close(HANDLE handle) = 0;
  // DeviceIoControl(IOCTL_SCSI_PASS_THROUGH_DIRECT) of request, in place:
  // 0, or the error (GetLastError) when the request did not reach the drive.
  virtual DWORD PassThrough(HANDLE handle, SptiRequest* request) = 0;
  // DeviceIoControl(IOCTL_SCSI_GET_ADDRESS): 0, or the error.
  virtual DWORD Address(HANDLE handle, SCSI_ADDRESS* address) = 0;

  // The running system; lives for the process.
  static std::shared_ptr<SptiSystem> Windows();
};

}  // namespace starburn
