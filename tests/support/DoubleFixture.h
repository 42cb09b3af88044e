#pragma once

#include <gtest/gtest.h>

#include "support/SdkDouble.h"

namespace support {

// A test that starts from a clean double: no script, no drives, no journal.
class DoubleTest : public ::testing::Test {
 protected:
  void SetUp() override { Double().Reset(); }
  void TearDown() override { Double().Reset(); }
  static sdkdouble::SdkDouble& Double() { return sdkdouble::SdkDouble::Get(); }
};

}  // namespace support
