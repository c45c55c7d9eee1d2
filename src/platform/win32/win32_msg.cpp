/*
** win32_msg.cpp - one FIFO of posted messages and a table of window procedures. The queue
** is process-wide (the tool has one user-interface thread) but guarded, so a test thread
** may post into it.
*/
#include "win32_msg.h"

#include "win32_handle.h"
#include "win32_time.h"
#include "win32_timer.h"

#include <deque>
#include <map>
#include <mutex>

namespace {

std::mutex g_lock;                         // guards everything below
std::deque<MSG> g_queue;                   // posted, not yet removed
std::map<uintptr_t, WNDPROC> g_windows;    // window number -> procedure
uintptr_t g_next_hwnd = 0x10000;           // next window number
tyWin32_cb_pump g_cb_pump = nullptr;       // front end's event collector
void* g_p_pump = nullptr;                  // its context
tyWin32_cb_wait g_cb_wait = nullptr;       // front end's or test's blocking wait
void* g_p_wait = nullptr;                  // its context

bool fits(const MSG& m, HWND hwnd, UINT msg_min, UINT msg_max) {
  if (hwnd && m.hwnd != hwnd) return false;
  if (msg_min == 0 && msg_max == 0) return true;
  return m.message >= msg_min && m.message <= msg_max;
}

WNDPROC proc_of(HWND hwnd) {
  std::lock_guard<std::mutex> lock(g_lock);
  auto it = g_windows.find((uintptr_t)hwnd);
  return it == g_windows.end() ? nullptr : it->second;
}

/* Win32 makes WM_TIMER only when nothing else waits; a peek without removal does not
** restart the period. */
BOOL peek_timer(MSG* p_msg, HWND hwnd, UINT msg_min, UINT msg_max, UINT remove) {
  MSG m = {nullptr, WM_TIMER, 0, 0, 0};
  if (!fits(m, nullptr, msg_min, msg_max) || win32_timer_ms_to_next() != 0) return FALSE;
  if (hwnd) return FALSE;  // filtered peeks of one window never ask the timers
  if (!(remove & PM_REMOVE)) {
    if (p_msg) *p_msg = m;
    return TRUE;
  }
  return win32_timer_take_due(p_msg);
}

}  // namespace

HWND win32_window_create(WNDPROC wnd_proc) {
  std::lock_guard<std::mutex> lock(g_lock);
  uintptr_t h = g_next_hwnd++;
  g_windows[h] = wnd_proc;
  return (HWND)h;
}

void win32_window_destroy(HWND hwnd) {
  win32_timer_kill_all(hwnd);
  std::lock_guard<std::mutex> lock(g_lock);
  g_windows.erase((uintptr_t)hwnd);
}

int win32_window_exists(HWND hwnd) {
  std::lock_guard<std::mutex> lock(g_lock);
  return g_windows.count((uintptr_t)hwnd) ? 1 : 0;
}

void win32_window_set_proc(HWND hwnd, WNDPROC wnd_proc) {
  std::lock_guard<std::mutex> lock(g_lock);
  auto it = g_windows.find((uintptr_t)hwnd);
  if (it != g_windows.end()) it->second = wnd_proc;
}

void win32_msg_set_pump(tyWin32_cb_pump cb, void* p) {
  std::lock_guard<std::mutex> lock(g_lock);
  g_cb_pump = cb;
  g_p_pump = p;
}

BOOL PostMessageA(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
  std::lock_guard<std::mutex> lock(g_lock);
  if (hwnd && !g_windows.count((uintptr_t)hwnd)) {
    SetLastError(ERROR_INVALID_HANDLE);
    return FALSE;
  }
  g_queue.push_back(MSG{hwnd, message, wParam, lParam, GetTickCount()});
  return TRUE;
}

BOOL PeekMessageA(MSG* p_msg, HWND hwnd, UINT msg_min, UINT msg_max, UINT remove) {
  tyWin32_cb_pump cb;
  void* p;
  {
    std::lock_guard<std::mutex> lock(g_lock);
    cb = g_cb_pump;
    p = g_p_pump;
  }
  if (cb) cb(p);  // outside the lock: the hook posts
  {
    std::lock_guard<std::mutex> lock(g_lock);
    for (auto it = g_queue.begin(); it != g_queue.end(); ++it) {
      if (!fits(*it, hwnd, msg_min, msg_max)) continue;
      if (p_msg) *p_msg = *it;
      if (remove & PM_REMOVE) g_queue.erase(it);
      return TRUE;
    }
  }
  return peek_timer(p_msg, hwnd, msg_min, msg_max, remove);
}

BOOL WaitMessage() {
  tyWin32_cb_wait cb;
  void* p;
  {
    std::lock_guard<std::mutex> lock(g_lock);
    if (!g_queue.empty()) return TRUE;
    cb = g_cb_wait;
    p = g_p_wait;
  }
  if (cb)
    cb(p, win32_timer_ms_to_next());
  else
    Sleep(1);
  return TRUE;
}

void win32_msg_set_wait(tyWin32_cb_wait cb, void* p) {
  std::lock_guard<std::mutex> lock(g_lock);
  g_cb_wait = cb;
  g_p_wait = p;
}

BOOL TranslateMessage(const MSG* p_msg) { return p_msg != nullptr; }

LRESULT DispatchMessageA(const MSG* p_msg) {
  if (!p_msg || !p_msg->hwnd) return 0;
  WNDPROC proc = proc_of(p_msg->hwnd);
  return proc ? proc(p_msg->hwnd, p_msg->message, p_msg->wParam, p_msg->lParam) : 0;
}

LRESULT SendMessageA(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
  WNDPROC proc = proc_of(hwnd);
  return proc ? proc(hwnd, message, wParam, lParam) : 0;
}

int win32_msg_count() {
  std::lock_guard<std::mutex> lock(g_lock);
  return (int)g_queue.size();
}

void win32_msg_clear() {
  std::lock_guard<std::mutex> lock(g_lock);
  g_queue.clear();
}
