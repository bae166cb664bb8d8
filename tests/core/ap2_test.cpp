#include <cstddef>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "core/core.h"
#include "core/core_fixture.h"
#include "platform/user.h"

namespace {

// What reached a window; for notice 1004 the block its lParam pointed at.
struct WindowNotice {
  HWND window;
  UINT message;
  WPARAM wparam;
  LPARAM lparam;
  AP_COPYNOTICE copied;
};

// An object of a test class that depends on accessory objects and records
// the notices (message 24) it receives.
constexpr uint16_t kListenerClass = 200;
struct Listener {
  uint16_t class_id = kListenerClass;
};
struct ObjectNotice {
  Listener* listener;
  AP_NOTIFYPARM notice;
};
std::vector<ObjectNotice> g_object_notices;

uint32_t listener_dispatcher(void* object, uint16_t message, void* parameter) {
  if (message != AP_MSG_NOTIFY) return 0;
  g_object_notices.push_back(
      ObjectNotice{static_cast<Listener*>(object), *static_cast<const AP_NOTIFYPARM*>(parameter)});
  return 1;
}

uint32_t address_of(const void* pointer) { return static_cast<uint32_t>(reinterpret_cast<uintptr_t>(pointer)); }

class RootObjects : public LoadedLibrary {
 protected:
  void SetUp() override {
    LoadedLibrary::SetUp();
    GU2_ImmedSetDispatcher(kListenerClass, listener_dispatcher);
    g_object_notices.clear();
  }
  void TearDown() override {
    for (HWND window : windows_) platform::destroy_window(window);
    LoadedLibrary::TearDown();
  }

  // A new bare object, made as every caller makes one: message 4 sent to a
  // pointer to the class id.
  static AP2_OBJECT* make(HWND window = nullptr) {
    uint16_t class_id = AP2_CLASS_ID;
    AP_NEWPARM parameter{AP2_CLASS_ID, window};
    return ap_result_object<AP2_OBJECT>(GU2_DoMethod_MSG(AP_MSG_NEW, &class_id, &parameter));
  }

  static uint32_t send(uint16_t message, void* object, void* parameter = nullptr) {
    return GU2_DoMethod_MSG(message, object, parameter);
  }
  static uint32_t destroy(AP2_OBJECT* part, HWND window = nullptr) {
    AP_WINDOWPARM parameter{window, 0};
    return send(AP_MSG_DESTROY, part, &parameter);
  }
  static uint32_t add_window(AP2_OBJECT* part, HWND window, uint16_t kind) {
    AP_DEPENDENTWINDOWPARM parameter{window, kind};
    return send(AP_MSG_ADD_DEPENDENT_WINDOW, part, &parameter);
  }
  static uint32_t add_object(AP2_OBJECT* part, Listener* listener, uint16_t kind) {
    AP_DEPENDENTOBJECTPARM parameter{reinterpret_cast<AP_OBJECT*>(listener), kind};
    return send(AP_MSG_ADD_DEPENDENT_OBJECT, part, &parameter);
  }
  static std::vector<HWND> dependent_windows(AP2_OBJECT* part) {
    std::vector<HWND> found;
    for (GU1_NODE* node = part->dependents->head; node != nullptr; node = node->next)
      found.push_back(packed(reinterpret_cast<AP2_DEPENDENT*>(node)->window));
    return found;
  }
  static const APX_CLASSREC& root_class() { return APX_GetClassTable()->classes[AP2_CLASS_ID]; }

