// The session reader on damaged sessions: each small image below is one of
// ours with a few bytes poked. A damaged session gives a status and leaves
// the tree as it was; legal quirks are read.

#include <gtest/gtest.h>

#include <filesystem>
#include <functional>

#include "IsoTestSupport.h"
#include "iso/Ecma119.h"
#include "iso/SessionProbe.h"
#include "iso/SessionReader.h"

namespace {

using isotest::TempDir;
using isotest::Tree;
using starburn::kBlockSize;

class IsoSessionReaderTest : public ::testing::Test {
 public:
  void SetUp() override {
    isotest::WriteFile(temp / "a", "first file");
    isotest::WriteFile(temp / "b", std::string(5000, 'b'));
    isotest::WriteFile(temp / "e", "");
    Tree tree(0, 1);
    void* sub = tree.AddDirectory(tree.Root(), "sub");
    tree.AddFile(sub, temp / "a", "inner.txt");
    void* deeper = tree.AddDirectory(sub, "deeper");
    tree.AddFile(deeper, temp / "a", "deepest.txt");
    tree.AddFile(tree.Root(), temp / "a", "a.txt");
    tree.AddFile(tree.Root(), temp / "b", "b.txt");
    tree.AddFile(tree.Root(), temp / "e", "empty.txt");
    ASSERT_EQ(tree.Build(), STARBURN_OK);
    ASSERT_EQ(tree.Save(temp / "image.iso"), STARBURN_OK);
    const std::string bytes = isotest::ReadFile(temp / "image.iso");
    image.assign(bytes.begin(), bytes.end());
  }

