#include "Commands.h"

#include <starburn/StarBurn.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>

#include "BurnView.h"
#include "DriveUse.h"
#include "EraseView.h"
#include "Omissions.h"
#include "Session.h"
#include "Speed.h"
#include "Text.h"
#include "UnusableDrives.h"
#include "Words.h"

namespace orletburn {

namespace {

// How often the main thread looks for Ctrl-C while a burn runs.
constexpr std::chrono::milliseconds kInterruptPoll(100);

std::atomic<bool> interrupted{false};

// The drive record's disc type when the drive holds no disc.
constexpr int kNoDisc = 14;

extern "C" void OnInterrupt(int) { interrupted = true; }

// What the drive holds, in a few words.
std::string DiscState(const Orlet::DriveInfo& info) {
  if (info.discType == kNoDisc) return "no disc";
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

// Where the drive record keeps each write method's flag.
constexpr std::size_t kSessionAtOnce = 0;
constexpr std::size_t kRaw = 1;
constexpr std::size_t kPacket = 2;
constexpr std::size_t kTrackAtOnce = 3;

const char* YesNo(uint32_t flag) { return flag != 0 ? "yes" : "no"; }

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
    const bool held = HeldByAnotherProgram(info);
    std::printf(
        "%-3zu %-3s %-28s %-10s %-12s %-11s %s\n", i, Utf8(info.driveLetter).c_str(), name.c_str(),
        Utf8(info.discTypeName).c_str(), held ? "-" : Utf8(info.spaceText).c_str(),
        held ? "in use" : DiscState(info).c_str(), held ? "-" : Size(info.freeBytes).c_str());
    if (held) std::printf("    (%s: it is recording)\n", kHeldElsewhere);
    const uint64_t lost = held ? 0 : LostBytes(info);
    if (lost != 0) {
      std::printf("    (%s of the disc lost to an interrupted recording)\n", Size(lost).c_str());
    }
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
  std::printf("drive %zu\n", session.Index());
  std::printf("  letter            %s\n", Utf8(info.driveLetter).c_str());
  std::printf("  device            %s (access method %d)\n", Utf8(info.deviceName).c_str(),
              info.accessMethod);
  std::printf("  vendor / product  %s / %s, revision %s\n", Utf8(info.vendorId).c_str(),
              Utf8(info.productId).c_str(), Utf8(info.productRevision).c_str());
  std::printf("  buffer            %u KB\n", info.bufferSize);
  const bool held = HeldByAnotherProgram(info);
  std::printf("  disc              %s (type %d), %s\n", Utf8(info.discTypeName).c_str(),
              info.discType,
              held ? "in use: another program is recording on it" : DiscState(info).c_str());
  std::printf("  label             %s\n", Utf8(info.volumeLabel).c_str());
  std::printf("  used / free       %s / %s (%u s at 1x)\n", Size(info.usedBytes).c_str(),
              Size(info.freeBytes).c_str(), info.freeSeconds);
  const uint64_t lost = held ? 0 : LostBytes(info);
  if (lost != 0) {
    std::printf("  lost              %s, to an interrupted recording (never read back)\n",
                Size(lost).c_str());
  }
  std::printf("  capacity          %d s at 1x\n", info.capacitySeconds);
  std::printf("  next session at   block %u\n", info.sessionStartAddress);
  std::printf("  erasable          %s\n", YesNo(info.isErasable));
  std::printf("  can write disc    %s\n", session.Service().IsDiscWritable(info) ? "yes" : "no");
  std::string formats;
  for (const auto& format : kWritableFormats) {
    if (info.mediaFormats[format.position] == 0) continue;
    if (!formats.empty()) formats += ", ";
    formats += format.name;
  }
  std::printf("  writes            %s\n", formats.empty() ? "nothing" : formats.c_str());
  std::printf("  write methods     track-at-once %s, session-at-once %s, packet %s, raw %s\n",
              YesNo(info.writeModes[kTrackAtOnce]), YesNo(info.writeModes[kSessionAtOnce]),
              YesNo(info.writeModes[kPacket]), YesNo(info.writeModes[kRaw]));
  std::printf("  write speeds      %s\n", Speeds(info.writeSpeeds).c_str());
  std::printf("  read speeds       %s\n", Speeds(info.readSpeeds).c_str());
  return kExitOk;
}

int BurnPaths(const Options& options) {
  if (options.paths.empty()) {
    std::fprintf(stderr, "orlet-burn: burn needs at least one file or folder\n");
    return kExitUsage;
  }
  // A path named on the command line must be there, whatever the options;
  // what cannot be read below it is the fill's to name (Omissions).
  for (const auto& path : options.paths) {
    const std::string unreachable = Unreachable(path);
    if (!unreachable.empty()) {
      std::fprintf(stderr, "orlet-burn: %s: %s\n", path.c_str(), unreachable.c_str());
      return kExitFailed;
    }
  }
  Session session;
  Orlet::DriveInfo info;
  if (!session.Open(options.virtualDrives) || !session.Drive(options.drive, info)) {
    return kExitFailed;
  }
  // A record read while another program records shows no room on the disc:
  // the drive is asked after the record is read, and a disc that looks full
  // is read once more before it is called full.
  const auto looksFull = [&session](const Orlet::DriveInfo& record) {
    return session.Service().IsDiscWritable(record) != 0 && record.isBlank == 0 &&
           record.freeBytes == 0;
  };
  bool held = HeldByAnotherProgram(info);
  if (!held && looksFull(info)) {
    if (!session.Drive(options.drive, info)) return kExitFailed;
    held = HeldByAnotherProgram(info);
  }
  if (held) {
    std::fprintf(stderr, "orlet-burn: %s; try again when it is done\n", kHeldElsewhere);
    return kExitFailed;
  }
  const bool image = !options.output.empty();  // MakeImage's burn
  if (image) {
    std::printf("making the image %s\n", options.output.c_str());
  } else {
    std::printf("burning to drive %zu (%s %s, %s)\n", session.Index(),
                Utf8(info.driveLetter).c_str(), Utf8(info.discTypeName).c_str(),
                DiscState(info).c_str());
  }
  if (looksFull(info)) {
    // The library would accept the job and fail it at the drive; say why now.
    // (A disc the drive cannot write at all is the library's to refuse.)
    std::fprintf(stderr,
                 "orlet-burn: the disc is full: it is closed or has no room for another "
                 "session%s\n",
                 info.isErasable != 0 ? " (erase it to use it again)" : "");
    return kExitFailed;
  }
  BurnView view(options.paths, options.import, info.freeBytes, options.skipUnreadable,
                isatty(fileno(stdout)) != 0, options.dryRun);
  session.Service().SetBurnObserver(&view);
  // Ctrl-C is caught from before the job starts: the job prints as soon as
  // it runs, and a Ctrl-C at its first line must cancel it, not kill us.
  interrupted = false;
  std::signal(SIGINT, OnInterrupt);
  unsigned speed = kFastest;
  ParseSpeed(options.speed, &info, &speed);  // the syntax was checked with the options
  const int code =
      session.Service().Burn(session.Index(), Wide(options.label), speed, options.force ? 1 : 0);
  if (code != Orlet::ResultOk) {
    std::signal(SIGINT, SIG_DFL);
    std::fprintf(stderr, "orlet-burn: burn refused: %s (code %d)\n", ResultWords(code).c_str(),
                 code);
    session.Service().SetBurnObserver(nullptr);
    return kExitFailed;
  }
  // Ctrl-C: the job stops at its next check point, and the write is aborted
  // at its next block. The SDK takes an abort only while the drive is held
  // for recording, so until it has taken one the request is made again at
  // every poll: a Ctrl-C while the recorder is being prepared still stops
  // the write that follows.
  bool cancelSent = false;
  bool abortTaken = false;
  const std::string device = Utf8(info.deviceName);
  while (!view.WaitForEnd([&] { return interrupted.load() || (cancelSent && !abortTaken); },
                          kInterruptPoll)) {
    if (!cancelSent) {
      std::printf("\n  cancelling...\n");
      std::fflush(stdout);
      session.Service().Cancel();
      cancelSent = true;
    }
    if (!abortTaken) abortTaken = StarBurn_AbortDeviceWrite(device.c_str()) == STARBURN_OK;
    interrupted = false;
  }
  std::signal(SIGINT, SIG_DFL);
  if (view.Succeeded()) {
    if (const unsigned taken = CurrentWriteSpeed(info);
        !image && taken != 0 && info.applyWriteSpeed != 0) {
      std::printf("  the drive wrote at %u KB/s (%s asked)\n", taken,
                  speed == kFastest ? "the fastest" : (std::to_string(speed) + " KB/s").c_str());
    }
    const std::size_t skipped = view.Skipped();
    if (skipped == 0) {
      std::printf("done: the %s was written\n", image ? "image" : "disc");
    } else {
      std::printf("done: the disc was written without %zu %s that cannot be read (named above)\n",
                  skipped, skipped == 1 ? "entry" : "entries");
    }
    return kExitOk;
  }
  if (view.DryRunPassed()) {
    std::printf("dry run: nothing was written\n");
    return kExitOk;
  }
  if (view.Cancelled() || cancelSent) {
    // A job cancelled before it wrote ends without a reason of its own.
    std::fprintf(stderr, "orlet-burn: cancelled; nothing was written\n");
    return kExitCancelled;
  }
  // Another program may have taken the drive between the check above and
  // the job's recording open, or written a session in between and let go: the
  // job then finds the disc is no longer the one it laid the image out for.
  std::string reason = view.Reason();
  Orlet::DriveInfo now;
  if (HeldByAnotherProgram(info)) {
    reason = kHeldElsewhere;
  } else if (session.Service().GetDriveInfo(session.Index(), now) == Orlet::ResultOk &&
             (now.sessionStartAddress != info.sessionStartAddress ||
              now.usedBytes != info.usedBytes || now.isBlank != info.isBlank)) {
    reason = std::string(kHeldElsewhere) + ": it wrote to the disc while this burn was prepared";
  }
  std::fprintf(stderr, "orlet-burn: nothing usable was written: %s\n", reason.c_str());
  return kExitFailed;
}

int MakeImage(const Options& options) {
  if (options.output.empty() || options.paths.empty()) {
    std::fprintf(stderr, "orlet-burn: image needs --output FILE and at least one file or folder\n");
    return kExitUsage;
  }
  if (options.output.find(';') != std::string::npos) {
    std::fprintf(stderr, "orlet-burn: the image's file name cannot hold ';'\n");
    return kExitUsage;
  }
  // A new image each time, as mkisofs -o makes one. It is written beside the
  // file as the disc of an "image" drive (one session from block 0, no state
  // file) and renamed over it once whole, so a failed run leaves any earlier
  // file as it was and no half image.
  const std::string part = options.output + ".part";
  if (std::remove(part.c_str()) != 0 && errno != ENOENT) {
    std::fprintf(stderr, "orlet-burn: cannot write %s: %s\n", part.c_str(), std::strerror(errno));
    return kExitFailed;
  }
  Options burn = options;
  burn.virtualDrives = {"image=" + part};
  burn.drive.reset();
  burn.import = false;
  int code = BurnPaths(burn);
  if (code == kExitOk && std::rename(part.c_str(), options.output.c_str()) != 0) {
    std::fprintf(stderr, "orlet-burn: cannot rename %s to %s: %s\n", part.c_str(),
                 options.output.c_str(), std::strerror(errno));
    code = kExitFailed;
  }
  if (code != kExitOk) std::remove(part.c_str());
  return code;
}

int EraseDisc(const Options& options) {
  Session session;
  Orlet::DriveInfo info;
  if (!session.Open(options.virtualDrives) || !session.Drive(options.drive, info)) {
    return kExitFailed;
  }
  if (HeldByAnotherProgram(info)) {
    std::fprintf(stderr, "orlet-burn: %s; try again when it is done\n", kHeldElsewhere);
    return kExitFailed;
  }
  EraseView view;
  session.Service().SetEraseObserver(&view);
  std::printf("erasing the %s in drive %zu\n", Utf8(info.discTypeName).c_str(), session.Index());
  const int code = session.Service().Erase(session.Index());
  session.Service().SetEraseObserver(nullptr);
  if (code != Orlet::ResultOk) {
    std::fprintf(stderr, "orlet-burn: erase failed: %s (code %d)\n",
                 HeldByAnotherProgram(info) ? kHeldElsewhere : ResultWords(code).c_str(), code);
    return kExitFailed;
  }
  std::printf("done: the disc is blank\n");
  return kExitOk;
}

}  // namespace orletburn
