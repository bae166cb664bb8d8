// GUID text, apartments, the generic class factory with the module lock
// count, and class creation through the registry store.
#include <string>

#include <gtest/gtest.h>

#include "platform/com.h"
#include "platform/registry.h"

namespace {

// {5E92A0D4-71B3-4C8F-A046-2B9D3E6F1C75}
constexpr CLSID kTestClass = {0x5E92A0D4, 0x71B3, 0x4C8F, {0xA0, 0x46, 0x2B, 0x9D, 0x3E, 0x6F, 0x1C, 0x75}};
constexpr CLSID kOtherClass = {0x5E92A0D4, 0x71B3, 0x4C8F, {0xA0, 0x46, 0x2B, 0x9D, 0x3E, 0x6F, 0x1C, 0x76}};

TEST(Guid, HasTheRegistryTextForm) {
  OLECHAR text[39];
  EXPECT_EQ(StringFromGUID2(kTestClass, text, 39), 39);
  EXPECT_EQ(std::u16string(text), u"{5E92A0D4-71B3-4C8F-A046-2B9D3E6F1C75}");
  EXPECT_EQ(StringFromGUID2(kTestClass, text, 38), 0);
}

TEST(Guid, EqualityLooksAtEveryByte) {
  EXPECT_TRUE(IsEqualGUID(kTestClass, kTestClass));
  EXPECT_FALSE(kTestClass == kOtherClass);
  EXPECT_TRUE(kTestClass != kOtherClass);
  EXPECT_FALSE(IID_IUnknown == IID_IDispatch);
}

TEST(Guid, ReadsBackFromItsRegistryTextFormInEitherCase) {
  CLSID parsed;
  EXPECT_EQ(CLSIDFromString(u"{5E92A0D4-71B3-4C8F-A046-2B9D3E6F1C75}", &parsed), S_OK);
  EXPECT_EQ(parsed, kTestClass);
  EXPECT_EQ(CLSIDFromString(u"{5e92a0d4-71b3-4c8f-a046-2b9d3e6f1c76}", &parsed), S_OK);
  EXPECT_EQ(parsed, kOtherClass);
  for (const char16_t* bad : {u"", u"5E92A0D4-71B3-4C8F-A046-2B9D3E6F1C75", u"{5E92A0D4-71B3-4C8F-A046-2B9D3E6F1C7}",
                              u"{5E92A0D4-71B3-4C8F-A046-2B9D3E6F1C75}x", u"{5E92A0D4-71B3-4C8F+A046-2B9D3E6F1C75}",
                              u"{5E92A0D4-71B3-4C8F-A046-2B9D3E6F1CG5}"}) {
    EXPECT_EQ(CLSIDFromString(bad, &parsed), CO_E_CLASSSTRING) << std::u16string(bad).size();
    EXPECT_EQ(parsed, CLSID{});
  }
}

TEST(Guid, AProgIdNamesTheClassItsRegistryKeyGives) {
  CLSID found = kOtherClass;
  EXPECT_EQ(CLSIDFromProgID(u"Test.Class", &found), CO_E_CLASSSTRING);
  HKEY key = nullptr;
  ASSERT_EQ(RegCreateKeyA(HKEY_CLASSES_ROOT, "Test.Class\\CLSID", &key), ERROR_SUCCESS);
  const std::string text = platform::guid_string(kTestClass);
  ASSERT_EQ(RegSetValueExA(key, nullptr, 0, REG_SZ, reinterpret_cast<const BYTE*>(text.c_str()),
                           static_cast<DWORD>(text.size() + 1)),
            ERROR_SUCCESS);
  RegCloseKey(key);
  EXPECT_EQ(CLSIDFromProgID(u"test.class", &found), S_OK);
  EXPECT_EQ(found, kTestClass);
}

TEST(Apartment, TheFirstInitialisationOfAThreadIsSOkAndFurtherOnesSFalse) {
  EXPECT_EQ(CoInitialize(nullptr), S_OK);
  EXPECT_EQ(CoInitialize(nullptr), S_FALSE);
  CoUninitialize();
  CoUninitialize();
  EXPECT_EQ(CoInitialize(nullptr), S_OK);
  CoUninitialize();
}

// A module with one class whose objects hold a module lock while they live.
platform::ComModule test_module;

class TestObject final : public platform::ComObject<IUnknown> {
 public:
  TestObject() : ComObject(test_module) {}

