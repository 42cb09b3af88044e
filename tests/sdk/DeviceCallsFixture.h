#pragma once

// The SDK's device calls as the library makes them: a fixture that starts the
// SDK with an empty registry, and the library's readings of a drive (its
// query) and its burn and erase sequences, made through the C interface.

#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "EmulatedDiscFixture.h"
#include "common/Object.h"
#include "devices/DeviceRegistry.h"
#include "devices/EmulatedRecorder.h"
#include "devices/Medium.h"
#include "starburn/StarBurn.h"

namespace drivetest {

// What the library's drive query reads from the SDK.
struct Reading {
  int32_t discType = 0;
  uint8_t blank = 0;
  uint64_t usedBytes = 0;
  uint64_t freeBytes = 0;
  uint32_t sessionStart = 0;
  uint8_t erasable = 0;
  uint8_t trackState = 0;  // byte 9 of the track-255 record
  int32_t capacitySeconds = 0;
  uint8_t formats[STARBURN_MEDIA_FORMAT_COUNT] = {};
  uint8_t writeModes[4] = {};  // packet, track at once, session at once, raw
  std::u16string label;
  bool hasLabel = false;
};

// Notifications a recording handle received.
struct Notifications {
  std::vector<std::pair<uint64_t, uint64_t>> progress;  // total, done
  std::vector<std::pair<uint32_t, uint32_t>> buffer;    // size, free
  std::function<void()> onFirstProgress;
};

inline void Record(uint32_t notification, void* context, void* first, void* second) {
  auto* seen = static_cast<Notifications*>(context);
  if (notification == STARBURN_NOTIFY_PROGRESS) {
    seen->progress.emplace_back(*static_cast<uint64_t*>(first), *static_cast<uint64_t*>(second));
    if (seen->progress.size() == 1 && seen->onFirstProgress) seen->onFirstProgress();
  } else if (notification == STARBURN_NOTIFY_BUFFER) {
    seen->buffer.emplace_back(*static_cast<uint32_t*>(first), *static_cast<uint32_t*>(second));
  }
}

class DeviceCallsFixture : public testing::Test {
 protected:
  void SetUp() override {
    ASSERT_EQ(StarBurn_UpStartEx(text, sizeof text), STARBURN_OK) << text;
    starburn::DeviceRegistry::Instance().DetachAll();
  }
  void TearDown() override {
    for (void*& handle : handles) StarBurn_Destroy(&handle);
    EXPECT_EQ(starburn::HandleTable::Instance().Count(), 0u);  // every handle was released
    starburn::DeviceRegistry::Instance().DetachAll();
    StarBurn_DownShut();
  }

  void Attach(const std::string& list) {
    ASSERT_EQ(StarBurn_AttachVirtualDrives(list.c_str(), text, sizeof text), STARBURN_OK) << text;
  }
  // Attaches one recorder directly, so a test can set its faults.
  std::shared_ptr<starburn::EmulatedRecorder> AttachRecorder(
      const char* medium, const std::string& image,
      const starburn::DriveModel& model = starburn::DriveModel::AllMedia()) {
    std::shared_ptr<starburn::EmulatedRecorder> recorder;
    std::string error;
    EXPECT_EQ(starburn::EmulatedRecorder::Create(starburn::FindMedium(medium), image, model,
                                                 &recorder, &error),
              STARBURN_OK)
        << error;
    EXPECT_EQ(starburn::DeviceRegistry::Instance().AttachVirtual({recorder}, &error), STARBURN_OK);
    return recorder;
  }

  // A handle closed by TearDown; null on failure (status in *status).
  void* Open(const std::string& name, uint32_t shared, StarBurnCallback callback = nullptr,
             void* context = nullptr, StarBurnStatus* status = nullptr) {
    void* handle = nullptr;
    const StarBurnStatus result =
        StarBurn_CdvdBurnerGrabber_CreateEx(&handle, text, sizeof text, &systemError, &failure,
                                            callback, context, name.c_str(), shared);
    if (status != nullptr) *status = result;
    if (result == STARBURN_OK) handles.push_back(handle);
    return handle;
  }
  void Close(void* handle) {
    for (void*& open : handles) {
      if (open == handle) StarBurn_Destroy(&open);
    }
  }

