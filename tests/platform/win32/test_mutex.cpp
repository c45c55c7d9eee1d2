// Win32 mutexes of the stand-in: ownership, recursion, abandonment, time-outs, failures.
#include "win32_file.h"
#include "win32_handle.h"
#include "win32_mutex.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <thread>
#include <unistd.h>

namespace {

DWORD wait_elsewhere(HANDLE h, DWORD dw_ms) {
  DWORD r = WAIT_FAILED;
  std::thread([&] {
    r = WaitForSingleObject(h, dw_ms);
    if (r == WAIT_OBJECT_0 || r == WAIT_ABANDONED) ReleaseMutex(h);
  }).join();
  return r;
}

TEST(Win32Mutex, InitialOwnerHoldsItUntilRelease) {
  int n_handles = win32_handle_count();
  HANDLE h = CreateMutexA(nullptr, TRUE, nullptr);
  ASSERT_NE(h, nullptr);
  EXPECT_EQ(win32_handle_count(), n_handles + 1);
  EXPECT_EQ(wait_elsewhere(h, 0), WAIT_TIMEOUT);
  EXPECT_EQ(wait_elsewhere(h, 20), WAIT_TIMEOUT);  // a short real wait, then gives up
  EXPECT_TRUE(ReleaseMutex(h));
  EXPECT_EQ(wait_elsewhere(h, INFINITE), WAIT_OBJECT_0);
  EXPECT_TRUE(CloseHandle(h));
  EXPECT_EQ(win32_handle_count(), n_handles);
}

TEST(Win32Mutex, RecursionAndReleaseByNonOwner) {
  HANDLE h = CreateMutexA(nullptr, FALSE, nullptr);
  EXPECT_EQ(WaitForSingleObject(h, 0), WAIT_OBJECT_0);
  EXPECT_EQ(WaitForSingleObject(h, INFINITE), WAIT_OBJECT_0);
  BOOL b_other = TRUE;
  DWORD dw_err = 0;
  std::thread([&] {
    b_other = ReleaseMutex(h);
    dw_err = GetLastError();
  }).join();
  EXPECT_FALSE(b_other);
  EXPECT_EQ(dw_err, ERROR_NOT_OWNER);
  EXPECT_TRUE(ReleaseMutex(h));
  EXPECT_EQ(wait_elsewhere(h, 0), WAIT_TIMEOUT);
  EXPECT_TRUE(ReleaseMutex(h));
  EXPECT_EQ(wait_elsewhere(h, 0), WAIT_OBJECT_0);
  EXPECT_FALSE(ReleaseMutex(h));  // not owned by anybody now
  EXPECT_EQ(GetLastError(), ERROR_NOT_OWNER);
  CloseHandle(h);
}

TEST(Win32Mutex, OwnerThatEndsAbandonsIt) {
  HANDLE h = CreateMutexA(nullptr, FALSE, nullptr);
  std::thread([&] { WaitForSingleObject(h, INFINITE); }).join();
  EXPECT_EQ(WaitForSingleObject(h, INFINITE), WAIT_ABANDONED);
  EXPECT_TRUE(ReleaseMutex(h));
  EXPECT_EQ(wait_elsewhere(h, 0), WAIT_OBJECT_0);  // consistent again, plainly signalled
  CloseHandle(h);
}

TEST(Win32Mutex, RefusedCreatesAndWrongHandles) {
  win32_mutex_fail_next_creates(2);
  EXPECT_EQ(CreateMutexA(nullptr, FALSE, nullptr), nullptr);
  EXPECT_EQ(GetLastError(), ERROR_NOT_ENOUGH_MEMORY);
  EXPECT_EQ(CreateMutexA(nullptr, FALSE, nullptr), nullptr);
  HANDLE h = CreateMutexA(nullptr, FALSE, nullptr);
  EXPECT_NE(h, nullptr);
  EXPECT_EQ(CreateMutexA(nullptr, FALSE, "named"), nullptr);
  EXPECT_EQ(GetLastError(), ERROR_NOT_SUPPORTED);
  CloseHandle(h);
  EXPECT_EQ(WaitForSingleObject(h, 0), WAIT_FAILED);  // closed
  EXPECT_EQ(GetLastError(), ERROR_INVALID_HANDLE);
  EXPECT_FALSE(ReleaseMutex(nullptr));
  char tmpl[] = "/tmp/zent_mutex_XXXXXX";
  int fd = mkstemp(tmpl);
  ASSERT_GE(fd, 0);
  close(fd);
  HANDLE f = CreateFileA(tmpl, GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
  EXPECT_EQ(WaitForSingleObject(f, 0), WAIT_FAILED);  // a file is no mutex
  CloseHandle(f);
  unlink(tmpl);
}

}  // namespace
