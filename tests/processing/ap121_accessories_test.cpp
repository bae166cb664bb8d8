#include <filesystem>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "platform/registry.h"
#include "processing/quality_fixture.h"
#include "util/util_fixture.h"

namespace {

using qualitytest::send;
using qualitytest::as_parameter;
using qualitytest::set;

const std::string kSmartAcc = "SOFTWARE\\Corvane Instrument\\Talvo\\SmartAcc";

class AccessoryTableTest : public QualityTest {
 protected:
  void TearDown() override {
    QualityTest::TearDown();
    std::filesystem::remove_all(testsupport::home() + "/registry");
    platform::registry_drop_cache();
  }

  static HKEY subkey(const std::string& name) {
    HKEY key = nullptr;
    EXPECT_EQ(RegCreateKeyExA(HKEY_LOCAL_MACHINE, (kSmartAcc + "\\" + name).c_str(), 0, nullptr, 0, KEY_ALL_ACCESS,
                              nullptr, &key, nullptr),
              ERROR_SUCCESS);
    return key;
  }
  static void text_value(const std::string& name, const char* value_name, const std::string& value) {
    HKEY key = subkey(name);
    RegSetValueExA(key, value_name, 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                   static_cast<DWORD>(value.size() + 1));
    RegCloseKey(key);
  }
  static void dword_value(const std::string& name, const char* value_name, uint32_t value) {
    HKEY key = subkey(name);
    RegSetValueExA(key, value_name, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&value), sizeof value);
    RegCloseKey(key);
  }
  static void accessory(const std::string& name, uint32_t id, const std::string& title, const std::string& model) {
    dword_value(name, "IDCode", id);
    text_value(name, "Title", title);
    text_value(name, "SmartModel", model);
  }

  AP121_SQR* loaded_result(uint16_t accessory_id) {
    AP121_SQR* result = make_sqr();
    EXPECT_EQ(send(AP121_MSG_LOAD_ACCESSORIES, result), 1u);
    set<uint16_t>(result, AP121_ACCESSORY, accessory_id);
    return result;
  }
  // The message numbers of a help group of the result's accessory.
  static std::vector<uint16_t> group(AP121_SQR* result, int16_t index) {
    uint16_t count = 0;
    uint16_t list[16] = {};
    AP121_HELPGROUPPARM block{&index, &count, list};
    EXPECT_EQ(send(AP121_MSG_HELP_GROUP, result, &block), 1u);
    return std::vector<uint16_t>(list, list + count);
  }
  struct Found {
    uint16_t id = 0;
    std::string name, help_base;
  };
  static Found at(AP121_SQR* result, int16_t index) {
    Found found;
    const char* name = nullptr;
    const char* help_base = nullptr;
    AP121_ENTRYATPARM block{index, &found.id, &name, &help_base};
    if (send(AP121_MSG_ACCESSORY_AT, result, &block) == 1) {
      found.name = name;
      found.help_base = help_base;
    }
    return found;
  }
  static uint32_t count(AP121_SQR* result) { return send(AP121_MSG_ACCESSORY_COUNT, result); }
};

TEST_F(AccessoryTableTest, WithoutTheRegistryKeyTheTableHasTheBuiltInEntries) {
  AP121_SQR* result = loaded_result(0);
  EXPECT_EQ(count(result), 25u);
  const Found first = at(result, 0);
  EXPECT_EQ(first.id, 0u);
  EXPECT_EQ(first.name, "No Name");
  EXPECT_EQ(first.help_base, "");
  for (int16_t index = 0; index < 34; ++index) EXPECT_EQ(group(result, index), std::vector<uint16_t>{static_cast<uint16_t>(index + 2)});
  EXPECT_EQ(at(result, 1).id, 501u);
  EXPECT_EQ(at(result, 24).id, 16u);
  EXPECT_EQ(at(result, 25).name, "") << "beyond the count";
  EXPECT_EQ(at(result, -1).name, "") << "a negative index";
}

struct BuiltInCase {
  uint16_t id;
  int16_t group;
  uint16_t number;
};

