#pragma once

/// Symbols of the media-burning library that a host may use. The library is built
/// with hidden visibility; only declarations marked ORLET_API are exported, the way
/// a DLL exports what its interface names.
#if defined(ORLET_MEDIA_BURNING_BUILD)
#define ORLET_API __attribute__((visibility("default")))
#else
#define ORLET_API
#endif
