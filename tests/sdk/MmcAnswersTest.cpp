// The MMC layer's answer decoding and sense decoding, on bytes
// laid out by hand as drives send them.

#include <gtest/gtest.h>

#include <vector>

#include "mmc/Answers.h"
#include "mmc/Cdb.h"
#include "mmc/Profiles.h"
#include "mmc/SdkRecords.h"
#include "mmc/Sense.h"

namespace {

using namespace starburn;

// The fields of disc and track information are read per medium end to end
// (the drive records, every burn's survey); here what only a real drive
// sends: answers cut short, and track numbers past 255.
TEST(MmcAnswersTest, AnswersTakeOnlyWhatCame) {
  std::vector<uint8_t> answer(36, 0);
  answer[1] = 32;
  DiscInformation info;
  EXPECT_TRUE(ParseDiscInformation(answer.data(), 34, &info));
  EXPECT_FALSE(ParseDiscInformation(answer.data(), 20, &info));  // fewer bytes than claimed
  std::vector<WriteSpeed> speeds;  // a performance answer cut inside its header
  EXPECT_FALSE(ParseWriteSpeeds(answer.data(), kPerformanceHeaderLength - 1, &speeds));

  answer[1] = 32;    // through byte 33, the last high byte
  answer[2] = 0x2C;  // track 300 with byte 32
  answer[32] = 0x01;
  TrackInformation track;
  ASSERT_TRUE(ParseTrackInformation(answer.data(), 36, &track));
  EXPECT_EQ(track.track, 300);
  answer[1] = 26;  // an older drive stops at byte 28: no high bytes
  ASSERT_TRUE(ParseTrackInformation(answer.data(), 28, &track));
  EXPECT_EQ(track.track, 0x2C);
}

TEST(MmcAnswersTest, ConfigurationListsProfilesAndFeaturesAndRefusesACutFeature) {
  std::vector<uint8_t> answer = {0,    0,    0,    0, 0, 0,    0x00, 0x09,  // current profile CD-R
                                 0,    0,    0x03, 8,                       // profile list
                                 0,    0x09, 1,    0, 0, 0x08, 0,    0,  // CD-R (current), CD-ROM
                                 0,    0x2D, 0x00, 4,                    // CD track at once
                                 0x44, 0,    0,    1};
  answer[3] = static_cast<uint8_t>(answer.size() - 4);
  Configuration configuration;
  ASSERT_TRUE(
      ParseConfiguration(answer.data(), static_cast<uint32_t>(answer.size()), &configuration));
  EXPECT_EQ(configuration.currentProfile, profile::kCdR);
  EXPECT_EQ(configuration.profiles, (std::vector<uint16_t>{0x09, 0x08}));
  ASSERT_NE(configuration.Find(feature::kCdTrackAtOnce), nullptr);
  EXPECT_TRUE(SupportsUnderrunProtection(configuration));

  // (The media formats of such a drive are the CD-R-only recorder's, in DeviceCallsTest.)
  // The feature claims 4 bytes of data but the drive sent 2.
  EXPECT_FALSE(
      ParseConfiguration(answer.data(), static_cast<uint32_t>(answer.size()) - 2, &configuration));
}

TEST(MmcAnswersTest, ModePageSkipsBlockDescriptorsAndDropsThePsBit) {
  std::vector<uint8_t> answer = {0,    0, 0,    0,   0, 0, 0, 8,  // 8 bytes of block descriptor
                                 1,    2, 3,    4,   5, 6, 7, 8,  //
                                 0x85, 2, 0x41, 0xC4};            // page 05 with PS, 2 bytes
  answer[1] = static_cast<uint8_t>(answer.size() - 2);
  std::vector<uint8_t> page;
  ASSERT_TRUE(ParseModePage(answer.data(), static_cast<uint32_t>(answer.size()), 0x05, &page));
  EXPECT_EQ(page, (std::vector<uint8_t>{0x05, 2, 0x41, 0xC4}));
  EXPECT_FALSE(ParseModePage(answer.data(), static_cast<uint32_t>(answer.size()), 0x2A, &page));
}

TEST(MmcAnswersTest, SenseIsDecodedIntoSdkStatusesInOnePlace) {
  using namespace sensekey;
  // clang-format off
  const struct {
    uint8_t opcode;
    uint8_t scsiStatus;
    StarBurnStatus transport;
    SenseCodes codes;  // key 0xFF: no sense
    StarBurnStatus status;
  } rows[] = {
      {opcode::kTestUnitReady, kScsiCheckCondition, STARBURN_OK, {kNotReady, asc::kMediumNotPresent, 2}, STARBURN_STATUS_NOT_READY},
      {opcode::kBlank, kScsiCheckCondition, STARBURN_OK, {kIllegalRequest, asc::kIncompatibleMedium, 5}, STARBURN_STATUS_INCOMPATIBLE_MEDIUM},
      {opcode::kWrite10, kScsiCheckCondition, STARBURN_OK, {kIllegalRequest, asc::kAddress, kAscqLbaOutOfRange}, STARBURN_STATUS_NO_SPACE},
      {opcode::kRead10, kScsiCheckCondition, STARBURN_OK, {kIllegalRequest, asc::kAddress, kAscqLbaOutOfRange}, STARBURN_STATUS_COMMAND_FAILED},
      {opcode::kWrite10, kScsiCheckCondition, STARBURN_OK, {kIllegalRequest, asc::kAddress, kAscqInvalidWriteAddress}, STARBURN_STATUS_COMMAND_FAILED},
      {opcode::kWrite10, kScsiCheckCondition, STARBURN_OK, {kMediumError, asc::kWriteError, 0}, STARBURN_STATUS_COMMAND_FAILED},
      {opcode::kWrite10, kScsiCheckCondition, STARBURN_OK, {kDataProtect, asc::kWriteProtected, 0}, STARBURN_STATUS_INCOMPATIBLE_MEDIUM},
      {opcode::kSetCdSpeed, kScsiCheckCondition, STARBURN_OK, {kIllegalRequest, asc::kInvalidOpcode, 0}, STARBURN_STATUS_NOT_SUPPORTED},
      {opcode::kWrite10, kScsiCheckCondition, STARBURN_OK, {kVolumeOverflow, 0, 0}, STARBURN_STATUS_NO_SPACE},
      {opcode::kRead10, kScsiCheckCondition, STARBURN_OK, {kRecoveredError, 0x17, 0}, STARBURN_OK},
      {opcode::kWrite10, kScsiBusy, STARBURN_OK, {0xFF, 0, 0}, STARBURN_STATUS_DEVICE_BUSY},
      {opcode::kWrite10, kScsiCheckCondition, STARBURN_OK, {0xFF, 0, 0}, STARBURN_STATUS_COMMAND_FAILED},  // silent
      {opcode::kWrite10, kScsiGood, STARBURN_STATUS_DEVICE_GONE, {0xFF, 0, 0}, STARBURN_STATUS_DEVICE_GONE},
  };
  // clang-format on
  for (const auto& row : rows) {
    ScsiResult result;
    result.status = row.scsiStatus;
    result.transport = row.transport;
    if (row.codes.key != 0xFF) {
      // Room for exactly the 18 bytes of fixed-format sense.
      result.senseLength = EncodeSense(row.codes, result.sense.data(), 18);
    }
    EXPECT_EQ(StatusOf(row.opcode, result), row.status) << DescribeSense(row.codes);
  }
  // Descriptor-format sense gives the same codes.
  const uint8_t descriptor[8] = {0x72, kNotReady, asc::kNotReadyCause, 1, 0, 0, 0, 0};
  const SenseCodes codes = DecodeSense(descriptor, sizeof descriptor);
  EXPECT_EQ(codes.key, kNotReady);
  EXPECT_EQ(codes.ascq, 1);
  EXPECT_EQ(DescribeSense({kIllegalRequest, asc::kAddress, kAscqInvalidWriteAddress}),
            "ILLEGAL REQUEST, 21h/02h (invalid address for write)");
}

}  // namespace
