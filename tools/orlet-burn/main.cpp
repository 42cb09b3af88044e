// orlet-burn: a sample host of the media-burning library. It lists drives,
// shows one drive, burns files and folders with a progress bar (appending to
// a disc that holds data), erases rewritable discs and verifies a disc
// against its sources.
//
// Options follow the GNU conventions (getopt_long): anywhere on the line,
// "--opt value" or "--opt=value", and "--" ends them, so that a path may begin
// with "-". "orlet-burn COMMAND --help" shows one command's usage.

#include <getopt.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "Commands.h"
#include "Report.h"
#include "Speed.h"
#include "System.h"

namespace {

struct CommandHelp {
  const char* name;
  const char* usage;
};

// Each command's usage, as "orlet-burn COMMAND --help" prints it and
// "orlet-burn --help" lists them all.
const CommandHelp kCommands[] = {
    {"drives", "  drives                      list the drives and their discs\n"},
    {"info", "  info N                      everything about drive N\n"},
    {"burn",
     "  burn [--drive N] [--label L] [--speed S] [--force] [--no-import | --update]\n"
     "       [--skip-unreadable] [--dry-run] PATH...\n"
     "                              write files and folders to the disc; a folder\n"
     "                              given as DIR/ puts its contents at the root\n"
     "    --label L          the disc's label (Joliet: 16 characters); without it an\n"
     "                       appended session keeps the disc's label\n"
     "    --speed S          write speed: KB/s, Nx (1x: CD 176, DVD 1385, BD 4496 KB/s)\n"
     "                       or max (the default)\n"
     "    --force            write to a rewritable disc that is not blank\n"
     "    --no-import        leave the disc's earlier files out of the new session\n"
     "    --update           paths the disc already holds: merge folders, keep files\n"
     "                       of the same size and time, replace the others\n"
     "    --skip-unreadable  burn what can be read; name the rest as warnings\n"
     "    --dry-run          every check of a burn, then say what would be written\n"},
    {"burn-image",
     "  burn-image [--drive N] [--speed S] [--force] [--close] FILE.iso\n"
     "                              write an image file as it is, then read it back\n"
     "                              and compare; on a disc that holds data (--force)\n"
     "                              after it, or from block 0 on DVD+RW, DVD-RAM, BD-RE\n"
     "    --close            close the disc: no further session\n"},
    {"image",
     "  image --output FILE [--label L] PATH...\n"
     "                              write the image a burn would write to FILE (.iso)\n"},
    {"erase", "  erase [--drive N]           erase a rewritable disc\n"},
    {"verify", "  verify [--drive N] PATH...  compare the disc's last session with the sources\n"},
};

const char* const kCommon =
    "Options anywhere on the line, as --opt VALUE or --opt=VALUE; -- ends them.\n"
    "  --virtual MEDIUM=PATH       attach a virtual drive (may be given again)\n"
    "  -v, --verbose               log every command sent to a drive (CDB, data,\n"
    "                              time, sense in words) to the standard error;\n"
    "                              STARBURN_LOG=FILE logs them to FILE\n"
    "  --drive N                   the drive to use; without it, the first drive\n"
    "                              given with --virtual, else drive 0\n"
    "  -q, --quiet                 say only errors and warnings\n"
    "  --json                      one JSON object per line on the standard output:\n"
    "                              message, warning, error, event, progress,\n"
    "                              estimate, drive, unusable_drive, difference, and\n"
    "                              last a result {exit, status, text} (see the man page)\n"
    "MEDIUM: cd-r cd-rw dvd-r dvd-rw dvd-rw-ro dvd+r dvd+rw dvd-ram dvd+r-dl dvd-r-dl\n"
    "        bd-r bd-re image cd-rom dvd-rom bd-rom empty; PATH: the disc's image file\n";

const char* const kBurnNotes =
    "A burn writes nothing if an entry below a PATH cannot be read (permission\n"
    "denied, dangling link, link loop, path too deep): it names each one with the\n"
    "reason and exits 1. With --skip-unreadable (as tar's --ignore-failed-read) it\n"
    "burns the rest, names those entries as warnings and exits 0; a folder that\n"
    "cannot be listed is burned empty. Files the disc cannot hold (over 4 GiB) are\n"
    "always refused.\n";

const char* const kExitCodes =
    "Exit status: 0 done, 1 failed or refused, 2 usage, 3 verify found differences,\n"
    "130 cancelled.\n";

// The whole usage, or one command's when command names one.
void Usage(FILE* out, const std::string& command) {
  for (const CommandHelp& help : kCommands) {
    if (command == help.name) {
      std::fprintf(out, "usage: orlet-burn [--virtual MEDIUM=PATH]... %s", help.usage + 2);
      std::fprintf(out, "%s%s%s", kCommon, command == "burn" ? kBurnNotes : "", kExitCodes);
      return;
    }
  }
  std::fprintf(out, "usage: orlet-burn [--virtual MEDIUM=PATH]... COMMAND [options]\n");
  for (const CommandHelp& help : kCommands) std::fputs(help.usage, out);
  std::fprintf(out, "  --version\n%s%s%s", kCommon, kBurnNotes, kExitCodes);
}

bool Number(const char* text, unsigned long long* value) {
  char* end = nullptr;
  *value = std::strtoull(text, &end, 10);
  return text[0] != '\0' && text[0] != '-' && end != nullptr && *end == '\0';
}

enum Option {
  kVirtual = 256,
  kDrive,
  kLabel,
  kSpeed,
  kForce,
  kNoImport,
  kUpdate,
  kSkipUnreadable,
  kDryRun,
  kClose,
  kOutput,
  kVersion,
  kJson,
};

const option kOptions[] = {
    {"virtual", required_argument, nullptr, kVirtual},
    {"drive", required_argument, nullptr, kDrive},
    {"label", required_argument, nullptr, kLabel},
    {"speed", required_argument, nullptr, kSpeed},
    {"force", no_argument, nullptr, kForce},
    {"no-import", no_argument, nullptr, kNoImport},
    {"update", no_argument, nullptr, kUpdate},
    {"skip-unreadable", no_argument, nullptr, kSkipUnreadable},
    {"dry-run", no_argument, nullptr, kDryRun},
    {"close", no_argument, nullptr, kClose},
    {"output", required_argument, nullptr, kOutput},
    {"version", no_argument, nullptr, kVersion},
    {"help", no_argument, nullptr, 'h'},
    {"verbose", no_argument, nullptr, 'v'},
    {"quiet", no_argument, nullptr, 'q'},
    {"json", no_argument, nullptr, kJson},
    {nullptr, 0, nullptr, 0},
};

}  // namespace

