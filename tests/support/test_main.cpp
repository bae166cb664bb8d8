// Test entry point: points $GAML2KOV_HOME at a fresh folder before any test
// runs and removes it afterwards.
#include <filesystem>

#include <gtest/gtest.h>

#include "support/test_home.h"

int main(int argc, char** argv) {
  testing::InitGoogleTest(&argc, argv);
  const std::string home = testsupport::home();
  const int result = RUN_ALL_TESTS();
  std::error_code ignored;
  std::filesystem::remove_all(home, ignored);
  return result;
}
