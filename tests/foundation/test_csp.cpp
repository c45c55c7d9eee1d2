// Sleep and the recursive, robust mutex.
#include "csp.h"
#include "log_capture.h"
#include "win32_handle.h"
#include "win32_mutex.h"
#include "win32_time.h"

#include <gtest/gtest.h>

#include <atomic>
#include <thread>

namespace {

int try_lock_elsewhere(CspMutex* p) {
  int rc = -1;
  std::thread t([&] {
    rc = CspMutex_try_lock(p);
    if (rc) CspMutex_unlock(p);
  });
  t.join();
  return rc;
}

TEST(CspMutex, RecursiveLockNeedsOneUnlockPerLock) {
  CspMutex* p = CspMutex_alloc();
  ASSERT_NE(p, nullptr);
  EXPECT_EQ(CspMutex_lock(p), 1);
  EXPECT_EQ(CspMutex_lock(p), 1);
  EXPECT_EQ(try_lock_elsewhere(p), 0);
  EXPECT_EQ(CspMutex_unlock(p), 1);
  EXPECT_EQ(try_lock_elsewhere(p), 0);  // still held once
  EXPECT_EQ(CspMutex_unlock(p), 1);
  EXPECT_EQ(try_lock_elsewhere(p), 1);
  EXPECT_EQ(CspMutex_free(p), 1);
}

TEST(CspMutex, LockLeftByEndedThreadIsTakenByNextLocker) {
  CspMutex* p = CspMutex_alloc();
  ASSERT_NE(p, nullptr);
  std::thread([&] { EXPECT_EQ(CspMutex_lock(p), 1); }).join();  // ends while owning it
  EXPECT_EQ(CspMutex_lock(p), 1);
  EXPECT_EQ(try_lock_elsewhere(p), 0);  // the caller owns it now
  CspMutex_unlock(p);
  EXPECT_EQ(try_lock_elsewhere(p), 1);
  CspMutex_free(p);
}

TEST(CspMutex, AbandonedAfterTwoLocksNeedsOneUnlockFromTheNewOwner) {
  CspMutex* p = CspMutex_alloc();
  std::thread([&] {
    CspMutex_lock(p);
    CspMutex_lock(p);
  }).join();
  EXPECT_EQ(CspMutex_try_lock(p), 1);  // abandoned counts as locked, also for try_lock
  EXPECT_EQ(try_lock_elsewhere(p), 0);
  CspMutex_unlock(p);                   // the ended owner's levels are not inherited
  EXPECT_EQ(try_lock_elsewhere(p), 1);
  CspMutex_free(p);
}

TEST(CspMutex, TryLockOfAHeldMutexFailsAtOnce) {
  CspMutex m;
  ASSERT_EQ(CspMutex_init(&m), &m);  // caller storage
  std::atomic<bool> locked{false}, release{false};
  std::thread owner([&] {
    CspMutex_lock(&m);
    locked = true;
    while (!release) Csp_sleep_ms(0);
    CspMutex_unlock(&m);
  });
  while (!locked) Csp_sleep_ms(0);
  EXPECT_EQ(CspMutex_try_lock(&m), 0);
  release = true;
  owner.join();
  EXPECT_EQ(CspMutex_lock(&m), 1);
  CspMutex_unlock(&m);
  CloseHandle(m.h_mutex);
}

TEST(CspSleep, RunsOnTheReplaceableClock) {
  Win32VirtualClock clock(1000);
  EXPECT_EQ(Csp_sleep_ms(2000), 1);
  EXPECT_EQ(clock.now(), 3000u);
  EXPECT_EQ(Csp_sleep_ms(0), 1);
  EXPECT_EQ(GetTickCount(), 3000u);
}

TEST(CspMutex, UnlockByNonOwnerChangesNothing) {
  CspMutex* p = CspMutex_alloc();
  std::atomic<bool> locked{false}, release{false};
  std::thread owner([&] {
    CspMutex_lock(p);
    locked = true;
    while (!release) Csp_sleep_ms(0);
    CspMutex_unlock(p);
  });
  while (!locked) Csp_sleep_ms(0);
  EXPECT_EQ(CspMutex_unlock(p), 1);     // not ours: quietly refused
  EXPECT_EQ(CspMutex_try_lock(p), 0);   // still the owner's
  release = true;
  owner.join();
  EXPECT_EQ(CspMutex_try_lock(p), 1);
  CspMutex_unlock(p);
  CspMutex_free(p);
}

TEST(CspMutex, NullArgumentsGiveNeutralResultsWithoutLines) {
  LogCapture log;
  EXPECT_EQ(CspMutex_lock(nullptr), 0);
  EXPECT_EQ(CspMutex_try_lock(nullptr), 0);
  EXPECT_EQ(CspMutex_unlock(nullptr), 0);
  EXPECT_EQ(CspMutex_free(nullptr), 0);
  EXPECT_EQ(CspMutex_init(nullptr), nullptr);
  EXPECT_EQ(log.text(), "");
  EXPECT_EQ(Csp_sleep_ms(0), 1);
}

TEST(CspMutex, RefusedMutexLogsOneLine) {
  LogCapture log;
  CspMutex m;
  win32_mutex_fail_next_creates(1);
  EXPECT_EQ(CspMutex_init(&m), nullptr);
  EXPECT_EQ(log.text(), "error - src/foundation/csp.cpp - CspMutex_init: "
                        "p -> h_mutex = CreateMutex (NULL, FALSE, NULL))\n");
}

}  // namespace
