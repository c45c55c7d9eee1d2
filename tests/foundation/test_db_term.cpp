// The debug terminal: its ring of lines, the width cut, the change counter, the text export
// and the lock that keeps readers from seeing half-printed lines.
#include "alloc_seam.h"
#include "db_term.h"
#include "log_capture.h"
#include "win32_mutex.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <climits>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>
#include <thread>
#include <unistd.h>

namespace {

struct TermDeleter {
  void operator()(DbTerm* p) const { DbTerm_free(p); }
};
using TermPtr = std::unique_ptr<DbTerm, TermDeleter>;

TermPtr make_term(int nx = 160, int ny = 200) { return TermPtr(DbTerm_alloc(nx, ny)); }

/* Screen line i as the Stdout window reads it. */
std::string line(DbTerm* p, int i) {
  return p->p_scr + ((p->i_top + i) % p->ny_scr) * p->n_stride;
}

TEST(DbTerm, FreshScreenIsEmptyLinesAndCounterOne) {
  TermPtr p = make_term();
  ASSERT_TRUE(p);
  EXPECT_EQ(DbTerm_to_string(p.get(), -1), 1);
  EXPECT_EQ(std::string(DbTerm_get_p_str(p.get())), std::string(199, '\n'));
  EXPECT_EQ(DbTerm_to_string(p.get(), 1), -1);  // unchanged since the reader looked
  EXPECT_EQ(DbTerm_get_n_str(p.get()), 161 * 200);
}

TEST(DbTerm, LineIsCutAtWidthUntilTheNextLineFeed) {
  TermPtr p = make_term();
  EXPECT_EQ(DbTerm_print(p.get(), std::string(170, 'x').c_str()), 1);
  EXPECT_EQ(DbTerm_print(p.get(), "yy\nz"), 1);  // still beyond the width: dropped
  EXPECT_EQ(line(p.get(), 0), std::string(160, 'x'));
  EXPECT_EQ(line(p.get(), 1), "z");
}

TEST(DbTerm, PrintsContinueTheLineAndStoreControlBytes) {
  TermPtr p = make_term();
  DbTerm_print(p.get(), "ab");
  DbTerm_print(p.get(), "cd\n");
  DbTerm_print(p.get(), "a\r\t\n");
  EXPECT_EQ(line(p.get(), 0), "abcd");
  EXPECT_EQ(line(p.get(), 1), "a\r\t");
  EXPECT_EQ(p->y_cursor, 2);
  EXPECT_EQ(p->x_cursor, 0);
  EXPECT_EQ(line(p.get(), 2), "");
}

TEST(DbTerm, ScrollingMovesOnlyTheTopIndex) {
  TermPtr p = make_term();
  char* p_scr_before = p->p_scr;
  for (int i = 1; i <= 200; i++) DbTerm_printf(p.get(), "line %d\n", i);
  EXPECT_EQ(p->p_scr, p_scr_before);
  EXPECT_EQ(p->i_top, 1);
  EXPECT_EQ(line(p.get(), 0), "line 2");
  EXPECT_EQ(line(p.get(), 198), "line 200");
  EXPECT_EQ(line(p.get(), 199), "");
  // The row that held "line 1" now is the bottom line, emptied by the line feed, and the
  // text of every other row stayed where it was printed.
  EXPECT_EQ(std::string(p->p_scr + 0), "");
  EXPECT_EQ(std::string(p->p_scr + 1 * p->n_stride), "line 2");
  DbTerm_to_string(p.get(), -1);
  std::string s = DbTerm_get_p_str(p.get());
  EXPECT_EQ(s.substr(0, 7), "line 2\n");
  EXPECT_EQ(s.substr(s.size() - 10), "\nline 200\n");
}

TEST(DbTerm, RingWrapsManyTimesOnASmallScreen) {
  TermPtr p = make_term(4, 3);
  for (int i = 0; i < 10; i++) DbTerm_printf(p.get(), "%d\n", i);
  DbTerm_print(p.get(), "abcdef");
  DbTerm_to_string(p.get(), -1);
  EXPECT_EQ(std::string(DbTerm_get_p_str(p.get())), "8\n9\nabcd");
}

TEST(DbTerm, CounterAdvancesOncePerCallAndWrapsToZero) {
  TermPtr p = make_term();
  int n = DbTerm_to_string(p.get(), -1);
  DbTerm_print(p.get(), "a\nb\nc\n");
  EXPECT_EQ(DbTerm_to_string(p.get(), n), n + 1);
  DbTerm_print(p.get(), "");
  EXPECT_EQ(DbTerm_to_string(p.get(), n + 1), n + 2);
  DbTerm_clear(p.get());
  EXPECT_EQ(DbTerm_to_string(p.get(), n + 2), n + 3);
  EXPECT_EQ(std::string(DbTerm_get_p_str(p.get())), std::string(199, '\n'));

  p->n_change = INT_MAX - 1;
  DbTerm_print(p.get(), "x");
  EXPECT_EQ(p->n_change, INT_MAX);
  DbTerm_print(p.get(), "x");
  EXPECT_EQ(p->n_change, 0);
  EXPECT_EQ(DbTerm_to_string(p.get(), -1), 0);
  EXPECT_EQ(DbTerm_to_string(p.get(), 0), -1);
}

TEST(DbTerm, PrintfCutsAtItsBufferAndRefusesNullFormat) {
  TermPtr p = make_term(5000, 2);
  std::string big(5000, 'q');
  EXPECT_EQ(DbTerm_printf(p.get(), "%s", big.c_str()), 1);
  EXPECT_EQ(line(p.get(), 0), std::string(4095, 'q'));
  LogCapture log;
  EXPECT_EQ(DbTerm_printf(p.get(), nullptr), 0);
  EXPECT_EQ(log.text(), "error - src/foundation/db_term.cpp - DbTerm_printf: p_format == NULL\n");
}

TEST(DbTerm, NullArgumentsLogAndGiveNeutralResults) {
  LogCapture log;
  EXPECT_EQ(DbTerm_print(nullptr, "x"), 0);
  EXPECT_EQ(log.text(), "error - src/foundation/db_term.cpp - DbTerm_enter: p == NULL\n"
                        "error - src/foundation/db_term.cpp - DbTerm_print: p == NULL\n"
                        "error - src/foundation/db_term.cpp - DbTerm_exit: p == NULL\n");
  log.clear();
  EXPECT_EQ(DbTerm_clear(nullptr), 0);
  EXPECT_EQ(log.calls().size(), 3u);
  EXPECT_TRUE(log.contains("DbTerm_clear: p == NULL\n"));
  log.clear();
  EXPECT_EQ(DbTerm_to_string(nullptr, -1), -1);
  EXPECT_EQ(DbTerm_enter(nullptr), 0);
  EXPECT_EQ(DbTerm_exit(nullptr), 0);
  EXPECT_EQ(log.calls().size(), 3u);
  log.clear();
  DbTerm_free(nullptr);
  EXPECT_EQ(DbTerm_get_n_str(nullptr), 0);
  EXPECT_EQ(DbTerm_get_p_str(nullptr), nullptr);
  EXPECT_EQ(log.text(), "");

  TermPtr p = make_term();
  int n = p->n_change;
  EXPECT_EQ(DbTerm_print(p.get(), nullptr), 0);
  EXPECT_EQ(p->n_change, n);
  EXPECT_EQ(log.text(), "error - src/foundation/db_term.cpp - DbTerm_print: p_src == NULL\n");
}

TEST(DbTerm, BadSizesAndRefusedLockGiveNullWithALine) {
  LogCapture log;
  EXPECT_EQ(DbTerm_alloc(10, 0), nullptr);
  EXPECT_EQ(DbTerm_alloc(-1, 10), nullptr);
  EXPECT_EQ(DbTerm_alloc(INT_MAX, 2), nullptr);
  EXPECT_EQ(log.calls().size(), 3u);
  log.clear();
  win32_mutex_fail_next_creates(1);
  EXPECT_EQ(DbTerm_alloc(160, 200), nullptr);
  EXPECT_TRUE(log.contains("error - src/foundation/db_term.cpp - DbTerm_alloc: __XALLOC failed "
                           "(p -> p_mutex=CspMutex_alloc ())\n"));
  log.clear();
  AllocSeam_fail_mask(0b110);  // the record is made; screen and text are refused
  EXPECT_EQ(DbTerm_alloc(160, 200), nullptr);
  AllocSeam_fail_mask(0);
  EXPECT_EQ(log.text(), "error - src/foundation/db_term.cpp - DbTerm_alloc: __XALLOC failed (p -> "
                        "p_scr=__ALLOC ((nx_scr + 1) * ny_scr * sizeof (* p -> p_scr)))\n"
                        "error - src/foundation/db_term.cpp - DbTerm_alloc: __XALLOC failed (p -> "
                        "p_str=__ALLOC (p -> n_str * sizeof (* p -> p_scr)))\n");
  TermPtr p = make_term(0, 1);  // smallest screen: takes nothing but line feeds
  ASSERT_TRUE(p);
  DbTerm_print(p.get(), "abc\n\nd");
  EXPECT_EQ(line(p.get(), 0), "");
}

/* Scheduler state of a thread of this process as /proc shows it ('R' runs, 'S' sleeps,
** for instance on a lock), '?' when it cannot be read. */
char thread_state(pid_t tid) {
  std::ifstream f("/proc/self/task/" + std::to_string(tid) + "/stat");
  std::string s((std::istreambuf_iterator<char>(f)), std::istreambuf_iterator<char>());
  size_t i = s.rfind(')');
  return i != std::string::npos && i + 2 < s.size() ? s[i + 2] : '?';
}

TEST(DbTerm, ReaderNeverSeesATornLine) {
  // A print that starts while a reader holds the lock waits for it. The reader waits until
  // the printing thread sleeps (on the lock) or has finished, whichever comes first, so no
  // scheduling lets a print that ignores the lock pass unseen.
  if (thread_state(gettid()) == 'R') {
    TermPtr q = make_term(64, 8);
    DbTerm_enter(q.get());
    int n_before = q->n_change;
    std::atomic<pid_t> tid{0};
    std::atomic<bool> b_printed{false};
    std::thread printer([&] {
      tid = gettid();
      DbTerm_print(q.get(), "late\n");
      b_printed = true;
    });
    while (!tid) std::this_thread::yield();
    while (!b_printed && thread_state(tid) != 'S') std::this_thread::yield();
    EXPECT_FALSE(b_printed);
    EXPECT_EQ(q->n_change, n_before);
    EXPECT_EQ(line(q.get(), 0), "");
    DbTerm_exit(q.get());
    printer.join();
    EXPECT_EQ(line(q.get(), 0), "late");
  }
  TermPtr p = make_term(64, 8);
  std::atomic<bool> stop{false};
  std::thread writer([&] {
    std::string s;
    for (int i = 0; !stop; i++) {
      s.assign(60, (char)('a' + i % 26));
      s += '\n';
      DbTerm_print(p.get(), s.c_str());
    }
  });
  int n_bad = 0, n_known = -1;
  for (int k = 0; k < 3000; k++) {
    DbTerm_enter(p.get());
    for (int i = 0; i < p->ny_scr; i++) {
      std::string l = line(p.get(), i);
      if (!(l.empty() || (l.size() == 60 && l.find_first_not_of(l[0]) == std::string::npos)))
        n_bad++;
    }
    DbTerm_exit(p.get());
    int n = DbTerm_to_string(p.get(), n_known);
    if (n >= 0) {
      n_known = n;
      std::string s = DbTerm_get_p_str(p.get());  // safe: only this thread builds it
      if (std::count(s.begin(), s.end(), '\n') != 7) n_bad++;
    }
  }
  stop = true;
  writer.join();
  EXPECT_EQ(n_bad, 0);
}

}  // namespace
