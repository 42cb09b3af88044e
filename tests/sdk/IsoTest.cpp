// The image tree as a host drives it through the C calls (names, the
// rejected-name exchange, notifications, the stream), the name policies of
// the three name spaces, and the session reader on damaged and hostile
// sessions: a damaged session gives a status and leaves the tree as it was;
// legal quirks are read.

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <functional>

#include "SdkTestSupport.h"
#include "iso/Ecma119.h"
#include "iso/NamePolicy.h"
#include "iso/SessionProbe.h"
#include "iso/SessionReader.h"
#include "iso/Utf.h"

namespace {

using namespace starburn::iso;
using sdktest::kBlockSize;
using sdktest::ReadFile;
using sdktest::Scratch;
using sdktest::WriteFile;

// A tree driven through the C calls, with the notifications it heard: "0:text",
// "2:text", "3:flag:name". Rejected names take the answers in order (8-bit for
// flag 0, 16-bit units of ASCII for flag 1); none left: declined.
class Tree {
 public:
  Tree(uint8_t level2, uint32_t joliet, StarBurnCallback callback = &Tree::Heard) {
    status = StarBurn_ISO9660JolietFileTree_Create(&handle, error, sizeof error, &systemError,
                                                   callback, this, 1, 0, level2, joliet);
  }
  ~Tree() { StarBurn_Destroy(&handle); }
  Tree(const Tree&) = delete;
  Tree& operator=(const Tree&) = delete;

  void* Root() { return StarBurn_ISO9660JolietFileTree_GetRoot(handle); }
  // A file from source, or a directory when source is empty.
  void* Add(void* parent, const std::string& source, const std::string& name) {
    void* node = nullptr;
    status = StarBurn_ISO9660JolietFileTree_Add(
        handle, error, sizeof error, &systemError, source.empty() ? nullptr : source.c_str(),
        name.c_str(), source.empty() ? STARBURN_ADD_DIRECTORY : STARBURN_ADD_FILE, &parent, &node);
    return node;
  }
  StarBurnStatus Build(uint32_t start = 0, const char* label = "LABEL") {
    return status = StarBurn_ISO9660JolietFileTree_BuildImage(handle, error, sizeof error,
                                                              &systemError, start, 0, 1, label,
                                                              "Publisher", "Application");
  }
  StarBurnStatus Save(const std::string& path) {
    return status = StarBurn_ISO9660JolietFileTree_SaveImage(handle, error, sizeof error,
                                                             &systemError, path.c_str(), 0);
  }
  std::pair<std::string, std::string> Names(void* node) {
    char first[1024], second[1024], third[1024];
    status =
        StarBurn_ISO9660JolietFileTree_GetNames(handle, node, first, second, third, sizeof first);
    return {first, second};
  }
  std::vector<void*> Kids(void* node) {
    std::vector<void*> kids;
    for (void* kid = StarBurn_ISO9660JolietFileTree_GetFirstKid(handle, node); kid != nullptr;
         kid = StarBurn_ISO9660JolietFileTree_GetNextKid(handle, node, kid)) {
      kids.push_back(kid);
    }
    return kids;
  }
  bool IsDirectory(void* node) {
    return StarBurn_ISO9660JolietFileTree_GetAttributes(handle, node) == STARBURN_NODE_DIRECTORY;
  }
  uint64_t Size(void* node) {
    uint32_t high = 0;
    const uint32_t low = StarBurn_ISO9660JolietFileTree_GetNodePowerInUCHARs(handle, node, &high);
    return (uint64_t{high} << 32) | low;
  }
  // The tree as "/path size" and "/path/" lines, in record order.
  void List(void* node, const std::string& path, std::vector<std::string>* out) {
    for (void* kid : Kids(node)) {
      const std::string name = path + "/" + Names(kid).second;
      out->push_back(name + (IsDirectory(kid) ? "/" : " " + std::to_string(Size(kid))));
      if (IsDirectory(kid)) List(kid, name, out);
    }
  }

  std::vector<std::string> heard;
  std::vector<std::string> answers;
  void* handle = nullptr;
  StarBurnStatus status = STARBURN_OK;
  char error[STARBURN_ERROR_TEXT_SIZE] = {};
  uint32_t systemError = 0;

