// The ASPI access method with the layer's module beside the program: the
// probe passes once, the SDK enumerates the drives by SCSI address, and each
// is queried by its address. This program lives in a directory of its own,
// so the other library tests keep finding no module.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "drives/OddFinder.h"
#include "platform/OrletBases.h"
#include "platform/Win32.h"
#include "support/DoubleFixture.h"

namespace {

using Orlet::DriveInfo;
using Orlet::OddFinder;
using Strings = std::vector<std::string>;

class AspiProbeTest : public support::DriveDoubleTest {
 protected:
  sdkdouble::FakeDrive& AddAspiDrive(const std::string& name, char letter, uint8_t target) {
    sdkdouble::FakeDrive& drive = support::AddNamedDrive(name, letter);
    drive.address[1] = 1;
    drive.address[3] = target;
    return drive;
  }
  DriveInfo RecordAt(std::size_t index) const {
    DriveInfo info;
    finder.CopyDriveInfo(index, info);
    return info;
  }

  OddFinder finder;
};

TEST_F(AspiProbeTest, ModuleExportingGetIdMakesAspiSearchesPossible) {
  AddAspiDrive("CdRom0", 'D', 3);
  sdkdouble::FakeDrive& gone = AddAspiDrive("CdRom1", 'E', 4);
  gone.failures["StarBurn_CdvdBurnerGrabber_Create"] = STARBURN_STATUS_NO_DEVICE;
  AddAspiDrive("CdRom2", 0, 5);

  ASSERT_EQ(finder.StartSearch(Orlet::AccessAspi, 0, 0), Orlet::ResultOk);
  // The SDK reported three devices; the one that cannot be opened is dropped.
  ASSERT_EQ(finder.CountDrives(), 2u);
  // Each drive is queried by its address; its letter comes from the address too.
  EXPECT_EQ(RecordAt(0).vendorId, L"Vendor of CdRom0");
  EXPECT_EQ(RecordAt(0).driveLetter, L"D:");
  EXPECT_EQ(RecordAt(1).targetId, 5u);
  EXPECT_EQ(RecordAt(1).driveLetter, L"");

  // A second search reuses the probe's answer and lists the drives again.
  ASSERT_EQ(finder.StartSearch(Orlet::AccessAspi, 0, 0), Orlet::ResultOk);
  EXPECT_EQ(finder.CountDrives(), 4u);

  wchar_t directory[260] = {};
  ASSERT_NE(Orlet::GetModuleDir(directory, 260), 0u);
  const std::string module = Orlet::tcs_to_mbs(directory) + "\\WnASPI32.dll";
  std::vector<std::string> loads;
  std::size_t enumerations = 0;
  for (const auto& call : Double().Journal()) {
    if (call.function == "LoadLibraryW") loads.push_back(call.arguments);
    if (call.function == "StarBurn_FindDevice") {
      EXPECT_EQ(call.arguments, "5, 0");
      ++enumerations;
    }
  }
  EXPECT_EQ(loads, (Strings{module}));
  EXPECT_EQ(enumerations, 2u);
  // No drive letter was scanned: ASPI drives come from the SDK.
  EXPECT_EQ(Double().CountOf("StarBurn_GetDeviceTargetByLetter"), 0u);
  EXPECT_EQ(Double().CountOf("StarBurn_CdvdBurnerGrabber_CreateEx"), 0u);
}

}  // namespace
