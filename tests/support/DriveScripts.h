#pragma once

// Scripted drives and journal views shared by the drive tests.

#include <string>
#include <vector>

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

// The journal as "Function(arguments)", the common prefixes of the names
// dropped ("CreateEx(1024, CdRom0, 1)", "GetDeviceTargetByLetter(D)").
inline std::vector<std::string> JournalText() {
  std::vector<std::string> calls;
  for (const auto& call : sdkdouble::SdkDouble::Get().Journal()) {
    std::string name = call.function;
    for (const std::string prefix : {"StarBurn_CdvdBurnerGrabber_", "StarBurn_"}) {
      if (name.compare(0, prefix.size(), prefix) == 0) {
        name.erase(0, prefix.size());
        break;
      }
    }
    calls.push_back(name + "(" + call.arguments + ")");
  }
  return calls;
}

// The journal's calls of one function, as "arguments".
inline std::vector<std::string> ArgumentsOf(const std::string& function) {
  std::vector<std::string> arguments;
  for (const auto& call : sdkdouble::SdkDouble::Get().Journal()) {
    if (call.function == function) arguments.push_back(call.arguments);
  }
  return arguments;
}

// Every module load of the Windows stand-in lands in the double's journal as
// "LoadLibraryW" with the path as given.
inline void JournalModuleLoad(const wchar_t* path) {
  sdkdouble::SdkDouble::Get().Note("LoadLibraryW", Orlet::tcs_to_mbs(path));
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
