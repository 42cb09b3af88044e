// Rewrites of names that clash in the image tree, as the recording SDK's
// rejected-name record holds them: at an odd byte address, in a room of a
// given size, with guard bytes after the room that no rewrite may touch.

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <ctime>
#include <string>
#include <vector>

#include "layout/FileSystemNameChecker.h"
#include "platform/Win32.h"

namespace {

using Orlet::FileSystemNameChecker;
constexpr std::size_t kShort = Orlet::kShortNameRoom;
constexpr std::size_t kLong = Orlet::kLongNameRoom;

// Wed Jan 02 02:03:55 1980, UTC; '@' in an expected long name stands for it.
constexpr win32::__time64_t kFixedTime = 315626635;
const std::u16string kTimeText = u"_Wed_Jan_02_02_03_55_1980";

struct Row {
  bool wide;             // a Joliet name (MakeLongNameUnique), else an ISO 9660 one
  std::size_t repeat;    // the name starts with this many 'n's
  const char16_t* name;  // the rest of it (ASCII for ISO 9660 names)
  std::size_t room;
  uint32_t counter;
  std::size_t kept;      // the rewrite starts with this many 'n's
  const char16_t* rest;  // the rest of it
};

// The name placed in the record (cut to the room, unterminated when it
// fills it), rewritten, and read back up to its terminator.
template <typename Unit>
std::u16string Rewrite(const Row& row) {
  const std::u16string name = std::u16string(row.repeat, u'n') + row.name;
  constexpr std::size_t kGuard = 8;
  std::vector<unsigned char> record(1 + (row.room + kGuard) * sizeof(Unit), 0xEE);
  for (std::size_t i = 0; i < row.room && i <= name.size(); ++i) {
    const auto unit = static_cast<Unit>(i < name.size() ? name[i] : 0);
    std::memcpy(&record[1 + i * sizeof(Unit)], &unit, sizeof unit);
  }
  FileSystemNameChecker checker(row.counter);
  auto* at = reinterpret_cast<Unit*>(record.data() + 1);
  if constexpr (sizeof(Unit) == 1) {
    checker.MakeShortNameUnique(at, row.room);
    EXPECT_EQ(checker.counter, row.counter + 1);
  } else {
    checker.MakeLongNameUnique(at, row.room);
    EXPECT_EQ(checker.counter, row.counter);  // the time text replaces the counter
  }
  EXPECT_EQ(record[0], 0xEE);
  EXPECT_EQ(std::vector<unsigned char>(record.end() - kGuard * sizeof(Unit), record.end()),
            std::vector<unsigned char>(kGuard * sizeof(Unit), 0xEE));
  std::u16string result;
  for (std::size_t i = 0; i < row.room; ++i) {
    Unit unit{};
    std::memcpy(&unit, &record[1 + i * sizeof(Unit)], sizeof unit);
    if (unit == 0) return result;
    result.push_back(static_cast<char16_t>(unit));
  }
  ADD_FAILURE() << "no terminator inside the room";
  return result;
}

class FileSystemNameCheckerTest : public ::testing::TestWithParam<Row> {};

TEST_P(FileSystemNameCheckerTest, Rewrite) {
  const Row& row = GetParam();
  std::u16string expected = std::u16string(row.kept, u'n') + row.rest;
  if (const auto at = expected.find(u'@'); at != std::u16string::npos) {
    expected.replace(at, 1, kTimeText);
  }
#ifdef _WIN32
  _putenv_s("TZ", "UTC");
  _tzset();
#else
  setenv("TZ", "UTC", 1);
  tzset();
#endif
  win32::FixClock(kFixedTime);
  EXPECT_EQ(row.wide ? Rewrite<char16_t>(row) : Rewrite<char>(row), expected);
  win32::FixClock(-1);
}

const Row kRows[] = {
    // ISO 9660: the counter goes before the tail (an extension of up to three
    // characters and a version), into a base cut to 7 when it is longer than 8.
    {false, 0, u"README.TXT;1", kShort, 1, 0, u"README1.TXT;1"},
    {false, 0, u"VERYLONGNAME.DOC;1", kShort, 1, 0, u"VERYLON1.DOC;1"},
    {false, 0, u"ABCDEFGH.TXT;1", kShort, 1, 0, u"ABCDEFGH1.TXT;1"},
    {false, 0, u"ABCD.HTML;1", kShort, 1, 0, u"ABCD.HT1;1"},
    {false, 0, u"NOEXT;1", kShort, 1, 0, u"NOEXT1;1"},
    {false, 0, u"DIR", kShort, 12, 0, u"DIR12"},
    {false, 0, u".AB", kShort, 1, 0, u"1.AB"},
    {false, 0, u"A", kShort, 1, 0, u"A01"},
    {false, 0, u"", kShort, 1, 0, u"001"},
    {false, 0, u"A.B;1", kShort, 4294967295u, 0, u"A4294967295.B;1"},
    // At the end of the room: only room - 1 bytes are read, which may cut the tail.
    {false, 537, u".TXT;1", kShort, 1, 7, u"1.TXT;1"},
    {false, 538, u".TXT;1", kShort, 1, 7, u"1"},
    // Small rooms cut the base first.
    {false, 0, u"VERYLON", 8, 1, 0, u"VERYLO1"},
    {false, 0, u"AB.DOC", 7, 2, 0, u"A2.DOC"},
    // Joliet: the local time goes before the tail; blanks and colons after the base become "_".
    {true, 0, u"Photo.jpg;1", kLong, 1, 0, u"Photo@_.jpg;1"},
    {true, 0, u"Notes", kLong, 1, 0, u"Notes@"},
    {true, 0, u"Report.docx;1", kLong, 1, 0, u"Report.docx@_;1"},
    {true, 0, u"a: b.txt", kLong, 1, 0, u"a: b@_.txt"},
    {true, 0, u"ab.c:d", kLong, 1, 0, u"ab@_.c_d"},
    {true, 0, u"x", kLong, 1, 0, u"x0@"},
    {true, 0, u"\u00e9t\u00e9.jpg", kLong, 1, 0, u"\u00e9t\u00e9@_.jpg"},
    // A name too long for the room loses the end of its base; the time text and tail stay.
    {true, 238, u".jpg;1", kLong, 1, 238, u"@_.jpg;1"},
    {true, 239, u".jpg;1", kLong, 1, 239, u"@_.jpg;1"},
    {true, 240, u".jpg;1", kLong, 1, 239, u"@_.jpg;1"},
    {true, 300, u".jpg;1", kLong, 1, 246, u"@"},
    {true, 246, u"", kLong, 1, 246, u"@"},
    {true, 247, u"", kLong, 1, 246, u"@"},
    // A surrogate pair at the cut goes whole.
    {true, 0, u"ab\U0001F600cd", 25 + 3 + 1, 1, 0, u"ab@"},
};
INSTANTIATE_TEST_SUITE_P(Names, FileSystemNameCheckerTest, ::testing::ValuesIn(kRows));

}  // namespace
