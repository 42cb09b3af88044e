#pragma once

// What the library derives from a disc-type code: the name a person sees, the
// disc family, the media-format flag that says whether the drive writes such a
// disc, and the speed table its speed lists are built from. A pure function
// of the code; safe from any thread.

#include <cstddef>
#include <cstdint>

#include "orlet/DriveInfo.h"

namespace Orlet {

enum class DiscFamily { None, Cd, Dvd, Bd };

// How the speed lists of a disc are built.
enum class SpeedListKind {
  None,         // no list: read-only, unknown and HD DVD discs
  Probed,       // the steps of the disc's table that the drive takes
  ProbedOrMax,  // BD-RE: probed when the disc is erasable, else the maximum alone
  Unprobed,     // no disc: the CD steps up to the drive's maximum, without asking
};

// The media-format flag positions that tell whether the drive writes a disc.
constexpr int kWritesCdR = 2;
constexpr int kWritesCdRw = 4;
constexpr int kWritesDvdR = 7;
constexpr int kWritesDvdRDualLayer = 9;
constexpr int kWritesDvdRw = 11;
constexpr int kWritesDvdRam = 15;
constexpr int kWritesDvdPlusRw = 17;
constexpr int kWritesDvdPlusR = 21;
constexpr int kWritesDvdPlusRDualLayer = 23;
constexpr int kWritesBdR = 26;
constexpr int kWritesBdRe = 30;
// No flag decides: the disc cannot be written.
constexpr int kWritesNothing = -1;

struct DiscTypeTraits {
  const wchar_t* name;
  DiscFamily family;
  int writableFlag;              // a kWrites* position or kWritesNothing
  const SpeedEntry* speedTable;  // null for SpeedListKind::None
  std::size_t speedSteps;
  SpeedListKind speedList;
};

// The traits of a code; every code outside 1 to 22 is an "Unknown Disc".
const DiscTypeTraits& TraitsOfDiscType(int32_t discType);

// 1 when info's drive can write the disc it holds (the decisive media-format
// flag is nonzero), else 0. Reads nothing but info.
int IsDiscTypeWritable(const DriveInfo& info);

// Sets discTypeName and the family flags isCd, isDvd and isBd from discType.
void ApplyDiscType(DriveInfo& info);

}  // namespace Orlet
