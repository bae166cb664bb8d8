#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "array/array.h"
#include "core/core.h"
#include "core/params_fixture.h"
#include "core/tracked_params.h"
#include "platform/user.h"

namespace {

using namespace paramstest;

// Every accessor pair reached through one signature: the value as bytes.
using Accessor = int16_t (*)(void* object, uint16_t index, void* value);

struct Pair {
  const char* type;
  Accessor get;
  Accessor set;
};

#define PAIR(Type, ValueType)                                                                   \
  Pair {                                                                                        \
    #Type,                                                                                      \
        [](void* object, uint16_t index, void* value) {                                         \
          return GU2_##Type##GetParmValue_MSG(object, index, static_cast<ValueType*>(value));   \
        },                                                                                      \
        [](void* object, uint16_t index, void* value) {                                         \
          return GU2_##Type##SetParmValue_MSG(object, index, static_cast<ValueType*>(value));   \
        }                                                                                       \
  }

// One accessor pair with a row of its own type, a value the row accepts,
// and a row of another type too large for it.
struct AccessorCase {
  Pair pair;
  uint16_t right_row;
  std::string value;  // the bytes a set gives, as large as the row
  uint16_t wrong_row;
  bool get_box;  // a failed get raises the box
  bool set_box;
};

std::ostream& operator<<(std::ostream& out, const AccessorCase& given) { return out << given.pair.type; }

class TypedAccessors : public TrackedParams, public testing::WithParamInterface<AccessorCase> {
 protected:
  static size_t boxes() { return platform::message_boxes().size(); }
  static std::string row_bytes(AP13_CHILD* object, uint16_t row) { return stored(object, row); }
};

TEST_P(TypedAccessors, GetOfItsOwnTypeCopiesTheStoredValue) {
  const AccessorCase& given = GetParam();
  AP13_CHILD* object = this->object();
  std::vector<char> buffer(AP13_LARGEST_VALUE, '#');
  EXPECT_EQ(given.pair.get(object, given.right_row, buffer.data()), 1);
  const std::string expected = row_bytes(object, given.right_row);
  if (given.right_row == kPStr) {
    EXPECT_STREQ(buffer.data(), "pascal");  // the stored length byte gives way to a terminated text
  } else {
    EXPECT_EQ(std::string(buffer.data(), expected.size()), expected);
  }
  EXPECT_EQ(boxes(), 0u);
}

TEST_P(TypedAccessors, SetOfItsOwnTypeStoresTheValue) {
  const AccessorCase& given = GetParam();
  AP13_CHILD* object = this->object();
  std::string value = given.value;
  EXPECT_EQ(given.pair.set(object, given.right_row, value.data()), 1);
  std::vector<char> back(AP13_LARGEST_VALUE, '\0');
  get(object, given.right_row, back.data());
  EXPECT_EQ(std::string(back.data(), given.value.size()), given.value);
  EXPECT_EQ(boxes(), 0u);
}

TEST_P(TypedAccessors, GetOfAnotherTypeRaisesTheBoxAndWritesNothing) {
  const AccessorCase& given = GetParam();
  AP13_CHILD* object = this->object();
  std::vector<char> buffer(AP13_LARGEST_VALUE, '#');
  EXPECT_EQ(given.pair.get(object, given.wrong_row, buffer.data()), 0);
  EXPECT_EQ(std::string(buffer.begin(), buffer.end()), std::string(AP13_LARGEST_VALUE, '#'));
  ASSERT_EQ(boxes(), given.get_box ? 1u : 0u);
  if (given.get_box) {
    EXPECT_EQ(platform::message_boxes()[0].caption, "Assertion Failure");
    EXPECT_NE(platform::message_boxes()[0].text.find(std::string("GU2_") + given.pair.type + "GetParmValue_MSG"),
              std::string::npos);
  }
}

TEST_P(TypedAccessors, SetOfAnotherTypeRaisesTheBoxAndChangesNothing) {
  const AccessorCase& given = GetParam();
  AP13_CHILD* object = this->object();
  const std::string before = row_bytes(object, given.wrong_row);
  std::string value = given.value + std::string(AP13_LARGEST_VALUE, '\0');
  EXPECT_EQ(given.pair.set(object, given.wrong_row, value.data()), 0);
  EXPECT_EQ(row_bytes(object, given.wrong_row), before);
  ASSERT_EQ(boxes(), given.set_box ? 1u : 0u);
  if (given.set_box) {
    EXPECT_NE(platform::message_boxes()[0].text.find(std::string("GU2_") + given.pair.type + "SetParmValue_MSG"),
              std::string::npos);
  }
}

template <typename T>
std::string bytes(T value) {
  return bytes_of(value);
}
// A text as the row holds it after a set: its characters and NULs to the size.
std::string text_row(const char* text, size_t size) {
  std::string row(text);
  row.resize(size, '\0');
  return row;
}

// Wrong rows are larger than the accessor's size, so that no other type
// fits: 2-byte accessors meet the Long row, 4-byte ones the Double row.
INSTANTIATE_TEST_SUITE_P(
    Members, TypedAccessors,
    testing::Values(
        AccessorCase{PAIR(Bool, int16_t), kBool, bytes<int16_t>(0), kLong, true, true},
        AccessorCase{PAIR(Int, int16_t), kInt, bytes<int16_t>(6), kLong, false, true},
        AccessorCase{PAIR(Word, uint16_t), kWord, bytes<uint16_t>(3), kLong, true, true},
        AccessorCase{PAIR(Long, int32_t), kLong, bytes<int32_t>(100000), kDouble, true, true},
        AccessorCase{PAIR(DWord, uint32_t), kDWord, bytes<uint32_t>(9), kDouble, true, true},
        AccessorCase{PAIR(Single, float), kSingle, bytes<float>(0.75f), kDouble, true, true},
        AccessorCase{PAIR(Float, float), kSingle, bytes<float>(0.25f), kDouble, true, false},
        AccessorCase{PAIR(Double, double), kDouble, bytes<double>(2.0), kString, true, true},
        AccessorCase{PAIR(String, char), kString, text_row("changed", 80), kBool, true, true},
        AccessorCase{PAIR(PStr, char), kPStr, std::string("short"), kWord, true, true},
        AccessorCase{PAIR(WinID, HWND), kWinID, bytes<uint32_t>(0x1234), kDouble, true, true},
        AccessorCase{PAIR(Instance, HINSTANCE), kWinID, bytes<uint32_t>(0x2345), kDouble, true, true},
        AccessorCase{PAIR(Icon, HANDLE), kWinID, bytes<uint32_t>(0x3456), kDouble, true, true},
        AccessorCase{PAIR(Cursor, HANDLE), kWinID, bytes<uint32_t>(0x4567), kDouble, true, true},
        AccessorCase{PAIR(Handle, HANDLE), kWinID, bytes<uint32_t>(0x5678), kDouble, true, true},
        AccessorCase{PAIR(LList, GU1_LINKLIST), kLList, std::string("abcdefghijklmnopqrstuvwx"), kString, true, true},
        AccessorCase{PAIR(Color, DWORD), kColor, bytes<uint32_t>(0x0000FF00), kDouble, true, true},
        AccessorCase{PAIR(ColRef, DWORD), kColor, bytes<uint32_t>(0x00FF0000), kDouble, true, true},
        AccessorCase{PAIR(AP4Addr, AP_OBJECT*), kAP4Addr, bytes<uint32_t>(0x10000), kDouble, true, true},
        AccessorCase{PAIR(STStrArray, GU3_HANDLE), kStrArray, bytes<uint32_t>(0), kDouble, true, true},
        AccessorCase{PAIR(GU3MemFloatAddr, GU3_HANDLE), kFloatAddr, bytes<uint32_t>(0), kDouble, true, true},
        AccessorCase{PAIR(GU3MemBoolAddr, GU3_HANDLE), kBoolAddr, bytes<uint32_t>(0), kDouble, true, true},
        AccessorCase{PAIR(GU3MemWordAddr, GU3_HANDLE), kWordAddr, bytes<uint32_t>(0), kDouble, false, true},
        AccessorCase{PAIR(GU3MemLongAddr, GU3_HANDLE), kLongAddr, bytes<uint32_t>(0), kDouble, true, true},
        AccessorCase{PAIR(GU3MemDoubleAddr, GU3_HANDLE), kDoubleAddr, bytes<uint32_t>(0), kDouble, true, true},
        AccessorCase{PAIR(GU3MemDWordAddr, GU3_HANDLE), kDWordAddr, bytes<uint32_t>(0), kDouble, true, true},
        // The address pair takes only its own codes, each exactly: a DWord of the same size fails.
        AccessorCase{PAIR(Addr, uint32_t), kAddr, bytes<uint32_t>(0x8000), kDWord, true, true}),
    [](const auto& info) { return std::string(info.param.pair.type); });

class AddressTypes : public TrackedParams, public testing::WithParamInterface<uint16_t> {};

TEST_P(AddressTypes, AddressPairReadsEveryAddressType) {
  AP13_CHILD* object = this->object();
  uint32_t value = 0xFFFFFFFF;
  EXPECT_EQ(GU2_AddrGetParmValue_MSG(object, GetParam(), &value), 1);
  EXPECT_EQ(value, 0u);
  EXPECT_TRUE(platform::message_boxes().empty());
}

INSTANTIATE_TEST_SUITE_P(Rows, AddressTypes,
                         testing::Values(kAddr, kAP4Addr, kStrArray, kFloatAddr, kBoolAddr, kWordAddr, kLongAddr,
                                         kDoubleAddr, kDWordAddr));

class ParameterChecks : public TrackedParams {};

TEST_F(ParameterChecks, AnotherTypeOfAtMostTheSizePassesUnlessOnlyTheTypeIsAllowed) {
  AP13_CHILD* object = this->object();
  uint16_t word = 0;
  EXPECT_EQ(GU2_WordGetParmValue_MSG(object, kBool, &word), 1);  // a Bool row has 2 bytes too
  EXPECT_EQ(word, 1);                                             // its default TRUE
  EXPECT_EQ(GU2_CheckParm_MSG(object, kBool, &word, 2, AP13_TYPE_WORD), 1);
  EXPECT_EQ(GU2_CheckParmEx_MSG(object, kBool, &word, 2, AP13_TYPE_WORD, 0), 0);
  EXPECT_EQ(GU2_CheckParmEx_MSG(object, kBool, &word, 2, AP13_TYPE_BOOL, 0), 1);
  EXPECT_TRUE(platform::message_boxes().empty());
}

struct BadTargetCase {
  const char* what;
  int target;  // 0 null, 1 class 250, 2 a list, 3 the test object with the index = count
};

class BadTargets : public TrackedParams, public testing::WithParamInterface<BadTargetCase> {};

TEST_P(BadTargets, FailTheCheckWithTheBox) {
  uint16_t beyond_table[3] = {AP_CLASS_LIMIT, 0, 0};
  uint16_t list_class = AP40_CLASS_ID;
  AP_WINDOWPARM no_window{nullptr, AP40_NO_KEY};
  void* targets[] = {nullptr, beyond_table, ap_result_object<void>(send(AP_MSG_NEW, &list_class, &no_window)), object()};
  void* target = targets[GetParam().target];
  const uint16_t index = GetParam().target == 3 ? static_cast<uint16_t>(kRowCount) : 0;
  int32_t value = 0;
  EXPECT_EQ(GU2_CheckParm_MSG(target, index, &value, 4, AP13_TYPE_LONG), 0);
  EXPECT_EQ(GU2_LongSetParmValue_MSG(target, index, &value), 0);
  EXPECT_EQ(platform::message_boxes().size(), 1u);
}

INSTANTIATE_TEST_SUITE_P(Cases, BadTargets,
                         testing::Values(BadTargetCase{"NullObject", 0}, BadTargetCase{"ClassIdOf250", 1},
                                         BadTargetCase{"NoParameterPart", 2},
                                         BadTargetCase{"IndexEqualToTheCount", 3}),
                         [](const auto& info) { return std::string(info.param.what); });

TEST_F(ParameterChecks, AValueRefusedByTheObjectAnswersZeroWithoutABox) {
  AP13_CHILD* object = this->object();
  const int16_t two = 2;
  EXPECT_EQ(GU2_CheckParmExRW_MSG(object, kBool, &two, 2, AP13_TYPE_BOOL, 1, 1), 1);
  EXPECT_EQ(GU2_BoolSetParmValue_MSG(object, kBool, &two), 0);
  EXPECT_EQ(stored(object, kBool), bytes<int16_t>(1));
  const char bytes6[] = "xyzxyz";
  EXPECT_EQ(GU2_CArraySetParmValue_MSG(object, 6, kCArray, bytes6), 0);  // limits kind 0: only forced
  EXPECT_TRUE(platform::message_boxes().empty());
}

TEST_F(ParameterChecks, ByteArrayPairTakesTheCallersSizeAndRefusesSizeZero) {
  AP13_CHILD* object = this->object();
  char buffer[8] = "#######";
  EXPECT_EQ(GU2_CArrayGetParmValue_MSG(object, 6, kCArray, buffer), 1);
  EXPECT_EQ(std::string(buffer, 6), "ABCDEF");
  EXPECT_EQ(GU2_CArrayGetParmValue_MSG(object, 0, kCArray, buffer), 0);
  EXPECT_EQ(GU2_CArraySetParmValue_MSG(object, 0, kCArray, buffer), 0);
  EXPECT_EQ(GU2_CArrayGetParmValue_MSG(object, 6, kDouble, buffer), 0);  // 8 bytes do not fit in 6
  EXPECT_EQ(platform::message_boxes().size(), 3u);
}

TEST_F(ParameterChecks, StringGetChecksTheWholeRowItWillWrite) {
  AP13_CHILD* object = this->object();
  // 80 bytes from here would run past the end of the address space; the first byte alone would pass.
  auto* near_the_end = reinterpret_cast<char*>(static_cast<uintptr_t>(0xFFFFFFC0u));
  EXPECT_EQ(GU2_CheckParmExRW_MSG(object, kString, near_the_end, 1, AP13_TYPE_STRING, 1, 0), 1);
  EXPECT_EQ(GU2_StringGetParmValue_MSG(object, kString, near_the_end), 0);
  EXPECT_EQ(GU2_PStrGetParmValue_MSG(object, kPStr, near_the_end + 0x38), 0);  // 16 bytes from 0xFFFFFFF8
  EXPECT_EQ(platform::message_boxes().size(), 2u);
  char buffer[80];
  EXPECT_EQ(GU2_StringGetParmValue_MSG(object, kString, buffer), 1);
  EXPECT_STREQ(buffer, "hello");
}

TEST_F(ParameterChecks, ParameterPartIsFoundThroughTheChainOfParentParts) {
  AP13_CHILD* object = this->object();
  EXPECT_EQ(GU2_IsAP13Child(object), 1);
  EXPECT_EQ(GU2_IsAP13Child(object->params), 1);
  EXPECT_EQ(GU2_IsAP13Child(object->params->head.parent), 0);  // the root part
  uint16_t list_class = AP40_CLASS_ID;
  AP_WINDOWPARM no_window{nullptr, AP40_NO_KEY};
  EXPECT_EQ(GU2_IsAP13Child(ap_result_object<void>(send(AP_MSG_NEW, &list_class, &no_window))), 0);
  uint16_t array_class = AP4_CLASS_ID;
  AP4_NEWPARM one_by_one{nullptr, 1, 1};
  EXPECT_EQ(GU2_IsAP13Child(ap_result_object<void>(send(AP_MSG_NEW, &array_class, &one_by_one))), 0);
  EXPECT_EQ(GU2_IsAP13Child(nullptr), 0);
  AP_OBJECT unregistered{199, &object->params->head};
  EXPECT_EQ(GU2_IsAP13Child(&unregistered), 0);
  AP_OBJECT loop{kSetClass, nullptr};
  loop.parent = &loop;  // a damaged chain ends too
  EXPECT_EQ(GU2_IsAP13Child(&loop), 0);
}

}  // namespace
