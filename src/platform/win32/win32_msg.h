/*
** win32_msg.h - the thread's message queue of the Win32 stand-in: windows are numbers with
** a window procedure, messages are posted into one FIFO, and PeekMessageA removes at most one.
** A front end (the FLTK backend) installs a pump hook that collects its native events and
** turns them into posted messages before PeekMessageA looks at the queue.
*/
#ifndef ZENT_WIN32_MSG_H
#define ZENT_WIN32_MSG_H

#include "win32_types.h"

#include <cstdint>

typedef struct HWND__* HWND;
typedef unsigned int UINT;
typedef uintptr_t WPARAM;
typedef intptr_t LPARAM;
typedef intptr_t LRESULT;
typedef uintptr_t UINT_PTR;

typedef struct tagMSG {
  HWND hwnd;      // target window, NULL for a thread message
  UINT message;   // WM_* number
  WPARAM wParam;  // first parameter
  LPARAM lParam;  // second parameter
  DWORD time;     // GetTickCount when it was posted
} MSG;

typedef LRESULT (*WNDPROC)(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);

#define WM_NULL 0x0000u
#define WM_CREATE 0x0001u
#define WM_DESTROY 0x0002u
#define WM_SETFOCUS 0x0007u
#define WM_ENABLE 0x000Au
#define WM_SETTEXT 0x000Cu
#define WM_GETTEXT 0x000Du
#define WM_GETTEXTLENGTH 0x000Eu
#define WM_PAINT 0x000Fu
#define WM_CLOSE 0x0010u
#define WM_QUIT 0x0012u
#define WM_ICONERASEBKGND 0x0027u
#define WM_SETFONT 0x0030u
#define WM_QUERYDRAGICON 0x0037u
#define WM_CONTEXTMENU 0x007Bu
#define WM_SETICON 0x0080u
#define WM_KEYDOWN 0x0100u
#define WM_KEYUP 0x0101u
#define WM_CHAR 0x0102u
#define WM_SYSKEYDOWN 0x0104u
#define WM_INITDIALOG 0x0110u
#define WM_COMMAND 0x0111u
#define WM_SYSCOMMAND 0x0112u
#define WM_TIMER 0x0113u
#define WM_LBUTTONDOWN 0x0201u
#define WM_LBUTTONUP 0x0202u
#define WM_RBUTTONDOWN 0x0204u
#define WM_RBUTTONUP 0x0205u
#define WM_USER 0x0400u

#define PM_NOREMOVE 0x0000u
#define PM_REMOVE 0x0001u

/* Makes a window number with its procedure (may be NULL: messages to it are dropped). */
HWND win32_window_create(WNDPROC wnd_proc);
/* Forgets the window and stops its timers; messages still queued for it are dropped when
** they come up. */
void win32_window_destroy(HWND hwnd);
/* 1 while the window exists. */
int win32_window_exists(HWND hwnd);
/* Replaces the procedure of an existing window. */
void win32_window_set_proc(HWND hwnd, WNDPROC wnd_proc);

/* A hook that PeekMessageA calls first, to let a front end post its native events. */
typedef void (*tyWin32_cb_pump)(void* p);
void win32_msg_set_pump(tyWin32_cb_pump cb, void* p);

/* Appends a message to the queue. FALSE for an unknown window (not NULL). */
BOOL PostMessageA(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);

/* Runs the pump hook, then copies the first queued message that fits the filter into *p_msg
** (removing it with PM_REMOVE). hwnd NULL and a filter of 0, 0 take any message. With no
** such message a due window timer gives a WM_TIMER (win32_timer.h). TRUE when a message
** was found. */
BOOL PeekMessageA(MSG* p_msg, HWND hwnd, UINT msg_min, UINT msg_max, UINT remove);

/* Waits until the queue holds a message, a timer is due or the front end saw an event:
** through the wait hook when one is installed (it gets the milliseconds to the next timer,
** INFINITE for none, and may return earlier), else one Sleep(1) on the process clock. */
BOOL WaitMessage();

/* A hook that WaitMessage calls to block in the front end (FLTK) or to run a test's script. */
typedef void (*tyWin32_cb_wait)(void* p, DWORD dw_ms_max);
void win32_msg_set_wait(tyWin32_cb_wait cb, void* p);

/* Nothing to translate on this platform: keyboard messages arrive finished. */
BOOL TranslateMessage(const MSG* p_msg);

/* Calls the procedure of the message's window and returns its result (0 for none). */
LRESULT DispatchMessageA(const MSG* p_msg);

/* Calls a window's procedure directly. */
LRESULT SendMessageA(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);

/* Number of queued messages; for tests. */
int win32_msg_count();
/* Drops every queued message; for tests. */
void win32_msg_clear();

#endif
