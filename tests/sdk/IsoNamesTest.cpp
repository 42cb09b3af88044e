// The name policies of the three name spaces.

#include <gtest/gtest.h>

#include "iso/NamePolicy.h"
#include "iso/Utf.h"

namespace {

using starburn::iso::NamePolicy;
using starburn::iso::Utf16ToUtf8;
using starburn::iso::Utf8ToUtf16;

std::string Map(NamePolicy::Space space, const std::string& name, bool directory = false) {
  return Utf16ToUtf8(NamePolicy(space).Map(Utf8ToUtf16(name), directory));
}

TEST(IsoNamesTest, Level1NamesAreEightDotThreeDCharacters) {
  const auto level1 = NamePolicy::Space::kIsoLevel1;
  EXPECT_EQ(Map(level1, "readme.txt"), "README.TXT");
  EXPECT_EQ(Map(level1, "Makefile"), "MAKEFILE.");  // the separator stays
  EXPECT_EQ(Map(level1, "my file.tar.gz"), "MY_FILE_.GZ");
  EXPECT_EQ(Map(level1, "report.html"), "REPORT.HTM");
  EXPECT_EQ(Map(level1, "caf\xc3\xa9 \xf0\x9f\x98\x80.txt"), "CAF___.TXT");  // one _ per character
  EXPECT_EQ(Map(level1, "photos.2024", true), "PHOTOS_2");  // directories have no extension
}

TEST(IsoNamesTest, Level2NamesHoldThirtyOneCharacters) {
  const auto level2 = NamePolicy::Space::kIsoLevel2;
  EXPECT_EQ(Map(level2, "a file with a long name.text"), "A_FILE_WITH_A_LONG_NAME.TEXT");
  const std::string mapped = Map(level2, std::string(40, 'n') + ".extension");
  EXPECT_EQ(mapped, std::string(22, 'N') + ".EXTENSIO");
  EXPECT_EQ(mapped.size(), 31u);
  EXPECT_EQ(Map(level2, std::string(40, 'd'), true), std::string(31, 'D'));
}

TEST(IsoNamesTest, JolietKeepsTextReplacesForbiddenCharactersAndShortensKeepingTheExtension) {
  const auto joliet = NamePolicy::Space::kJoliet;
  EXPECT_EQ(Map(joliet, "a:b*c?d\\e;f/g.txt"), "a_b_c_d_e_f_g.txt");
  EXPECT_EQ(Map(joliet, "\xe6\x97\xa5\xe6\x9c\xac\xe8\xaa\x9e \xf0\x9f\x98\x80.txt"),
            "\xe6\x97\xa5\xe6\x9c\xac\xe8\xaa\x9e \xf0\x9f\x98\x80.txt");
  const std::string longName = std::string(120, 'x') + ".jpeg";
  EXPECT_EQ(Map(joliet, longName), std::string(98, 'x') + ".jpeg");
  // A character beyond the Basic Multilingual Plane is never split.
  std::string emoji;
  for (int i = 0; i < 60; ++i) emoji += "\xf0\x9f\x98\x80";
  const std::u16string cut = NamePolicy(joliet).Map(Utf8ToUtf16(emoji), true);
  EXPECT_EQ(cut.size(), 102u);
  EXPECT_EQ(Utf16ToUtf8(cut), emoji.substr(0, std::size_t{51} * 4));
}

TEST(IsoNamesTest, RewrittenNamesKeepWhatTheHostInserted) {
  const NamePolicy level1(NamePolicy::Space::kIsoLevel1);
  EXPECT_EQ(level1.MapRewritten(u"README.TXT", u"README1.TXT;1", false), u"README1.TXT");
  EXPECT_EQ(level1.MapRewritten(u"ABCDEFGH.TXT", u"ABCDEFGH1.TXT;1", false), u"ABCDEFG1.TXT");
  EXPECT_EQ(level1.MapRewritten(u"ABCDEFGH.TXT", u"ABCDEFGHIJK.TXT", false), u"ABCDEIJK.TXT");
  EXPECT_EQ(level1.MapRewritten(u"AB.TXT", u"AB123456789.TXT", false), u"");  // no room left
  const NamePolicy joliet(NamePolicy::Space::kJoliet);
  const std::u16string offered = std::u16string(99, u'p') + u".txt";
  const std::u16string stamp = u"_Wed_Jan_02_02_03_55_1980";
  const std::u16string rewritten =
      joliet.MapRewritten(offered, std::u16string(99, u'p') + stamp + u".txt", false);
  EXPECT_EQ(rewritten, std::u16string(99 - stamp.size(), u'p') + stamp + u".txt");
  EXPECT_EQ(rewritten.size(), NamePolicy::kJolietMaxUnits);
}

TEST(IsoNamesTest, NumberedNamesKeepTheNumberAndTheExtensionWhole) {
  const NamePolicy level1(NamePolicy::Space::kIsoLevel1);
  EXPECT_EQ(level1.Numbered(u"FILENAME.DAT", 12, false), u"FILEN_12.DAT");
  EXPECT_EQ(level1.Numbered(u"A.", 3, false), u"A_3.");
  EXPECT_EQ(level1.Numbered(u"DIRECTOR", 100, true), u"DIRE_100");
  const NamePolicy joliet(NamePolicy::Space::kJoliet);
  EXPECT_EQ(joliet.Numbered(u"photo.jpg", 2, false), u"photo_2.jpg");
}

TEST(IsoNamesTest, RecordOrderComparesPaddedNamesThenExtensions) {
  EXPECT_TRUE(NamePolicy::Less(u"A.TXT", u"AB.TXT"));
  EXPECT_TRUE(NamePolicy::Less(u"AB.", u"AB.TXT"));
  EXPECT_TRUE(NamePolicy::Less(u"A.", u"A_."));  // the shorter name is padded with spaces
  EXPECT_FALSE(NamePolicy::Less(u"B", u"A.Z"));
}

}  // namespace
