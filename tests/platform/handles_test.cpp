#include <gtest/gtest.h>

#include "platform/handles.h"
#include "support/other_process.h"
#include "support/test_home.h"

namespace {

using testsupport::OtherProcess;

TEST(NamedMutex, AnotherProcessHoldingItMakesAWaitOfZeroTimeOut) {
  OtherProcess holder("HeldElsewhere", true);
  ASSERT_TRUE(holder.holds());
  HANDLE mutex = CreateMutexA(nullptr, FALSE, "HeldElsewhere");
  ASSERT_NE(mutex, nullptr);
  EXPECT_EQ(WaitForSingleObject(mutex, 0), WAIT_TIMEOUT);
  EXPECT_EQ(ReleaseMutex(mutex), FALSE);
  holder.end();
  EXPECT_EQ(WaitForSingleObject(mutex, 0), WAIT_OBJECT_0);
  EXPECT_EQ(ReleaseMutex(mutex), TRUE);
  EXPECT_EQ(CloseHandle(mutex), TRUE);
}

TEST(NamedMutex, AProcessThatOnlyOpensItDoesNotHoldIt) {
  OtherProcess opener("OpenedElsewhere", false);
  ASSERT_TRUE(opener.opened());
  EXPECT_FALSE(opener.holds());
  HANDLE mutex = CreateMutexA(nullptr, FALSE, "OpenedElsewhere");
  EXPECT_EQ(WaitForSingleObject(mutex, 0), WAIT_OBJECT_0);
  EXPECT_EQ(ReleaseMutex(mutex), TRUE);
  CloseHandle(mutex);
}

TEST(NamedMutex, TheHolderMayTakeItAgainThroughAnyOfItsHandles) {
  HANDLE first = CreateMutexA(nullptr, FALSE, "Shared");
  HANDLE second = CreateMutexA(nullptr, FALSE, "Shared");
  ASSERT_NE(first, nullptr);
  ASSERT_NE(second, first);
  EXPECT_EQ(WaitForSingleObject(first, 0), WAIT_OBJECT_0);
  EXPECT_EQ(WaitForSingleObject(second, 0), WAIT_OBJECT_0);
  EXPECT_EQ(ReleaseMutex(second), TRUE);
  EXPECT_EQ(ReleaseMutex(first), TRUE);
  EXPECT_EQ(ReleaseMutex(first), FALSE);  // every taking given back
  CloseHandle(first);
  CloseHandle(second);
}

TEST(NamedMutex, OpenFindsOnlyMutexesThatAreOpenSomewhere) {
  EXPECT_EQ(OpenMutexA(SYNCHRONIZE, FALSE, "NeverMade"), nullptr);
  {
    OtherProcess opener("MadeElsewhere", false);
    HANDLE opened = OpenMutexA(SYNCHRONIZE, FALSE, "MadeElsewhere");
    EXPECT_NE(opened, nullptr);
    CloseHandle(opened);
  }
  // Its lock file stays behind, but no process has it open any more.
  EXPECT_EQ(OpenMutexA(SYNCHRONIZE, FALSE, "MadeElsewhere"), nullptr);
  HANDLE made = CreateMutexA(nullptr, FALSE, "MadeHere");
  HANDLE opened = OpenMutexA(SYNCHRONIZE, FALSE, "MadeHere");
  EXPECT_NE(opened, nullptr);
  CloseHandle(made);
  CloseHandle(opened);
}

TEST(NamedMutex, NamesCannotLeaveTheMutexFolder) {
  HANDLE mutex = CreateMutexA(nullptr, FALSE, "../../escape");
  ASSERT_NE(mutex, nullptr);
  EXPECT_FALSE(testsupport::file_exists(testsupport::home() + "/escape"));
  EXPECT_FALSE(testsupport::file_exists(testsupport::home() + "/../escape"));
  CloseHandle(mutex);
}

TEST(NamedMutex, UnnamedMutexesAreSeparate) {
  HANDLE first = CreateMutexA(nullptr, TRUE, nullptr);
  HANDLE second = CreateMutexA(nullptr, FALSE, nullptr);
  EXPECT_EQ(ReleaseMutex(second), FALSE);
  EXPECT_EQ(ReleaseMutex(first), TRUE);
  CloseHandle(first);
  CloseHandle(second);
}

TEST(KernelHandles, CloseRefusesHandlesThatAreNotLive) {
  HANDLE mutex = CreateMutexA(nullptr, FALSE, "Closed");
  EXPECT_EQ(CloseHandle(mutex), TRUE);
  EXPECT_EQ(CloseHandle(mutex), FALSE);
  EXPECT_EQ(CloseHandle(nullptr), FALSE);
  int not_a_handle = 0;
  EXPECT_EQ(CloseHandle(&not_a_handle), FALSE);
  EXPECT_EQ(WaitForSingleObject(mutex, 0), WAIT_FAILED);
  EXPECT_EQ(ReleaseMutex(mutex), FALSE);
}

TEST(KernelHandles, OnlyWaitsOfZeroAreOffered) {
  HANDLE mutex = CreateMutexA(nullptr, FALSE, "Timed");
  EXPECT_EQ(WaitForSingleObject(mutex, 100), WAIT_FAILED);
  CloseHandle(mutex);
}

}  // namespace