TEST_F(AccessoryTableTest, BuiltInAccessoriesNameTheirOwnMessages) {
  const BuiltInCase cases[] = {{3, 4, 49}, {5, 33, 41}, {4, 5, 7}, {7, 24, 94}, {8, 24, 114}, {10, 4, 109},
                               {11, 6, 63}, {11, 30, 67}, {12, 6, 8}, {501, 30, 32}};
  for (const BuiltInCase& c : cases) {
    AP121_SQR* result = loaded_result(c.id);
    EXPECT_EQ(group(result, c.group), std::vector<uint16_t>{c.number}) << c.id << " " << c.group;
  }
}

TEST_F(AccessoryTableTest, TheEnergyWarningPointsSomeGroupsAtOneMessage) {
  const BuiltInCase cases[] = {{3, 6, 44}, {12, 8, 46}, {7, 30, 88}, {9, 6, 104}, {11, 8, 66}};
  for (const BuiltInCase& c : cases) {
    AP121_SQR* result = loaded_result(c.id);
    const std::vector<uint16_t> plain = group(result, c.group);
    send(AP121_MSG_SET_WARNINGS, result, as_parameter(0x80000008));
    EXPECT_EQ(group(result, c.group), std::vector<uint16_t>{c.number}) << c.id;
    EXPECT_NE(plain, std::vector<uint16_t>{c.number}) << c.id;
  }
  AP121_SQR* other = loaded_result(1);
  send(AP121_MSG_SET_WARNINGS, other, as_parameter(0x80000008));
  EXPECT_EQ(group(other, 6), std::vector<uint16_t>{8}) << "no override for accessory 1";
}

TEST_F(AccessoryTableTest, ARegistryDescriptionNamesItsAccessoryAndItsHelp) {
  accessory("Seven", 7, "Diamond ATR", "SmartSeven");
  text_value("Seven", "HelpFileBase", "diamond");
  dword_value("Seven", "Help6", 200);
  text_value("Seven", "Message4", "Clean the crystal");
  AP121_SQR* result = loaded_result(7);
  EXPECT_EQ(count(result), 25u);
  EXPECT_EQ(at(result, 15).id, 7u);
  EXPECT_EQ(at(result, 15).name, "Diamond ATR");
  EXPECT_EQ(at(result, 15).help_base, "diamond");
  EXPECT_EQ(group(result, 4), std::vector<uint16_t>{200});
  EXPECT_EQ(group(result, 6), std::vector<uint16_t>{83});
  int16_t help_message = 200;
  EXPECT_STREQ(ap_result_object<char>(send(AP121_MSG_MESSAGE_HELP, result, &help_message)), "diamond");
  int16_t plain_message = 83;
  EXPECT_EQ(send(AP121_MSG_MESSAGE_HELP, result, &plain_message), 0u);
  // Message4 is group 2, whose number is 4.
  int16_t text_message = 4;
  EXPECT_STREQ(ap_result_object<char>(send(AP121_MSG_MESSAGE_TEXT, result, &text_message)), "Clean the crystal");
  EXPECT_EQ(send(AP121_MSG_MESSAGE_TEXT, result, &plain_message), 0u);
}

TEST_F(AccessoryTableTest, ANewIdAddsAnEntryWithTheNumbersOfAccessory0) {
  accessory("New", 600, "Grazing angle", "Graze");
  AP121_SQR* result = loaded_result(600);
  EXPECT_EQ(count(result), 26u);
  EXPECT_EQ(at(result, 25).id, 600u);
  EXPECT_EQ(at(result, 25).name, "Grazing angle");
  EXPECT_EQ(group(result, 4), std::vector<uint16_t>{6});
  const char* name = nullptr;
  const char* help_base = nullptr;
  const uint16_t id = 600;
  AP121_ENTRYBYIDPARM block{0, &id, &name, &help_base};
  EXPECT_EQ(send(AP121_MSG_ACCESSORY_BY_ID, result, &block), 1u);
  EXPECT_STREQ(name, "Grazing angle");
}

