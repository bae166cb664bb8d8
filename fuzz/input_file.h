// The file into which a fuzz target writes each input before the code under
// test opens it by its path: one per fuzzing process, in the temporary
// folder, removed when the process ends.
#pragma once
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <fstream>
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
  // The file holds these bytes and nothing else.
  void write(const uint8_t* data, size_t size) const {
    std::ofstream file(path_, std::ios::binary | std::ios::trunc);
    file.write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
  }

 private:
  std::string path_;
};

}  // namespace fuzz