  uint8_t* Block(uint32_t lba) { return image.data() + std::size_t{lba} * kBlockSize; }
  uint32_t RootExtent(bool joliet) {
    return starburn::iso::GetLe32(Block(joliet ? 17 : 16) + 156 + 2);
  }
  // The record named name (an ISO 9660 identifier, or ASCII for Joliet) in
  // the directory at extent.
  uint8_t* Record(uint32_t extent, const std::string& name, bool joliet) {
    std::string identifier;
    for (char c : name) {
      if (joliet) identifier.push_back('\0');
      identifier.push_back(c);
    }
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
  uint32_t ExtentOf(const uint8_t* record) { return starburn::iso::GetLe32(record + 2); }

  // Imports the image's only session; answers the status and, on success,
  // the tree as "path size" lines.
  StarBurnStatus Import(bool joliet, std::vector<std::string>* listing = nullptr,
                        uint64_t claimedBlocks = 0) {
    isotest::MemoryReader reader(image);
    struct Claiming : isotest::MemoryReader {
      using MemoryReader::MemoryReader;
      uint64_t BlockCount() const override { return claimed; }
      StarBurnStatus ReadBlocks(uint32_t lba, uint32_t count, uint8_t* out) override {
        if (uint64_t{lba} * kBlockSize >= image.size()) {
          std::memset(out, 0, std::size_t{count} * kBlockSize);  // unwritten blocks
          return STARBURN_OK;
        }
        return MemoryReader::ReadBlocks(lba, count, out);
      }
      uint64_t claimed = 0;
    } claiming(image);
    claiming.claimed = claimedBlocks;
    starburn::BlockReader* used =
        claimedBlocks != 0 ? static_cast<starburn::BlockReader*>(&claiming) : &reader;
    void* device = starburn::HandleTable::Instance().Add(
        new isotest::DiscDouble(used, {{0, static_cast<uint32_t>(image.size() / kBlockSize)}}));
    Tree tree(0, 1);
    const StarBurnStatus status = StarBurn_ISO9660JolietFileTree_ImportTrack(
        device, tree.handle, 1, joliet ? 1 : 0, tree.error, sizeof tree.error, &tree.systemError);
    StarBurn_Destroy(&device);
    message = tree.error;
    if (status != STARBURN_OK) {
      EXPECT_EQ(tree.Kids(tree.Root()).size(), 0u) << "a failed import left entries";
      EXPECT_NE(message, "");
    }
    if (listing != nullptr) {
      listing->clear();
      Walk(tree, tree.Root(), "", listing);
    }
    return status;
  }
  void Walk(Tree& tree, void* node, const std::string& path, std::vector<std::string>* listing) {
    for (void* kid : tree.Kids(node)) {
      const std::string name = path + "/" + tree.Names(kid).second;
      listing->push_back(name +
                         (tree.IsDirectory(kid) ? "/" : " " + std::to_string(tree.Size(kid))));
      if (tree.IsDirectory(kid)) Walk(tree, kid, name, listing);
    }
  }

  TempDir temp;
  std::vector<uint8_t> image;
  std::string message;
};

TEST_F(IsoSessionReaderTest, AnIntactSessionIsReadFromEitherTree) {
  std::vector<std::string> listing;
  ASSERT_EQ(Import(true, &listing), STARBURN_OK) << message;
  // Entries come in record order.
  EXPECT_EQ(listing, (std::vector<std::string>{"/a.txt 10", "/b.txt 5000", "/empty.txt 0", "/sub/",
                                               "/sub/deeper/", "/sub/deeper/deepest.txt 10",
                                               "/sub/inner.txt 10"}));
  ASSERT_EQ(Import(false, &listing), STARBURN_OK) << message;
  EXPECT_EQ(listing, (std::vector<std::string>{"/A.TXT 10", "/B.TXT 5000", "/EMPTY.TXT 0", "/SUB/",
                                               "/SUB/DEEPER/", "/SUB/DEEPER/DEEPEST.TXT 10",
                                               "/SUB/INNER.TXT 10"}));
}

// Files follow the directories: the last one, in whole blocks, ends where the
// volume ends and is no extent beyond it.
TEST_F(IsoSessionReaderTest, AFileOfWholeBlocksAtTheVolumesEndIsRead) {
  isotest::WriteFile(temp / "whole", std::string(std::size_t{2} * kBlockSize, 'w'));
  Tree tree(0, 1);
  tree.AddFile(tree.Root(), temp / "whole", "whole.bin");
  ASSERT_EQ(tree.Build(), STARBURN_OK);
  ASSERT_EQ(tree.Save(temp / "whole.iso"), STARBURN_OK);
  const std::string bytes = isotest::ReadFile(temp / "whole.iso");
  image.assign(bytes.begin(), bytes.end());
  std::vector<std::string> listing;
  ASSERT_EQ(Import(true, &listing), STARBURN_OK) << message;
  EXPECT_EQ(listing, std::vector<std::string>{"/whole.bin 4096"});
}

// A directory takes the blocks its records fill: thirty names fit in one.
TEST_F(IsoSessionReaderTest, ADirectoryTakesTheBlocksItsRecordsFill) {
  Tree tree(0, 1);
  for (int i = 0; i < 30; ++i)
    tree.AddFile(tree.Root(), temp / "e", "file" + std::to_string(10 + i));
  ASSERT_EQ(tree.Build(), STARBURN_OK);
  ASSERT_EQ(tree.Save(temp / "thirty.iso"), STARBURN_OK);
  const std::string bytes = isotest::ReadFile(temp / "thirty.iso");
  image.assign(bytes.begin(), bytes.end());
  for (uint32_t descriptor : {16u, 17u}) {  // the ISO 9660 and the Joliet root
    EXPECT_EQ(starburn::iso::GetLe32(Block(descriptor) + 156 + 10), kBlockSize) << descriptor;
  }
}

TEST_F(IsoSessionReaderTest, DamagedDescriptorsAreRefused) {
  struct Case {
    const char* what;
    std::function<void(IsoSessionReaderTest*)> poke;
  };
  const Case cases[] = {
      {"block size 512", [](auto* t) { starburn::iso::PutBoth16(t->Block(16) + 128, 512); }},
      {"halves disagree", [](auto* t) { starburn::iso::PutBe32(t->Block(16) + 84, 12345); }},
      {"no terminator", [](auto* t) { std::memset(t->Block(18), 0, kBlockSize); }},
      {"root record flags", [](auto* t) { t->Block(16)[156 + 25] = 0; }},
  };
  const std::vector<uint8_t> intact = image;
  for (const Case& c : cases) {
    image = intact;
    c.poke(this);
    EXPECT_EQ(Import(false), STARBURN_STATUS_BAD_FILE_SYSTEM) << c.what;
  }
}

TEST_F(IsoSessionReaderTest, DamagedRecordsAreRefusedAndAZeroLengthEndsItsSector) {
  const std::vector<uint8_t> intact = image;
  const uint32_t root = RootExtent(false);
  struct Case {
    const char* what;
    std::function<void(IsoSessionReaderTest*, uint8_t*)> poke;  // given the record of A.TXT;1
    StarBurnStatus status;
  };
  const Case cases[] = {
      {"shorter than its fixed part", [](auto*, uint8_t* r) { r[0] = 20; },
       STARBURN_STATUS_BAD_FILE_SYSTEM},
      {"empty identifier", [](auto*, uint8_t* r) { r[32] = 0; }, STARBURN_STATUS_BAD_FILE_SYSTEM},
      {"identifier past the record", [](auto*, uint8_t* r) { r[32] = 60; },
       STARBURN_STATUS_BAD_FILE_SYSTEM},
      {"extent halves disagree", [](auto*, uint8_t* r) { starburn::iso::PutBe32(r + 6, 3); },
       STARBURN_STATUS_BAD_FILE_SYSTEM},
      {"month 13", [](auto*, uint8_t* r) { r[19] = 13; }, STARBURN_STATUS_BAD_FILE_SYSTEM},
      {"extent beyond the volume",
       [](auto* t, uint8_t* r) {
         starburn::iso::PutBoth32(r + 2, static_cast<uint32_t>(t->image.size() / kBlockSize));
       },
       STARBURN_STATUS_BAD_FILE_SYSTEM},
      {"multi-extent chain into another name", [](auto*, uint8_t* r) { r[25] |= 0x80; },
       STARBURN_STATUS_BAD_FILE_SYSTEM},
  };
  for (const Case& c : cases) {
    image = intact;
    c.poke(this, Record(root, "A.TXT;1", false));
    EXPECT_EQ(Import(false), c.status) << c.what;
  }
  // A record longer than what is left of its sector.
  starburn::iso::RecordFields fields;
  std::size_t length = 0;
  std::string why;
  const uint8_t* record = Record(root, "A.TXT;1", false);
  EXPECT_FALSE(starburn::iso::DecodeDirectoryRecord(record, record[0] - 1, &fields, &length, &why));
  EXPECT_NE(why.find("crosses"), std::string::npos) << why;

  // A chain left open at the directory's end.
  image = intact;
  Record(root, "EMPTY.TXT;1", false)[25] |= 0x80;
  EXPECT_EQ(Import(false), STARBURN_STATUS_BAD_FILE_SYSTEM);
  EXPECT_NE(message.find("multi-extent"), std::string::npos) << message;

  // A zero length byte: the rest of the sector holds no records.
  image = intact;
  Record(root, "B.TXT;1", false)[0] = 0;
  std::vector<std::string> listing;
  ASSERT_EQ(Import(false, &listing), STARBURN_OK) << message;
  EXPECT_EQ(listing, std::vector<std::string>{"/A.TXT 10"});
}

TEST_F(IsoSessionReaderTest, JolietNamesMustHaveEvenSaneLengthsAndAgreeWithTheIsoTree) {
  const std::vector<uint8_t> intact = image;
  const uint32_t root = RootExtent(true);
  uint8_t* record = Record(root, "a.txt", true);
  record[32] = 9;  // odd
  EXPECT_EQ(Import(true), STARBURN_STATUS_BAD_FILE_SYSTEM);

  image = intact;
  record = Record(root, "b.txt", true);
  starburn::iso::PutBoth32(record + 2, ExtentOf(Record(RootExtent(false), "A.TXT;1", false)));
  EXPECT_EQ(Import(true), STARBURN_STATUS_BAD_FILE_SYSTEM);
  EXPECT_NE(message.find("disagree"), std::string::npos) << message;
  EXPECT_EQ(Import(false), STARBURN_OK);  // the ISO 9660 tree alone is sound

  // An over-long Joliet identifier in a record that holds it.
  image = intact;
  record = Record(root, "empty.txt", true);
  std::vector<uint8_t> forged(255, 0);
  std::memcpy(forged.data(), record, 33);
  forged[0] = 255;
  forged[32] = 222;
  for (std::size_t i = 33; i < 255; i += 2) forged[i + 1] = 'x';
  const std::size_t offset = record - Block(root);
  ASSERT_LE(offset + 255, kBlockSize);
  std::memcpy(record, forged.data(), 255);
  EXPECT_EQ(Import(true), STARBURN_STATUS_BAD_FILE_SYSTEM);
}

TEST_F(IsoSessionReaderTest, LoopsDepthAndBudgetsEndTheWalk) {
  const std::vector<uint8_t> intact = image;
  const uint32_t root = RootExtent(false);
  uint8_t* sub = Record(root, "SUB", false);
  const uint32_t subExtent = ExtentOf(sub);
  // A subdirectory that points at an ancestor.
  starburn::iso::PutBoth32(Record(subExtent, "DEEPER", false) + 2, root);
  EXPECT_EQ(Import(false), STARBURN_STATUS_BAD_FILE_SYSTEM);
  // ... or at itself.
  image = intact;
  starburn::iso::PutBoth32(Record(subExtent, "DEEPER", false) + 2, subExtent);
  EXPECT_EQ(Import(false), STARBURN_STATUS_BAD_FILE_SYSTEM);
  // Block arithmetic that would overflow 32 bits.
  image = intact;
  starburn::iso::PutBoth32(sub + 2, 0xFFFFFFF0);
  starburn::iso::PutBoth32(sub + 10, 0xFFFFFFFF);
  EXPECT_EQ(Import(false), STARBURN_STATUS_BAD_FILE_SYSTEM);
  // A directory far larger than the reader's budget, on a disc that claims
  // to be large enough for it.
  image = intact;
  starburn::iso::PutBoth32(Block(16) + 80, 0x7FFFFFFF);
  starburn::iso::PutBoth32(sub + 10, 0xFFFFF800);
  EXPECT_EQ(Import(false, nullptr, 0x7FFFFFFF), STARBURN_STATUS_LIMIT_EXCEEDED);
}

TEST_F(IsoSessionReaderTest, LegalQuirksAreAccepted) {
  const uint32_t root = RootExtent(false);
  // A zero-size file may point anywhere.
  starburn::iso::PutBoth32(Record(root, "EMPTY.TXT;1", false) + 2, 0xFFFFFFF0);
  starburn::iso::PutBoth32(Record(RootExtent(true), "empty.txt", true) + 2, 0xFFFFFFF0);
  // Reserved bytes that are not zero.
  Block(16)[7] = 0x55;
  Block(16)[882] = 0x55;
  std::memset(Block(16) + 72, 0x55, 8);
  Record(root, "A.TXT;1", false)[26] = 0;
  // A second primary descriptor instead of the Joliet one.
  std::memcpy(Block(17), Block(16), kBlockSize);
  std::vector<std::string> listing;
  ASSERT_EQ(Import(true, &listing), STARBURN_OK) << message;  // falls back to ISO 9660
  EXPECT_EQ(listing.size(), 7u);
  EXPECT_EQ(listing[2], "/EMPTY.TXT 0");
}

TEST(IsoSessionReaderDepthTest, NestingPastTheCapIsRefused) {
  Tree tree(0, 1);
  void* node = tree.Root();
  for (int level = 0; level < 130; ++level) node = tree.AddDirectory(node, "d");
  ASSERT_EQ(tree.Build(), STARBURN_OK);
  TempDir temp;
  ASSERT_EQ(tree.Save(temp / "deep.iso"), STARBURN_OK);
  isotest::FileReader reader(temp / "deep.iso");
  void* device = starburn::HandleTable::Instance().Add(new isotest::DiscDouble(&reader, {{0, 0}}));
  Tree imported(0, 1);
  EXPECT_EQ(StarBurn_ISO9660JolietFileTree_ImportTrack(device, imported.handle, 1, 1, nullptr, 0,
                                                       nullptr),
            STARBURN_STATUS_LIMIT_EXCEEDED);
  EXPECT_EQ(StarBurn_ISO9660JolietFileTree_ImportTrack(device, imported.handle, 2, 1, nullptr, 0,
                                                       nullptr),
            STARBURN_STATUS_NOT_FOUND);
  StarBurn_Destroy(&device);
}

TEST_F(IsoSessionReaderTest, TheProbeSeesTheSameDescriptors) {
  isotest::MemoryReader reader(image);
  starburn::SessionSummary summary;
  std::string error;
  ASSERT_EQ(starburn::ProbeSession(reader, 0, &summary, &error), STARBURN_OK);
  EXPECT_TRUE(summary.iso9660);
  EXPECT_TRUE(summary.joliet);
  EXPECT_FALSE(summary.otherFileSystem);
  EXPECT_EQ(summary.isoLabel, "LABEL");
  EXPECT_EQ(summary.jolietLabel, u"LABEL");
  // UDF's recognition sequence after the terminator.
  std::memcpy(Block(19) + 1, "BEA01", 5);
  std::memcpy(Block(20) + 1, "NSR02", 5);
  isotest::MemoryReader udf(image);
  ASSERT_EQ(starburn::ProbeSession(udf, 0, &summary, &error), STARBURN_OK);
  EXPECT_TRUE(summary.otherFileSystem);
}

// A Joliet label holds 16 units: a pair that would straddle the end is left
// out whole, never cut into a lone surrogate.
TEST_F(IsoSessionReaderTest, ALabelIsCutBeforeASurrogatePairThatDoesNotFit) {
  Tree tree(0, 1);
  ASSERT_EQ(tree.Build(0, "fifteen letters\xF0\x9F\x98\x80"), STARBURN_OK) << tree.error;
  ASSERT_EQ(tree.Save(temp / "label.iso"), STARBURN_OK);
  const std::string bytes = isotest::ReadFile(temp / "label.iso");
  isotest::MemoryReader reader(std::vector<uint8_t>(bytes.begin(), bytes.end()));
  starburn::SessionSummary summary;
  std::string error;
  ASSERT_EQ(starburn::ProbeSession(reader, 0, &summary, &error), STARBURN_OK) << error;
  EXPECT_EQ(summary.jolietLabel, u"fifteen letters");
}

// A session is imported into an empty tree, once.
TEST_F(IsoSessionReaderTest, ImportTakesOnlyAnEmptyTree) {
  isotest::MemoryReader reader(image);
  void* device = starburn::HandleTable::Instance().Add(
      new isotest::DiscDouble(&reader, {{0, static_cast<uint32_t>(image.size() / kBlockSize)}}));
  Tree filled(0, 1);
  filled.AddDirectory(filled.Root(), "mine");
  EXPECT_EQ(
      StarBurn_ISO9660JolietFileTree_ImportTrack(device, filled.handle, 1, 1, nullptr, 0, nullptr),
      STARBURN_STATUS_WRONG_STATE);
  Tree empty(0, 1);
  EXPECT_EQ(
      StarBurn_ISO9660JolietFileTree_ImportTrack(device, empty.handle, 1, 1, nullptr, 0, nullptr),
      STARBURN_OK);
  EXPECT_EQ(
      StarBurn_ISO9660JolietFileTree_ImportTrack(device, empty.handle, 1, 1, nullptr, 0, nullptr),
      STARBURN_STATUS_WRONG_STATE);
  StarBurn_Destroy(&device);
}

}  // namespace

namespace {

// The fuzz target's seeds (sessions of ours, genisoimage's and xorriso's
// without their system area) read whole; what the fuzzer ever found reads
// without harm.
std::vector<uint8_t> WithSystemArea(const std::string& path) {
  const std::string bytes = isotest::ReadFile(path);
  const std::size_t blocks = 16 + (bytes.size() + kBlockSize - 1) / kBlockSize;
  std::vector<uint8_t> image(blocks * kBlockSize, 0);
  std::copy(bytes.begin(), bytes.end(), image.begin() + std::ptrdiff_t{16} * kBlockSize);
  return image;
}

TEST(IsoFuzzCorpusTest, SeedsReadAndRegressionsFailCleanly) {
  namespace fs = std::filesystem;
  int seeds = 0;
  for (const auto& item : fs::directory_iterator(std::string(STARBURN_FUZZ_DIR) + "/corpus")) {
    isotest::MemoryReader reader(WithSystemArea(item.path().string()));
    std::vector<starburn::iso::ImportedEntry> entries;
    std::string error;
    for (bool joliet : {false, true}) {
      EXPECT_EQ(starburn::iso::ReadSession(reader, 0, joliet, &entries, &error), STARBURN_OK)
          << item.path() << ": " << error;
      EXPECT_GE(entries.size(), 6u) << item.path();  // root, 2 folders, 3 or more files
    }
    ++seeds;
  }
  EXPECT_GE(seeds, 7);
  for (const auto& item : fs::directory_iterator(std::string(STARBURN_FUZZ_DIR) + "/regressions")) {
    if (item.path().filename() == ".keep") continue;
    isotest::MemoryReader reader(WithSystemArea(item.path().string()));
    std::vector<starburn::iso::ImportedEntry> entries;
    std::string error;
    starburn::iso::ReadSession(reader, 0, true, &entries, &error);
    starburn::iso::ReadSession(reader, 0, false, &entries, &error);
  }
}

}  // namespace
