// The reader module registers itself in the registry store, where
// CoCreateInstance finds it as the converter's import job creates it, and
// unregisters again.
#include <climits>
#include <cstdlib>

#include "gamlreader/reader_support.h"
#include "platform/registry.h"

namespace readertest {
namespace {

constexpr char kClassKey[] = "CLSID\\{5E92A0D4-71B3-4C8F-A046-2B9D3E6F1C75}";
constexpr DWORD kImportJobContext = 0x17;  // in-process server and handler, local and remote server

std::string text_value(const std::string& key_name, const char* value_name) {
  HKEY key = nullptr;
  if (RegOpenKeyExA(HKEY_CLASSES_ROOT, key_name.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS) return "<no key>";
  char text[PATH_MAX] = {};
  DWORD size = sizeof text;
  DWORD type = REG_NONE;
  const LSTATUS read = RegQueryValueExA(key, value_name, nullptr, &type, reinterpret_cast<BYTE*>(text), &size);
  RegCloseKey(key);
  return read == ERROR_SUCCESS && type == REG_SZ ? std::string(text) : "<no value>";
}

TEST(Registration, NamesThisModuleAsTheReadersInProcessServer) {
  ASSERT_NE(module().register_server, nullptr);
  ASSERT_EQ(module().register_server(), S_OK);
  char path[PATH_MAX];
  ASSERT_NE(realpath(GAMLREADER_MODULE, path), nullptr);
  EXPECT_EQ(text_value(std::string(kClassKey) + "\\InprocServer32", nullptr), path);
  EXPECT_EQ(text_value(std::string(kClassKey) + "\\InprocServer32", "ThreadingModel"), "Apartment");
  EXPECT_EQ(text_value(kClassKey, nullptr), "GAML Reader");
}

TEST(Registration, LetsCoCreateInstanceMakeAReaderUntilUnregistered) {
  ASSERT_EQ(module().register_server(), S_OK);
  ASSERT_EQ(CoInitialize(nullptr), S_OK);
  {
    Ref<IGamlReader> reader;
    ASSERT_EQ(CoCreateInstance(CLSID_GamlReader, nullptr, kImportJobContext, IID_IGamlReader,
                               reinterpret_cast<void**>(reader.out())),
              S_OK);
    ASSERT_EQ(load(reader.get(), fixture("two_experiments.gaml")), S_OK);
    Ref<IGamlCollection> traces;
    ASSERT_EQ(reader->get_Traces(traces.out()), S_OK);
    LONG count = 0;
    EXPECT_EQ(traces->get_Count(&count), S_OK);
    EXPECT_EQ(count, 2);
  }
  EXPECT_EQ(module().unregister_server(), S_OK);
  EXPECT_EQ(text_value(kClassKey, nullptr), "<no key>");
  Ref<IGamlReader> reader;
  EXPECT_EQ(CoCreateInstance(CLSID_GamlReader, nullptr, kImportJobContext, IID_IGamlReader,
                             reinterpret_cast<void**>(reader.out())),
            REGDB_E_CLASSNOTREG);
  EXPECT_FALSE(reader);
  EXPECT_EQ(module().unregister_server(), S_OK);  // nothing left to remove
  CoUninitialize();
}

TEST(Registration, UnregisteringRemovesKeysAddedBelowTheClass) {
  ASSERT_EQ(module().register_server(), S_OK);
  HKEY extra = nullptr;
  ASSERT_EQ(RegCreateKeyA(HKEY_CLASSES_ROOT, (std::string(kClassKey) + "\\Programmable\\Deeper").c_str(), &extra),
            ERROR_SUCCESS);
  RegCloseKey(extra);
  EXPECT_EQ(module().unregister_server(), S_OK);
  EXPECT_EQ(text_value(kClassKey, nullptr), "<no key>");
  EXPECT_EQ(text_value("CLSID", nullptr), "<no value>");  // the CLSID key itself stays
}

}  // namespace
}  // namespace readertest
