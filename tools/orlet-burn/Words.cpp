#include "Words.h"

#include <orlet/MediaBurning.h>

namespace orletburn {

namespace {

std::string DetailWords(int detail) {
  switch (detail) {
    case Orlet::DetailNone:
      return "";
    case Orlet::DetailOpenFailed:
      return "the drive could not be opened";
    case Orlet::DetailNotReady:
      return "the drive is not ready";
    case Orlet::DetailBadImageFileSystem:
      return "the image file system is not usable";
    case Orlet::DetailBlankRejected:
      return "the disc refused to be blanked";
    case Orlet::DetailBlankCommandFailed:
      return "the drive failed to blank the disc";
    case Orlet::DetailBlankCancelled:
      return "blanking was aborted";
    case Orlet::DetailTreeCreateFailed:
      return "the image tree could not be made";
    case Orlet::DetailSessionImportFailed:
      return "the disc's earlier session could not be read";
    case Orlet::DetailTreeEntryNotAdded:
      return "an entry could not be put into the image";
    case Orlet::DetailBupReadFailed:
      return "buffer-underrun protection could not be read";
    case Orlet::DetailBupSetFailed:
      return "buffer-underrun protection could not be switched on";
    case Orlet::DetailSetSpeedFailed:
      return "the write speed could not be set";
    case Orlet::DetailReadSpeedsFailed:
      return "the drive's speeds could not be read";
    case Orlet::DetailBuildImageFailed:
      return "the image could not be built";
    default:
      return "detail " + std::to_string(detail);
  }
}

std::string Failure(const char* what, int detail) {
  return detail == Orlet::DetailNone ? what : std::string(what) + ": " + DetailWords(detail);
}

}  // namespace

std::string ResultWords(int code) {
  switch (code) {
    case Orlet::ResultOk:
      return "done";
    case Orlet::ResultThreadFailed:
      return "a burn is already running (or its thread did not start)";
    case Orlet::ResultCreateFailed:
      return "the burning service could not be created";
    case Orlet::ResultInvalidArgument:
      return "no such drive, or its information cannot be read";
    case Orlet::ResultFailed:
      return "the drive or the disc failed";
    case Orlet::ResultAlreadyExists:
      return "an entry of that name is already there";
    case Orlet::ResultBusy:
      return "the drive is busy with another erase";
    case Orlet::ResultSourceNotFound:
      return "no such file or folder";
    case Orlet::ResultNotStarted:
      return "the burning SDK is not started";
    case Orlet::ResultNotSupported:
      return "the drive cannot write this disc";
    case Orlet::ResultCancelled:
      return "cancelled";
    case Orlet::ResultNoObserver:
      return "no erase observer";
    case Orlet::ResultNoDisc:
      return "no disc in the drive";
    case Orlet::ResultDiscBlank:
      return "the disc is already blank";
    case Orlet::ResultDiscNotBlank:
      return "the rewritable disc holds data: --force appends a session that keeps its files "
             "(with --no-import, one that leaves them out); erase empties it";
    case Orlet::ResultDiscNotErasable:
      return "the disc cannot be erased";
    case Orlet::ResultPathTooDeep:
      return "the folder nesting is too deep for the image";
    default:
      return "error";
  }
}

std::string PrepareWords(int event, int detail) {
  switch (event) {
    case Orlet::PrepareJobStarted:
      return "examining the disc";
    case Orlet::PrepareTreeStarted:
      return "building the file tree";
    case Orlet::PrepareHostDeclined:
      return "stopped while choosing the files";
    case Orlet::PrepareFailed:
      return Failure("preparing failed", detail);
    case Orlet::PrepareImageReady:
      return "image ready; writing";
    default:
      return "prepare event " + std::to_string(event);
  }
}

std::string BurnWords(int event, int detail) {
  switch (event) {
    case Orlet::BurnRecorderStarted:
      return "preparing the recorder";
    case Orlet::BurnCancelled:
      return "the write was cancelled";
    case Orlet::BurnFailed:
      return Failure("the burn failed", detail);
    case Orlet::BurnFinished:
      return "recorded; session closed, disc ejected";
    default:
      return "burn event " + std::to_string(event);
  }
}

std::string EraseWords(int event, int detail, bool jobStarted) {
  switch (event) {
    case Orlet::EraseJobStarted:
      return "opening the drive";
    case Orlet::EraseBlankStarted:
      return "erasing";
    case Orlet::EraseBlankCompleted:
      return "erased";
    case Orlet::EraseFailed:
      return !jobStarted ? "the erase was refused" : Failure("the erase failed", detail);
    case Orlet::EraseEjecting:
      return "ejecting the disc";
    case Orlet::EraseEjectFailed:
      return "ejecting failed";
    case Orlet::EraseReloading:
      return "loading the disc again";
    case Orlet::EraseReloadFailed:
      return "loading the disc again failed";
    case Orlet::EraseJobFinished:
      return "finished";
    default:
      return "erase event " + std::to_string(event);
  }
}

}  // namespace orletburn
