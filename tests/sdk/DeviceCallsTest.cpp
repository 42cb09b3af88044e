// The SDK's drive calls over virtual drives: a CD-R-only recorder's formats,
// the opens, sharing and tray locks, recordings refused before they write or
// re-sent after a drive's unit attention, a write aborted from another thread;
// handle release and error texts (start-up counting is the environment test's).
// What the library's drive query reads per medium is read end to end (the host
// tests' drive records).

#include <gtest/gtest.h>

#include <string>
#include <thread>
#include <vector>

#include "SdkTestSupport.h"
#include "common/ErrorOut.h"
#include "virtual/FaultPlan.h"

namespace {

using sdktest::Reading;

class DeviceCallsTest : public sdktest::SdkFixture {};

// A recorder of CD-R alone lists only the CD formats and no packet writing
// (an all-media recorder's are read end to end in the drive records).
TEST_F(DeviceCallsTest, MediaFormatsAndWriteModesOfACdROnlyRecorder) {
  AttachRecorder("cd-r", directory.File("b.iso"), starburn::DriveModel::CdROnly());
  const Reading cdR = Query("CdRom0", 0);
  for (int position = 0; position < STARBURN_MEDIA_FORMAT_COUNT; ++position) {
    EXPECT_EQ(cdR.formats[position], position <= 2 ? 1 : 0) << "position " << position;
  }
  EXPECT_EQ(std::vector<uint8_t>(cdR.writeModes, cdR.writeModes + 4),
            (std::vector<uint8_t>{0, 1, 0, 0}));
}

TEST_F(DeviceCallsTest, OpensSharingAndTrayLocks) {
  Attach("cd-r=" + directory.File("a.iso") + ";empty");
  StarBurnStatus status = STARBURN_OK;
  EXPECT_EQ(Open("CdRom9", 1, nullptr, nullptr, &status), nullptr);
  EXPECT_EQ(status, STARBURN_STATUS_NO_DEVICE);

  void* reader = Open("cdrom0", 1);  // names compare without case
  ASSERT_NE(reader, nullptr);
  // On the blank disc: texts and records that do not fit, no such track, no session.
  char small[4];
  uint32_t bufferSize = 0;
  EXPECT_EQ(
      StarBurn_CdvdBurnerGrabber_GetDeviceInformation(reader, small, small, small, 4, &bufferSize),
      STARBURN_STATUS_BUFFER_TOO_SMALL);
  uint8_t record[STARBURN_TRACK_INFORMATION_SIZE], last = 0;
  EXPECT_EQ(Call(StarBurn_CdvdBurnerGrabber_GetTrackInformation, reader, 255, record, 20),
            STARBURN_STATUS_INVALID_ARGUMENT);
  EXPECT_EQ(Call(StarBurn_CdvdBurnerGrabber_GetTrackInformation, reader, 7, record, sizeof record),
            STARBURN_STATUS_NOT_FOUND);
  EXPECT_EQ(Call(StarBurn_CdvdBurnerGrabber_GetLastTrack, reader, &last),
            STARBURN_STATUS_NOT_FOUND);
  uint32_t lastAddress = 1;
  EXPECT_EQ(Call(StarBurn_CdvdBurnerGrabber_GetLastAddress, reader, &lastAddress), STARBURN_OK);
  EXPECT_EQ(lastAddress, 0u);             // nothing recorded
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
  StarBurnWChar none = u'#';  // a label room of nothing is refused, not written to
  EXPECT_EQ(StarBurn_GetVolumeLabelByLetter('D', &none, 0), STARBURN_STATUS_INVALID_ARGUMENT);
  EXPECT_EQ(none, u'#');

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

// The last track's number is one byte: a disc of 255 tracks gives it, one of
// 256 is refused rather than cut to a wrong number.
TEST_F(DeviceCallsTest, TheLastTracksNumberFitsOneByte) {
  for (const uint32_t tracks : {255u, 256u}) {
    const std::string image = directory.File(std::to_string(tracks) + ".iso");
    std::string state = "starburn-virtual-disc 1\nmedium dvd+r\ndisc appendable\nsession closed\n";
    for (uint32_t i = 0; i < tracks; ++i) state += "track " + std::to_string(i * 16) + " 16\n";
    sdktest::WriteFile(image + ".state", state);
    sdktest::WriteFile(image, std::string(std::size_t{tracks} * 16 * sdktest::kBlockSize, 0));
    starburn::DeviceRegistry::Instance().DetachAll();
    Attach("dvd+r=" + image);
    uint8_t last = 0;
    EXPECT_EQ(Call(StarBurn_CdvdBurnerGrabber_GetLastTrack, Open("CdRom0", 1), &last),
              tracks == 255 ? STARBURN_OK : STARBURN_STATUS_LIMIT_EXCEEDED);
    EXPECT_EQ(last, tracks == 255 ? 255 : 0);
    for (void*& handle : handles) StarBurn_Destroy(&handle);
  }
}

// An image laid out for another address than the next writable one, or
// larger than the free space, is refused before anything is written.
TEST_F(DeviceCallsTest, ARecordingThatWouldNotLandWhereTheQuerySaidIsRefused) {
  Attach("cd-r=" + directory.File("a.iso"));
  EXPECT_EQ(Burn("CdRom0", 16, 300, "AWAY"), STARBURN_STATUS_WRONG_STATE);
  EXPECT_NE(recordText.find("next writable address is 0"), std::string::npos) << recordText;
  const uint32_t capacity = starburn::FindMedium("cd-r")->capacity;
  EXPECT_EQ(Burn("CdRom0", 0, capacity + 1, "BIG"), STARBURN_STATUS_NO_SPACE);
  EXPECT_EQ(Query("CdRom0").blank, 1);
}

// A WRITE refused once with a unit attention because the drive's mode
// parameters were changed is set up again and sent once more; a later fault
// of the same plan (the flush) still ends the next recording.
TEST_F(DeviceCallsTest, AWriteRefusedForChangedParametersIsSentAgain) {
  auto recorder = AttachRecorder("cd-r", directory.File("a.iso"));
  starburn::FaultPlan plan;
  plan.commands.push_back({starburn::opcode::kWrite10, 2, 1, {0x6, 0x2A, 0x01}});
  recorder->SetFaults(plan);
  EXPECT_EQ(Burn("CdRom0", 0, 300, "AGAIN"), STARBURN_OK) << recordText;
  EXPECT_EQ(sdktest::ImageFileBlock(directory.File("a.iso"), 100),
            sdktest::ImageBlock(0, 300, "AGAIN", 100));
  plan.commands.push_back({starburn::opcode::kSynchronizeCache, 0, 1, {0x3, 0x0C, 0}});
  recorder->SetFaults(plan);
  EXPECT_EQ(Burn("CdRom0", Query("CdRom0").sessionStart, 300, "NEXT"),
            STARBURN_STATUS_COMMAND_FAILED);
  EXPECT_NE(recordText.find("SYNCHRONIZE CACHE"), std::string::npos) << recordText;
}

// A host thread's abort while the write runs (run under ThreadSanitizer with
// the threaded tests).
class DeviceAbortThreadsTest : public sdktest::SdkFixture {};

TEST_F(DeviceAbortThreadsTest, AbortFromAnotherThreadWhileTheWriteRuns) {
  Attach("bd-r=" + directory.File("a.iso"));
  EXPECT_EQ(StarBurn_AbortDeviceWrite("CdRom0"), STARBURN_STATUS_WRONG_STATE);  // idle
  EXPECT_EQ(StarBurn_AbortDeviceWrite("CdRom7"), STARBURN_STATUS_NO_DEVICE);
  sdktest::Notifications seen;
  std::string abortStatus;
  seen.onFirstProgress = [&abortStatus] {
    std::thread host(
        [&abortStatus] { abortStatus = std::to_string(StarBurn_AbortDeviceWrite(nullptr)); });
    host.join();
  };
  EXPECT_EQ(SdkFixture::Burn("CdRom0", 0, 4096, "THREADED", &seen), STARBURN_STATUS_CANCELLED);
  EXPECT_EQ(abortStatus, "0");
  ASSERT_EQ(seen.progress.size(), 1u);  // stopped at the next write after the first notification
  EXPECT_EQ(Query("CdRom0").blank, 1);
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
