// The log sink when its output lock cannot be made. The lock is made once per process on
// first use, so this runs in a process of its own, before anything else has logged.
#include "log_capture.h"
#include "std_io.h"
#include "win32_handle.h"
#include "win32_mutex.h"

#include <gtest/gtest.h>

#include <string>

namespace {

const char* const LINE_NO_MUTEX =
    "error - src/foundation/csp.cpp - CspMutex_init: p -> h_mutex = CreateMutex (NULL, FALSE, NULL))\n";

TEST(StdIoNoLock, TextIsDeliveredUnguardedAndTheNextCallTriesAgain) {
  int n_handles = win32_handle_count();
  EXPECT_EQ(StdIo_puts("x"), -1);  // no sink: nothing is made
  EXPECT_EQ(StdIo_printf("%d", 1), -1);
  EXPECT_EQ(win32_handle_count(), n_handles);

  LogCapture log;
  win32_mutex_fail_next_creates(1000);
  EXPECT_EQ(StdIo_puts("hello\n"), 1);
  // The mutex module's own line is delivered once per attempt, without recursing.
  EXPECT_EQ(log.calls(), (std::vector<std::string>{LINE_NO_MUTEX, "hello\n", LINE_NO_MUTEX}));
  log.clear();
  EXPECT_EQ(StdIo_printf("n=%d\n", 3), 1);
  auto calls = log.calls();
  ASSERT_EQ(calls.size(), 5u);
  EXPECT_EQ(calls[2], "n=3\n");
  EXPECT_EQ(win32_handle_count(), n_handles);

  win32_mutex_fail_next_creates(0);
  log.clear();
  EXPECT_EQ(StdIo_puts("locked\n"), 1);
  EXPECT_EQ(log.calls(), (std::vector<std::string>{"locked\n"}));
  EXPECT_EQ(win32_handle_count(), n_handles + 1);  // the lock now exists, and stays
  StdIo_puts("again\n");
  EXPECT_EQ(win32_handle_count(), n_handles + 1);
}

}  // namespace
