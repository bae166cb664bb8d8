// Test entry point: points $GAML2KOV_HOME at a fresh folder before any test
// runs and removes it afterwards.
//
// With --each-in-own-process=K/N the program runs every N-th of its tests,
// from the K-th on, each in a child forked before any test ran and with its
// own home folder: the isolation of one process per test at the cost of a
// fork, not of a program start. The sanitized build uses it under emulation,
// where starting a sanitized program takes seconds.
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "support/test_home.h"

namespace {

int run_in_this_process() {
  const std::string home = testsupport::home();
  const int result = RUN_ALL_TESTS();
  std::error_code ignored;
  std::filesystem::remove_all(home, ignored);
  return result;
}

// Every test of the program; disabled ones stay out, as in a plain run.
std::vector<std::string> every_test() {
  std::vector<std::string> names;
  const testing::UnitTest& unit = *testing::UnitTest::GetInstance();
  for (int s = 0; s < unit.total_test_suite_count(); ++s) {
    const testing::TestSuite& suite = *unit.GetTestSuite(s);
    for (int t = 0; t < suite.total_test_count(); ++t) {
      const testing::TestInfo& test = *suite.GetTestInfo(t);
      const std::string name = std::string(suite.name()) + "." + test.name();
      if (name.find("DISABLED_") == std::string::npos) names.push_back(name);
    }
  }
  return names;
}

int run_each_in_own_process(unsigned shard, unsigned shards) {
  std::vector<std::string> names;
  const std::vector<std::string> all = every_test();
  for (size_t i = shard; i < all.size(); i += shards) names.push_back(all[i]);
  std::vector<std::string> failed;
  for (const std::string& name : names) {
    std::fflush(nullptr);
    const pid_t child = fork();
    if (child == 0) {
      GTEST_FLAG_SET(filter, name);
      GTEST_FLAG_SET(brief, true);
      _exit(run_in_this_process());
    }
    int status = 0;
    if (child < 0 || waitpid(child, &status, 0) != child || !WIFEXITED(status) || WEXITSTATUS(status) != 0) {
      failed.push_back(name);
      std::printf("[  FAILED  ] %s\n", name.c_str());
    }
  }
  std::printf("%zu passed, %zu failed\n", names.size() - failed.size(), failed.size());
  return failed.empty() && !all.empty() ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
  testing::InitGoogleTest(&argc, argv);
  const char* const option = "--each-in-own-process=";
  for (int i = 1; i < argc; ++i) {
    unsigned shard = 0, shards = 0;
    if (std::strncmp(argv[i], option, std::strlen(option)) == 0 &&
        std::sscanf(argv[i] + std::strlen(option), "%u/%u", &shard, &shards) == 2 && shard < shards)
      return run_each_in_own_process(shard, shards);
  }
  return run_in_this_process();
}
