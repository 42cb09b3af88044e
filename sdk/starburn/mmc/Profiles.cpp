#include "mmc/Profiles.h"

namespace starburn {

bool IsCdProfile(uint16_t p) {
  return p == profile::kCdRom || p == profile::kCdR || p == profile::kCdRw ||
         p == profile::kDdcdRom || p == profile::kDdcdR || p == profile::kDdcdRw;
}

bool IsDvdProfile(uint16_t p) {
  return (p >= profile::kDvdRom && p <= profile::kDvdPlusR) || p == profile::kDvdPlusRwDualLayer ||
         p == profile::kDvdPlusRDualLayer;
}

bool IsBdProfile(uint16_t p) { return p >= profile::kBdRom && p <= profile::kBdRe; }

bool IsReadOnlyProfile(uint16_t p) {
  return p == profile::kCdRom || p == profile::kDvdRom || p == profile::kBdRom ||
         p == profile::kDdcdRom || p == profile::kHdDvdRom;
}

bool IsOverwritableProfile(uint16_t p) {
  return p == profile::kDvdRam || p == profile::kDvdRwRestrictedOverwrite ||
         p == profile::kDvdPlusRw || p == profile::kDvdPlusRwDualLayer || p == profile::kBdRe ||
         p == profile::kHdDvdRam;
}

bool UsesWriteParametersPage(uint16_t p) {
  return p == profile::kCdR || p == profile::kCdRw || p == profile::kDvdR ||
         p == profile::kDvdRwSequential || p == profile::kDvdRDualLayer ||
         p == profile::kDvdRDualLayerJump;
}

bool UsesStreamingSpeed(uint16_t p) {
  return IsDvdProfile(p) || IsBdProfile(p) ||
         (p >= profile::kHdDvdRom && p <= profile::kHdDvdRwDualLayer);
}

}  // namespace starburn
