#pragma once

// Opening a drive through the SDK by the access method of its record. The
// drive query, the burner and the eraser all open drives this way; they differ
// only in the call-back, the tray lock and whether the drive is shared.

#include <cstdint>
#include <string>

#include "drives/SdkCallHead.h"
#include "orlet/DriveInfo.h"

namespace Orlet {

// How a drive is opened.
struct DriveOpenOptions {
  StarBurnCallback callback = IgnoreNotification;  // where notifications go
  void* context = nullptr;                         // handed to callback
  uint8_t lockTray = kLeaveTrayUnlocked;           // the SPTD open's tray lock
  uint32_t shared = kOpenShared;                   // 1 shared, 0 exclusive
};

// True for the access methods that have an open call (ASPI, SPTI, SPTD).
bool HasOpenCall(int32_t accessMethod);

// Opens record's drive by its access method into *device: by SCSI address
// (ASPI), by 8-bit device name (SPTI) or by 16-bit device name (SPTD). head
// receives the call's error outputs. Answers the SDK's status, STARBURN_OK
// when open. An access method without an open call, or a device name that the
// SDK would receive cut short (one holding a terminator, or too long for the
// SPTD open's room), opens nothing and answers STARBURN_STATUS_INVALID_ARGUMENT.
uint32_t OpenDrive(const DriveInfo& record, void** device,
                   const DriveOpenOptions& options = DriveOpenOptions(),
                   SdkCallHead* head = nullptr);

// The 16-bit form of an 8-bit device name for the SPTD open, converted with
// MultiByteToWideChar into a room of 128 units that keeps its terminator.
// False for a name that does not fit or holds a terminator: such a name is
// refused, never cut into another drive's name.
bool SptdDeviceName(const std::string& name, std::u16string& wide);

}  // namespace Orlet
