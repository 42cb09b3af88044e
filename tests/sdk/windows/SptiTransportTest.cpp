// The SPTI transport and the drive discovery on Windows against a scripted
// system: how commands are handed to the pass-through (direction, lengths,
// timeouts in seconds, the sense room), what comes back (status, sense, short
// transfers), system errors as statuses and words, and the drive letters the
// discovery finds, with a burn and an erase through a found drive that reach
// the disc.

#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <vector>

#include "../SdkTestSupport.h"
#include "devices/DeviceRegistry.h"
#include "mmc/Cdb.h"
#include "mmc/MmcDrive.h"
#include "windows/DriveDiscovery.h"
#include "windows/SptiTransport.h"

namespace {

using namespace starburn;

// A scripted Windows: drive letters with their types, volumes that open (or
// refuse with an error) and take pass-through requests, answered by an
// emulated recorder where one is behind the volume and otherwise by
// answer. Keeps every request it was handed. One thread.
class SptiSystemDouble : public SptiSystem {
 public:
  struct Volume {
    unsigned type = DRIVE_CDROM;
    DWORD openError = 0;
    bool addressKnown = true;
    SCSI_ADDRESS address{};
    std::shared_ptr<DriveBackend> drive;
    // Answers a request itself: the error to return (0: done).
    std::function<DWORD(SptiRequest*)> answer = [](SptiRequest*) { return DWORD{0}; };
  };

  uint32_t LogicalDrives() override {
    uint32_t mask = 0;
    for (const auto& entry : volumes) mask |= 1u << (entry.first - 'A');
    return mask;
  }
  unsigned DriveType(char letter) override { return volumes[letter].type; }
  HANDLE Open(const std::wstring& path, bool exclusive, DWORD* error) override {
    const char letter = static_cast<char>(path.at(4));
    Volume& volume = volumes[letter];
    opens.emplace_back(std::string(path.begin(), path.end()), exclusive);
    *error = volume.openError;
    if (*error != 0) return INVALID_HANDLE_VALUE;
    OpenVolume& made = open[++last];
    made.letter = letter;
    std::string problem;
    if (volume.drive && volume.drive->Open(exclusive, &made.path, &problem) != STARBURN_OK) {
      open.erase(last);
      *error = ERROR_SHARING_VIOLATION;
      return INVALID_HANDLE_VALUE;
    }
    return reinterpret_cast<HANDLE>(last);
  }
  void Close(HANDLE handle) override { open.erase(reinterpret_cast<intptr_t>(handle)); }
  DWORD PassThrough(HANDLE handle, SptiRequest* request) override {
    requests.push_back(*request);
    OpenVolume& at = open.at(reinterpret_cast<intptr_t>(handle));
    if (!at.path) return volumes[at.letter].answer(request);
    return Forward(*at.path, request);
  }
  DWORD Address(HANDLE handle, SCSI_ADDRESS* address) override {
    const Volume& volume = volumes[open.at(reinterpret_cast<intptr_t>(handle)).letter];
    if (!volume.addressKnown) return ERROR_INVALID_FUNCTION;
    *address = volume.address;
    return 0;
  }

  std::map<char, Volume> volumes;
  std::vector<SptiRequest> requests;
  std::vector<std::pair<std::string, bool>> opens;  // path, exclusive

 private:
  struct OpenVolume {
    char letter = 0;
    std::unique_ptr<ScsiTransport> path;
  };

  // The request as the port driver completes it from what the drive did.
  static DWORD Forward(ScsiTransport& path, SptiRequest* request) {
    SCSI_PASS_THROUGH_DIRECT& header = request->header;
    ScsiCommand command;
    std::copy(header.Cdb, header.Cdb + header.CdbLength, command.cdb.begin());
    command.cdbLength = header.CdbLength;
    command.direction = header.DataIn == SCSI_IOCTL_DATA_IN    ? DataDirection::kFromDevice
                        : header.DataIn == SCSI_IOCTL_DATA_OUT ? DataDirection::kToDevice
                                                               : DataDirection::kNone;
    command.data = static_cast<uint8_t*>(header.DataBuffer);
    command.length = header.DataTransferLength;
    command.timeoutMs = header.TimeOutValue * 1000;
    const ScsiResult result = path.Execute(command);
    if (result.transport == STARBURN_STATUS_DEVICE_GONE) return ERROR_DEVICE_NOT_CONNECTED;
    header.ScsiStatus = result.status;
    header.SenseInfoLength = std::min<UCHAR>(result.senseLength, header.SenseInfoLength);
    std::copy(result.sense.begin(), result.sense.begin() + header.SenseInfoLength, request->sense);
    header.DataTransferLength = result.transferred;
    return 0;
  }

  intptr_t last = 0x100;
  std::map<intptr_t, OpenVolume> open;
};

class SptiTransportTest : public testing::Test {
 protected:
  void SetUp() override {
    std::string reason;
    ASSERT_EQ(OpenDriveVolume(system, 'E', false, &transport, &reason), STARBURN_OK) << reason;
    mmc = std::make_unique<MmcDrive>(*transport);
  }

