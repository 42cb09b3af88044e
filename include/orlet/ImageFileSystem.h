#pragma once

#include <cstdint>

namespace Orlet {

/// The file system of the image a container is laid out for. A container stores
/// any value unchecked; each adding operation reads it when it runs.
enum ImageFileSystem : int32_t {
  /// Nothing chosen yet (a new container): CreateDir answers ResultFailed;
  /// NewDir and file import answer ResultNotSupported. Not recordable.
  ImageFileSystemNone = 0,
  /// ISO 9660 with level-1 names alone. CreateDir refuses a name of more than
  /// eight path elements (ResultPathTooDeep): ISO 9660 allows eight levels.
  ImageFileSystemIso9660 = 1,
  /// ISO 9660 with level-2 names (up to 31 characters), without Joliet.
  ImageFileSystemIso9660Level2 = 2,
  /// Joliet names beside ISO 9660 level-1 names.
  ImageFileSystemJoliet = 3,
  /// A layout in which each directory takes two blocks of its own (a file
  /// entry and its data, as UDF lays directories out). Directories can be
  /// made and count two blocks each; files cannot be added and no recording
  /// accepts it. Every other value behaves the same, except that directories
  /// count no blocks.
  ImageFileSystemUdf = 4,
};

}  // namespace Orlet