 private:
  static void Heard(uint32_t notification, void* context, void* special1, void*) {
    auto* self = static_cast<Tree*>(context);
    auto* bytes = static_cast<uint8_t*>(special1);
    if (notification != STARBURN_NOTIFY_NAME_REJECTED) {
      self->heard.push_back(std::to_string(notification) + ":" + static_cast<char*>(special1));
      return;
    }
    const bool wide = bytes[STARBURN_REJECTED_NAME_FLAG] == 1;
    uint8_t* text = bytes + STARBURN_REJECTED_NAME_TEXT;
    std::string name;
    for (std::size_t i = 0; wide ? (text[i] | text[i + 1]) != 0 : text[i] != 0; i += wide ? 2 : 1) {
      name.push_back(static_cast<char>(text[i]));
    }
    self->heard.push_back("3:" + std::to_string(wide ? 1 : 0) + ":" + name);
    if (self->answers.empty()) return;
    const std::string answer = self->answers.front();
    self->answers.erase(self->answers.begin());
    for (std::size_t i = 0; i <= answer.size(); ++i) {
      const uint8_t c = i < answer.size() ? answer[i] : 0;
      if (wide) text[2 * i + 1] = 0;
      text[wide ? 2 * i : i] = c;
    }
    const uint32_t action = STARBURN_REJECTED_NAME_USE_REWRITTEN;
    std::memcpy(bytes + STARBURN_REJECTED_NAME_ACTION, &action, sizeof action);
  }
};

// Blocks in memory; past its end a disc that claims more blocks reads zeros.
class MemoryReader : public starburn::BlockReader {
 public:
  explicit MemoryReader(std::vector<uint8_t> image, uint64_t claimed = 0)
      : image(std::move(image)), claimed(claimed) {}
  StarBurnStatus ReadBlocks(uint32_t lba, uint32_t count, uint8_t* out) override {
    const uint64_t begin = uint64_t{lba} * kBlockSize, size = uint64_t{count} * kBlockSize;
    if (claimed != 0 && begin >= image.size()) {
      std::memset(out, 0, size);
      return STARBURN_OK;
    }
    if (begin + size > image.size()) return STARBURN_STATUS_IO_ERROR;
    std::memcpy(out, image.data() + begin, size);
    return STARBURN_OK;
  }
  uint64_t BlockCount() const override {
    return claimed != 0 ? claimed : image.size() / kBlockSize;
  }
  std::vector<uint8_t> image;
  uint64_t claimed;
};

// A disc whose one track is a reader's blocks, registered as a device handle.
class OneTrackDisc : public starburn::DiscProvider {
 public:
  explicit OneTrackDisc(starburn::BlockReader* reader) : reader(reader) {}
  starburn::BlockReader& DiscReader() override { return *reader; }
  StarBurnStatus TrackExtent(uint8_t track, uint32_t* start, uint32_t* blocks,
                             std::string* error) override {
    if (track != 1) {
      *error = "no such track";
      return STARBURN_STATUS_NOT_FOUND;
    }
    *start = 0;
    *blocks = static_cast<uint32_t>(reader->BlockCount());
    return STARBURN_OK;
  }