  std::shared_ptr<SptiSystemDouble> system = std::make_shared<SptiSystemDouble>();
  std::unique_ptr<SptiTransport> transport;
  std::unique_ptr<MmcDrive> mmc;
};

// One row per class of command: the direction, length and timeout (whole
// seconds, rounded up) it reaches the pass-through with.
TEST_F(SptiTransportTest, CommandsReachThePassThroughWithDirectionLengthAndTimeout) {
  EXPECT_EQ(system->opens.back(), std::make_pair(std::string("\\\\.\\E:"), false));
  std::vector<uint8_t> blocks(std::size_t{2} * kBlockSize, 0x5A);
  const struct {
    const char* name;
    std::function<StarBurnStatus()> run;
    UCHAR dataIn;
    ULONG length, seconds;
  } rows[] = {
      // clang-format off
      {"TEST UNIT READY", [&] { return mmc->TestUnitReady(); }, SCSI_IOCTL_DATA_UNSPECIFIED, 0, kQueryTimeoutMs / 1000},
      {"READ(10)", [&] { return mmc->Read(300, 2, blocks.data()); }, SCSI_IOCTL_DATA_IN, 2 * kBlockSize, kTransferTimeoutMs / 1000},
      {"WRITE(10)", [&] { return mmc->Write(40, 2, blocks.data()); }, SCSI_IOCTL_DATA_OUT, 2 * kBlockSize, kWriteTimeoutMs / 1000},
      {"BLANK", [&] { return mmc->Blank(kBlankFull); }, SCSI_IOCTL_DATA_UNSPECIFIED, 0, kBlankTimeoutMs / 1000},
      // clang-format on
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.name);
    const std::size_t from = system->requests.size();
    ASSERT_EQ(row.run(), STARBURN_OK);
    const SCSI_PASS_THROUGH_DIRECT& sent = system->requests.at(from).header;
    EXPECT_STREQ(CommandName(sent.Cdb[0]), row.name);
    EXPECT_EQ(sent.Length, sizeof(SCSI_PASS_THROUGH_DIRECT));
    EXPECT_EQ(sent.DataIn, row.dataIn);
    EXPECT_EQ(sent.DataTransferLength, row.length);
    EXPECT_EQ(sent.DataBuffer, row.length != 0 ? blocks.data() : nullptr);
    EXPECT_EQ(sent.TimeOutValue, row.seconds);
    EXPECT_EQ(sent.SenseInfoLength, kMaxSenseLength);
    EXPECT_EQ(sent.SenseInfoOffset, offsetof(SptiRequest, sense));
  }
  EXPECT_EQ(std::vector<UCHAR>(system->requests[1].header.Cdb, system->requests[1].header.Cdb + 10),
            (std::vector<UCHAR>{0x28, 0, 0, 0, 0x01, 0x2C, 0, 0, 2, 0}));
}

TEST_F(SptiTransportTest, StatusSenseAndShortTransfersComeBackAsTheDriveSentThem) {
  const std::vector<uint8_t> sense = {0x70, 0, sensekey::kMediumError, 0, 0, 0, 0, 10, 0, 0,
                                      0,    0, asc::kWriteError,       2, 0, 0, 0, 0};
  system->volumes['E'].answer = [&](SptiRequest* request) {
    request->header.ScsiStatus = kScsiCheckCondition;
    request->header.SenseInfoLength = static_cast<UCHAR>(sense.size());
    std::copy(sense.begin(), sense.end(), request->sense);
    return DWORD{0};
  };
  std::vector<uint8_t> block(kBlockSize);
  EXPECT_EQ(mmc->Write(7, 1, block.data()), STARBURN_STATUS_COMMAND_FAILED);
  const StarBurnCommandFailure& record = mmc->LastFailure().record;
  EXPECT_EQ(record.scsiStatus, kScsiCheckCondition);
  EXPECT_EQ(std::vector<uint8_t>(record.sense, record.sense + record.senseLength), sense);

  // A read the drive ended early counts only what came.
  system->volumes['E'].answer = [](SptiRequest* request) {
    request->header.DataTransferLength = 100;
    return DWORD{0};
  };
  ScsiCommand command;
  command.cdbLength = 10;
  command.direction = DataDirection::kFromDevice;
  command.data = block.data();
  command.length = kBlockSize;
  EXPECT_EQ(transport->Execute(command).transferred, 100u);
}

