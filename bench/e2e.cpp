// Burns generated trees with orlet-burn to a virtual disc, the whole road a
// user takes (the SDK starts, the drive is found and read, the container
// filled, the image built and streamed to the drive, the session closed), and
// writes the same trees with genisoimage, xorriso and the disk's limit: tar
// to one file for trees of small files, a plain cat of the files for large
// ones. Prints each writer's medians (wall time, CPU time, peak memory, memory
// per file) and orlet-burn's ratios to the others; then, on the million-file
// tree, the time to append one file to the disc that holds it.
//
//   e2e_bench [WORK_DIR [TREE [ROUNDS]]]
//       default /tmp/orlet-e2e-bench, every tree, 3 rounds
//
// With ORLET_BURN_BASELINE=DIR set, DIR/bin/orlet-burn with the libraries of
// DIR/lib (an earlier build, copied) burns too, in the same turns, so a change
// is measured against what it changes on one machine at one time.
//
// Trees (made once, kept in WORK_DIR/trees, as iso_build makes them): 120
// large sparse files of about 1 GiB together; 50,000 files of 0.2-8 KB in
// 500 folders; 20,000 files in one folder; 1,000,000 files in 10,000
// folders. Writers take turns (paired runs) after a warm-up round; peak
// memory is the largest resident set of a writer's processes. The virtual
// drive writes every block of the image, holes of the sparse sources
// included, as genisoimage, xorriso and cat do.
//
// The virtual drive is given explicit habits (STARBURN_VIRTUAL_QUIRKS, printed
// first; busy-one-in=0,buffer-bytes=0 unless the variable is set): by default
// the emulated recorder answers some WRITEs busy, and every WRITE that would
// fill its 4 MiB buffer, and the writer pauses for each (a millisecond every
// 4 MiB), which measures the emulator's flow control, not the writing path. A burn ends with
// the image flushed to the disk (fdatasync: what makes a virtual disc
// durable), so tar and cat are timed twice, alone and with their output
// flushed the same way (sync -d).

#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "BenchTrees.h"

namespace {

// A tree larger than this goes to a BD-R: a DVD+R holds 2,295,104 blocks of
// 2048 bytes, less room for the file system.
constexpr uint64_t kDvdBytes = 4480ull << 20;
// Trees of files at least this large on average are read at the disk's pace;
// cat is their limit, tar (one header per file) that of small files.
constexpr uint64_t kLargeAverage = 1 << 20;
// A tree of at least this many files also gets the append figure.
constexpr uint64_t kAppendAtScaleFiles = 1000000;
// The emulated recorder's habits unless the caller chose others: no WRITE
// answered busy, so the burn is not paced by the emulator's flow control.
constexpr const char* kQuirksVariable = "STARBURN_VIRTUAL_QUIRKS";
constexpr const char* kBenchQuirks = "busy-one-in=0,buffer-bytes=0";

// Runs command (sh -c, $1 and $2 the arguments) and then, with flushed,
// flushes output's data to the disk as a burn does before it reports.
int ExecShell(const std::string& command, const std::string& first, const std::string& output,
              bool flushed) {
  const std::string line = flushed ? command + " && sync -d \"$2\"" : command;
  return bench::Exec({"sh", "-c", line, "limit", first, output});
}

// baseline: the directory of an earlier build, or empty for this build.
int BurnWithOrlet(const std::string& drive, const std::vector<std::string>& paths,
                  const std::string& baseline = "") {
  std::vector<std::string> arguments = {ORLET_BURN_PATH, "--virtual", drive, "burn"};
  if (!baseline.empty()) {
    arguments[0] = baseline + "/bin/orlet-burn";
    arguments.insert(arguments.begin(), {"env", "LD_LIBRARY_PATH=" + baseline + "/lib"});
  }
  arguments.insert(arguments.end(), paths.begin(), paths.end());
  return bench::Exec(arguments);
}

void RemoveDisc(const std::string& image) {
  std::remove(image.c_str());
  std::remove((image + ".state").c_str());
}

// Burns the tree to a BD-R once, then appends one new file to it per round
// (the earlier session imported, as orlet-burn does by default) and prints
// the medians; as a yardstick, isoinfo listing every file of the disc.
void AppendAtScale(const std::string& work, const std::string& source, uint64_t files, int rounds) {
  const std::string image = work + "/append.iso";
  const std::string drive = "bd-r=" + image;
  RemoveDisc(image);
  if (!bench::RunChild([&] { return BurnWithOrlet(drive, {source}); }).ok) {
    std::printf("append: the first burn failed\n");
    return;
  }
  const std::vector<bench::Writer> writers = {
      {"orlet-burn append 1 file",
       [&] {
         const std::string file = work + "/appended-" + std::to_string(::getpid()) + ".txt";
         std::FILE* out = std::fopen(file.c_str(), "w");
         std::fputs("one more file\n", out);
         std::fclose(out);
         return BurnWithOrlet(drive, {file});
       }},
      {"isoinfo -f (list the disc)",
       [&] {
         return bench::Exec({"sh", "-c", "isoinfo -J -f -i \"$1\" > /dev/null", "isoinfo", image});
       }},
  };
  bench::RunWriters("append", files, writers, rounds);
  RemoveDisc(image);
  std::system(("rm -f '" + work + "'/appended-*.txt").c_str());
}

}  // namespace