 private:
  starburn::BlockReader* reader;
};

std::string Map(NamePolicy::Space space, const std::string& name, bool directory) {
  return Utf16ToUtf8(NamePolicy(space).Map(Utf8ToUtf16(name), directory));
}

// The name policies, one row per example: a mapping, a host's rewrite of a
// rejected name (b), a numbered name (n), or the record order (a before b).
enum class Op { kMap, kRewrite, kNumber, kLess };
struct NameRow {
  Op op;
  NamePolicy::Space space;
  std::string a, b;
  uint32_t n;
  bool directory;
  std::string expected;
};
constexpr auto kL1 = NamePolicy::Space::kIsoLevel1;
constexpr auto kL2 = NamePolicy::Space::kIsoLevel2;
constexpr auto kJ = NamePolicy::Space::kJoliet;
const std::string kEmoji = "\xf0\x9f\x98\x80";
const std::string kStamp = "_Wed_Jan_02_02_03_55_1980";
std::string Repeat(const std::string& text, std::size_t times) {
  std::string out;
  while (times-- > 0) out += text;
  return out;
}

TEST(IsoNamesTest, EveryExampleOfEveryNameSpace) {
  // clang-format off
  const NameRow rows[] = {
      {Op::kMap, kL1, "readme.txt", "", 0, false, "README.TXT"},
      {Op::kMap, kL1, "Makefile", "", 0, false, "MAKEFILE."},  // the separator stays
      {Op::kMap, kL1, "my file.tar.gz", "", 0, false, "MY_FILE_.GZ"},
      {Op::kMap, kL1, "report.html", "", 0, false, "REPORT.HTM"},
      {Op::kMap, kL1, "take0.txt", "", 0, false, "TAKE0.TXT"},  // digits stay, 0 too
      {Op::kMap, kL1, "caf\xc3\xa9 " + kEmoji + ".txt", "", 0, false, "CAF___.TXT"},  // one _ each
      {Op::kMap, kL1, "photos.2024", "", 0, true, "PHOTOS_2"},  // directories have no extension
      {Op::kMap, kL2, "a file with a long name.text", "", 0, false, "A_FILE_WITH_A_LONG_NAME.TEXT"},
      {Op::kMap, kL2, Repeat("n", 40) + ".extension", "", 0, false, Repeat("N", 22) + ".EXTENSIO"},
      {Op::kMap, kL2, Repeat("d", 40), "", 0, true, Repeat("D", 31)},
      {Op::kMap, kJ, "a:b*c?d\\e;f/g.txt", "", 0, false, "a_b_c_d_e_f_g.txt"},
      {Op::kMap, kJ, "\xe6\x97\xa5\xe6\x9c\xac " + kEmoji, "", 0, false, "\xe6\x97\xa5\xe6\x9c\xac " + kEmoji},
      {Op::kMap, kJ, "\x80\xe9t\xe9", "", 0, false, "\uFFFD\uFFFDt\uFFFD"},  // not UTF-8
      {Op::kMap, kJ, Repeat("x", 120) + ".jpeg", "", 0, false, Repeat("x", 98) + ".jpeg"},
      {Op::kMap, kJ, "." + Repeat("x", 120), "", 0, false, "." + Repeat("x", 102)},  // no extension
      {Op::kMap, kJ, "a." + Repeat("x", 120), "", 0, false, "a." + Repeat("x", 101)},  // nor here
      {Op::kMap, kJ, Repeat(kEmoji, 60), "", 0, true, Repeat(kEmoji, 51)},  // pairs never split
      {Op::kRewrite, kL1, "README.TXT", "README1.TXT;1", 0, false, "README1.TXT"},
      {Op::kRewrite, kL1, "ABCDEFGH.TXT", "ABCDEFGH1.TXT;1", 0, false, "ABCDEFG1.TXT"},
      {Op::kRewrite, kL1, "ABCDEFGH.TXT", "ABCDEFGHIJK.TXT", 0, false, "ABCDEIJK.TXT"},
      {Op::kRewrite, kL1, "AB.TXT", "AB12345678.TXT", 0, false, ""},  // no room left
      {Op::kRewrite, kJ, Repeat("p", 99) + ".txt", Repeat("p", 99) + kStamp + ".txt", 0, false, Repeat("p", 74) + kStamp + ".txt"},
      {Op::kNumber, kL1, "FILENAME.DAT", "", 12, false, "FILEN_12.DAT"},
      {Op::kNumber, kL1, "A.", "", 3, false, "A_3."},
      {Op::kNumber, kL1, "DIRECTOR", "", 100, true, "DIRE_100"},
      {Op::kNumber, kJ, "photo.jpg", "", 2, false, "photo_2.jpg"},
      {Op::kLess, kL1, "A.TXT", "AB.TXT", 0, false, "1"},
      {Op::kLess, kL1, "AB.", "AB.TXT", 0, false, "1"},
      {Op::kLess, kL1, "A.", "A_.", 0, false, "1"},  // the shorter name is padded with spaces
      {Op::kLess, kL1, "B", "A.Z", 0, false, "0"},
  };
  // clang-format on
  for (const NameRow& row : rows) {
    const NamePolicy policy(row.space);
    const std::u16string a = Utf8ToUtf16(row.a), b = Utf8ToUtf16(row.b);
    const std::string got =
        row.op == Op::kMap       ? Map(row.space, row.a, row.directory)
        : row.op == Op::kRewrite ? Utf16ToUtf8(policy.MapRewritten(a, b, row.directory))
        : row.op == Op::kNumber  ? Utf16ToUtf8(policy.Numbered(a, row.n, row.directory))
                                 : std::string(NamePolicy::Less(a, b) ? "1" : "0");
    EXPECT_EQ(got, row.expected) << row.a << " " << row.b;
  }
}

TEST(IsoTreeTest, CreateRefusesWhatItDoesNotMakeAndChoosesTheNameSpaces) {
  const struct {
    uint8_t iso, rockRidge, level2;
    uint32_t joliet;
    StarBurnStatus status;
  } refusals[] = {{0, 0, 0, 1, STARBURN_STATUS_NOT_SUPPORTED},
                  {1, 1, 0, 1, STARBURN_STATUS_NOT_SUPPORTED},
                  {1, 0, 2, 0, STARBURN_STATUS_INVALID_ARGUMENT}};
  for (const auto& row : refusals) {
    void* tree = nullptr;
    char error[STARBURN_ERROR_TEXT_SIZE];
    uint32_t systemError = 7;
    EXPECT_EQ(StarBurn_ISO9660JolietFileTree_Create(&tree, error, sizeof error, &systemError,
                                                    nullptr, nullptr, row.iso, row.rockRidge,
                                                    row.level2, row.joliet),
              row.status);
    EXPECT_EQ(tree, nullptr);
    EXPECT_EQ(systemError, 0u);
  }
  Scratch temp;
  WriteFile(temp.File("f"), "x");
  const struct {
    uint8_t level2;
    uint32_t joliet;
    const char *first, *second;  // of "a Long file-name.text"
  } spaces[] = {{0, 0, "A_LONG_F.TEX;1", "A_LONG_F.TEX"},
                {1, 0, "A_LONG_FILE_NAME.TEXT;1", "A_LONG_FILE_NAME.TEXT"},
                {0, 1, "A_LONG_F.TEX;1", "a Long file-name.text"}};
  for (const auto& row : spaces) {
    Tree made(row.level2, row.joliet);
    ASSERT_EQ(made.status, STARBURN_OK);
    void* node = made.Add(made.Root(), temp.File("f"), "a Long file-name.text");
    EXPECT_EQ(made.Names(node), std::make_pair(std::string(row.first), std::string(row.second)));
  }
}

TEST(IsoTreeTest, AddReportsEachEntryRefusesWhatItCannotAddAndKeepsTheOrder) {
  Scratch temp;
  WriteFile(temp.File("one.txt"), "12345");
  Tree tree(0, 1);
  void* docs = tree.Add(tree.Root(), "", "Docs");
  void* sub = tree.Add(docs, "", "Sub dir");
  void* file = tree.Add(sub, temp.File("one.txt"), "one.txt");
  ASSERT_EQ(tree.status, STARBURN_OK) << tree.error;
  EXPECT_EQ(tree.heard,
            (std::vector<std::string>{"2:/Docs", "2:/Docs/Sub dir", "0:" + temp.File("one.txt")}));
  EXPECT_EQ(tree.Size(file), 5u);
  EXPECT_EQ(tree.Names(sub), std::make_pair(std::string("SUB_DIR"), std::string("Sub dir")));
  tree.heard.clear();
  const struct {
    void* parent;
    std::string source;  // empty: a directory
    const char* name;
    StarBurnStatus status;
  } refused[] = {{docs, temp.File("missing.txt"), "missing.txt", STARBURN_STATUS_NOT_FOUND},
                 {docs, temp.path, "folder as file", STARBURN_STATUS_INVALID_ARGUMENT},
                 {file, temp.File("one.txt"), "under a file", STARBURN_STATUS_INVALID_ARGUMENT},
                 {docs, "", "..", STARBURN_STATUS_INVALID_ARGUMENT},
                 {docs, "", "", STARBURN_STATUS_INVALID_ARGUMENT}};
  for (const auto& row : refused) {
    tree.Add(row.parent, row.source, row.name);
    EXPECT_EQ(tree.status, row.status) << row.name;
    EXPECT_NE(std::string(tree.error), "") << row.name;
  }
  EXPECT_EQ(tree.systemError, 0u);
  void* parent = docs;
  void* node = reinterpret_cast<void*>(1);
  EXPECT_EQ(StarBurn_ISO9660JolietFileTree_Add(tree.handle, nullptr, 0, nullptr, nullptr, "x", 1,
                                               &parent, &node),
            STARBURN_STATUS_INVALID_ARGUMENT);  // neither file nor directory
  EXPECT_EQ(node, nullptr);
  EXPECT_TRUE(tree.heard.empty());
  EXPECT_EQ(tree.Kids(docs), std::vector<void*>{sub});

  // Kids come in the order they were added; names need room.
  std::vector<void*> added;
  for (const char* name : {"zeta", "Alpha", "mid"})
    added.push_back(tree.Add(tree.Root(), temp.File("one.txt"), name));
  added.insert(added.begin(), docs);
  EXPECT_EQ(tree.Kids(tree.Root()), added);
  EXPECT_EQ(StarBurn_ISO9660JolietFileTree_GetNextKid(tree.handle, added[1], added[2]), nullptr);
  EXPECT_EQ(StarBurn_ISO9660JolietFileTree_GetFirstKid(tree.handle, added[1]), nullptr);
  EXPECT_EQ(StarBurn_ISO9660JolietFileTree_GetFirstKid(nullptr, tree.Root()), nullptr);
  char first[16] = "x", second[16] = "x", third[16] = "x";
  EXPECT_EQ(StarBurn_ISO9660JolietFileTree_GetNames(tree.handle, added[2], first, second, third, 6),
            STARBURN_STATUS_BUFFER_TOO_SMALL);  // "ALPHA.;1" needs 9 bytes
  EXPECT_STREQ(first, "");
  EXPECT_STREQ(second, "");
  EXPECT_EQ(StarBurn_ISO9660JolietFileTree_GetNames(tree.handle, added[2], first, second, third, 9),
            STARBURN_OK);
  EXPECT_EQ(std::string(first) + "|" + second + "|" + third, "ALPHA.;1|Alpha|");
  char none = '#';  // a room of nothing is not written to
  StarBurn_ISO9660JolietFileTree_GetNames(tree.handle, added[2], &none, &none, &none, 0);
  EXPECT_EQ(none, '#');

  // A name longer than the blocks the tree keeps names in, and the next one.
  const std::string huge(3u << 20, 'h');
  void* hugeDir = tree.Add(docs, "", huge);
  void* next = tree.Add(docs, "", "next");
  EXPECT_EQ(huge.rfind(tree.Names(hugeDir).second, 0), 0u);  // the Joliet cut: a prefix
  EXPECT_EQ(tree.Names(next).second, "next");
}

TEST(IsoTreeTest, ClashingNamesAreOfferedToTheHostCheckedAgainAndMadeUnique) {
  Scratch temp;
  const std::string f = temp.File("f");
  WriteFile(f, "x");
  Tree tree(0, 1);
  tree.Add(tree.Root(), f, "README.TXT");
  tree.heard.clear();
  // The host's short-name rewrite is used when it is unique.
  tree.answers = {"README1.TXT;1"};
  void* lower = tree.Add(tree.Root(), f, "readme.txt");
  EXPECT_EQ(tree.heard, (std::vector<std::string>{"3:0:README.TXT;1", "0:" + f}));
  EXPECT_EQ(tree.Names(lower),
            std::make_pair(std::string("README1.TXT;1"), std::string("readme.txt")));
  // A rewrite that still clashes is offered again; after four answers the
  // tree numbers the name itself.
  tree.heard.clear();
  tree.answers = {"README.TXT;1", "README1.TXT;1", "README.TXT;1", "README1.TXT;1", "X.TXT;1"};
  void* third = tree.Add(tree.Root(), f, "Readme.txt");
  EXPECT_EQ(tree.heard.size(), 5u);  // four offers, then the file's notification
  EXPECT_EQ(tree.Names(third).first, "README_1.TXT;1");
  // A host that declines is asked once; the tree numbers the name.
  tree.heard.clear();
  tree.answers.clear();
  void* declined = tree.Add(tree.Root(), f, "readme.TXT");
  EXPECT_EQ(tree.heard, (std::vector<std::string>{"3:0:README.TXT;1", "0:" + f}));
  EXPECT_EQ(tree.Names(declined).first, "README_2.TXT;1");
  // A rewrite that no longer fits is shortened in its common part.
  tree.Add(tree.Root(), f, "ABCDEFGH.TXT");
  tree.answers = {"ABCDEFGH1.TXT;1"};
  EXPECT_EQ(tree.Names(tree.Add(tree.Root(), f, "abcdefgh.txt")).first, "ABCDEFG1.TXT;1");
  // Joliet clashes carry the 16-bit name; the long-name rewrite of a name at
  // the length limit keeps its inserted part and the extension.
  const std::string longName = Repeat("p", 99) + ".txt";
  tree.Add(tree.Root(), f, longName);
  tree.heard.clear();
  tree.answers = {"PPPPPP1.TXT;1", Repeat("p", 99) + kStamp + ".txt"};
  void* again = tree.Add(tree.Root(), f, longName);
  ASSERT_EQ(tree.status, STARBURN_OK);
  EXPECT_EQ(tree.heard[0], "3:0:PPPPPPPP.TXT;1");
  EXPECT_EQ(tree.heard[1], "3:1:" + longName);
  EXPECT_EQ(tree.Names(again),
            std::make_pair(std::string("PPPPPP1.TXT;1"), Repeat("p", 74) + kStamp + ".txt"));

  // Without an answer clashes are numbered per directory; names clash only
  // where readers would show one name (a file "DOCS." is the folder "DOCS").
  Tree quiet(0, 0, nullptr);
  void* other = quiet.Add(quiet.Root(), "", "other");
  std::vector<std::string> firsts;
  for (void* parent : {quiet.Root(), quiet.Root(), quiet.Root(), other, other}) {
    firsts.push_back(
        quiet.Names(quiet.Add(parent, f, "picture " + std::to_string(firsts.size()) + ".jpeg"))
            .first);
  }
  EXPECT_EQ(firsts, (std::vector<std::string>{"PICTURE_.JPE;1", "PICTUR_1.JPE;1", "PICTUR_2.JPE;1",
                                              "PICTURE_.JPE;1", "PICTUR_1.JPE;1"}));
  EXPECT_EQ(quiet.Names(quiet.Add(quiet.Root(), "", "abc")).first, "ABC");
  EXPECT_EQ(quiet.Names(quiet.Add(quiet.Root(), "", "abd")).first, "ABD");
  quiet.Add(quiet.Root(), "", "docs");
  EXPECT_NE(quiet.Names(quiet.Add(quiet.Root(), f, "docs.")).first, "DOCS.;1");
  tree.Add(tree.Root(), "", "docs");  // Joliet names keep their dot: no clash there
  EXPECT_EQ(tree.Names(tree.Add(tree.Root(), f, "docs.")).second, "docs.");
}

// The stream ends with the image, and a tree changed after its build must be
// built again. What the stream holds is read back by independent readers end
// to end.
TEST(IsoTreeTest, TheStreamStopsAtItsEndAndAChangedTreeIsBuiltAgain) {
  Scratch temp;
  WriteFile(temp.File("a"), std::string(3000, 'a'));
  Tree tree(0, 1);
  tree.Add(tree.Root(), temp.File("a"), "a.bin");
  ASSERT_EQ(tree.Build(1000), STARBURN_OK) << tree.error;
  auto* provider = starburn::HandleTable::Instance().Find<starburn::ImageProvider>(tree.handle);
  ASSERT_NE(provider, nullptr);
  std::unique_ptr<starburn::BlockSource> stream;
  std::string error;
  ASSERT_EQ(provider->OpenImage(&stream, &error), STARBURN_OK);
  EXPECT_EQ(stream->StartAddress(), 1000u);
  std::vector<uint8_t> image(stream->BlockCount() * kBlockSize);
  ASSERT_EQ(stream->Pull(image.data(), static_cast<uint32_t>(stream->BlockCount()), &error),
            STARBURN_OK);
  EXPECT_EQ(stream->Pull(image.data(), 1, &error), STARBURN_STATUS_INVALID_ARGUMENT);
  // Moved where it would end past the last block address, it stays where it was.
  EXPECT_EQ(provider->Relocate(0xFFFFFFF0, &error), STARBURN_STATUS_LIMIT_EXCEEDED);
  EXPECT_NE(error.find("past the last block address"), std::string::npos) << error;
  ASSERT_EQ(provider->OpenImage(&stream, &error), STARBURN_OK);
  EXPECT_EQ(stream->StartAddress(), 1000u);
  tree.Add(tree.Root(), "", "later");
  EXPECT_EQ(provider->OpenImage(&stream, &error), STARBURN_STATUS_WRONG_STATE);
  EXPECT_EQ(tree.Save(temp.File("out.iso")), STARBURN_STATUS_WRONG_STATE);
  EXPECT_EQ(tree.Save(""), STARBURN_STATUS_INVALID_ARGUMENT);  // no file named: nothing opened
  // A source that changes after the build fails the save.
  ASSERT_EQ(tree.Build(1000), STARBURN_OK) << tree.error;
  WriteFile(temp.File("a"), std::string(5000, 'b'));
  EXPECT_EQ(tree.Save(temp.File("out.iso")), STARBURN_STATUS_SOURCE_CHANGED);
}

// A file added with the status its host read is not looked at until the
// build, which holds the file to that status before anything is written.
TEST(IsoTreeTest, AFileAddedWithItsStatusIsHeldToItWhenTheImageIsBuilt) {
  const struct {
    const char* name;
    uint64_t sizeOffset;
    int64_t timeOffset;
    bool removed;
    StarBurnStatus built;
  } rows[] = {{"as it is", 0, 0, false, STARBURN_OK},
              {"another size", 1, 0, false, STARBURN_STATUS_SOURCE_CHANGED},
              {"another time", 0, 1, false, STARBURN_STATUS_SOURCE_CHANGED},
              {"removed since", 0, 0, true, STARBURN_STATUS_IO_ERROR}};
  for (const auto& row : rows) {
    Scratch temp;
    const std::string source = temp.File("f");
    WriteFile(source, "twelve bytes");
    struct stat info {};
    ASSERT_EQ(::stat(source.c_str(), &info), 0);
    Tree tree(0, 1);
    void* root = tree.Root();
    void* node = nullptr;
    ASSERT_EQ(StarBurn_ISO9660JolietFileTree_AddFileWithStatus(
                  tree.handle, tree.error, sizeof tree.error, nullptr, source.c_str(), "f.txt",
                  12 + row.sizeOffset, info.st_mtime + row.timeOffset, &root, &node),
              STARBURN_OK)
        << row.name;
    int64_t time = 0;
    EXPECT_EQ(StarBurn_ISO9660JolietFileTree_GetNodeTime(tree.handle, node, &time), STARBURN_OK);
    EXPECT_EQ(time, info.st_mtime + row.timeOffset) << row.name;
    if (row.removed) std::filesystem::remove(source);
    EXPECT_EQ(tree.Build(), row.built) << row.name << ": " << tree.error;
  }
}

class IsoSessionReaderTest : public ::testing::Test {
 public:
  void SetUp() override {
    WriteFile(temp.File("a"), "first file");
    WriteFile(temp.File("b"), std::string(5000, 'b'));
    WriteFile(temp.File("e"), "");
    Tree tree(0, 1);
    void* sub = tree.Add(tree.Root(), "", "sub");
    tree.Add(sub, temp.File("a"), "inner.txt");
    tree.Add(tree.Add(sub, "", "deeper"), temp.File("a"), "deepest.txt");
    tree.Add(tree.Root(), temp.File("a"), "a.txt");
    tree.Add(tree.Root(), temp.File("b"), "b.txt");
    tree.Add(tree.Root(), temp.File("e"), "empty.txt");
    Save(tree);
  }
  void Save(Tree& tree, const char* label = "LABEL") {
    ASSERT_EQ(tree.Build(0, label), STARBURN_OK) << tree.error;
    ASSERT_EQ(tree.Save(temp.File("image.iso")), STARBURN_OK);
    const std::string bytes = ReadFile(temp.File("image.iso"));
    image.assign(bytes.begin(), bytes.end());
  }