  // The readings the library's drive query takes, in its order.
  Reading Query(const std::string& name, char letter) {
    Reading reading;
    void* device = Open(name, 1);
    EXPECT_NE(device, nullptr) << text;
    uint32_t ignored = 0;
    if (letter != 0) {
      StarBurnWChar label[260] = {};
      reading.hasLabel = StarBurn_GetVolumeLabelByLetter(letter, label, 260) == STARBURN_OK;
      reading.label = label;
    }
    reading.discType = StarBurn_CdvdBurnerGrabber_GetInsertedDiscType(device);
    if (reading.discType != 14) {
      uint64_t used = 0;
      if (StarBurn_CdvdBurnerGrabber_GetDiscUsedSpace(device, text, sizeof text, &systemError,
                                                      &failure, &used) == STARBURN_OK) {
        reading.usedBytes = used;
      }
      uint64_t free = 0;
      if (StarBurn_CdvdBurnerGrabber_GetDiscFreeSpace(device, 3, &ignored, &free) == STARBURN_OK) {
        reading.freeBytes = free;
      }
      uint8_t blank = 0;
      reading.blank =
          StarBurn_CdvdBurnerGrabber_IsDiscBlank(device, text, sizeof text, &systemError, &failure,
                                                 &blank) == STARBURN_OK &&
          blank != 0;
      StarBurn_SetFastReadTOC(1);
      uint8_t track[STARBURN_TRACK_INFORMATION_SIZE] = {};
      if (StarBurn_CdvdBurnerGrabber_GetTrackInformation(device, text, sizeof text, &systemError,
                                                         &failure, 255, track,
                                                         sizeof track) == STARBURN_OK) {
        std::memcpy(&reading.sessionStart, track + 16, 4);
        reading.erasable = track[11];
        reading.trackState = track[9];
      }
      uint8_t disc[STARBURN_DISC_INFORMATION_SIZE] = {};
      StarBurn_CdvdBurnerGrabber_GetDiscInformation(device, text, sizeof text, &systemError,
                                                    &failure, disc, sizeof disc);
      reading.capacitySeconds =
          StarBurn_CdvdBurnerGrabber_MSFToLBA(device, disc[21], disc[22], disc[23], 0) / 75;
    }
    StarBurnMediaFormats formats = {STARBURN_MEDIA_FORMATS_SIZE, {}};
    StarBurn_CdvdBurnerGrabber_GetAdvancedSupportedMediaFormats(device, &formats);
    std::memcpy(reading.formats, formats.flags, sizeof reading.formats);
    StarBurn_CdvdBurnerGrabber_ProbeSupportedWriteModes(
        device, text, sizeof text, &systemError, &failure, &reading.writeModes[0],
        &reading.writeModes[1], &reading.writeModes[2], &reading.writeModes[3]);
    Close(device);
    return reading;
  }

  // The library's burn of an image of blocks blocks labelled label, built for
  // the session start the query read: the file-tree stage's shared open, then
  // the recording open, protection, speeds, the track, the session, the
  // eject. Answers the recording call's status; *closed gets CloseSession's.
  StarBurnStatus Burn(const std::string& name, uint32_t start, uint32_t blocks,
                      const std::string& label, Notifications* seen = nullptr,
                      StarBurnStatus* closed = nullptr, FakeImage** imageOut = nullptr) {
    void* reader = Open(name, 1);
    uint32_t lastAddress = 0;
    EXPECT_EQ(StarBurn_CdvdBurnerGrabber_GetLastAddress(reader, text, sizeof text, &systemError,
                                                        &failure, &lastAddress),
              STARBURN_OK)
        << text;
    Close(reader);
    Notifications local;
    if (seen == nullptr) seen = &local;
    void* device = Open(name, 0, &Record, seen);
    EXPECT_NE(device, nullptr) << text;
    if (device == nullptr) return STARBURN_STATUS_FAILED;
    EXPECT_EQ(
        StarBurn_CdvdBurnerGrabber_TestUnitReady(device, text, sizeof text, &systemError, &failure),
        STARBURN_OK);
    uint8_t enabled = 0;
    uint32_t supported = 0;
    if (StarBurn_CdvdBurnerGrabber_GetBUP(device, text, sizeof text, &systemError, &failure,
                                          &enabled, &supported) == STARBURN_OK &&
        supported == 1) {
      EXPECT_EQ(
          StarBurn_CdvdBurnerGrabber_SetBUP(device, text, sizeof text, &systemError, &failure, 1),
          STARBURN_OK);
    }
    uint32_t speeds[4];
    StarBurn_CdvdBurnerGrabber_GetSpeeds(device, text, sizeof text, &systemError, &failure,
                                         &speeds[0], &speeds[1], &speeds[2], &speeds[3]);
    auto* image = new FakeImage(start, blocks, label);
    if (imageOut != nullptr) *imageOut = image;
    void* tree = starburn::HandleTable::Instance().Add(image);
    if (abortAt >= 0) image->AbortAt(abortAt, name);
    const StarBurnStatus status = StarBurn_CdvdBurnerGrabber_TrackAtOnceFromTree(
        device, text, sizeof text, &systemError, &failure, tree, 0, 0, 1, 1, 5);
    recordText = text;
    recordFailure = failure;
    const StarBurnStatus close =
        StarBurn_CdvdBurnerGrabber_CloseSession(device, text, sizeof text, &systemError, &failure);
    if (closed != nullptr) *closed = close;
    StarBurn_CdvdBurnerGrabber_Eject(device, text, sizeof text, &systemError, &failure);
    StarBurn_Destroy(&tree);
    Close(device);
    return status;
  }

  ScratchDirectory directory;
  char text[STARBURN_ERROR_TEXT_SIZE] = {};
  uint32_t systemError = 0;
  StarBurnCommandFailure failure = {};
  std::vector<void*> handles;
  int64_t abortAt = -1;  // a block of the next Burn's image at which to abort
  std::string recordText;
  StarBurnCommandFailure recordFailure = {};
};

}  // namespace drivetest
