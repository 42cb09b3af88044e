#pragma once

// Scripted drives shared by the drive tests.

#include <string>

#include "platform/OrletBases.h"
#include "platform/Win32.h"
#include "support/DoubleFixture.h"

namespace support {

// A drive "name" at letter that identifies itself by its name ("Vendor of
// CdRom0", "Product of CdRom0", "1.00") and holds no disc.
inline sdkdouble::FakeDrive& AddNamedDrive(const std::string& name, char letter) {
  sdkdouble::FakeDrive& drive = sdkdouble::SdkDouble::Get().AddDrive(name, letter);
  drive.vendor = "Vendor of " + name;
  drive.product = "Product of " + name;
  drive.revision = "1.00";
  return drive;
}

// Every module load of the Windows stand-in lands in the double's journal as
// "LoadLibraryW" with the path as given.
inline void JournalModuleLoad(const wchar_t* path) {
  sdkdouble::SdkDouble::Get().Enter("LoadLibraryW", Orlet::tcs_to_mbs(path));
}

// A double test that also journals module loads (the ASPI probe's).
class DriveDoubleTest : public DoubleTest {
 protected:
  void SetUp() override {
    DoubleTest::SetUp();
    Win32WatchModuleLoads(JournalModuleLoad);
  }
  void TearDown() override {
    Win32WatchModuleLoads(nullptr);
    DoubleTest::TearDown();
  }
};

}  // namespace support
