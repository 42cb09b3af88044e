#include "Commands.h"

#include <starburn/StarBurn.h>
#include <unistd.h>

#include <atomic>
#include <csignal>
#include <cstdio>

#include "BurnView.h"
#include "EraseView.h"
#include "Session.h"
#include "Text.h"
#include "UnusableDrives.h"
#include "Words.h"

namespace orletburn {

namespace {

// How often the main thread looks for Ctrl-C while a burn runs.
constexpr std::chrono::milliseconds kInterruptPoll(100);

std::atomic<bool> interrupted{false};

extern "C" void OnInterrupt(int) { interrupted = true; }

// What the drive holds, in a few words.
std::string DiscState(const Orlet::DriveInfo& info) {
  if (info.discType == 14) return "no disc";
  if (info.isBlank != 0) return "blank";
  return info.freeBytes != 0 ? "appendable" : "closed";
}

// The names of the media-format positions the library gives meaning to.
struct FormatName {
  std::size_t position;
  const char* name;
};
constexpr FormatName kWritableFormats[] = {{2, "CD-R"},     {4, "CD-RW"},   {7, "DVD-R"},
                                           {9, "DVD-R DL"}, {11, "DVD-RW"}, {15, "DVD-RAM"},
                                           {17, "DVD+RW"},  {21, "DVD+R"},  {23, "DVD+R DL"},
                                           {26, "BD-R"},    {30, "BD-RE"}};

std::string Speeds(const std::vector<Orlet::SpeedEntry>& speeds) {
  std::string text;
  for (const auto& entry : speeds) {
    if (!text.empty()) text += ", ";
    text += Utf8(entry.label == nullptr ? L"?" : entry.label) + " (" + std::to_string(entry.speed) +
            " KB/s)";
  }
  return text.empty() ? "none" : text;
}

}  // namespace

int ListDrives(const Options& options) {
  Session session;
  if (!session.Open(options.virtualDrives)) return kExitFailed;
  const std::size_t count = session.Service().GetDriveCount();
  if (count == 0) {
    std::printf("no optical drives found\n");
    PrintUnusableDrives();
    return kExitOk;
  }
  std::printf("%-3s %-3s %-28s %-10s %-12s %-11s %s\n", "#", "", "drive", "disc", "space", "state",
              "free");
  for (std::size_t i = 0; i < count; ++i) {
    Orlet::DriveInfo info;
    if (session.Service().GetDriveInfo(i, info) != Orlet::ResultOk) {
      std::printf("%-3zu (cannot be read)\n", i);
      continue;
    }
    const std::string name = Utf8(info.vendorId) + " " + Utf8(info.productId);
    std::printf("%-3zu %-3s %-28s %-10s %-12s %-11s %s\n", i, Utf8(info.driveLetter).c_str(),
                name.c_str(), Utf8(info.discTypeName).c_str(), Utf8(info.spaceText).c_str(),
                DiscState(info).c_str(), Size(info.freeBytes).c_str());
  }
  PrintUnusableDrives();
  return kExitOk;
}

int ShowDrive(const Options& options) {
  Session session;
  Orlet::DriveInfo info;
  if (!session.Open(options.virtualDrives) || !session.Drive(options.drive, info)) {
    return kExitFailed;
  }
  std::printf("drive %zu\n", options.drive);
  std::printf("  letter            %s\n", Utf8(info.driveLetter).c_str());
  std::printf("  device            %s (access method %d)\n", Utf8(info.deviceName).c_str(),
              info.accessMethod);
  std::printf("  vendor / product  %s / %s, revision %s\n", Utf8(info.vendorId).c_str(),
              Utf8(info.productId).c_str(), Utf8(info.productRevision).c_str());
  std::printf("  buffer            %u KB\n", info.bufferSize);
  std::printf("  disc              %s (type %d), %s\n", Utf8(info.discTypeName).c_str(),
              info.discType, DiscState(info).c_str());
  std::printf("  label             %s\n", Utf8(info.volumeLabel).c_str());
  std::printf("  used / free       %s / %s (%u s at 1x)\n", Size(info.usedBytes).c_str(),
              Size(info.freeBytes).c_str(), info.freeSeconds);
  std::printf("  capacity          %d s at 1x\n", info.capacitySeconds);
  std::printf("  next session at   block %u\n", info.sessionStartAddress);
  std::printf("  erasable          %s\n", info.isErasable != 0 ? "yes" : "no");
  std::printf("  can write disc    %s\n", session.Service().IsDiscWritable(info) ? "yes" : "no");
  std::string formats;
  for (const auto& format : kWritableFormats) {
    if (info.mediaFormats[format.position] == 0) continue;
    if (!formats.empty()) formats += ", ";
    formats += format.name;
  }
  std::printf("  writes            %s\n", formats.empty() ? "nothing" : formats.c_str());
  std::printf("  write methods     packet %u, track-at-once %u, session-at-once %u, raw %u\n",
              info.writeModes[2], info.writeModes[0], info.writeModes[1], info.writeModes[3]);
  std::printf("  write speeds      %s\n", Speeds(info.writeSpeeds).c_str());
  std::printf("  read speeds       %s\n", Speeds(info.readSpeeds).c_str());
  return kExitOk;
}

int BurnPaths(const Options& options) {
  if (options.paths.empty()) {
    std::fprintf(stderr, "orlet-burn: burn needs at least one file or folder\n");
    return kExitUsage;
  }
  std::vector<std::wstring> paths;
  for (const auto& path : options.paths) {
    if (access(path.c_str(), F_OK) != 0) {
      std::fprintf(stderr, "orlet-burn: %s: no such file or folder\n", path.c_str());
      return kExitFailed;
    }
    paths.push_back(Wide(path));
  }
  Session session;
  Orlet::DriveInfo info;
  if (!session.Open(options.virtualDrives) || !session.Drive(options.drive, info)) {
    return kExitFailed;
  }
  BurnView view(paths, options.import, isatty(fileno(stdout)) != 0);
  session.Service().SetBurnObserver(&view);
  std::printf("burning to drive %zu (%s %s, %s)\n", options.drive, Utf8(info.driveLetter).c_str(),
              Utf8(info.discTypeName).c_str(), DiscState(info).c_str());
  const int code = session.Service().Burn(options.drive, Wide(options.label), options.speed,
                                          options.force ? 1 : 0);
  if (code != Orlet::ResultOk) {
    std::fprintf(stderr, "orlet-burn: burn refused: %s (code %d)\n", ResultWords(code).c_str(),
                 code);
    session.Service().SetBurnObserver(nullptr);
    return kExitFailed;
  }
  interrupted = false;
  std::signal(SIGINT, OnInterrupt);
  bool cancelSent = false;
  while (!view.WaitForEnd([] { return interrupted.load(); }, kInterruptPoll)) {
    if (!cancelSent) {
      // Ctrl-C: the job stops at its next check point, and a write in
      // progress is aborted at its next block.
      std::printf("\n  cancelling...\n");
      session.Service().Cancel();
      StarBurn_AbortDeviceWrite(Utf8(info.deviceName).c_str());
      cancelSent = true;
    }
    interrupted = false;
  }
  std::signal(SIGINT, SIG_DFL);
  if (view.Succeeded()) {
    std::printf("done: the disc was written\n");
    return kExitOk;
  }
  std::fprintf(stderr, "orlet-burn: nothing usable was written: %s\n", view.Reason().c_str());
  return view.Cancelled() || cancelSent ? kExitCancelled : kExitFailed;
}

int EraseDisc(const Options& options) {
  Session session;
  Orlet::DriveInfo info;
  if (!session.Open(options.virtualDrives) || !session.Drive(options.drive, info)) {
    return kExitFailed;
  }
  EraseView view;
  session.Service().SetEraseObserver(&view);
  std::printf("erasing the %s in drive %zu\n", Utf8(info.discTypeName).c_str(), options.drive);
  const int code = session.Service().Erase(options.drive);
  session.Service().SetEraseObserver(nullptr);
  if (code != Orlet::ResultOk) {
    std::fprintf(stderr, "orlet-burn: erase failed: %s (code %d)\n", ResultWords(code).c_str(),
                 code);
    return kExitFailed;
  }
  std::printf("done: the disc is blank\n");
  return kExitOk;
}

}  // namespace orletburn
