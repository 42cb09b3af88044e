// The SDK's drive and disc calls over virtual drives, read the way the
// library reads them: disc types, blank flags, space, the next writable
// address and erasable flag of the track-255 record, capacity, media formats,
// write modes; and the opens, discovery and registry calls.

#include <gtest/gtest.h>

#include <map>
#include <string>
#include <tuple>
#include <vector>

#include "DeviceCallsFixture.h"
#include "devices/Medium.h"

namespace {

using drivetest::DeviceCallsFixture;
using drivetest::Reading;
using starburn::FindMedium;
using starburn::kBlockSize;

class DeviceCallsTest : public DeviceCallsFixture {};

TEST_F(DeviceCallsTest, BlankDiscsOfEveryWritableMediumAsTheLibraryReadsThem) {
  const std::map<std::string, int32_t> codes = {{"cd-r", 2},    {"cd-rw", 3},     {"dvd-r", 5},
                                                {"dvd-ram", 6}, {"dvd-rw", 8},    {"dvd+rw", 9},
                                                {"dvd+r", 13},  {"dvd+r-dl", 15}, {"dvd-r-dl", 16},
                                                {"bd-r", 18},   {"bd-re", 19}};
  std::string list = "empty";
  for (const auto& [medium, code] : codes) list += ";" + medium + "=" + directory.File(medium);
  Attach(list);

  const Reading empty = Query("CdRom0", 'D');
  EXPECT_EQ(empty.discType, 14);
  EXPECT_FALSE(empty.hasLabel);

  int number = 1;
  for (const auto& [medium, code] : codes) {
    SCOPED_TRACE(medium);
    const Reading reading =
        Query("CdRom" + std::to_string(number), static_cast<char>('D' + number));
    ++number;
    const starburn::Medium& m = *FindMedium(medium);
    EXPECT_EQ(reading.discType, code);
    EXPECT_EQ(reading.blank, 1);
    EXPECT_EQ(reading.usedBytes, 0u);
    EXPECT_EQ(reading.freeBytes, uint64_t{m.capacity} * kBlockSize);
    EXPECT_EQ(reading.sessionStart, 0u);
    EXPECT_EQ(reading.erasable, m.erasable ? 1 : 0);
    EXPECT_EQ(reading.trackState, 1);  // nothing recorded in the next track
    EXPECT_FALSE(reading.hasLabel);    // no session to read a label from
    if (medium == "cd-r" || medium == "cd-rw") {
      EXPECT_EQ(reading.capacitySeconds, 359849 / 75);  // 79:59:74
    }
  }
}

TEST_F(DeviceCallsTest, PressedDiscsAndImagesFromOtherTools) {
  // An image without a sidecar: one closed session; pressed discs are complete.
  std::string data;
  for (uint32_t i = 0; i < 30; ++i) {
    const auto block = drivetest::ImageBlock(0, 30, "OTHER TOOL", i);
    data.append(block.begin(), block.end());
  }
  drivetest::WriteFile(directory.File("a.iso"), data);
  drivetest::WriteFile(directory.File("b.iso"), data);
  drivetest::WriteFile(directory.File("c.iso"), data);
  drivetest::WriteFile(directory.File("d.iso"), data);
  drivetest::WriteFile(directory.File("e.iso"), data);
  Attach("cd-rom=" + directory.File("a.iso") + ";cd-r=" + directory.File("b.iso") +
         ";dvd+rw=" + directory.File("c.iso") + ";dvd-rom=" + directory.File("d.iso") +
         ";bd-rom=" + directory.File("e.iso"));

  const Reading pressed = Query("CdRom0", 'D');
  EXPECT_EQ(pressed.discType, 1);
  EXPECT_EQ(pressed.blank, 0);
  EXPECT_EQ(pressed.usedBytes, 30u * kBlockSize);
  EXPECT_EQ(pressed.freeBytes, 0u);
  EXPECT_EQ(pressed.label, u"OTHER TOOL");
  EXPECT_EQ(pressed.erasable, 0);
  // Pressed DVDs and BDs alike: their type, complete, nothing to erase.
  for (const auto& [name, letter, code] :
       {std::make_tuple("CdRom3", 'G', 4), std::make_tuple("CdRom4", 'H', 17)}) {
    const Reading other = Query(name, letter);
    EXPECT_EQ(other.discType, code) << name;
    EXPECT_EQ(other.blank, 0) << name;
    EXPECT_EQ(other.freeBytes, 0u) << name;
    EXPECT_EQ(other.erasable, 0) << name;
  }

  const Reading appendable = Query("CdRom1", 'E');
  EXPECT_EQ(appendable.discType, 2);
  EXPECT_EQ(appendable.blank, 0);
  EXPECT_EQ(appendable.usedBytes, 30u * kBlockSize);
  EXPECT_EQ(appendable.sessionStart, 30u + 11400);  // after the first session's lead-out and gap
  EXPECT_EQ(appendable.label, u"OTHER TOOL");

  const Reading overwritable = Query("CdRom2", 'F');
  EXPECT_EQ(overwritable.discType, 9);
  EXPECT_EQ(overwritable.blank, 0);
  EXPECT_EQ(overwritable.usedBytes, 30u * kBlockSize);  // the volume's size
  EXPECT_EQ(overwritable.sessionStart, 32u);            // the next ECC block
  EXPECT_EQ(overwritable.erasable, 1);
  EXPECT_EQ(overwritable.label, u"OTHER TOOL");
}

TEST_F(DeviceCallsTest, MediaFormatsAndWriteModesOfAnAllMediaAndACdROnlyRecorder) {
  Attach("cd-r=" + directory.File("a.iso"));
  AttachRecorder("cd-r", directory.File("b.iso"), starburn::DriveModel::CdROnly());
  const Reading all = Query("CdRom0", 0);
  const std::vector<int> writes = {2, 4, 7, 9, 11, 15, 17, 21, 23, 26, 30};
  const std::vector<int> reads = {0, 1, 3, 5, 6, 8, 10, 14, 16, 20, 22, 24, 25, 29};
  for (int position = 0; position < STARBURN_MEDIA_FORMAT_COUNT; ++position) {
    const bool expected = std::count(writes.begin(), writes.end(), position) +
                              std::count(reads.begin(), reads.end(), position) >
                          0;
    EXPECT_EQ(all.formats[position], expected ? 1 : 0) << "position " << position;
  }
  EXPECT_EQ(std::vector<uint8_t>(all.writeModes, all.writeModes + 4),
            (std::vector<uint8_t>{1, 1, 0, 0}));  // packet (incremental) and track at once

  const Reading cdR = Query("CdRom1", 0);
  for (int position = 0; position < STARBURN_MEDIA_FORMAT_COUNT; ++position) {
    EXPECT_EQ(cdR.formats[position], position <= 2 ? 1 : 0) << "position " << position;
  }
  EXPECT_EQ(std::vector<uint8_t>(cdR.writeModes, cdR.writeModes + 4),
            (std::vector<uint8_t>{0, 1, 0, 0}));
}

TEST_F(DeviceCallsTest, DeviceInformationTrackRecordsAndBufferProtection) {
  Attach("cd-rw=" + directory.File("a.iso"));
  void* device = Open("CdRom0", 1);
  char vendor[1024], product[1024], revision[1024];
  uint32_t buffer = 0;
  ASSERT_EQ(StarBurn_CdvdBurnerGrabber_GetDeviceInformation(device, vendor, product, revision, 1024,
                                                            &buffer),
            STARBURN_OK);
  EXPECT_STREQ(vendor, "StarBurn");
  EXPECT_STREQ(product, "Virtual Recorder");
  EXPECT_STREQ(revision, "1.0");
  EXPECT_EQ(buffer, 4096u);
  char small[4];
  EXPECT_EQ(
      StarBurn_CdvdBurnerGrabber_GetDeviceInformation(device, small, small, small, 4, &buffer),
      STARBURN_STATUS_BUFFER_TOO_SMALL);

  uint8_t record[STARBURN_TRACK_INFORMATION_SIZE];
  ASSERT_EQ(StarBurn_CdvdBurnerGrabber_GetTrackInformation(device, text, sizeof text, &systemError,
                                                           &failure, 255, record, sizeof record),
            STARBURN_OK);
  EXPECT_EQ(record[0], 1);   // valid
  EXPECT_EQ(record[1], 1);   // the next track is track 1
  EXPECT_EQ(record[2], 1);   // of session 1
  EXPECT_EQ(record[6], 1);   // next writable address valid
  EXPECT_EQ(record[8], 2);   // invisible: nothing written yet
  EXPECT_EQ(record[10], 0);  // the disc is blank
  EXPECT_EQ(record[11], 1);  // erasable
  EXPECT_EQ(record[20] | record[21] << 8 | record[22] << 16, 359849);  // free blocks
  EXPECT_EQ(StarBurn_CdvdBurnerGrabber_GetTrackInformation(device, text, sizeof text, &systemError,
                                                           &failure, 7, record, sizeof record),
            STARBURN_STATUS_NOT_FOUND);
  EXPECT_EQ(StarBurn_CdvdBurnerGrabber_GetTrackInformation(device, text, sizeof text, &systemError,
                                                           &failure, 255, record, 20),
            STARBURN_STATUS_INVALID_ARGUMENT);
  EXPECT_STRNE(text, "");

  uint8_t enabled = 9;
  uint32_t supported = 9;
  ASSERT_EQ(StarBurn_CdvdBurnerGrabber_GetBUP(device, text, sizeof text, &systemError, &failure,
                                              &enabled, &supported),
            STARBURN_OK);
  EXPECT_EQ(enabled, 0);
  EXPECT_EQ(supported, 1u);
  ASSERT_EQ(StarBurn_CdvdBurnerGrabber_SetBUP(device, text, sizeof text, &systemError, &failure, 1),
            STARBURN_OK);
  ASSERT_EQ(StarBurn_CdvdBurnerGrabber_GetBUP(device, text, sizeof text, &systemError, &failure,
                                              &enabled, &supported),
            STARBURN_OK);
  EXPECT_EQ(enabled, 1);

  uint8_t fileSystem[4];
  EXPECT_EQ(StarBurn_CdvdBurnerGrabber_GetDiscFileSystem(device, text, sizeof text, &systemError,
                                                         &failure, fileSystem, 4),
            STARBURN_STATUS_NOT_FOUND);  // blank: no session
  uint8_t last = 0;
  EXPECT_EQ(StarBurn_CdvdBurnerGrabber_GetLastTrack(device, text, sizeof text, &systemError,
                                                    &failure, &last),
            STARBURN_STATUS_NOT_FOUND);
  uint32_t address = 9;
  EXPECT_EQ(StarBurn_CdvdBurnerGrabber_GetLastAddress(device, text, sizeof text, &systemError,
                                                      &failure, &address),
            STARBURN_OK);
  EXPECT_EQ(address, 0u);
}

TEST_F(DeviceCallsTest, OpensSharingAndTrayLocks) {
  Attach("cd-r=" + directory.File("a.iso") + ";empty");
  StarBurnStatus status = STARBURN_OK;
  EXPECT_EQ(Open("CdRom9", 1, nullptr, nullptr, &status), nullptr);
  EXPECT_EQ(status, STARBURN_STATUS_NO_DEVICE);

  void* reader = Open("cdrom0", 1);  // names compare without case
  ASSERT_NE(reader, nullptr);
  EXPECT_NE(Open("CdRom0", 1), nullptr);  // shared with shared
  EXPECT_EQ(Open("CdRom0", 0, nullptr, nullptr, &status), nullptr);
  EXPECT_EQ(status, STARBURN_STATUS_DEVICE_BUSY);
  EXPECT_NE(std::string(text).find("in use"), std::string::npos) << text;
  for (void*& handle : handles) StarBurn_Destroy(&handle);
  void* recorder = Open("CdRom0", 0);
  ASSERT_NE(recorder, nullptr);
  EXPECT_EQ(Open("CdRom0", 1, nullptr, nullptr, &status), nullptr);
  EXPECT_EQ(status, STARBURN_STATUS_DEVICE_BUSY);
  Close(recorder);

  // The erase's open: the tray locked, shared; a second lock is refused, the
  // retry without the lock gets in.
  const std::u16string name = u"CdRom0";
  void* first = nullptr;
  ASSERT_EQ(StarBurn_CdvdBurnerGrabber_CreateExEx(&first, text, sizeof text, &systemError, &failure,
                                                  nullptr, nullptr, name.c_str(), 1, 1),
            STARBURN_OK);
  handles.push_back(first);
  void* second = nullptr;
  EXPECT_EQ(StarBurn_CdvdBurnerGrabber_CreateExEx(&second, text, sizeof text, &systemError,
                                                  &failure, nullptr, nullptr, name.c_str(), 1, 1),
            STARBURN_STATUS_DEVICE_BUSY);
  ASSERT_EQ(StarBurn_CdvdBurnerGrabber_CreateExEx(&second, text, sizeof text, &systemError,
                                                  &failure, nullptr, nullptr, name.c_str(), 0, 1),
            STARBURN_OK);
  handles.push_back(second);
  // The locked tray does not open for the other handle; the locking one ejects.
  EXPECT_EQ(StarBurn_CdvdBurnerGrabber_Eject(second, text, sizeof text, &systemError, &failure),
            STARBURN_STATUS_COMMAND_FAILED);
  EXPECT_EQ(failure.asc, 0x53);
  EXPECT_EQ(StarBurn_CdvdBurnerGrabber_Eject(first, text, sizeof text, &systemError, &failure),
            STARBURN_OK);
  EXPECT_EQ(StarBurn_CdvdBurnerGrabber_GetInsertedDiscType(second), 14);  // tray open

  // By SCSI address.
  void* byAddress = nullptr;
  EXPECT_EQ(StarBurn_CdvdBurnerGrabber_Create(&byAddress, text, sizeof text, &systemError, &failure,
                                              nullptr, nullptr, 0xFF, 0, 1, 0, 1),
            STARBURN_OK);
  EXPECT_EQ(StarBurn_CdvdBurnerGrabber_GetInsertedDiscType(byAddress), 14);  // the empty drive
  StarBurn_Destroy(&byAddress);

  // Nothing opens before the SDK is started.
  for (void*& handle : handles) StarBurn_Destroy(&handle);
  ASSERT_EQ(StarBurn_DownShut(), STARBURN_OK);
  EXPECT_EQ(Open("CdRom0", 1, nullptr, nullptr, &status), nullptr);
  EXPECT_EQ(status, STARBURN_STATUS_NOT_STARTED);
  ASSERT_EQ(StarBurn_UpStartEx(text, sizeof text), STARBURN_OK);
}

TEST_F(DeviceCallsTest, DiscoveryDeviceNamesAndLetters) {
  Attach("cd-r=" + directory.File("a.iso") + ";empty;bd-re=" + directory.File("c.iso"));
  std::vector<std::vector<uint8_t>> found;
  ASSERT_EQ(StarBurn_FindDevice(
                STARBURN_PERIPHERAL_CDROM, 0,
                [](uint32_t number, void* context, void* data, void*) {
                  if (number != STARBURN_NOTIFY_DEVICE_FOUND) return;
                  const auto* bytes = static_cast<uint8_t*>(data);
                  static_cast<std::vector<std::vector<uint8_t>>*>(context)->emplace_back(
                      bytes, bytes + STARBURN_DEVICE_ADDRESS_SIZE);
                },
                &found),
            STARBURN_OK);
  ASSERT_EQ(found.size(), 3u);
  for (uint8_t i = 0; i < 3; ++i) {
    EXPECT_EQ(found[i], (std::vector<uint8_t>{i, 0xFF, 0, i, 0}));
    char path[16];
    ASSERT_EQ(StarBurn_GetDeviceNameByDeviceAddress(found[i][1], found[i][2], found[i][3],
                                                    found[i][4], path, sizeof path),
              STARBURN_OK);
    EXPECT_EQ(std::string(path), std::string("\\\\.\\") + static_cast<char>('D' + i) + ":");
    char target[64];
    ASSERT_EQ(StarBurn_GetDeviceTargetByLetter(static_cast<char>('d' + i), target, sizeof target),
              STARBURN_OK);
    EXPECT_EQ(std::string(target), "\\Device\\CdRom" + std::to_string(i));
  }
  char target[64];
  EXPECT_EQ(StarBurn_GetDeviceTargetByLetter('G', target, sizeof target),
            STARBURN_STATUS_NO_DEVICE);
  EXPECT_EQ(StarBurn_GetDeviceTargetByLetter('D', target, 5), STARBURN_STATUS_BUFFER_TOO_SMALL);
  EXPECT_EQ(StarBurn_FindDevice(
                0x1F, 0, [](uint32_t, void*, void*, void*) { FAIL(); }, nullptr),
            STARBURN_OK);

  // Drives attached later follow, with the next names and letters.
  Attach("dvd+r=" + directory.File("d.iso"));
  char path[16];
  ASSERT_EQ(StarBurn_GetDeviceNameByDeviceAddress(0xFF, 0, 3, 0, path, sizeof path), STARBURN_OK);
  EXPECT_STREQ(path, "\\\\.\\G:");

  char driver[64], layer[64];
  uint32_t version = 0;
  EXPECT_EQ(StarBurn_SPTD_GetVersion(driver, sizeof driver, layer, sizeof layer, &version),
            STARBURN_OK);
}

}  // namespace
