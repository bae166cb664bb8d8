#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "spectrum/spectrum_fixture.h"

namespace {

using namespace spectrumtest;

class MessageTable : public SpectrumTest {};

TEST_F(MessageTable, TheClassIsRegisteredUnderTheArrayClass) {
  EXPECT_EQ(GU2_GetDispatcher(AP7_CLASS_ID), &AP7_Dispatcher_SPECTRUM);
  EXPECT_EQ(APX_GetClassParentID(AP7_CLASS_ID), AP4_CLASS_ID);
  EXPECT_EQ(APX_GetClassState(AP7_CLASS_ID), 1);
  EXPECT_NE(packed(spectrum_class().instance_heap), nullptr);
  EXPECT_EQ(GU3_LenElements_MM(spectrum_class().instance_heap), 558u);
  EXPECT_EQ(GU3_LenElements_MM(spectrum_class().data_block), 1200u);
}

// The message numbers the spectrum answers with nothing: the ARRAY numbers
// it does not mirror, the gaps of its table, 0 and every number above 440.
std::vector<uint16_t> unanswered() {
  std::vector<uint16_t> numbers = {0, 19, 20, 21, 43, 44, 52, 57, 58, 65, 66, 75, 143, 144, 151, 176, 272, 281,
                                   303, 304, 330, 331, 441, 500, 65535};
  auto span = [&numbers](uint16_t from, uint16_t to) {
    for (uint16_t n = from; n <= to; ++n) numbers.push_back(n);
  };
  span(24, 35);
  span(81, 90);
  span(96, 99);
  span(101, 111);
  span(113, 130);
  span(333, 356);
  span(358, 430);
  return numbers;
}

TEST_F(MessageTable, NumbersWithoutAnOperationAnswerZeroAndChangeNothing) {
  AP7_SPECTRUM* spectrum = make_ramp(4, 0.0f, 3.0f);
  std::strcpy(spectrum->name, "name");
  const std::string header_before(reinterpret_cast<const char*>(&record(spectrum)), sizeof(AP41_HEADERDATA));
  arraytest::NoticeCounter counter;
  arraytest::watch(spectrum->data, counter);
  for (uint16_t message : unanswered()) {
    uint8_t block[64] = {};
    EXPECT_EQ(send(message, spectrum, block), 0u) << message;
  }
  EXPECT_EQ(values(spectrum), (std::vector<float>{1, 2, 3, 4}));
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(&record(spectrum)), sizeof(AP41_HEADERDATA)), header_before);
  EXPECT_STREQ(spectrum->name, "name");
  EXPECT_EQ(counter.changes, 0);
  EXPECT_EQ(send(AP_MSG_GET_CHANGE_STATE, spectrum), 0u);
  EXPECT_EQ(destroy(spectrum), 1u);
}

TEST_F(MessageTable, SingleBeamIsTheHeadersYUnitFifteen) {
  AP7_SPECTRUM* spectrum = make(1);
  record(spectrum).y_units = 15;
  EXPECT_EQ(send(AP7_MSG_IS_SINGLE_BEAM, spectrum), 1u);
  for (uint32_t code : {16u, 17u, 22u, 23u}) {
    record(spectrum).y_units = code;
    EXPECT_EQ(send(AP7_MSG_IS_SINGLE_BEAM, spectrum), 0u) << code;
  }
  EXPECT_EQ(destroy(spectrum), 1u);
}

TEST_F(MessageTable, TheCommonProtocolGoesToTheDataArraysRootPart) {
  AP7_SPECTRUM* spectrum = make(2);
  arraytest::NoticeCounter counter;
  arraytest::watch(spectrum->data, counter);
  EXPECT_EQ(send(AP_MSG_BEGIN_CHANGE, spectrum), 1u);
  EXPECT_EQ(send(AP_MSG_BEGIN_CHANGE, spectrum), 1u);
  EXPECT_EQ(send(AP_MSG_END_CHANGE, spectrum), 1u);
  EXPECT_EQ(counter.changes, 0);
  EXPECT_EQ(send(AP_MSG_END_CHANGE, spectrum), 1u);
  EXPECT_EQ(counter.changes, 1);
  EXPECT_EQ(send(AP_MSG_END_CHANGE, spectrum), 0u);
  AP_WORDPARM word{77};
  EXPECT_EQ(send(AP_MSG_SET_USER_WORD, spectrum, &word), 1u);
  EXPECT_EQ(packed(reinterpret_cast<AP2_OBJECT*>(spectrum->data->head.parent)->user_word), 77u);
  EXPECT_EQ(destroy(spectrum), 1u);
}

TEST_F(MessageTable, CreateWithoutABlockMakesASpectrumWithoutPoints) {
  uint16_t class_id = AP7_CLASS_ID;
  auto* spectrum = ap_result_object<AP7_SPECTRUM>(send(AP_MSG_CREATE, &class_id, nullptr));
  ASSERT_NE(spectrum, nullptr);
  EXPECT_EQ(packed(spectrum->data->columns), 0u);
  EXPECT_EQ(packed(record(spectrum).points), 0u);
  EXPECT_EQ(destroy(spectrum), 1u);
}

}  // namespace
