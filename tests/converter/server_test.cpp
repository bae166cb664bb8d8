// The built server module as a host meets it: registered by its own
// DllRegisterServer, created through CoCreateInstance by its ProgID,
// answering DllCanUnloadNow from its lock count, and gone again after
// DllUnregisterServer.
#include <climits>
#include <cstdlib>

#include "converter_support.h"
#include "platform/registry.h"

namespace convertertest {
namespace {

std::string inproc_server() {
  HKEY key = nullptr;
  if (RegOpenKeyExA(HKEY_CLASSES_ROOT, "CLSID\\{3A7D51C2-94E0-4B6F-8C21-5D0E97A4B318}\\InprocServer32", 0, KEY_READ,
                    &key) != ERROR_SUCCESS) {
    return "<none>";
  }
  char path[PATH_MAX] = {};
  DWORD size = sizeof path;
  RegQueryValueExA(key, nullptr, nullptr, nullptr, reinterpret_cast<BYTE*>(path), &size);
  RegCloseKey(key);
  return path;
}

ComRef<IFileCnvt> create_by_prog_id(HRESULT* result) {
  ComRef<IFileCnvt> converter;
  CLSID clsid{};
  *result = CLSIDFromProgID(u"GAML2KOV.FileCnvt", &clsid);
  if (SUCCEEDED(*result)) {
    *result = CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, IID_IFileCnvt,
                               reinterpret_cast<void**>(converter.out()));
  }
  return converter;
}

TEST(Server, RegistersItselfAndIsCreatedByItsProgId) {
  ASSERT_EQ(call_export(GAML2KOV_MODULE, "DllRegisterServer"), S_OK);
  char module_path[PATH_MAX];
  ASSERT_NE(realpath(GAML2KOV_MODULE, module_path), nullptr);
  EXPECT_EQ(inproc_server(), module_path);
  ASSERT_EQ(CoInitialize(nullptr), S_OK);
  {
    HRESULT created;
    ComRef<IFileCnvt> converter = create_by_prog_id(&created);
    ASSERT_EQ(created, S_OK);
    Bstr name;
    EXPECT_EQ(converter->get_ConverterName(name.out()), S_OK);
    EXPECT_EQ(name.text(), u"GAML2KOV");
    auto can_unload = reinterpret_cast<DllCanUnloadNowFn>(GetProcAddress(LoadLibraryA(GAML2KOV_MODULE), "DllCanUnloadNow"));
    ASSERT_NE(can_unload, nullptr);
    EXPECT_EQ(can_unload(), S_FALSE);
    converter.reset();
    EXPECT_EQ(can_unload(), S_OK);
  }
  CoUninitialize();
}

TEST(Server, IsGoneAfterUnregistering) {
  ASSERT_EQ(call_export(GAML2KOV_MODULE, "DllRegisterServer"), S_OK);
  ASSERT_EQ(call_export(GAML2KOV_MODULE, "DllUnregisterServer"), S_OK);
  EXPECT_EQ(inproc_server(), "<none>");
  ASSERT_EQ(CoInitialize(nullptr), S_OK);
  HRESULT created;
  ComRef<IFileCnvt> converter = create_by_prog_id(&created);
  EXPECT_EQ(created, CO_E_CLASSSTRING);
  EXPECT_EQ(CoCreateInstance(CLSID_FileCnvt, nullptr, CLSCTX_INPROC_SERVER, IID_IFileCnvt,
                             reinterpret_cast<void**>(converter.out())),
            REGDB_E_CLASSNOTREG);
  CoUninitialize();
}

// A caller that links against the library's function interface finds every
// family in the module, the display services among them.
TEST(Server, ExportsTheLibrarysFunctionFamilies) {
  const HMODULE module = LoadLibraryA(GAML2KOV_MODULE);
  ASSERT_NE(module, nullptr);
  for (const char* name : {"GU3_AllocateEx_MM", "GU4_LoadIcon", "GU4_DialogBoxParam", "GU4_MDICreate",
                           "GU4_PaintBitmap", "GU6_CreateFontFromStr", "GU6_CreatePen", "GU8_IsPrinting_PRN",
                           "GUX_LaunchInternatHelpEx", "GUX_LaunchInternatHelpByFile", "GUX_InitInternationalChars",
                           "GU_AvgScaleDIB", "GU_AvgScaleDIBTransparent", "SCL_CreateBitmap", "APX_GetClassTable",
                           "Parse", "TrimTrailingSpaces", "GetTime"})
    EXPECT_NE(GetProcAddress(module, name), nullptr) << name;
  FreeLibrary(module);
}

}  // namespace
}  // namespace convertertest