int main(int argc, char** argv) {
  using namespace orletburn;
  Options options;
  bool help = false;
  opterr = 0;  // the messages below say it in the tool's words
  // --json is looked for first, so that a usage error found on the way is
  // answered in JSON too.
  for (int i = 1; i < argc && std::strcmp(argv[i], "--") != 0; ++i) {
    if (std::strcmp(argv[i], "--json") == 0) SetVoice(Voice::kJson);
  }
  for (;;) {
    const int got = getopt_long(argc, argv, ":hvq", kOptions, nullptr);
    if (got == -1) break;
    unsigned long long number = 0;
    switch (got) {
      case kVersion:
        std::printf("orlet-burn %s\n", ORLET_VERSION);
        return kExitOk;
      case 'h':
        help = true;
        break;
      case 'v':
        // Every command sent to a drive, on the standard error: the SDK's
        // command log, which reads the variable at its first command.
        SetEnvironment("STARBURN_LOG", "-");
        break;
      case 'q':
        if (!SpeaksJson()) SetVoice(Voice::kQuiet);
        break;
      case kJson:
        SetVoice(Voice::kJson);
        break;
      case kVirtual:
        options.virtualDrives.push_back(optarg);
        break;
      case kDrive:
        if (!Number(optarg, &number)) {
          Error("--drive takes a drive number");
          return Finish(kExitUsage);
        }
        options.drive = number;
        break;
      case kLabel:
        options.label = optarg;
        break;
      case kSpeed: {
        unsigned ignored = 0;
        if (!ParseSpeed(optarg, nullptr, &ignored)) {
          Error(
              Format("--speed takes KB/s from 1 to 65535, a multiple of the "
                     "disc's 1x (8x) or max"));
          return Finish(kExitUsage);
        }
        options.speed = optarg;
        break;
      }
      case kForce:
        options.force = true;
        break;
      case kNoImport:
        options.import = false;
        break;
      case kUpdate:
        options.update = true;
        break;
      case kSkipUnreadable:
        options.skipUnreadable = true;
        break;
      case kDryRun:
        options.dryRun = true;
        break;
      case kClose:
        options.close = true;
        break;
      case kOutput:
        options.output = optarg;
        break;
      case ':':
        Error(Format("%s needs a value", argv[optind - 1]));
        return Finish(kExitUsage);
      default:
        // A short option getopt did not know is in optopt; past a long one,
        // getopt has stepped over it.
        if (optopt != 0) {
          Error(Format("unknown option -%c", optopt));
        } else {
          Error(Format("unknown option %s", argv[optind - 1]));
        }
        Usage(stderr, "");
        return Finish(kExitUsage);
    }
  }
  for (int i = optind; i < argc; ++i) {
    unsigned long long number = 0;
    if (options.command.empty()) {
      options.command = argv[i];
    } else if (options.command == "info" && options.paths.empty() && Number(argv[i], &number)) {
      options.drive = number;
      options.paths.push_back(argv[i]);
    } else {
      options.paths.push_back(argv[i]);
    }
  }
  if (help) {
    Usage(stdout, options.command);
    return kExitOk;
  }
  if (options.update && !options.import) {
    Error(
        "--update keeps the disc's earlier files and replaces changed ones: not with --no-import");
    return Finish(kExitUsage);
  }
  if (options.command.empty() || options.command == "drives") return Finish(ListDrives(options));
  if (options.command == "info") return Finish(ShowDrive(options));
  if (options.command == "burn") return Finish(BurnPaths(options));
  if (options.command == "image") return Finish(MakeImage(options));
  if (options.command == "burn-image") return Finish(BurnImageFile(options));
  if (options.command == "erase") return Finish(EraseDisc(options));
  if (options.command == "verify") return Finish(VerifyDisc(options));
  Error(Format("unknown command %s", options.command.c_str()));
  Usage(stderr, "");
  return Finish(kExitUsage);
}
