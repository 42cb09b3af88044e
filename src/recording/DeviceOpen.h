#pragma once

#include <cstdint>
#include <string>

#include "orlet/DriveInfo.h"
#include "recording/SdkHead.h"

namespace Orlet {

// What OpenDevice answers when the record's access method names no open call;
// nothing was called.
constexpr uint32_t kNoOpenCall = 0xFFFFFFFF;

// Opens the drive of drive by its access method: by SCSI address (ASPI), by
// 8-bit device name (SPTI) or by 16-bit device name with lockTray (SPTD).
// Answers the SDK's status (device is set on STARBURN_OK) or kNoOpenCall.
uint32_t OpenDevice(const DriveInfo& drive, SdkHead& head, StarBurnCallback callback,
                    void* context, uint8_t lockTray, uint32_t shared, void** device);

// The library's wide text as UTF-16, for the SDK's 16-bit names.
std::u16string ToUtf16(const std::wstring& text);

}  // namespace Orlet
