#pragma once

// The Windows kernel and runtime services the library calls, under the
// library's own namespace so that on Windows they sit beside the system's
// calls of the same names instead of replacing them (port/win32). Drive
// letters, device targets and volume labels come from the SDK's device
// registry on every platform: it holds the virtual drives and the machine's
// own, so that both are found alike. Module loading, text conversion and the
// clock are the system's on Windows and a small stand-in on Linux.

#include <cstdint>

namespace win32 {

using DWORD = uint32_t;
using BOOL = int;
using HMODULE = void*;
using __time64_t = int64_t;

// GetDriveTypeA answers.
constexpr unsigned kDriveNoRootDir = 1;
constexpr unsigned kDriveCdrom = 5;

// "E:" (or "E:\"): kDriveCdrom when the letter names an optical device of the
// registry, kDriveNoRootDir otherwise.
unsigned GetDriveTypeA(const char* rootPath);

// "E:": writes the device target ("\Device\CdRom0") and then an empty string
// (a double terminator) into targetPath; answers the characters written, 0 for
// an unknown letter or when max is too small.
DWORD QueryDosDeviceA(const char* deviceName, char* targetPath, DWORD max);

// "E:\": the volume label of the disc's last session into label (labelSize
// wide characters, terminated). Serial, component length, flags and file
// system name are not offered: their pointers must be null and fsNameSize 0.
// Nonzero on success; 0 without a disc or a readable session.
BOOL GetVolumeInformationW(const wchar_t* rootPath, wchar_t* label, DWORD labelSize,
                           DWORD* serialNumber, DWORD* maxComponentLength, DWORD* flags,
                           wchar_t* fileSystemName, DWORD fileSystemNameSize);

// Converts 8-bit text to UTF-16: in codePage on Windows, UTF-8 on Linux
// whatever codePage says. length -1: up to and with the terminator. wide null
// or wideSize 0: answers the units needed. Answers the units written, 0 when
// they do not fit.
int MultiByteToWideChar(unsigned codePage, DWORD flags, const char* text, int length,
                        char16_t* wide, int wideSize);

// The module at path (on Linux dlopen(RTLD_NOW | RTLD_LOCAL), backslashes
// read as '/').
HMODULE LoadLibraryW(const wchar_t* path);
void* GetProcAddress(HMODULE module, const char* name);
BOOL FreeLibrary(HMODULE module);

// The current time (or the fixed one, see FixClock).
__time64_t _time64(__time64_t* out);
// "Wed Jan 02 02:03:55 1980\n" in local time, in a per-thread buffer that the
// next call on the same thread overwrites; null for an unrepresentable time.
const char* _ctime64(const __time64_t* time);

// Tests fix the clock that _time64 answers; a negative value releases it.
void FixClock(__time64_t time);

// Tests watch the module loading: watch (null: nobody) is called with the path
// of every LoadLibraryW, as the caller gave it, before the module is loaded.
using ModuleLoadWatch = void (*)(const wchar_t* path);
void WatchModuleLoads(ModuleLoadWatch watch);

}  // namespace win32
