#include <cstring>
#include <vector>

#include <gtest/gtest.h>

#include "core/core.h"
#include "core/core_fixture.h"
#include "platform/modules.h"

namespace {

// What the recording dispatcher was called with: the object, the message and,
// for messages 40 to 43, the bytes of the parameter block.
struct Call {
  void* object;
  uint16_t message;
  void* parameter;
  uint8_t block[10];
};
std::vector<Call> g_calls;
uint32_t g_answer = 0;

uint32_t recording_dispatcher(void* object, uint16_t message, void* parameter) {
  Call call{object, message, parameter, {}};
  if (message >= GU2_MSG_GET_PARM_VALUE && message <= GU2_MSG_SET_PARM_STR)
    std::memcpy(call.block, parameter, message == GU2_MSG_GET_PARM_STR ? sizeof(GU2_PARMSTR) : sizeof(GU2_PARMVALUE));
  g_calls.push_back(call);
  return g_answer;
}

class MessageLayer : public CoreTest {
 protected:
  void SetUp() override {
    g_calls.clear();
    g_answer = 0;
  }
};

TEST_F(MessageLayer, SendsToTheDispatcherOfTheObjectsClassAndAnswersItsResult) {
  GU2_ImmedSetDispatcher(7, recording_dispatcher);
  g_answer = 0xCAFEF00D;
  uint16_t object[3] = {7, 0, 0};
  int parameter = 0;
  EXPECT_EQ(GU2_DoMethod_MSG(321, object, &parameter), 0xCAFEF00Du);
  ASSERT_EQ(g_calls.size(), 1u);
  EXPECT_EQ(g_calls[0].object, object);
  EXPECT_EQ(g_calls[0].message, 321);
  EXPECT_EQ(g_calls[0].parameter, &parameter);
}

struct UndeliverableCase {
  const char* what;
  uint16_t class_id;
  int32_t message;
};

class Undeliverable : public MessageLayer, public testing::WithParamInterface<UndeliverableCase> {};

TEST_P(Undeliverable, AnswersZeroWithoutCallingAnything) {
  for (uint16_t class_id = 1; class_id <= AP_CLASS_LIMIT; ++class_id) {
    if (class_id != 9) GU2_ImmedSetDispatcher(class_id, recording_dispatcher);
  }
  uint16_t object = GetParam().class_id;
  EXPECT_EQ(GU2_DoMethod_MSG(GetParam().message, &object, nullptr), 0u);
  EXPECT_TRUE(g_calls.empty());
}

INSTANTIATE_TEST_SUITE_P(Cases, Undeliverable,
                         testing::Values(UndeliverableCase{"class id 250", 250, 1},
                                         UndeliverableCase{"class id 65535", 65535, 1},
                                         UndeliverableCase{"empty slot", 9, 1},
                                         UndeliverableCase{"class id 0, never settable", 0, 1},
                                         UndeliverableCase{"message beyond 16 bits", 7, 65536 + 2},
                                         UndeliverableCase{"negative message", 7, -1}),
                         [](const auto& info) { return "Case" + std::to_string(info.index); });

TEST_F(MessageLayer, NullOrUnreadableObjectsAreRefused) {
  GU2_ImmedSetDispatcher(2, recording_dispatcher);
  EXPECT_EQ(GU2_DoMethod_MSG(1, nullptr, nullptr), 0u);
  EXPECT_EQ(GU2_DoMethod_MSG(1, reinterpret_cast<void*>(0x1000), nullptr), 0u);
  EXPECT_TRUE(g_calls.empty());
}

TEST_F(MessageLayer, SettersTakeIdsOneTo250AndAnswerThePreviousSlot) {
  EXPECT_EQ(GU2_ImmedSetDispatcher(7, recording_dispatcher), nullptr);
  EXPECT_EQ(GU2_ImmedSetDispatcher(7, AP2_Dispatcher_OBJ), recording_dispatcher);
  EXPECT_EQ(GU2_GetDispatcher(7), AP2_Dispatcher_OBJ);
  EXPECT_EQ(GU2_ImmedSetDispatcher(250, recording_dispatcher), nullptr);
  EXPECT_EQ(GU2_GetDispatcher(250), recording_dispatcher);
  EXPECT_EQ(GU2_ImmedSetDispatcher(0, recording_dispatcher), nullptr);
  EXPECT_EQ(GU2_GetDispatcher(0), nullptr);
  EXPECT_EQ(GU2_ImmedSetDispatcher(251, recording_dispatcher), nullptr);
  EXPECT_EQ(GU2_GetDispatcher(251), nullptr);
}

TEST_F(MessageLayer, ValidClassIdsAreBelow250WithCodeInTheirSlot) {
  GU2_ImmedSetDispatcher(7, recording_dispatcher);
  GU2_ImmedSetDispatcher(250, recording_dispatcher);
  EXPECT_EQ(GU2_IsValidClassID_MSG(7), 1);
  EXPECT_EQ(GU2_IsValidClassID_MSG(8), 0);
  EXPECT_EQ(GU2_IsValidClassID_MSG(250), 0);
  EXPECT_EQ(GU2_IsValidClassID_MSG(0), 0);
}

TEST_F(MessageLayer, SetDispatcherFindsAnExportOfTheModuleByName) {
  HMODULE library = apcom_LibraryModule();
  GU2_ImmedSetDispatcher(7, recording_dispatcher);
  EXPECT_EQ(GU2_SetDispatcher(7, library, "AP2_Dispatcher_OBJ"), recording_dispatcher);
  EXPECT_EQ(GU2_GetDispatcher(7), AP2_Dispatcher_OBJ);
  EXPECT_EQ(GU2_SetDispatcher(7, library, "AP99_Dispatcher_NONE"), AP2_Dispatcher_OBJ);
  EXPECT_EQ(GU2_GetDispatcher(7), nullptr);
  EXPECT_EQ(GU2_SetDispatcher(0, library, "AP2_Dispatcher_OBJ"), nullptr);
}

// The wrappers' blocks, byte by byte as the packed layouts give them.
TEST_F(MessageLayer, ParameterWrappersSendMessages40To43WithTheirBlocks) {
  GU2_ImmedSetDispatcher(13, recording_dispatcher);
  uint16_t object = 13;
  float value = 0;
  char buffer[16];
  const char* text = "abc";
  auto address = [](const void* pointer) { return static_cast<uint32_t>(reinterpret_cast<uintptr_t>(pointer)); };
  auto word_at = [](const uint8_t* block, int offset) {
    uint32_t word;
    std::memcpy(&word, block + offset, 4);
    return word;
  };
  auto half_at = [](const uint8_t* block, int offset) {
    uint16_t half;
    std::memcpy(&half, block + offset, 2);
    return half;
  };

  g_answer = 1;
  EXPECT_EQ(GU2_GetParmValue_MSG(&object, 5, &value), 1);
  EXPECT_EQ(GU2_SetParmValue_MSG(&object, 6, &value), 1);
  EXPECT_EQ(GU2_GetParmStrValue_MSG(&object, 7, buffer, sizeof buffer, 0xFFFF), 1);
  g_answer = 0xFFFFFFFF;  // -1: the index is beyond the table
  EXPECT_EQ(GU2_SetParmStrValue_MSG(&object, 8, text), -1);

  ASSERT_EQ(g_calls.size(), 4u);
  EXPECT_EQ(g_calls[0].message, 40);
  EXPECT_EQ(half_at(g_calls[0].block, 0), 5);
  EXPECT_EQ(word_at(g_calls[0].block, 2), address(&value));
  EXPECT_EQ(g_calls[1].message, 41);
  EXPECT_EQ(half_at(g_calls[1].block, 0), 6);
  EXPECT_EQ(word_at(g_calls[1].block, 2), address(&value));
  EXPECT_EQ(half_at(g_calls[1].block, 6), 0);  // force off
  EXPECT_EQ(g_calls[2].message, 42);
  EXPECT_EQ(half_at(g_calls[2].block, 0), 7);
  EXPECT_EQ(half_at(g_calls[2].block, 2), sizeof buffer);
  EXPECT_EQ(half_at(g_calls[2].block, 4), 0xFFFF);
  EXPECT_EQ(word_at(g_calls[2].block, 6), address(buffer));
  EXPECT_EQ(g_calls[3].message, 43);
  EXPECT_EQ(half_at(g_calls[3].block, 0), 8);
  EXPECT_EQ(word_at(g_calls[3].block, 2), address(text));
  EXPECT_EQ(half_at(g_calls[3].block, 6), 0);
}

}  // namespace