// A request that did not reach the drive, and a volume that does not open:
// the status and the words a person can act on.
TEST(SptiErrorsTest, SystemErrorsAreStatusesWithWords) {
  const struct {
    DWORD error;
    StarBurnStatus command, open;
    const char* words;  // of the open's reason
  } rows[] = {
      // clang-format off
      {ERROR_DEVICE_NOT_CONNECTED, STARBURN_STATUS_DEVICE_GONE, STARBURN_STATUS_NO_DEVICE, "no drive answers there"},
      {ERROR_SHARING_VIOLATION, STARBURN_STATUS_DEVICE_BUSY, STARBURN_STATUS_DEVICE_BUSY, "another program has the drive open"},
      {ERROR_ACCESS_DENIED, STARBURN_STATUS_PERMISSION_DENIED, STARBURN_STATUS_PERMISSION_DENIED, "may need an administrator"},
      {ERROR_SEM_TIMEOUT, STARBURN_STATUS_TIMEOUT, STARBURN_STATUS_FAILED, "cannot be opened (system error 121)"},
      {ERROR_INVALID_FUNCTION, STARBURN_STATUS_NOT_SUPPORTED, STARBURN_STATUS_FAILED, "cannot be opened"},
      {ERROR_IO_DEVICE, STARBURN_STATUS_COMMAND_FAILED, STARBURN_STATUS_FAILED, "cannot be opened"},
      // clang-format on
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.error);
    auto system = std::make_shared<SptiSystemDouble>();
    system->volumes['E'].answer = [&](SptiRequest*) { return row.error; };
    std::unique_ptr<SptiTransport> transport;
    std::string reason;
    ASSERT_EQ(OpenDriveVolume(system, 'E', true, &transport, &reason), STARBURN_OK);
    EXPECT_EQ(system->opens.back().second, true);
    const ScsiResult result = transport->Execute(ScsiCommand{});
    EXPECT_EQ(result.transport, row.command);
    EXPECT_EQ(result.systemError, row.error);
    system->volumes['F'].openError = row.error;
    EXPECT_EQ(OpenDriveVolume(system, 'F', false, &transport, &reason), row.open);
    EXPECT_EQ(reason.rfind("\\\\.\\F: ", 0), 0u) << reason;  // the volume first
    EXPECT_NE(reason.find(row.words), std::string::npos) << reason;
  }
}

// The optical letters the system lists, each examined: the usable ones keep
// their letters after the virtual drive (which takes a letter the system does
// not use), the others say why; a burn and an erase through a found drive
// reach its disc.
class SptiDiscoveryTest : public sdktest::SdkFixture {};

TEST_F(SptiDiscoveryTest, OpticalLettersAreFoundUnderTheirOwnLettersAndWrite) {
  auto system = std::make_shared<SptiSystemDouble>();
  std::shared_ptr<EmulatedRecorder> recorder;
  std::string error;
  ASSERT_EQ(EmulatedRecorder::Create(FindMedium("cd-rw"), directory.File("z.iso"),
                                     DriveModel::AllMedia(), &recorder, &error),
            STARBURN_OK);
  // Z: is the last letter, so that the virtual drive, which takes the first
  // free one of the system this runs on, never takes the scripted drive's.
  system->volumes['C'].type = DRIVE_FIXED;
  system->volumes['X'].openError = ERROR_ACCESS_DENIED;
  system->volumes['Y'];  // answers INQUIRY with zeros: a direct-access device
  system->volumes['Z'].drive = recorder;
  system->volumes['Z'].address = {sizeof(SCSI_ADDRESS), 1, 0, 2, 0};
  const Discovery found = DiscoverDrives(system);
  ASSERT_EQ(found.drives.size(), 1u);
  EXPECT_EQ(found.drives[0].node, "\\\\.\\Z:");
  EXPECT_EQ(found.drives[0].letter, 'Z');
  EXPECT_EQ(found.drives[0].address, (ScsiAddress{1, 0, 2, 0}));
  ASSERT_EQ(found.skipped.size(), 2u);
  EXPECT_EQ(found.skipped[0].status, STARBURN_STATUS_PERMISSION_DENIED);
  EXPECT_EQ(found.skipped[1].reason, "\\\\.\\Y: is not a CD/DVD/BD device (peripheral type 0)");

  Attach("dvd+r=" + directory.File("v.iso"));
  DeviceRegistry::Instance().AttachDiscovered(found);
  const auto drives = DeviceRegistry::Instance().Drives();
  ASSERT_EQ(drives.size(), 2u);
  EXPECT_EQ(SystemDriveLetters() & (1u << (drives[0]->Letter() - 'A')), 0u) << "a letter in use";
  EXPECT_EQ(drives[1]->Letter(), 'Z');

  ASSERT_EQ(Burn(drives[1]->Name(), 0, 400, "SPTI"), STARBURN_OK) << recordText;
  EXPECT_EQ(sdktest::ImageFileBlock(directory.File("z.iso"), 100),
            sdktest::ImageBlock(0, 400, "SPTI", 100));
  void* device = Open(drives[1]->Name(), 0);
  ASSERT_NE(device, nullptr) << text;
  EXPECT_EQ(Call(StarBurn_CdvdBurnerGrabber_Blank, device, 1), STARBURN_OK) << text;
  uint8_t blank = 0;
  EXPECT_EQ(Call(StarBurn_CdvdBurnerGrabber_IsDiscBlank, device, &blank), STARBURN_OK);
  EXPECT_EQ(blank, 1);
}

}  // namespace
