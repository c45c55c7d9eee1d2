/*
** win32_window.cpp - MessageBoxA through a replaceable answering hook, the focus window
** and fixed system metrics.
*/
#include "win32_window.h"

#include <cstdio>
#include <mutex>

namespace {

std::mutex g_lock;                              // guards the hook and the focus
tyWin32_cb_message_box g_cb_box = nullptr;      // answers message boxes, or NULL
void* g_p_box = nullptr;                        // its context
HWND g_focus = nullptr;                         // window with the keyboard focus

}  // namespace

int win32_message_box_buttons(UINT type, int* p_ids) {
  static const int k_sets[6][3] = {{IDOK, 0, 0},        {IDOK, IDCANCEL, 0},
                                   {IDABORT, IDRETRY, IDIGNORE}, {IDYES, IDNO, IDCANCEL},
                                   {IDYES, IDNO, 0},    {IDRETRY, IDCANCEL, 0}};
  UINT set = type & MB_TYPEMASK;
  if (set > 5) set = 0;
  int n = 0;
  for (int i = 0; i < 3 && k_sets[set][i]; i++) p_ids[n++] = k_sets[set][i];
  return n;
}

int win32_message_box_default(UINT type) {
  int ids[3];
  int n = win32_message_box_buttons(type, ids);
  int i = (int)((type & MB_DEFMASK) >> 8);
  return ids[i < n ? i : 0];
}

void win32_message_box_set_hook(tyWin32_cb_message_box cb, void* p,
                                tyWin32_cb_message_box* p_cb_old, void** p_old) {
  std::lock_guard<std::mutex> lock(g_lock);
  if (p_cb_old) *p_cb_old = g_cb_box;
  if (p_old) *p_old = g_p_box;
  g_cb_box = cb;
  g_p_box = p;
}

int MessageBoxA(HWND hwnd, LPCSTR p_text, LPCSTR p_caption, UINT type) {
  tyWin32_cb_message_box cb;
  void* p;
  {
    std::lock_guard<std::mutex> lock(g_lock);
    cb = g_cb_box;
    p = g_p_box;
  }
  if (cb) return cb(p, hwnd, p_text ? p_text : "", p_caption ? p_caption : "Error", type);
  std::fprintf(stderr, "[%s] %s\n", p_caption ? p_caption : "Error", p_text ? p_text : "");
  return win32_message_box_default(type);
}

HWND GetFocus() {
  std::lock_guard<std::mutex> lock(g_lock);
  return g_focus;
}

HWND SetFocus(HWND hwnd) {
  std::lock_guard<std::mutex> lock(g_lock);
  HWND old = g_focus;
  g_focus = hwnd;
  return old;
}

int GetSystemMetrics(int n_index) {
  switch (n_index) {
    case SM_CXSCREEN: return 1024;
    case SM_CYSCREEN: return 768;
    case SM_CXICON:
    case SM_CYICON: return 32;
    case SM_CXSMICON:
    case SM_CYSMICON: return 16;
    default: return 0;
  }
}
