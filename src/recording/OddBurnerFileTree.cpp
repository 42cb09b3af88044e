// The burn job's first stage: the disc is examined, an earlier session is
// continued when the disc allows it, the host fills the container, and the
// SDK's image tree is built from the container.

#include <cstring>
#include <string>
#include <unordered_map>
#include <vector>

#include "drives/DriveOpen.h"
#include "layout/ContainerCall.h"
#include "layout/FileSystemNameChecker.h"
#include "layout/StoredNode.h"
#include "orlet/MediaBurningResult.h"
#include "platform/OrletBases.h"
#include "platform/StarBurnSdk.h"
#include "recording/OddBurner.h"

namespace Orlet {

namespace {

// Room for each node name the SDK hands back, in bytes with the terminator.
// Names are UTF-8: a Joliet name of up to 103 UTF-16 units takes at most 309
// bytes, so 1024 holds every name the SDK makes, with room to spare.
constexpr uint32_t kNodeNameRoom = 1024;
// The disc-file-system record: byte 0 another file system (such as UDF),
// byte 1 Joliet, byte 2 ISO 9660.
constexpr std::size_t kOtherFileSystemByte = 0;
constexpr std::size_t kJolietByte = 1;
constexpr std::size_t kIso9660Byte = 2;
// Image file systems the stage chooses: ISO 9660 level 2 names alone, or
// ISO 9660 with Joliet.
constexpr uint32_t kIsoLevel2 = 2;
constexpr uint32_t kIsoJoliet = 3;
// Byte 0 of a track-information record is nonzero for a track that exists.
constexpr std::size_t kTrackValidByte = 0;

// Rewrites the name of a rejected-name record in place with the checker's
// rules: flag 0, an 8-bit ISO 9660 name; otherwise a 16-bit Joliet name. The
// 16-bit name sits at an odd offset, so it is rewritten in an aligned copy.
void RewriteRejectedName(FileSystemNameChecker& checker, uint8_t* record) {
  uint8_t* text = record + STARBURN_REJECTED_NAME_TEXT;
  if (record[STARBURN_REJECTED_NAME_FLAG] == 0) {
    char* name = reinterpret_cast<char*>(text);
    name[STARBURN_REJECTED_NAME_ROOM - 1] = '\0';  // never read past the room
    checker.MakeShortNameUnique(name, STARBURN_REJECTED_NAME_ROOM);
    return;
  }
  constexpr std::size_t kUnits = STARBURN_REJECTED_NAME_ROOM / sizeof(char16_t);
  char16_t name[kUnits];
  std::memcpy(name, text, sizeof name);
  name[kUnits - 1] = u'\0';
  checker.MakeLongNameUnique(name, kUnits);
  std::memcpy(text, name, sizeof name);
}

// The kids of one image directory by first name, for finding the image node
// of each imported entry of a container directory in constant time, and the
// imported kids by second (visible) name, for finding the one a new entry
// replaces. The kids are read in one pass on the first look-up and kept in
// step with the kids the walk adds afterwards (the SDK appends a new kid
// after the others), so a look-up answers what a scan of the kids in their
// order would: the first kid of that name. A kid taken out stays findable by
// first name: only an imported entry the host renamed still names it, and a
// file of those is not added again anyway. Lives for the walk through one
// directory.
class ImageKids {
 public:
  ImageKids(void* tree, void* directory) : tree(tree), directory(directory) {}

  // The first kid whose first name is firstName; null when none is.
  void* Find(const std::string& firstName) {
    Read();
    const auto found = byFirstName.find(firstName);
    return found == byFirstName.end() ? nullptr : found->second;
  }

  // The imported kid whose visible name is name, taken out of the image;
  // false when there is none or the SDK keeps it.
  bool RemoveImported(const std::string& name) {
    Read();
    const auto found = importedByName.find(name);
    if (found == importedByName.end()) return false;
    void* kid = found->second;
    char error[STARBURN_ERROR_TEXT_SIZE];
    if (StarBurn_ISO9660JolietFileTree_RemoveImported(tree, kid, error, sizeof error) !=
        STARBURN_OK) {
      return false;
    }
    importedByName.erase(found);
    return true;
  }

