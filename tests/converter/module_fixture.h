// The server module started in the test's own process, as loading the
// shared module starts it, under an instance whose path the test chooses.
#pragma once
#include <string>

#include <gtest/gtest.h>

#include "converter/module.h"
#include "support/test_home.h"

namespace convertertest {

// An instance named by a path, as the loader gives a module its own.
inline HINSTANCE instance_at(const std::string& path) { return platform::register_builtin_module(path.c_str(), nullptr, 0); }

// Where the server under test is attached as a built-in module. Built-in
// modules answer to their base name from any folder and stay for the
// process, so it must not be the base name of the built server, which later
// tests of the same process load as a host does.
inline std::string attached_server_path() { return testsupport::home() + "/server/attached_server.so"; }

class AttachedModule : public testing::Test {
 protected:
  void SetUp() override {
    module_path_ = attached_server_path();
    instance_ = instance_at(module_path_);
    ASSERT_EQ(converter::DllMain(instance_, DLL_PROCESS_ATTACH, nullptr), TRUE);
  }
  void TearDown() override { converter::DllMain(instance_, DLL_PROCESS_DETACH, nullptr); }

  std::string module_path_;
  HINSTANCE instance_ = nullptr;
};

}  // namespace convertertest
