// The library as a host links it: the shipped shared libraries and the real SDK.

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <string>

#include "orlet/MediaBurning.h"

namespace {

TEST(HostTest, HostStartsAndStopsTheServiceThroughTheSharedLibrary) {
  Orlet::MediaBurning* service = nullptr;
  ASSERT_EQ(Orlet::CreateMediaBurning(service), Orlet::ResultOk);
  EXPECT_EQ(service->Initialize(), Orlet::ResultOk);
  service->StartDriveSearch(0, 0);
  Orlet::DriveInfo info;
  EXPECT_EQ(service->GetDriveInfo(service->GetDriveCount(), info), Orlet::ResultInvalidArgument);
  service->Uninitialize();
  EXPECT_EQ(service->GetDriveInfo(0, info), Orlet::ResultNotStarted);
  EXPECT_EQ(Orlet::DestroyMediaBurning(service), Orlet::ResultOk);
}

struct CountingObserver : Orlet::FileContainerObserver {
  int OnAddItem() override { return ++asked; }
  void OnAddFileFailed(const std::wstring&, int) override { ++failed; }
  int asked = 0;
  int failed = 0;
};

TEST(HostTest, HostFillsAContainerFromDisk) {
  std::string pattern = (std::filesystem::temp_directory_path() / "orlet-host-XXXXXX").string();
  ASSERT_NE(mkdtemp(pattern.data()), nullptr);
  std::filesystem::create_directories(pattern + "/album/2009");
  std::ofstream(pattern + "/album/2009/a.jpg") << std::string(3000, 'a');
  {
    Orlet::FileContainer container;  // made, filled and freed by host code
    container.SetImageFileSystem(Orlet::ImageFileSystemJoliet);
    Orlet::FileContainer::Node* root = container.AddRoot(L"Label", L'D');
    CountingObserver observer;
    const std::wstring album(pattern.begin(), pattern.end());
    EXPECT_EQ(container.AddItem(album + L"/album", root, nullptr, &observer), Orlet::ResultOk);
    EXPECT_EQ(observer.asked, 3);
    EXPECT_EQ(observer.failed, 0);
    EXPECT_EQ(container.GetDirCounts(), 2u);
    EXPECT_EQ(container.GetFileCounts(), 1u);
    EXPECT_EQ(container.GetTotalSize(), 4096u);
    EXPECT_EQ(root->children.front()->children.front()->children.front()->size, 3000u);
  }
  std::filesystem::remove_all(pattern);
}

}  // namespace
