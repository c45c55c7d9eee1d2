/*
** win32_time.cpp - the real and the replaceable clock behind GetTickCount and Sleep.
*/
#include "win32_time.h"

#include <atomic>
#include <ctime>
#include <mutex>
#include <sched.h>

namespace {

std::mutex g_clock_lock;           // guards g_clock and virtual clock updates
Win32Clock g_clock = {nullptr, nullptr, nullptr};  // all NULL: the real clock

DWORD real_tick() {
  timespec ts;
  clock_gettime(CLOCK_MONOTONIC, &ts);
  uint64_t ms = (uint64_t)ts.tv_sec * 1000u + (uint64_t)ts.tv_nsec / 1000000u;
  return (DWORD)ms;
}

void real_sleep(DWORD dw_ms) {
  if (dw_ms == 0) {
    sched_yield();
    return;
  }
  timespec ts = {(time_t)(dw_ms / 1000), (long)(dw_ms % 1000) * 1000000L};
  while (nanosleep(&ts, &ts) != 0) {
  }
}

Win32Clock current() {
  std::lock_guard<std::mutex> lock(g_clock_lock);
  return g_clock;
}

}  // namespace

DWORD GetTickCount() {
  Win32Clock c = current();
  return c.cb_get_tick_count ? c.cb_get_tick_count(c.p) : real_tick();
}

void Sleep(DWORD dw_ms) {
  Win32Clock c = current();
  if (c.cb_sleep)
    c.cb_sleep(c.p, dw_ms);
  else
    real_sleep(dw_ms);
}

void win32_clock_set(const Win32Clock* p_clock) {
  std::lock_guard<std::mutex> lock(g_clock_lock);
  if (p_clock)
    g_clock = *p_clock;
  else
    g_clock = {nullptr, nullptr, nullptr};
}

Win32VirtualClock::Win32VirtualClock(DWORD t_start) : t_now_(t_start) {
  Win32Clock c = {&Win32VirtualClock::get, &Win32VirtualClock::sleep, this};
  win32_clock_set(&c);
}

Win32VirtualClock::~Win32VirtualClock() { win32_clock_set(nullptr); }

DWORD Win32VirtualClock::now() const {
  std::lock_guard<std::mutex> lock(g_clock_lock);
  return t_now_;
}

void Win32VirtualClock::advance(DWORD dw_ms) {
  std::lock_guard<std::mutex> lock(g_clock_lock);
  t_now_ = t_now_ + dw_ms;  // wraps at 2^32 like the real tick
}

DWORD Win32VirtualClock::get(void* p) { return ((Win32VirtualClock*)p)->now(); }

void Win32VirtualClock::set_sleep(void (*cb)(void* p, DWORD dw_ms), void* p) {
  std::lock_guard<std::mutex> lock(g_clock_lock);
  cb_sleep_ = cb;
  p_sleep_ = p;
}

Win32VirtualClock* Win32VirtualClock::installed() {
  std::lock_guard<std::mutex> lock(g_clock_lock);
  return g_clock.cb_get_tick_count == &Win32VirtualClock::get ? (Win32VirtualClock*)g_clock.p
                                                              : nullptr;
}

void Win32VirtualClock::sleep(void* p, DWORD dw_ms) {
  Win32VirtualClock* c = (Win32VirtualClock*)p;
  void (*cb)(void*, DWORD);
  void* p_cb;
  {
    std::lock_guard<std::mutex> lock(g_clock_lock);
    cb = c->cb_sleep_;
    p_cb = c->p_sleep_;
  }
  if (cb) {
    cb(p_cb, dw_ms);
    return;
  }
  c->advance(dw_ms);
  sched_yield();
}
