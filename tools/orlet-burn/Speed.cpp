#include "Speed.h"

#include <starburn/StarBurn.h>

#include <cstdlib>

#include "DriveUse.h"

namespace orletburn {

namespace {

// 1x of each family in KB/s: CD 75 blocks of 2352 bytes a second, DVD
// 1.385 MB/s, BD 4.496 MB/s.
constexpr unsigned kCdOneX = 176;
constexpr unsigned kDvdOneX = 1385;
constexpr unsigned kBdOneX = 4496;

}  // namespace

bool ParseSpeed(const std::string& text, const Orlet::DriveInfo* info, unsigned* kbps) {
  if (text == "max") {
    *kbps = kFastest;
    return true;
  }
  const bool multiple = !text.empty() && (text.back() == 'x' || text.back() == 'X');
  const std::string digits = multiple ? text.substr(0, text.size() - 1) : text;
  if (digits.empty() || digits.find_first_not_of("0123456789") != std::string::npos ||
      digits.size() > 9) {
    return false;
  }
  const unsigned long long number = std::strtoull(digits.c_str(), nullptr, 10);
  if (number == 0) return false;
  unsigned long long speed = number;
  if (multiple) {
    if (info == nullptr) {  // syntax only
      *kbps = kFastest;
      return true;
    }
    speed *= info->isBd != 0 ? kBdOneX : info->isDvd != 0 ? kDvdOneX : kCdOneX;
  } else if (number > kFastest) {
    return false;
  }
  *kbps = static_cast<unsigned>(speed > kFastest ? kFastest : speed);
  return true;
}

unsigned CurrentWriteSpeed(const Orlet::DriveInfo& info) {
  DriveHandle drive(info);
  uint32_t currentRead = 0, maximumRead = 0, currentWrite = 0, maximumWrite = 0;
  if (drive.opened != STARBURN_OK ||
      StarBurn_CdvdBurnerGrabber_GetSpeeds(
          drive.device, drive.error, sizeof drive.error, &drive.systemError, &drive.failure,
          &currentRead, &maximumRead, &currentWrite, &maximumWrite) != STARBURN_OK) {
    return 0;
  }
  return currentWrite;
}

}  // namespace orletburn
