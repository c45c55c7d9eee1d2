/*
** std_io.cpp - the log sink's module variables and their two locks, made on first use.
**
** Making the output lock can fail, and the mutex module then logs its failure through
** StdIo_puts, which would try to make the lock again. While a thread makes a lock, its own
** nested output is delivered unguarded instead, so that path ends after one line. Making is
** itself serialised, so two threads that log first at once still get one lock, not two.
**
** A callback may log from inside itself (its own error line), but a callback that logs on
** every call would recurse without end: DbTerm_print on a NULL terminal logs "p == NULL"
** through the sink, which is DbTerm_print on that NULL terminal again. One nested level is
** delivered; deeper texts of the same thread are dropped with -1.
*/
#include "std_io.h"

#include "csp.h"

#include <cstdarg>
#include <cstdio>
#include <mutex>

static tyStdIo_cb_stdout cb_stdout = nullptr;  // output callback; NULL: lines are dropped
static void* p_stdout = nullptr;               // its context
static CspMutex* p_mutex_stdout = nullptr;     // output lock, made on first use
static tyStdIo_cb_stdin cb_stdin = nullptr;    // input callback; NULL: no input
static void* p_stdin = nullptr;                // its context
static CspMutex* p_mutex_stdin = nullptr;      // input lock, made on first use
static char buf_printf[STDIO_N_BUF_PRINTF];    // shared, used only under the output lock
static thread_local bool b_making_lock = false; // this thread is making a lock right now
static std::mutex making_lock;                  // serialises the making of both locks
static thread_local int n_in_sink = 0;          // output callbacks this thread is inside
static constexpr int N_SINK_NESTED_MAX = 1;     // texts logged from inside a callback: 1 level

/* Counts one running output callback of this thread for as long as it lives. */
struct InSink {
  InSink() { n_in_sink++; }
  ~InSink() { n_in_sink--; }
  InSink(const InSink&) = delete;
  InSink& operator=(const InSink&) = delete;
};

static bool nested_too_deep(void) { return n_in_sink > N_SINK_NESTED_MAX; }

static CspMutex* load_lock(CspMutex** pp_mutex) {
  return __atomic_load_n(pp_mutex, __ATOMIC_ACQUIRE);
}

/* Makes *pp_mutex if missing; never recurses through the mutex module's error line. */
static void make_lock(CspMutex** pp_mutex) {
  if (load_lock(pp_mutex) || b_making_lock) return;
  b_making_lock = true;
  {
    std::lock_guard<std::mutex> guard(making_lock);
    if (!load_lock(pp_mutex)) __atomic_store_n(pp_mutex, CspMutex_alloc(), __ATOMIC_RELEASE);
  }
  b_making_lock = false;
}

int StdIo_set_stdout(tyStdIo_cb_stdout cb, void* p) {
  cb_stdout = cb;
  p_stdout = p;
  return 1;
}

tyStdIo_cb_stdout StdIo_get_cb_stdout(void) { return cb_stdout; }

void* StdIo_get_p_stdout(void) { return p_stdout; }

int StdIo_set_stdin(tyStdIo_cb_stdin cb, void* p) {
  cb_stdin = cb;
  p_stdin = p;
  return 1;
}

tyStdIo_cb_stdin StdIo_get_cb_stdin(void) { return cb_stdin; }

void* StdIo_get_p_stdin(void) { return p_stdin; }

int StdIo_puts(const char* p_text) {
  if (!cb_stdout || !p_text || nested_too_deep()) return -1;
  make_lock(&p_mutex_stdout);
  CspMutex_lock(load_lock(&p_mutex_stdout));
  // Read once: a sink removed by another thread meanwhile drops the text instead of
  // calling through NULL.
  tyStdIo_cb_stdout cb = cb_stdout;
  int rc = -1;
  if (cb) {
    InSink in_sink;
    rc = cb(p_stdout, p_text);
  }
  make_lock(&p_mutex_stdout);
  CspMutex_unlock(load_lock(&p_mutex_stdout));
  return rc;
}

int StdIo_printf(const char* p_format, ...) {
  // A text that would be dropped is not formatted either.
  if (!cb_stdout || nested_too_deep()) return -1;
  make_lock(&p_mutex_stdout);
  CspMutex_lock(load_lock(&p_mutex_stdout));
  int rc;
  if (p_format) {
    va_list ap;
    va_start(ap, p_format);
    vsnprintf(buf_printf, sizeof(buf_printf), p_format, ap);  // cuts a longer text
    va_end(ap);
    rc = StdIo_puts(buf_printf);
  } else {
    StdIo_puts(STDIO_ERR("StdIo_printf") "p_format == NULL\n");
    rc = -1;
  }
  make_lock(&p_mutex_stdout);
  CspMutex_unlock(load_lock(&p_mutex_stdout));
  return rc;
}

int StdIo_getc_nw(void) {
  if (!cb_stdin) return -1;
  make_lock(&p_mutex_stdin);
  CspMutex_lock(load_lock(&p_mutex_stdin));
  int rc = cb_stdin(p_stdin);
  make_lock(&p_mutex_stdin);
  CspMutex_unlock(load_lock(&p_mutex_stdin));
  return rc;
}

int StdIo_getc(void) {
  if (!cb_stdin) return -1;
  for (;;) {
    int c = StdIo_getc_nw();
    if (c >= 0) return c;
  }
}
