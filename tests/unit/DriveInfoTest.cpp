// The drive record as a host reads it: its layout and the nearest-step labels.

#include <gtest/gtest.h>

#include <cstddef>
#include <string>

#include "orlet/DriveInfo.h"

namespace {

using Orlet::DriveInfo;
using Orlet::SpeedEntry;

template <typename Field>
std::ptrdiff_t OffsetOf(const DriveInfo& info, const Field& field) {
  return reinterpret_cast<const char*>(&field) - reinterpret_cast<const char*>(&info);
}

// A host compiled against the record reads its fields at these offsets (x86-64,
// 32-byte std::wstring, 24-byte std::vector). Moving, resizing or inserting a
// field breaks every host: this test names the field that moved.
TEST(DriveInfoTest, FieldsKeepTheirOrderAndWidths) {
  const DriveInfo info;
  EXPECT_EQ(OffsetOf(info, info.accessMethod), 0);
  EXPECT_EQ(OffsetOf(info, info.deviceTag), 4);
  EXPECT_EQ(OffsetOf(info, info.portId), 8);
  EXPECT_EQ(OffsetOf(info, info.busId), 9);
  EXPECT_EQ(OffsetOf(info, info.targetId), 10);
  EXPECT_EQ(OffsetOf(info, info.lun), 11);
  EXPECT_EQ(OffsetOf(info, info.deviceName), 16);
  EXPECT_EQ(OffsetOf(info, info.productId), 48);
  EXPECT_EQ(OffsetOf(info, info.vendorId), 80);
  EXPECT_EQ(OffsetOf(info, info.productRevision), 112);
  EXPECT_EQ(OffsetOf(info, info.bufferSize), 144);
  EXPECT_EQ(OffsetOf(info, info.discType), 148);
  EXPECT_EQ(OffsetOf(info, info.discTypeName), 152);
  EXPECT_EQ(OffsetOf(info, info.spaceText), 184);
  EXPECT_EQ(OffsetOf(info, info.isBlank), 216);
  EXPECT_EQ(OffsetOf(info, info.freeBytes), 224);
  EXPECT_EQ(OffsetOf(info, info.usedBytes), 232);
  EXPECT_EQ(OffsetOf(info, info.freeSeconds), 240);
  EXPECT_EQ(OffsetOf(info, info.capacitySeconds), 244);
  EXPECT_EQ(OffsetOf(info, info.volumeLabel), 248);
  EXPECT_EQ(OffsetOf(info, info.driveLetter), 280);
  EXPECT_EQ(OffsetOf(info, info.mediaFormatsSize), 312);
  EXPECT_EQ(OffsetOf(info, info.mediaFormats), 316);
  EXPECT_EQ(OffsetOf(info, info.writeModes), 484);
  EXPECT_EQ(OffsetOf(info, info.writeSpeeds), 504);
  EXPECT_EQ(OffsetOf(info, info.readSpeeds), 528);
  EXPECT_EQ(OffsetOf(info, info.sessionStartAddress), 552);
  EXPECT_EQ(OffsetOf(info, info.isErasable), 556);
  EXPECT_EQ(OffsetOf(info, info.isCd), 560);
  EXPECT_EQ(OffsetOf(info, info.isDvd), 564);
  EXPECT_EQ(OffsetOf(info, info.isBd), 568);
  EXPECT_EQ(OffsetOf(info, info.applyWriteSpeed), 572);
  EXPECT_EQ(sizeof(DriveInfo), 576u);

  // The size field and the 42 flags form one 172-byte block.
  EXPECT_EQ(sizeof info.mediaFormatsSize + sizeof info.mediaFormats, 172u);
  EXPECT_EQ(sizeof info.writeModes, 16u);
  EXPECT_EQ(offsetof(SpeedEntry, speed), 0u);
  EXPECT_EQ(offsetof(SpeedEntry, label), 8u);
  EXPECT_EQ(sizeof(SpeedEntry), 16u);
  EXPECT_FALSE(std::is_polymorphic_v<DriveInfo>);
}

std::wstring CdLabel(uint32_t speed) {
  return Orlet::NearestSpeedLabel(Orlet::CdSpeedTable, Orlet::kCdSpeedSteps, speed);
}
std::wstring BdLabel(uint32_t speed) {
  return Orlet::NearestSpeedLabel(Orlet::BdSpeedTable, Orlet::kBdSpeedSteps, speed);
}

TEST(DriveInfoTest, NearestSpeedLabelRoundsAtTheMidpoint) {
  EXPECT_EQ(CdLabel(0), L"1.0x");
  EXPECT_EQ(CdLabel(100), L"1.0x");
  EXPECT_EQ(CdLabel(176), L"1.0x");
  EXPECT_EQ(CdLabel(3400), L"20.0x");
  EXPECT_EQ(CdLabel(3737), L"20.0x");  // the midpoint of 3250 and 4224 stays below
  EXPECT_EQ(CdLabel(3738), L"24.0x");
  EXPECT_EQ(CdLabel(9152), L"52.0x");
  EXPECT_EQ(CdLabel(20000), L"52.0x");
  EXPECT_EQ(CdLabel(0xFFFFFFFF), L"52.0x");

  EXPECT_EQ(BdLabel(0), L"1.0x");
  EXPECT_EQ(BdLabel(6743), L"1.0x");  // (4495 + 8991) / 2 = 6743
  EXPECT_EQ(BdLabel(6744), L"2.0x");
  EXPECT_EQ(BdLabel(26969), L"6.0x");
  EXPECT_EQ(BdLabel(26970), L"6.0x");
  EXPECT_EQ(BdLabel(100000), L"6.0x");

  // The label is the table's own pointer, valid while the library is loaded.
  EXPECT_EQ(Orlet::NearestSpeedLabel(Orlet::DvdSpeedTable, Orlet::kDvdSpeedSteps, 4000),
            Orlet::DvdSpeedTable[3].label);
  EXPECT_EQ(Orlet::NearestSpeedLabel(Orlet::DvdSpeedTable, 0, 4000), nullptr);
}

}  // namespace
