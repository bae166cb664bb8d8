#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "platform/registry.h"
#include "support/test_home.h"

namespace {

constexpr const char* kTalvo = "SOFTWARE\\Corvane Instrument\\Talvo";

std::string bytes_of(const BYTE* data, DWORD size) { return std::string(reinterpret_cast<const char*>(data), size); }

class Registry : public testing::Test {
 protected:
  void SetUp() override { forget_hives(); }
  void TearDown() override {
    for (HKEY key : opened_) RegCloseKey(key);
    forget_hives();
  }

  static void forget_hives() {
    for (HKEY root : {HKEY_CLASSES_ROOT, HKEY_CURRENT_USER, HKEY_LOCAL_MACHINE})
      std::filesystem::remove(platform::registry_hive_file(root));
    platform::registry_drop_cache();
  }

  HKEY create(HKEY root, const char* path, REGSAM access = KEY_ALL_ACCESS) {
    HKEY key = nullptr;
    EXPECT_EQ(RegCreateKeyExA(root, path, 0, nullptr, 0, access, nullptr, &key, nullptr), ERROR_SUCCESS) << path;
    opened_.push_back(key);
    return key;
  }

  HKEY open(HKEY root, const char* path, REGSAM access = KEY_READ) {
    HKEY key = nullptr;
    EXPECT_EQ(RegOpenKeyExA(root, path, 0, access, &key), ERROR_SUCCESS) << path;
    opened_.push_back(key);
    return key;
  }

  static void set(HKEY key, const char* name, DWORD type, const std::string& bytes) {
    ASSERT_EQ(RegSetValueExA(key, name, 0, type, reinterpret_cast<const BYTE*>(bytes.data()),
                             static_cast<DWORD>(bytes.size())),
              ERROR_SUCCESS);
  }

  // The value's type and bytes, or an empty type of 0xFFFFFFFF when absent.
  static std::pair<DWORD, std::string> query(HKEY key, const char* name) {
    DWORD type = 0xFFFFFFFF, size = 0;
    if (RegQueryValueExA(key, name, nullptr, &type, nullptr, &size) != ERROR_SUCCESS) return {0xFFFFFFFF, ""};
    std::vector<BYTE> data(size + 1);
    EXPECT_EQ(RegQueryValueExA(key, name, nullptr, &type, data.data(), &size), ERROR_SUCCESS);
    return {type, bytes_of(data.data(), size)};
  }

