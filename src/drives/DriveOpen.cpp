#include "drives/DriveOpen.h"

#include "platform/OrletBases.h"
#include "platform/Win32.h"

namespace Orlet {

namespace {

// Room for the 16-bit device name of an SPTD open, terminator included.
constexpr int kSptdNameRoom = 128;
// MultiByteToWideChar: the system's 8-bit code page, no flags.
constexpr unsigned kSystemCodePage = 0;

// A text that holds a terminator would reach the SDK cut short, naming
// another drive: such a name is refused.
bool HoldsTerminator(const std::string& text) { return text.find('\0') != std::string::npos; }

}  // namespace

bool HasOpenCall(int32_t accessMethod) {
  return accessMethod == AccessAspi || accessMethod == AccessSpti || accessMethod == AccessSptd;
}

bool SptdDeviceName(const std::string& name, std::u16string& wide) {
  if (HoldsTerminator(name)) return false;
  char16_t units[kSptdNameRoom] = {};
  const int written = win32::MultiByteToWideChar(
      kSystemCodePage, 0, name.c_str(), static_cast<int>(name.size()), units, kSptdNameRoom);
  if (written <= 0 || written >= kSptdNameRoom) return false;
  wide.assign(units, static_cast<std::size_t>(written));
  return true;
}

uint32_t OpenDrive(const DriveInfo& record, void** device, const DriveOpenOptions& options,
                   SdkCallHead* head) {
  SdkCallHead local;
  SdkCallHead& out = head != nullptr ? *head : local;
  switch (record.accessMethod) {
    case AccessAspi:
      return StarBurn_CdvdBurnerGrabber_Create(device, out.errorText, sizeof out.errorText,
                                               &out.systemError, &out.failure, options.callback,
                                               options.context, record.portId, record.busId,
                                               record.targetId, record.lun, options.shared);
    case AccessSpti: {
      const std::string name = tcs_to_mbs(record.deviceName);
      if (HoldsTerminator(name)) return STARBURN_STATUS_INVALID_ARGUMENT;
      return StarBurn_CdvdBurnerGrabber_CreateEx(device, out.errorText, sizeof out.errorText,
                                                 &out.systemError, &out.failure, options.callback,
                                                 options.context, name.c_str(), options.shared);
    }
    case AccessSptd: {
      std::u16string name;
      if (!SptdDeviceName(tcs_to_mbs(tcs_to_wcs(record.deviceName)), name)) {
        return STARBURN_STATUS_INVALID_ARGUMENT;
      }
      return StarBurn_CdvdBurnerGrabber_CreateExEx(
          device, out.errorText, sizeof out.errorText, &out.systemError, &out.failure,
          options.callback, options.context, name.c_str(), options.lockTray, options.shared);
    }
    default:
      return STARBURN_STATUS_INVALID_ARGUMENT;
  }
}

}  // namespace Orlet
