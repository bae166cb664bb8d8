// Test entry point: points $GAML2KOV_HOME at a fresh folder before any test
// runs, empties it after each test and removes it at the end.
#include <filesystem>
#include <string>

#include <gtest/gtest.h>

#include "platform/registry.h"
#include "support/test_home.h"

namespace {

// When a program runs many tests, each still finds the home folder as empty
// as in a process of its own: no registry hive, INI file or output of an
// earlier test.
class EmptyHomeAfterEachTest : public testing::EmptyTestEventListener {
  void OnTestEnd(const testing::TestInfo&) override {
    std::error_code ignored;
    for (const auto& entry : std::filesystem::directory_iterator(testsupport::home(), ignored))
      std::filesystem::remove_all(entry.path(), ignored);
    platform::registry_drop_cache();
  }
};

}  // namespace

int main(int argc, char** argv) {
  testing::InitGoogleTest(&argc, argv);
  testing::UnitTest::GetInstance()->listeners().Append(new EmptyHomeAfterEachTest);
  const std::string home = testsupport::home();
  const int result = RUN_ALL_TESTS();
  std::error_code ignored;
  std::filesystem::remove_all(home, ignored);
  return result;
}