  HWND window() {
    HWND made = platform::create_window([this](HWND to, UINT message, WPARAM wparam, LPARAM lparam) {
      WindowNotice notice{to, message, wparam, lparam, {}};
      if (message == AP_NOTICE_COPIED) notice.copied = *reinterpret_cast<const AP_COPYNOTICE*>(lparam);
      window_notices_.push_back(notice);
      return LRESULT{0};
    });
    windows_.push_back(made);
    return made;
  }
  std::vector<WindowNotice> notices_to(HWND to) const {
    std::vector<WindowNotice> found;
    for (const WindowNotice& notice : window_notices_) {
      if (notice.window == to) found.push_back(notice);
    }
    return found;
  }
  // The window received this notice about the object, and nothing else.
  void expect_only_notice(HWND to, UINT message, WPARAM wparam, const AP2_OBJECT* about) const {
    const auto notices = notices_to(to);
    ASSERT_EQ(notices.size(), 1u);
    EXPECT_EQ(notices[0].message, message);
    EXPECT_EQ(notices[0].wparam, wparam);
    EXPECT_EQ(notices[0].lparam, static_cast<LPARAM>(address_of(about)));
  }
  // The object dependent's notice of that place in the order they came.
  static void expect_object_notice(size_t index, uint16_t notice, uint16_t word, const AP2_OBJECT* about,
                                   const AP2_OBJECT* copy) {
    ASSERT_LT(index, g_object_notices.size());
    const AP_NOTIFYPARM& got = g_object_notices[index].notice;
    EXPECT_EQ(got.notice, notice);
    EXPECT_EQ(got.word, word);
    EXPECT_EQ(packed(got.outer), &about->head);
    EXPECT_EQ(packed(got.copy), copy != nullptr ? &copy->head : nullptr);
  }

