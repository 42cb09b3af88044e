// Laying a built image out again at another start address: what the write
// call does when an earlier session left open is closed first.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "IsoTestSupport.h"
#include "common/Object.h"
#include "iso/ImageTree.h"
#include "iso/SessionReader.h"

namespace {

TEST(IsoRelocateTest, RelocatedImageReadsBackAtItsNewStartAndNotInsideImportedData) {
  isotest::TempDir dir;
  isotest::WriteFile(dir.path + "/old.txt", "old data");
  isotest::WriteFile(dir.path + "/new.txt", "new data, written later");
  {  // A first session at block 0.
    isotest::Tree first(0, 1);
    first.AddFile(first.Root(), dir.path + "/old.txt", "old.txt");
    ASSERT_EQ(first.Build(), STARBURN_OK) << first.error;
    ASSERT_EQ(first.Save(dir.path + "/disc.iso"), STARBURN_OK) << first.error;
  }
  isotest::FileReader firstReader(dir.path + "/disc.iso");
  void* device = starburn::HandleTable::Instance().Add(new isotest::DiscDouble(
      &firstReader, {{0, static_cast<uint32_t>(firstReader.BlockCount())}}));
  isotest::Tree second(0, 1);
  char error[STARBURN_ERROR_TEXT_SIZE];
  ASSERT_EQ(StarBurn_ISO9660JolietFileTree_ImportTrack(device, second.handle, 1, 1, error,
                                                       sizeof error, nullptr),
            STARBURN_OK)
      << error;
  StarBurn_Destroy(&device);
  second.AddFile(second.Root(), dir.path + "/new.txt", "new.txt");
  ASSERT_EQ(second.Build(100), STARBURN_OK) << second.error;

  auto* image = starburn::HandleTable::Instance().Find<starburn::ImageProvider>(second.handle);
  ASSERT_NE(image, nullptr);
  std::string why;
  EXPECT_EQ(image->Relocate(1, &why), STARBURN_STATUS_INVALID_ARGUMENT);  // inside the old data
  ASSERT_EQ(image->Relocate(7000, &why), STARBURN_OK) << why;
  ASSERT_EQ(second.Save(dir.path + "/disc.iso", /*atStart=*/true), STARBURN_OK) << second.error;

  isotest::FileReader reader(dir.path + "/disc.iso");
  std::vector<starburn::iso::ImportedEntry> entries;
  ASSERT_EQ(starburn::iso::ReadSession(reader, 7000, true, &entries, &why), STARBURN_OK) << why;
  std::vector<std::u16string> names;
  for (const auto& entry : entries) {
    if (!entry.directory) names.push_back(entry.name);
  }
  EXPECT_EQ(names, (std::vector<std::u16string>{u"new.txt", u"old.txt"}));
  for (const auto& entry : entries) {
    if (entry.name == u"new.txt") {
      EXPECT_GE(entry.extents.front().block, 7000u);
    } else if (entry.name == u"old.txt") {
      EXPECT_LT(entry.extents.front().block, 100u);
    }
  }
}

}  // namespace
