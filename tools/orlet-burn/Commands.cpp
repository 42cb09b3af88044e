#include "Commands.h"

#include <starburn/StarBurn.h>

#include <atomic>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>

#include "BurnView.h"
#include "DriveUse.h"
#include "EraseView.h"
#include "Omissions.h"
#include "Report.h"
#include "Session.h"
#include "Speed.h"
#include "System.h"
#include "Text.h"
#include "UnusableDrives.h"
#include "Updates.h"
#include "Words.h"

namespace orletburn {

namespace {

// How often the main thread looks for Ctrl-C while a burn runs.
constexpr std::chrono::milliseconds kInterruptPoll(100);

std::atomic<bool> interrupted{false};

// The label the library gives a disc when the host names none.
const wchar_t* const kDefaultLabel = L"NoName";

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

nlohmann::ordered_json SpeedList(const std::vector<Orlet::SpeedEntry>& speeds) {
  nlohmann::ordered_json list = nlohmann::ordered_json::array();
  for (const auto& entry : speeds) {
    list.push_back({{"label", Utf8(entry.label == nullptr ? L"?" : entry.label)},
                    {"kb_per_second", entry.speed}});
  }
  return list;
}

}  // namespace

// The fields of a drive and its disc that drives and info share, for --json.
nlohmann::ordered_json DriveFields(std::size_t index, const Orlet::DriveInfo& info, bool held) {
  return {{"index", index},
          {"letter", Utf8(info.driveLetter)},
          {"device", Utf8(info.deviceName)},
          {"vendor", Utf8(info.vendorId)},
          {"product", Utf8(info.productId)},
          {"disc", Utf8(info.discTypeName)},
          {"disc_type", info.discType},
          {"state", held ? "in use" : DiscState(info)},
          {"label", Utf8(info.volumeLabel)},
          {"used_bytes", info.usedBytes},
          {"free_bytes", held ? 0 : info.freeBytes},
          {"lost_bytes", held ? 0 : LostBytes(info)}};
}

int ListDrives(const Options& options) {
  Session session;
  if (!session.Open(options.virtualDrives)) return kExitFailed;
  const std::size_t count = session.Service().GetDriveCount();
  if (count == 0) {
    Say("no optical drives found");
    PrintUnusableDrives();
    return kExitOk;
  }
  if (SpeaksWords()) {
    Say(Format("%-3s %-3s %-28s %-10s %-12s %-11s %s", "#", "", "drive", "disc", "space", "state",
               "free"));
  }
  for (std::size_t i = 0; i < count; ++i) {
    Orlet::DriveInfo info;
    if (session.Service().GetDriveInfo(i, info) != Orlet::ResultOk) {
      Warning(Format("drive %zu cannot be read", i));
      continue;
    }
    const bool held = HeldByAnotherProgram(info);
    Record("drive", DriveFields(i, info, held));
    if (!SpeaksWords()) continue;
    const std::string name = Utf8(info.vendorId) + " " + Utf8(info.productId);
    Say(Format("%-3zu %-3s %-28s %-10s %-12s %-11s %s", i, Utf8(info.driveLetter).c_str(),
               name.c_str(), Utf8(info.discTypeName).c_str(),
               held ? "-" : Utf8(info.spaceText).c_str(), held ? "in use" : DiscState(info).c_str(),
               held ? "-" : Size(info.freeBytes).c_str()));
    if (held) Say(Format("    (%s: it is recording)", kHeldElsewhere));
    const uint64_t lost = held ? 0 : LostBytes(info);
    if (lost != 0) {
      Say("    (" + Size(lost) + " of the disc lost to an interrupted recording)");
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
  const bool held = HeldByAnotherProgram(info);
  const bool writable = session.Service().IsDiscWritable(info) != 0;
  std::string formats;
  nlohmann::ordered_json formatList = nlohmann::ordered_json::array();
  for (const auto& format : kWritableFormats) {
    if (info.mediaFormats[format.position] == 0) continue;
    if (!formats.empty()) formats += ", ";
    formats += format.name;
    formatList.push_back(format.name);
  }
  nlohmann::ordered_json fields = DriveFields(session.Index(), info, held);
  fields.update({{"revision", Utf8(info.productRevision)},
                 {"access_method", info.accessMethod},
                 {"buffer_kb", info.bufferSize},
                 {"free_seconds", info.freeSeconds},
                 {"capacity_seconds", info.capacitySeconds},
                 {"next_session_block", info.sessionStartAddress},
                 {"erasable", info.isErasable != 0},
                 {"writable", writable},
                 {"writes", formatList},
                 {"write_speeds", SpeedList(info.writeSpeeds)},
                 {"read_speeds", SpeedList(info.readSpeeds)}});
  Record("drive", fields);
  if (!SpeaksWords()) return kExitOk;
  Say(Format("drive %zu", session.Index()));
  Say("  letter            " + Utf8(info.driveLetter));
  Say(Format("  device            %s (access method %d)", Utf8(info.deviceName).c_str(),
             info.accessMethod));
  Say(Format("  vendor / product  %s / %s, revision %s", Utf8(info.vendorId).c_str(),
             Utf8(info.productId).c_str(), Utf8(info.productRevision).c_str()));
  Say(Format("  buffer            %u KB", info.bufferSize));
  Say(Format("  disc              %s (type %d), %s", Utf8(info.discTypeName).c_str(), info.discType,
             held ? "in use: another program is recording on it" : DiscState(info).c_str()));
  Say("  label             " + Utf8(info.volumeLabel));
  Say(Format("  used / free       %s / %s (%u s at 1x)", Size(info.usedBytes).c_str(),
             Size(info.freeBytes).c_str(), info.freeSeconds));
  const uint64_t lost = held ? 0 : LostBytes(info);
  if (lost != 0) {
    Say("  lost              " + Size(lost) + ", to an interrupted recording (never read back)");
  }
  Say(Format("  capacity          %d s at 1x", info.capacitySeconds));
  Say(Format("  next session at   block %u", info.sessionStartAddress));
  Say(std::string("  erasable          ") + YesNo(info.isErasable));
  Say(std::string("  can write disc    ") + (writable ? "yes" : "no"));
  Say("  writes            " + (formats.empty() ? std::string("nothing") : formats));
  Say(Format("  write methods     track-at-once %s, session-at-once %s, packet %s, raw %s",
             YesNo(info.writeModes[kTrackAtOnce]), YesNo(info.writeModes[kSessionAtOnce]),
             YesNo(info.writeModes[kPacket]), YesNo(info.writeModes[kRaw])));
  Say("  write speeds      " + Speeds(info.writeSpeeds));
  Say("  read speeds       " + Speeds(info.readSpeeds));
  return kExitOk;
}

int BurnPaths(const Options& options) {
  if (options.paths.empty()) {
    Error("burn needs at least one file or folder");
    return kExitUsage;
  }
  // A path named on the command line must be there, whatever the options;
  // what cannot be read below it is the fill's to name (Omissions).
  for (const auto& path : options.paths) {
    const std::string unreachable = Unreachable(path);
    if (!unreachable.empty()) {
      Error(Format("%s: %s", path.c_str(), unreachable.c_str()));
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
    Error(Format("%s; try again when it is done", kHeldElsewhere));
    return kExitFailed;
  }
  const bool image = !options.output.empty();  // MakeImage's burn
  if (image) {
    Say(Format("making the image %s", options.output.c_str()));
  } else {
    Say(Format("burning to drive %zu (%s %s, %s)", session.Index(), Utf8(info.driveLetter).c_str(),
               Utf8(info.discTypeName).c_str(), DiscState(info).c_str()));
  }
  if (looksFull(info)) {
    // The library would accept the job and fail it at the drive; say why now.
    // (A disc the drive cannot write at all is the library's to refuse.)
    Error(
        Format("the disc is full: it is closed or has no room for another "
               "session%s",
               info.isErasable != 0 ? " (erase it to use it again)" : ""));
    return kExitFailed;
  }
  BurnView::Settings settings;
  settings.job = image ? "image" : "burn";
  settings.paths = options.paths;
  settings.importSession = options.import;
  settings.freeBytes = info.freeBytes;
  settings.skipUnreadable = options.skipUnreadable;
  settings.interactive = OutputIsTerminal();
  settings.dryRun = options.dryRun;
  settings.label = Wide(options.label);
  // A session that continues a disc bears the disc's label unless --label
  // names another (the view renames the root).
  const bool continues = !image && info.isBlank == 0 && info.usedBytes != 0;
  settings.update = options.update && continues;
  std::string unread;
  if (settings.update && !Updates::ReadDisc(Utf8(info.deviceName), &settings.discTimes, &unread)) {
    Error("--update: the disc's last session cannot be read: " + unread);
    return kExitFailed;
  }
  BurnView view(std::move(settings));
  session.Service().SetBurnObserver(&view);
  // Ctrl-C is caught from before the job starts: the job prints as soon as
  // it runs, and a Ctrl-C at its first line must cancel it, not kill us.
  interrupted = false;
  std::signal(SIGINT, OnInterrupt);
  unsigned speed = kFastest;
  ParseSpeed(options.speed, &info, &speed);  // the syntax was checked with the options
  if (options.label.empty() && continues && !info.volumeLabel.empty() &&
      info.volumeLabel != kDefaultLabel) {
    Say("  keeping the disc's label \"" + Printable(Utf8(info.volumeLabel)) + "\"");
  }
  if (options.force && !image && info.isErasable != 0 && info.isBlank == 0) {
    Say(options.import ? "  --force: the rewritable disc holds data; the new session is added "
                         "after it and keeps its files"
                       : "  --force: the rewritable disc holds data; the new session leaves its "
                         "files out (--no-import): they will no longer be seen");
  }
  const int code =
      session.Service().Burn(session.Index(), Wide(options.label), speed, options.force ? 1 : 0);
  if (code != Orlet::ResultOk) {
    std::signal(SIGINT, SIG_DFL);
    Error(Format("burn refused: %s (code %d)", ResultWords(code).c_str(), code));
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
      Say("  cancelling...");
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
      Say(Format("  the drive wrote at %u KB/s (%s asked)", taken,
                 speed == kFastest ? "the fastest" : (std::to_string(speed) + " KB/s").c_str()));
    }
    const std::size_t skipped = view.Skipped();
    if (skipped == 0) {
      Say(Format("done: the %s was written", image ? "image" : "disc"));
    } else {
      Say(Format("done: the disc was written without %zu %s that cannot be read (named above)",
                 skipped, skipped == 1 ? "entry" : "entries"));
    }
    return kExitOk;
  }
  if (view.DryRunPassed()) {
    Say("dry run: nothing was written");
    return kExitOk;
  }
  if (view.Cancelled() || cancelSent) {
    // A job cancelled before it wrote ends without a reason of its own.
    Error("cancelled; nothing was written");
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
  Error(Format("nothing usable was written: %s", reason.c_str()));
  return kExitFailed;
}

int MakeImage(const Options& options) {
  if (options.output.empty() || options.paths.empty()) {
    Error("image needs --output FILE and at least one file or folder");
    return kExitUsage;
  }
  if (options.output.find(';') != std::string::npos) {
    Error("the image's file name cannot hold ';'");
    return kExitUsage;
  }
  // A new image each time, as mkisofs -o makes one. It is written beside the
  // file as the disc of an "image" drive (one session from block 0, no state
  // file) and renamed over it once whole, so a failed run leaves any earlier
  // file as it was and no half image.
  const std::string part = options.output + ".part";
  if (std::remove(part.c_str()) != 0 && errno != ENOENT) {
    Error(Format("cannot write %s: %s", part.c_str(), std::strerror(errno)));
    return kExitFailed;
  }
  Options burn = options;
  burn.virtualDrives = {"image=" + part};
  burn.drive.reset();
  burn.import = false;
  int code = BurnPaths(burn);
  if (code == kExitOk && std::rename(part.c_str(), options.output.c_str()) != 0) {
    Error(Format("cannot rename %s to %s: %s", part.c_str(), options.output.c_str(),
                 std::strerror(errno)));
    code = kExitFailed;
  }
  if (code != kExitOk) std::remove(part.c_str());
  return code;
}

int EraseDisc(const Options& options) {
  Session session;
  Orlet::DriveInfo info;
  if (!session.Open(options.virtualDrives) || !session.DriveToWrite(options.drive, info)) {
    return kExitFailed;
  }
  EraseView view;
  session.Service().SetEraseObserver(&view);
  Say(Format("erasing the %s in drive %zu", Utf8(info.discTypeName).c_str(), session.Index()));
  const int code = session.Service().Erase(session.Index());
  session.Service().SetEraseObserver(nullptr);
  if (code != Orlet::ResultOk) {
    Error(Format("erase failed: %s (code %d)",
                 HeldByAnotherProgram(info) ? kHeldElsewhere : ResultWords(code).c_str(), code));
    return kExitFailed;
  }
  Say("done: the disc is blank");
  return kExitOk;
}

}  // namespace orletburn
