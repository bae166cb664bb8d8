#include <cstdio>
#include <set>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "array/array.h"
#include "array/array_fixture.h"

namespace {

using namespace arraytest;

class ArrayClass : public ArrayTest {};

TEST_F(ArrayClass, RegistrationInstallsItUnderTheRootWithItsOwnHeap) {
  EXPECT_EQ(APX_GetClassState(AP4_CLASS_ID), 1);
  EXPECT_EQ(APX_GetClassParentID(AP4_CLASS_ID), AP2_CLASS_ID);
  EXPECT_EQ(GU2_GetDispatcher(AP4_CLASS_ID), AP4_Dispatcher_ARRAY);
  EXPECT_EQ(GU2_SetDispatcher(AP4_CLASS_ID, apcom_LibraryModule(), "AP4_Dispatcher_ARRAY"), AP4_Dispatcher_ARRAY);
  EXPECT_EQ(GU2_GetDispatcher(AP4_CLASS_ID), AP4_Dispatcher_ARRAY);
  EXPECT_EQ(GU3_NumElements_MM(array_class().instance_heap), 75u);
  EXPECT_EQ(GU3_LenElements_MM(array_class().instance_heap), sizeof(AP4_ARRAY));
}

TEST_F(ArrayClass, InitialisationAndTerminationAnswerOnlyClassFour) {
  EXPECT_EQ(ap4_InitClass(2), 0);
  EXPECT_EQ(ap4_TermClass(2), 0);
  EXPECT_EQ(ap4_TermClass(AP4_CLASS_ID), 1);
  EXPECT_EQ(packed(array_class().instance_heap), nullptr);
  EXPECT_EQ(make(1, 1), nullptr);  // no heap, no array
  EXPECT_EQ(ap4_TermClass(AP4_CLASS_ID), 0);
  EXPECT_EQ(ap4_InitClass(AP4_CLASS_ID), 1);
  EXPECT_NE(make(1, 1), nullptr);
}

TEST_F(ArrayClass, TheHeapGrowsPastItsFirst75Cells) {
  std::set<AP4_ARRAY*> arrays;
  for (int i = 0; i < 200; ++i) arrays.insert(make(1, 2));
  EXPECT_EQ(arrays.size(), 200u);
  EXPECT_EQ(arrays.count(nullptr), 0u);
  EXPECT_EQ(array_class().live, 200);
  for (AP4_ARRAY* array : arrays) EXPECT_EQ(destroy(array), AP_DESTROYED);
  EXPECT_EQ(array_class().live, 0);
  EXPECT_EQ(array_class().created, 200);
}

// Message numbers the table has no row for.
class UnlistedMessage : public ArrayTest, public testing::WithParamInterface<uint16_t> {};

TEST_P(UnlistedMessage, AnswersZero) {
  AP4_ARRAY* array = make_filled(2, 2);
  uint32_t block[16] = {};
  EXPECT_EQ(send(GetParam(), array, block), 0u);
  EXPECT_EQ(grid_of(array), filled_grid(2, 2));
}

INSTANTIATE_TEST_SUITE_P(Numbers, UnlistedMessage,
                         testing::Values(0, 19, 20, 21, 24, 25, 35, 84, 90, 131, 200, 330, 357, 359, 1000, 65535));

TEST_F(ArrayClass, RefusesObjectsOfOtherClasses) {
  AP_OBJECT* other = ap2_New_OBJ(AP2_CLASS_ID, nullptr);
  char name[32] = "";
  float value = 0.0f;
  AP4_GETELEMENTPARM get{{0, 0}, &value};
  EXPECT_EQ(AP4_Dispatcher_ARRAY(other, AP_MSG_CLASS_NAME, name), 0u);
  EXPECT_EQ(AP4_Dispatcher_ARRAY(other, AP_MSG_SIZE, nullptr), 0u);
  EXPECT_EQ(AP4_Dispatcher_ARRAY(other, AP4_MSG_GET_ELEMENT, &get), 0u);
  EXPECT_EQ(AP4_Dispatcher_ARRAY(nullptr, AP_MSG_SIZE, nullptr), 0u);
  uint16_t root_id = AP2_CLASS_ID;
  AP4_NEWPARM fresh{nullptr, 1, 1};
  EXPECT_EQ(AP4_Dispatcher_ARRAY(&root_id, AP_MSG_NEW, &fresh), 0u);
  EXPECT_STREQ(name, "");
}

TEST_F(ArrayClass, RefusesAMissingParameterBlock) {
  AP4_ARRAY* array = make_filled(2, 2);
  uint16_t class_id = AP4_CLASS_ID;
  EXPECT_EQ(send(AP_MSG_NEW, &class_id), 0u);
  EXPECT_EQ(send(AP_MSG_CREATE, &class_id), 0u);
  EXPECT_EQ(send(AP4_MSG_SET_ELEMENT, array), 0u);
  EXPECT_EQ(send(AP4_MSG_INSERT_ROWS, array), 0u);
  EXPECT_EQ(send(AP_MSG_DESTROY, array), 0u);
  EXPECT_EQ(array_class().live, 1);
}

// The messages of the common protocol that the root part answers reach the
// array's own part, which knows the array as its outermost object.
TEST_F(ArrayClass, RootMessagesReachTheArraysRootPart) {
  AP4_ARRAY* array = make(2, 3);
  NoticeCounter counter;
  watch(array, counter);
  EXPECT_EQ(send(AP_MSG_BEGIN_CHANGE, array), 1u);
  EXPECT_EQ(send(AP_MSG_GET_CHANGE_STATE, array), static_cast<uint32_t>(AP2_CHANGED));
  EXPECT_EQ(send(AP_MSG_END_CHANGE, array), 1u);
  EXPECT_EQ(counter.changes, 1);
  AP_WORDPARM saved{static_cast<uint16_t>(AP2_SAVED)};
  EXPECT_EQ(send(AP_MSG_SET_CHANGE_STATE, array, &saved), 1u);
  EXPECT_EQ(send(AP_MSG_GET_CHANGE_STATE, array), static_cast<uint32_t>(AP2_SAVED));

  char dump[512] = "";
  ASSERT_EQ(send(AP_MSG_DUMP, array, dump), 1u);
  // Class name and size are asked of the outermost object: the array.
  const uint32_t size = 46 + 18 + 2 * 3 * 4 + 18;
  char head[64];
  const uint16_t serial = reinterpret_cast<AP2_OBJECT*>(array->head.parent)->serial;
  std::snprintf(head, sizeof head, "AP4_ARRAY:  %d ", serial);
  EXPECT_EQ(std::string(dump).rfind(head, 0), 0u) << dump;
  EXPECT_NE(std::string(dump).find("Size:  " + std::to_string(size) + " Flags:  S"), std::string::npos) << dump;
}

}  // namespace
