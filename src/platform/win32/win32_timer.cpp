/*
** win32_timer.cpp - a small table of window timers, polled by PeekMessageA.
*/
#include "win32_timer.h"

#include "win32_time.h"

#include <mutex>
#include <vector>

namespace {

struct Timer {
  HWND hwnd;        // owner window
  UINT_PTR id;      // the caller's timer id
  UINT ms;          // period
  DWORD t_last;     // tick when it last fired or was set
};

std::mutex g_lock;            // guards g_timers
std::vector<Timer> g_timers;  // running timers in the order they were set

bool is_due(const Timer& t, DWORD t_now) { return (DWORD)(t_now - t.t_last) >= t.ms; }

}  // namespace

UINT_PTR SetTimer(HWND hwnd, UINT_PTR id, UINT ms, TIMERPROC cb) {
  if (!hwnd || !win32_window_exists(hwnd) || cb) return 0;
  if (ms == 0) ms = 1;
  DWORD t_now = GetTickCount();
  std::lock_guard<std::mutex> lock(g_lock);
  for (Timer& t : g_timers)
    if (t.hwnd == hwnd && t.id == id) {
      t.ms = ms;
      t.t_last = t_now;
      return id;
    }
  g_timers.push_back(Timer{hwnd, id, ms, t_now});
  return id;
}

BOOL KillTimer(HWND hwnd, UINT_PTR id) {
  std::lock_guard<std::mutex> lock(g_lock);
  for (auto it = g_timers.begin(); it != g_timers.end(); ++it)
    if (it->hwnd == hwnd && it->id == id) {
      g_timers.erase(it);
      return TRUE;
    }
  return FALSE;
}

void win32_timer_kill_all(HWND hwnd) {
  std::lock_guard<std::mutex> lock(g_lock);
  std::erase_if(g_timers, [hwnd](const Timer& t) { return t.hwnd == hwnd; });
}

BOOL win32_timer_take_due(MSG* p_msg) {
  std::lock_guard<std::mutex> lock(g_lock);
  if (g_timers.empty()) return FALSE;
  DWORD t_now = GetTickCount();
  for (Timer& t : g_timers) {
    if (!is_due(t, t_now)) continue;
    t.t_last = t_now;
    if (p_msg) *p_msg = MSG{t.hwnd, WM_TIMER, (WPARAM)t.id, 0, t_now};
    return TRUE;
  }
  return FALSE;
}

DWORD win32_timer_ms_to_next() {
  std::lock_guard<std::mutex> lock(g_lock);
  if (g_timers.empty()) return INFINITE;
  DWORD t_now = GetTickCount();
  DWORD best = INFINITE;
  for (const Timer& t : g_timers) {
    DWORD passed = t_now - t.t_last;
    DWORD left = passed >= t.ms ? 0 : t.ms - passed;
    if (left < best) best = left;
  }
  return best;
}

int win32_timer_count() {
  std::lock_guard<std::mutex> lock(g_lock);
  return (int)g_timers.size();
}
