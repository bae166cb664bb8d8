// Shared set-up of the utility tests: modules with resources made in the
// test, and a fixture that returns every process-wide table and setting of
// the utilities to its state at load.
#pragma once
#include <deque>
#include <filesystem>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "platform/modules.h"
#include "platform/registry.h"
#include "platform/resources.h"
#include "support/test_home.h"
#include "util/util.h"

namespace utiltest {

struct Record {
  uint16_t number;
  std::string text;
  uint16_t extra;
};

// A STRGRP resource as the layout gives it: u16 number, text, terminator,
// u16 extra, little-endian, ended by the number 0xFFFF.
inline std::string strgrp(const std::vector<Record>& records) {
  std::string bytes;
  auto u16 = [&bytes](uint16_t value) {
    bytes += static_cast<char>(value & 0xFF);
    bytes += static_cast<char>(value >> 8);
  };
  for (const Record& record : records) {
    u16(record.number);
    bytes += record.text;
    bytes += '\0';
    u16(record.extra);
  }
  u16(0xFFFF);
  return bytes;
}

// A built-in module with a table of resources; tables and data live for the
// process, as a module's compiled-in resources do.
class ModuleBuilder {
 public:
  ModuleBuilder& group(uint16_t number, const std::vector<Record>& records) {
    return raw(GU4_STRGRP, MAKEINTRESOURCEA(number), strgrp(records));
  }
  ModuleBuilder& string(uint16_t id, const std::string& text) { return raw(RT_STRING, MAKEINTRESOURCEA(id), text); }
  ModuleBuilder& raw(LPCSTR type, LPCSTR name, const std::string& bytes) {
    data().push_back(bytes);
    entries_.push_back(platform::ResourceEntry{type, name, data().back().data(), static_cast<DWORD>(bytes.size())});
    return *this;
  }
  HMODULE install(const char* name) {
    tables().push_back(entries_);
    HMODULE module = platform::register_builtin_module(name, nullptr, 0);
    platform::register_module_resources(module, tables().back().data(), tables().back().size());
    return module;
  }

 private:
  static std::deque<std::string>& data() {
    static std::deque<std::string> all;
    return all;
  }
  static std::deque<std::vector<platform::ResourceEntry>>& tables() {
    static std::deque<std::vector<platform::ResourceEntry>> all;
    return all;
  }
  std::vector<platform::ResourceEntry> entries_;
};

// A module registered as the newest resource module.
inline HMODULE add_resource_module(const char* name, ModuleBuilder builder) {
  HMODULE module = builder.install(name);
  GU4_AddDLLInst(name, module, 0);
  GU4_AddResourceInstance(module);
  return module;
}

class Utilities : public testing::Test {
 protected:
  void TearDown() override {
    while (HINSTANCE instance = GU4_GetResourceInstance(0)) GU4_RemoveDLLInst(instance);
    GU4_SetStringTranslation(1);
    GU4_SetIniFileForTask("Talvo32.ini");
    GUX_SetInternationalChar('.', GUX_DECIMAL);
    GUX_SetInternationalChar(';', GUX_LIST);
    GUX_SetInternationalChar(',', GUX_THOUSANDS);
    for (const auto& entry : std::filesystem::directory_iterator(testsupport::home()))
      std::filesystem::remove_all(entry.path());  // INI files, registry hives and drives
    platform::registry_drop_cache();
    GU3_Unregister();
  }

  static void set_registry_text(HKEY root, const char* path, const char* name, const std::string& text) {
    HKEY key = nullptr;
    ASSERT_EQ(RegCreateKeyExA(root, path, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr), ERROR_SUCCESS);
    ASSERT_EQ(RegSetValueExA(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(text.c_str()),
                             static_cast<DWORD>(text.size() + 1)),
              ERROR_SUCCESS);
    RegCloseKey(key);
  }
};

}  // namespace utiltest