  std::vector<HKEY> opened_;
};

struct ValueCase {
  const char* label;
  DWORD type;
  std::string bytes;
};

class RegistryValueTypes : public Registry, public testing::WithParamInterface<ValueCase> {};

TEST_P(RegistryValueTypes, ReadBackWithTheirTypeAndBytesAlsoFromDisk) {
  const ValueCase& c = GetParam();
  HKEY key = create(HKEY_LOCAL_MACHINE, kTalvo);
  set(key, "Value", c.type, c.bytes);
  EXPECT_EQ(query(key, "Value"), std::make_pair(c.type, c.bytes));
  platform::registry_drop_cache();
  EXPECT_EQ(query(key, "value"), std::make_pair(c.type, c.bytes));
}

INSTANTIATE_TEST_SUITE_P(
    Cases, RegistryValueTypes,
    testing::Values(ValueCase{"Text", REG_SZ, std::string("C:\\Talvo\\\0", 10)},
                    ValueCase{"Expandable", REG_EXPAND_SZ, std::string("%TALVODATA%\\x \"q\"\0", 19)},
                    ValueCase{"TextWithoutTerminator", REG_SZ, "abc"},
                    ValueCase{"TextWithInnerNul", REG_SZ, std::string("a\0b\0", 4)},
                    ValueCase{"HighAndControlBytes", REG_SZ, std::string("\xE9t\xE9\t\r\n\0", 7)},
                    ValueCase{"Dword", REG_DWORD, std::string("\x78\x56\x34\x12", 4)},
                    ValueCase{"ShortDword", REG_DWORD, std::string("\x01\x02", 2)},
                    ValueCase{"Binary", REG_BINARY, std::string("\x00\xFF\x10", 3)},
                    ValueCase{"EmptyBinary", REG_BINARY, std::string()},
                    ValueCase{"None", REG_NONE, std::string("z")}),
    [](const testing::TestParamInfo<ValueCase>& info) { return info.param.label; });

TEST_F(Registry, KeyAndValueNamesIgnoreCaseAndKeepTheirFirstCase) {
  HKEY key = create(HKEY_LOCAL_MACHINE, kTalvo);
  set(key, "Directory", REG_SZ, std::string("C:\\Talvo\\\0", 10));
  set(key, "DIRECTORY", REG_SZ, std::string("D:\\\0", 4));  // the same value
  HKEY again = open(HKEY_LOCAL_MACHINE, "software\\CORVANE INSTRUMENT\\talvo\\");
  EXPECT_EQ(query(again, "directory").second, std::string("D:\\\0", 4));
  DWORD values = 0;
  ASSERT_EQ(RegQueryInfoKeyA(again, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, &values, nullptr, nullptr,
                             nullptr, nullptr),
            ERROR_SUCCESS);
  EXPECT_EQ(values, 1u);
  char name[32];
  DWORD name_size = sizeof name;
  ASSERT_EQ(RegEnumValueA(again, 0, name, &name_size, nullptr, nullptr, nullptr, nullptr), ERROR_SUCCESS);
  EXPECT_STREQ(name, "Directory");
  HKEY parent = open(HKEY_LOCAL_MACHINE, "Software\\Corvane Instrument");
  ASSERT_EQ(RegEnumKeyA(parent, 0, name, sizeof name), ERROR_SUCCESS);
  EXPECT_STREQ(name, "Talvo");
}

TEST_F(Registry, NullAndEmptyNamesAreTheDefaultValue) {
  HKEY key = create(HKEY_CLASSES_ROOT, ".spa");
  set(key, nullptr, REG_SZ, std::string("Talvo_Spectra\0", 14));
  EXPECT_EQ(query(key, ""), std::make_pair(REG_SZ, std::string("Talvo_Spectra\0", 14)));
}

TEST_F(Registry, QueriesReportSizesAndRefuseSmallBuffers) {
  HKEY key = create(HKEY_LOCAL_MACHINE, kTalvo);
  set(key, "Ten", REG_SZ, std::string("123456789\0", 10));
  DWORD type = 0, size = 0;
  EXPECT_EQ(RegQueryValueExA(key, "Ten", nullptr, &type, nullptr, &size), ERROR_SUCCESS);
  EXPECT_EQ(size, 10u);
  BYTE small[8];
  std::memset(small, 'x', sizeof small);
  size = sizeof small;
  EXPECT_EQ(RegQueryValueExA(key, "Ten", nullptr, &type, small, &size), ERROR_MORE_DATA);
  EXPECT_EQ(size, 10u);
  EXPECT_EQ(bytes_of(small, 8), "xxxxxxxx");  // nothing written past or into a buffer that is too small
  EXPECT_EQ(RegQueryValueExA(key, "Ten", nullptr, &type, small, nullptr), ERROR_INVALID_PARAMETER);
  EXPECT_EQ(RegQueryValueExA(key, "Missing", nullptr, &type, nullptr, &size), ERROR_FILE_NOT_FOUND);
}

TEST_F(Registry, InfoGivesCountsAndTheLongestNamesAndValue) {
  HKEY key = create(HKEY_LOCAL_MACHINE, kTalvo);
  set(key, "A", REG_SZ, std::string("12345\0", 6));
  set(key, "Longer", REG_BINARY, std::string(40, '\x01'));
  set(key, "B", REG_DWORD, std::string(4, '\0'));
  create(HKEY_LOCAL_MACHINE, "SOFTWARE\\Corvane Instrument\\Talvo\\SmartAcc");
  DWORD subkeys = 0, longest_subkey = 0, values = 0, longest_name = 0, longest_value = 0;
  ASSERT_EQ(RegQueryInfoKeyA(key, nullptr, nullptr, nullptr, &subkeys, &longest_subkey, nullptr, &values,
                             &longest_name, &longest_value, nullptr, nullptr),
            ERROR_SUCCESS);
  EXPECT_EQ(subkeys, 1u);
  EXPECT_EQ(longest_subkey, 8u);  // "SmartAcc"
  EXPECT_EQ(values, 3u);
  EXPECT_EQ(longest_name, 6u);    // "Longer"
  EXPECT_EQ(longest_value, 40u);
}

TEST_F(Registry, EnumeratesSubkeysInNameOrderAndValuesInSetOrder) {
  for (const char* name : {"zeta", "Alpha", "beta"}) create(HKEY_CURRENT_USER, (std::string("K\\") + name).c_str());
  HKEY key = open(HKEY_CURRENT_USER, "K");
  std::vector<std::string> names;
  char name[16];
  for (DWORD i = 0; RegEnumKeyA(key, i, name, sizeof name) == ERROR_SUCCESS; ++i) names.push_back(name);
  EXPECT_EQ(names, (std::vector<std::string>{"Alpha", "beta", "zeta"}));
  EXPECT_EQ(RegEnumKeyA(key, 3, name, sizeof name), ERROR_NO_MORE_ITEMS);
  DWORD tiny = 4;  // "Alpha" and its terminator need 6
  EXPECT_EQ(RegEnumKeyExA(key, 0, name, &tiny, nullptr, nullptr, nullptr, nullptr), ERROR_MORE_DATA);

  HKEY writable = open(HKEY_CURRENT_USER, "K", KEY_ALL_ACCESS);
  set(writable, "second", REG_DWORD, std::string(4, '\2'));
  set(writable, "first", REG_DWORD, std::string(4, '\1'));
  std::vector<std::string> value_names;
  for (DWORD i = 0;; ++i) {
    DWORD size = sizeof name;
    if (RegEnumValueA(writable, i, name, &size, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS) break;
    value_names.push_back(name);
  }
  EXPECT_EQ(value_names, (std::vector<std::string>{"second", "first"}));
}

TEST_F(Registry, DeletingAKeyWithSubkeysIsRefused) {
  create(HKEY_LOCAL_MACHINE, "SOFTWARE\\Corvane Instrument\\Bench\\Laser");
  HKEY software = open(HKEY_LOCAL_MACHINE, "SOFTWARE", KEY_ALL_ACCESS);
  EXPECT_EQ(RegDeleteKeyA(software, "Corvane Instrument\\Bench"), ERROR_ACCESS_DENIED);
  EXPECT_EQ(RegDeleteKeyA(software, "Corvane Instrument\\Bench\\Laser"), ERROR_SUCCESS);
  EXPECT_EQ(RegDeleteKeyA(software, "Corvane Instrument\\bench"), ERROR_SUCCESS);
  EXPECT_EQ(RegDeleteKeyA(software, "Corvane Instrument\\Bench"), ERROR_FILE_NOT_FOUND);
  HKEY gone = nullptr;
  EXPECT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, "SOFTWARE\\Corvane Instrument\\Bench", 0, KEY_READ, &gone),
            ERROR_FILE_NOT_FOUND);
  EXPECT_EQ(gone, nullptr);
  EXPECT_EQ(RegDeleteKeyA(HKEY_LOCAL_MACHINE, ""), ERROR_ACCESS_DENIED);  // a hive's root stays
}

