// Images built by the tree calls, read back by independent readers: xorriso,
// isoinfo, isovfy, 7z and pycdlib must list the sources' names and sizes, and
// the content of small files.

#include <gtest/gtest.h>

#include <filesystem>
#include <map>
#include <sstream>

#include "IsoTestSupport.h"

namespace {

using isotest::HaveCommand;
using isotest::Shell;
using isotest::TempDir;
using isotest::Tree;
namespace fs = std::filesystem;

// path ("/a/b.txt", directories end with "/") to "size" or "size hash".
using Listing = std::map<std::string, std::string>;

uint64_t Fnv(const std::string& data) {
  uint64_t hash = 1469598103934665603ull;
  for (unsigned char c : data) hash = (hash ^ c) * 1099511628211ull;
  return hash;
}

std::string Entry(uint64_t size, const std::string* content) {
  return content != nullptr ? std::to_string(size) + " " + std::to_string(Fnv(*content))
                            : std::to_string(size);
}

Listing ListFolder(const std::string& root, bool hashes) {
  Listing listing;
  for (const auto& item : fs::recursive_directory_iterator(root)) {
    const std::string path = "/" + fs::relative(item.path(), root).string();
    if (item.is_directory()) {
      listing[path + "/"] = "";
    } else {
      const std::string content = isotest::ReadFile(item.path().string());
      listing[path] = Entry(content.size(), hashes ? &content : nullptr);
    }
  }
  return listing;
}

Listing WithoutHashes(const Listing& listing) {
  Listing out;
  for (const auto& [path, value] : listing) out[path] = value.substr(0, value.find(' '));
  return out;
}

// isoinfo prints Joliet names in Latin-1: a character beyond it becomes one
// "_" per UTF-16 unit.
Listing AsLatin1(const Listing& listing) {
  Listing out;
  for (const auto& [path, value] : listing) {
    std::string latin;
    for (std::size_t i = 0; i < path.size();) {
      const auto lead = static_cast<unsigned char>(path[i]);
      const std::size_t length = lead < 0x80 ? 1 : lead < 0xE0 ? 2 : lead < 0xF0 ? 3 : 4;
      if (length == 1) {
        latin.push_back(path[i]);
      } else if (length == 2 && lead < 0xC4) {
        latin.push_back(static_cast<char>(((lead & 0x1F) << 6) | (path[i + 1] & 0x3F)));
      } else {
        latin += length == 4 ? "__" : "_";
      }
      i += length;
    }
    out[latin] = value.substr(0, value.find(' '));
  }
  return out;
}

bool SkipWithout(const char* tool) {
  if (HaveCommand(tool)) return false;
  std::cerr << "skipped: " << tool << " is not installed (scripts/setup installs it)\n";
  return true;
}

// isoinfo -l: "Directory listing of /dir/" then ls-like lines ending in
// "]  name".
Listing IsoinfoListing(const std::string& image, bool joliet) {
  const std::string text = Shell("isoinfo -l " + std::string(joliet ? "-J " : "") + "-i " + image);
  Listing listing;
  std::istringstream lines(text);
  std::string line;
  std::string directory;
  const std::string heading = "Directory listing of ";
  while (std::getline(lines, line)) {
    if (line.rfind(heading, 0) == 0) {
      directory = line.substr(heading.size());
      continue;
    }
    // "[ extent flags]  name"; the flags of a multi-extent record print
    // without their bracket.
    const std::size_t bracket = line.find('[');
    if (bracket == std::string::npos) continue;
    std::istringstream tail(line.substr(bracket + 1));
    std::string extent, flags, name;
    tail >> extent >> flags;
    std::getline(tail >> std::ws, name);
    while (!name.empty() && name.back() == ' ') name.pop_back();
    if (name == "." || name == "..") continue;
    if (!joliet) {
      name = name.substr(0, name.rfind(";1") == name.size() - 2 ? name.size() - 2 : name.size());
      if (!name.empty() && name.back() == '.') name.pop_back();
    }
    std::istringstream fields(line);
    std::string mode, links, user, group, size;
    fields >> mode >> links >> user >> group >> size;
    if (mode[0] == 'd') {
      listing[directory + name + "/"] = "";
    } else {
      // A file of several extents is listed once per extent: add them up.
      auto& value = listing[directory + name];
      value = std::to_string((value.empty() ? 0 : std::stoull(value)) + std::stoull(size));
    }
  }
  return listing;
}

// 7z l -slt: blocks of "Path = ", "Folder = ", "Size = ".
Listing SevenZipListing(const std::string& image) {
  const std::string text = Shell("7z l -slt " + image);
  Listing listing;
  std::istringstream lines(text);
  std::string line;
  std::string path;
  bool folder = false;
  bool items = false;
  while (std::getline(lines, line)) {
    if (line == "----------") items = true;
    if (!items) continue;
    if (line.rfind("Path = ", 0) == 0) path = "/" + line.substr(7);
    if (line.rfind("Folder = ", 0) == 0) folder = line.substr(9) == "+";
    if (line.rfind("Size = ", 0) == 0) {
      if (folder) {
        listing[path + "/"] = "";
      } else {
        listing[path] = line.substr(7);
      }
    }
  }
  return listing;
}

// pycdlib walks the Joliet tree (or the ISO 9660 one) and hashes small files.
Listing PycdlibListing(const std::string& image, bool joliet, uint64_t hashBelow) {
  const std::string script =
      "import sys, pycdlib, io\n"
      "p = pycdlib.PyCdlib(); p.open(sys.argv[1])\n"
      "key = 'joliet_path' if sys.argv[2] == '1' else 'iso_path'\n"
      "def fnv(data):\n"
      "    h = 1469598103934665603\n"
      "    for c in data: h = ((h ^ c) * 1099511628211) & 0xFFFFFFFFFFFFFFFF\n"
      "    return h\n"
      "for top, dirs, files in p.walk(**{key: '/'}):\n"
      "    base = top.rstrip('/')\n"
      "    for d in dirs: print(base + '/' + d + '/')\n"
      "    for f in files:\n"
      "        path = base + '/' + f\n"
      "        rec = p.get_record(**{key: path})\n"
      "        size = 0\n"
      "        while rec is not None: size += rec.get_data_length(); rec = rec.data_continuation\n"
      "        name = path.split(';')[0]\n"
      "        if sys.argv[2] != '1' and name.endswith('.'): name = name[:-1]\n"
      "        if size < int(sys.argv[3]):\n"
      "            out = io.BytesIO(); p.get_file_from_iso_fp(out, **{key: path})\n"
      "            print(name + '\\t' + str(size) + ' ' + str(fnv(out.getvalue())))\n"
      "        else: print(name + '\\t' + str(size))\n";
  TempDir temp;
  isotest::WriteFile(temp / "list.py", script);
  const std::string text = Shell("/usr/bin/python3 " + (temp / "list.py") + " " + image + " " +
                                 (joliet ? "1 " : "0 ") + std::to_string(hashBelow));
  Listing listing;
  std::istringstream lines(text);
  std::string line;
  while (std::getline(lines, line)) {
    const std::size_t tab = line.find('\t');
    if (tab == std::string::npos) {
      listing[line] = "";
    } else {
      listing[line.substr(0, tab)] = line.substr(tab + 1);
    }
  }
  return listing;
}

// Adds a folder of the disk to the tree, depth first, in name order.
void AddFolder(Tree& tree, void* parent, const std::string& folder) {
  std::vector<fs::path> items;
  for (const auto& item : fs::directory_iterator(folder)) items.push_back(item.path());
  std::sort(items.begin(), items.end());
  for (const fs::path& item : items) {
    if (fs::is_directory(item)) {
      void* node = tree.AddDirectory(parent, item.filename().string());
      ASSERT_EQ(tree.status, STARBURN_OK) << tree.error;
      AddFolder(tree, node, item.string());
    } else {
      tree.AddFile(parent, item.string(), item.filename().string());
      ASSERT_EQ(tree.status, STARBURN_OK) << tree.error;
    }
  }
}

class IsoReadersTest : public ::testing::Test {
 protected:
  // A source folder with what trips writers up.
  void MakeSources() {
    const std::string src = temp / "src";
    fs::create_directories(src + "/docs/a/b/c");
    fs::create_directories(src + "/empty folder");
    isotest::WriteFile(src + "/README.TXT", "upper case");
    isotest::WriteFile(src + "/readme.txt", "lower case");
    isotest::WriteFile(src + "/empty.dat", "");
    isotest::WriteFile(src + "/docs/a/b/c/deep.txt", "deep");
    std::string odd(5000, '\0');
    for (std::size_t i = 0; i < odd.size(); ++i) odd[i] = static_cast<char>(i * 7 + 3);
    isotest::WriteFile(src + "/docs/blocks.bin", odd);
    const std::string prefix =
        "a long name that shares its first characters with another long name and more";
    isotest::WriteFile(src + "/" + prefix.substr(0, 60) + ".txt", "sixty-four");
    isotest::WriteFile(src + "/" + prefix.substr(0, 76) + "____________________.txt",
                       "one hundred");
    isotest::WriteFile(src + "/caf\xc3\xa9.txt", "e acute");
    isotest::WriteFile(src + "/\xe6\x97\xa5\xe6\x9c\xac\xe8\xaa\x9e.txt", "japanese");
    isotest::WriteFile(src + "/emoji \xf0\x9f\x98\x80.txt", "emoji");
  }

