// The drive query as a drive sees it (the SDK calls and their arguments) and
// as a host sees it (the record it fills).

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "drives/DiscTypes.h"
#include "drives/DriveQuery.h"
#include "drives/OddFinder.h"
#include "support/DriveScripts.h"

namespace {

using Orlet::DriveInfo;
using Orlet::SpeedEntry;
using sdkdouble::FakeDrive;
using Strings = std::vector<std::string>;

class DriveQueryTest : public support::DoubleTest {
 protected:
  // Lists a record for the drive name, opened by method, and queries it.
  int Query(const std::string& name, int32_t method = Orlet::AccessSpti) {
    if (finder.CountDrives() == 0) {
      DriveInfo record;
      record.accessMethod = method;
      record.deviceName = Orlet::mbs_to_tcs(name);
      finder.AddDrive(record);
    }
    return finder.QueryDrive(0);
  }
  DriveInfo Record() const {
    DriveInfo info;
    finder.CopyDriveInfo(0, info);
    return info;
  }

  Orlet::OddFinder finder;
};

// A blank CD-R in a drive at D: that takes every speed up to 52x.
FakeDrive& AddBlankCdR() {
  FakeDrive& drive = support::AddNamedDrive("CdRom0", 'D');
  drive.discType = Orlet::DiscTypeCdR;
  drive.blank = true;
  drive.freeBytes = 737280000;  // 80 minutes
  drive.mediaFormats[2] = 1;
  drive.maximumReadSpeed = 9152;
  drive.maximumWriteSpeed = 9152;
  return drive;
}

// A drive at D: holding a disc of discType, with its maximum speeds.
FakeDrive& AddDiscDrive(int32_t discType, uint32_t maximumWrite, uint32_t maximumRead) {
  FakeDrive& drive = support::AddNamedDrive("CdRom0", 'D');
  drive.discType = discType;
  drive.maximumWriteSpeed = maximumWrite;
  drive.maximumReadSpeed = maximumRead;
  return drive;
}

std::vector<uint32_t> Speeds(const std::vector<SpeedEntry>& list) {
  std::vector<uint32_t> speeds;
  speeds.reserve(list.size());
  for (const auto& entry : list) speeds.push_back(entry.speed);
  return speeds;
}

std::vector<std::wstring> Labels(const std::vector<SpeedEntry>& list) {
  std::vector<std::wstring> labels;
  labels.reserve(list.size());
  for (const auto& entry : list) labels.emplace_back(entry.label);
  return labels;
}

std::vector<uint32_t> TableSpeeds(const SpeedEntry* table, std::size_t first, std::size_t last) {
  std::vector<uint32_t> speeds;
  for (std::size_t k = first; k <= last; ++k) speeds.push_back(table[k].speed);
  return speeds;
}

TEST_F(DriveQueryTest, FillsTheRecordFromTheDriveAndItsDisc) {
  FakeDrive& drive = AddBlankCdR();
  drive.bufferSize = 2048;
  drive.hasVolumeLabel = true;
  drive.volumeLabel = u"Holiday";
  drive.writeModes[0] = 1;  // packet
  drive.writeModes[1] = 2;  // track-at-once
  drive.writeModes[2] = 3;  // session-at-once
  drive.writeModes[3] = 4;  // raw
  drive.mediaFormats[41] = 9;
  // Track 255: erasable byte 11, next writable address 0x00012345 at 16.
  drive.trackInformation[11] = 1;
  drive.trackInformation[16] = 0x45;
  drive.trackInformation[17] = 0x23;
  drive.trackInformation[18] = 0x01;
  // Last possible lead-out start 79:59:74, block 359849.
  drive.discInformation[21] = 79;
  drive.discInformation[22] = 59;
  drive.discInformation[23] = 74;
  drive.freeBytes = 4294967296ull + 307200;  // only the low 32 bits count

  ASSERT_EQ(Query("CdRom0"), 1);
  const DriveInfo info = Record();
  EXPECT_EQ(info.accessMethod, Orlet::AccessSpti);
  EXPECT_EQ(info.deviceName, L"CdRom0");
  EXPECT_EQ(info.vendorId, L"Vendor of CdRom0");
  EXPECT_EQ(info.productId, L"Product of CdRom0");
  EXPECT_EQ(info.productRevision, L"1.00");
  EXPECT_EQ(info.bufferSize, 2048u);
  EXPECT_EQ(info.driveLetter, L"D:");
  EXPECT_EQ(info.volumeLabel, L"Holiday");
  EXPECT_EQ(info.discType, 2);
  EXPECT_EQ(info.discTypeName, L"CD-R");
  EXPECT_EQ(info.spaceText, L"Blank");
  EXPECT_EQ(info.isBlank, 1u);
  EXPECT_EQ(info.isCd, 1u);
  EXPECT_EQ(info.isDvd + info.isBd, 0u);
  EXPECT_EQ(info.freeBytes, 4294967296ull + 307200);
  EXPECT_EQ(info.freeSeconds, 2u);
  EXPECT_EQ(info.capacitySeconds, 359849 / 75);
  EXPECT_EQ(info.sessionStartAddress, 0x12345u);
  EXPECT_EQ(info.isErasable, 1u);
  EXPECT_EQ(info.applyWriteSpeed, 1u);  // the drive gives write speeds for the disc
  EXPECT_EQ(info.mediaFormatsSize, 172u);
  EXPECT_EQ(info.mediaFormats[2], 1u);
  EXPECT_EQ(info.mediaFormats[41], 9u);
  EXPECT_EQ(info.mediaFormats[0], 0u);
  // Session-at-once, raw, packet, track-at-once.
  EXPECT_EQ(std::vector<uint32_t>(info.writeModes, info.writeModes + 4),
            (std::vector<uint32_t>{3, 4, 1, 2}));
  EXPECT_EQ(info.writeSpeeds.size(), 16u);
  EXPECT_EQ(info.readSpeeds.size(), 16u);
}

TEST_F(DriveQueryTest, SpaceTextShowsBlankMebibytesOrNothing) {
  FakeDrive& drive = AddBlankCdR();
  drive.blank = false;
  drive.usedBytes = 734003200;
  ASSERT_EQ(Query("CdRom0"), 1);
  EXPECT_EQ(Record().spaceText, L"700.00 MB");
  EXPECT_EQ(Record().usedBytes, 734003200u);

  sdkdouble::SdkDouble::Get().WithDrive("CdRom0", [](FakeDrive& d) { d.usedBytes = 1; });
  ASSERT_EQ(Query("CdRom0"), 1);
  EXPECT_EQ(Record().spaceText, L"0.00 MB");
}

TEST_F(DriveQueryTest, WithoutDiscTheSpaceAndTrackValuesOfTheLastQueryStay) {
  FakeDrive& drive = AddBlankCdR();
  drive.blank = false;
  drive.usedBytes = 734003200;
  drive.trackInformation[11] = 1;
  drive.trackInformation[16] = 7;
  drive.discInformation[21] = 10;
  ASSERT_EQ(Query("CdRom0"), 1);
  const DriveInfo before = Record();

  sdkdouble::SdkDouble::Get().WithDrive("CdRom0", [](FakeDrive& d) {
    d.discType = Orlet::DiscTypeNoDisc;
    d.usedBytes = 5;
    d.freeBytes = 5;
  });
  ASSERT_EQ(Query("CdRom0"), 1);
  const DriveInfo after = Record();
  EXPECT_EQ(after.discType, 14);
  EXPECT_EQ(after.discTypeName, L"Empty");
  EXPECT_EQ(after.spaceText, L"");
  EXPECT_EQ(after.isCd + after.isDvd + after.isBd, 0u);
  EXPECT_EQ(after.usedBytes, before.usedBytes);
  EXPECT_EQ(after.freeBytes, before.freeBytes);
  EXPECT_EQ(after.isBlank, before.isBlank);
  EXPECT_EQ(after.freeSeconds, before.freeSeconds);
  EXPECT_EQ(after.capacitySeconds, before.capacitySeconds);
  EXPECT_EQ(after.sessionStartAddress, 7u);
  EXPECT_EQ(after.isErasable, 1u);
}

// What each disc-type code shows, in the order: name, family (0 none, 1 CD,
// 2 DVD, 3 BD), the media-format position that says the drive writes it (-1
// none) and the speed table its lists come from (0 none, 1 CD, 2 DVD, 3 BD).
struct DiscTypeRow {
  int32_t code;
  const wchar_t* name;
  int family;
  int writableFlag;
  int table;
};

const DiscTypeRow kDiscTypes[] = {
    {-1, L"Unknown Disc", 0, -1, 0}, {0, L"Unknown Disc", 0, -1, 0}, {1, L"CD-ROM", 1, -1, 0},
    {2, L"CD-R", 1, 2, 1},           {3, L"CD-RW", 1, 4, 1},         {4, L"DVD-ROM", 2, -1, 0},
    {5, L"DVD-R", 2, 7, 2},          {6, L"DVD-RAM", 2, 15, 2},      {7, L"DVD-RW", 2, 11, 2},
    {8, L"DVD-RW", 2, 11, 2},        {9, L"DVD+RW", 2, 17, 2},       {10, L"CD-ROM", 0, -1, 0},
    {11, L"CD-R", 0, 2, 1},          {12, L"CD-RW", 0, 4, 1},        {13, L"DVD+R", 2, 21, 2},
    {14, L"Empty", 0, -1, 1},        {15, L"DVD+R DL", 2, 23, 2},    {16, L"DVD-R DL", 2, 9, 2},
    {17, L"BD-ROM", 3, -1, 3},       {18, L"BD-R", 3, 26, 3},        {19, L"BD-RE", 3, 30, 3},
    {20, L"HD-DVD-ROM", 0, -1, 0},   {21, L"HD-DVD-R", 0, -1, 0},    {22, L"HD-DVD-RW", 0, -1, 0},
    {23, L"Unknown Disc", 0, -1, 0},
};

TEST_F(DriveQueryTest, EveryDiscTypeGivesItsNameFamilyWritabilityAndSpeedTable) {
  FakeDrive& drive = support::AddNamedDrive("CdRom0", 'D');
  // A drive that writes everything, takes every speed and holds an erasable disc.
  std::memset(drive.mediaFormats, 1, sizeof drive.mediaFormats);
  drive.trackInformation[11] = 1;
  drive.maximumReadSpeed = 30000;
  drive.maximumWriteSpeed = 30000;
  const std::vector<uint32_t> tables[] = {
      {},
      TableSpeeds(Orlet::CdSpeedTable, 0, 15),
      TableSpeeds(Orlet::DvdSpeedTable, 0, 9),
      TableSpeeds(Orlet::BdSpeedTable, 0, 3),
  };

  for (const DiscTypeRow& row : kDiscTypes) {
    SCOPED_TRACE(row.code);
    Double().WithDrive("CdRom0", [&](FakeDrive& d) { d.discType = row.code; });
    ASSERT_EQ(Query("CdRom0"), 1);
    DriveInfo info = Record();
    EXPECT_EQ(info.discType, row.code);
    EXPECT_EQ(info.discTypeName, row.name);
    EXPECT_EQ(info.isCd, row.family == 1 ? 1u : 0u);
    EXPECT_EQ(info.isDvd, row.family == 2 ? 1u : 0u);
    EXPECT_EQ(info.isBd, row.family == 3 ? 1u : 0u);
    EXPECT_EQ(Speeds(info.writeSpeeds), tables[row.table]);
    EXPECT_EQ(Speeds(info.readSpeeds), tables[row.table]);

    EXPECT_EQ(Orlet::IsDiscTypeWritable(info), row.writableFlag >= 0 ? 1 : 0);
    if (row.writableFlag >= 0) {
      info.mediaFormats[row.writableFlag] = 0;
      EXPECT_EQ(Orlet::IsDiscTypeWritable(info), 0);
    }
  }
}

TEST_F(DriveQueryTest, SpeedTheDriveRoundsUpToIsListedOnceAndTheNextStepSkipped) {
  FakeDrive& drive = AddDiscDrive(Orlet::DiscTypeDvdPlusR, 5540, 5540);
  drive.speedTaken = [](uint32_t asked, uint32_t maximum) {
    return asked == 3324 ? 4155u : std::min(asked, maximum);
  };
  ASSERT_EQ(Query("CdRom0"), 1);
  const DriveInfo info = Record();
  EXPECT_EQ(Speeds(info.writeSpeeds), (std::vector<uint32_t>{1385, 2770, 4155, 5540}));
  EXPECT_EQ(Labels(info.writeSpeeds),
            (std::vector<std::wstring>{L"1.0x", L"2.0x", L"3.0x", L"4.0x"}));
}

TEST_F(DriveQueryTest, RefusedSpeedIsNotListedAndProbingGoesOn) {
  AddDiscDrive(Orlet::DiscTypeBdR, 17980, 17980);
  // The drive refuses the first speed asked for, the write list's 1x.
  Double().AnswerNext("StarBurn_CdvdBurnerGrabber_SetSpeeds", STARBURN_STATUS_COMMAND_FAILED);
  // The sixth speed reading, the read list's probe of 8991, fails.
  for (int k = 0; k < 5; ++k) {
    Double().AnswerNext("StarBurn_CdvdBurnerGrabber_GetSpeeds", STARBURN_OK);
  }
  Double().AnswerNext("StarBurn_CdvdBurnerGrabber_GetSpeeds", STARBURN_STATUS_COMMAND_FAILED);
  ASSERT_EQ(Query("CdRom0"), 1);
  const DriveInfo info = Record();
  EXPECT_EQ(Speeds(info.writeSpeeds), (std::vector<uint32_t>{8991, 17980}));
  EXPECT_EQ(Speeds(info.readSpeeds), (std::vector<uint32_t>{4495, 17980}));
}

TEST_F(DriveQueryTest, BdReThatIsNotErasableListsOnlyTheMaximum) {
  AddDiscDrive(Orlet::DiscTypeBdRe, 8991, 22476);  // reads above the midpoint of 4x and 6x
  ASSERT_EQ(Query("CdRom0"), 1);
  DriveInfo info = Record();
  EXPECT_EQ(Speeds(info.writeSpeeds), (std::vector<uint32_t>{8991}));
  EXPECT_EQ(Labels(info.writeSpeeds), (std::vector<std::wstring>{L"2.0x"}));
  EXPECT_EQ(Speeds(info.readSpeeds), (std::vector<uint32_t>{22476}));
  EXPECT_EQ(Labels(info.readSpeeds), (std::vector<std::wstring>{L"6.0x"}));
  EXPECT_EQ(Double().CountOf("StarBurn_CdvdBurnerGrabber_SetSpeeds"), 0u);

  // Erasable: probed like any BD.
  Double().WithDrive("CdRom0", [](FakeDrive& d) { d.trackInformation[11] = 1; });
  ASSERT_EQ(Query("CdRom0"), 1);
  info = Record();
  EXPECT_EQ(Speeds(info.writeSpeeds), (std::vector<uint32_t>{4495, 8991}));
  EXPECT_EQ(Speeds(info.readSpeeds), (std::vector<uint32_t>{4495, 8991, 17980, 22476}));
}

TEST_F(DriveQueryTest, PartsThatFailLeaveTheirFieldsEmptyOrZero) {
  FakeDrive& drive = AddBlankCdR();
  drive.usedBytes = 1000;
  drive.hasVolumeLabel = true;
  drive.volumeLabel = u"Label";
  drive.mediaFormats[5] = 1;
  drive.writeModes[1] = 1;
  drive.trackInformation[11] = 1;
  drive.trackInformation[16] = 9;
  drive.discInformation[21] = 70;
  for (const char* function :
       {"StarBurn_CdvdBurnerGrabber_GetDeviceInformation",
        "StarBurn_CdvdBurnerGrabber_GetDiscUsedSpace",
        "StarBurn_CdvdBurnerGrabber_GetDiscFreeSpace", "StarBurn_CdvdBurnerGrabber_IsDiscBlank",
        "StarBurn_CdvdBurnerGrabber_GetTrackInformation",
        "StarBurn_CdvdBurnerGrabber_GetDiscInformation",
        "StarBurn_CdvdBurnerGrabber_GetAdvancedSupportedMediaFormats",
        "StarBurn_CdvdBurnerGrabber_ProbeSupportedWriteModes",
        "StarBurn_CdvdBurnerGrabber_GetSpeeds", "StarBurn_GetVolumeLabelByLetter"}) {
    drive.failures[function] = STARBURN_STATUS_COMMAND_FAILED;
  }
  Double().AnswerAlways("StarBurn_GetVolumeLabelByLetter", STARBURN_STATUS_NOT_FOUND);

  ASSERT_EQ(Query("CdRom0"), 1);  // the drive opened: the query succeeds
  const DriveInfo info = Record();
  EXPECT_EQ(info.vendorId, L"");
  EXPECT_EQ(info.productId, L"");
  EXPECT_EQ(info.productRevision, L"");
  EXPECT_EQ(info.driveLetter, L"D:");
  EXPECT_EQ(info.volumeLabel, L"");
  EXPECT_EQ(info.usedBytes, 0u);
  EXPECT_EQ(info.freeBytes, 0u);
  EXPECT_EQ(info.isBlank, 0u);
  EXPECT_EQ(info.spaceText, L"0.00 MB");  // not known blank: the used space shows
  EXPECT_EQ(info.sessionStartAddress, 0u);
  EXPECT_EQ(info.isErasable, 0u);
  EXPECT_EQ(info.capacitySeconds, -2);  // 00:00:00 is block -150
  EXPECT_EQ(info.mediaFormatsSize, 172u);
  EXPECT_EQ(info.mediaFormats[5], 0u);
  EXPECT_EQ(info.writeModes[3], 0u);
  EXPECT_TRUE(info.writeSpeeds.empty());
  EXPECT_TRUE(info.readSpeeds.empty());
  EXPECT_EQ(Double().OpenDevices(), 0u);
}

TEST_F(DriveQueryTest, DriveWithoutLetterHasNoLetterAndNoLabel) {
  FakeDrive& drive = support::AddNamedDrive("CdRom0", 0);
  drive.hasVolumeLabel = true;
  drive.volumeLabel = u"Label";
  ASSERT_EQ(Query("CdRom0"), 1);
  EXPECT_EQ(Record().driveLetter, L"");
  EXPECT_EQ(Record().volumeLabel, L"");
}

TEST_F(DriveQueryTest, LetterMustNameTheDriveExactly) {
  support::AddNamedDrive("CdRom10", 'E');
  support::AddNamedDrive("CdRom1", 'F');
  ASSERT_EQ(Query("CdRom1"), 1);
  EXPECT_EQ(Record().driveLetter, L"F:");  // not E:, whose target begins the same
}

TEST_F(DriveQueryTest, DriveThatCannotBeOpenedLeavesTheRecordUnchanged) {
  FakeDrive& drive = AddBlankCdR();
  drive.failures["StarBurn_CdvdBurnerGrabber_CreateEx"] = STARBURN_STATUS_NO_DEVICE;
  EXPECT_EQ(Query("CdRom0"), 0);
  EXPECT_EQ(Record().discTypeName, L"");
  EXPECT_EQ(Record().mediaFormatsSize, 0u);
}

TEST_F(DriveQueryTest, UnknownAccessMethodOrIndexAsksNothing) {
  AddBlankCdR();
  EXPECT_EQ(finder.QueryDrive(0), 0);  // nothing listed
  for (int32_t method : {0, 4, -1}) {
    DriveInfo record;
    record.accessMethod = method;
    record.deviceName = L"CdRom0";
    finder.AddDrive(record);
  }
  EXPECT_EQ(finder.QueryDrive(0), 0);
  EXPECT_EQ(finder.QueryDrive(1), 0);
  EXPECT_EQ(finder.QueryDrive(2), 0);
  EXPECT_EQ(finder.QueryDrive(3), 0);
  EXPECT_EQ(finder.QueryDrive(static_cast<std::size_t>(-1)), 0);
  EXPECT_TRUE(Double().Journal().empty());
}

TEST_F(DriveQueryTest, NameHoldingATerminatorIsRefusedNotCut) {
  AddBlankCdR();
  DriveInfo record;
  record.accessMethod = Orlet::AccessSpti;
  record.deviceName = std::wstring(L"CdRom0\0x", 8);
  finder.AddDrive(record);
  record.accessMethod = Orlet::AccessSptd;
  finder.AddDrive(record);
  EXPECT_EQ(finder.QueryDrive(0), 0);
  EXPECT_EQ(finder.QueryDrive(1), 0);
  EXPECT_TRUE(Double().Journal().empty());
}

TEST_F(DriveQueryTest, SixteenBitNameMustFitItsRoomWithTheTerminator) {
  std::u16string wide;
  ASSERT_TRUE(Orlet::SptdDeviceName("CdRom\xC3\xA9", wide));
  EXPECT_EQ(wide, u"CdRom\u00E9");
  ASSERT_TRUE(Orlet::SptdDeviceName(std::string(127, 'a'), wide));
  EXPECT_EQ(wide.size(), 127u);
  EXPECT_FALSE(Orlet::SptdDeviceName(std::string(128, 'a'), wide));
  EXPECT_FALSE(Orlet::SptdDeviceName(std::string("CdRom0\0x", 8), wide));
  EXPECT_FALSE(Orlet::SptdDeviceName("", wide));
}

TEST_F(DriveQueryTest, SptdDriveOpensByItsSixteenBitName) {
  AddBlankCdR();
  ASSERT_EQ(Query("CdRom0", Orlet::AccessSptd), 1);
  EXPECT_EQ(Record().driveLetter, L"D:");
  EXPECT_EQ(Double().CountOf("StarBurn_CdvdBurnerGrabber_CreateEx"), 0u);
}

TEST_F(DriveQueryTest, AspiDriveOpensByAddressAndTakesItsLetterFromTheDevicePath) {
  FakeDrive& drive = AddBlankCdR();
  const uint8_t address[] = {0x2A, 1, 2, 3, 4};
  std::memcpy(drive.address, address, sizeof address);
  drive.letter = 'G';
  drive.hasVolumeLabel = true;
  drive.volumeLabel = u"Backup";
  DriveInfo record;
  record.accessMethod = Orlet::AccessAspi;
  record.deviceTag = 0x2A;
  record.portId = 1;
  record.busId = 2;
  record.targetId = 3;
  record.lun = 4;
  finder.AddDrive(record);
  ASSERT_EQ(finder.QueryDrive(0), 1);
  const DriveInfo info = Record();
  EXPECT_EQ(info.driveLetter, L"G:");  // "\\.\G:" without its first four characters
  EXPECT_EQ(info.volumeLabel, L"Backup");
  EXPECT_EQ(info.deviceName, L"");
  EXPECT_EQ(info.deviceTag, 0x2Au);
  EXPECT_EQ(info.discTypeName, L"CD-R");
  EXPECT_EQ(support::ArgumentsOf("StarBurn_CdvdBurnerGrabber_Create"),
            (Strings{"1024, 1, 2, 3, 4, 1", "1024, 1, 2, 3, 4, 1", "1024, 1, 2, 3, 4, 1"}));
  EXPECT_EQ(support::ArgumentsOf("StarBurn_GetDeviceNameByDeviceAddress"),
            (Strings{"1, 2, 3, 4, 1024"}));
  EXPECT_EQ(Double().CountOf("StarBurn_GetDeviceTargetByLetter"), 0u);

  // A device path without a letter gives none.
  Double().WithDrive("CdRom0", [](FakeDrive& d) { d.letter = 0; });
  ASSERT_EQ(finder.QueryDrive(0), 1);
  EXPECT_EQ(Record().driveLetter, L"");
  EXPECT_EQ(Record().volumeLabel, L"");
}

}  // namespace