TEST_F(Registry, DeletingATreeTakesEveryKeyBelowAndLeavesItsParent) {
  create(HKEY_LOCAL_MACHINE, "SOFTWARE\\Corvane Instrument\\Bench\\Laser\\Deeper");
  HKEY bench = create(HKEY_LOCAL_MACHINE, "SOFTWARE\\Corvane Instrument\\Bench");
  set(bench, "Serial", REG_SZ, std::string("42\0", 3));
  EXPECT_EQ(RegDeleteTreeA(HKEY_LOCAL_MACHINE, "software\\corvane instrument\\bench"), ERROR_SUCCESS);
  HKEY gone = nullptr;
  EXPECT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, "SOFTWARE\\Corvane Instrument\\Bench", 0, KEY_READ, &gone),
            ERROR_FILE_NOT_FOUND);
  EXPECT_NE(open(HKEY_LOCAL_MACHINE, "SOFTWARE\\Corvane Instrument", KEY_READ), nullptr);
  EXPECT_EQ(RegDeleteTreeA(HKEY_LOCAL_MACHINE, "SOFTWARE\\Corvane Instrument\\Bench"), ERROR_FILE_NOT_FOUND);
  EXPECT_EQ(RegDeleteTreeA(HKEY_LOCAL_MACHINE, ""), ERROR_ACCESS_DENIED);  // a hive's root stays
  EXPECT_EQ(RegDeleteTreeA(HKEY_LOCAL_MACHINE, nullptr), ERROR_INVALID_PARAMETER);
}