  TempDir temp;
};

TEST_F(IsoReadersTest, JolietImageListsTheSourcesInEveryReader) {
  MakeSources();
  Tree tree(0, 1);
  ASSERT_EQ(tree.status, STARBURN_OK);
  AddFolder(tree, tree.Root(), temp / "src");
  ASSERT_EQ(tree.Build(0, "ROUND TRIP"), STARBURN_OK) << tree.error;
  const std::string image = temp / "image.iso";
  ASSERT_EQ(tree.Save(image), STARBURN_OK) << tree.error;

  const Listing expected = ListFolder(temp / "src", true);
  ASSERT_EQ(expected.count("/" + std::string(76, 'x')), 0u);
  if (!SkipWithout("xorriso")) {
    const std::string out = temp / "xorriso";
    int code = 0;
    Shell("xorriso -osirrox on -indev " + image + " -extract / " + out, &code);
    EXPECT_EQ(code, 0);
    EXPECT_EQ(ListFolder(out, true), expected);
  }
  if (!SkipWithout("7z")) {
    const std::string out = temp / "7z";
    int code = 0;
    Shell("7z x -y -o" + out + " " + image, &code);
    EXPECT_EQ(code, 0);
    EXPECT_EQ(ListFolder(out, true), expected);
    EXPECT_EQ(SevenZipListing(image), WithoutHashes(expected));
  }
  if (!SkipWithout("isoinfo")) {
    EXPECT_EQ(IsoinfoListing(image, true), AsLatin1(expected));
  }
  if (!SkipWithout("isovfy")) {
    const std::string report = Shell("isovfy " + image);
    EXPECT_NE(report.find("No errors found"), std::string::npos) << report;
  }
  if (!SkipWithout("/usr/bin/python3")) {
    EXPECT_EQ(PycdlibListing(image, true, 1 << 20), expected);
  }
}

TEST_F(IsoReadersTest, Level2ImageWithoutJolietKeepsLongIsoNames) {
  const std::string src = temp / "src";
  fs::create_directories(src + "/Sub Folder Name");
  isotest::WriteFile(src + "/Sub Folder Name/a file with a long name.text", "x");
  isotest::WriteFile(src + "/short.c", "int main;");
  Tree tree(1, 0);
  AddFolder(tree, tree.Root(), src);
  ASSERT_EQ(tree.Build(), STARBURN_OK) << tree.error;
  const std::string image = temp / "image.iso";
  ASSERT_EQ(tree.Save(image), STARBURN_OK) << tree.error;
  const Listing expected = {{"/SUB_FOLDER_NAME/", ""},
                            {"/SUB_FOLDER_NAME/A_FILE_WITH_A_LONG_NAME.TEXT", "1"},
                            {"/SHORT.C", "9"}};
  if (!SkipWithout("isoinfo")) {
    EXPECT_EQ(IsoinfoListing(image, false), expected);
  }
  if (!SkipWithout("isovfy")) {
    const std::string report = Shell("isovfy " + image);
    EXPECT_NE(report.find("No errors found"), std::string::npos) << report;
  }
  if (!SkipWithout("/usr/bin/python3")) {
    EXPECT_EQ(WithoutHashes(PycdlibListing(image, false, 0)), expected);
  }
  if (!SkipWithout("7z")) {
    EXPECT_EQ(SevenZipListing(image), expected);
  }
}

TEST_F(IsoReadersTest, FilesOfFourGibibytesTakeTwoExtents) {
  const uint64_t fourGiB = uint64_t{1} << 32;
  isotest::SparseFile(temp / "exactly4g.bin", fourGiB);
  isotest::SparseFile(temp / "below4g.bin", fourGiB - 1);
  isotest::WriteFile(temp / "after.txt", "after the big ones");
  Tree tree(0, 1);
  tree.AddFile(tree.Root(), temp / "exactly4g.bin", "exactly4g.bin");
  tree.AddFile(tree.Root(), temp / "below4g.bin", "below4g.bin");
  tree.AddFile(tree.Root(), temp / "after.txt", "after.txt");
  ASSERT_EQ(tree.status, STARBURN_OK) << tree.error;
  EXPECT_EQ(tree.Size(tree.Kids(tree.Root())[0]), fourGiB);
  ASSERT_EQ(tree.Build(), STARBURN_OK) << tree.error;
  const std::string image = temp / "image.iso";
  ASSERT_EQ(tree.Save(image), STARBURN_OK) << tree.error;

  const Listing expected = {{"/exactly4g.bin", std::to_string(fourGiB)},
                            {"/below4g.bin", std::to_string(fourGiB - 1)},
                            {"/after.txt", "18"}};
  if (!SkipWithout("isoinfo")) {
    EXPECT_EQ(IsoinfoListing(image, true), expected);
  }
  if (!SkipWithout("7z")) {
    EXPECT_EQ(SevenZipListing(image), expected);
  }
  if (!SkipWithout("/usr/bin/python3")) {
    EXPECT_EQ(WithoutHashes(PycdlibListing(image, true, 0)), expected);
  }
  if (!SkipWithout("xorriso")) {
    const std::string text = Shell("xorriso -indev " + image + " -find / -type f -exec lsdl --");
    EXPECT_NE(text.find(" " + std::to_string(fourGiB) + " "), std::string::npos) << text;
    EXPECT_NE(text.find(" " + std::to_string(fourGiB - 1) + " "), std::string::npos) << text;
    const std::string out = temp / "after";
    Shell("xorriso -osirrox on -indev " + image + " -extract /after.txt " + out);
    EXPECT_EQ(isotest::ReadFile(out), "after the big ones");
  }
  if (!SkipWithout("isovfy")) {
    // isovfy predates multi-extent files: it reports each record of one
    // (flag 0x80), as it does for xorriso's images; nothing else may show.
    std::istringstream report(Shell("isovfy " + image));
    std::string line;
    int flagged = 0;
    while (std::getline(report, line)) {
      if (line.find("Flags=(80)") != std::string::npos) {
        ++flagged;
      } else {
        EXPECT_TRUE(line.empty() || line.rfind("Root at", 0) == 0 || line == "[0 0]") << line;
      }
    }
    EXPECT_EQ(flagged, 1);  // the first extent of the 4 GiB file (isovfy reads the ISO 9660 tree)
  }
}

}  // namespace