  // A kid the walk has just added to the directory.
  void Added(void* kid) {
    if (read) Note(kid, false);
  }

 private:
  // Before the walk adds anything, every kid is one of the imported session.
  void Read() {
    if (read) return;
    read = true;
    for (std::vector<char>* name : {&first, &second, &third}) name->resize(kNodeNameRoom);
    for (void* kid = StarBurn_ISO9660JolietFileTree_GetFirstKid(tree, directory); kid != nullptr;
         kid = StarBurn_ISO9660JolietFileTree_GetNextKid(tree, directory, kid)) {
      Note(kid, true);
    }
  }

  void Note(void* kid, bool imported) {
    first[0] = second[0] = third[0] = '\0';
    StarBurn_ISO9660JolietFileTree_GetNames(tree, kid, first.data(), second.data(), third.data(),
                                            kNodeNameRoom);
    byFirstName.emplace(first.data(), kid);  // an earlier kid of the name keeps it
    if (imported) importedByName.emplace(second.data(), kid);
  }

  void* tree;
  void* directory;
  bool read = false;
  std::unordered_map<std::string, void*> byFirstName;
  std::unordered_map<std::string, void*> importedByName;
  std::vector<char> first, second, third;  // GetNames' buffers, sized on the first read
};

}  // namespace

int OddBurner::PrepareFileTree(const DriveInfo& drive, const std::wstring& label) {
  observer->OnPrepareEvent(PrepareJobStarted, DetailNone);
  CloseDevice();
  StartStage();
  if (!HasOpenCall(drive.accessMethod)) return ResultInvalidArgument;
  // The disc is read with the drive shared, without notifications.
  if (OpenDrive(drive, &device, DriveOpenOptions(), &head) != STARBURN_OK) {
    observer->OnPrepareEvent(PrepareFailed, DetailOpenFailed);
    return ResultFailed;
  }
  uint32_t lastAddress = 0;
  if (StarBurn_CdvdBurnerGrabber_GetLastAddress(device, head.errorText, sizeof head.errorText,
                                                &head.systemError, &head.failure,
                                                &lastAddress) != STARBURN_OK) {
    CloseDevice();
    return ResultFailed;
  }
  if (container == nullptr) {
    container = new FileContainer();
  } else {
    container->RemoveAll();
  }
  const wchar_t letter = drive.driveLetter.empty() ? L'\0' : drive.driveLetter[0];
  const bool continuing = drive.usedBytes != 0 && drive.isBlank == 0;
  uint32_t imageFileSystem = kIsoJoliet;
  if (continuing) {
    uint8_t record[STARBURN_DISC_FILE_SYSTEM_SIZE] = {};
    if (StarBurn_CdvdBurnerGrabber_GetDiscFileSystem(device, head.errorText, sizeof head.errorText,
                                                     &head.systemError, &head.failure, record,
                                                     sizeof record) != STARBURN_OK) {
      CloseDevice();
      return ResultFailed;
    }
    if (record[kIso9660Byte] == 0) {
      CloseDevice();
      return record[kOtherFileSystemByte] != 0 ? ResultNotSupported : ResultFailed;
    }
    imageFileSystem = record[kJolietByte] != 0 ? kIsoJoliet : kIsoLevel2;
    container->AddRoot(drive.volumeLabel, letter);
  } else {
    container->AddRoot(label, letter);
  }
  container->SetImageFileSystem(static_cast<ImageFileSystem>(imageFileSystem));
  const int result = BuildImageTree(imageFileSystem, continuing);
  CloseDevice();
  return result;
}

int OddBurner::BuildImageTree(uint32_t imageFileSystem, bool continuing) {
  StartStage();
  observer->OnPrepareEvent(PrepareTreeStarted, DetailNone);
  if (imageTree != nullptr) StarBurn_Destroy(&imageTree);
  imageTree = nullptr;
  uint8_t lastTrack = 0;
  if (continuing) {
    uint8_t track[STARBURN_TRACK_INFORMATION_SIZE] = {};
    if (StarBurn_CdvdBurnerGrabber_GetLastTrack(device, head.errorText, sizeof head.errorText,
                                                &head.systemError, &head.failure,
                                                &lastTrack) != STARBURN_OK ||
        StarBurn_CdvdBurnerGrabber_GetTrackInformation(
            device, head.errorText, sizeof head.errorText, &head.systemError, &head.failure,
            lastTrack, track, sizeof track) != STARBURN_OK ||
        track[kTrackValidByte] == 0) {
      observer->OnPrepareEvent(PrepareFailed, DetailSessionImportFailed);
      return ResultFailed;
    }
  }
  const uint8_t level2Names = imageFileSystem == kIsoLevel2 ? 1 : 0;
  const uint32_t joliet = imageFileSystem == kIsoJoliet ? 1 : 0;
  if (StarBurn_ISO9660JolietFileTree_Create(&imageTree, head.errorText, sizeof head.errorText,
                                            &head.systemError, OnTreeNotification, this, 1, 0,
                                            level2Names, joliet) != STARBURN_OK) {
    imageTree = nullptr;
    observer->OnPrepareEvent(PrepareFailed, DetailTreeCreateFailed);
    return ResultFailed;
  }
  bool imported = false;
  if (continuing && observer->OnAskImportSession() != 0) {
    if (StarBurn_ISO9660JolietFileTree_ImportTrack(
            device, imageTree, lastTrack, static_cast<uint8_t>(joliet), head.errorText,
            sizeof head.errorText, &head.systemError) != STARBURN_OK) {
      observer->OnPrepareEvent(PrepareFailed, DetailSessionImportFailed);
      return ResultFailed;
    }
    imported = true;
  }
  void* sdkRoot = StarBurn_ISO9660JolietFileTree_GetRoot(imageTree);
  if (imported) {
    // The earlier session's entries go into the container as one call: no
    // host code runs between them, so the container's name checks stay
    // constant-time however many entries a folder of the session holds.
    const ContainerCall call;
    ImportSessionNodes(sdkRoot, container->GetRoot());
  }
  if (Cancelled()) return ResultCancelled;
  if (observer->OnFillContainer(container) == 0) {
    observer->OnPrepareEvent(PrepareHostDeclined, DetailNone);
    CloseDevice();
    return ResultCancelled;
  }
  uint32_t walkResult = STARBURN_OK;
  AddContainerNodes(container->GetRoot(), sdkRoot, &walkResult);
  if (Cancelled()) return ResultCancelled;
  if (walkResult != STARBURN_OK) {
    // An entry the image lacks would be missing silently from a disc the host
    // was told was written: the job ends instead.
    observer->OnPrepareEvent(PrepareFailed, DetailTreeEntryNotAdded);
    return ResultFailed;
  }
  return ResultOk;
}

void OddBurner::ImportSessionNodes(void* sdkNode, FileContainer::Node* directory) {
  std::vector<char> first(kNodeNameRoom), second(kNodeNameRoom), third(kNodeNameRoom);
  for (void* kid = StarBurn_ISO9660JolietFileTree_GetFirstKid(imageTree, sdkNode); kid != nullptr;
       kid = StarBurn_ISO9660JolietFileTree_GetNextKid(imageTree, sdkNode, kid)) {
    first[0] = second[0] = third[0] = '\0';
    StarBurn_ISO9660JolietFileTree_GetNames(imageTree, kid, first.data(), second.data(),
                                            third.data(), kNodeNameRoom);
    const uint32_t attributes = StarBurn_ISO9660JolietFileTree_GetAttributes(imageTree, kid);
    const std::wstring identity = FromSdkText(first.data());
    const std::wstring name = FromSdkText(second.data());
    if ((attributes & STARBURN_NODE_DIRECTORY) != 0) {
      FileContainer::Node* made = nullptr;
      if (container->CreateDir(name, directory, &made) == ResultOk) {
        made->sourcePath = identity;
        made->imported = 1;
        ImportSessionNodes(kid, made);
      }
    } else {
      uint32_t high = 0;
      const uint32_t low =
          StarBurn_ISO9660JolietFileTree_GetNodePowerInUCHARs(imageTree, kid, &high);
      const uint64_t size = (uint64_t{high} << 32) | low;
      FileContainer::Node* made = nullptr;
      container->ImportFile(identity, name, size, directory, &made);  // a clash leaves it out
    }
  }
}

void OddBurner::AddContainerNodes(FileContainer::Node* directory, void* sdkNode,
                                  uint32_t* walkResult) {
  ImageKids kids(imageTree, sdkNode);
  for (FileContainer::Node* child : directory->children) {
    void* childSdkNode = nullptr;
    if (child->imported != 0) {
      childSdkNode = kids.Find(ToSdkText(child->sourcePath));
    } else {
      const bool isFile = child->type == 0;
      const std::string source = ToSdkText(child->sourcePath);
      const std::string name = ToSdkText(child->name);
      // A new entry that bears an imported entry's name replaces it in the
      // new session: the container refuses a name that is taken, so the host
      // removed (or renamed) the imported entry to put its own in its place.
      // The earlier sessions keep the old one.
      kids.RemoveImported(name);
      void* parent = sdkNode;
      // A file whose status the folder walk kept goes in with it, so the SDK
      // does not ask the file system again; the image build checks it still
      // holds before anything is written.
      const int64_t modified = StoredNode::Of(*child).modified;
      if (isFile && modified != StoredNode::kNoStatus) {
        *walkResult = StarBurn_ISO9660JolietFileTree_AddFileWithStatus(
            imageTree, head.errorText, sizeof head.errorText, &head.systemError, source.c_str(),
            name.c_str(), child->size, modified, &parent, &childSdkNode);
      } else {
        *walkResult = StarBurn_ISO9660JolietFileTree_Add(
            imageTree, head.errorText, sizeof head.errorText, &head.systemError,
            isFile ? source.c_str() : nullptr, name.c_str(),
            isFile ? STARBURN_ADD_FILE : STARBURN_ADD_DIRECTORY, &parent, &childSdkNode);
      }
      if (*walkResult == STARBURN_OK && childSdkNode != nullptr) kids.Added(childSdkNode);
    }
    // An imported directory whose image node is not found again (its source
    // path was changed) has no place in the image for what lies below it:
    // that fails the walk rather than leave the host's entries out.
    if (child->imported != 0 && child->type == 1 && childSdkNode == nullptr) {
      *walkResult = STARBURN_STATUS_NOT_FOUND;
    }
    if (*walkResult != STARBURN_OK || Cancelled()) return;
    if (child->type == 1) {
      AddContainerNodes(child, childSdkNode, walkResult);
      if (*walkResult != STARBURN_OK || Cancelled()) return;
    }
  }
}

void OddBurner::OnTreeNotification(uint32_t notification, void* context, void* special1,
                                   void* /*special2*/) {
  auto* burner = static_cast<OddBurner*>(context);
  if (burner == nullptr || special1 == nullptr) return;
  switch (notification) {
    case STARBURN_NOTIFY_TREE_TEXT_0:
      if (burner->observer != nullptr) {
        burner->observer->OnTreeNameKind0(FromSdkText(static_cast<const char*>(special1)));
      }
      break;
    case STARBURN_NOTIFY_TREE_TEXT_2:
      if (burner->observer != nullptr) {
        burner->observer->OnTreeNameKind2(FromSdkText(static_cast<const char*>(special1)));
      }
      break;
    case STARBURN_NOTIFY_NAME_REJECTED: {
      auto* record = static_cast<uint8_t*>(special1);
      FileSystemNameChecker checker(1);
      RewriteRejectedName(checker, record);
      const uint32_t action = STARBURN_REJECTED_NAME_USE_REWRITTEN;
      std::memcpy(record + STARBURN_REJECTED_NAME_ACTION, &action, sizeof action);
      break;
    }
    default:
      break;
  }
}

}  // namespace Orlet
