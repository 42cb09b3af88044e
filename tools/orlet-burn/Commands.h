#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <vector>

namespace orletburn {

// Exit statuses.
constexpr int kExitOk = 0;
constexpr int kExitFailed = 1;
constexpr int kExitUsage = 2;
constexpr int kExitDifferences = 3;  // verify: the disc and the sources differ
constexpr int kExitCancelled = 130;  // as a shell reports an interrupted program

// What the command line asked for.
struct Options {
  std::string command;
  std::vector<std::string> virtualDrives;  // --virtual MEDIUM=PATH
  std::optional<std::size_t> drive;        // --drive N (see Session::Drive)
  std::string label;                       // --label L
  std::string speed = "max";               // --speed: KB/s, Nx or max (Speed.h)
  bool force = false;                      // --force
  bool import = true;                      // --no-import clears it
  bool update = false;                     // --update
  bool skipUnreadable = false;             // --skip-unreadable
  bool dryRun = false;                     // --dry-run
  bool close = false;                      // burn-image --close
  std::string output;                      // image --output FILE
  std::vector<std::string> paths;          // files and folders
};

int ListDrives(const Options& options);
int ShowDrive(const Options& options);
int BurnPaths(const Options& options);
// The image a burn would write, into options.output, through the same burn
// job on a virtual drive of the "image" kind.
int MakeImage(const Options& options);
// An image file written to the disc as it is, then read back and compared.
int BurnImageFile(const Options& options);
int EraseDisc(const Options& options);
int VerifyDisc(const Options& options);

}  // namespace orletburn