TEST_F(AccessoryTableTest, AnIncompleteDescriptionIsPassedOverAndTheCompleteOnesKept) {
  accessory("a-first", 601, "Kept", "KeptModel");
  dword_value("z-last", "IDCode", 602);
  text_value("z-last", "Title", "No model");
  AP121_SQR* result = loaded_result(601);
  EXPECT_EQ(count(result), 26u);
  EXPECT_EQ(at(result, 25).name, "Kept");
}

TEST_F(AccessoryTableTest, RegistryTextsAreCutTo127Characters) {
  accessory("Long", 603, std::string(300, 't'), std::string(300, 'm'));
  text_value("Long", "HelpFileBase", std::string(200, 'h'));
  AP121_SQR* result = loaded_result(603);
  EXPECT_EQ(at(result, 25).name, std::string(127, 't'));
  EXPECT_EQ(at(result, 25).help_base, std::string(127, 'h'));
  int16_t id = 603;
  char name[300] = {};
  AP121_COPYNAMEPARM block{&id, name};
  EXPECT_EQ(send(AP121_MSG_COPY_NAME, result, &block), 1u);
  EXPECT_EQ(std::string(name), std::string(127, 'm'));
}

TEST_F(AccessoryTableTest, TheNameListTakesTheHostsNamesAndTheRegistryModels) {
  utiltest::ModuleBuilder builder;
  builder.group(461, {{7, "Seven", 0}, {9, "Nine", 0}});
  utiltest::add_resource_module("accessories.dll", builder);
  accessory("Seven", 7, "Diamond ATR", "SmartSeven");
  accessory("New", 604, "New one", "NewModel");
  AP121_SQR* result = loaded_result(0);
  for (uint16_t id : {7, 9, 604}) EXPECT_EQ(send(AP121_MSG_HAS_NAME, result, &id), 1u) << id;
  uint16_t absent = 8;
  EXPECT_EQ(send(AP121_MSG_HAS_NAME, result, &absent), 0u);
  const std::pair<int16_t, const char*> names[] = {{7, "SmartSeven"}, {9, "Nine"}, {604, "NewModel"}};
  for (const auto& [id_value, expected] : names) {
    int16_t id = id_value;
    char name[128] = {};
    AP121_COPYNAMEPARM block{&id, name};
    EXPECT_EQ(send(AP121_MSG_COPY_NAME, result, &block), 1u);
    EXPECT_STREQ(name, expected);
  }
}

TEST_F(AccessoryTableTest, TheTableIsLoadedOnceAndAfreshAfterTheLibraryIsLoadedAgain) {
  AP121_SQR* result = loaded_result(0);
  EXPECT_EQ(count(result), 25u);
  accessory("Late", 605, "Late", "Late");
  EXPECT_EQ(send(AP121_MSG_LOAD_ACCESSORIES, result), 1u);
  EXPECT_EQ(count(result), 25u) << "loaded once";
  spectrumtest::destroy(result);
  forget(result);
  // The class goes and comes back, as at an unload and a new load.
  ap121_TermClass_SQR(AP121_CLASS_ID);
  GU2_ImmedSetDispatcher(AP121_CLASS_ID, nullptr);
  ASSERT_EQ(ap121_InitClass_SQR(AP121_CLASS_ID), 1);
  AP121_SQR* again = loaded_result(0);
  EXPECT_EQ(count(again), 26u);
}

struct CodeCase {
  uint16_t old_code;
  uint16_t code;
};

TEST(AccessoryCodeMap, OldCodesBecomeCurrentOnes) {
  const CodeCase cases[] = {{105, 5}, {100, 0}, {14, 9}, {16, 0},   {1, 3},  {3, 1},    {4, 6},    {5, 501},
                            {12, 508}, {13, 7}, {15, 11}, {17, 13}, {20, 16}, {21, 12}, {22, 0}, {0, 0},
                            {99, 0},   {0xFFFF, 0}};
  for (const CodeCase& c : cases) {
    uint16_t code = c.old_code;
    EXPECT_EQ(ap121_MapAccessoryCode(&code), 1u);
    EXPECT_EQ(code, c.code) << c.old_code;
  }
  EXPECT_EQ(ap121_MapAccessoryCode(nullptr), 0u);
}

}  // namespace