  uint8_t* Block(uint32_t lba) { return image.data() + std::size_t{lba} * kBlockSize; }
  uint32_t Root(bool joliet) { return GetLe32(Block(joliet ? 17 : 16) + 156 + 2); }
  // The record named name (an ISO 9660 identifier; ASCII for Joliet) in the
  // directory at extent.
  uint8_t* Record(uint32_t extent, const std::string& name, bool joliet) {
    std::string identifier;
    for (char c : name) identifier += joliet ? std::string(1, '\0') + c : std::string(1, c);
    uint8_t* block = Block(extent);
    for (std::size_t at = 0; at < kBlockSize && block[at] != 0; at += block[at]) {
      if (block[at + 32] == identifier.size() &&
          std::memcmp(block + at + 33, identifier.data(), identifier.size()) == 0) {
        return block + at;
      }
    }
    ADD_FAILURE() << "no record " << name;
    return block;
  }
  uint8_t* Iso(const std::string& name) { return Record(Root(false), name, false); }
  uint8_t* Sub(const std::string& name) { return Record(GetLe32(Iso("SUB") + 2), name, false); }

  // Imports the image's only session into an empty tree: the status, and on
  // success the tree's lines in *listing.
  StarBurnStatus Import(bool joliet, std::vector<std::string>* listing = nullptr,
                        uint64_t claimedBlocks = 0) {
    MemoryReader reader(image, claimedBlocks);
    void* device = starburn::HandleTable::Instance().Add(new OneTrackDisc(&reader));
    Tree tree(0, 1);
    const StarBurnStatus status = StarBurn_ISO9660JolietFileTree_ImportTrack(
        device, tree.handle, 1, joliet ? 1 : 0, tree.error, sizeof tree.error, &tree.systemError);
    StarBurn_Destroy(&device);
    message = tree.error;
    if (status != STARBURN_OK) {
      EXPECT_EQ(tree.Kids(tree.Root()).size(), 0u) << "a failed import left entries";
      EXPECT_NE(message, "");
    }
    if (listing != nullptr) tree.List(tree.Root(), "", listing);
    return status;
  }