 private:
  bool answers(REFIID) const override { return false; }
};

HRESULT create_test_object(REFIID iid, void** object) {
  TestObject* created = new TestObject;
  created->AddRef();
  const HRESULT result = created->QueryInterface(iid, object);
  created->Release();
  return result;
}

HRESULT get_test_class_object(REFCLSID clsid, REFIID iid, void** object) {
  return platform::get_class_object(test_module, kTestClass, create_test_object, clsid, iid, object);
}

TEST(ClassFactory, ServesOnlyItsOwnClass) {
  void* object = &object;
  EXPECT_EQ(get_test_class_object(kOtherClass, IID_IClassFactory, &object), CLASS_E_CLASSNOTAVAILABLE);
  EXPECT_EQ(object, nullptr);
  EXPECT_EQ(get_test_class_object(kTestClass, IID_IDispatch, &object), E_NOINTERFACE);
  EXPECT_EQ(object, nullptr);
  EXPECT_EQ(get_test_class_object(kTestClass, IID_IClassFactory, nullptr), E_POINTER);
  EXPECT_EQ(test_module.locks(), 0);
}

TEST(ClassFactory, ItsObjectsAndLocksKeepTheModuleLoaded) {
  IClassFactory* factory = nullptr;
  ASSERT_EQ(get_test_class_object(kTestClass, IID_IClassFactory, reinterpret_cast<void**>(&factory)), S_OK);
  EXPECT_EQ(test_module.can_unload_now(), S_FALSE);  // the factory's own code lives in the module

  IUnknown* object = nullptr;
  ASSERT_EQ(factory->CreateInstance(nullptr, IID_IUnknown, reinterpret_cast<void**>(&object)), S_OK);
  EXPECT_EQ(factory->LockServer(TRUE), S_OK);
  EXPECT_EQ(factory->Release(), 0u);
  EXPECT_EQ(test_module.locks(), 2);
  object->Release();
  EXPECT_EQ(test_module.can_unload_now(), S_FALSE);

  ASSERT_EQ(get_test_class_object(kTestClass, IID_IUnknown, reinterpret_cast<void**>(&factory)), S_OK);
  EXPECT_EQ(factory->LockServer(FALSE), S_OK);
  factory->Release();
  EXPECT_EQ(test_module.can_unload_now(), S_OK);
}

TEST(ClassFactory, RefusesAggregationAndUnknownInterfaces) {
  IClassFactory* factory = nullptr;
  ASSERT_EQ(get_test_class_object(kTestClass, IID_IClassFactory, reinterpret_cast<void**>(&factory)), S_OK);
  void* object = &object;
  EXPECT_EQ(factory->CreateInstance(factory, IID_IUnknown, &object), CLASS_E_NOAGGREGATION);  // any outer
  EXPECT_EQ(object, nullptr);
  EXPECT_EQ(factory->CreateInstance(nullptr, IID_IDispatch, &object), E_NOINTERFACE);
  EXPECT_EQ(object, nullptr);
  factory->Release();
  EXPECT_EQ(test_module.locks(), 0);
}

void register_server_path(REFCLSID clsid, const std::string& path) {
  HKEY key = nullptr;
  ASSERT_EQ(RegCreateKeyA(HKEY_CLASSES_ROOT, ("CLSID\\" + platform::guid_string(clsid) + "\\InprocServer32").c_str(),
                          &key),
            ERROR_SUCCESS);
  ASSERT_EQ(RegSetValueExA(key, nullptr, 0, REG_SZ, reinterpret_cast<const BYTE*>(path.c_str()),
                           static_cast<DWORD>(path.size() + 1)),
            ERROR_SUCCESS);
  RegCloseKey(key);
}

TEST(CoCreateInstance, NeedsAnInitialisedApartment) {
  void* object = &object;
  EXPECT_EQ(CoCreateInstance(kTestClass, nullptr, CLSCTX_INPROC_SERVER, IID_IUnknown, &object), CO_E_NOTINITIALIZED);
  EXPECT_EQ(object, nullptr);
}

TEST(CoCreateInstance, AClassWithoutAnInProcessServerIsNotRegistered) {
  ASSERT_EQ(CoInitialize(nullptr), S_OK);
  void* object = &object;
  EXPECT_EQ(CoCreateInstance(kTestClass, nullptr, 0x17, IID_IUnknown, &object), REGDB_E_CLASSNOTREG);
  EXPECT_EQ(object, nullptr);
  register_server_path(kTestClass, "/no/such/server.so");
  EXPECT_EQ(CoCreateInstance(kTestClass, nullptr, CLSCTX_LOCAL_SERVER, IID_IUnknown, &object), REGDB_E_CLASSNOTREG);
  CoUninitialize();
}

TEST(CoCreateInstance, AServerModuleThatDoesNotLoadIsNotFound) {
  ASSERT_EQ(CoInitialize(nullptr), S_OK);
  register_server_path(kTestClass, "/no/such/server.so");
  void* object = &object;
  EXPECT_EQ(CoCreateInstance(kTestClass, nullptr, CLSCTX_INPROC_SERVER, IID_IUnknown, &object), CO_E_DLLNOTFOUND);
  EXPECT_EQ(object, nullptr);
  CoUninitialize();
}

}  // namespace
