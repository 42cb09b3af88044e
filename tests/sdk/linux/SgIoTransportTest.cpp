// The SG_IO transport against a scripted kernel: how commands are handed to
// the kernel (direction, lengths, timeouts, the sense room), what comes back
// (status, sense, short transfers), a drive that vanishes or stops answering,
// and long operations polled until the drive is done.

#include <fcntl.h>
#include <gtest/gtest.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "../SdkTestSupport.h"
#include "SgIoKernelDouble.h"
#include "devices/DeviceRegistry.h"
#include "linux/DriveDiscovery.h"
#include "linux/SgIoTransport.h"
#include "linux/SgSystem.h"
#include "mmc/Cdb.h"
#include "mmc/MmcDrive.h"

namespace {

using namespace starburn;
using sdktest::SgIoKernelDouble;

// Fills sense into the header as the kernel does for CHECK CONDITION.
void PutSense(sg_io_hdr_t* header, const std::vector<uint8_t>& sense) {
  header->status = kScsiCheckCondition;
  header->driver_status = sdktest::kDriverSense;
  header->sb_len_wr =
      static_cast<unsigned char>(std::min<std::size_t>(sense.size(), header->mx_sb_len));
  std::memcpy(header->sbp, sense.data(), header->sb_len_wr);
}

std::vector<uint8_t> FixedSense(uint8_t key, uint8_t asc, uint8_t ascq, uint8_t format = 0x70) {
  std::vector<uint8_t> sense(18, 0);
  sense[0] = format;
  sense[2] = key;
  sense[7] = 10;
  sense[12] = asc;
  sense[13] = ascq;
  return sense;
}

class SgIoTransportTest : public testing::Test {
 protected:
  void SetUp() override {
    node = &kernel->AddNode("sr0");
    // By default every command completes whole, and REQUEST SENSE has nothing to say.
    node->intercept = [](sg_io_hdr_t* header, int*) {
      header->resid = 0;
      return true;
    };
    std::string reason;
    ASSERT_EQ(OpenDriveNode(kernel, "/dev/sr0", false, &transport, &reason), STARBURN_OK) << reason;
    mmc = std::make_unique<MmcDrive>(*transport);
  }

  const SgIoKernelDouble::Call& Last() const { return kernel->journal.back(); }

  std::shared_ptr<SgIoKernelDouble> kernel = std::make_shared<SgIoKernelDouble>();
  SgIoKernelDouble::Node* node = nullptr;
  std::unique_ptr<SgIoTransport> transport;
  std::unique_ptr<MmcDrive> mmc;
};

// One row per class of command: the direction and length it is handed to the
// kernel with and its timeout. The long operations go with IMMED, then
// REQUEST SENSE asks whether they are done.
TEST_F(SgIoTransportTest, CommandsReachTheKernelWithDirectionLengthsAndTheirClassTimeout) {
  EXPECT_EQ(kernel->opens.back().second & (O_RDWR | O_NONBLOCK | O_EXCL), O_RDWR | O_NONBLOCK);
  std::vector<uint8_t> blocks(std::size_t{2} * kBlockSize);
  for (std::size_t i = 0; i < blocks.size(); ++i) blocks[i] = static_cast<uint8_t>(i * 7);
  const struct {
    const char* name;
    std::function<StarBurnStatus()> run;
    int direction;
    uint32_t length, timeoutMs;
    uint8_t immediateByte, immediateBit;  // IMMED: CDB byte 1, or the format header's
  } rows[] = {
      // clang-format off
      {"TEST UNIT READY", [&] { return mmc->TestUnitReady(); }, SG_DXFER_NONE, 0, kQueryTimeoutMs, 0, 0},
      {"READ(10)", [&] { return mmc->Read(300, 2, blocks.data()); }, SG_DXFER_FROM_DEV, 2 * kBlockSize, kTransferTimeoutMs, 0, 0},
      {"WRITE(10)", [&] { return mmc->Write(40, 2, blocks.data()); }, SG_DXFER_TO_DEV, 2 * kBlockSize, kWriteTimeoutMs, 0, 0},
      {"BLANK", [&] { return mmc->Blank(kBlankFull); }, SG_DXFER_NONE, 0, kBlankTimeoutMs, 1, 0x10},
      {"SYNCHRONIZE CACHE", [&] { return mmc->SynchronizeCache(); }, SG_DXFER_NONE, 0, kFlushTimeoutMs, 1, 0x02},
      {"CLOSE TRACK/SESSION", [&] { return mmc->CloseTrackSession(kCloseTrack, 1); }, SG_DXFER_NONE, 0, kCloseTimeoutMs, 1, 0x01},
      {"FORMAT UNIT", [&] { return mmc->FormatUnit(0xFFFFFFFF, kFormatDvdPlusRw, 0); }, SG_DXFER_TO_DEV, kFormatParameterLength, kFormatTimeoutMs, 1, 0x02},
      // clang-format on
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.name);
    const std::size_t from = kernel->journal.size();
    ASSERT_EQ(row.run(), STARBURN_OK);
    const SgIoKernelDouble::Call& sent = kernel->journal[from];
    EXPECT_EQ(sent.interfaceId, 'S');
    EXPECT_EQ(sent.direction, row.direction);
    EXPECT_EQ(sent.length, row.length);
    EXPECT_EQ(sent.hasBuffer, row.length != 0);
    EXPECT_EQ(sent.timeoutMs, row.timeoutMs);
    EXPECT_EQ(sent.senseRoom, kMaxSenseLength);
    if (row.immediateBit == 0) {
      EXPECT_EQ(kernel->Commands(from), std::vector<std::string>{row.name});
      continue;
    }
    ASSERT_EQ(kernel->Commands(from), (std::vector<std::string>{row.name, "REQUEST SENSE"}));
    const bool inList = sent.Opcode() == opcode::kFormatUnit;
    const uint8_t flags = inList ? sent.dataOut.at(row.immediateByte) : sent.cdb[row.immediateByte];
    EXPECT_EQ(flags & row.immediateBit, row.immediateBit);
    EXPECT_EQ(Last().direction, SG_DXFER_FROM_DEV);
    EXPECT_EQ(Last().length, kMaxSenseLength);
  }
  EXPECT_EQ(kernel->journal[0].cdb, std::vector<uint8_t>(6, 0));
  EXPECT_EQ(kernel->journal[1].cdb, (std::vector<uint8_t>{0x28, 0, 0, 0, 0x01, 0x2C, 0, 0, 2, 0}));
  EXPECT_EQ(kernel->journal[2].dataOut, blocks);  // the caller's bytes, as they are
}

