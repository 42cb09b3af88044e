#pragma once

// Tests on the scripted double, and the drives they script.

#include <gtest/gtest.h>

#include <string>

#include "platform/OrletBases.h"
#include "platform/Win32.h"
#include "support/SdkDouble.h"

namespace support {

// A test that starts from a clean double: no script, no drives, no journal.
class DoubleTest : public ::testing::Test {
 protected:
  void SetUp() override { Double().Reset(); }
  void TearDown() override { Double().Reset(); }
  static sdkdouble::SdkDouble& Double() { return sdkdouble::SdkDouble::Get(); }
};

// A double test that also journals the Windows stand-in's module loads (the
// ASPI probe's) as "LoadLibraryW" with the path as given.
class DriveDoubleTest : public DoubleTest {
 protected:
  void SetUp() override {
    DoubleTest::SetUp();
    win32::WatchModuleLoads(
        [](const wchar_t* path) { Double().Enter("LoadLibraryW", Orlet::tcs_to_mbs(path)); });
  }
  void TearDown() override {
    win32::WatchModuleLoads(nullptr);
    DoubleTest::TearDown();
  }
};

// A drive "name" at letter that identifies itself by its name ("Vendor of
// CdRom0", "Product of CdRom0", "1.00") and holds no disc.
inline sdkdouble::FakeDrive& AddNamedDrive(const std::string& name, char letter) {
  sdkdouble::FakeDrive& drive = sdkdouble::SdkDouble::Get().AddDrive(name, letter);
  drive.vendor = "Vendor of " + name;
  drive.product = "Product of " + name;
  drive.revision = "1.00";
  return drive;
}

}  // namespace support
