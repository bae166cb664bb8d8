// The emulated machine of a test: every test process gets a fresh
// $GAML2KOV_HOME, so registry hives, INI files and drive folders of one test
// never leak into another.
#pragma once
#include <string>

namespace testsupport {

// The folder $GAML2KOV_HOME points at for this process.
const std::string& home();

// Writes a whole file under the home folder (creating its folders) and returns its path.
std::string write_file(const std::string& relative_path, const std::string& bytes);

// Reads a whole file; empty when it does not exist.
std::string read_file(const std::string& path);

bool file_exists(const std::string& path);

}  // namespace testsupport
