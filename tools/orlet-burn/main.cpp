// orlet-burn: a sample host of the media-burning library. It lists drives,
// shows one drive, burns files and folders with a progress bar (appending to
// a disc that holds data), erases rewritable discs and verifies a disc
// against its sources.

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "Commands.h"

namespace {

void Usage(FILE* out) {
  std::fprintf(
      out,
      "usage: orlet-burn [--virtual MEDIUM=PATH]... COMMAND [options]\n"
      "  drives                      list the drives and their discs\n"
      "  info N                      everything about drive N\n"
      "  burn [--drive N] [--label L] [--speed KBps] [--force] [--no-import]\n"
      "       [--skip-unreadable] PATH...\n"
      "                              write files and folders to the disc\n"
      "  erase [--drive N]           erase a rewritable disc\n"
      "  verify [--drive N] PATH...  compare the disc's last session with the sources\n"
      "  --version\n"
      "Without --drive, a command uses the first drive given with --virtual, else drive 0.\n"
      "MEDIUM: cd-r cd-rw dvd-r dvd-rw dvd-rw-ro dvd+r dvd+rw dvd-ram dvd+r-dl dvd-r-dl\n"
      "        bd-r bd-re cd-rom dvd-rom bd-rom empty; PATH: the disc's image file\n"
      "A burn writes nothing if an entry below a PATH cannot be read (permission\n"
      "denied, dangling link, link loop, path too deep): it names each one with the\n"
      "reason and exits 1. With --skip-unreadable (as tar's --ignore-failed-read) it\n"
      "burns the rest, names those entries as warnings and exits 0; a folder that\n"
      "cannot be listed is burned empty. Files the disc cannot hold (over 4 GiB) are\n"
      "always refused.\n"
      "Exit status: 0 done, 1 failed or refused, 2 usage, 130 cancelled.\n");
}

bool Number(const char* text, unsigned long long* value) {
  char* end = nullptr;
  *value = std::strtoull(text, &end, 10);
  return text[0] != '\0' && end != nullptr && *end == '\0';
}

}  // namespace

int main(int argc, char** argv) {
  using namespace orletburn;
  Options options;
  for (int i = 1; i < argc; ++i) {
    const std::string argument = argv[i];
    auto value = [&](const char* name) -> const char* {
      if (i + 1 >= argc) {
        std::fprintf(stderr, "orlet-burn: %s needs a value\n", name);
        std::exit(kExitUsage);
      }
      return argv[++i];
    };
    unsigned long long number = 0;
    if (argument == "--version") {
      std::printf("orlet-burn %s\n", ORLET_VERSION);
      return kExitOk;
    } else if (argument == "--help" || argument == "-h") {
      Usage(stdout);
      return kExitOk;
    } else if (argument == "--virtual") {
      options.virtualDrives.push_back(value("--virtual"));
    } else if (argument == "--drive") {
      if (!Number(value("--drive"), &number)) {
        std::fprintf(stderr, "orlet-burn: --drive takes a drive number\n");
        return kExitUsage;
      }
      options.drive = number;
    } else if (argument == "--label") {
      options.label = value("--label");
    } else if (argument == "--speed") {
      if (!Number(value("--speed"), &number) || number == 0 || number > 65535) {
        std::fprintf(stderr, "orlet-burn: --speed takes KB/s from 1 to 65535\n");
        return kExitUsage;
      }
      options.speed = static_cast<unsigned>(number);
    } else if (argument == "--force") {
      options.force = true;
    } else if (argument == "--no-import") {
      options.import = false;
    } else if (argument == "--skip-unreadable") {
      options.skipUnreadable = true;
    } else if (argument.size() > 1 && argument[0] == '-') {
      std::fprintf(stderr, "orlet-burn: unknown option %s\n", argument.c_str());
      Usage(stderr);
      return kExitUsage;
    } else if (options.command.empty()) {
      options.command = argument;
    } else if (options.command == "info" && options.paths.empty() && Number(argv[i], &number)) {
      options.drive = number;
      options.paths.push_back(argument);
    } else {
      options.paths.push_back(argument);
    }
  }
  if (options.command.empty() || options.command == "drives") return ListDrives(options);
  if (options.command == "info") return ShowDrive(options);
  if (options.command == "burn") return BurnPaths(options);
  if (options.command == "erase") return EraseDisc(options);
  if (options.command == "verify") return VerifyDisc(options);
  std::fprintf(stderr, "orlet-burn: unknown command %s\n", options.command.c_str());
  Usage(stderr);
  return kExitUsage;
}
