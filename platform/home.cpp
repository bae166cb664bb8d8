// The home folder of the emulated machine and the mapping of Windows paths.
#include "platform/home.h"

#include <sys/stat.h>

#include <cctype>
#include <cstdlib>

namespace platform {

namespace {
void make_folders(const std::string& path) {
  for (size_t slash = path.find('/', 1); slash != std::string::npos; slash = path.find('/', slash + 1))
    mkdir(path.substr(0, slash).c_str(), 0755);
  mkdir(path.c_str(), 0755);
}
}  // namespace

std::string home_folder() {
  if (const char* home = std::getenv("GAML2KOV_HOME"); home != nullptr && *home != '\0') return home;
  const char* user_home = std::getenv("HOME");
  return std::string(user_home != nullptr ? user_home : "/tmp") + "/.gaml2kov";
}

std::string home_subfolder(const std::string& name) {
  std::string folder = home_folder() + "/" + name;
  make_folders(folder);
  return folder;
}

std::string native_path(const char* windows_path) {
  if (windows_path == nullptr) return std::string();
  std::string path(windows_path);
  for (char& c : path) {
    if (c == '\\') c = '/';
  }
  if (path.size() >= 2 && path[1] == ':' && std::isalpha(static_cast<unsigned char>(path[0]))) {
    const char drive = static_cast<char>(std::tolower(static_cast<unsigned char>(path[0])));
    std::string rest = path.substr(2);
    if (!rest.empty() && rest[0] != '/') rest = "/" + rest;
    return home_subfolder(std::string("drive_") + drive) + rest;
  }
  return path;
}

std::string base_name(const std::string& path) {
  const size_t separator = path.find_last_of("/\\");
  return separator == std::string::npos ? path : path.substr(separator + 1);
}

std::string lower_case(const std::string& text) {
  std::string lower(text);
  for (char& c : lower) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return lower;
}

}  // namespace platform