  std::vector<HWND> windows_;
  std::vector<WindowNotice> window_notices_;
};

TEST_F(RootObjects, RecordsHaveTheirFixedLayout) {
  EXPECT_EQ(offsetof(AP2_OBJECT, outer), 6u);
  EXPECT_EQ(offsetof(AP2_OBJECT, serial), 10u);
  EXPECT_EQ(offsetof(AP2_OBJECT, nesting), 12u);
  EXPECT_EQ(offsetof(AP2_OBJECT, user_word), 14u);
  EXPECT_EQ(offsetof(AP2_OBJECT, change_state), 16u);
  EXPECT_EQ(offsetof(AP2_OBJECT, dependents), 18u);
  EXPECT_EQ(offsetof(AP2_OBJECT, dependent_list), 22u);
  EXPECT_EQ(offsetof(AP2_DEPENDENT, window), 8u);
  EXPECT_EQ(offsetof(AP2_DEPENDENT, kind), 12u);
  EXPECT_EQ(offsetof(AP2_DEPENDENT, object), 14u);
  EXPECT_EQ(offsetof(AP_NOTIFYPARM, word), 2u);
  EXPECT_EQ(offsetof(AP_NOTIFYPARM, outer), 4u);
  EXPECT_EQ(offsetof(AP_NOTIFYPARM, copy), 8u);
  EXPECT_EQ(offsetof(AP_NEWPARM, window), 2u);
  EXPECT_EQ(offsetof(AP_READPARM, create), 4u);
}

TEST_F(RootObjects, ClassInitialisationMakesTheTwoHeapsAndTerminationFreesThem) {
  const APX_CLASSREC& record = root_class();
  EXPECT_EQ(GU3_NumElements_MM(record.instance_heap), 1000u);
  EXPECT_EQ(GU3_LenElements_MM(record.instance_heap), 46u);
  auto* dependents = static_cast<GU3_HANDLE>(record.class_data);
  EXPECT_EQ(GU3_NumElements_MM(dependents), 1000u);
  EXPECT_EQ(GU3_LenElements_MM(dependents), 18u);
  EXPECT_EQ(ap2_InitClass(3), 0);
  EXPECT_EQ(ap2_TermClass(3), 0);

  EXPECT_EQ(ap2_TermClass(AP2_CLASS_ID), 1);
  EXPECT_EQ(root_instance_heap(), nullptr);
  EXPECT_EQ(GU3_NumElements_MM(dependents), 0u);
  EXPECT_EQ(make(), nullptr);  // no heap, no object
  EXPECT_EQ(ap2_TermClass(AP2_CLASS_ID), 0);
}

TEST_F(RootObjects, NewObjectIsItsOwnOuterAndCountsInItsClass) {
  HWND w = window();
  AP2_OBJECT* part = make(w);
  ASSERT_NE(part, nullptr);
  EXPECT_EQ(part->head.class_id, AP2_CLASS_ID);
  EXPECT_EQ(packed(part->head.parent), nullptr);
  EXPECT_EQ(packed(part->outer), &part->head);
  EXPECT_EQ(packed(part->dependents), &part->dependent_list);
  EXPECT_EQ(part->nesting, 0);
  EXPECT_EQ(part->change_state, AP2_UNCHANGED);
  ASSERT_EQ(packed(part->dependents->count), 1u);
  auto* dependent = reinterpret_cast<AP2_DEPENDENT*>(part->dependents->head);
  EXPECT_EQ(packed(dependent->window), w);
  EXPECT_EQ(dependent->kind, AP2_KIND_NOTIFY_CHANGE);
  EXPECT_EQ(packed(dependent->object), nullptr);
  make();
  EXPECT_EQ(root_class().live, 2);
  EXPECT_EQ(root_class().created, 2);
}

TEST_F(RootObjects, SerialNumbersRiseByOneAndWrapAt65536) {
  APX_GetClassTable()->serial_counter = 65534;
  EXPECT_EQ(make()->serial, 65534);
  EXPECT_EQ(make()->serial, 65535);
  EXPECT_EQ(make()->serial, 0);
  EXPECT_EQ(APX_GetClassTable()->serial_counter, 65537u);
}

TEST_F(RootObjects, NewRefusesClassIdsOutsideTwoTo249) {
  for (uint16_t class_id : {0, 1, 250, 300}) {
    EXPECT_EQ(ap2_New_OBJ(class_id, nullptr), nullptr) << class_id;
  }
  EXPECT_EQ(root_class().created, 0);
}

TEST_F(RootObjects, CreateRecordsTheOuterObjectItIsGiven) {
  AP_OBJECT layer{40, nullptr};
  uint16_t class_id = AP2_CLASS_ID;
  auto* part = ap_result_object<AP2_OBJECT>(send(AP_MSG_CREATE, &class_id, &layer));
  ASSERT_NE(part, nullptr);
  EXPECT_EQ(packed(part->outer), &layer);
  EXPECT_EQ(ap2_Create_OBJ(40, nullptr), nullptr);  // only class 2 makes AP2 parts
}

// A class whose initialisation fails: message 4 must destroy what message 2 made.
constexpr uint16_t kFailingClass = 201;
uint16_t g_failing_object = kFailingClass;
std::vector<HWND> g_failing_destroys;

uint32_t failing_dispatcher(void* object, uint16_t message, void* parameter) {
  switch (message) {
    case AP_MSG_CREATE: return address_of(&g_failing_object);
    case AP_MSG_INIT: return 0;
    case AP_MSG_DESTROY:
      EXPECT_EQ(object, &g_failing_object);
      g_failing_destroys.push_back(packed(static_cast<AP_WINDOWPARM*>(parameter)->window));
      return 1;
    default: return 0;
  }
}

TEST_F(RootObjects, NewDestroysAnObjectWhoseInitialisationFails) {
  GU2_ImmedSetDispatcher(kFailingClass, failing_dispatcher);
  g_failing_destroys.clear();
  HWND w = window();
  EXPECT_EQ(ap2_New_OBJ(kFailingClass, w), nullptr);
  EXPECT_EQ(g_failing_destroys, std::vector<HWND>{w});
}

TEST_F(RootObjects, DestroyTellsEveryDependentAndFreesThePart) {
  HWND w = window();
  Listener listener;
  AP2_OBJECT* part = make(w);
  add_object(part, &listener, AP2_KIND_NOTIFY_CHANGE);

  EXPECT_EQ(destroy(part), AP_DESTROYED);
  expect_only_notice(w, AP_NOTICE_DESTROYING, 0, part);
  EXPECT_EQ(g_object_notices.size(), 1u);
  expect_object_notice(0, AP_NOTICE_DESTROYING, 0, part, nullptr);
  EXPECT_EQ(root_class().live, 0);
  EXPECT_EQ(root_class().created, 1);
  // The released cell is the first one handed out again.
  EXPECT_EQ(make(), part);
}

TEST_F(RootObjects, DestroyRefusedByACantDestroyWindowRemovesOnlyTheCallersEntry) {
  HWND holder = window();
  HWND caller = window();
  AP2_OBJECT* part = make();
  add_window(part, holder, AP2_KIND_CANT_DESTROY);
  add_window(part, caller, AP2_KIND_NOTIFY_CHANGE);

  EXPECT_EQ(destroy(part, caller), AP_DESTROY_REFUSED);
  EXPECT_EQ(dependent_windows(part), std::vector<HWND>{holder});
  EXPECT_EQ(root_class().live, 1);
  EXPECT_EQ(send(AP_MSG_SIZE, part), 46u + 18u);
  // The object stays, so the one dependent left may hear of it.
  platform::pump_messages();
  expect_only_notice(holder, AP_NOTICE_ONE_LEFT, 0, part);

  EXPECT_EQ(destroy(part, holder), AP_DESTROYED);
  EXPECT_EQ(root_class().live, 0);
}

struct HoldCase {
  uint16_t kind;
  bool held_by_caller;
  uint32_t result;
};

class DestroyHold : public RootObjects, public testing::WithParamInterface<HoldCase> {};

TEST_P(DestroyHold, OnlyOtherCantChangeOrCantDestroyWindowsRefuse) {
  HWND dependent = window();
  HWND other = window();
  AP2_OBJECT* part = make();
  add_window(part, dependent, GetParam().kind);
  EXPECT_EQ(destroy(part, GetParam().held_by_caller ? dependent : other), GetParam().result);
}

INSTANTIATE_TEST_SUITE_P(Kinds, DestroyHold,
                         testing::Values(HoldCase{AP2_KIND_CANT_CHANGE, false, AP_DESTROY_REFUSED},
                                         HoldCase{AP2_KIND_CANT_DESTROY, false, AP_DESTROY_REFUSED},
                                         HoldCase{AP2_KIND_NOTIFY_CHANGE, false, AP_DESTROYED},
                                         HoldCase{AP2_KIND_CANT_DESTROY, true, AP_DESTROYED},
                                         HoldCase{AP2_KIND_CANT_CHANGE, true, AP_DESTROYED}));

// Notice 1005 is posted and arrives after the destroy: it must not carry the
// address of the freed object.
TEST_F(RootObjects, DestroyThatGoesOnPostsNoNoticeWithTheFreedObject) {
  HWND remaining = window();
  HWND caller = window();
  Listener listener;
  AP2_OBJECT* part = make(remaining);
  add_window(part, caller, AP2_KIND_NOTIFY_CHANGE);

  EXPECT_EQ(destroy(part, caller), AP_DESTROYED);
  EXPECT_EQ(platform::pump_messages(), 0u);
  expect_only_notice(remaining, AP_NOTICE_DESTROYING, 0, part);
  EXPECT_TRUE(notices_to(caller).empty());

  AP2_OBJECT* watched = make(caller);
  add_object(watched, &listener, AP2_KIND_NOTIFY_CHANGE);
  EXPECT_EQ(destroy(watched, caller), AP_DESTROYED);
  EXPECT_EQ(g_object_notices.size(), 1u);
  expect_object_notice(0, AP_NOTICE_DESTROYING, 0, watched, nullptr);
}

// A destroy without a window has no entry of its own to remove; an object
// dependent taken away instead would keep the freed object's address unawares.
TEST_F(RootObjects, DestroyWithoutAWindowTellsItsObjectDependents) {
  Listener first;
  Listener second;
  AP2_OBJECT* part = make();
  add_object(part, &first, AP2_KIND_NOTIFY_CHANGE);
  add_object(part, &second, AP2_KIND_NOTIFY_CHANGE);
  EXPECT_EQ(destroy(part), AP_DESTROYED);
  ASSERT_EQ(g_object_notices.size(), 2u);
  EXPECT_EQ(g_object_notices[0].listener, &first);
  EXPECT_EQ(g_object_notices[1].listener, &second);
  expect_object_notice(0, AP_NOTICE_DESTROYING, 0, part, nullptr);
}

TEST_F(RootObjects, DuplicateTakesTheBracketStateAndOnlyTheGivenWindow) {
  HWND original_window = window();
  HWND copy_window = window();
  AP2_OBJECT* part = make(original_window);
  AP_WORDPARM word{77};
  send(AP_MSG_SET_USER_WORD, part, &word);
  send(AP_MSG_BEGIN_CHANGE, part);

  AP_WINDOWPARM parameter{copy_window, 0};
  auto* copy = ap_result_object<AP2_OBJECT>(send(AP_MSG_DUPLICATE, part, &parameter));
  ASSERT_NE(copy, nullptr);
  EXPECT_NE(copy, part);
  EXPECT_EQ(copy->serial, part->serial + 1);
  EXPECT_EQ(packed(copy->outer), &copy->head);
  EXPECT_EQ(copy->nesting, 1);
  EXPECT_EQ(copy->user_word, 77);
  EXPECT_EQ(copy->change_state, AP2_CHANGED);
  EXPECT_EQ(dependent_windows(copy), std::vector<HWND>{copy_window});
  EXPECT_EQ(dependent_windows(part), std::vector<HWND>{original_window});
  EXPECT_EQ(root_class().live, 2);
}

TEST_F(RootObjects, SizeIs46BytesAnd18PerDependent) {
  AP2_OBJECT* part = make();
  EXPECT_EQ(send(AP_MSG_SIZE, part), 46u);
  Listener listener;
  add_window(part, window(), AP2_KIND_NOTIFY_CHANGE);
  add_window(part, window(), AP2_KIND_CANT_DESTROY);
  add_object(part, &listener, AP2_KIND_NOTIFY_CHANGE);
  EXPECT_EQ(send(AP_MSG_SIZE, part), 100u);
}

// The dump's first line as its format gives it.
std::string dump_head(const AP2_OBJECT* part, uint32_t size, const char* flags) {
  char head[160];
  std::snprintf(head, sizeof head, "AP2_OBJECT:  %d 0x%lx Size:  %d Flags:  %s\r\n", part->serial,
                static_cast<unsigned long>(address_of(part)), static_cast<int>(size), flags);
  return head;
}

TEST_F(RootObjects, DumpOfAFreshObjectSucceedsWithoutMarks) {
  make();
  AP2_OBJECT* part = make();
  char text[512];
  EXPECT_EQ(send(AP_MSG_DUMP, part, text), 1u);
  EXPECT_EQ(std::string(text), dump_head(part, 46, "") + "    Allocs--Total:  2  Cur:  2 \r\n    ");
}

TEST_F(RootObjects, DumpMarksStateAndNestingAndListsEachDependent) {
  HWND notified = window();
  HWND holding = window();
  AP2_OBJECT* part = make(notified);
  add_window(part, holding, AP2_KIND_CANT_DESTROY);
  send(AP_MSG_BEGIN_CHANGE, part);
  send(AP_MSG_BEGIN_CHANGE, part);
  char text[512];
  EXPECT_EQ(send(AP_MSG_DUMP, part, text), 1u);
  char lines[160];
  std::snprintf(lines, sizeof lines, "        winID 0x%x  Notify Change\r\n    winID 0x%x  Cant Destroy\r\n",
                address_of(notified), address_of(holding));
  EXPECT_EQ(std::string(text), dump_head(part, 46 + 2 * 18, "UC2") + "    Allocs--Total:  1  Cur:  1 \r\n" + lines);

  AP_WORDPARM saved{static_cast<uint16_t>(AP2_SAVED)};
  send(AP_MSG_SET_CHANGE_STATE, part, &saved);
  send(AP_MSG_END_CHANGE, part);
  send(AP_MSG_END_CHANGE, part);
  EXPECT_EQ(send(AP_MSG_DUMP, part, text), 1u);
  EXPECT_EQ(std::string(text).substr(0, dump_head(part, 82, "S").size()), dump_head(part, 82, "S"));
}

TEST_F(RootObjects, DumpRefusesUnknownStatesAndKindsAndAMissingBuffer) {
  AP2_OBJECT* part = make();
  char text[512] = "untouched";
  EXPECT_EQ(send(AP_MSG_DUMP, part, nullptr), 0u);
  AP_WORDPARM odd{5};
  send(AP_MSG_SET_CHANGE_STATE, part, &odd);
  EXPECT_EQ(send(AP_MSG_DUMP, part, text), 0u);
  AP_WORDPARM fresh{0};
  send(AP_MSG_SET_CHANGE_STATE, part, &fresh);
  add_window(part, window(), 7);
  EXPECT_EQ(send(AP_MSG_DUMP, part, text), 0u);
  EXPECT_STREQ(text, "untouched");
}

TEST_F(RootObjects, ClassNameIsAP2_OBJECT) {
  AP2_OBJECT* part = make();
  char name[16] = "";
  EXPECT_EQ(send(AP_MSG_CLASS_NAME, part, name), 1u);
  EXPECT_STREQ(name, "AP2_OBJECT");
  EXPECT_EQ(send(AP_MSG_CLASS_NAME, part, nullptr), 0u);
}

TEST_F(RootObjects, NestedBracketsSendOneChangeNoticeAtTheOutermostEnd) {
  HWND first = window();
  HWND second = window();
  Listener listener;
  AP2_OBJECT* part = make(first);
  add_window(part, second, AP2_KIND_CANT_DESTROY);
  add_object(part, &listener, AP2_KIND_NOTIFY_CHANGE);
  AP_WORDPARM word{9};
  EXPECT_EQ(send(AP_MSG_SET_USER_WORD, part, &word), 1u);

  EXPECT_EQ(send(AP_MSG_BEGIN_CHANGE, part), 1u);
  EXPECT_EQ(send(AP_MSG_BEGIN_CHANGE, part), 1u);
  EXPECT_EQ(send(AP_MSG_GET_CHANGE_STATE, part), static_cast<uint32_t>(AP2_CHANGED));
  EXPECT_EQ(send(AP_MSG_END_CHANGE, part), 1u);
  EXPECT_TRUE(window_notices_.empty());
  EXPECT_TRUE(g_object_notices.empty());
  EXPECT_EQ(send(AP_MSG_END_CHANGE, part), 1u);
  for (HWND to : {first, second}) expect_only_notice(to, AP_NOTICE_CHANGED, 9, part);
  EXPECT_EQ(g_object_notices.size(), 1u);
  expect_object_notice(0, AP_NOTICE_CHANGED, 9, part, nullptr);
  EXPECT_EQ(send(AP_MSG_END_CHANGE, part), 0u);
}

TEST_F(RootObjects, CantChangeWindowHandsEveryOtherDependentToACopyAtTheFirstChange) {
  HWND keeper = window();
  HWND follower = window();
  Listener listener;
  AP2_OBJECT* part = make();
  add_window(part, keeper, AP2_KIND_CANT_CHANGE);
  add_window(part, follower, AP2_KIND_NOTIFY_CHANGE);
  add_object(part, &listener, AP2_KIND_NOTIFY_CHANGE);

  EXPECT_EQ(send(AP_MSG_BEGIN_CHANGE, part), 1u);
  EXPECT_EQ(root_class().live, 2);
  const auto to_follower = notices_to(follower);
  ASSERT_EQ(to_follower.size(), 1u);
  EXPECT_EQ(to_follower[0].message, AP_NOTICE_COPIED);
  EXPECT_EQ(to_follower[0].wparam, 0u);
  EXPECT_EQ(packed(to_follower[0].copied.outer), &part->head);
  auto* copy = reinterpret_cast<AP2_OBJECT*>(to_follower[0].copied.copy);
  ASSERT_NE(copy, nullptr);
  EXPECT_EQ(g_object_notices.size(), 1u);
  expect_object_notice(0, AP_NOTICE_COPIED, 0, part, copy);
  EXPECT_TRUE(notices_to(keeper).empty());

  EXPECT_EQ(dependent_windows(part), std::vector<HWND>{keeper});
  EXPECT_EQ(dependent_windows(copy), (std::vector<HWND>{follower, nullptr}));
  EXPECT_EQ(packed(reinterpret_cast<AP2_DEPENDENT*>(copy->dependents->tail)->object),
            reinterpret_cast<AP_OBJECT*>(&listener));
  EXPECT_EQ(part->nesting, 1);
  EXPECT_EQ(copy->nesting, 0);

  // Inside the bracket no further copy is made; the keeper never hears.
  EXPECT_EQ(send(AP_MSG_BEGIN_CHANGE, part), 1u);
  EXPECT_EQ(root_class().live, 2);
  send(AP_MSG_END_CHANGE, part);
  send(AP_MSG_END_CHANGE, part);
  platform::pump_messages();
  EXPECT_TRUE(notices_to(keeper).empty());
}

TEST_F(RootObjects, ChangeStateFollowsInitChangeAndSave) {
  AP2_OBJECT* part = make();
  int file_object = 0;
  EXPECT_EQ(send(AP_MSG_GET_CHANGE_STATE, part), static_cast<uint32_t>(AP2_UNCHANGED));
  send(AP_MSG_BEGIN_CHANGE, part);
  send(AP_MSG_END_CHANGE, part);
  EXPECT_EQ(send(AP_MSG_GET_CHANGE_STATE, part), static_cast<uint32_t>(AP2_CHANGED));
  EXPECT_EQ(send(AP_MSG_SAVE, part, nullptr), 0u);
  EXPECT_EQ(part->change_state, AP2_CHANGED);
  EXPECT_EQ(send(AP_MSG_SAVE, part, &file_object), 1u);
  EXPECT_EQ(part->change_state, AP2_SAVED);
  AP_WORDPARM changed{static_cast<uint16_t>(AP2_CHANGED)};
  EXPECT_EQ(send(AP_MSG_SET_CHANGE_STATE, part, &changed), 1u);
  EXPECT_EQ(part->change_state, AP2_CHANGED);
  AP_WINDOWPARM none{nullptr, 0};
  EXPECT_EQ(send(AP_MSG_INIT, part, &none), 1u);
  EXPECT_EQ(part->change_state, AP2_UNCHANGED);
}

TEST_F(RootObjects, ReadWithCreateMakesABareInitialisedObjectElseAnswersTheObject) {
  int file_object = 0;
  AP2_OBJECT* part = make();
  AP_READPARM into_existing{reinterpret_cast<AP_OBJECT*>(&file_object), 0};
  EXPECT_EQ(send(AP_MSG_READ, part, &into_existing), address_of(part));
  uint16_t class_id = AP2_CLASS_ID;
  AP_READPARM create{reinterpret_cast<AP_OBJECT*>(&file_object), 1};
  auto* made = ap_result_object<AP2_OBJECT>(send(AP_MSG_READ, &class_id, &create));
  ASSERT_NE(made, nullptr);
  EXPECT_NE(made, part);
  EXPECT_EQ(packed(made->outer), &made->head);
  EXPECT_EQ(packed(made->dependents->count), 0u);
  EXPECT_EQ(root_class().live, 2);
}

TEST_F(RootObjects, WriteStoresNothingAndNeedsAFileObject) {
  AP2_OBJECT* part = make();
  int file_object = 0;
  EXPECT_EQ(send(AP_MSG_WRITE, part, &file_object), 1u);
  EXPECT_EQ(send(AP_MSG_WRITE, part, nullptr), 0u);
}

TEST_F(RootObjects, AWindowOrAnObjectIsADependentOnlyOnce) {
  AP2_OBJECT* part = make();
  HWND w = window();
  Listener listener;
  EXPECT_EQ(add_window(part, w, AP2_KIND_CANT_DESTROY), 1u);
  EXPECT_EQ(add_window(part, w, AP2_KIND_NOTIFY_CHANGE), 0u);
  EXPECT_EQ(add_window(part, nullptr, AP2_KIND_NOTIFY_CHANGE), 0u);
  EXPECT_EQ(add_object(part, &listener, AP2_KIND_NOTIFY_CHANGE), 1u);
  EXPECT_EQ(add_object(part, &listener, AP2_KIND_CANT_DESTROY), 0u);
  EXPECT_EQ(add_object(part, nullptr, AP2_KIND_NOTIFY_CHANGE), 0u);
  EXPECT_EQ(packed(part->dependents->count), 2u);
}

TEST_F(RootObjects, RemovingOneOfTwoDependentsPostsNotice1005ToTheOther) {
  HWND staying = window();
  HWND leaving = window();
  AP2_OBJECT* part = make(staying);
  add_window(part, leaving, AP2_KIND_NOTIFY_CHANGE);
  AP_WINDOWPARM remove{leaving, 0};
  EXPECT_EQ(send(AP_MSG_REMOVE_DEPENDENT, part, &remove), 1u);
  EXPECT_TRUE(window_notices_.empty());  // posted, not sent
  EXPECT_EQ(platform::pump_messages(), 1u);
  expect_only_notice(staying, AP_NOTICE_ONE_LEFT, 0, part);
  EXPECT_EQ(send(AP_MSG_REMOVE_DEPENDENT, part, &remove), 0u);
}

TEST_F(RootObjects, WindowsThatNoLongerExistAreSkipped) {
  HWND gone = window();
  HWND present = window();
  AP2_OBJECT* part = make(gone);
  add_window(part, present, AP2_KIND_NOTIFY_CHANGE);
  platform::destroy_window(gone);
  send(AP_MSG_BEGIN_CHANGE, part);
  send(AP_MSG_END_CHANGE, part);
  EXPECT_TRUE(notices_to(gone).empty());
  EXPECT_EQ(notices_to(present).size(), 1u);
}

TEST_F(RootObjects, CopyGivesTheTargetTheBracketStateAndAWindow) {
  AP2_OBJECT* source = make();
  HWND kept = window();
  HWND given = window();
  AP2_OBJECT* target = make(kept);
  AP_WORDPARM word{5};
  send(AP_MSG_SET_USER_WORD, source, &word);
  send(AP_MSG_BEGIN_CHANGE, source);
  send(AP_MSG_BEGIN_CHANGE, source);
  const uint16_t serial = target->serial;

  AP_COPYPARM parameter{&target->head, given};
  EXPECT_EQ(send(AP_MSG_COPY, source, &parameter), 1u);
  EXPECT_EQ(target->nesting, 2);
  EXPECT_EQ(target->user_word, 5);
  EXPECT_EQ(target->change_state, AP2_CHANGED);
  EXPECT_EQ(target->serial, serial);
  EXPECT_EQ(packed(target->outer), &target->head);
  EXPECT_EQ(dependent_windows(target), (std::vector<HWND>{kept, given}));
  Listener not_a_part;
  AP_COPYPARM to_other{reinterpret_cast<AP_OBJECT*>(&not_a_part), nullptr};
  EXPECT_EQ(send(AP_MSG_COPY, source, &to_other), 0u);
}

TEST_F(RootObjects, SetOuterObjectPutsALayerInFront) {
  AP2_OBJECT* part = make();
  AP_OBJECT layer{40, nullptr};
  EXPECT_EQ(ap2_SetOuterObject_OBJ(part, &layer), 1);
  EXPECT_EQ(packed(layer.parent), &part->head);
  EXPECT_EQ(packed(part->outer), &layer);
  EXPECT_EQ(ap2_SetOuterObject_OBJ(part, nullptr), 0);
  EXPECT_EQ(ap2_SetOuterObject_OBJ(reinterpret_cast<AP2_OBJECT*>(&layer), &layer), 0);
}

TEST_F(RootObjects, MessagesOutsideTheProtocolOrWithoutTheirBlockAnswerZero) {
  AP2_OBJECT* part = make();
  for (uint16_t message : {0, 19, 20, 21, 25, 40}) EXPECT_EQ(send(message, part), 0u) << message;
  for (uint16_t message : {1, 3, 4, 5, 6, 13, 15, 16, 17, 22, 23}) {
    EXPECT_EQ(AP2_Dispatcher_OBJ(part, message, nullptr), 0u) << message;
  }
  AP_NOTIFYPARM notice{AP_NOTICE_CHANGED, 0, nullptr, nullptr};
  EXPECT_EQ(send(AP_MSG_NOTIFY, part, &notice), 1u);
  EXPECT_EQ(root_class().live, 1);
}

TEST_F(RootObjects, EveryOperationRefusesWhatIsNotAnAP2Part) {
  struct {
    uint16_t class_id = 5;
    uint8_t rest[60] = {};
  } other;
  AP_WORDPARM word{1};
  AP_WINDOWPARM none{nullptr, 0};
  for (uint16_t message : {1, 3, 5, 6, 7, 10, 11, 13, 18, 24}) {
    void* parameter = message == 1 || message == 13 ? static_cast<void*>(&word) : static_cast<void*>(&none);
    EXPECT_EQ(AP2_Dispatcher_OBJ(&other, message, parameter), 0u) << message;
  }
  EXPECT_EQ(AP2_Dispatcher_OBJ(&other, AP_MSG_GET_CHANGE_STATE, nullptr), 0xFFFFFFFFu);
  EXPECT_EQ(ap2_GetChangeState_OBJ(nullptr), -1);
  EXPECT_EQ(ap2_Destroy_OBJ(nullptr, nullptr), 0u);
}

}  // namespace