TEST_F(Registry, HandlesOfDeletedKeysAndClosedHandlesFail) {
  HKEY key = create(HKEY_LOCAL_MACHINE, "SOFTWARE\\Temp");
  EXPECT_EQ(RegDeleteKeyA(HKEY_LOCAL_MACHINE, "SOFTWARE\\Temp"), ERROR_SUCCESS);
  DWORD size = 0;
  EXPECT_EQ(RegQueryValueExA(key, "x", nullptr, nullptr, nullptr, &size), ERROR_KEY_DELETED);
  EXPECT_EQ(RegSetValueExA(key, "x", 0, REG_BINARY, nullptr, 0), ERROR_KEY_DELETED);
  EXPECT_EQ(RegCloseKey(key), ERROR_SUCCESS);
  opened_.pop_back();
  EXPECT_EQ(RegCloseKey(key), ERROR_INVALID_HANDLE);
  EXPECT_EQ(RegQueryValueExA(key, "x", nullptr, nullptr, nullptr, &size), ERROR_INVALID_HANDLE);
  EXPECT_EQ(RegFlushKey(reinterpret_cast<HKEY>(0x1234)), ERROR_INVALID_HANDLE);
}

TEST_F(Registry, DeletesValues) {
  HKEY key = create(HKEY_LOCAL_MACHINE, kTalvo);
  set(key, "COGMETHOD", REG_DWORD, std::string(4, '\1'));
  EXPECT_EQ(RegDeleteValueA(key, "cogmethod"), ERROR_SUCCESS);
  EXPECT_EQ(query(key, "COGMETHOD").first, 0xFFFFFFFFu);
  EXPECT_EQ(RegDeleteValueA(key, "COGMETHOD"), ERROR_FILE_NOT_FOUND);
}

TEST_F(Registry, HandlesAllowOnlyWhatTheirAccessGrants) {
  create(HKEY_LOCAL_MACHINE, "SOFTWARE\\Corvane Instrument\\Talvo\\SmartAcc");
  HKEY read = open(HKEY_LOCAL_MACHINE, kTalvo, KEY_READ);
  EXPECT_EQ(RegSetValueExA(read, "x", 0, REG_BINARY, nullptr, 0), ERROR_ACCESS_DENIED);
  EXPECT_EQ(RegDeleteValueA(read, "x"), ERROR_ACCESS_DENIED);
  HKEY created = nullptr;
  EXPECT_EQ(RegCreateKeyExA(read, "New", 0, nullptr, 0, KEY_READ, nullptr, &created, nullptr), ERROR_ACCESS_DENIED);
  HKEY query_only = open(HKEY_LOCAL_MACHINE, kTalvo, KEY_QUERY_VALUE);
  char name[16];
  EXPECT_EQ(RegEnumKeyA(query_only, 0, name, sizeof name), ERROR_ACCESS_DENIED);
  HKEY write = open(HKEY_LOCAL_MACHINE, kTalvo, KEY_WRITE);
  DWORD size = 0;
  EXPECT_EQ(RegQueryValueExA(write, "x", nullptr, nullptr, nullptr, &size), ERROR_ACCESS_DENIED);
}

