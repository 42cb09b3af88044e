#include "virtual/Medium.h"

#include "mmc/Profiles.h"

namespace starburn {

namespace {

// Capacities in 2048-byte blocks:
// - CD-R/RW 80 minutes: last possible lead-out start 79:59:74, block 359,849.
// - DVD-R / DVD-RW 4.7 GB 2,298,496; DVD+R / DVD+RW 2,295,104; DVD-RAM 4.7 GB
//   2,236,704; DVD+R DL 4,173,824; DVD-R DL 4,171,712 (the figures of the
//   media's physical format information).
// - BD-R 25 GB 12,219,392; BD-RE 25 GB formatted with the default spare areas
//   11,826,176.
constexpr uint32_t kCdCapacity = 359849;
constexpr uint32_t kDvdMinusCapacity = 2298496;
constexpr uint32_t kDvdPlusCapacity = 2295104;
constexpr uint32_t kDvdRamCapacity = 2236704;
constexpr uint32_t kDvdPlusRDualLayerCapacity = 4173824;
constexpr uint32_t kDvdMinusRDualLayerCapacity = 4171712;
constexpr uint32_t kBdRCapacity = 12219392;
constexpr uint32_t kBdReCapacity = 11826176;
// An image file holds as much as a file system can: 2^31 - 1 blocks (4 TiB),
// the most a 32-bit block count of the drive's answers keeps positive.
constexpr uint32_t kImageCapacity = 0x7FFFFFFF;

// CD session overhead (see Medium::firstSessionGap): 6750 + 4500 + 150 after
// the first session, 2250 + 4500 + 150 after later ones.
constexpr uint32_t kCdFirstSessionGap = 11400;
constexpr uint32_t kCdLaterSessionGap = 6900;
// DVD±R border-out/lead-out and the next border-in/lead-in: about 30 MiB on
// real media. BD-R: the session's closing clusters, 4 MiB.
constexpr uint32_t kDvdSessionGap = 15360;
constexpr uint32_t kBdSessionGap = 2048;

constexpr uint32_t kDvdEccBlock = 16;
constexpr uint32_t kBdCluster = 32;

// Speeds in KB/s: CD 1x = 176.4 KB/s (150 KiB/s), DVD 1x = 1385, BD 1x = 4495.
const std::vector<uint32_t> kCdRead = {1764, 3528, 5645, 7056, 8467};         // 10x-48x
const std::vector<uint32_t> kCdRWrite = {706, 1411, 2822, 4234, 5645, 8467};  // 4x-48x
const std::vector<uint32_t> kCdRwWrite = {706, 1411, 2822, 4234};             // 4x-24x
const std::vector<uint32_t> kDvdRead = {2770, 5540, 11080, 16620, 22160};     // 2x-16x
const std::vector<uint32_t> kDvdRWrite = {2770, 5540, 11080, 16620, 22160};   // 2x-16x
const std::vector<uint32_t> kDvdRwWrite = {2770, 5540, 8310};                 // 2x-6x
const std::vector<uint32_t> kDvdPlusRwWrite = {3324, 5540, 11080};            // 2.4x-8x
const std::vector<uint32_t> kDvdRamWrite = {2770, 4155, 6925};                // 2x-5x
const std::vector<uint32_t> kDvdDualLayerWrite = {3324, 5540, 11080};         // 2.4x-8x
const std::vector<uint32_t> kBdRead = {8991, 17980, 26970};                   // 2x-6x
const std::vector<uint32_t> kBdRWrite = {4495, 8991, 17980, 26970};           // 1x-6x
const std::vector<uint32_t> kBdReWrite = {4495, 8991};                        // 1x-2x

const std::vector<Medium>& Media() {
  using M = MediumClass;
  static const std::vector<Medium> media = {
      {"cd-rom", profile::kCdRom, M::kReadOnly, false, 0, 0, 0, 1, {}, kCdRead},
      {"cd-r", profile::kCdR, M::kSequential, false, kCdCapacity, kCdFirstSessionGap,
       kCdLaterSessionGap, 1, kCdRWrite, kCdRead},
      {"cd-rw", profile::kCdRw, M::kSequential, true, kCdCapacity, kCdFirstSessionGap,
       kCdLaterSessionGap, 1, kCdRwWrite, kCdRead},
      {"dvd-rom", profile::kDvdRom, M::kReadOnly, false, 0, 0, 0, 1, {}, kDvdRead},
      {"dvd-r", profile::kDvdR, M::kSequential, false, kDvdMinusCapacity, kDvdSessionGap,
       kDvdSessionGap, kDvdEccBlock, kDvdRWrite, kDvdRead},
      {"dvd-rw", profile::kDvdRwSequential, M::kSequential, true, kDvdMinusCapacity, kDvdSessionGap,
       kDvdSessionGap, kDvdEccBlock, kDvdRwWrite, kDvdRead},
      {"dvd-rw-ro", profile::kDvdRwRestrictedOverwrite, M::kOverwritable, true, kDvdMinusCapacity,
       0, 0, kDvdEccBlock, kDvdRwWrite, kDvdRead},
      {"dvd-ram", profile::kDvdRam, M::kOverwritable, true, kDvdRamCapacity, 0, 0, kDvdEccBlock,
       kDvdRamWrite, kDvdRead},
      {"dvd+r", profile::kDvdPlusR, M::kSequential, false, kDvdPlusCapacity, kDvdSessionGap,
       kDvdSessionGap, kDvdEccBlock, kDvdRWrite, kDvdRead},
      {"dvd+rw", profile::kDvdPlusRw, M::kOverwritable, true, kDvdPlusCapacity, 0, 0, kDvdEccBlock,
       kDvdPlusRwWrite, kDvdRead},
      {"dvd+r-dl", profile::kDvdPlusRDualLayer, M::kSequential, false, kDvdPlusRDualLayerCapacity,
       kDvdSessionGap, kDvdSessionGap, kDvdEccBlock, kDvdDualLayerWrite, kDvdRead},
      {"dvd-r-dl", profile::kDvdRDualLayer, M::kSequential, false, kDvdMinusRDualLayerCapacity,
       kDvdSessionGap, kDvdSessionGap, kDvdEccBlock, kDvdDualLayerWrite, kDvdRead},
      {"bd-rom", profile::kBdRom, M::kReadOnly, false, 0, 0, 0, 1, {}, kBdRead},
      {"bd-r", profile::kBdRSequential, M::kSequential, false, kBdRCapacity, kBdSessionGap,
       kBdSessionGap, kBdCluster, kBdRWrite, kBdRead},
      {"bd-re", profile::kBdRe, M::kOverwritable, true, kBdReCapacity, 0, 0, kBdCluster, kBdReWrite,
       kBdRead},
      // An .iso file: written like a formatted BD-RE, but with no state file.
      {"image", profile::kBdRe, M::kOverwritable, false, kImageCapacity, 0, 0, kBdCluster,
       kBdReWrite, kBdRead, true},
  };
  return media;
}

}  // namespace

const Medium* FindMedium(const std::string& name) {
  for (const Medium& medium : Media()) {
    if (name == medium.name) return &medium;
  }
  return nullptr;
}

std::string MediumNames() {
  std::string names;
  for (const Medium& medium : Media()) {
    if (!names.empty()) names += ' ';
    names += medium.name;
  }
  return names;
}

const Medium& CdSpeedsMedium() { return *FindMedium("cd-r"); }

}  // namespace starburn
