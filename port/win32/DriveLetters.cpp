// Drive types, device targets and volume labels from the SDK's registry, on
// every platform: the registry lists the virtual drives and the machine's own
// under the letters it gave them.

#include <cctype>
#include <cstring>

#include "platform/OrletBases.h"
#include "platform/Win32.h"
#include "starburn/StarBurn.h"

namespace {

// Room for a device target ("\Device\CdRom<n>").
constexpr uint32_t kTargetRoom = 260;
// Room for a volume label: a Joliet label is 16 UCS-2 characters, an ISO 9660
// label 32; 260 leaves room for any reader.
constexpr uint32_t kLabelRoom = 260;

// The letter of "E:", "E:\" or "e:"; 0 when the text is not such a name.
char LetterOf(const char* name) {
  if (name == nullptr || !std::isalpha(static_cast<unsigned char>(name[0])) || name[1] != ':') {
    return 0;
  }
  if (name[2] != '\0' && !(name[2] == '\\' && name[3] == '\0')) return 0;
  return static_cast<char>(std::toupper(static_cast<unsigned char>(name[0])));
}

}  // namespace

namespace win32 {

unsigned GetDriveTypeA(const char* rootPath) {
  const char letter = LetterOf(rootPath);
  char target[kTargetRoom];
  if (letter == 0 ||
      StarBurn_GetDeviceTargetByLetter(letter, target, sizeof target) != STARBURN_OK) {
    return kDriveNoRootDir;
  }
  return kDriveCdrom;
}

DWORD QueryDosDeviceA(const char* deviceName, char* targetPath, DWORD max) {
  const char letter = LetterOf(deviceName);
  char target[kTargetRoom];
  if (letter == 0 || targetPath == nullptr ||
      StarBurn_GetDeviceTargetByLetter(letter, target, sizeof target) != STARBURN_OK) {
    return 0;
  }
  const std::size_t length = std::strlen(target);
  if (length + 2 > max) return 0;  // the target, its terminator and the list's end
  std::memcpy(targetPath, target, length + 1);
  targetPath[length + 1] = '\0';
  return static_cast<DWORD>(length + 2);
}

BOOL GetVolumeInformationW(const wchar_t* rootPath, wchar_t* label, DWORD labelSize,
                           DWORD* serialNumber, DWORD* maxComponentLength, DWORD* flags,
                           wchar_t* fileSystemName, DWORD fileSystemNameSize) {
  if (rootPath == nullptr || label == nullptr || labelSize == 0) return 0;
  if (serialNumber != nullptr || maxComponentLength != nullptr || flags != nullptr ||
      fileSystemName != nullptr || fileSystemNameSize != 0) {
    return 0;
  }
  const std::string root = Orlet::tcs_to_mbs(rootPath);
  const char letter = LetterOf(root.c_str());
  StarBurnWChar text[kLabelRoom] = {};
  if (letter == 0 || StarBurn_GetVolumeLabelByLetter(letter, text, kLabelRoom) != STARBURN_OK) {
    return 0;
  }
  // UTF-16 to the library's wide text: as it is where wide characters are
  // 16-bit units (Windows); elsewhere a surrogate pair becomes one character.
  std::wstring wide;
  for (uint32_t i = 0; i < kLabelRoom && text[i] != 0; ++i) {
    uint32_t unit = text[i];
    if (sizeof(wchar_t) > 2 && unit >= 0xD800 && unit <= 0xDBFF && i + 1 < kLabelRoom &&
        text[i + 1] >= 0xDC00 && text[i + 1] <= 0xDFFF) {
      unit = 0x10000 + ((unit - 0xD800) << 10) + (text[i + 1] - 0xDC00);
      ++i;
    }
    wide.push_back(static_cast<wchar_t>(unit));
  }
  if (wide.size() + 1 > labelSize) return 0;
  wide.copy(label, wide.size());
  label[wide.size()] = L'\0';
  return 1;
}

}  // namespace win32
