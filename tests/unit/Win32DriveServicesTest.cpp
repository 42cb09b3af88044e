// The Windows stand-in's drive and text services, answering from the
// SDK's device registry as the double scripts it, in the ways the library
// calls them.

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <string>

#include "platform/OrletBases.h"
#include "platform/Win32.h"
#include "support/DoubleFixture.h"

namespace {

class Win32DriveServicesTest : public support::DoubleTest {};

TEST_F(Win32DriveServicesTest, DriveTypeIsCdromOnlyForALetterOfTheRegistry) {
  support::AddNamedDrive("CdRom0", 'E');
  for (const char* root : {"E:", "E:\\", "e:"})
    EXPECT_EQ(win32::GetDriveTypeA(root), win32::kDriveCdrom) << root;
  for (const char* other : {"F:", "E", "EE:", "E:x", "E:\\x", ":", ""}) {
    EXPECT_EQ(win32::GetDriveTypeA(other), win32::kDriveNoRootDir) << other;
  }
  EXPECT_EQ(win32::GetDriveTypeA(nullptr), win32::kDriveNoRootDir);
}

TEST_F(Win32DriveServicesTest, VolumeLabelComesFromTheDiscInTheLettersDrive) {
  sdkdouble::FakeDrive& drive = support::AddNamedDrive("CdRom0", 'E');
  drive.volumeLabel = u"Holiday \U0001F600";  // a character outside the 16-bit plane
  support::AddNamedDrive("CdRom1", 'F');      // no readable session
  wchar_t label[260];
  ASSERT_NE(
      win32::GetVolumeInformationW(L"E:\\", label, 260, nullptr, nullptr, nullptr, nullptr, 0), 0);
  EXPECT_EQ(std::wstring(label), L"Holiday \U0001F600");
  EXPECT_EQ(
      win32::GetVolumeInformationW(L"F:\\", label, 260, nullptr, nullptr, nullptr, nullptr, 0), 0);
  EXPECT_EQ(
      win32::GetVolumeInformationW(L"G:\\", label, 260, nullptr, nullptr, nullptr, nullptr, 0), 0);
}

TEST_F(Win32DriveServicesTest, MultiByteToWideCharWritesUtf16WithinItsRoom) {
  char16_t wide[8];
  std::fill(std::begin(wide), std::end(wide), u'#');
  ASSERT_EQ(win32::MultiByteToWideChar(0, 0, "CdRom0", 6, wide, 8), 6);
  EXPECT_EQ(std::u16string(wide, 7), u"CdRom0#");  // no terminator of its own

  // Too small a room: nothing.
  EXPECT_EQ(win32::MultiByteToWideChar(0, 0, "CdRom0", 6, wide, 5), 0);

  // UTF-8 text (the stand-in reads UTF-8 whatever the code page); a character
  // above U+FFFF takes two units.
  constexpr unsigned kUtf8 = 65001;  // CP_UTF8
  ASSERT_EQ(win32::MultiByteToWideChar(kUtf8, 0, "\xC3\xA9\xF0\x9F\x98\x80", 6, wide, 8), 3);
  EXPECT_EQ(std::u16string(wide, 3), u"\u00E9\U0001F600");
}

}  // namespace
