#include <clocale>
#include <cstdio>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "core/core.h"
#include "core/core_fixture.h"
#include "platform/modules.h"
#include "support/test_home.h"
#include "util/util.h"

namespace {

class Registration : public CoreTest {
 protected:
  static APX_CLASSREC& record(uint16_t class_id) { return APX_GetClassTable()->classes[class_id]; }
};

TEST_F(Registration, InstallsTheRootClassReadyWithItsDispatcherAndNoParent) {
  EXPECT_EQ(apcom_RegisterClasses(apcom_LibraryModule()), 1);
  EXPECT_EQ(APX_GetClassState(AP2_CLASS_ID), 1);
  EXPECT_EQ(APX_GetClassParentID(AP2_CLASS_ID), 0);
  EXPECT_EQ(GU2_GetDispatcher(AP2_CLASS_ID), AP2_Dispatcher_OBJ);
  EXPECT_EQ(GU2_GetDispatcher(3), nullptr);
  uint16_t class_id = AP2_CLASS_ID;
  AP_NEWPARM parameter{AP2_CLASS_ID, nullptr};
  EXPECT_NE(GU2_DoMethod_MSG(AP_MSG_NEW, &class_id, &parameter), 0u);
}

TEST_F(Registration, RecordsTheResourceLibrariesAndReadsTheInternationalCharacters) {
  testsupport::write_file("windows/win.ini", "[intl]\r\nsDecimal=,\r\nsList=|\r\n");
  HMODULE module = apcom_LibraryModule();
  apcom_RegisterClasses(module);
  EXPECT_EQ(GU4_GetDLLInst("talvosea.dll"), module);
  EXPECT_EQ(GU4_GetDLLInst("talvo_ap.dll"), module);
  EXPECT_EQ(GU4_GetResourceInstance(0), module);
  EXPECT_EQ(GUX_GetInternationalChar(GUX_DECIMAL), ',');
  EXPECT_EQ(GUX_GetInternationalChar(GUX_LIST), '|');
  EXPECT_EQ(GUX_GetInternationalChar(GUX_THOUSANDS), ',');
  apcom_UnregisterClasses();
  EXPECT_EQ(GU4_GetDLLInst("talvosea.dll"), nullptr);
  EXPECT_EQ(GU4_GetDLLInst("talvo_ap.dll"), nullptr);
  EXPECT_EQ(GU4_GetResourceInstance(0), nullptr);
  GUX_SetInternationalChar('.', GUX_DECIMAL);
  GUX_SetInternationalChar(';', GUX_LIST);
  std::remove((testsupport::home() + "/windows/win.ini").c_str());  // later registrations read the defaults
}

TEST_F(Registration, AParentSetBeforehandIsKept) {
  APX_SetClassParentID(AP2_CLASS_ID, 9);
  apcom_RegisterClasses(nullptr);
  EXPECT_EQ(APX_GetClassParentID(AP2_CLASS_ID), 9);
}

TEST_F(Registration, RunningTwiceKeepsTheClassesAndTheirObjects) {
  apcom_RegisterClasses(nullptr);
  GU3_HANDLE heap = root_instance_heap();
  AP_OBJECT* object = ap2_New_OBJ(AP2_CLASS_ID, nullptr);
  EXPECT_EQ(apcom_RegisterClasses(nullptr), 1);
  EXPECT_EQ(root_instance_heap(), heap);
  EXPECT_EQ(record(AP2_CLASS_ID).live, 1);
  EXPECT_EQ(ap2_Destroy_OBJ(reinterpret_cast<AP2_OBJECT*>(object), nullptr), AP_DESTROYED);
}

TEST_F(Registration, KeepsNumbersInTheCLocale) {
  apcom_RegisterClasses(nullptr);
  EXPECT_STREQ(std::setlocale(LC_NUMERIC, nullptr), "C");
  char text[8];
  std::snprintf(text, sizeof text, "%.1f", 1.5);
  EXPECT_STREQ(text, "1.5");
}

// As the shared module's end does it: unregister the classes, then the list
// heap, which by then finds no memory manager.
TEST_F(Registration, UnloadTerminatesTheClassesThenReleasesTheMemoryManager) {
  apcom_RegisterClasses(apcom_LibraryModule());
  ASSERT_EQ(GU1_Register_LL(), 1);
  GU3_HANDLE root_heap = root_instance_heap();
  GU3_HANDLE block = GU3_Allocate_MM(4, 4, GU3_KIND_GLOBAL);
  char* text = GU3_StoreStringEx("kept until unload");

  EXPECT_TRUE(apcom_UnregisterClasses());
  EXPECT_EQ(root_instance_heap(), nullptr);
  EXPECT_EQ(GU3_NumElements_MM(root_heap), 0u);
  EXPECT_EQ(GU3_NumElements_MM(block), 0u);
  EXPECT_EQ(GU3_VerifyStringSize(text, 1), 2);
  EXPECT_EQ(GU1_UnRegister_LL(), 0);
  EXPECT_EQ(GU1_GetMainLLHeap_LL(), nullptr);
  // The class record and the dispatcher keep what registration wrote.
  EXPECT_EQ(APX_GetClassState(AP2_CLASS_ID), 1);
  EXPECT_EQ(GU2_GetDispatcher(AP2_CLASS_ID), AP2_Dispatcher_OBJ);
}

TEST_F(Registration, UnregisteringWithoutRegisteringReleasesNothing) {
  ASSERT_EQ(APX_Init(), 1);
  AP2_OBJECT* part = ap2_Create_OBJ(AP2_CLASS_ID, nullptr);
  GU3_HANDLE block = GU3_Allocate_MM(4, 4, GU3_KIND_GLOBAL);
  EXPECT_TRUE(apcom_UnregisterClasses());
  EXPECT_EQ(GU3_NumElements_MM(block), 4u);
  EXPECT_EQ(ap2_Destroy_OBJ(part, nullptr), AP_DESTROYED);
}

TEST_F(Registration, LibraryModuleAnswersTheDispatchersByName) {
  HMODULE library = apcom_LibraryModule();
  EXPECT_EQ(GetModuleHandleA("gaml2kov.dll"), library);
  EXPECT_EQ(reinterpret_cast<AP_DISPATCHER>(GetProcAddress(library, "AP2_Dispatcher_OBJ")), AP2_Dispatcher_OBJ);
  EXPECT_EQ(GetProcAddress(library, "SecondaryInit"), nullptr);
}

// A class of the test that one registrar registers.
constexpr uint16_t kRegistrarClass = 60;
uint16_t g_init_answer = 1;
std::vector<std::string> g_registrar_calls;

uint32_t registrar_dispatcher(void*, uint16_t, void*) { return 1; }
uint16_t registrar_init(uint16_t class_id) {
  g_registrar_calls.push_back("init " + std::to_string(class_id));
  return g_init_answer;
}
uint16_t registrar_term(uint16_t class_id) {
  // The dispatcher is gone before the class ends.
  g_registrar_calls.push_back("term " + std::to_string(class_id) +
                              (GU2_GetDispatcher(class_id) == nullptr ? " without dispatcher" : " with dispatcher"));
  return 1;
}

class Registrar : public CoreTest {
 protected:
  void SetUp() override {
    g_init_answer = 1;
    g_registrar_calls.clear();
  }
};

TEST_F(Registrar, InstallsTheDispatcherForItsLifeWhenInitialisationAnswersOne) {
  {
    CApClassRegistrar registrar(kRegistrarClass, registrar_dispatcher, registrar_init, registrar_term,
                                GU2_ImmedSetDispatcher, APX_GetAPClassInfo);
    EXPECT_EQ(GU2_GetDispatcher(kRegistrarClass), registrar_dispatcher);
  }
  EXPECT_EQ(GU2_GetDispatcher(kRegistrarClass), nullptr);
  EXPECT_EQ(g_registrar_calls, (std::vector<std::string>{"init 60", "term 60 without dispatcher"}));
}

TEST_F(Registrar, InstallsNothingWhenInitialisationFails) {
  g_init_answer = 0;
  auto* registrar = new CApClassRegistrar(kRegistrarClass, registrar_dispatcher, registrar_init, registrar_term,
                                          GU2_ImmedSetDispatcher, APX_GetAPClassInfo);
  EXPECT_EQ(GU2_GetDispatcher(kRegistrarClass), nullptr);
  delete registrar;
  EXPECT_EQ(g_registrar_calls, (std::vector<std::string>{"init 60", "term 60 without dispatcher"}));
}

TEST_F(Registrar, WithoutASetDispatcherFunctionItNeitherRegistersNorTerminates) {
  { CApClassRegistrar registrar(kRegistrarClass, registrar_dispatcher, registrar_init, registrar_term, nullptr, nullptr); }
  { CApClassRegistrar registrar(0, nullptr, nullptr, nullptr, nullptr, nullptr); }
  EXPECT_TRUE(g_registrar_calls.empty());
  EXPECT_EQ(GU2_GetDispatcher(kRegistrarClass), nullptr);
}

}  // namespace
