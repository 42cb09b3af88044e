// The constant speed tables and the nearest-step label.
//
// A drive reports speeds in KB/s (1000 bytes a second). 1x is 176.4 KB/s on a
// CD (75 blocks of 2352 bytes a second), 1385 KB/s on a DVD and about 4495 KB/s
// on a Blu-ray disc; each step is the speed drives report for that multiple.

#include "orlet/DriveInfo.h"

namespace Orlet {

// The 20x step is 3250, not 20 * 176 = 3520: drives report their 20x speed so.
// There is no 6x step between 4x and 8x.
const SpeedEntry CdSpeedTable[kCdSpeedSteps] = {
    {176, L"1.0x"},   {353, L"2.0x"},   {387, L"2.2x"},   {528, L"3.0x"},
    {706, L"4.0x"},   {1400, L"8.0x"},  {1760, L"10.0x"}, {2112, L"12.0x"},
    {2800, L"16.0x"}, {3250, L"20.0x"}, {4224, L"24.0x"}, {5632, L"32.0x"},
    {7040, L"40.0x"}, {7744, L"44.0x"}, {8448, L"48.0x"}, {9152, L"52.0x"},
};

const SpeedEntry DvdSpeedTable[kDvdSpeedSteps] = {
    {1385, L"1.0x"}, {2770, L"2.0x"}, {3324, L"2.4x"},  {4155, L"3.0x"},   {5540, L"4.0x"},
    {6925, L"5.0x"}, {8310, L"6.0x"}, {11080, L"8.0x"}, {16620, L"12.0x"}, {22160, L"16.0x"},
};

const SpeedEntry BdSpeedTable[kBdSpeedSteps] = {
    {4495, L"1.0x"},
    {8991, L"2.0x"},
    {17980, L"4.0x"},
    {26970, L"6.0x"},
};

const wchar_t* NearestSpeedLabel(const SpeedEntry* table, std::size_t count, uint32_t speed) {
  if (table == nullptr || count == 0) return nullptr;
  if (speed < table[0].speed) return table[0].label;
  for (std::size_t k = 1; k < count; ++k) {
    if (table[k].speed > speed) {
      // Both speeds are below 2^32, so their sum cannot overflow 64 bits.
      const uint64_t midpoint = (uint64_t{table[k - 1].speed} + table[k].speed) / 2;
      return speed > midpoint ? table[k].label : table[k - 1].label;
    }
  }
  return table[count - 1].label;
}

}  // namespace Orlet
