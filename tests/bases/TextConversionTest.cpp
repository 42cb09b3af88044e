// Text conversions under the "C" locale and under a UTF-8 locale.

#include <gtest/gtest.h>

#include <locale>

#include "platform/OrletBases.h"

namespace {

const std::string kUtf8 = "caf\xC3\xA9 \xE6\x97\xA5\xE6\x9C\xAC \xF0\x9F\x98\x80";  // café 日本 😀
const std::wstring kWide = L"caf\u00e9 \u65e5\u672c \U0001F600";

TEST(TextConversionTest, ClassicLocaleConvertsAsUtf8) {
  const std::locale classic = std::locale::classic();
  EXPECT_EQ(Orlet::mbs_to_tcs(kUtf8, classic), kWide);
  EXPECT_EQ(Orlet::tcs_to_mbs(kWide, classic), kUtf8);
  EXPECT_EQ(Orlet::tcs_to_wcs(kWide), kWide);
  // The process's global locale is "C" here: the defaults behave the same.
  EXPECT_EQ(Orlet::mbs_to_tcs(kUtf8), kWide);
  EXPECT_EQ(Orlet::tcs_to_mbs(kWide), kUtf8);
}

TEST(TextConversionTest, BytesThatAreNotUtf8SurviveARoundTripWithoutCuttingTheName) {
  const std::string latin1 = "r\xE9sum\xE9.txt";  // résumé in ISO 8859-1
  const std::wstring wide = Orlet::mbs_to_tcs(latin1);
  EXPECT_EQ(wide.size(), latin1.size());
  EXPECT_EQ(wide.substr(wide.size() - 4), L".txt");
  EXPECT_EQ(Orlet::tcs_to_mbs(wide), latin1);
  // An overlong encoding and a cut sequence are not UTF-8 either.
  for (const std::string& bad : {std::string("\xC0\xAF"), std::string("ab\xE6\x97")}) {
    EXPECT_EQ(Orlet::tcs_to_mbs(Orlet::mbs_to_tcs(bad)), bad);
  }
  // A lone surrogate cannot be written as UTF-8: it becomes '?', the rest stays.
  EXPECT_EQ(Orlet::tcs_to_mbs(std::wstring(L"a") + wchar_t(0xD800) + L"b"), "a?b");
}

TEST(TextConversionTest, Utf8NamedLocaleConvertsTheSame) {
  std::locale utf8;
  try {
    utf8 = std::locale("C.UTF-8");
  } catch (const std::runtime_error&) {
    GTEST_SKIP() << "no C.UTF-8 locale on this machine";
  }
  EXPECT_EQ(Orlet::mbs_to_tcs(kUtf8, utf8), kWide);
  EXPECT_EQ(Orlet::tcs_to_mbs(kWide, utf8), kUtf8);
}

}  // namespace
