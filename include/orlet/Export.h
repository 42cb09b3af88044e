#pragma once

/// Symbols of the media-burning library that a host may use. The library is built
/// with hidden visibility; only declarations marked ORLET_API are exported, the way
/// a DLL exports what its interface names (on Windows it is one:
/// OrletMediaBurning.dll).
#if defined(_WIN32) && defined(ORLET_MEDIA_BURNING_BUILD)
#define ORLET_API __declspec(dllexport)
#elif defined(_WIN32)
#define ORLET_API __declspec(dllimport)
#elif defined(ORLET_MEDIA_BURNING_BUILD)
#define ORLET_API __attribute__((visibility("default")))
#else
#define ORLET_API
#endif
