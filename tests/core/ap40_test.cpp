#include <cstddef>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "array/array.h"
#include "core/core.h"
#include "core/object_fixture.h"
#include "core/params_fixture.h"
#include "core/tracked_params.h"
#include "files/files.h"
#include "support/test_home.h"

namespace {

// Lists and texts, made and reached by message as every caller does.
uint32_t send_to(uint16_t message, void* object, void* parameter = nullptr) {
  return GU2_DoMethod_MSG(message, object, parameter);
}
AP40_LLIST* make_list(uint16_t key = AP40_NO_KEY, HWND window = nullptr) {
  uint16_t class_id = AP40_CLASS_ID;
  AP_WINDOWPARM parameter{window, key};
  return ap_result_object<AP40_LLIST>(send_to(AP_MSG_NEW, &class_id, &parameter));
}
AP_OBJECT* make_text(const char* content) {
  uint16_t class_id = AP48_CLASS_ID;
  AP_WINDOWPARM parameter{nullptr, 0};
  auto* text = ap_result_object<AP_OBJECT>(send_to(AP_MSG_NEW, &class_id, &parameter));
  send_to(AP48_MSG_APPEND, text, const_cast<char*>(content));
  return text;
}
const char* content(AP_OBJECT* text) {
  const char* held = ap_result_object<const char>(send_to(AP48_MSG_TEXT, text));
  return held != nullptr ? held : "";
}
uint32_t add(AP40_LLIST* list, void* member) { return send_to(AP40_MSG_ADD, list, member); }
uint32_t remove(AP40_LLIST* list, AP_OBJECT* member, uint16_t destroy_it) {
  AP40_REMOVEPARM parameter{member, destroy_it};
  return send_to(AP40_MSG_REMOVE, list, &parameter);
}
AP_OBJECT* member_at(AP40_LLIST* list, uint32_t index) {
  AP40_INDEXPARM parameter{index};
  return ap_result_object<AP_OBJECT>(send_to(AP40_MSG_AT_INDEX, list, &parameter));
}
std::vector<AP_OBJECT*> members(AP40_LLIST* list) {
  std::vector<AP_OBJECT*> found;
  for (uint32_t index = 0; index < send_to(AP40_MSG_COUNT, list); ++index) found.push_back(member_at(list, index));
  return found;
}
std::vector<std::string> contents(AP40_LLIST* list) {
  std::vector<std::string> found;
  for (AP_OBJECT* member : members(list)) found.push_back(content(member));
  return found;
}
// A list of texts holding the given contents, in insertion order.
AP40_LLIST* list_of(std::initializer_list<const char*> texts, HWND window = nullptr) {
  AP40_LLIST* list = make_list(AP40_NO_KEY, window);
  for (const char* text : texts) add(list, make_text(text));
  return list;
}
AP2_OBJECT* part(AP40_LLIST* list) { return reinterpret_cast<AP2_OBJECT*>(packed(list->head.parent)); }

class Lists : public ObjectTest {};

TEST_F(Lists, RecordIs32BytesWithKeyAndMembersAfterTheHead) {
  EXPECT_EQ(offsetof(AP40_LLIST, key), 6u);
  EXPECT_EQ(offsetof(AP40_LLIST, members), 8u);
  EXPECT_EQ(offsetof(AP40_FINDPARM, value), 4u);
  EXPECT_EQ(offsetof(AP40_FINDPARM, start), 8u);
  EXPECT_EQ(offsetof(AP40_FINDPARM, direction), 12u);
  EXPECT_EQ(offsetof(AP40_ASKPARM, parameter), 2u);
  EXPECT_EQ(offsetof(AP40_SENDPASSINGPARM, message), 6u);
}

TEST_F(Lists, ClassInitialisationMakesAHeapOf80CellsOf32Bytes) {
  GU3_HANDLE heap = class_record(AP40_CLASS_ID).instance_heap;
  EXPECT_EQ(GU3_NumElements_MM(heap), 80u);
  EXPECT_EQ(GU3_LenElements_MM(heap), 32u);
  EXPECT_EQ(class_record(AP40_CLASS_ID).parent_id, AP2_CLASS_ID);
  EXPECT_EQ(GU2_GetDispatcher(AP40_CLASS_ID), AP40_Dispatcher_LLIST);
  EXPECT_EQ(ap40_InitClass(41), 0);
  EXPECT_EQ(ap40_TermClass(AP40_CLASS_ID), 1);
  EXPECT_EQ(make_list(), nullptr);
}

TEST_F(Lists, NewListIsInitialisedWithTheWindowAndTheKey) {
  HWND w = window();
  AP40_LLIST* list = make_list(7, w);
  ASSERT_NE(list, nullptr);
  EXPECT_EQ(list->key, 7);
  EXPECT_EQ(packed(list->members.count), 0u);
  EXPECT_EQ(packed(list->members.indirect), 1);
  EXPECT_EQ(packed(part(list)->outer), &list->head);
  EXPECT_EQ(packed(part(list)->dependents->count), 1u);
  EXPECT_EQ(class_record(AP40_CLASS_ID).live, 1);
  EXPECT_EQ(class_record(AP40_CLASS_ID).created, 1);
}

TEST_F(Lists, CreatedListHasKeyZeroAndTheOuterObjectItIsGiven) {
  AP_OBJECT outer{200, nullptr};
  uint16_t class_id = AP40_CLASS_ID;
  auto* list = ap_result_object<AP40_LLIST>(send(AP_MSG_CREATE, &class_id, &outer));
  ASSERT_NE(list, nullptr);
  EXPECT_EQ(list->key, 0);
  EXPECT_EQ(packed(part(list)->outer), &outer);
  uint16_t text_class = AP48_CLASS_ID;
  EXPECT_EQ(AP40_Dispatcher_LLIST(&text_class, AP_MSG_CREATE, nullptr), 0u);
}

TEST_F(Lists, WithoutAKeyMembersFollowTheOrderTheyWereAdded) {
  AP40_LLIST* list = make_list();
  AP_OBJECT* a = make_text("a");
  AP_OBJECT* b = make_text("b");
  AP_OBJECT* c = make_text("c");
  EXPECT_EQ(add(list, b), 0u);
  EXPECT_EQ(add(list, a), 1u);
  EXPECT_EQ(add(list, c), 2u);
  EXPECT_EQ(members(list), (std::vector<AP_OBJECT*>{b, a, c}));
  EXPECT_EQ(send(AP40_MSG_INDEX_OF, list, c), 2u);
  EXPECT_EQ(send(AP40_MSG_INDEX_OF, list, make_text("other")), AP40_NO_INDEX);
  EXPECT_EQ(member_at(list, 3), nullptr);
}

TEST_F(Lists, EveryAddAndRemoveIsOneChangeOfTheList) {
  HWND w = window();
  AP40_LLIST* list = make_list(AP40_NO_KEY, w);
  AP_OBJECT* a = make_text("a");
  add(list, a);
  add(list, make_text("b"));
  remove(list, a, 0);
  EXPECT_EQ(change_words(w).size(), 3u);
  EXPECT_EQ(add(list, nullptr), AP40_NO_INDEX);
  EXPECT_EQ(remove(list, a, 0), 0u);  // no longer a member
  EXPECT_EQ(change_words(w).size(), 3u);
}

TEST_F(Lists, RemoveDestroysTheMemberOnlyWhenAsked) {
  AP_OBJECT* kept = make_text("kept");
  AP_OBJECT* gone = make_text("gone");
  AP40_LLIST* list = make_list();
  add(list, kept);
  add(list, gone);
  EXPECT_EQ(remove(list, kept, 0), 1u);
  EXPECT_STREQ(content(kept), "kept");
  EXPECT_EQ(remove(list, gone, 1), 1u);
  EXPECT_EQ(class_record(AP48_CLASS_ID).live, 1);
  EXPECT_EQ(send(AP40_MSG_COUNT, list), 0u);
}

TEST_F(Lists, RemoveAnswersZeroWhenTheMembersDestroyIsRefused) {
  HWND holder = window();
  AP_OBJECT* held = make_text("held");
  add_window(held, holder, AP2_KIND_CANT_DESTROY);
  AP40_LLIST* list = make_list();
  add(list, held);
  EXPECT_EQ(remove(list, held, 1), 0u);
  EXPECT_EQ(send(AP40_MSG_COUNT, list), 0u);
  EXPECT_STREQ(content(held), "held");
}

struct NavigationCase {
  const char* what;
  uint16_t message;
  int start;  // index of the member given, -1 for none
  int expected;  // index of the member answered, -1 for none
};

class Navigation : public Lists, public testing::WithParamInterface<NavigationCase> {};

TEST_P(Navigation, AnswersTheMemberAtThatPlace) {
  const NavigationCase& given = GetParam();
  AP40_LLIST* list = list_of({"0", "1", "2"});
  AP_OBJECT* start = given.start >= 0 ? member_at(list, given.start) : nullptr;
  AP_OBJECT* expected = given.expected >= 0 ? member_at(list, given.expected) : nullptr;
  EXPECT_EQ(ap_result_object<AP_OBJECT>(send(given.message, list, start)), expected);
}

INSTANTIATE_TEST_SUITE_P(Cases, Navigation,
                         testing::Values(NavigationCase{"FirstIsTheHead", AP40_MSG_FIRST, -1, 0},
                                         NavigationCase{"LastIsTheTail", AP40_MSG_LAST, -1, 2},
                                         NavigationCase{"NextOfTheMiddle", AP40_MSG_NEXT, 1, 2},
                                         NavigationCase{"NextOfTheLastIsNone", AP40_MSG_NEXT, 2, -1},
                                         NavigationCase{"PreviousOfTheMiddle", AP40_MSG_PREVIOUS, 1, 0},
                                         NavigationCase{"PreviousOfTheFirstIsNone", AP40_MSG_PREVIOUS, 0, -1},
                                         NavigationCase{"NextWithoutAMemberIsNone", AP40_MSG_NEXT, -1, -1}),
                         [](const auto& info) { return std::string(info.param.what); });

TEST_F(Lists, NavigationOfAnEmptyListOrAStrangerFindsNothing) {
  AP40_LLIST* list = make_list();
  EXPECT_EQ(send(AP40_MSG_FIRST, list), 0u);
  EXPECT_EQ(send(AP40_MSG_LAST, list), 0u);
  add(list, make_text("member"));
  EXPECT_EQ(send(AP40_MSG_NEXT, list, make_text("stranger")), 0u);
}

TEST_F(Lists, ValueSearchWithoutATestAnswersTheStartPositionOnly) {
  AP40_LLIST* list = list_of({"0", "1", "2"});
  AP40_FINDPARM find{AP40_NO_KEY, 7, nullptr, member_at(list, 2), AP40_FROM_TAIL};
  EXPECT_EQ(ap_result_object<AP_OBJECT>(send(AP40_MSG_FIND_BY_VALUE, list, &find)), member_at(list, 1));
  find.direction = 3;
  EXPECT_EQ(send(AP40_MSG_FIND_BY_VALUE, list, &find), 0u);
  find = AP40_FINDPARM{0, 7, nullptr, nullptr, AP40_FROM_HEAD};  // operator 7 needs parameter 65535
  EXPECT_EQ(send(AP40_MSG_FIND_BY_VALUE, list, &find), 0u);
  find = AP40_FINDPARM{AP40_NO_KEY, 3, nullptr, nullptr, AP40_FROM_HEAD};  // and parameter 65535 operator 7
  EXPECT_EQ(send(AP40_MSG_FIND_BY_VALUE, list, &find), 0u);
}

// Callbacks: a text passes when it is not empty; the visits are recorded.
std::vector<AP_OBJECT*> g_visited;
uint16_t is_not_empty(AP_OBJECT* member, void* argument) {
  g_visited.push_back(member);
  EXPECT_EQ(argument, &g_visited);
  return GU2_DoMethod_MSG(AP48_MSG_LENGTH, member, nullptr) != 0 ? 1 : 0;
}
uint16_t clear_text(AP_OBJECT* member, void*) { return static_cast<uint16_t>(GU2_DoMethod_MSG(AP48_MSG_CLEAR, member, nullptr)); }

struct WalkCase {
  const char* what;
  uint16_t direction;
  int start;     // index of the start member, -1 for none
  int expected;  // index of the member found, -1 for none
  std::vector<int> tested;
};

class Walks : public Lists, public testing::WithParamInterface<WalkCase> {
 protected:
  void SetUp() override {
    Lists::SetUp();
    g_visited.clear();
  }
  // Contents of the texts tested, as indexes.
  std::vector<int> tested(AP40_LLIST* list) const {
    std::vector<int> indexes;
    for (AP_OBJECT* member : g_visited) indexes.push_back(static_cast<int>(send(AP40_MSG_INDEX_OF, list, member)));
    return indexes;
  }
};

// Members 0 to 4; only 1 and 3 are not empty.
const std::initializer_list<const char*> kWalkTexts = {"", "one", "", "three", ""};

TEST_P(Walks, CallbackSearchTestsFromTheStartInItsDirection) {
  const WalkCase& given = GetParam();
  AP40_LLIST* list = list_of(kWalkTexts);
  AP40_TESTPARM find{is_not_empty, &g_visited, given.start >= 0 ? member_at(list, given.start) : nullptr,
                     given.direction};
  AP_OBJECT* expected = given.expected >= 0 ? member_at(list, given.expected) : nullptr;
  EXPECT_EQ(ap_result_object<AP_OBJECT>(send(AP40_MSG_FIND_BY_TEST, list, &find)), expected);
  EXPECT_EQ(tested(list), given.tested);
}

TEST_P(Walks, MessageSearchFindsTheSameMembers) {
  const WalkCase& given = GetParam();
  AP40_LLIST* list = list_of(kWalkTexts);
  AP40_ASKPARM find{AP48_MSG_LENGTH, nullptr, given.start >= 0 ? member_at(list, given.start) : nullptr,
                    given.direction};
  AP_OBJECT* expected = given.expected >= 0 ? member_at(list, given.expected) : nullptr;
  EXPECT_EQ(ap_result_object<AP_OBJECT>(send(AP40_MSG_FIND_BY_MESSAGE, list, &find)), expected);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, Walks,
    testing::Values(WalkCase{"FromTheHead", AP40_FROM_HEAD, -1, 1, {0, 1}},
                    WalkCase{"OnFromTheLastFound", AP40_FROM_HEAD, 1, 3, {2, 3}},
                    WalkCase{"PastTheLastMatchFindsNone", AP40_FROM_HEAD, 3, -1, {4}},
                    WalkCase{"FromTheLastMemberForwardTestsNothing", AP40_FROM_HEAD, 4, -1, {}},
                    WalkCase{"FromTheTail", AP40_FROM_TAIL, -1, 3, {4, 3}},
                    WalkCase{"BackFromTheLastFound", AP40_FROM_TAIL, 3, 1, {2, 1}},
                    WalkCase{"BackFromTheFirstMemberTestsNothing", AP40_FROM_TAIL, 0, -1, {}},
                    WalkCase{"AnotherDirectionTestsNothing", 0, -1, -1, {}}),
    [](const auto& info) { return std::string(info.param.what); });

TEST_F(Walks, CallbackSearchBackwardTestsTheFirstMemberToo) {
  AP40_LLIST* list = list_of({"", "", ""});
  AP40_TESTPARM find{is_not_empty, &g_visited, nullptr, AP40_FROM_TAIL};
  EXPECT_EQ(send(AP40_MSG_FIND_BY_TEST, list, &find), 0u);
  EXPECT_EQ(tested(list), (std::vector<int>{2, 1, 0}));
}

TEST_F(Walks, ForEachCallsTheFunctionForEveryMemberInOrder) {
  AP40_LLIST* list = list_of({"a", "", "c"});
  AP40_EACHPARM each{is_not_empty, &g_visited};
  EXPECT_EQ(send(AP40_MSG_FOR_EACH, list, &each), 1u);
  EXPECT_EQ(tested(list), (std::vector<int>{0, 1, 2}));
  AP40_EACHPARM no_function{nullptr, nullptr};
  EXPECT_EQ(send(AP40_MSG_FOR_EACH, list, &no_function), 0u);
  EXPECT_EQ(send(AP40_MSG_FOR_EACH, make_list(), &each), 0u);
}

TEST_F(Walks, ForEachPassingActsOnlyOnMembersThatPassTheTest) {
  AP40_LLIST* list = list_of({"a", "", "c"});
  AP40_EACHPASSINGPARM each{is_not_empty, &g_visited, clear_text, nullptr};
  EXPECT_EQ(send(AP40_MSG_FOR_EACH_PASSING, list, &each), 1u);
  EXPECT_EQ(contents(list), (std::vector<std::string>{"", "", ""}));
  EXPECT_EQ(send(AP40_MSG_FOR_EACH_PASSING, list, &each), 0u);  // none passes now
}

TEST_F(Lists, MessageToAllReachesEveryMember) {
  AP40_LLIST* list = list_of({"a", "b"});
  AP40_SENDPARM clear{AP48_MSG_CLEAR, nullptr};
  EXPECT_EQ(send(AP40_MSG_SEND_TO_ALL, list, &clear), 1u);
  EXPECT_EQ(contents(list), (std::vector<std::string>{"", ""}));
  EXPECT_EQ(send(AP40_MSG_SEND_TO_ALL, make_list(), &clear), 0u);
}

TEST_F(Lists, MessageToPassingReachesOnlyMembersAnsweringTheTest) {
  AP40_LLIST* list = list_of({"", "b"});
  char suffix[] = "+";
  AP40_SENDPASSINGPARM append{AP48_MSG_LENGTH, nullptr, AP48_MSG_APPEND, suffix};
  EXPECT_EQ(send(AP40_MSG_SEND_TO_PASSING, list, &append), 1u);
  EXPECT_EQ(contents(list), (std::vector<std::string>{"", "b+"}));
  AP40_SENDPASSINGPARM never{AP48_MSG_LENGTH, nullptr, AP48_MSG_APPEND, suffix};
  EXPECT_EQ(send(AP40_MSG_SEND_TO_PASSING, list_of({"", ""}), &never), 0u);
}

TEST_F(Lists, MembersThatCannotBeReadAreRemovedWithoutAMessage) {
  AP40_LLIST* list = list_of({"a"});
  auto* unreadable = reinterpret_cast<AP_OBJECT*>(static_cast<uintptr_t>(0x100));
  add(list, unreadable);
  add(list, make_text("b"));
  EXPECT_EQ(send(AP40_MSG_REMOVE_UNREADABLE, list), 1u);
  EXPECT_EQ(contents(list), (std::vector<std::string>{"a", "b"}));
}

TEST_F(Lists, DestroyWithoutMembersLeavesThemAliveAndUsable) {
  AP_OBJECT* member = make_text("member");
  AP40_LLIST* list = make_list();
  add(list, member);
  EXPECT_EQ(destroy(list), AP_DESTROYED);
  EXPECT_EQ(class_record(AP40_CLASS_ID).live, 0);
  EXPECT_EQ(send(AP48_MSG_APPEND, member, const_cast<char*>("!")), 1u);
  EXPECT_STREQ(content(member), "member!");
}

TEST_F(Lists, DestroyWithMembersDestroysEachAndReturnsTheNodes) {
  const uint32_t free_nodes = packed(GU1_GetMainLLHeap_LL()->free_cells.count);
  AP40_LLIST* list = list_of({"a", "b", "c"});
  EXPECT_EQ(destroy(list, nullptr, 1), AP_DESTROYED);
  EXPECT_EQ(class_record(AP48_CLASS_ID).live, 0);
  EXPECT_EQ(packed(GU1_GetMainLLHeap_LL()->free_cells.count), free_nodes);
}

TEST_F(Lists, DestroyWithMembersAnswersZeroWhenAMemberRefuses) {
  HWND holder = window();
  AP40_LLIST* list = list_of({"a"});
  AP_OBJECT* held = make_text("held");
  add_window(held, holder, AP2_KIND_CANT_DESTROY);
  add(list, held);
  EXPECT_EQ(destroy(list, nullptr, 1), 0u);
  EXPECT_EQ(class_record(AP40_CLASS_ID).live, 0);
  EXPECT_STREQ(content(held), "held");
}

TEST_F(Lists, DestroyRefusedByTheRootPartKeepsListAndMembers) {
  HWND holder = window();
  AP40_LLIST* list = list_of({"a", "b"});
  add_window(list, holder, AP2_KIND_CANT_DESTROY);
  EXPECT_EQ(destroy(list, nullptr, 1), AP_DESTROY_REFUSED);
  EXPECT_EQ(contents(list), (std::vector<std::string>{"a", "b"}));
  EXPECT_EQ(class_record(AP48_CLASS_ID).live, 2);
}

TEST_F(Lists, ShallowDuplicateHoldsTheSameMembersInNodesOfItsOwn) {
  AP40_LLIST* list = list_of({"a", "b"});
  AP_WINDOWPARM shallow{nullptr, 0};
  auto* copy = ap_result_object<AP40_LLIST>(send(AP_MSG_DUPLICATE, list, &shallow));
  ASSERT_NE(copy, nullptr);
  EXPECT_EQ(copy->key, AP40_NO_KEY);
  EXPECT_EQ(packed(part(copy)->outer), &copy->head);
  EXPECT_EQ(members(copy), members(list));
  remove(copy, member_at(copy, 0), 0);
  EXPECT_EQ(contents(list), (std::vector<std::string>{"a", "b"}));
}

TEST_F(Lists, DeepDuplicateHoldsCopiesOfTheMembers) {
  AP40_LLIST* list = list_of({"a", "b"});
  AP_WINDOWPARM deep{nullptr, 1};
  auto* copy = ap_result_object<AP40_LLIST>(send(AP_MSG_DUPLICATE, list, &deep));
  ASSERT_NE(copy, nullptr);
  EXPECT_EQ(contents(copy), (std::vector<std::string>{"a", "b"}));
  EXPECT_NE(member_at(copy, 0), member_at(list, 0));
  EXPECT_EQ(class_record(AP48_CLASS_ID).live, 4);
}

TEST_F(Lists, SizeCountsTheListItsNodesAndItsMembers) {
  AP40_LLIST* list = list_of({"a", "b"}, window());
  const uint32_t text_size = send(AP_MSG_SIZE, member_at(list, 0));
  EXPECT_EQ(text_size, 46u + 10u);
  EXPECT_EQ(send(AP_MSG_SIZE, list), (46u + 18u) + 32u + 2 * 12u + 2 * text_size);
}

TEST_F(Lists, KeyWithoutAParameterOrOnAnEmptyListIsStoredAsItIs) {
  AP40_LLIST* empty = make_list();
  AP40_KEYPARM key{3};
  EXPECT_EQ(send(AP40_MSG_SET_KEY, empty, &key), 1u);
  EXPECT_EQ(empty->key, 3);
  AP40_LLIST* list = list_of({"b", "a"});
  key.key = AP40_NO_KEY;
  EXPECT_EQ(send(AP40_MSG_SET_KEY, list, &key), 1u);
  EXPECT_EQ(contents(list), (std::vector<std::string>{"b", "a"}));
}

TEST_F(Lists, NameAndTheMessagesTheListDoesNotHandle) {
  AP40_LLIST* list = list_of({"a"});
  char name[16] = "";
  EXPECT_EQ(send(AP_MSG_CLASS_NAME, list, name), 1u);
  EXPECT_STREQ(name, "AP40_LLIST");
  char buffer[256] = "";
  for (uint16_t message : {0, 8, 19, 20, 21, 22, 24, 55, 57}) EXPECT_EQ(send(message, list, buffer), 0u) << message;
}

// ---------------------------------------------------------------------------
// Lists keyed on a parameter: members of the parameter-set class of the
// parameter tests, whose Word row holds 1 to 5 and Double row -1.5 to 2.5.

using paramstest::kDouble;
using paramstest::kString;
using paramstest::kWord;

class KeyedLists : public TrackedParams {
 protected:
  AP13_CHILD* member(uint16_t word, double ratio = 0.0) {
    AP13_CHILD* made = object();
    EXPECT_EQ(set(made, kWord, &word), 1u);
    EXPECT_EQ(set(made, kDouble, &ratio), 1u);
    return made;
  }
  static uint16_t word_of(AP_OBJECT* object) {
    uint16_t word = 0;
    get(object, kWord, &word);
    return word;
  }
  static std::vector<uint16_t> words(AP40_LLIST* list) {
    std::vector<uint16_t> found;
    for (AP_OBJECT* object : members(list)) found.push_back(word_of(object));
    return found;
  }
  // A list in insertion order of members with these Word values.
  AP40_LLIST* list_of_words(std::initializer_list<uint16_t> values) {
    AP40_LLIST* list = make_list();
    for (uint16_t value : values) add(list, member(value));
    return list;
  }
  // A list keyed on the Word row, given members of 5, 3, 5 and 1 in that
  // order: it holds 1, 3, 5 (the first), 5 (the second).
  AP40_LLIST* keyed_five_three_five_one() {
    AP40_LLIST* list = make_list(kWord);
    AP13_CHILD* first_five = member(5);
    AP13_CHILD* second_five = member(5);
    EXPECT_EQ(add(list, first_five), 0u);
    EXPECT_EQ(add(list, member(3)), 0u);
    EXPECT_EQ(add(list, second_five), 2u);
    EXPECT_EQ(add(list, member(1)), 0u);
    EXPECT_EQ(words(list), (std::vector<uint16_t>{1, 3, 5, 5}));
    EXPECT_EQ(member_at(list, 2), reinterpret_cast<AP_OBJECT*>(first_five));
    EXPECT_EQ(member_at(list, 3), reinterpret_cast<AP_OBJECT*>(second_five));
    return list;
  }
};

TEST_F(KeyedLists, MembersGoInAscendingOrderOfTheKeyEqualValuesInTheOrderTheyCame) { keyed_five_three_five_one(); }

TEST_F(KeyedLists, AMemberWithoutTheKeyParameterGoesToTheEndAndIsNotAskedForIt) {
  AP40_LLIST* list = make_list(kWord);
  add(list, member(4));
  AP_OBJECT* text = make_text("a text answers 40 by putting the block in front");
  EXPECT_EQ(add(list, text), 1u);
  EXPECT_EQ(add(list, member(2)), 0u);
  EXPECT_EQ(member_at(list, 2), text);
  EXPECT_STREQ(content(text), "a text answers 40 by putting the block in front");
}

TEST_F(KeyedLists, ANewKeyReordersTheMembersAndLaterAddsFollowIt) {
  std::vector<std::pair<UINT, WPARAM>> received;
  AP40_LLIST* list = make_list(AP40_NO_KEY, window(&received));
  AP13_CHILD* a = member(5, 0.5);
  AP13_CHILD* b = member(3, 2.0);
  AP13_CHILD* c = member(1, -1.0);
  for (AP13_CHILD* object : {a, b, c}) add(list, object);
  received.clear();
  AP40_KEYPARM key{kWord};
  EXPECT_EQ(send(AP40_MSG_SET_KEY, list, &key), 1u);
  EXPECT_EQ(words(list), (std::vector<uint16_t>{1, 3, 5}));
  EXPECT_EQ(received.size(), 1u);  // one change
  key.key = kDouble;
  EXPECT_EQ(send(AP40_MSG_SET_KEY, list, &key), 1u);
  EXPECT_EQ(words(list), (std::vector<uint16_t>{1, 5, 3}));
  EXPECT_EQ(list->key, kDouble);
  EXPECT_EQ(add(list, member(2, 1.0)), 2u);
  EXPECT_EQ(words(list), (std::vector<uint16_t>{1, 5, 2, 3}));
  EXPECT_EQ(APX_GetClassTable()->classes[AP40_CLASS_ID].live, 1);  // the list that sorted them is gone
}

struct FindCase {
  const char* what;
  uint16_t compare;
  uint16_t value;
  int start;  // index of the start member, -1 for none
  uint16_t direction;
  int expected;  // index of the member found, -1 for none
};

class FindByValue : public KeyedLists, public testing::WithParamInterface<FindCase> {};

TEST_P(FindByValue, AnswersTheFirstMemberWhoseValuePassesTheCompare) {
  const FindCase& given = GetParam();
  AP40_LLIST* list = list_of_words({1, 2, 3, 4, 5});
  uint16_t value = given.value;
  AP40_FINDPARM find{kWord, given.compare, &value, given.start >= 0 ? member_at(list, given.start) : nullptr,
                     given.direction};
  AP_OBJECT* expected = given.expected >= 0 ? member_at(list, given.expected) : nullptr;
  EXPECT_EQ(ap_result_object<AP_OBJECT>(send(AP40_MSG_FIND_BY_VALUE, list, &find)), expected);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, FindByValue,
    testing::Values(FindCase{"EqualFromTheHead", AP1_OP_EQUAL, 3, -1, AP40_FROM_HEAD, 2},
                    FindCase{"LessFromTheTailTestsTheTailFirst", AP1_OP_LESS, 3, -1, AP40_FROM_TAIL, 1},
                    FindCase{"GreaterOrEqualOnFromAStart", AP1_OP_GREATER_EQUAL, 2, 2, AP40_FROM_HEAD, 3},
                    FindCase{"LessOrEqualBackFromAStart", AP1_OP_LESS_EQUAL, 4, 2, AP40_FROM_TAIL, 1},
                    FindCase{"GreaterPastTheLastMemberFindsNone", AP1_OP_GREATER, 5, -1, AP40_FROM_HEAD, -1},
                    FindCase{"NoneBackToTheFirstMemberFindsNone", AP1_OP_EQUAL, 9, -1, AP40_FROM_TAIL, -1},
                    FindCase{"FromTheLastMemberForwardFindsNone", AP1_OP_EQUAL, 5, 4, AP40_FROM_HEAD, -1},
                    FindCase{"OperatorSevenWithAParameterFindsNone", AP1_OP_ALWAYS, 3, -1, AP40_FROM_HEAD, -1}),
    [](const auto& info) { return std::string(info.param.what); });

TEST_F(KeyedLists, DirectFindAndGetAtAnswerAsTheirMessages) {
  AP40_LLIST* list = list_of_words({4, 2, 5});
  EXPECT_EQ(ap40_GetAt_LLIST(list, 1), member_at(list, 1));
  EXPECT_EQ(ap40_GetAt_LLIST(list, 3), nullptr);
  const uint16_t two = 2;
  EXPECT_EQ(ap40_Find_LLIST(list, kWord, AP1_OP_GREATER, &two, nullptr, AP40_FROM_HEAD), member_at(list, 0));
  EXPECT_EQ(ap40_Find_LLIST(list, kWord, AP1_OP_GREATER, &two, member_at(list, 0), AP40_FROM_HEAD),
            member_at(list, 2));
  // The walk over every member in list order.
  std::vector<uint16_t> walked;
  for (AP_OBJECT* at = ap40_Find_LLIST(list, AP40_NO_KEY, AP1_OP_ALWAYS, nullptr, nullptr, AP40_FROM_HEAD);
       at != nullptr; at = ap40_Find_LLIST(list, AP40_NO_KEY, AP1_OP_ALWAYS, nullptr, at, AP40_FROM_HEAD))
    walked.push_back(word_of(at));
  EXPECT_EQ(walked, (std::vector<uint16_t>{4, 2, 5}));
  EXPECT_EQ(ap40_Find_LLIST(nullptr, AP40_NO_KEY, AP1_OP_ALWAYS, nullptr, nullptr, AP40_FROM_HEAD), nullptr);
}

TEST_F(KeyedLists, FindByValueComparesTextsAndPassesOverMembersWithoutAParameterTable) {
  AP40_LLIST* list = make_list();
  AP_OBJECT* text = make_text("beta");
  add(list, text);
  AP13_CHILD* alpha = object();
  AP13_CHILD* beta = object();
  set(alpha, kString, "alpha");
  set(beta, kString, "beta");
  add(list, alpha);
  add(list, beta);
  AP40_FINDPARM find{kString, AP1_OP_EQUAL, "beta", nullptr, AP40_FROM_HEAD};
  EXPECT_EQ(ap_result_object<AP13_CHILD>(send(AP40_MSG_FIND_BY_VALUE, list, &find)), beta);
  EXPECT_STREQ(content(text), "beta");
  find.value = nullptr;
  EXPECT_EQ(send(AP40_MSG_FIND_BY_VALUE, list, &find), 0u);
}


// ---------------------------------------------------------------------------
// Streams

// Stream bytes in the list's layout, little-endian: u32 count, u16 key, then
// per member a u16 class id and the member's stream.
std::string u16(uint16_t value) { return std::string{static_cast<char>(value & 0xFF), static_cast<char>(value >> 8)}; }
std::string u32(uint32_t value) { return u16(static_cast<uint16_t>(value)) + u16(static_cast<uint16_t>(value >> 16)); }
std::string list_head(uint32_t count, uint16_t key) { return u32(count) + u16(key); }
// An empty nested list as a member: 2 + 6 bytes.
const std::string kEmptyMember = u16(AP40_CLASS_ID) + list_head(0, AP40_NO_KEY);

// File objects on files under the test's home folder; the fixture that
// holds them destroys them (closing their handles) before the library goes.
class ListFiles {
 public:
  void destroy_all() {
    for (AP20_FILE* file : files_) {
      AP_WINDOWPARM no_window{nullptr, 0};
      send_to(AP_MSG_DESTROY, file, &no_window);
    }
    files_.clear();
  }
  // A file object on the named file, opened with the mode.
  AP20_FILE* open(const std::string& name, uint16_t mode) {
    uint16_t class_id = AP20_CLASS_ID;
    AP_NEWPARM fresh{AP20_CLASS_ID, nullptr};  // the file class takes the root's block
    auto* file = ap_result_object<AP20_FILE>(send_to(AP_MSG_NEW, &class_id, &fresh));
    files_.push_back(file);
    const std::string full = path(name);
    AP20_NAMEPARM naming{nullptr, full.c_str()};
    send_to(AP20_MSG_SET_NAME, file, &naming);
    AP20_OPENPARM open{mode, 0, 0};
    EXPECT_EQ(send_to(AP20_MSG_OPEN, file, &open), 1u);
    return file;
  }
  static void close(AP20_FILE* file) { send_to(AP20_MSG_CLOSE, file); }
  static std::string path(const std::string& name) { return testsupport::home() + "/" + name; }
  // The bytes the list leaves in a fresh file of that name.
  std::string written(AP40_LLIST* list, const std::string& name, uint32_t expected_result = 1) {
    AP20_FILE* file = open(name, AP20_MODE_CREATE);
    EXPECT_EQ(send_to(AP_MSG_WRITE, list, file), expected_result);
    close(file);
    return testsupport::read_file(path(name));
  }
  // A new list read from the named file, or null; the file object stays open.
  AP40_LLIST* read_list(const std::string& name, AP20_FILE** file_out = nullptr) {
    AP20_FILE* file = open(name, AP20_MODE_READ);
    if (file_out != nullptr) *file_out = file;
    uint16_t class_id = AP40_CLASS_ID;
    AP_READPARM parameter{&file->head, 1};
    return ap_result_object<AP40_LLIST>(send_to(AP_MSG_READ, &class_id, &parameter));
  }

