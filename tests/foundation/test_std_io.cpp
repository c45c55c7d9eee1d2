// The log sink: one callback call per text, the shared format buffer and its cut, the lock
// held across formatting and delivery, the input side, and the terminal as the sink.
#include "csp.h"
#include "db_term.h"
#include "log_capture.h"
#include "std_io.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <iterator>
#include <string>
#include <thread>
#include <vector>

namespace {

TEST(StdIo, NoSinkDropsEverything) {
  StdIo_set_stdout(nullptr, nullptr);
  EXPECT_EQ(StdIo_puts("x"), -1);
  EXPECT_EQ(StdIo_printf("%d", 1), -1);
  EXPECT_EQ(StdIo_get_cb_stdout(), nullptr);
}

TEST(StdIo, PrintfDeliversOneWholeTextAndCutsAtItsBuffer) {
  LogCapture log;
  EXPECT_EQ(StdIo_printf("a=%d, %s\n", 5, "bc"), 1);
  EXPECT_EQ(log.calls(), (std::vector<std::string>{"a=5, bc\n"}));
  log.clear();
  std::string big(STDIO_N_BUF_PRINTF + 100, 'x');
  EXPECT_EQ(StdIo_printf("%s", big.c_str()), 1);
  ASSERT_EQ(log.calls().size(), 1u);
  EXPECT_EQ(log.calls()[0], std::string(STDIO_N_BUF_PRINTF - 1, 'x'));
  log.clear();
  EXPECT_EQ(StdIo_puts(nullptr), -1);
  EXPECT_EQ(log.calls().size(), 0u);
}

/* A sink that returns 7 and remembers its context. */
void* g_ctx_seen = nullptr;
int sink_seven(void* p, const char*) {
  g_ctx_seen = p;
  return 7;
}

TEST(StdIo, CallbackResultAndContextPassThrough) {
  int ctx = 0;
  EXPECT_EQ(StdIo_set_stdout(sink_seven, &ctx), 1);
  EXPECT_EQ(StdIo_get_cb_stdout(), sink_seven);
  EXPECT_EQ(StdIo_get_p_stdout(), &ctx);
  EXPECT_EQ(StdIo_puts("x"), 7);
  EXPECT_EQ(StdIo_printf("y"), 7);
  EXPECT_EQ(g_ctx_seen, &ctx);
  EXPECT_EQ(StdIo_set_stdout(nullptr, nullptr), 1);
  EXPECT_EQ(StdIo_puts("x"), -1);
}

TEST(StdIo, ConcurrentPrintfsNeverShareTheBuffer) {
  // Every text names its thread and number, so a text lost to another thread's formatting,
  // the other one delivered twice, or two texts mixed all show. A fault can only show where
  // the threads took turns at the lock; rounds go on until they have changed turns often
  // enough, however the machine schedules them (or a round limit on a machine that never
  // runs them side by side).
  constexpr int N_THREADS = 4, N_TEXTS = 2000;
  std::vector<std::string> expected;
  for (int t = 0; t < N_THREADS; t++)
    for (int i = 0; i < N_TEXTS; i++)
      expected.push_back(std::to_string(t) + ":" + std::to_string(i));
  std::sort(expected.begin(), expected.end());
  int n_turns = 0;
  for (int round = 0; round < 50 && n_turns < 500; round++) {
    LogCapture log;
    std::atomic<int> n_ready{0};
    std::vector<std::thread> threads;
    for (int t = 0; t < N_THREADS; t++) {
      threads.emplace_back([t, &n_ready] {
        n_ready++;
        while (n_ready < N_THREADS) std::this_thread::yield();
        for (int i = 0; i < N_TEXTS; i++) StdIo_printf("%d:%d", t, i);
      });
    }
    for (auto& th : threads) th.join();
    auto calls = log.calls();
    for (size_t i = 1; i < calls.size(); i++)
      if (calls[i][0] != calls[i - 1][0]) n_turns++;
    std::sort(calls.begin(), calls.end());
    std::vector<std::string> wrong;
    std::set_symmetric_difference(calls.begin(), calls.end(), expected.begin(), expected.end(),
                                  std::back_inserter(wrong));
    ASSERT_EQ(wrong.size(), 0u) << "texts lost, doubled or mixed in round " << round;
  }
}

/* A sink that logs from inside itself: the output lock is taken a second time by this
** thread and must not block it. */
int g_depth = 0;
std::vector<std::string> g_nested;
int sink_nesting(void*, const char* p_text) {
  g_nested.push_back(p_text);
  if (g_depth++ == 0) StdIo_printf("inner %d", 2);
  g_depth--;
  return 1;
}

TEST(StdIo, OutputLockIsTakenAgainByItsOwner) {
  g_nested.clear();
  StdIo_set_stdout(sink_nesting, nullptr);
  EXPECT_EQ(StdIo_printf("outer %d", 1), 1);
  StdIo_set_stdout(nullptr, nullptr);
  EXPECT_EQ(g_nested, (std::vector<std::string>{"outer 1", "inner 2"}));
}

TEST(StdIo, SecondThreadWaitsWhileTheCallbackRuns) {
  std::atomic<int> stage{0};
  std::atomic<bool> b_other_done{false};
  static std::atomic<int>* p_stage;
  p_stage = &stage;
  StdIo_set_stdout(
      [](void*, const char* p_text) {
        if (std::string(p_text) == "first") {
          *p_stage = 1;
          while (*p_stage == 1) Csp_sleep_ms(0);  // released by the test body below
        }
        return 1;
      },
      nullptr);
  std::thread first([] { StdIo_puts("first"); });
  while (stage != 1) Csp_sleep_ms(0);
  std::thread other([&] {
    StdIo_printf("other");
    b_other_done = true;
  });
  for (int i = 0; i < 2000; i++) Csp_sleep_ms(0);
  EXPECT_FALSE(b_other_done);  // held off by the lock the first caller holds
  stage = 2;
  first.join();
  other.join();
  EXPECT_TRUE(b_other_done);
  StdIo_set_stdout(nullptr, nullptr);
}

TEST(StdIo, DebugTerminalAsSink) {
  DbTerm* p = DbTerm_alloc(160, 200);
  EXPECT_EQ(StdIo_set_stdout(DbTerm_print, p), 1);
  EXPECT_EQ(StdIo_puts("stdout is now connected to this virtual screen\n"), 1);
  EXPECT_EQ(StdIo_printf("a=%d\n", 5), 1);
  DbTerm_print(p, nullptr);  // its own line comes back to it, after its lock is released
  StdIo_set_stdout(nullptr, nullptr);
  DbTerm_to_string(p, -1);
  std::string s = DbTerm_get_p_str(p);
  EXPECT_EQ(s.substr(0, 53), "stdout is now connected to this virtual screen\na=5\ner");
  EXPECT_NE(s.find("DbTerm_print: p_src == NULL\n"), std::string::npos);
  DbTerm_free(p);
}

/* A sink that remembers each text and hands it to a terminal that does not exist, whose
** "p == NULL" lines come back through the sink. */
std::vector<std::string> g_to_null_term;
int sink_null_term(void*, const char* p_text) {
  g_to_null_term.push_back(p_text);
  return DbTerm_print(nullptr, p_text);
}

TEST(StdIo, SinkOnANullTerminalEndsInsteadOfRecursing) {
  StdIo_set_stdout(DbTerm_print, nullptr);
  EXPECT_EQ(StdIo_puts("x\n"), 0);
  EXPECT_EQ(StdIo_printf("%d\n", 1), 0);
  g_to_null_term.clear();
  StdIo_set_stdout(sink_null_term, nullptr);
  EXPECT_EQ(StdIo_puts("x\n"), 0);
  StdIo_set_stdout(nullptr, nullptr);
  ASSERT_GE(g_to_null_term.size(), 2u);
  EXPECT_EQ(g_to_null_term[0], "x\n");
  EXPECT_EQ(g_to_null_term[1], "error - src/foundation/db_term.cpp - DbTerm_enter: p == NULL\n");
  EXPECT_LE(g_to_null_term.size(), 4u);  // the terminal's three lines, each once
}

int g_n_getc = 0;
int stdin_late(void*) { return ++g_n_getc < 4 ? -1 : 65; }

TEST(StdIo, InputWaitsForACharacter) {
  EXPECT_EQ(StdIo_set_stdin(nullptr, nullptr), 1);
  EXPECT_EQ(StdIo_getc(), -1);
  EXPECT_EQ(StdIo_getc_nw(), -1);
  int ctx;
  g_n_getc = 0;
  StdIo_set_stdin(stdin_late, &ctx);
  EXPECT_EQ(StdIo_get_cb_stdin(), stdin_late);
  EXPECT_EQ(StdIo_get_p_stdin(), &ctx);
  EXPECT_EQ(StdIo_getc(), 65);
  EXPECT_EQ(g_n_getc, 4);
  StdIo_set_stdin(nullptr, nullptr);
}

TEST(StdIo, NullFormatIsReportedNotFormatted) {
  LogCapture log;
  EXPECT_EQ(StdIo_printf(nullptr), -1);
  EXPECT_EQ(log.text(), "error - src/foundation/std_io.cpp - StdIo_printf: p_format == NULL\n");
}

}  // namespace
