// burn-image: writes an image file (an .iso) to the disc as it is, through the
// SDK (the library burns file trees only), then reads the written blocks back
// and compares them with the file.

#include <starburn/StarBurn.h>

#include <atomic>
#include <cerrno>
#include <csignal>
#include <cstring>
#include <fstream>
#include <thread>
#include <vector>

#include "Commands.h"
#include "DriveUse.h"
#include "ProgressBar.h"
#include "Report.h"
#include "Session.h"
#include "Speed.h"
#include "System.h"
#include "Text.h"

namespace orletburn {

namespace {

constexpr uint64_t kBlock = 2048;
// Blocks read back and compared at a time.
constexpr uint32_t kCompareBlocks = 512;
// How often the main thread looks for Ctrl-C while the write runs.
constexpr std::chrono::milliseconds kInterruptPoll(100);
// The SDK's buffer notification gives bytes: the bar shows percent full.
constexpr uint64_t kPercent = 100;

std::atomic<bool> interrupted{false};
extern "C" void OnImageInterrupt(int) { interrupted = true; }

// The write's notifications, on the writing thread: progress and buffer.
struct WriteView {
  ProgressBar bar;
  int percent = 0;
  int bufferLevel = 0;
};

void OnNotification(uint32_t notification, void* context, void* special1, void* special2) {
  auto* view = static_cast<WriteView*>(context);
  if (notification == STARBURN_NOTIFY_PROGRESS) {
    const uint64_t total = *static_cast<uint64_t*>(special1);
    const uint64_t done = *static_cast<uint64_t*>(special2);
    view->percent = total == 0 ? 0 : static_cast<int>(done * kPercent / total);
  } else if (notification == STARBURN_NOTIFY_BUFFER) {
    const uint32_t size = *static_cast<uint32_t*>(special1);
    const uint32_t free = *static_cast<uint32_t*>(special2);
    view->bufferLevel = size == 0 ? 0 : static_cast<int>((size - free) * kPercent / size);
  } else {
    return;
  }
  view->bar.Show(view->percent, view->bufferLevel);
}

// Why the file cannot be written as an image, in words; empty when it can.
std::string NotAnImage(const std::string& path, uint64_t* size) {
  const EntryStatus status = StatusOf(path);
  if (status.error != 0) return std::strerror(status.error);
  if (status.kind != EntryStatus::kFile) return "not a file";
  *size = status.size;
  if (*size == 0 || *size % kBlock != 0) {
    return "not a whole number of 2048-byte blocks (" + std::to_string(*size) +
           " bytes): not a disc image";
  }
  return "";
}

// Reads the image back from block start and compares it with the file;
// answers what differs, empty when nothing does.
std::string CompareWritten(DriveHandle& drive, const std::string& path, uint32_t start,
                           uint64_t size) {
  std::ifstream file(path, std::ios::binary);
  std::vector<char> expected(kCompareBlocks * kBlock);
  std::vector<char> read(kCompareBlocks * kBlock);
  for (uint64_t block = 0; block * kBlock < size; block += kCompareBlocks) {
    const auto count =
        static_cast<uint32_t>(std::min<uint64_t>(kCompareBlocks, size / kBlock - block));
    const auto lba = static_cast<uint32_t>(start + block);
    file.read(expected.data(), static_cast<std::streamsize>(count * kBlock));
    if (!file) return "the image file could not be read again";
    if (StarBurn_CdvdBurnerGrabber_ReadBlocks(
            drive.device, drive.error, sizeof drive.error, &drive.systemError, &drive.failure, lba,
            count, read.data(), static_cast<uint32_t>(read.size())) != STARBURN_OK) {
      return Format("blocks %u to %u cannot be read back: %s", lba, lba + count - 1, drive.error);
    }
    if (std::memcmp(expected.data(), read.data(), count * kBlock) != 0) {
      return Format("blocks %u to %u differ from the file", lba, lba + count - 1);
    }
  }
  return "";
}

}  // namespace

int BurnImageFile(const Options& options) {
  if (options.paths.size() != 1) {
    Error("burn-image needs one image file");
    return kExitUsage;
  }
  const std::string& path = options.paths.front();
  uint64_t size = 0;
  const std::string notAnImage = NotAnImage(path, &size);
  if (!notAnImage.empty()) {
    Error(path + ": " + notAnImage);
    return kExitFailed;
  }
  Session session;
  Orlet::DriveInfo info;
  if (!session.Open(options.virtualDrives) || !session.DriveToWrite(options.drive, info)) {
    return kExitFailed;
  }
  if (session.Service().IsDiscWritable(info) == 0) {
    Error("the drive cannot write this disc");
    return kExitFailed;
  }
  // A disc that holds data takes the image after it (a disc written in
  // sessions) or under it (DVD+RW, DVD-RAM, BD-RE are written from block 0):
  // either is the user's to ask for. The room is checked here for the common
  // case; the SDK checks it exactly, before it writes anything.
  const bool holdsData = info.isBlank == 0 && info.usedBytes != 0;
  if (holdsData && !options.force) {
    Error(
        "the disc holds data: --force writes the image after it, or over it on DVD+RW, DVD-RAM "
        "and BD-RE; erase empties a rewritable disc");
    return kExitFailed;
  }
  if (size > info.freeBytes + (info.isErasable != 0 ? info.usedBytes : 0)) {
    Error("the disc is full: the image needs " + Size(size) + ", the disc has " +
          Size(info.freeBytes) + " free; nothing was written");
    return kExitFailed;
  }
  Say(Format("writing %s (%s) to drive %zu (%s %s)", path.c_str(), Size(size).c_str(),
             session.Index(), Utf8(info.driveLetter).c_str(), Utf8(info.discTypeName).c_str()));

  WriteView view{ProgressBar(OutputIsTerminal())};
  DriveHandle drive(info, DriveHandle::Use::kRecording, OnNotification, &view);
  if (drive.opened != STARBURN_OK) {
    Error(Format("the drive cannot be opened for recording: %s", drive.error));
    return kExitFailed;
  }
  unsigned speed = kFastest;
  ParseSpeed(options.speed, &info, &speed);  // the syntax was checked with the options
  // A drive that refuses the speed writes at one of its own choosing.
  StarBurn_CdvdBurnerGrabber_SetSpeeds(drive.device, drive.error, sizeof drive.error,
                                       &drive.systemError, &drive.failure, kFastest, speed);

  // The write runs on a thread of its own, so that Ctrl-C can abort it here.
  interrupted = false;
  std::signal(SIGINT, OnImageInterrupt);
  view.bar.Start(size);
  uint32_t start = 0;
  std::atomic<bool> written{false};
  StarBurnStatus status = STARBURN_OK;
  std::thread writer([&] {
    status = StarBurn_CdvdBurnerGrabber_TrackAtOnceFromFile(
        drive.device, drive.error, sizeof drive.error, &drive.systemError, &drive.failure,
        path.c_str(), 0, options.close ? 1 : 0, options.close ? 0 : 1, &start);
    written = true;
  });
  const std::string device = Utf8(info.deviceName);
  bool cancelled = false;
  while (!written) {
    std::this_thread::sleep_for(kInterruptPoll);
    if (interrupted.exchange(false)) {
      if (!cancelled) Say("  cancelling...");
      cancelled = true;
      StarBurn_AbortDeviceWrite(device.c_str());
    }
  }
  writer.join();
  std::signal(SIGINT, SIG_DFL);
  if (status == STARBURN_OK) {
    status = StarBurn_CdvdBurnerGrabber_CloseSession(drive.device, drive.error, sizeof drive.error,
                                                     &drive.systemError, &drive.failure);
  }
  if (status != STARBURN_OK) {
    if (cancelled) {
      Error("cancelled; the image was not written whole");
      return kExitCancelled;
    }
    Error(Format("the image was not written: %s", drive.error));
    return kExitFailed;
  }
  Say(Format("  written from block %u%s; reading it back", start,
             options.close ? ", the disc closed" : ""));
  const std::string difference = CompareWritten(drive, path, start, size);
  if (!difference.empty()) {
    Error("the disc does not hold the image: " + difference);
    return kExitFailed;
  }
  Say("done: the image was written and reads back whole");
  return kExitOk;
}

}  // namespace orletburn