 private:
  std::vector<AP20_FILE*> files_;
};

class ListStreams : public Lists {
 protected:
  void TearDown() override {
    files_.destroy_all();
    Lists::TearDown();
  }
  AP20_FILE* open_file(const std::string& name, uint16_t mode) { return files_.open(name, mode); }
  std::string written(AP40_LLIST* list, uint32_t expected_result = 1) {
    return files_.written(list, "list.bin", expected_result);
  }
  AP40_LLIST* read_back(const std::string& bytes, AP20_FILE** file_out = nullptr) {
    testsupport::write_file("stream.bin", bytes);
    return files_.read_list("stream.bin", file_out);
  }
  static uint32_t position(AP20_FILE* file) { return send(AP20_MSG_POSITION, file); }
  static uint32_t error(AP20_FILE* file) { return send(AP20_MSG_LAST_ERROR, file); }

  ListFiles files_;
};

TEST_F(ListStreams, WriteGivesCountKeyAndEachMembersClassIdAndStream) {
  AP40_LLIST* list = make_list(AP40_NO_KEY);
  add(list, &make_list(5)->head);
  add(list, ap2_New_OBJ(AP2_CLASS_ID, nullptr));
  AP40_LLIST* inner = make_list(9);
  add(inner, &make_list(AP40_NO_KEY)->head);
  add(list, &inner->head);
  const std::string expected = list_head(3, AP40_NO_KEY) + u16(40) + list_head(0, 5) + u16(2) + u16(40) +
                               list_head(1, 9) + u16(40) + list_head(0, AP40_NO_KEY);
  EXPECT_EQ(written(list), expected);
  EXPECT_EQ(send(AP40_MSG_STREAM_SIZE, list), expected.size());
}

TEST_F(ListStreams, ReadWithCreateGivesANewListOfTheSameClassesAndKeys) {
  const std::string stream = list_head(3, 7) + u16(40) + list_head(0, 5) + u16(2) + u16(40) + list_head(1, 9) +
                             u16(40) + list_head(0, AP40_NO_KEY);
  AP20_FILE* file = nullptr;
  AP40_LLIST* list = read_back(stream, &file);
  ASSERT_NE(list, nullptr);
  EXPECT_EQ(list->key, 7);
  ASSERT_EQ(send(AP40_MSG_COUNT, list), 3u);
  EXPECT_EQ(member_at(list, 0)->class_id, AP40_CLASS_ID);
  EXPECT_EQ(reinterpret_cast<AP40_LLIST*>(member_at(list, 0))->key, 5);
  EXPECT_EQ(member_at(list, 1)->class_id, AP2_CLASS_ID);
  auto* inner = reinterpret_cast<AP40_LLIST*>(member_at(list, 2));
  EXPECT_EQ(inner->key, 9);
  EXPECT_EQ(send(AP40_MSG_COUNT, inner), 1u);
  EXPECT_EQ(position(file), stream.size());
  EXPECT_EQ(written(list), stream);
}

TEST_F(ListStreams, ReadIntoAListAddsTheMembersAfterItsOwnAndTakesTheKey) {
  AP40_LLIST* list = list_of({"own"});
  testsupport::write_file("into.bin", list_head(1, AP40_NO_KEY) + u16(40) + list_head(0, 3));
  AP20_FILE* file = open_file("into.bin", AP20_MODE_READ);
  AP_READPARM parameter{&file->head, 0};
  EXPECT_EQ(ap_result_object<AP40_LLIST>(send(AP_MSG_READ, list, &parameter)), list);
  ASSERT_EQ(send(AP40_MSG_COUNT, list), 2u);
  EXPECT_STREQ(content(member_at(list, 0)), "own");
  EXPECT_EQ(member_at(list, 1)->class_id, AP40_CLASS_ID);
  EXPECT_EQ(list->key, AP40_NO_KEY);
}

TEST_F(ListStreams, SaveWritesTheListThroughItsRootPartAndMarksItSaved) {
  AP40_LLIST* list = make_list();
  add(list, &make_list(AP40_NO_KEY)->head);
  AP20_FILE* file = open_file("saved.bin", AP20_MODE_CREATE);
  EXPECT_EQ(send(AP_MSG_SAVE, list, file), 1u);
  ListFiles::close(file);
  EXPECT_EQ(send(AP_MSG_GET_CHANGE_STATE, list), static_cast<uint32_t>(AP2_SAVED));
  EXPECT_EQ(testsupport::read_file(ListFiles::path("saved.bin")).size(), send(AP40_MSG_STREAM_SIZE, list));
}

TEST_F(ListStreams, WriteFailsWhenAMembersOwnWriteFails) {
  // A text has no file form: its write answers 0.
  AP40_LLIST* list = make_list();
  add(list, &make_list(AP40_NO_KEY)->head);
  add(list, make_text("no file form"));
  add(list, &make_list(AP40_NO_KEY)->head);
  EXPECT_EQ(written(list, 0), list_head(3, AP40_NO_KEY) + u16(40) + list_head(0, AP40_NO_KEY) + u16(48));
  EXPECT_EQ(send(AP40_MSG_STREAM_SIZE, list), 0u);  // nor can its size be told
}

TEST_F(ListStreams, WriteAndReadNeedAnOpenFileObject) {
  AP40_LLIST* list = make_list();
  AP20_FILE* file = open_file("closed.bin", AP20_MODE_CREATE);
  ListFiles::close(file);
  EXPECT_EQ(send(AP_MSG_WRITE, list, file), 0u);
  AP40_LLIST* not_a_file = make_list();
  EXPECT_EQ(send(AP_MSG_WRITE, list, not_a_file), 0u);
  uint16_t class_id = AP40_CLASS_ID;
  AP_READPARM parameter{&file->head, 1};
  EXPECT_EQ(send(AP_MSG_READ, &class_id, &parameter), 0u);
  EXPECT_EQ(class_record(AP40_CLASS_ID).live, 2);
}

struct BadStreamCase {
  const char* what;
  std::string bytes;
  uint32_t stop;   // where the file stands after the failed read
  uint32_t error;  // what the file object's error word says
};

class BadStreams : public ListStreams, public testing::WithParamInterface<BadStreamCase> {};

TEST_P(BadStreams, ReadStopsCleanlyAndLeavesNoObjectBehind) {
  const BadStreamCase& given = GetParam();
  AP20_FILE* file = nullptr;
  EXPECT_EQ(read_back(given.bytes, &file), nullptr);
  EXPECT_EQ(position(file), given.stop);
  EXPECT_EQ(error(file), given.error);
  EXPECT_EQ(class_record(AP40_CLASS_ID).live, 0);
  EXPECT_EQ(class_record(AP2_CLASS_ID).live, 1);  // the file object's root part
}

INSTANTIATE_TEST_SUITE_P(
    Cases, BadStreams,
    testing::Values(
        // 16 bytes after the head hold 8 members at the most.
        BadStreamCase{"CountLargerThanTheBytesLeft",
                      list_head(9, AP40_NO_KEY) + kEmptyMember + kEmptyMember, 6, AP20_ERROR_DAMAGED},
        BadStreamCase{"ClassIdNotRegistered",
                      list_head(3, AP40_NO_KEY) + kEmptyMember + u16(199) + kEmptyMember,
                      6 + 8 + 2, AP20_ERROR_DAMAGED},
        BadStreamCase{"ClassIdOfTheWholeTable", list_head(1, AP40_NO_KEY) + u16(250) + "xx",
                      8, AP20_ERROR_DAMAGED},
        BadStreamCase{"MemberStreamCutShort",
                      list_head(2, AP40_NO_KEY) + kEmptyMember + u16(40) + u16(1) + std::string(1, '\0'),
                      6 + 8 + 2 + 3, AP20_ERROR_SHORT_FILE},
        BadStreamCase{"HeadCutShort", u32(1) + "\xFF", 5, AP20_ERROR_SHORT_FILE}),
    [](const auto& info) { return std::string(info.param.what); });

TEST_F(ListStreams, AFailedReadIntoAListLeavesItAsItWas) {
  AP40_LLIST* list = list_of({"own"});
  list->key = 4;
  testsupport::write_file("bad.bin", list_head(2, AP40_NO_KEY) + kEmptyMember + u16(199));
  AP20_FILE* file = open_file("bad.bin", AP20_MODE_READ);
  AP_READPARM parameter{&file->head, 0};
  EXPECT_EQ(send(AP_MSG_READ, list, &parameter), 0u);
  EXPECT_EQ(contents(list), std::vector<std::string>{"own"});
  EXPECT_EQ(list->key, 4);
  EXPECT_EQ(class_record(AP40_CLASS_ID).live, 1);
}

// ---------------------------------------------------------------------------
// A list of members of several classes through a file and back

// The parameter-set class of the parameter tests, made able to come out of a
// stream: a read with create makes a new object and has its PARAMS part read
// the stream into it, as the parameter-set classes do.
uint32_t streamed_set_dispatcher(void* object, uint16_t message, void* parameter) {
  const auto* read = static_cast<const AP_READPARM*>(parameter);
  if (message != AP_MSG_READ || !read->create) return paramstest::set_dispatcher(object, message, parameter);
  uint16_t class_id = paramstest::kSetClass;
  AP_NEWPARM fresh{paramstest::kSetClass, nullptr};
  auto* made = ap_result_object<AP13_CHILD>(GU2_DoMethod_MSG(AP_MSG_NEW, &class_id, &fresh));
  if (made == nullptr) return 0;
  AP_READPARM into{read->file, 0};
  if (AP13_Dispatcher_PARAMS(made->params, AP_MSG_READ, &into) != 0) return ap_object_result(made);
  AP_WINDOWPARM no_window{nullptr, 0};
  GU2_DoMethod_MSG(AP_MSG_DESTROY, made, &no_window);
  return 0;
}

class MixedListStreams : public KeyedLists {
 protected:
  void SetUp() override {
    KeyedLists::SetUp();
    GU2_ImmedSetDispatcher(paramstest::kSetClass, streamed_set_dispatcher);
  }
  void TearDown() override {
    for (AP40_LLIST* list : lists_) {
      AP_WINDOWPARM with_members{nullptr, 1};
      send(AP_MSG_DESTROY, list, &with_members);
    }
    files_.destroy_all();
    KeyedLists::TearDown();
  }
  // A list the test ends by destroying it with its members.
  AP40_LLIST* kept(AP40_LLIST* list) {
    lists_.push_back(list);
    return list;
  }
  // A parameter-set member made here: the lists destroy them with themselves.
  static AP13_CHILD* streamed_member(uint16_t word) {
    AP13_CHILD* made = make();
    set(made, kWord, &word);
    return made;
  }
  static AP4_ARRAY* array_of(uint32_t rows, uint32_t columns, float first) {
    uint16_t class_id = AP4_CLASS_ID;
    AP4_NEWPARM fresh{nullptr, rows, columns};
    auto* array = ap_result_object<AP4_ARRAY>(send(AP_MSG_NEW, &class_id, &fresh));
    for (uint32_t row = 0; row < rows; ++row) {
      for (uint32_t column = 0; column < columns; ++column) {
        AP4_SETELEMENTPARM element{{static_cast<int32_t>(row), static_cast<int32_t>(column)},
                                   first + static_cast<float>(row * columns + column)};
        send(AP4_MSG_SET_ELEMENT, array, &element);
      }
    }
    return array;
  }

