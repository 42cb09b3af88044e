// The tree calls as a host sees them: arguments, names, notifications, the
// rejected-name exchange, walking, and the stream (a source that changes
// under it is the end-to-end burn endings' SourceDeleted and SourceGrown rows).

#include <gtest/gtest.h>

#include <filesystem>
#include <set>

#include "IsoTestSupport.h"
#include "common/BlockIo.h"
#include "common/Object.h"

namespace {

using isotest::TempDir;
using isotest::Tree;

TEST(IsoTreeTest, CreateTakesOneTreeAlwaysNoRockRidgeAndChoosesTheNameSpaces) {
  void* tree = nullptr;
  char error[STARBURN_ERROR_TEXT_SIZE];
  uint32_t systemError = 7;
  EXPECT_EQ(StarBurn_ISO9660JolietFileTree_Create(&tree, error, sizeof error, &systemError, nullptr,
                                                  nullptr, 0, 0, 0, 1),
            STARBURN_STATUS_NOT_SUPPORTED);
  EXPECT_EQ(StarBurn_ISO9660JolietFileTree_Create(&tree, error, sizeof error, &systemError, nullptr,
                                                  nullptr, 1, 1, 0, 1),
            STARBURN_STATUS_NOT_SUPPORTED);
  EXPECT_EQ(StarBurn_ISO9660JolietFileTree_Create(&tree, error, sizeof error, &systemError, nullptr,
                                                  nullptr, 1, 0, 2, 0),
            STARBURN_STATUS_INVALID_ARGUMENT);
  EXPECT_EQ(tree, nullptr);
  EXPECT_EQ(systemError, 0u);

  TempDir temp;
  isotest::WriteFile(temp / "f", "x");
  // (level2, joliet) -> the second name of "a Long file-name.text"
  const std::pair<std::pair<uint8_t, uint32_t>, std::string> spaces[] = {
      {{0, 0}, "A_LONG_F.TEX"},
      {{1, 0}, "A_LONG_FILE-NAME.TEXT"},
      {{0, 1}, "a Long file-name.text"}};
  for (const auto& [choice, second] : spaces) {
    Tree made(choice.first, choice.second);
    ASSERT_EQ(made.status, STARBURN_OK);
    void* node = made.AddFile(made.Root(), temp / "f", "a Long file-name.text");
    const std::string firstName = choice.first == 1 ? "A_LONG_FILE_NAME.TEXT;1" : "A_LONG_F.TEX;1";
    EXPECT_EQ(made.Names(node), std::make_pair(firstName, second == "A_LONG_FILE-NAME.TEXT"
                                                              ? std::string("A_LONG_FILE_NAME.TEXT")
                                                              : second));
  }
}

TEST(IsoTreeTest, AddReportsEachFileAndDirectoryAndRefusesWhatItCannotAdd) {
  TempDir temp;
  isotest::WriteFile(temp / "one.txt", "12345");
  Tree tree(0, 1);
  void* docs = tree.AddDirectory(tree.Root(), "Docs");
  void* sub = tree.AddDirectory(docs, "Sub dir");
  void* file = tree.AddFile(sub, temp / "one.txt", "one.txt");
  ASSERT_EQ(tree.status, STARBURN_OK) << tree.error;
  EXPECT_EQ(tree.heard,
            (std::vector<std::string>{"2:/Docs", "2:/Docs/Sub dir", "0:" + (temp / "one.txt")}));
  EXPECT_TRUE(tree.IsDirectory(docs));
  EXPECT_FALSE(tree.IsDirectory(file));
  EXPECT_EQ(tree.Size(file), 5u);
  EXPECT_EQ(tree.Names(sub), std::make_pair(std::string("SUB_DIR"), std::string("Sub dir")));

  tree.heard.clear();
  tree.AddFile(docs, temp / "missing.txt", "missing.txt");
  EXPECT_EQ(tree.status, STARBURN_STATUS_NOT_FOUND);
  EXPECT_NE(std::string(tree.error).find("missing.txt"), std::string::npos);
  EXPECT_EQ(tree.systemError, static_cast<uint32_t>(ENOENT));
  tree.AddFile(docs, temp.path, "folder as file");
  EXPECT_EQ(tree.status, STARBURN_STATUS_INVALID_ARGUMENT);
  tree.AddFile(file, temp / "one.txt", "under a file");
  EXPECT_EQ(tree.status, STARBURN_STATUS_INVALID_ARGUMENT);
  tree.AddDirectory(docs, "..");
  EXPECT_EQ(tree.status, STARBURN_STATUS_INVALID_ARGUMENT);
  tree.AddDirectory(docs, "");
  EXPECT_EQ(tree.status, STARBURN_STATUS_INVALID_ARGUMENT);
  void* parent = docs;
  void* node = reinterpret_cast<void*>(1);
  EXPECT_EQ(StarBurn_ISO9660JolietFileTree_Add(tree.handle, nullptr, 0, nullptr, nullptr, "x", 1,
                                               &parent, &node),
            STARBURN_STATUS_INVALID_ARGUMENT);
  EXPECT_EQ(node, nullptr);
  EXPECT_TRUE(tree.heard.empty());
  EXPECT_EQ(tree.Kids(docs), std::vector<void*>{sub});
}

TEST(IsoTreeTest, KidsComeInTheOrderTheyWereAddedAndNamesNeedRoom) {
  TempDir temp;
  isotest::WriteFile(temp / "f", "");
  Tree tree(0, 1);
  std::vector<void*> added;
  for (const char* name : {"zeta", "Alpha", "mid"})
    added.push_back(tree.AddFile(tree.Root(), temp / "f", name));
  EXPECT_EQ(tree.Kids(tree.Root()), added);
  EXPECT_EQ(StarBurn_ISO9660JolietFileTree_GetNextKid(tree.handle, added[0], added[1]), nullptr);
  EXPECT_EQ(StarBurn_ISO9660JolietFileTree_GetFirstKid(tree.handle, added[0]), nullptr);
  EXPECT_EQ(StarBurn_ISO9660JolietFileTree_GetFirstKid(nullptr, tree.Root()), nullptr);

  char first[16] = "x";
  char second[16] = "x";
  char third[16] = "x";
  EXPECT_EQ(StarBurn_ISO9660JolietFileTree_GetNames(tree.handle, added[1], first, second, third, 6),
            STARBURN_STATUS_BUFFER_TOO_SMALL);  // "ALPHA.;1" needs 9 bytes
  EXPECT_STREQ(first, "");
  EXPECT_STREQ(second, "");
  EXPECT_EQ(StarBurn_ISO9660JolietFileTree_GetNames(tree.handle, added[1], first, second, third, 9),
            STARBURN_OK);
  EXPECT_STREQ(first, "ALPHA.;1");
  EXPECT_STREQ(second, "Alpha");
  EXPECT_STREQ(third, "");
  // A room of nothing is not written to.
  char none = '#';
  StarBurn_ISO9660JolietFileTree_GetNames(tree.handle, added[1], &none, &none, &none, 0);
  EXPECT_EQ(none, '#');
}

TEST(IsoTreeTest, ClashingNamesAreOfferedToTheHostCheckedAgainAndMadeUniqueWithoutLooping) {
  TempDir temp;
  isotest::WriteFile(temp / "f", "x");
  Tree tree(0, 1);
  tree.AddFile(tree.Root(), temp / "f", "README.TXT");
  EXPECT_TRUE(tree.heard.size() == 1);  // just the file's notification
  tree.heard.clear();

  // The host's short-name rewrite is used when it is unique.
  tree.answers = {"README1.TXT;1"};
  void* lower = tree.AddFile(tree.Root(), temp / "f", "readme.txt");
  ASSERT_EQ(tree.status, STARBURN_OK);
  EXPECT_EQ(tree.heard, (std::vector<std::string>{"3:0:README.TXT;1", "0:" + (temp / "f")}));
  EXPECT_EQ(tree.Names(lower),
            std::make_pair(std::string("README1.TXT;1"), std::string("readme.txt")));

  // A rewrite that still clashes is offered again; after four answers the
  // tree numbers the name itself.
  tree.heard.clear();
  tree.answers = {"README.TXT;1", "README1.TXT;1", "README.TXT;1", "README1.TXT;1", "X.TXT;1"};
  void* third = tree.AddFile(tree.Root(), temp / "f", "Readme.txt");
  ASSERT_EQ(tree.status, STARBURN_OK);
  EXPECT_EQ(tree.heard.size(), 5u);  // four offers, then the file's notification
  EXPECT_EQ(tree.answers.size(), 1u);
  EXPECT_EQ(tree.Names(third).first, "README_1.TXT;1");

  // A rewrite that no longer fits is shortened in its common part.
  tree.heard.clear();
  tree.AddFile(tree.Root(), temp / "f", "ABCDEFGH.TXT");
  tree.answers = {"ABCDEFGH1.TXT;1"};
  void* eight = tree.AddFile(tree.Root(), temp / "f", "abcdefgh.txt");
  EXPECT_EQ(tree.Names(eight).first, "ABCDEFG1.TXT;1");

  // Joliet clashes carry the 16-bit name; the long-name rewrite of a name at
  // the length limit keeps its inserted part and the extension.
  tree.heard.clear();
  const std::string longName = std::string(99, 'p') + ".txt";
  tree.AddFile(tree.Root(), temp / "f", longName);
  const std::string stamp = "_Wed_Jan_02_02_03_55_1980";
  tree.answers = {"PPPPPP1.TXT;1", std::string(99, 'p') + stamp + ".txt"};
  void* again = tree.AddFile(tree.Root(), temp / "f", longName);
  ASSERT_EQ(tree.status, STARBURN_OK);
  EXPECT_EQ(tree.heard[1], "3:0:PPPPPPPP.TXT;1");
  EXPECT_EQ(tree.heard[2], "3:1:" + longName);
  EXPECT_EQ(tree.Names(again).second, std::string(99 - stamp.size(), 'p') + stamp + ".txt");
  EXPECT_EQ(tree.Names(again).first, "PPPPPP1.TXT;1");
}

TEST(IsoTreeTest, WithoutAnAnswerClashesAreNumberedPerDirectory) {
  TempDir temp;
  isotest::WriteFile(temp / "f", "x");
  Tree tree(0, 0, nullptr);
  std::set<std::string> firsts;
  for (int i = 0; i < 300; ++i) {
    void* node =
        tree.AddFile(tree.Root(), temp / "f", "picture number " + std::to_string(i) + ".jpeg");
    ASSERT_EQ(tree.status, STARBURN_OK) << i;
    firsts.insert(tree.Names(node).first);
  }
  EXPECT_EQ(firsts.size(), 300u);
  EXPECT_EQ(firsts.count("PICTURE_.JPE;1"), 1u);
  EXPECT_EQ(firsts.count("PICT_299.JPE;1"), 1u);
}

// Clashes compare names as readers show them (a file "DOCS." is the folder
// "DOCS"), and nothing more: names that differ only in their last character
// do not clash.
TEST(IsoTreeTest, NamesClashOnlyWhereReadersWouldShowOneName) {
  TempDir temp;
  isotest::WriteFile(temp / "f", "x");
  Tree tree(0, 0, nullptr);
  void* abc = tree.AddDirectory(tree.Root(), "abc");
  void* abd = tree.AddDirectory(tree.Root(), "abd");
  tree.AddDirectory(tree.Root(), "docs");
  void* dotted = tree.AddFile(tree.Root(), temp / "f", "docs.");
  EXPECT_EQ(tree.Names(abc).first, "ABC");
  EXPECT_EQ(tree.Names(abd).first, "ABD");
  EXPECT_NE(tree.Names(dotted).first, "DOCS.;1");
}

class IsoStreamTest : public ::testing::Test {
 protected:
  void SetUp() override {
    isotest::WriteFile(temp / "a.bin", std::string(3000, 'a'));
    isotest::WriteFile(temp / "b.bin", std::string(10, 'b'));
    tree.AddFile(tree.Root(), temp / "a.bin", "a.bin");
    tree.AddFile(tree.Root(), temp / "b.bin", "b.bin");
    ASSERT_EQ(tree.status, STARBURN_OK);
  }
  TempDir temp;
  Tree tree{0, 1};
};

TEST_F(IsoStreamTest, TheStreamGivesTheImageAtItsStartAddressAndStopsAtItsEnd) {
  ASSERT_EQ(tree.Build(1000), STARBURN_OK) << tree.error;
  auto* provider = starburn::HandleTable::Instance().Find<starburn::ImageProvider>(tree.handle);
  ASSERT_NE(provider, nullptr);
  std::unique_ptr<starburn::BlockSource> stream;
  std::string error;
  ASSERT_EQ(provider->OpenImage(&stream, &error), STARBURN_OK);
  EXPECT_EQ(stream->StartAddress(), 1000u);
  std::vector<uint8_t> image(stream->BlockCount() * starburn::kBlockSize);
  ASSERT_EQ(stream->Pull(image.data(), static_cast<uint32_t>(stream->BlockCount()), &error),
            STARBURN_OK);
  // The volume's size counts from block 0; the files follow the directories.
  const uint8_t* primary = image.data() + std::size_t{16} * starburn::kBlockSize;
  EXPECT_EQ(primary[0], 1);
  EXPECT_EQ(std::memcmp(primary + 1, "CD001", 5), 0);
  uint32_t spaceSize = 0;
  std::memcpy(&spaceSize, primary + 80, 4);
  EXPECT_EQ(spaceSize, 1000 + stream->BlockCount());
  const std::string tail(reinterpret_cast<char*>(image.data()) + image.size() - 2048, 10);
  EXPECT_EQ(tail, std::string(10, 'b'));
  uint8_t block[starburn::kBlockSize];
  EXPECT_EQ(stream->Pull(block, 1, &error), STARBURN_STATUS_INVALID_ARGUMENT);
  // A tree that changed must be built again.
  tree.AddDirectory(tree.Root(), "later");
  EXPECT_EQ(provider->OpenImage(&stream, &error), STARBURN_STATUS_WRONG_STATE);
  EXPECT_EQ(tree.Save(temp / "out.iso"), STARBURN_STATUS_WRONG_STATE);
}

}  // namespace
