#include <vector>

#include <gtest/gtest.h>

#include "platform/user.h"

namespace {

struct Delivery {
  HWND window;
  UINT message;
  WPARAM wparam;
  LPARAM lparam;
  bool operator==(const Delivery& other) const {
    return window == other.window && message == other.message && wparam == other.wparam && lparam == other.lparam;
  }
};

class Windows : public testing::Test {
 protected:
  void TearDown() override {
    for (HWND window : windows_) platform::destroy_window(window);
    platform::pump_messages();
  }

  // A window that records what reaches it and answers the message number + 1.
  HWND recording_window() {
    HWND window = platform::create_window([this](HWND to, UINT message, WPARAM wparam, LPARAM lparam) {
      deliveries_.push_back(Delivery{to, message, wparam, lparam});
      return static_cast<LRESULT>(message + 1);
    });
    windows_.push_back(window);
    return window;
  }

  std::vector<HWND> windows_;
  std::vector<Delivery> deliveries_;
};

TEST_F(Windows, SendCallsTheWindowAtOnceAndAnswersItsResult) {
  HWND window = recording_window();
  EXPECT_EQ(IsWindow(window), TRUE);
  EXPECT_EQ(SendMessageA(window, 1002, 7, 0x12345), 1003);
  EXPECT_EQ(deliveries_, (std::vector<Delivery>{{window, 1002, 7, 0x12345}}));
}

TEST_F(Windows, PostWaitsForThePumpWhichDeliversInOrder) {
  HWND first = recording_window();
  HWND second = recording_window();
  EXPECT_EQ(PostMessageA(first, 1005, 0, 1), TRUE);
  EXPECT_EQ(PostMessageA(second, 1005, 0, 2), TRUE);
  EXPECT_TRUE(deliveries_.empty());
  EXPECT_EQ(platform::pump_messages(), 2u);
  EXPECT_EQ(deliveries_, (std::vector<Delivery>{{first, 1005, 0, 1}, {second, 1005, 0, 2}}));
  EXPECT_EQ(platform::pump_messages(), 0u);
}

TEST_F(Windows, PumpDeliversWhatIsPostedWhileItRuns) {
  HWND target = recording_window();
  HWND relay = platform::create_window([target](HWND, UINT, WPARAM, LPARAM) {
    PostMessageA(target, 2, 0, 0);
    return LRESULT{0};
  });
  windows_.push_back(relay);
  PostMessageA(relay, 1, 0, 0);
  EXPECT_EQ(platform::pump_messages(), 2u);
  EXPECT_EQ(deliveries_, (std::vector<Delivery>{{target, 2, 0, 0}}));
}

TEST_F(Windows, DestroyedWindowsGetNothingAndTheirIdsAreNotReused) {
  HWND window = recording_window();
  PostMessageA(window, 1005, 0, 0);
  EXPECT_EQ(platform::destroy_window(window), TRUE);
  EXPECT_EQ(IsWindow(window), FALSE);
  EXPECT_EQ(platform::pump_messages(), 0u);
  EXPECT_EQ(SendMessageA(window, 1002, 0, 0), 0);
  EXPECT_EQ(PostMessageA(window, 1005, 0, 0), FALSE);
  EXPECT_TRUE(deliveries_.empty());
  EXPECT_NE(recording_window(), window);
  EXPECT_EQ(platform::destroy_window(window), FALSE);
  EXPECT_EQ(IsWindow(nullptr), FALSE);
}

TEST_F(Windows, WindowMayDestroyItselfWhileItRuns) {
  HWND window = nullptr;
  int calls = 0;
  window = platform::create_window([&window, &calls](HWND, UINT, WPARAM, LPARAM) {
    ++calls;
    platform::destroy_window(window);
    return LRESULT{5};
  });
  EXPECT_EQ(SendMessageA(window, 1, 0, 0), 5);
  EXPECT_EQ(calls, 1);
  EXPECT_EQ(IsWindow(window), FALSE);
}

}  // namespace
