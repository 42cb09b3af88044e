// The exact-name test of the container and the rewrites of names that clash
// in the image tree, including what they do at the edge of the caller's buffer.

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <memory>
#include <string>
#include <vector>

#include "layout/FileNameChecker.h"
#include "layout/FileSystemNameChecker.h"
#include "platform/Win32.h"

namespace {

using Orlet::FileSystemNameChecker;

// Wed Jan 02 02:03:55 1980, UTC.
constexpr __time64_t kFixedTime = 315626635;
const char16_t kTimeText[] = u"_Wed_Jan_02_02_03_55_1980";

std::string Short(const std::string& name, FileSystemNameChecker& checker) {
  std::vector<char> buffer(Orlet::kShortNameRoom, '\0');
  std::memcpy(buffer.data(), name.c_str(), name.size() + 1);
  checker.MakeShortNameUnique(buffer.data());
  return buffer.data();
}

std::string Short(const std::string& name) {
  FileSystemNameChecker checker(1);
  return Short(name, checker);
}

class FileSystemNameCheckerTest : public ::testing::Test {
 protected:
  void SetUp() override {
    setenv("TZ", "UTC", 1);
    tzset();
    Win32FixClock(kFixedTime);
  }
  void TearDown() override { Win32FixClock(-1); }

  static std::u16string Long(const std::u16string& name) {
    std::vector<char16_t> buffer(Orlet::kLongNameRoom, u'\0');
    std::memcpy(buffer.data(), name.c_str(), (name.size() + 1) * sizeof(char16_t));
    FileSystemNameChecker checker(1);
    checker.MakeLongNameUnique(buffer.data());
    EXPECT_EQ(checker.counter, 1u);  // the long rewrite does not use the counter
    return buffer.data();
  }
};

TEST(FileNameCheckerTest, MatchesTheWholeNameExactly) {
  Orlet::FileNameChecker checker(L"readme.txt");
  Orlet::FileContainer::Node node;
  node.name = L"README.TXT";
  EXPECT_FALSE(checker(node));
  node.name = L"readme.txt ";
  EXPECT_FALSE(checker(node));
  node.name = L"readme.tx";
  EXPECT_FALSE(checker(&node));
  node.name = L"readme.txt";
  EXPECT_TRUE(checker(node));
}

TEST_F(FileSystemNameCheckerTest, ShortNamesGetTheCounterBeforeTheirTail) {
  EXPECT_EQ(Short("README.TXT;1"), "README1.TXT;1");
  EXPECT_EQ(Short("VERYLONGNAME.DOC;1"), "VERYLON1.DOC;1");
  EXPECT_EQ(Short("ABCDEFGH.TXT;1"), "ABCDEFGH1.TXT;1");
  EXPECT_EQ(Short("ABCD.HTML;1"), "ABCD.HT1;1");  // a four-letter extension is no tail
  EXPECT_EQ(Short("A"), "A01");
  EXPECT_EQ(Short(""), "001");
  EXPECT_EQ(Short("NOEXT;1"), "NOEXT1;1");
  EXPECT_EQ(Short("DIR"), "DIR1");

  FileSystemNameChecker checker(1);
  EXPECT_EQ(Short("README.TXT;1", checker), "README1.TXT;1");
  EXPECT_EQ(Short("README.TXT;1", checker), "README2.TXT;1");
  EXPECT_EQ(checker.counter, 3u);
  FileSystemNameChecker big(4294967295u);
  EXPECT_EQ(Short("A.B;1", big), "A4294967295.B;1");
}

TEST_F(FileSystemNameCheckerTest, LongNamesGetTheTimeBeforeTheirTail) {
  EXPECT_EQ(Long(u"Photo.jpg;1"), u"Photo_Wed_Jan_02_02_03_55_1980_.jpg;1");
  EXPECT_EQ(Long(u"Notes"), u"Notes_Wed_Jan_02_02_03_55_1980");
  EXPECT_EQ(Long(u"Report.docx;1"), u"Report.docx_Wed_Jan_02_02_03_55_1980_;1");
  // Colons and spaces in the base stay; after the base they become "_".
  EXPECT_EQ(Long(u"a: b.txt"), u"a: b_Wed_Jan_02_02_03_55_1980_.txt");
  EXPECT_EQ(Long(u"ab.c:d"), u"ab_Wed_Jan_02_02_03_55_1980_.c_d");
  EXPECT_EQ(Long(u"x"), u"x0_Wed_Jan_02_02_03_55_1980");
  // Non-ASCII text passes through untouched.
  EXPECT_EQ(Long(u"\u00e9t\u00e9.jpg"), u"\u00e9t\u00e9_Wed_Jan_02_02_03_55_1980_.jpg");
}

TEST_F(FileSystemNameCheckerTest, LongNameTooLongForTheBufferLosesTheEndOfItsBase) {
  const std::size_t room = Orlet::kLongNameRoom;
  const std::u16string timeAndTail = std::u16string(kTimeText) + u"_.jpg;1";
  for (std::size_t baseLength : {200u, 238u, 239u, 240u, 265u, 300u}) {
    SCOPED_TRACE(baseLength);
    const std::u16string name = std::u16string(baseLength, u'n') + u".jpg;1";
    // A buffer longer than the room, so that writing past the room shows in
    // the guard units instead of corrupting memory.
    std::vector<char16_t> buffer(std::max(name.size() + 1, room) + 64, u'#');
    std::copy(name.begin(), name.end(), buffer.begin());
    buffer[name.size()] = 0;
    const std::vector<char16_t> guard(buffer.begin() + room, buffer.end());

    FileSystemNameChecker(1).MakeLongNameUnique(buffer.data(), room);
    EXPECT_EQ(std::vector<char16_t>(buffer.begin() + room, buffer.end()), guard);
    const std::u16string result(buffer.data());
    if (name.size() < room) {
      // The whole time text and tail survive; the base is what was cut.
      const std::size_t base = std::min(baseLength, room - 1 - timeAndTail.size());
      EXPECT_EQ(result, std::u16string(base, u'n') + timeAndTail);
    } else {
      // Only room - 1 characters of the name are read: 300 n's and no tail.
      EXPECT_EQ(result, std::u16string(room - 1 - 25, u'n') + kTimeText);
    }
  }
}

TEST_F(FileSystemNameCheckerTest, RewritesStayInsideBuffersOfExactlyTheirRoom) {
  // Heap buffers of exactly the room, filled to the end, so that any access
  // past them is caught by the address sanitizer.
  const std::size_t wideLimit = Orlet::kLongNameRoom - 1;
  for (std::size_t length : {245u, 246u, 247u, 271u, 272u}) {
    SCOPED_TRACE(length);
    auto wide = std::make_unique<char16_t[]>(Orlet::kLongNameRoom);
    for (std::size_t i = 0; i < Orlet::kLongNameRoom; ++i) wide[i] = i < length ? u'w' : 0;
    FileSystemNameChecker(1).MakeLongNameUnique(wide.get());
    const std::u16string result(wide.get());  // terminated inside the buffer
    const std::size_t base = std::min(std::min(length, wideLimit), wideLimit - 25);
    EXPECT_EQ(result, std::u16string(base, u'w') + kTimeText);
  }
  for (std::size_t length : {540u, 543u, 544u}) {
    SCOPED_TRACE(length);
    auto narrow = std::make_unique<char[]>(Orlet::kShortNameRoom);
    for (std::size_t i = 0; i < Orlet::kShortNameRoom; ++i) narrow[i] = i < length ? 'S' : 0;
    // The name ends in .TXT;1. Unterminated, only its first 543 bytes are
    // read, which end in .TXT; and so have no tail.
    std::memcpy(narrow.get() + length - 6, ".TXT;1", 6);
    FileSystemNameChecker(1).MakeShortNameUnique(narrow.get());
    EXPECT_STREQ(narrow.get(), length < 544 ? "SSSSSSS1.TXT;1" : "SSSSSSS1");
  }
}

TEST_F(FileSystemNameCheckerTest, SmallRoomsCutTheBaseFirst) {
  FileSystemNameChecker checker(1);
  char narrow[8] = "VERYLON";
  checker.MakeShortNameUnique(narrow, sizeof narrow);
  EXPECT_STREQ(narrow, "VERYLO1");
  char tight[7] = "AB.DOC";
  checker.MakeShortNameUnique(tight, sizeof tight);
  EXPECT_STREQ(tight, "A2.DOC");
  EXPECT_EQ(checker.counter, 3u);

  // A surrogate pair at the cut goes whole.
  const std::u16string name = u"ab\U0001F600cd";
  const std::size_t room = 25 + 3 + 1;  // time text, three base units, terminator
  std::vector<char16_t> wide(room + 8, u'#');
  std::memcpy(wide.data(), name.c_str(), (name.size() + 1) * sizeof(char16_t));
  FileSystemNameChecker(1).MakeLongNameUnique(wide.data(), room);
  EXPECT_EQ(std::u16string(wide.data()), u"ab" + std::u16string(kTimeText));
  EXPECT_EQ(wide[room], u'#');
}

TEST_F(FileSystemNameCheckerTest, NameAtAnOddAddressOfTheRecord) {
  // The rejected-name record: a flag byte, then the name from byte 1.
  std::vector<unsigned char> record(1 + Orlet::kShortNameRoom + 4, 0xEE);
  const std::u16string name = u"Photo.jpg;1";
  std::memcpy(record.data() + 1, name.c_str(), (name.size() + 1) * sizeof(char16_t));
  FileSystemNameChecker(1).MakeLongNameUnique(reinterpret_cast<char16_t*>(record.data() + 1));
  std::u16string result;
  for (std::size_t i = 1;; i += 2) {
    char16_t unit = 0;
    std::memcpy(&unit, record.data() + i, 2);
    if (unit == 0) break;
    result.push_back(unit);
  }
  EXPECT_EQ(result, u"Photo_Wed_Jan_02_02_03_55_1980_.jpg;1");
  EXPECT_EQ(record[0], 0xEE);
  EXPECT_EQ(record[1 + Orlet::kShortNameRoom], 0xEE);
}

}  // namespace
