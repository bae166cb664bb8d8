// The file into which a fuzz target writes each input before the code under
// test opens it by its path: one per fuzzing process, in the temporary
// folder, removed when the process ends.
#pragma once
#include <filesystem>
#include <random>
#include <string>

namespace fuzz {

class InputFile {
 public:
  InputFile(const std::string& stem, const std::string& extension) {
    std::random_device random;
    path_ = (std::filesystem::temp_directory_path() / (stem + "_" + std::to_string(random()) + extension)).string();
  }
  ~InputFile() {
    std::error_code ignored;
    std::filesystem::remove(path_, ignored);
  }
  InputFile(const InputFile&) = delete;
  InputFile& operator=(const InputFile&) = delete;
  const std::string& path() const { return path_; }

 private:
  std::string path_;
};

}  // namespace fuzz