TEST_F(Registry, CreateTellsWhetherTheKeyIsNewAndOpensMissingKeysNot) {
  HKEY key = nullptr;
  DWORD disposition = 0;
  ASSERT_EQ(RegCreateKeyExA(HKEY_LOCAL_MACHINE, kTalvo, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, &disposition),
            ERROR_SUCCESS);
  EXPECT_EQ(disposition, REG_CREATED_NEW_KEY);
  RegCloseKey(key);
  ASSERT_EQ(RegCreateKeyExA(HKEY_LOCAL_MACHINE, kTalvo, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, &disposition),
            ERROR_SUCCESS);
  EXPECT_EQ(disposition, REG_OPENED_EXISTING_KEY);
  RegCloseKey(key);
  key = reinterpret_cast<HKEY>(1);
  EXPECT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, "SOFTWARE\\Nobody", 0, KEY_READ, &key), ERROR_FILE_NOT_FOUND);
  EXPECT_EQ(key, nullptr);
  EXPECT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, std::string(256, 'k').c_str(), 0, KEY_READ, &key),
            ERROR_INVALID_PARAMETER);
}

TEST_F(Registry, HiveFileIsReadableTextWrittenWhole) {
  HKEY key = create(HKEY_LOCAL_MACHINE, kTalvo);
  set(key, "Directory", REG_SZ, std::string("C:\\Talvo\\\0", 10));
  set(key, "TruncateAbs", REG_DWORD, std::string("\x0A\0\0\0", 4));
  set(key, nullptr, REG_EXPAND_SZ, std::string("%TALVODATA%\\\"x\"\0", 16));
  set(key, "Blob", REG_BINARY, std::string("\x01\xFF\x00", 3));
  const std::string file = platform::registry_hive_file(HKEY_LOCAL_MACHINE);
  EXPECT_EQ(file, testsupport::home() + "/registry/HKEY_LOCAL_MACHINE.txt");
  EXPECT_EQ(testsupport::read_file(file),
            "; Registry hive HKEY_LOCAL_MACHINE\n"
            "[SOFTWARE]\n"
            "[SOFTWARE\\Corvane Instrument]\n"
            "[SOFTWARE\\Corvane Instrument\\Talvo]\n"
            "\"Directory\"=sz:\"C:\\Talvo\\\"\n"
            "\"TruncateAbs\"=dword:0000000a\n"
            "@=expand_sz:\"%25TALVODATA%25\\%22x%22\"\n"
            "\"Blob\"=hex(3):01,ff,00\n");
  for (const auto& entry : std::filesystem::directory_iterator(testsupport::home() + "/registry"))
    EXPECT_EQ(entry.path().extension(), ".txt") << entry.path();  // no temporary file stays behind
}

