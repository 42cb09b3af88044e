// The drive query's identity part, which only scripted drives give: how a
// drive is opened by each access method, the letter and label it finds, and
// the record a drive leaves when its calls fail. The disc part of the record
// is the virtual drives' table (tests/e2e/RequestsTest.cpp).

#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "drives/DriveOpen.h"
#include "drives/OddFinder.h"
#include "support/DoubleFixture.h"

namespace {

using Orlet::DriveInfo;

// One query: the record a host lists (its access method, and its device name
// with an embedded terminator and more after it when cut), and the drive it
// names (at letter, 0 none; failing: every identity call of the drive fails).
// The scripted machine also has CdRom10 at E:, whose target begins the same.
struct Query {
  const char* name;
  int32_t method;
  const char* device;
  bool cut;
  char letter;
  bool failing;
  int answer;
  const wchar_t* vendor;
  const wchar_t* letterText;
  const wchar_t* label;
};

class DriveQueryTest : public support::DoubleTest, public testing::WithParamInterface<Query> {};

TEST_P(DriveQueryTest, FillsTheIdentityItsAccessMethodReaches) {
  const Query& query = GetParam();
  support::AddNamedDrive("CdRom10", 'E');
  sdkdouble::FakeDrive& drive = support::AddNamedDrive("CdRom1", query.letter);
  const uint8_t address[] = {0x2A, 1, 2, 3, 4};
  std::memcpy(drive.address, address, sizeof address);
  drive.volumeLabel = u"Label";
  drive.discType = 2;
  if (query.failing) {
    for (const char* function : {"StarBurn_CdvdBurnerGrabber_GetDeviceInformation",
                                 "StarBurn_CdvdBurnerGrabber_GetAdvancedSupportedMediaFormats"}) {
      drive.failures[function] = STARBURN_STATUS_COMMAND_FAILED;
    }
    drive.mediaFormats[2] = 1;
    Double().AnswerAlways("StarBurn_GetVolumeLabelByLetter", STARBURN_STATUS_NOT_FOUND);
  }
  DriveInfo record;
  record.accessMethod = query.method;
  record.deviceName = Orlet::mbs_to_tcs(query.device);
  if (query.cut) record.deviceName += std::wstring(L"\0x", 2);
  record.deviceTag = 0x2A;
  record.portId = 1;
  record.busId = 2;
  record.targetId = 3;
  record.lun = 4;
  Orlet::OddFinder finder;
  finder.AddDrive(record);
  ASSERT_EQ(finder.QueryDrive(0), query.answer);
  EXPECT_EQ(finder.QueryDrive(1), 0);  // outside the list
  DriveInfo info;
  finder.CopyDriveInfo(0, info);
  EXPECT_EQ(info.vendorId, query.vendor);
  EXPECT_EQ(info.productId + L"/" + info.productRevision,
            std::wstring(query.vendor).empty() ? L"/" : L"Product of CdRom1/1.00");
  EXPECT_EQ(info.driveLetter, query.letterText);
  EXPECT_EQ(info.volumeLabel, query.label);
  if (query.answer == 0) {  // the record stays as listed, nothing asked of the SDK
    EXPECT_EQ(info.discTypeName, L"");
    EXPECT_EQ(info.mediaFormatsSize, 0u);
  } else {  // the disc calls of the double fail: the disc fields stay empty or zero
    EXPECT_EQ(info.discTypeName, L"CD-R");
    EXPECT_EQ(info.spaceText, L"0.00 MB");
    EXPECT_EQ(info.usedBytes + info.freeBytes + info.isBlank + info.sessionStartAddress, 0u);
    EXPECT_EQ(info.mediaFormatsSize, 172u);
    EXPECT_EQ(info.mediaFormats[2], 0u);
    EXPECT_TRUE(info.writeSpeeds.empty() && info.readSpeeds.empty());
  }
  EXPECT_EQ(Double().OpenDevices(), 0u);
}

const Query kQueries[] = {
    // clang-format off
    {"ByName", Orlet::AccessSpti, "CdRom1", false, 'F', false, 1, L"Vendor of CdRom1", L"F:", L"Label"},
    {"ByNameWithoutALetter", Orlet::AccessSpti, "CdRom1", false, 0, false, 1, L"Vendor of CdRom1", L"", L""},
    {"BySixteenBitName", Orlet::AccessSptd, "CdRom1", false, 'F', false, 1, L"Vendor of CdRom1", L"F:", L"Label"},
    {"ByAddress", Orlet::AccessAspi, "", false, 'G', false, 1, L"Vendor of CdRom1", L"G:", L"Label"},
    {"ByAddressWithoutALetter", Orlet::AccessAspi, "", false, 0, false, 1, L"Vendor of CdRom1", L"", L""},
    {"IdentityCallsFail", Orlet::AccessSpti, "CdRom1", false, 'F', true, 1, L"", L"F:", L""},
    {"NoSuchDrive", Orlet::AccessSpti, "CdRom7", false, 'F', false, 0, L"", L"", L""},
    {"NameCutByATerminator", Orlet::AccessSpti, "CdRom1", true, 'F', false, 0, L"", L"", L""},
    {"SixteenBitNameCut", Orlet::AccessSptd, "CdRom1", true, 'F', false, 0, L"", L"", L""},
    {"NoAccessMethod", 0, "CdRom1", false, 'F', false, 0, L"", L"", L""},
    {"UnknownAccessMethod", 4, "CdRom1", false, 'F', false, 0, L"", L"", L""},
    // clang-format on
};

INSTANTIATE_TEST_SUITE_P(Methods, DriveQueryTest, testing::ValuesIn(kQueries),
                         [](const testing::TestParamInfo<Query>& info) {
                           return std::string(info.param.name);
                         });

// The label of the nearest step: below the first step the first, between two
// steps the upper one only above their midpoint, past the last the last.
TEST(SpeedLabelTest, NearestStepRoundsAtTheMidpoint) {
  const struct {
    bool bd;
    uint32_t speed;
    const wchar_t* label;
  } rows[] = {
      {false, 0, L"1.0x"},     {false, 176, L"1.0x"},   {false, 3737, L"20.0x"},
      {false, 3738, L"24.0x"}, {false, 9152, L"52.0x"}, {false, 0xFFFFFFFF, L"52.0x"},
      {true, 6743, L"1.0x"},   {true, 6744, L"2.0x"},   {true, 26969, L"6.0x"},
      {true, 100000, L"6.0x"},
  };
  for (const auto& row : rows) {
    const Orlet::SpeedEntry* table = row.bd ? Orlet::BdSpeedTable : Orlet::CdSpeedTable;
    const std::size_t steps = row.bd ? Orlet::kBdSpeedSteps : Orlet::kCdSpeedSteps;
    EXPECT_EQ(std::wstring(Orlet::NearestSpeedLabel(table, steps, row.speed)), row.label)
        << row.speed;
  }
  // The label is the table's own pointer, valid while the library is loaded.
  EXPECT_EQ(Orlet::NearestSpeedLabel(Orlet::DvdSpeedTable, Orlet::kDvdSpeedSteps, 4000),
            Orlet::DvdSpeedTable[3].label);
  EXPECT_EQ(Orlet::NearestSpeedLabel(Orlet::DvdSpeedTable, 0, 4000), nullptr);
}

TEST(SixteenBitNameTest, MustFitItsRoomWithTheTerminator) {
  std::u16string wide;
  // The name as the system's 8-bit text (UTF-8 here, the ANSI code page on Windows).
  ASSERT_TRUE(Orlet::SptdDeviceName(Orlet::tcs_to_mbs(L"CdRom\u00E9"), wide));
  EXPECT_EQ(wide, u"CdRom\u00E9");
  ASSERT_TRUE(Orlet::SptdDeviceName(std::string(127, 'a'), wide));
  EXPECT_EQ(wide.size(), 127u);
  EXPECT_FALSE(Orlet::SptdDeviceName(std::string(128, 'a'), wide));
  EXPECT_FALSE(Orlet::SptdDeviceName(std::string("CdRom0\0x", 8), wide));
  EXPECT_FALSE(Orlet::SptdDeviceName("", wide));
}

}  // namespace
