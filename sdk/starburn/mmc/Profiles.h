#pragma once

// MMC profile numbers (what kind of disc a drive holds or can handle) and the
// feature codes the SDK reads from GET CONFIGURATION.

#include <cstdint>

namespace starburn {

namespace profile {
constexpr uint16_t kNone = 0x0000;  // no disc, or a disc the drive cannot identify
constexpr uint16_t kCdRom = 0x08;
constexpr uint16_t kCdR = 0x09;
constexpr uint16_t kCdRw = 0x0A;
constexpr uint16_t kDvdRom = 0x10;
constexpr uint16_t kDvdR = 0x11;
constexpr uint16_t kDvdRam = 0x12;
constexpr uint16_t kDvdRwRestrictedOverwrite = 0x13;
constexpr uint16_t kDvdRwSequential = 0x14;
constexpr uint16_t kDvdRDualLayer = 0x15;
constexpr uint16_t kDvdRDualLayerJump = 0x16;
constexpr uint16_t kDvdRwDualLayer = 0x17;
constexpr uint16_t kDvdPlusRw = 0x1A;
constexpr uint16_t kDvdPlusR = 0x1B;
constexpr uint16_t kDdcdRom = 0x20;
constexpr uint16_t kDdcdR = 0x21;
constexpr uint16_t kDdcdRw = 0x22;
constexpr uint16_t kDvdPlusRwDualLayer = 0x2A;
constexpr uint16_t kDvdPlusRDualLayer = 0x2B;
constexpr uint16_t kBdRom = 0x40;
constexpr uint16_t kBdRSequential = 0x41;
constexpr uint16_t kBdRRandom = 0x42;
constexpr uint16_t kBdRe = 0x43;
constexpr uint16_t kHdDvdRom = 0x50;
constexpr uint16_t kHdDvdR = 0x51;
constexpr uint16_t kHdDvdRam = 0x52;
constexpr uint16_t kHdDvdRw = 0x53;
constexpr uint16_t kHdDvdRDualLayer = 0x58;
constexpr uint16_t kHdDvdRwDualLayer = 0x5A;
}  // namespace profile

namespace feature {
constexpr uint16_t kProfileList = 0x0000;
constexpr uint16_t kCore = 0x0001;
constexpr uint16_t kRemovableMedium = 0x0003;
constexpr uint16_t kRandomReadable = 0x0010;
constexpr uint16_t kCdRead = 0x001E;
constexpr uint16_t kDvdRead = 0x001F;
constexpr uint16_t kRandomWritable = 0x0020;
constexpr uint16_t kIncrementalStreamingWritable = 0x0021;
constexpr uint16_t kFormattable = 0x0023;
constexpr uint16_t kRestrictedOverwrite = 0x0026;
constexpr uint16_t kDvdPlusRw = 0x002A;       // byte 0 of its data, bit 0: the drive writes
constexpr uint16_t kDvdPlusR = 0x002B;        // byte 0 of its data, bit 0: the drive writes
constexpr uint16_t kCdTrackAtOnce = 0x002D;   // data byte 0: bit 6 BUF, bit 2 test write
constexpr uint16_t kCdMastering = 0x002E;     // data byte 0: bit 6 BUF, bit 5 SAO, bit 3 raw
constexpr uint16_t kDvdMinusRWrite = 0x002F;  // data byte 0: bit 6 BUF, bit 2 test, bit 1 DVD-RW
constexpr uint16_t kLayerJumpRecording = 0x0033;
constexpr uint16_t kDdcdRWrite = 0x0031;
constexpr uint16_t kDdcdRwWrite = 0x0032;
constexpr uint16_t kCdRwMediaWriteSupport = 0x0037;
constexpr uint16_t kDvdPlusRwDualLayer = 0x003A;  // data byte 0 bit 0: the drive writes
constexpr uint16_t kDvdPlusRDualLayer = 0x003B;   // data byte 0 bit 0: the drive writes
constexpr uint16_t kBdRead = 0x0040;
constexpr uint16_t kBdWrite = 0x0041;
constexpr uint16_t kHdDvdRead = 0x0050;
constexpr uint16_t kHdDvdWrite = 0x0051;
}  // namespace feature

// Disc families by profile.
bool IsCdProfile(uint16_t profile);
bool IsDvdProfile(uint16_t profile);
bool IsBdProfile(uint16_t profile);
// Pressed discs: nothing can be written.
bool IsReadOnlyProfile(uint16_t profile);
// Discs written anywhere once formatted (DVD+RW, DVD-RAM, restricted-overwrite
// DVD-RW, BD-RE): no sessions of their own; a new session is found through the
// file system's volume size, and its volume descriptors are copied to block 16.
bool IsOverwritableProfile(uint16_t profile);
// CD and DVD-R/-RW: the write parameters mode page chooses the write type and
// whether a next session may follow.
bool UsesWriteParametersPage(uint16_t profile);
// DVD, BD and HD DVD: the speeds are set with SET STREAMING (SET CD SPEED is a
// CD command that such drives may ignore for writing).
bool UsesStreamingSpeed(uint16_t profile);

}  // namespace starburn
