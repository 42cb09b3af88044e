// The SDK's drive and disc calls over virtual drives, read the way the
// library reads them: disc types, blank flags, space, the next writable
// address and erasable flag of the track-255 record, capacity, media formats,
// write modes; the opens, discovery and registry calls; start-up counting,
// handle release and error texts.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "SdkTestSupport.h"
#include "common/ErrorOut.h"
#include "devices/Medium.h"

namespace {

using sdktest::Reading;
using starburn::FindMedium;
using starburn::kBlockSize;

class DeviceCallsTest : public sdktest::SdkFixture {};

// What the library's drive query reads, per medium: blank discs of every
// writable kind, and images another tool made (no state file: one closed
// session; pressed discs are complete).
struct QueryRow {
  const char* medium;
  uint32_t written;  // blocks of the other tool's image; 0: a blank disc
  int32_t discType;
  uint8_t blank, erasable;
  uint32_t sessionStart;
  bool free;              // free space: the capacity after sessionStart; else none
  const char16_t* label;  // nullptr: none
};

TEST_F(DeviceCallsTest, WhatTheQueryReadsPerMediumAndDisc) {
  // clang-format off
  const QueryRow rows[] = {
      {"empty", 0, 14, 0, 0, 0, false, nullptr},
      {"cd-r", 0, 2, 1, 0, 0, true, nullptr},
      {"cd-rw", 0, 3, 1, 1, 0, true, nullptr},
      {"dvd-r", 0, 5, 1, 0, 0, true, nullptr},
      {"dvd-ram", 0, 6, 1, 1, 0, true, nullptr},
      {"dvd-rw", 0, 8, 1, 1, 0, true, nullptr},
      {"dvd+rw", 0, 9, 1, 1, 0, true, nullptr},
      {"dvd+r", 0, 13, 1, 0, 0, true, nullptr},
      {"dvd+r-dl", 0, 15, 1, 0, 0, true, nullptr},
      {"dvd-r-dl", 0, 16, 1, 0, 0, true, nullptr},
      {"bd-r", 0, 18, 1, 0, 0, true, nullptr},
      {"bd-re", 0, 19, 1, 1, 0, true, nullptr},
      {"cd-rom", 30, 1, 0, 0, 0, false, u"OTHER TOOL"},
      {"dvd-rom", 30, 4, 0, 0, 0, false, u"OTHER TOOL"},
      {"bd-rom", 30, 17, 0, 0, 0, false, u"OTHER TOOL"},
      {"cd-r", 30, 2, 0, 0, 30 + 11400, true, u"OTHER TOOL"},  // after the lead-out and gap
      {"dvd+rw", 30, 9, 0, 1, 32, true, u"OTHER TOOL"},        // the next ECC block
  };
  // clang-format on
  for (const QueryRow& row : rows) {
    SCOPED_TRACE(std::string(row.medium) + " " + std::to_string(row.written));
    starburn::DeviceRegistry::Instance().DetachAll();
    const std::string image = directory.File(row.medium + std::to_string(row.written));
    if (row.written != 0) sdktest::WriteFile(image, sdktest::ImageBytes(0, 30, "OTHER TOOL"));
    Attach(std::string(row.medium) + (row.discType == 14 ? "" : "=" + image));
    const Reading reading = Query("CdRom0", 'D');
    EXPECT_EQ(reading.discType, row.discType);
    EXPECT_EQ(reading.blank, row.blank);
    EXPECT_EQ(reading.erasable, row.erasable);
    EXPECT_EQ(reading.usedBytes, uint64_t{row.written} * kBlockSize);
    EXPECT_EQ(reading.sessionStart, row.sessionStart);
    const starburn::Medium* m = FindMedium(row.medium);
    EXPECT_EQ(reading.freeBytes,
              row.free ? uint64_t{m->capacity - row.sessionStart} * kBlockSize : 0u);
    EXPECT_EQ(reading.hasLabel, row.label != nullptr);
    if (row.label != nullptr) {
      EXPECT_EQ(reading.label, row.label);
      StarBurnWChar exact[11];  // "OTHER TOOL" and its terminator, and a unit less
      EXPECT_EQ(StarBurn_GetVolumeLabelByLetter('D', exact, 11), STARBURN_OK);
      EXPECT_EQ(StarBurn_GetVolumeLabelByLetter('D', exact, 10), STARBURN_STATUS_BUFFER_TOO_SMALL);
    }
    if (row.blank != 0) {  // nothing recorded in the next track
      EXPECT_EQ(reading.trackState, 1);
    }
    if (row.blank != 0 && row.discType <= 3) {
      EXPECT_EQ(reading.capacitySeconds, 359849 / 75);
    }
  }
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
  ASSERT_EQ(
      Call(StarBurn_CdvdBurnerGrabber_GetTrackInformation, device, 255, record, sizeof record),
      STARBURN_OK);
  EXPECT_EQ(record[0], 1);   // valid
  EXPECT_EQ(record[1], 1);   // the next track is track 1
  EXPECT_EQ(record[2], 1);   // of session 1
  EXPECT_EQ(record[6], 1);   // next writable address valid
  EXPECT_EQ(record[8], 2);   // invisible: nothing written yet
  EXPECT_EQ(record[10], 0);  // the disc is blank
  EXPECT_EQ(record[11], 1);  // erasable
  EXPECT_EQ(record[20] | record[21] << 8 | record[22] << 16, 359849);  // free blocks
  EXPECT_EQ(Call(StarBurn_CdvdBurnerGrabber_GetTrackInformation, device, 7, record, sizeof record),
            STARBURN_STATUS_NOT_FOUND);
  EXPECT_EQ(Call(StarBurn_CdvdBurnerGrabber_GetTrackInformation, device, 255, record, 20),
            STARBURN_STATUS_INVALID_ARGUMENT);
  EXPECT_STRNE(text, "");

  uint8_t enabled = 9;
  uint32_t supported = 9;
  ASSERT_EQ(Call(StarBurn_CdvdBurnerGrabber_GetBUP, device, &enabled, &supported), STARBURN_OK);
  EXPECT_EQ(enabled, 0);
  EXPECT_EQ(supported, 1u);
  ASSERT_EQ(Call(StarBurn_CdvdBurnerGrabber_SetBUP, device, 1), STARBURN_OK);
  ASSERT_EQ(Call(StarBurn_CdvdBurnerGrabber_GetBUP, device, &enabled, &supported), STARBURN_OK);
  EXPECT_EQ(enabled, 1);

  uint8_t fileSystem[4];
  EXPECT_EQ(Call(StarBurn_CdvdBurnerGrabber_GetDiscFileSystem, device, fileSystem, 4),
            STARBURN_STATUS_NOT_FOUND);  // blank: no session
  uint8_t last = 0;
  EXPECT_EQ(Call(StarBurn_CdvdBurnerGrabber_GetLastTrack, device, &last),
            STARBURN_STATUS_NOT_FOUND);
  uint32_t address = 9;
  EXPECT_EQ(Call(StarBurn_CdvdBurnerGrabber_GetLastAddress, device, &address), STARBURN_OK);
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
  EXPECT_EQ(Call(StarBurn_CdvdBurnerGrabber_Eject, second), STARBURN_STATUS_COMMAND_FAILED);
  EXPECT_EQ(failure.asc, 0x53);
  EXPECT_EQ(Call(StarBurn_CdvdBurnerGrabber_Eject, first), STARBURN_OK);
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

// The addresses, targets and order of found drives are the discovery test's;
// here the names a host maps an address to, and drives attached later.
TEST_F(DeviceCallsTest, DeviceNamesAndLetters) {
  Attach("cd-r=" + directory.File("a.iso") + ";empty;bd-re=" + directory.File("c.iso"));
  char path[16];
  for (uint8_t i = 0; i < 3; ++i) {
    ASSERT_EQ(StarBurn_GetDeviceNameByDeviceAddress(0xFF, 0, i, 0, path, sizeof path), STARBURN_OK);
    EXPECT_EQ(std::string(path), std::string("\\\\.\\") + static_cast<char>('D' + i) + ":");
  }
  char target[64];
  EXPECT_EQ(StarBurn_GetDeviceTargetByLetter('G', target, sizeof target),
            STARBURN_STATUS_NO_DEVICE);
  EXPECT_EQ(StarBurn_GetDeviceTargetByLetter('D', target, 5), STARBURN_STATUS_BUFFER_TOO_SMALL);
  EXPECT_EQ(StarBurn_FindDevice(
                0x1F, 0, [](uint32_t, void*, void*, void*) { FAIL(); }, nullptr),
            STARBURN_OK);
  Attach("dvd+r=" + directory.File("d.iso"));
  ASSERT_EQ(StarBurn_GetDeviceNameByDeviceAddress(0xFF, 0, 3, 0, path, sizeof path), STARBURN_OK);
  EXPECT_STREQ(path, "\\\\.\\G:");
  ASSERT_EQ(StarBurn_GetDeviceTargetByLetter('g', target, sizeof target), STARBURN_OK);
  EXPECT_STREQ(target, "\\Device\\CdRom3");
}

TEST(LifetimeCallsTest, StartsAreCountedAndAnUnmatchedShutDownIsRefused) {
  char text[STARBURN_ERROR_TEXT_SIZE];
  ASSERT_EQ(StarBurn_UpStartEx(text, sizeof text), STARBURN_OK);
  ASSERT_EQ(StarBurn_UpStartEx(text, sizeof text), STARBURN_OK);
  EXPECT_EQ(StarBurn_DownShut(), STARBURN_OK);
  EXPECT_EQ(StarBurn_DownShut(), STARBURN_OK);
  EXPECT_EQ(StarBurn_DownShut(), STARBURN_STATUS_NOT_STARTED);
}

class Counted : public starburn::Object {
 public:
  explicit Counted(int* alive) : alive(alive) { ++*alive; }
  ~Counted() override { --*alive; }

 private:
  int* alive;
};

TEST(LifetimeCallsTest, DestroyReleasesLiveHandlesOnceAndIgnoresOthers) {
  int alive = 0;
  void* handle = starburn::HandleTable::Instance().Add(new Counted(&alive));
  void* copy = handle;
  StarBurn_Destroy(&handle);
  EXPECT_EQ(handle, nullptr);
  EXPECT_EQ(alive, 0);
  StarBurn_Destroy(&copy);  // stale: nothing happens, the caller's value stays
  EXPECT_NE(copy, nullptr);
  int local = 0;
  void* foreign = &local;
  StarBurn_Destroy(&foreign);
  EXPECT_EQ(foreign, &local);
  StarBurn_Destroy(nullptr);
}

TEST(LifetimeCallsTest, ErrorTextIsCutToItsBufferAndAlwaysTerminated) {
  char text[8];
  std::memset(text, 'x', sizeof text);
  uint32_t systemError = 0;
  starburn::ErrorOut out{text, sizeof text, &systemError};
  EXPECT_EQ(out.Fail(STARBURN_STATUS_IO_ERROR, "a long message", 5), STARBURN_STATUS_IO_ERROR);
  EXPECT_STREQ(text, "a long ");
  EXPECT_EQ(systemError, 5u);
  char none = '#';  // a buffer of no room is not written to
  starburn::ErrorOut{&none, 0, nullptr}.Fail(STARBURN_STATUS_IO_ERROR, "text", 0);
  starburn::ErrorOut{&none, 0, nullptr}.Clear();
  EXPECT_EQ(none, '#');

  char small[4];
  EXPECT_FALSE(starburn::CopyText("abcd", small, sizeof small));  // never cut
  EXPECT_STREQ(small, "");
  EXPECT_TRUE(starburn::CopyText("abc", small, sizeof small));
  EXPECT_STREQ(small, "abc");
}

}  // namespace
