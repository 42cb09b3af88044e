#include "drives/DiscTypes.h"

namespace Orlet {

namespace {

constexpr DiscTypeTraits NotWritable(const wchar_t* name, DiscFamily family) {
  return {name, family, kWritesNothing, nullptr, 0, SpeedListKind::None};
}
constexpr DiscTypeTraits CdMedium(const wchar_t* name, DiscFamily family, int flag) {
  return {name, family, flag, CdSpeedTable, kCdSpeedSteps, SpeedListKind::Probed};
}
constexpr DiscTypeTraits DvdMedium(const wchar_t* name, int flag) {
  return {name, DiscFamily::Dvd, flag, DvdSpeedTable, kDvdSpeedSteps, SpeedListKind::Probed};
}

// Indexed by code; entry 0 stands for every code without a name.
const DiscTypeTraits kTraits[] = {
    NotWritable(L"Unknown Disc", DiscFamily::None),
    NotWritable(L"CD-ROM", DiscFamily::Cd),
    CdMedium(L"CD-R", DiscFamily::Cd, kWritesCdR),
    CdMedium(L"CD-RW", DiscFamily::Cd, kWritesCdRw),
    NotWritable(L"DVD-ROM", DiscFamily::Dvd),
    DvdMedium(L"DVD-R", kWritesDvdR),
    DvdMedium(L"DVD-RAM", kWritesDvdRam),
    DvdMedium(L"DVD-RW", kWritesDvdRw),
    DvdMedium(L"DVD-RW", kWritesDvdRw),
    DvdMedium(L"DVD+RW", kWritesDvdPlusRw),
    NotWritable(L"CD-ROM", DiscFamily::None),
    CdMedium(L"CD-R", DiscFamily::None, kWritesCdR),
    CdMedium(L"CD-RW", DiscFamily::None, kWritesCdRw),
    DvdMedium(L"DVD+R", kWritesDvdPlusR),
    {L"Empty", DiscFamily::None, kWritesNothing, CdSpeedTable, kCdSpeedSteps,
     SpeedListKind::Unprobed},
    DvdMedium(L"DVD+R DL", kWritesDvdPlusRDualLayer),
    DvdMedium(L"DVD-R DL", kWritesDvdRDualLayer),
    {L"BD-ROM", DiscFamily::Bd, kWritesNothing, BdSpeedTable, kBdSpeedSteps, SpeedListKind::Probed},
    {L"BD-R", DiscFamily::Bd, kWritesBdR, BdSpeedTable, kBdSpeedSteps, SpeedListKind::Probed},
    {L"BD-RE", DiscFamily::Bd, kWritesBdRe, BdSpeedTable, kBdSpeedSteps,
     SpeedListKind::ProbedOrMax},
    NotWritable(L"HD-DVD-ROM", DiscFamily::None),
    NotWritable(L"HD-DVD-R", DiscFamily::None),
    NotWritable(L"HD-DVD-RW", DiscFamily::None),
};

constexpr int32_t kLastNamedCode = DiscTypeHdDvdRw;
static_assert(sizeof kTraits / sizeof kTraits[0] == kLastNamedCode + 1,
              "one entry for every named code and one for the rest");

}  // namespace

const DiscTypeTraits& TraitsOfDiscType(int32_t discType) {
  if (discType < 1 || discType > kLastNamedCode) return kTraits[0];
  return kTraits[discType];
}

int IsDiscTypeWritable(const DriveInfo& info) {
  const int flag = TraitsOfDiscType(info.discType).writableFlag;
  return flag != kWritesNothing && info.mediaFormats[flag] != 0 ? 1 : 0;
}

void ApplyDiscType(DriveInfo& info) {
  const DiscTypeTraits& traits = TraitsOfDiscType(info.discType);
  info.discTypeName = traits.name;
  info.isCd = traits.family == DiscFamily::Cd ? 1 : 0;
  info.isDvd = traits.family == DiscFamily::Dvd ? 1 : 0;
  info.isBd = traits.family == DiscFamily::Bd ? 1 : 0;
}

}  // namespace Orlet
