#pragma once

// Scripted discs, drive records and a temporary source folder shared by the
// burn, erase and request tests.

#include <stdlib.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <fstream>
#include <string>

#include "orlet/DriveInfo.h"
#include "platform/OrletBases.h"
#include "support/DriveScripts.h"

namespace support {

constexpr uint32_t kNextSessionAddress = 12000;

inline void PutAddress(uint8_t* record, std::size_t offset, uint32_t value) {
  std::memcpy(record + offset, &value, sizeof value);  // little-endian, as the SDK records are
}

// CdRom0 at D: holding a blank CD-R, in a drive that writes CD-R and CD-RW.
inline sdkdouble::FakeDrive& BlankCdR() {
  sdkdouble::FakeDrive& drive = AddNamedDrive("CdRom0", 'D');
  drive.discType = 2;
  drive.blank = true;
  drive.freeBytes = 700ull << 20;
  drive.mediaFormats[2] = 1;
  drive.mediaFormats[4] = 1;
  drive.maximumWriteSpeed = drive.currentWriteSpeed = 1760;
  return drive;
}

// CdRom0 at D: holding a CD-R with one session of data ("OLDDISC"), its next
// session at kNextSessionAddress.
inline sdkdouble::FakeDrive& AppendableCdR(bool joliet = true) {
  sdkdouble::FakeDrive& drive = BlankCdR();
  drive.blank = false;
  drive.usedBytes = 10ull << 20;
  PutAddress(drive.trackInformation, 16, kNextSessionAddress);
  drive.discFileSystem[1] = joliet ? 1 : 0;
  drive.discFileSystem[2] = 1;
  drive.lastTrack = 1;
  drive.lastTrackInformation[0] = 1;
  drive.hasVolumeLabel = true;
  drive.volumeLabel = u"OLDDISC";
  return drive;
}

// The record a drive query would give for CdRom0 at D: with the fake's disc.
inline Orlet::DriveInfo RecordOf(const sdkdouble::FakeDrive& fake) {
  Orlet::DriveInfo info;
  info.accessMethod = Orlet::AccessSpti;
  info.deviceName = L"CdRom0";
  info.driveLetter = L"D:";
  info.discType = fake.discType;
  info.isBlank = fake.blank ? 1 : 0;
  info.usedBytes = fake.usedBytes;
  info.freeBytes = fake.freeBytes;
  uint32_t start = 0;
  std::memcpy(&start, fake.trackInformation + 16, sizeof start);
  info.sessionStartAddress = start;
  info.isErasable = fake.trackInformation[11];
  info.volumeLabel = fake.hasVolumeLabel
                         ? std::wstring(fake.volumeLabel.begin(), fake.volumeLabel.end())
                         : std::wstring();
  return info;
}

// A folder of files under /tmp, removed with the object.
class SourceFolder {
 public:
  SourceFolder() {
    char pattern[] = "/tmp/orlet-job-XXXXXX";
    if (mkdtemp(pattern) != nullptr) path = pattern;
  }
  ~SourceFolder() {
    if (!path.empty()) std::system(("rm -rf '" + path + "'").c_str());
  }
  SourceFolder(const SourceFolder&) = delete;
  SourceFolder& operator=(const SourceFolder&) = delete;

  // Writes a file of size bytes; answers its full path as wide text.
  std::wstring File(const std::string& name, std::size_t size) const {
    std::ofstream(path + "/" + name) << std::string(size, 'x');
    return Orlet::mbs_to_tcs(path + "/" + name);
  }

  std::string path;
};

}  // namespace support