  std::vector<AP40_LLIST*> lists_;
  ListFiles files_;
};

std::string floats(std::initializer_list<float> values) {
  std::string bytes;
  for (float value : values) bytes += paramstest::bytes_of(value);
  return bytes;
}

// The stream of a list keyed on the Word row holding two parameter sets,
// an empty list keyed on 3, a 2 x 3 array of 0.5 to 5.5 and a bare root
// object, in that order: each member's class id, then its own stream.
std::string mixed_stream(AP13_CHILD* first, AP13_CHILD* second) {
  auto parameter_set = [](AP13_CHILD* object) {
    return u16(paramstest::kSetClass) + u16(paramstest::kSetClass) + u32(paramstest::data_size()) +
           std::string(reinterpret_cast<const char*>(paramstest::data_of(object)), paramstest::data_size());
  };
  return list_head(5, kWord) + parameter_set(first) + parameter_set(second) + u16(AP40_CLASS_ID) + list_head(0, 3) +
         u16(AP4_CLASS_ID) + u32(2) + u32(3) + floats({0.5f, 1.5f, 2.5f, 3.5f, 4.5f, 5.5f}) + u16(AP2_CLASS_ID);
}

TEST_F(MixedListStreams, AListOfSeveralClassesWritesEachMembersStreamAndReadsBackTheSame) {
  AP40_LLIST* list = kept(make_list(kWord));
  AP13_CHILD* four = streamed_member(4);
  AP13_CHILD* two = streamed_member(2);
  add(list, four);
  add(list, make_list(3));
  add(list, two);
  add(list, array_of(2, 3, 0.5f));
  add(list, ap2_New_OBJ(AP2_CLASS_ID, nullptr));
  // The parameter sets are kept in the key's order, the others follow as they came.
  const std::string expected = mixed_stream(two, four);
  EXPECT_EQ(files_.written(list, "mixed.bin"), expected);
  EXPECT_EQ(send(AP40_MSG_STREAM_SIZE, list), expected.size());

  AP40_LLIST* copy = files_.read_list("mixed.bin");
  ASSERT_NE(copy, nullptr);
  kept(copy);
  EXPECT_EQ(copy->key, kWord);
  std::vector<uint16_t> classes;
  for (AP_OBJECT* member : members(copy)) classes.push_back(member->class_id);
  ASSERT_EQ(classes, (std::vector<uint16_t>{paramstest::kSetClass, paramstest::kSetClass, AP40_CLASS_ID,
                                            AP4_CLASS_ID, AP2_CLASS_ID}));
  EXPECT_EQ(word_of(member_at(copy, 0)), 2);
  EXPECT_EQ(word_of(member_at(copy, 1)), 4);
  EXPECT_EQ(text_of(member_at(copy, 0), kString), "hello");
  // Written again, the copy gives the same stream (the parameter sets'
  // references to memory of their own aside, which a stream does not carry).
  auto* first = reinterpret_cast<AP13_CHILD*>(member_at(copy, 0));
  auto* second = reinterpret_cast<AP13_CHILD*>(member_at(copy, 1));
  EXPECT_EQ(files_.written(copy, "again.bin"), mixed_stream(first, second));
}

TEST_F(MixedListStreams, MembersReadGoWhereTheStoredKeyPutsThem) {
  // A stream whose members are not in the order of its key: written by a
  // list that took the key without being sorted again.
  AP40_LLIST* list = kept(make_list());
  add(list, streamed_member(4));
  add(list, streamed_member(2));
  list->key = kWord;
  files_.written(list, "unsorted.bin");
  AP40_LLIST* copy = files_.read_list("unsorted.bin");
  ASSERT_NE(copy, nullptr);
  kept(copy);
  EXPECT_EQ(words(copy), (std::vector<uint16_t>{2, 4}));
}

// ---------------------------------------------------------------------------
// Members of a class from outside the library: it answers the value message
// through its PARAMS part but not the questions about a row's size and type.

uint32_t value_only_dispatcher(void* object, uint16_t message, void* parameter) {
  if (message == AP13_MSG_GET_PARM_SIZE || message == AP13_MSG_GET_PARM_TYPE) return 0;
  return streamed_set_dispatcher(object, message, parameter);
}

class OutsideClassLists : public MixedListStreams {
 protected:
  void SetUp() override {
    MixedListStreams::SetUp();
    GU2_ImmedSetDispatcher(paramstest::kSetClass, value_only_dispatcher);
  }
  AP13_CHILD* titled(const char* title) {
    AP13_CHILD* made = object();
    EXPECT_EQ(set(made, kString, title), 1u);
    return made;
  }
};

TEST_F(OutsideClassLists, MembersOrderByTheKeyAndAreFoundByValueAsTheLibrarysOwn) {
  AP40_LLIST* list = keyed_five_three_five_one();
  AP_OBJECT* second_five = member_at(list, 3);
  AP_OBJECT* text = make_text("no key");
  EXPECT_EQ(add(list, text), 4u);
  EXPECT_EQ(add(list, member(4)), 2u);
  EXPECT_EQ(member_at(list, 5), text);

  uint16_t five = 5;
  AP40_FINDPARM find{kWord, AP1_OP_EQUAL, &five, nullptr, AP40_FROM_TAIL};
  EXPECT_EQ(ap_result_object<AP_OBJECT>(send(AP40_MSG_FIND_BY_VALUE, list, &find)), second_five);
  remove(list, text, 1);
}

TEST_F(OutsideClassLists, ANewKeyOrdersTextsWithoutRegardToCase) {
  AP40_LLIST* list = make_list();
  AP13_CHILD* beta = titled("beta");
  AP13_CHILD* upper_alpha = titled("ALPHA");
  AP13_CHILD* alpha = titled("alpha");
  AP13_CHILD* gamma = titled("Gamma");
  for (AP13_CHILD* object : {beta, upper_alpha, gamma, alpha}) add(list, object);
  AP40_KEYPARM key{kString};
  EXPECT_EQ(send(AP40_MSG_SET_KEY, list, &key), 1u);
  EXPECT_EQ(members(list), (std::vector<AP_OBJECT*>{reinterpret_cast<AP_OBJECT*>(upper_alpha),
                                                     reinterpret_cast<AP_OBJECT*>(alpha),
                                                     reinterpret_cast<AP_OBJECT*>(beta),
                                                     reinterpret_cast<AP_OBJECT*>(gamma)}));
  AP40_FINDPARM find{kString, AP1_OP_EQUAL, "GAMMA", nullptr, AP40_FROM_HEAD};
  EXPECT_EQ(ap_result_object<AP13_CHILD>(send(AP40_MSG_FIND_BY_VALUE, list, &find)), gamma);
}

TEST_F(OutsideClassLists, MembersReadGoWhereTheStoredKeyPutsThem) {
  AP40_LLIST* list = kept(make_list());
  add(list, streamed_member(4));
  add(list, streamed_member(2));
  add(list, streamed_member(3));
  list->key = kWord;
  files_.written(list, "unsorted.bin");
  AP40_LLIST* copy = files_.read_list("unsorted.bin");
  ASSERT_NE(copy, nullptr);
  kept(copy);
  EXPECT_EQ(words(copy), (std::vector<uint16_t>{2, 3, 4}));
}

}  // namespace
