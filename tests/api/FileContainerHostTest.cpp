// The file container as a host links it from the shared library: made,
// filled from disk, read and freed by host code.

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include "orlet/MediaBurning.h"

namespace {

class CountingObserver : public Orlet::FileContainerObserver {
 public:
  int OnAddItem() override { return ++asked; }
  void OnAddFileFailed(const std::wstring&, int) override { ++failed; }
  int asked = 0;
  int failed = 0;
};

TEST(FileContainerHostTest, HostFillsAContainerFromDisk) {
  std::string pattern = (std::filesystem::temp_directory_path() / "orlet-host-XXXXXX").string();
  ASSERT_NE(mkdtemp(pattern.data()), nullptr);
  const std::filesystem::path dir = pattern;
  std::filesystem::create_directories(dir / "album" / "2009");
  std::ofstream(dir / "album" / "2009" / "a.jpg") << std::string(3000, 'a');

  {
    Orlet::FileContainer container;
    container.SetImageFileSystem(Orlet::ImageFileSystemJoliet);
    Orlet::FileContainer::Node* root = container.AddRoot(L"Label", L'D');
    CountingObserver observer;
    const std::string album = (dir / "album").string();
    Orlet::FileContainer::Node* made = nullptr;
    EXPECT_EQ(container.AddItem(std::wstring(album.begin(), album.end()), root, &made, &observer),
              Orlet::ResultOk);
    EXPECT_EQ(observer.asked, 3);
    EXPECT_EQ(observer.failed, 0);
    EXPECT_EQ(container.GetDirCounts(), 2u);
    EXPECT_EQ(container.GetFileCounts(), 1u);
    EXPECT_EQ(container.GetTotalSize(), 4096u);
    EXPECT_EQ(made->children.front()->children.front()->size, 3000u);
    Orlet::FileContainer::Node* extra = nullptr;
    EXPECT_EQ(container.NewDir(root, &extra), Orlet::ResultOk);
    EXPECT_EQ(extra->name, L"NewDir");
  }
  std::filesystem::remove_all(dir);
}

}  // namespace
