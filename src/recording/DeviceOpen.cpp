#include "recording/DeviceOpen.h"

#include <type_traits>

#include "platform/OrletBases.h"

namespace Orlet {

std::u16string ToUtf16(const std::wstring& text) {
  std::u16string units;
  units.reserve(text.size());
  for (wchar_t c : text) {
    const auto value = static_cast<uint32_t>(static_cast<std::make_unsigned_t<wchar_t>>(c));
    if (value >= 0x10000) {
      units.push_back(static_cast<char16_t>(0xD800 + ((value - 0x10000) >> 10)));
      units.push_back(static_cast<char16_t>(0xDC00 + ((value - 0x10000) & 0x3FF)));
    } else {
      units.push_back(static_cast<char16_t>(value));
    }
  }
  return units;
}

uint32_t OpenDevice(const DriveInfo& drive, SdkHead& head, StarBurnCallback callback,
                    void* context, uint8_t lockTray, uint32_t shared, void** device) {
  switch (drive.accessMethod) {
    case AccessAspi:
      return StarBurn_CdvdBurnerGrabber_Create(device, head.errorText, sizeof head.errorText,
                                               &head.systemError, &head.failure, callback,
                                               context, drive.portId, drive.busId,
                                               drive.targetId, drive.lun, shared);
    case AccessSpti: {
      const std::string name = tcs_to_mbs(drive.deviceName);
      return StarBurn_CdvdBurnerGrabber_CreateEx(device, head.errorText, sizeof head.errorText,
                                                 &head.systemError, &head.failure, callback,
                                                 context, name.c_str(), shared);
    }
    case AccessSptd: {
      const std::u16string name = ToUtf16(tcs_to_wcs(drive.deviceName));
      return StarBurn_CdvdBurnerGrabber_CreateExEx(device, head.errorText, sizeof head.errorText,
                                                   &head.systemError, &head.failure, callback,
                                                   context, name.c_str(), lockTray, shared);
    }
    default:
      return kNoOpenCall;
  }
}

}  // namespace Orlet