  Scratch temp;
  std::vector<uint8_t> image;
  std::string message;
};

// One row per damage (or legal quirk), poked into the image before the
// import of the tree it names: the status, and what a refusal says.
struct Damage {
  const char* what;
  bool joliet;
  std::function<void(IsoSessionReaderTest*)> poke;
  StarBurnStatus status;
  const char* told;    // in the refusal's message
  std::size_t listed;  // entries read when it is read
};

TEST_F(IsoSessionReaderTest, DamagedAndHostileSessionsAreRefusedWholeAndQuirksRead) {
  using T = IsoSessionReaderTest;
  constexpr StarBurnStatus kBad = STARBURN_STATUS_BAD_FILE_SYSTEM;
  // clang-format off
  const Damage rows[] = {
      {"block size 512", false, [](T* t) { PutBoth16(t->Block(16) + 128, 512); }, kBad, "", 0},
      {"halves disagree", false, [](T* t) { PutBe32(t->Block(16) + 84, 12345); }, kBad, "", 0},
      {"no terminator", false, [](T* t) { std::memset(t->Block(18), 0, kBlockSize); }, kBad, "", 0},
      {"root record flags", false, [](T* t) { t->Block(16)[156 + 25] = 0; }, kBad, "", 0},
      {"record shorter than its fixed part", false, [](T* t) { t->Iso("A.TXT;1")[0] = 20; }, kBad, "", 0},
      {"empty identifier", false, [](T* t) { t->Iso("A.TXT;1")[32] = 0; }, kBad, "", 0},
      {"identifier past the record", false, [](T* t) { t->Iso("A.TXT;1")[32] = 60; }, kBad, "", 0},
      {"extent halves disagree", false, [](T* t) { PutBe32(t->Iso("A.TXT;1") + 6, 3); }, kBad, "", 0},
      {"month 13", false, [](T* t) { t->Iso("A.TXT;1")[19] = 13; }, kBad, "", 0},
      {"extent beyond the volume", false, [](T* t) { PutBoth32(t->Iso("A.TXT;1") + 2, static_cast<uint32_t>(t->image.size() / kBlockSize)); }, kBad, "beyond", 0},
      {"multi-extent chain into another name", false, [](T* t) { t->Iso("A.TXT;1")[25] |= 0x80; }, kBad, "", 0},
      {"chain open at the directory's end", false, [](T* t) { t->Iso("EMPTY.TXT;1")[25] |= 0x80; }, kBad, "multi-extent", 0},
      {"odd Joliet name", true, [](T* t) { t->Record(t->Root(true), "a.txt", true)[32] = 9; }, kBad, "", 0},
      {"Joliet and ISO trees disagree", true, [](T* t) { PutBoth32(t->Record(t->Root(true), "b.txt", true) + 2, GetLe32(t->Iso("A.TXT;1") + 2)); }, kBad, "disagree", 0},
      {"... the ISO tree alone is sound", false, [](T* t) { PutBoth32(t->Record(t->Root(true), "b.txt", true) + 2, GetLe32(t->Iso("A.TXT;1") + 2)); }, STARBURN_OK, "", 7},
      {"over-long Joliet name", true, [](T* t) { uint8_t* r = t->Record(t->Root(true), "empty.txt", true); r[0] = 255; r[32] = 222; for (int i = 33; i < 255; i += 2) r[i] = 0, r[i + 1] = 'x'; }, kBad, "", 0},
      {"a directory pointing at its ancestor", false, [](T* t) { PutBoth32(t->Sub("DEEPER") + 2, t->Root(false)); }, kBad, "loop", 0},
      {"a directory pointing at itself", false, [](T* t) { PutBoth32(t->Sub("DEEPER") + 2, GetLe32(t->Iso("SUB") + 2)); }, kBad, "loop", 0},
      {"block arithmetic past 32 bits", false, [](T* t) { PutBoth32(t->Iso("SUB") + 2, 0xFFFFFFF0); PutBoth32(t->Iso("SUB") + 10, 0xFFFFFFFF); }, kBad, "", 0},
      {"a zero length byte ends the sector's records", false, [](T* t) { t->Iso("B.TXT;1")[0] = 0; }, STARBURN_OK, "", 1},
      {"a zero-size file pointing anywhere", true, [](T* t) { PutBoth32(t->Record(t->Root(true), "empty.txt", true) + 2, 0xFFFFFFF0); }, STARBURN_OK, "", 7},
      {"reserved bytes not zero", false, [](T* t) { t->Block(16)[7] = t->Block(16)[882] = t->Iso("A.TXT;1")[26] = 0x55; }, STARBURN_OK, "", 7},
      {"a second primary descriptor for the Joliet one", true, [](T* t) { std::memcpy(t->Block(17), t->Block(16), kBlockSize); }, STARBURN_OK, "", 7},
  };
  // clang-format on
  const std::vector<uint8_t> intact = image;
  for (const Damage& row : rows) {
    image = intact;
    row.poke(this);
    std::vector<std::string> listing;
    EXPECT_EQ(Import(row.joliet, &listing), row.status) << row.what << ": " << message;
    EXPECT_NE(message.find(row.told), std::string::npos) << row.what << ": " << message;
    EXPECT_EQ(listing.size(), row.listed) << row.what;
  }
  // A record longer than what is left of its sector.
  image = intact;
  RecordFields fields;
  std::size_t length = 0;
  std::string why;
  EXPECT_FALSE(
      DecodeDirectoryRecord(Iso("A.TXT;1"), Iso("A.TXT;1")[0] - 1, &fields, &length, &why));
  EXPECT_NE(why.find("crosses"), std::string::npos) << why;
  // A directory far larger than the reader's budget, on a disc that claims
  // to be large enough for it.
  PutBoth32(Block(16) + 80, 0x7FFFFFFF);
  PutBoth32(Iso("SUB") + 10, 0xFFFFF800);
  EXPECT_EQ(Import(false, nullptr, 0x7FFFFFFF), STARBURN_STATUS_LIMIT_EXCEEDED);
}

// Layouts at their edges, read back: a file of whole blocks that ends the
// volume, a directory of thirty names in one block, a label cut before a
// surrogate pair, nesting past the reader's cap, the probe's view.
TEST_F(IsoSessionReaderTest, LayoutsAtTheirEdgesReadBack) {
  WriteFile(temp.File("whole"), std::string(std::size_t{2} * kBlockSize, 'w'));
  Tree whole(0, 1);
  whole.Add(whole.Root(), temp.File("whole"), "whole.bin");
  for (int i = 0; i < 30; ++i)
    whole.Add(whole.Root(), temp.File("e"), "file" + std::to_string(10 + i));
  Save(whole, "fifteen letters\xF0\x9F\x98\x80");
  std::vector<std::string> listing;
  ASSERT_EQ(Import(true, &listing), STARBURN_OK) << message;
  EXPECT_EQ(listing.size(), 31u);
  EXPECT_EQ(listing.back(), "/whole.bin 4096");
  for (uint32_t descriptor : {16u, 17u})
    EXPECT_EQ(GetLe32(Block(descriptor) + 156 + 10), kBlockSize);
  MemoryReader reader(image);
  starburn::SessionSummary summary;
  std::string error;
  ASSERT_EQ(starburn::ProbeSession(reader, 0, &summary, &error), STARBURN_OK) << error;
  EXPECT_TRUE(summary.iso9660 && summary.joliet && !summary.otherFileSystem);
  EXPECT_EQ(summary.isoLabel, "FIFTEEN_LETTERS_");
  EXPECT_EQ(summary.jolietLabel, u"fifteen letters");  // 16 units: the pair is left out whole
  // UDF's recognition sequence after the terminator: "BEA01" and "NSR02", structure version 1.
  std::memcpy(Block(19) + 1, "BEA01\x01", 6);
  std::memcpy(Block(20) + 1, "NSR02\x01", 6);
  MemoryReader udf(image);
  ASSERT_EQ(starburn::ProbeSession(udf, 0, &summary, &error), STARBURN_OK);
  EXPECT_TRUE(summary.otherFileSystem);
  PutBoth16(Block(16) + 128, 512);  // a block size no reader takes: the probe says why
  MemoryReader malformed(image);
  EXPECT_EQ(starburn::ProbeSession(malformed, 0, &summary, &error),
            STARBURN_STATUS_BAD_FILE_SYSTEM);
  EXPECT_NE(error, "");

  // The first and the last high surrogates are cut alike.
  for (const char* pair : {"\xF0\x90\x80\x80", "\xF4\x8F\xB0\x80"}) {
    Tree cut(0, 1);
    Save(cut, ("fifteen letters" + std::string(pair)).c_str());
    MemoryReader labelled(image);
    ASSERT_EQ(starburn::ProbeSession(labelled, 0, &summary, &error), STARBURN_OK) << error;
    EXPECT_EQ(summary.jolietLabel, u"fifteen letters");
  }
  Tree deep(0, 1);
  void* node = deep.Root();
  for (int level = 0; level < 130; ++level) node = deep.Add(node, "", "d");
  Save(deep);
  EXPECT_EQ(Import(true), STARBURN_STATUS_LIMIT_EXCEEDED);
}

// The fuzzer's seeds (sessions of ours, genisoimage's with and without Rock
// Ridge, xorriso's) read whole from either tree; what the fuzzer once found
// (regressions) is refused or read, never a crash.
TEST(IsoFuzzCorpusTest, SeedsReadAndRegressionsEndCleanly) {
  namespace fs = std::filesystem;
  int seeds = 0;
  for (const char* folder : {"/corpus", "/regressions"}) {
    for (const auto& item : fs::directory_iterator(std::string(STARBURN_FUZZ_DIR) + folder)) {
      if (item.path().filename() == ".keep") continue;
      const std::string bytes = ReadFile(item.path().string());
      std::vector<uint8_t> image((16 + (bytes.size() + kBlockSize - 1) / kBlockSize) * kBlockSize);
      std::copy(bytes.begin(), bytes.end(), image.begin() + std::ptrdiff_t{16} * kBlockSize);
      MemoryReader reader(image);
      const bool seed = folder[1] == 'c';
      seeds += seed ? 1 : 0;
      for (const bool joliet : {false, true}) {
        std::vector<ImportedEntry> entries;
        std::string error;
        const StarBurnStatus status = ReadSession(reader, 0, joliet, &entries, &error);
        if (!seed) continue;
        EXPECT_EQ(status, STARBURN_OK) << item.path() << ": " << error;
        EXPECT_GE(entries.size(), 6u) << item.path();  // root, 2 folders, 3 or more files
      }
    }
  }
  EXPECT_GE(seeds, 7);
}

}  // namespace