TEST_F(SgIoTransportTest, TheDrivesStatusAndSenseComeBackAsTheDriveSentThem) {
  const std::vector<uint8_t> medium = FixedSense(sensekey::kMediumError, asc::kWriteError, 0x02);
  node->intercept = [&](sg_io_hdr_t* header, int*) {
    PutSense(header, medium);
    return true;
  };
  std::vector<uint8_t> block(kBlockSize);
  EXPECT_EQ(mmc->Write(7, 1, block.data()), STARBURN_STATUS_COMMAND_FAILED);
  const StarBurnCommandFailure& record = mmc->LastFailure().record;
  EXPECT_EQ(record.scsiStatus, kScsiCheckCondition);
  EXPECT_EQ(record.senseKey, sensekey::kMediumError);
  EXPECT_EQ(record.asc, asc::kWriteError);
  EXPECT_EQ(record.ascq, 0x02);
  ASSERT_EQ(record.senseLength, medium.size());
  EXPECT_EQ(std::vector<uint8_t>(record.sense, record.sense + record.senseLength), medium);
  EXPECT_EQ(record.cdb[0], opcode::kWrite10);

  // Sense reported with a status byte already cleared still fails the command.
  node->intercept = [&](sg_io_hdr_t* header, int*) {
    PutSense(header, FixedSense(sensekey::kNotReady, asc::kMediumNotPresent, 0x01));
    header->status = kScsiGood;
    return true;
  };
  EXPECT_EQ(mmc->TestUnitReady(), STARBURN_STATUS_NOT_READY);
}

TEST_F(SgIoTransportTest, ShortTransfersCountOnlyWhatCame) {
  uint32_t resid = 0;
  node->intercept = [&](sg_io_hdr_t* header, int*) {
    header->resid = static_cast<int>(resid);
    return true;
  };
  ScsiCommand command;
  const Cdb inquiry = InquiryCdb(kInquiryLength);
  command.cdb = inquiry.bytes;
  command.cdbLength = inquiry.length;
  command.direction = DataDirection::kFromDevice;
  std::vector<uint8_t> answer(kInquiryLength);
  command.data = answer.data();
  command.length = kInquiryLength;
  for (const uint32_t missing : {0u, 16u, 36u, 136u}) {  // all, some, none, nonsense
    resid = missing;
    EXPECT_EQ(transport->Execute(command).transferred, kInquiryLength - std::min(missing, 36u))
        << missing;
  }
  // A read that brings half of its blocks is not taken for a whole one.
  resid = kBlockSize;
  std::vector<uint8_t> blocks(std::size_t{2} * kBlockSize);
  EXPECT_EQ(mmc->Read(0, 2, blocks.data()), STARBURN_STATUS_COMMAND_FAILED);
  EXPECT_NE(mmc->LastFailure().message.find("too short"), std::string::npos);
}