int main(int argc, char** argv) {
  const std::string work = argc > 1 ? argv[1] : "/tmp/orlet-e2e-bench";
  const int rounds = argc > 3 ? std::atoi(argv[3]) : 3;
  const char* baseline = std::getenv("ORLET_BURN_BASELINE");
  std::system(("mkdir -p '" + work + "/trees'").c_str());
  ::setenv(kQuirksVariable, kBenchQuirks, /*overwrite=*/0);
  std::printf("virtual drive: %s=%s\n", kQuirksVariable, std::getenv(kQuirksVariable));
  bench::PrintHeading();
  for (const bench::TreeShape& shape : bench::kTrees) {
    if (argc > 2 && std::strcmp(argv[2], shape.name) != 0) continue;
    const std::string source = work + "/trees/" + shape.name;
    bench::MakeTree(source, shape);
    const uint64_t files = uint64_t(shape.folders) * uint64_t(shape.filesPerFolder);
    const uint64_t bytes = bench::TreeBytes(shape);
    const std::string medium = bytes > kDvdBytes ? "bd-r" : "dvd+r";
    const std::string output = work + "/" + shape.name + ".out";
    std::string drive = medium;
    drive.append("=").append(output);
    std::vector<bench::Writer> writers = {
        {"orlet-burn (" + medium + ")",
         [&] {
           RemoveDisc(output);  // a blank disc for every run
           return BurnWithOrlet(drive, {source});
         }},
    };
    if (baseline != nullptr) {
      writers.push_back({"orlet-burn, baseline", [&] {
                           RemoveDisc(output);
                           return BurnWithOrlet(drive, {source}, baseline);
                         }});
    }
    for (const bool flushed : {false, true}) {
      const std::string suffix = flushed ? " + sync" : "";
      if (bytes / files >= kLargeAverage) {
        writers.push_back({"cat" + suffix, [&source, &output, flushed] {
                             return ExecShell("find \"$1\" -type f -print0 | xargs -0 cat > \"$2\"",
                                              source, output, flushed);
                           }});
      } else {
        writers.push_back({"tar" + suffix, [&source, &output, flushed] {
                             return ExecShell("tar -cf \"$2\" -C \"$1\" .", source, output,
                                              flushed);
                           }});
      }
    }
    writers.push_back(
        {"genisoimage -J -r", [&] {
           return bench::Exec({"genisoimage", "-quiet", "-J", "-r", "-o", output, source});
         }});
    writers.push_back({"xorriso -as mkisofs", [&] {
                         return bench::Exec({"xorriso", "-as", "mkisofs", "-quiet", "-J", "-r",
                                             "-o", output, source});
                       }});
    bench::RunWriters(shape.name, files, writers, rounds);
    RemoveDisc(output);
    if (files >= kAppendAtScaleFiles) AppendAtScale(work, source, files, rounds);
  }
  return 0;
}
