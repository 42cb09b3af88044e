// Burns three generated trees with orlet-burn to a virtual DVD+R, the whole
// road a user takes (the SDK starts, the drive is found and read, the
// container filled, the image built and streamed to the drive, the session
// closed), and makes images of the same trees with genisoimage and xorriso
// and a plain copy of the same files into one file with cat, the disk's
// limit. Prints wall time, peak memory and the ratios.
//
//   e2e_bench [WORK_DIR [TREE]]   (default /tmp/orlet-e2e-bench, every tree)
//
// Trees (made once, kept in WORK_DIR/trees, as iso_build makes them): 120
// large sparse files of about 1 GiB together; 50,000 small files in 100
// folders; 20,000 files in one folder. Each writer runs in a child process
// twice and the faster run counts; peak memory is the child's maximum
// resident set (for cat, the largest of its processes). The virtual drive
// writes every block of the image, holes of the sparse sources included, as
// genisoimage, xorriso and cat do.

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

}  // namespace

int main(int argc, char** argv) {
  const std::string work = argc > 1 ? argv[1] : "/tmp/orlet-e2e-bench";
  std::system(("mkdir -p '" + work + "/trees'").c_str());
  bench::PrintHeading("orlet-burn");
  for (const bench::TreeShape& shape : bench::kTrees) {
    if (argc > 2 && std::strcmp(argv[2], shape.name) != 0) continue;
    const std::string source = work + "/trees/" + shape.name;
    bench::MakeTree(source, shape);
    const uint64_t bytes = uint64_t(shape.folders) * shape.filesPerFolder * shape.fileSize;
    const std::string medium = bytes > kDvdBytes ? "bd-r" : "dvd+r";
    const std::string output = work + "/" + shape.name + ".iso";
    std::string drive = medium;
    drive += "=" + output;
    const std::vector<bench::Writer> writers = {
        {"orlet-burn (" + medium + ")",
         [&] {
           // A blank disc for every run.
           std::remove(output.c_str());
           std::remove((output + ".state").c_str());
           return bench::Exec({ORLET_BURN_PATH, "--virtual", drive, "burn", source});
         }},
        {"genisoimage -J -r",
         [&] {
           return bench::Exec({"genisoimage", "-quiet", "-J", "-r", "-o", output, source});
         }},
        {"xorriso -as mkisofs",
         [&] {
           return bench::Exec(
               {"xorriso", "-as", "mkisofs", "-quiet", "-J", "-r", "-o", output, source});
         }},
        {"cat (the disk's limit)",
         [&] {
           return bench::Exec({"sh", "-c", "find \"$1\" -type f -print0 | xargs -0 cat > \"$2\"",
                               "cat", source, output});
         }},
    };
    bench::RunWriters(shape.name, writers);
    std::remove(output.c_str());
    std::remove((output + ".state").c_str());
  }
  return 0;
}