TEST_F(SgIoTransportTest, AVanishedOrSilentDriveIsAStatusNotASense) {
  struct Case {
    const char* what;
    int rc;               // what the ioctl answers
    uint16_t hostStatus;  // what the kernel put in the header
    uint16_t driverStatus;
    StarBurnStatus status;
    uint32_t systemError;
  };
  const Case cases[] = {
      {"unplugged before the command", -ENODEV, 0, 0, STARBURN_STATUS_DEVICE_GONE, ENODEV},
      {"its driver went away", -ENXIO, 0, 0, STARBURN_STATUS_DEVICE_GONE, ENXIO},
      {"gone during the command", 0, sdktest::kHostNoConnect, 0, STARBURN_STATUS_DEVICE_GONE,
       ENODEV},
      {"removed target", 0, 0x04, 0, STARBURN_STATUS_DEVICE_GONE, ENODEV},
      {"no answer in time", 0, sdktest::kHostTimeOut, 0, STARBURN_STATUS_TIMEOUT, ETIMEDOUT},
      {"the driver timed out", 0, 0, 0x06, STARBURN_STATUS_TIMEOUT, ETIMEDOUT},
      {"bus reset", 0, 0x08, 0, STARBURN_STATUS_COMMAND_FAILED, EIO},
      {"a write through a read-only descriptor", -EPERM, 0, 0, STARBURN_STATUS_PERMISSION_DENIED,
       EPERM},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    node->intercept = [&](sg_io_hdr_t* header, int* rc) {
      header->host_status = c.hostStatus;
      header->driver_status = c.driverStatus;
      *rc = c.rc;
      return true;
    };
    std::vector<uint8_t> block(kBlockSize);
    EXPECT_EQ(mmc->Write(100, 1, block.data()), c.status);
    EXPECT_EQ(mmc->LastFailure().systemError, c.systemError);
    EXPECT_FALSE(mmc->LastFailure().fromDrive);
    EXPECT_NE(mmc->LastFailure().message.find("WRITE(10): /dev/sr0: "), std::string::npos)
        << mmc->LastFailure().message;
  }
}

TEST_F(SgIoTransportTest, LongOperationsArePolledWithTheirProgressAndEndWithTheDrivesVerdict) {
  // The drive blanks for three polls, reporting 25%, 50% and 75% in
  // fixed-format sense and then in descriptor-format sense, and is then done.
  std::vector<std::vector<uint8_t>> answers;
  for (uint16_t progress : {0x4000, 0x8000}) {
    auto sense = FixedSense(sensekey::kNotReady, asc::kNotReadyCause, kAscqOperationInProgress);
    sense[15] = 0x80;
    sense[16] = static_cast<uint8_t>(progress >> 8);
    answers.push_back(sense);
  }
  answers.push_back({0x72, sensekey::kNotReady, asc::kNotReadyCause, kAscqOperationInProgress, 0, 0,
                     0, 8, 0x02, 6, 0, 0, 0x80, 0xC0, 0x00, 0});
  answers.push_back(std::vector<uint8_t>(18, 0));
  std::size_t polls = 0;
  node->intercept = [&](sg_io_hdr_t* header, int*) {
    if (header->cmdp[0] == opcode::kRequestSense) {
      const auto& answer = answers.at(std::min(polls++, answers.size() - 1));
      std::memcpy(header->dxferp, answer.data(), answer.size());
      header->resid = static_cast<int>(header->dxfer_len - answer.size());
    }
    return true;
  };
  std::vector<uint32_t> seen;
  ASSERT_EQ(mmc->Blank(kBlankFull,
                       [&](const SenseReport& report) {
                         EXPECT_TRUE(report.hasProgress);
                         seen.push_back(report.progress);
                       }),
            STARBURN_OK);
  EXPECT_EQ(seen, (std::vector<uint32_t>{0x4000, 0x8000, 0xC000}));
  EXPECT_EQ(kernel->Commands(), (std::vector<std::string>{"BLANK", "REQUEST SENSE", "REQUEST SENSE",
                                                          "REQUEST SENSE", "REQUEST SENSE"}));

  // A drive that failed the operation says so when it ends: a deferred error,
  // reported as the BLANK's failure.
  const std::vector<uint8_t> deferred =
      FixedSense(sensekey::kMediumError, asc::kWriteError, 0, /*format=*/0x71);
  answers = {deferred};
  polls = 0;
  EXPECT_EQ(mmc->Blank(kBlankMinimal), STARBURN_STATUS_COMMAND_FAILED);
  const CommandFailure& failure = mmc->LastFailure();
  EXPECT_TRUE(failure.fromDrive);
  EXPECT_EQ(failure.record.cdb[0], opcode::kBlank);
  EXPECT_EQ(failure.record.senseKey, sensekey::kMediumError);
  EXPECT_EQ(std::vector<uint8_t>(failure.record.sense, failure.record.sense + 18), deferred);
  EXPECT_EQ(failure.message.rfind("BLANK failed: MEDIUM ERROR", 0), 0u) << failure.message;
}

}  // namespace
