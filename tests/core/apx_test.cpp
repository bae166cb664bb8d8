#include <cstddef>
#include <cstring>
#include <vector>

#include <gtest/gtest.h>

#include "core/core.h"
#include "core/core_fixture.h"
#include "support/other_process.h"

namespace {

class Framework : public CoreTest {
 protected:
  static APX_CLASSREC& record(uint16_t class_id) { return APX_GetClassTable()->classes[class_id]; }
};

TEST_F(Framework, ClassTableAndRecordsHaveTheirFixedLayout) {
  EXPECT_EQ(offsetof(APX_CLASSREC, created), 2u);
  EXPECT_EQ(offsetof(APX_CLASSREC, state), 4u);
  EXPECT_EQ(offsetof(APX_CLASSREC, instance_heap), 6u);
  EXPECT_EQ(offsetof(APX_CLASSREC, class_data), 10u);
  EXPECT_EQ(offsetof(APX_CLASSREC, parent_id), 14u);
  EXPECT_EQ(offsetof(APX_CLASSREC, further_data), 16u);
  EXPECT_EQ(offsetof(APX_CLASSREC, data_block), 20u);
  EXPECT_EQ(offsetof(APX_CLASSTABLE, framework_heap), 4u);
  EXPECT_EQ(offsetof(APX_CLASSTABLE, classes), 8u);
}

TEST_F(Framework, StatesAndParentsAreKeptForIdsBelow250) {
  EXPECT_EQ(APX_SetClassState(43, 1), 1);
  EXPECT_EQ(APX_SetClassParentID(43, 13), 1);
  EXPECT_EQ(APX_GetClassState(43), 1);
  EXPECT_EQ(APX_GetClassParentID(43), 13);
  EXPECT_EQ(APX_SetClassState(249, -1), 1);
  EXPECT_EQ(APX_GetClassState(249), -1);
  EXPECT_EQ(APX_SetClassState(250, 1), 0);
  EXPECT_EQ(APX_SetClassParentID(250, 2), 0);
  EXPECT_EQ(APX_GetClassState(250), 0);
  EXPECT_EQ(APX_GetClassParentID(250), 0);
}

TEST_F(Framework, ClassInfoAnswersCountsAndStateIntoTheOutsGiven) {
  record(7).live = 3;
  record(7).created = 5;
  record(7).state = 1;
  uint16_t live = 0, created = 0, state = 0;
  EXPECT_EQ(APX_GetAPClassInfo(7, &live, &created, &state), 1);
  EXPECT_EQ(live, 3);
  EXPECT_EQ(created, 5);
  EXPECT_EQ(state, 1);
  EXPECT_EQ(APX_GetAPClassInfo(7, nullptr, nullptr, nullptr), 1);
  EXPECT_EQ(APX_GetAPClassInfo(250, &live, &created, &state), 0);
}

TEST_F(Framework, ClassInfoAllCopiesTheFirst20BytesOfIds1To249) {
  for (uint16_t class_id = 0; class_id < AP_CLASS_LIMIT; ++class_id)
    std::memset(&record(class_id), class_id & 0xFF, sizeof(APX_CLASSREC));
  std::vector<APX_CLASSREC> copies(AP_CLASS_LIMIT);
  std::memset(copies.data(), 0xEE, copies.size() * sizeof(APX_CLASSREC));
  EXPECT_EQ(APX_GetClassInfoAll(copies.data()), 1);

  const auto* bytes = reinterpret_cast<const uint8_t*>(copies.data());
  for (uint16_t class_id = 0; class_id < AP_CLASS_LIMIT; ++class_id) {
    const uint8_t* entry = bytes + class_id * sizeof(APX_CLASSREC);
    const uint8_t expected = class_id == 0 ? 0xEE : static_cast<uint8_t>(class_id);
    for (size_t at = 0; at < 20; ++at) ASSERT_EQ(entry[at], expected) << class_id << " byte " << at;
    for (size_t at = 20; at < 24; ++at) ASSERT_EQ(entry[at], 0xEE) << class_id << " byte " << at;
  }
  EXPECT_EQ(APX_GetClassInfoAll(nullptr), 0);
}

TEST_F(Framework, VersionAndInfoAnswerTheirFixedValues) {
  uint32_t version = 0, second = 0;
  EXPECT_EQ(APX_GetAPVersion(&version, &second), 1);
  EXPECT_EQ(version, 0x20001u);
  EXPECT_EQ(second, 1u);
  uint16_t ids = 0, four = 0, two = 0;
  EXPECT_EQ(APX_GetAPInfo(&ids, &four, &two), 1);
  EXPECT_EQ(ids, 250);
  EXPECT_EQ(four, 4);
  EXPECT_EQ(two, 2);
  EXPECT_EQ(APX_GetAPVersion(nullptr, nullptr), 1);
  EXPECT_EQ(APX_GetAPInfo(nullptr, nullptr, nullptr), 1);
}

TEST_F(Framework, InitMakesTheFrameworkHeapAndTheRootClass) {
  APX_GetClassTable()->serial_counter = 99;
  EXPECT_EQ(APX_Init(), 1);
  GU3_HANDLE heap = APX_GetClassTable()->framework_heap;
  EXPECT_EQ(GU3_NumElements_MM(heap), 50u);
  EXPECT_EQ(GU3_LenElements_MM(heap), 24u);
  EXPECT_NE(GU3_HeapGetEx_MM(heap), nullptr);  // a cell heap
  EXPECT_EQ(APX_GetClassTable()->serial_counter, 0u);
  EXPECT_EQ(APX_GetClassState(AP2_CLASS_ID), 1);
  EXPECT_EQ(APX_GetClassParentID(AP2_CLASS_ID), 0);
  for (uint16_t class_id : {0, 1, 3, 40, 249}) EXPECT_EQ(APX_GetClassState(class_id), APX_NOT_REGISTERED) << class_id;
  EXPECT_NE(ap2_Create_OBJ(AP2_CLASS_ID, nullptr), nullptr);
}

TEST_F(Framework, NestedInitsShareOneSetUpUntilTheLastUnRegister) {
  ASSERT_EQ(APX_Init(), 1);
  GU3_HANDLE heap = APX_GetClassTable()->framework_heap;
  GU3_HANDLE root_heap = root_instance_heap();
  AP2_OBJECT* part = ap2_Create_OBJ(AP2_CLASS_ID, nullptr);

  // The second init makes neither heap again, so the first ones are not lost.
  ASSERT_EQ(APX_Init(), 1);
  EXPECT_EQ(APX_GetClassTable()->framework_heap, heap);
  EXPECT_EQ(root_instance_heap(), root_heap);
  EXPECT_EQ(record(AP2_CLASS_ID).live, 1);

  EXPECT_EQ(APX_UnRegister(), 1);
  EXPECT_EQ(GU3_NumElements_MM(heap), 50u);
  EXPECT_EQ(ap2_Destroy_OBJ(part, nullptr), AP_DESTROYED);
  EXPECT_EQ(APX_UnRegister(), 1);
  EXPECT_EQ(GU3_NumElements_MM(heap), 0u);
  EXPECT_EQ(GU3_NumElements_MM(root_heap), 0u);
  EXPECT_EQ(root_instance_heap(), nullptr);
  EXPECT_EQ(APX_UnRegister(), 0);
}

TEST_F(Framework, UnRegisterWithoutInitLeavesTheRegisteredRootClassAlone) {
  apcom_RegisterClasses(nullptr);
  AP_OBJECT* object = ap2_New_OBJ(AP2_CLASS_ID, nullptr);
  GU3_HANDLE root_heap = root_instance_heap();
  EXPECT_EQ(APX_UnRegister(), 0);
  EXPECT_EQ(root_instance_heap(), root_heap);
  EXPECT_EQ(GU3_NumElements_MM(root_heap), 1000u);
  EXPECT_EQ(ap2_Destroy_OBJ(reinterpret_cast<AP2_OBJECT*>(object), nullptr), AP_DESTROYED);
}

TEST_F(Framework, InitAndUnRegisterAfterRegistrationKeepTheRegisteredClasses) {
  apcom_RegisterClasses(nullptr);
  AP_OBJECT* object = ap2_New_OBJ(AP2_CLASS_ID, nullptr);
  GU3_HANDLE root_heap = root_instance_heap();
  ASSERT_EQ(APX_Init(), 1);
  EXPECT_EQ(APX_GetClassState(AP2_CLASS_ID), 1);
  EXPECT_EQ(root_instance_heap(), root_heap);
  EXPECT_EQ(APX_UnRegister(), 1);
  EXPECT_EQ(root_instance_heap(), root_heap);
  EXPECT_EQ(ap2_Destroy_OBJ(reinterpret_cast<AP2_OBJECT*>(object), nullptr), AP_DESTROYED);
}

TEST_F(Framework, FlagsShowTheBenchHeldWhileAnotherProcessHoldsItsMutex) {
  ASSERT_EQ(APX_Init(), 1);
  EXPECT_EQ(APX_GetAPFlags(), 0u);
  EXPECT_EQ(APX_SetAPFlag(4), 4u);
  {
    testsupport::OtherProcess bench("CorvaneBenchMutex", true);
    ASSERT_TRUE(bench.holds());
    EXPECT_EQ(APX_GetAPFlags(), 4u | APX_FLAG_BENCH_HELD);
    EXPECT_EQ(APX_ClearAPFlag(), 4u);  // the stored flags never carry the bench bit
  }
  EXPECT_EQ(APX_GetAPFlags(), 4u);
  // The probe gives the mutex back at once.
  testsupport::OtherProcess bench("CorvaneBenchMutex", true);
  EXPECT_TRUE(bench.holds());
}

TEST_F(Framework, HostServicesAnswerAsWhenNoHostObjectIsSet) {
  EXPECT_EQ(APX_GetAppCount(), 1);
  EXPECT_EQ(APX_GetGlobalObject(), nullptr);
  int accessory = 0;
  EXPECT_EQ(APX_InitAccessory(&accessory), 0);
}

}  // namespace
