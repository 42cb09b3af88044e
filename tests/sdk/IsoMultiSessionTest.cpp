// Later sessions: a tree imports the last session of a disc, the host adds to
// it, and the new image laid out from the next address keeps the imported
// files where they are. Sessions written by genisoimage and xorriso import
// the same way.

#include <gtest/gtest.h>

#include <filesystem>
#include <map>
#include <sstream>

#include "IsoTestSupport.h"

namespace {

using isotest::Shell;
using isotest::TempDir;
using isotest::Tree;
using starburn::kBlockSize;
namespace fs = std::filesystem;

uint32_t Blocks(const std::string& path) {
  return static_cast<uint32_t>(fs::file_size(path) / kBlockSize);
}

// Puts image (a session laid out for start) into disc at start.
void PlaceSession(const std::string& disc, const std::string& image, uint32_t start) {
  std::fstream out(disc, std::ios::in | std::ios::out | std::ios::binary);
  const std::string bytes = isotest::ReadFile(image);
  out.seekp(static_cast<std::streamoff>(start) * kBlockSize);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

// A copy of disc whose descriptors at block 16 are those of the session at
// start, as an overwritable disc is updated: every reader then sees it.
std::string LatestView(const std::string& disc, uint32_t start, const TempDir& temp) {
  std::string view = temp / "view.iso";
  fs::copy_file(disc, view, fs::copy_options::overwrite_existing);
  std::string bytes = isotest::ReadFile(disc);
  std::fstream out(view, std::ios::in | std::ios::out | std::ios::binary);
  out.seekp(std::streamoff{16} * kBlockSize);
  out.write(bytes.data() + (std::size_t{start} + 16) * kBlockSize, std::streamsize{3} * kBlockSize);
  return view;
}

// "path" -> extent of each file, as isoinfo lists the Joliet tree.
std::map<std::string, std::string> Extents(const std::string& image) {
  std::map<std::string, std::string> extents;
  std::istringstream lines(Shell("isoinfo -l -J -i " + image));
  std::string line;
  std::string directory;
  while (std::getline(lines, line)) {
    if (line.rfind("Directory listing of ", 0) == 0) directory = line.substr(21);
    const std::size_t bracket = line.find('[');
    if (bracket == std::string::npos || line[0] == 'd') continue;
    std::istringstream tail(line.substr(bracket + 1));
    std::string extent, flags, name;
    tail >> extent >> flags >> name;
    extents[directory + name] = extent;
  }
  return extents;
}

// Imports a track of an image file into tree.
StarBurnStatus ImportTrack(Tree& tree, const std::string& disc,
                           std::vector<std::pair<uint32_t, uint32_t>> tracks, uint8_t track) {
  isotest::FileReader reader(disc);
  void* device =
      starburn::HandleTable::Instance().Add(new isotest::DiscDouble(&reader, std::move(tracks)));
  const StarBurnStatus status = StarBurn_ISO9660JolietFileTree_ImportTrack(
      device, tree.handle, track, 1, tree.error, sizeof tree.error, &tree.systemError);
  StarBurn_Destroy(&device);
  return status;
}

void* KidByFirstName(Tree& tree, void* node, const std::string& first) {
  for (void* kid : tree.Kids(node)) {
    if (tree.Names(kid).first == first) return kid;
  }
  return nullptr;
}

// What xorriso extracts from image: "path size content" per file.
std::vector<std::string> Extracted(const std::string& image, const TempDir& temp) {
  const std::string out = temp / "extracted";
  fs::remove_all(out);
  Shell("xorriso -osirrox on -indev " + image + " -extract / " + out);
  std::vector<std::string> files;
  for (const auto& item : fs::recursive_directory_iterator(out)) {
    if (item.is_directory()) continue;
    const std::string content = isotest::ReadFile(item.path().string());
    files.push_back(fs::relative(item.path(), out).string() + " " + content.substr(0, 16) + " " +
                    std::to_string(content.size()));
  }
  std::sort(files.begin(), files.end());
  return files;
}

TEST(IsoMultiSessionTest, ASecondSessionKeepsTheFirstOnesFilesWhereTheyAre) {
  if (!isotest::HaveCommand("xorriso") || !isotest::HaveCommand("isoinfo")) {
    GTEST_SKIP() << "xorriso or isoinfo is not installed (scripts/setup installs them)";
  }
  TempDir temp;
  isotest::WriteFile(temp / "old.txt", "old content");
  isotest::WriteFile(temp / "root-old.bin", std::string(3000, 'r'));
  isotest::WriteFile(temp / "new.txt", "new content");
  const std::string disc = temp / "disc.iso";
  {
    Tree first(0, 1);
    void* keep = first.AddDirectory(first.Root(), "keep");
    first.AddFile(keep, temp / "old.txt", "old.txt");
    first.AddFile(first.Root(), temp / "root-old.bin", "root-old.bin");
    ASSERT_EQ(first.Build(0, "FIRST"), STARBURN_OK);
    ASSERT_EQ(first.Save(disc), STARBURN_OK);
  }
  const auto before = Extents(disc);
  const uint32_t start = Blocks(disc) + 2;  // a gap between sessions, as on a CD

  Tree second(0, 1);
  ASSERT_EQ(ImportTrack(second, disc, {{0, Blocks(disc)}}, 1), STARBURN_OK) << second.error;
  void* keep = KidByFirstName(second, second.Root(), "KEEP");
  ASSERT_NE(keep, nullptr);
  EXPECT_EQ(second.Names(keep).second, "keep");
  void* old = KidByFirstName(second, keep, "OLD.TXT;1");
  ASSERT_NE(old, nullptr);
  EXPECT_EQ(second.Size(old), 11u);
  second.AddFile(keep, temp / "new.txt", "new.txt");
  second.AddFile(second.Root(), temp / "new.txt", "root-old.bin");  // same name as an old file
  ASSERT_EQ(second.status, STARBURN_OK);
  EXPECT_EQ(second.Build(start - 3), STARBURN_STATUS_INVALID_ARGUMENT);  // over the old data
  ASSERT_EQ(second.Build(start, "SECOND"), STARBURN_OK) << second.error;
  ASSERT_EQ(second.Save(disc, true), STARBURN_OK) << second.error;

  const std::string view = LatestView(disc, start, temp);
  const auto after = Extents(view);
  EXPECT_EQ(after.at("/keep/old.txt"), before.at("/keep/old.txt"));
  EXPECT_EQ(after.at("/root-old.bin"), before.at("/root-old.bin"));
  EXPECT_GE(std::stoul(after.at("/keep/new.txt")), start);
  EXPECT_EQ(Extracted(view, temp),
            (std::vector<std::string>{"keep/new.txt new content 11", "keep/old.txt old content 11",
                                      "root-old.bin " + std::string(16, 'r') + " 3000",
                                      "root-old_1.bin new content 11"}));
  EXPECT_EQ(Extracted(disc, temp),  // block 16 still names the first session
            (std::vector<std::string>{"keep/old.txt old content 11",
                                      "root-old.bin " + std::string(16, 'r') + " 3000"}));
}

// Makes a two-session disc with a peer writer's -C/-M options; answers the
// second session's start.
uint32_t PeerSessions(const std::string& writer, const TempDir& temp, const std::string& disc) {
  fs::create_directories(temp / "one/dir");
  fs::create_directories(temp / "two");
  isotest::WriteFile(temp / "one/a.txt", "session one");
  isotest::WriteFile(temp / "one/dir/b.txt", "inside");
  isotest::WriteFile(temp / "two/c.txt", "session two");
  int code = 0;
  Shell(writer + " -J -r -o " + disc + " " + (temp / "one"), &code);
  EXPECT_EQ(code, 0);
  const uint32_t start = Blocks(disc);
  const std::string next = temp / "next.iso";
  Shell(writer + " -J -r -C 0," + std::to_string(start) + " -M " + disc + " -o " + next + " " +
            (temp / "two"),
        &code);
  EXPECT_EQ(code, 0);
  PlaceSession(disc, next, start);
  return start;
}

TEST(IsoMultiSessionTest, SessionsOfGenisoimageAndXorrisoAreImported) {
  for (const std::string writer : {"genisoimage -quiet", "xorriso -as mkisofs"}) {
    if (!isotest::HaveCommand(writer.substr(0, writer.find(' '))) ||
        !isotest::HaveCommand("xorriso")) {
      GTEST_SKIP() << writer << " is not installed (scripts/setup installs it)";
    }
    TempDir temp;
    const std::string disc = temp / "disc.iso";
    const uint32_t start = PeerSessions(writer, temp, disc);
    const uint32_t end = Blocks(disc);
    Tree tree(0, 1);
    ASSERT_EQ(ImportTrack(tree, disc, {{0, start}, {start, end - start}}, 2), STARBURN_OK)
        << writer << ": " << tree.error;
    std::vector<std::string> names;
    for (void* kid : tree.Kids(tree.Root())) {
      names.push_back(tree.Names(kid).second + (tree.IsDirectory(kid) ? "/" : ""));
    }
    std::sort(names.begin(), names.end());
    EXPECT_EQ(names, (std::vector<std::string>{"a.txt", "c.txt", "dir/"})) << writer;

    // A third session of ours over it reads back whole.
    isotest::WriteFile(temp / "d.txt", "session three");
    tree.AddFile(tree.Root(), temp / "d.txt", "d.txt");
    ASSERT_EQ(tree.Build(end), STARBURN_OK) << tree.error;
    ASSERT_EQ(tree.Save(disc, true), STARBURN_OK);
    EXPECT_EQ(Extracted(LatestView(disc, end, temp), temp),
              (std::vector<std::string>{"a.txt session one 11", "c.txt session two 11",
                                        "d.txt session three 13", "dir/b.txt inside 6"}))
        << writer;
  }
}

}  // namespace
