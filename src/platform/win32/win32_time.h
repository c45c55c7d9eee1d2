/*
** win32_time.h - GetTickCount and Sleep of the Win32 stand-in, over a clock that a test can
** replace. Protocol time-outs are measured with GetTickCount; with the virtual clock a test
** of a 2000 ms time-out runs in microseconds, because Sleep advances the clock instead of
** waiting.
*/
#ifndef ZENT_WIN32_TIME_H
#define ZENT_WIN32_TIME_H

#include "win32_types.h"

/* Milliseconds since an arbitrary start, wrapping at 2^32 like the Win32 call. */
DWORD GetTickCount();

/* Suspends the thread for dw_ms milliseconds; 0 gives up the rest of the time slice. */
void Sleep(DWORD dw_ms);

/* A replacement clock: both callbacks get p as their first argument. */
struct Win32Clock {
  DWORD (*cb_get_tick_count)(void* p);  // the current tick
  void (*cb_sleep)(void* p, DWORD dw_ms);  // a sleep of dw_ms on that clock
  void* p;                                // context of both
};

/* Installs a clock (copied) for the whole process; NULL restores the real one. */
void win32_clock_set(const Win32Clock* p_clock);

/* A virtual clock for tests: ticks only move when somebody sleeps or calls advance.
** Sleep(0) still yields the processor, so other threads get on. A test rig that drives
** several threads may take Sleep over (set_sleep), so that the clock moves only while
** every one of them waits. */
class Win32VirtualClock {
public:
  explicit Win32VirtualClock(DWORD t_start = 0);  // installs itself
  ~Win32VirtualClock();                           // restores the real clock
  Win32VirtualClock(const Win32VirtualClock&) = delete;
  Win32VirtualClock& operator=(const Win32VirtualClock&) = delete;
  DWORD now() const;
  void advance(DWORD dw_ms);
  /* Sleep calls cb(p, dw_ms) instead of advancing by dw_ms; NULL restores that. */
  void set_sleep(void (*cb)(void* p, DWORD dw_ms), void* p);
  /* The virtual clock behind GetTickCount, or NULL when another clock is installed. */
  static Win32VirtualClock* installed();

private:
  static DWORD get(void* p);
  static void sleep(void* p, DWORD dw_ms);
  volatile DWORD t_now_;  // current tick; written under the process-wide clock lock
  void (*cb_sleep_)(void* p, DWORD dw_ms) = nullptr;  // set_sleep; under the clock lock
  void* p_sleep_ = nullptr;
};

#endif
