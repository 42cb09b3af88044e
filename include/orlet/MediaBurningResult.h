#pragma once

namespace Orlet {

/// Result codes of every operation of the library that can fail. 0 is success.
/// Codes 1 to 138 are general conditions; 2102 to 2107 are refusals that depend
/// on the inserted disc or on the limits of the image file system.
enum MediaBurningResult : int {
  ResultOk = 0,
  /// The worker thread could not be started (Burn, threaded drive search).
  ResultThreadFailed = 1,
  /// CreateMediaBurning could not make the service object.
  ResultCreateFailed = 102,
  /// An argument or its target is unusable: unreadable drive information, a
  /// missing or non-directory parent node, an empty name, access method 0, ...
  ResultInvalidArgument = 104,
  /// An operation failed: SDK start-up, an SDK drive or disc call of a burn or
  /// an erase, a file above 4 GiB, a nesting check without image file system.
  ResultFailed = 105,
  /// An entry of that name already exists in the target directory.
  ResultAlreadyExists = 115,
  /// Already running: the eraser, or the drive finder's search thread.
  ResultBusy = 120,
  /// The source path given to AddItem does not exist or cannot be examined.
  ResultSourceNotFound = 121,
  /// The SDK is not started (Initialize has not succeeded).
  ResultNotStarted = 122,
  /// Not possible in this configuration: the drive cannot write the disc, the
  /// image file system is not 1, 2 or 3, the drive access layer is missing, the
  /// disc's file system cannot be imported.
  ResultNotSupported = 127,
  /// Cancelled by the host (observer answer or Cancel).
  ResultCancelled = 137,
  /// Erase was called while no erase observer is set.
  ResultNoObserver = 138,
  /// Burn refused: no disc in the drive.
  ResultNoDisc = 2102,
  /// Erase refused: the disc is already blank.
  ResultDiscBlank = 2104,
  /// Burn refused: rewritable disc, not blank, and the force flag is 0.
  ResultDiscNotBlank = 2105,
  /// Erase refused: the drive information says the disc cannot be erased.
  ResultDiscNotErasable = 2106,
  /// CreateDir: the directory name has more path elements than image file
  /// system 1 allows.
  ResultPathTooDeep = 2107,
};

}  // namespace Orlet
