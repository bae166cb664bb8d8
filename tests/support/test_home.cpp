// Fresh $GAML2KOV_HOME per test process and small file helpers for fixtures.
#include "support/test_home.h"

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

namespace fs = std::filesystem;

namespace testsupport {

const std::string& home() {
  static const std::string folder = [] {
    std::string pattern = (fs::temp_directory_path() / "gaml2kov-test-XXXXXX").string();
    if (mkdtemp(pattern.data()) == nullptr) std::abort();
    setenv("GAML2KOV_HOME", pattern.c_str(), 1);
    return pattern;
  }();
  return folder;
}

std::string write_file(const std::string& relative_path, const std::string& bytes) {
  fs::path path = fs::path(home()) / relative_path;
  fs::create_directories(path.parent_path());
  std::ofstream(path, std::ios::binary) << bytes;
  return path.string();
}

std::string read_file(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream bytes;
  bytes << in.rdbuf();
  return bytes.str();
}

bool file_exists(const std::string& path) { return fs::exists(path); }

}  // namespace testsupport
