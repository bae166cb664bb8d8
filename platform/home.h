// The emulated machine: every file the Windows services would keep in a
// system place lives under one folder, $GAML2KOV_HOME (default ~/.gaml2kov).
//   registry/          the registry store, one file per hive
//   windows/           the Windows directory: WIN.INI and INI files named without a folder
//   windows/system/    modules loaded by bare name ("talvo_cr.dll" is talvo_cr.so here)
//   drive_x/           what a path beginning with "X:" names
#pragma once
#include <string>

namespace platform {

// The home folder, read from the environment on every call so that a test
// can point it elsewhere.
std::string home_folder();

// A folder under the home, created on first use.
std::string home_subfolder(const std::string& name);

// A Windows path as a path of this machine: both separators are accepted,
// "X:" resolves under the home folder's drive_x/, a POSIX path stays as it is.
std::string native_path(const char* windows_path);

// The file-name part of a path, after the last separator of either kind.
std::string base_name(const std::string& path);

// Lower-case copy for names compared without regard to case.
std::string lower_case(const std::string& text);

}  // namespace platform