TEST_F(Registry, ReadsAHandWrittenHiveAndPassesOverBrokenLines) {
  testsupport::write_file("registry/HKEY_CLASSES_ROOT.txt",
                          "; comment\r\n"
                          "[Talvo_Spectra\\DefaultIcon]\r\n"
                          "@=sz:\"\"C:%5CTalvo\\talvo32.exe\",0\"\r\n"  // broken: inner quote not escaped
                          "\"Good\"=sz:\"100%\"\n"                        // a lone '%' stands for itself
                          "\"Bad dword\"=dword:xyz\n"
                          "\"Bad hex\"=hex(3):0g\n"
                          "\"NoType\"\n"
                          "[Unclosed\n"
                          "\"Orphan\"=dword:00000001\n"
                          "[.spa]\n"
                          "@=sz:\"Talvo_Spectra\"\n");
  HKEY icon = open(HKEY_CLASSES_ROOT, "Talvo_Spectra\\DefaultIcon");
  EXPECT_EQ(query(icon, nullptr).first, 0xFFFFFFFFu);
  EXPECT_EQ(query(icon, "Good").second, std::string("100%\0", 5));
  DWORD values = 0;
  RegQueryInfoKeyA(icon, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, &values, nullptr, nullptr, nullptr,
                   nullptr);
  EXPECT_EQ(values, 1u);
  HKEY spa = open(HKEY_CLASSES_ROOT, ".SPA");
  EXPECT_EQ(query(spa, nullptr).second, std::string("Talvo_Spectra\0", 14));
  HKEY unclosed = nullptr;
  EXPECT_EQ(RegOpenKeyExA(HKEY_CLASSES_ROOT, "Unclosed", 0, KEY_READ, &unclosed), ERROR_FILE_NOT_FOUND);
}

TEST_F(Registry, AFailedWriteLeavesTheHiveOnDiskAsItWas) {
  HKEY key = create(HKEY_LOCAL_MACHINE, kTalvo);
  set(key, "Directory", REG_SZ, std::string("old\0", 4));
  const std::string file = platform::registry_hive_file(HKEY_LOCAL_MACHINE);
  const std::string before = testsupport::read_file(file);
  const std::string temporary = file + ".tmp" + std::to_string(getpid());
  ASSERT_EQ(mkdir(temporary.c_str(), 0755), 0);  // the temporary file cannot be made
  EXPECT_EQ(RegSetValueExA(key, "Directory", 0, REG_SZ, reinterpret_cast<const BYTE*>("new"), 4), ERROR_WRITE_FAULT);
  rmdir(temporary.c_str());
  EXPECT_EQ(testsupport::read_file(file), before);
  EXPECT_EQ(query(key, "Directory").second, std::string("old\0", 4));
}

TEST_F(Registry, WhatOneProcessWritesTheNextReadsFromDisk) {
  HKEY key = create(HKEY_LOCAL_MACHINE, kTalvo);
  set(key, "DataDirectory", REG_SZ, std::string("C:\\Data\\\0", 9));
  const pid_t child = fork();
  ASSERT_NE(child, -1);
  if (child == 0) {
    // The other process: sees the parent's value and writes its own.
    HKEY other = nullptr;
    bool ok = RegOpenKeyExA(HKEY_LOCAL_MACHINE, kTalvo, 0, KEY_ALL_ACCESS, &other) == ERROR_SUCCESS;
    char text[16] = {};
    DWORD size = sizeof text;
    ok = ok && RegQueryValueExA(other, "datadirectory", nullptr, nullptr, reinterpret_cast<BYTE*>(text), &size) ==
                   ERROR_SUCCESS;
    ok = ok && std::strcmp(text, "C:\\Data\\") == 0;
    const DWORD written = 42;
    ok = ok && RegSetValueExA(other, "FromChild", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&written), 4) ==
                   ERROR_SUCCESS;
    _exit(ok ? 0 : 1);
  }
  int status = 0;
  ASSERT_EQ(waitpid(child, &status, 0), child);
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 0);
  // No cache is dropped here: the changed file is noticed and read again.
  EXPECT_EQ(query(key, "FromChild"), std::make_pair(REG_DWORD, std::string("\x2A\0\0\0", 4)));
  EXPECT_EQ(query(key, "DataDirectory").second, std::string("C:\\Data\\\0", 9));
}

}  // namespace
