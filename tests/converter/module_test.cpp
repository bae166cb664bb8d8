// The server module: the choice of a translation module by locale, the
// registration script and type-library keys written and removed, the lock
// count behind DllCanUnloadNow, and a library whose class registration did
// not finish refusing every conversion.
#include <cstdlib>
#include <filesystem>

#include "apcomlib/core/core.h"
#include "converter/filecnvt.h"
#include "converter_support.h"
#include "module_fixture.h"
#include "platform/registry.h"
#include "platform/resources.h"

namespace convertertest {
namespace {

namespace fs = std::filesystem;
using converter::CGamlModule;

// A shared module placed under a candidate name, so that LoadLibraryA
// finds something there.
void place_module(const std::string& path) {
  fs::create_directories(fs::path(path).parent_path());
  fs::copy_file(GAMLREADER_MODULE, path, fs::copy_options::overwrite_existing);
}

void set_locale_override(DWORD locale) {
  HKEY key = nullptr;
  ASSERT_EQ(RegCreateKeyA(HKEY_LOCAL_MACHINE, "Software\\Corvane Instrument\\Translation", &key), ERROR_SUCCESS);
  ASSERT_EQ(RegSetValueExA(key, "Locale_ID_Override", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&locale),
                           sizeof locale),
            ERROR_SUCCESS);
  RegCloseKey(key);
}

std::string path_of(HINSTANCE module) {
  char path[4096] = {};
  GetModuleFileNameA(module, path, sizeof path);
  return path;
}

struct TranslationCase {
  const char* name;
  const char* lang;                   // the user's locale
  DWORD override_id;                  // 0: none
  std::vector<const char*> present;   // candidate files beside the module
  const char* expected;               // the one that loads, or null for none
};

class Translation : public testing::TestWithParam<TranslationCase> {};

TEST_P(Translation, TheFirstCandidateThatLoadsBecomesTheResourceInstance) {
  const TranslationCase& c = GetParam();
  setenv("LANG", c.lang, 1);
  if (c.override_id != 0) set_locale_override(c.override_id);
  const std::string folder = testsupport::home() + "/server/";
  for (const char* name : c.present) place_module(folder + name);
  HINSTANCE instance = instance_at(folder + "gamlconv.dll");
  CGamlModule module;
  EXPECT_EQ(module.Init(nullptr, 0, instance, &LIBID_GAML2KOVLib), S_OK);
  if (c.expected == nullptr) {
    EXPECT_EQ(module.GetResourceInstance(), instance);
  } else {
    EXPECT_NE(module.GetResourceInstance(), instance);
    EXPECT_EQ(path_of(module.GetResourceInstance()), folder + c.expected);
  }
  EXPECT_EQ(module.FileName(), "gamlconv.dll");
  module.Term();
  EXPECT_EQ(module.GetResourceInstance(), instance);
}

INSTANTIATE_TEST_SUITE_P(
    Locales, Translation,
    testing::Values(
        TranslationCase{"override_wins", "de_DE", 0x0409, {"gamlconv_0407.dll", "gamlconv_0409.dll"},
                        "gamlconv_0409.dll"},
        TranslationCase{"full_id_before_language", "de_DE", 0, {"gamlconv_07.dll", "gamlconv_0407.dll"},
                        "gamlconv_0407.dll"},
        TranslationCase{"lower_case_hex", "es_ES", 0, {"gamlconv_0c0a.dll"}, "gamlconv_0c0a.dll"},
        TranslationCase{"language_byte", "es_ES", 0, {"gamlconv_0a.dll", "gamlconv_trn.dll"}, "gamlconv_0a.dll"},
        TranslationCase{"any_translation", "de_DE", 0, {"gamlconvDEU.dll", "gamlconv_trn.dll"},
                        "gamlconv_trn.dll"},
        TranslationCase{"abbreviation_from_map", "fr_FR", 0, {"gamlconvFRA.dll", "gamlconv_09.dll"},
                        "gamlconvFRA.dll"},
        TranslationCase{"abbreviation_from_locale", "it_IT", 0, {"gamlconvITA.dll"}, "gamlconvITA.dll"},
        TranslationCase{"abbreviation_of_user_not_override", "de_DE", 0x040C, {"gamlconvFRA.dll", "gamlconvDEU.dll"},
                        "gamlconvDEU.dll"},
        TranslationCase{"english_last", "de_DE", 0, {"gamlconv_09.dll"}, "gamlconv_09.dll"},
        TranslationCase{"none", "de_DE", 0, {}, nullptr}),
    [](const testing::TestParamInfo<TranslationCase>& info) { return std::string(info.param.name); });

TEST(TranslationPaths, CandidatesTooLongForAPathAreNotTried) {
  // 256 characters ending in ".dll": every candidate is 259 characters or more.
  std::string folder = testsupport::home() + "/";
  folder += std::string(256 - folder.size() - std::string("gamlconv.dll").size() - 1, 'd') + "/";
  const std::string path = folder + "gamlconv.dll";
  ASSERT_EQ(path.size(), 256u);
  setenv("LANG", "en_US", 1);
  HINSTANCE instance = instance_at(path);
  CGamlModule module;
  EXPECT_EQ(module.Init(nullptr, 0, instance, nullptr), S_OK);
  EXPECT_EQ(module.GetResourceInstance(), instance);
}

TEST(ModuleFields, HoldThePathItsLongNameAndTheLibraryId) {
  const std::string path = testsupport::write_file("server/GAMLCONV.dll", "module");
  HINSTANCE instance = instance_at(path);
  CGamlModule module;
  EXPECT_EQ(module.Init(nullptr, 0, instance, &LIBID_GAML2KOVLib), S_OK);
  EXPECT_EQ(module.ModulePath(), std::u16string(path.begin(), path.end()));
  EXPECT_EQ(module.LongFileName(), u"GAMLCONV.dll");
  EXPECT_EQ(module.LibraryId(), LIBID_GAML2KOVLib);
  EXPECT_EQ(module.GetModuleInstance(), instance);
  char name[16] = {};
  EXPECT_EQ(LoadStringA(instance, 100, name, sizeof name), 8);
  EXPECT_STREQ(name, "GAML2KOV");
  module.Term();
  EXPECT_EQ(LoadStringA(instance, 100, name, sizeof name), 0);
}

// Every key of the script and of the type library, with its default value
// and a named value where it has one.
struct ExpectedKey {
  std::string path;
  std::string default_value;
  const char* value_name;
  std::string value;
};

std::string read_text(HKEY key, const char* name) {
  char text[1024] = {};
  DWORD size = sizeof text;
  DWORD type = REG_NONE;
  if (RegQueryValueExA(key, name, nullptr, &type, reinterpret_cast<BYTE*>(text), &size) != ERROR_SUCCESS) {
    return "<none>";
  }
  return type == REG_SZ ? std::string(text) : "<not text>";
}

bool key_exists(const std::string& path) {
  HKEY key = nullptr;
  if (RegOpenKeyExA(HKEY_CLASSES_ROOT, path.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS) return false;
  RegCloseKey(key);
  return true;
}

class Registration : public AttachedModule {
 protected:
  std::vector<ExpectedKey> expected_keys() const {
    const std::string clsid = "CLSID\\{3A7D51C2-94E0-4B6F-8C21-5D0E97A4B318}";
    const std::string library = "TypeLib\\{C41E07B9-2D58-4F3A-9B6E-A8172F50D4C6}\\1.0";
    const std::string interface_key = "Interface\\{D2746A1E-5B90-4C3F-8E61-0F4B97C2A358}";
    const std::string proxy = "{00020424-0000-0000-C000-000000000046}";
    return {
        {"GAML2KOV.FileCnvt.1", "FileCnvt Class", nullptr, ""},
        {"GAML2KOV.FileCnvt.1\\CLSID", "{3A7D51C2-94E0-4B6F-8C21-5D0E97A4B318}", nullptr, ""},
        {"GAML2KOV.FileCnvt", "FileCnvt Class", nullptr, ""},
        {"GAML2KOV.FileCnvt\\CLSID", "{3A7D51C2-94E0-4B6F-8C21-5D0E97A4B318}", nullptr, ""},
        {"GAML2KOV.FileCnvt\\CurVer", "GAML2KOV.FileCnvt.1", nullptr, ""},
        {clsid, "FileCnvt Class", nullptr, ""},
        {clsid + "\\ProgID", "GAML2KOV.FileCnvt.1", nullptr, ""},
        {clsid + "\\VersionIndependentProgID", "GAML2KOV.FileCnvt", nullptr, ""},
        {clsid + "\\Programmable", "<none>", nullptr, ""},
        {clsid + "\\InprocServer32", module_path_, "ThreadingModel", "Apartment"},
        {clsid + "\\TypeLib", "{C41E07B9-2D58-4F3A-9B6E-A8172F50D4C6}", nullptr, ""},
        {library, "GAML2KOV 1.0 Type Library", nullptr, ""},
        {library + "\\0\\win32", module_path_, nullptr, ""},
        {library + "\\FLAGS", "0", nullptr, ""},
        {library + "\\HELPDIR", testsupport::home() + "/server", nullptr, ""},
        {interface_key, "IFileCnvt", nullptr, ""},
        {interface_key + "\\ProxyStubClsid", proxy, nullptr, ""},
        {interface_key + "\\ProxyStubClsid32", proxy, nullptr, ""},
        {interface_key + "\\TypeLib", "{C41E07B9-2D58-4F3A-9B6E-A8172F50D4C6}", "Version", "1.0"},
    };
  }
};

TEST_F(Registration, WritesEveryKeyOfTheScriptAndTheTypeLibrary) {
  ASSERT_EQ(converter::gaml_module().RegisterServer(), S_OK);
  for (const ExpectedKey& expected : expected_keys()) {
    HKEY key = nullptr;
    ASSERT_EQ(RegOpenKeyExA(HKEY_CLASSES_ROOT, expected.path.c_str(), 0, KEY_READ, &key), ERROR_SUCCESS)
        << expected.path;
    EXPECT_EQ(read_text(key, nullptr), expected.default_value) << expected.path;
    if (expected.value_name != nullptr) {
      EXPECT_EQ(read_text(key, expected.value_name), expected.value);
    }
    RegCloseKey(key);
  }
  CLSID found;
  EXPECT_EQ(CLSIDFromProgID(u"GAML2KOV.FileCnvt", &found), S_OK);
  EXPECT_EQ(found, CLSID_FileCnvt);
}

TEST_F(Registration, UnregisteringRemovesEveryKeyButTheSharedParents) {
  ASSERT_EQ(converter::gaml_module().RegisterServer(), S_OK);
  HKEY added = nullptr;
  ASSERT_EQ(RegCreateKeyA(HKEY_CLASSES_ROOT, "CLSID\\{3A7D51C2-94E0-4B6F-8C21-5D0E97A4B318}\\Programmable\\Added",
                          &added),
            ERROR_SUCCESS);
  RegCloseKey(added);
  ASSERT_EQ(converter::gaml_module().UnregisterServer(), S_OK);
  for (const ExpectedKey& expected : expected_keys()) EXPECT_FALSE(key_exists(expected.path)) << expected.path;
  EXPECT_FALSE(key_exists("TypeLib\\{C41E07B9-2D58-4F3A-9B6E-A8172F50D4C6}"));
  for (const char* parent : {"CLSID", "TypeLib", "Interface"}) EXPECT_TRUE(key_exists(parent)) << parent;
  EXPECT_EQ(converter::gaml_module().UnregisterServer(), S_OK);  // nothing left to remove
}

TEST_F(Registration, AProgIdKeyHoldingKeysOfOthersStays) {
  ASSERT_EQ(converter::gaml_module().RegisterServer(), S_OK);
  HKEY other = nullptr;
  ASSERT_EQ(RegCreateKeyA(HKEY_CLASSES_ROOT, "GAML2KOV.FileCnvt\\Shell", &other), ERROR_SUCCESS);
  RegCloseKey(other);
  ASSERT_EQ(converter::gaml_module().UnregisterServer(), S_OK);
  EXPECT_TRUE(key_exists("GAML2KOV.FileCnvt\\Shell"));
  EXPECT_FALSE(key_exists("GAML2KOV.FileCnvt\\CLSID"));
  EXPECT_FALSE(key_exists("GAML2KOV.FileCnvt.1"));
}

class Locks : public AttachedModule {};

TEST_F(Locks, TheModuleMayBeUnloadedOnceNoObjectOrLockRemains) {
  EXPECT_EQ(converter::gaml_module().Locks().can_unload_now(), S_OK);
  ComRef<IClassFactory> factory;
  ASSERT_EQ(converter::gaml_module().GetClassObject(CLSID_FileCnvt, IID_IClassFactory, reinterpret_cast<void**>(factory.out())), S_OK);
  ComRef<IFileCnvt> converter;
  ASSERT_EQ(factory->CreateInstance(nullptr, IID_IFileCnvt, reinterpret_cast<void**>(converter.out())), S_OK);
  factory.reset();
  EXPECT_EQ(converter::gaml_module().Locks().can_unload_now(), S_FALSE);
  converter.reset();
  EXPECT_EQ(converter::gaml_module().Locks().can_unload_now(), S_OK);
  ASSERT_EQ(converter::gaml_module().GetClassObject(CLSID_FileCnvt, IID_IClassFactory, reinterpret_cast<void**>(factory.out())), S_OK);
  EXPECT_EQ(factory->LockServer(TRUE), S_OK);
  factory.reset();
  EXPECT_EQ(converter::gaml_module().Locks().can_unload_now(), S_FALSE);
  ASSERT_EQ(converter::gaml_module().GetClassObject(CLSID_FileCnvt, IID_IClassFactory, reinterpret_cast<void**>(factory.out())), S_OK);
  EXPECT_EQ(factory->LockServer(FALSE), S_OK);
  factory.reset();
  EXPECT_EQ(converter::gaml_module().Locks().can_unload_now(), S_OK);
  void* other = &other;
  EXPECT_EQ(converter::gaml_module().GetClassObject(CLSID_GamlReader, IID_IClassFactory, &other), CLASS_E_CLASSNOTAVAILABLE);
  EXPECT_EQ(other, nullptr);
}

// A conversion that reaches the reader, which is not registered here.
HRESULT convert_something() {
  const std::string source = write_gaml("ready.gaml", experiment({}));
  std::filesystem::create_directories(testsupport::home() + "/out");
  ComRef<IFileCnvt> converter;
  EXPECT_EQ(converter::CreateFileCnvt(IID_IFileCnvt, reinterpret_cast<void**>(converter.out())), S_OK);
  return converter->ConvertFile(text(source).get(), text(u"GAML").get(),
                                text(testsupport::home() + "/out/ready.spa").get(), text(u"KOV_TLVO").get(), nullptr);
}

uint32_t answer_nothing(void*, uint16_t, void*) { return 0; }

TEST(LibraryStart, AWholeRegistrationLetsConversionsRun) {
  HINSTANCE instance = instance_at(attached_server_path());
  converter::DllMain(instance, DLL_PROCESS_ATTACH, nullptr);
  EXPECT_TRUE(converter::gaml_module().LibraryReady());
  EXPECT_EQ(convert_something(), REGDB_E_CLASSNOTREG);
  converter::DllMain(instance, DLL_PROCESS_DETACH, nullptr);
  EXPECT_FALSE(converter::gaml_module().LibraryReady());
  EXPECT_EQ(convert_something(), E_FAIL);
}

// A class whose initialisation failed keeps state 0 with its dispatcher
// installed, as registration leaves it.
TEST(LibraryStart, AClassThatDidNotInitialiseFailsEveryConversion) {
  GU2_ImmedSetDispatcher(99, answer_nothing);
  APX_SetClassState(99, 0);
  HINSTANCE instance = instance_at(attached_server_path());
  converter::DllMain(instance, DLL_PROCESS_ATTACH, nullptr);
  EXPECT_FALSE(converter::gaml_module().LibraryReady());
  EXPECT_EQ(convert_something(), E_FAIL);
  EXPECT_EQ(convert_something(), E_FAIL);
  converter::DllMain(instance, DLL_PROCESS_DETACH, nullptr);
}

}  // namespace
}  // namespace convertertest
