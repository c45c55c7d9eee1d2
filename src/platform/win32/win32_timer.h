/*
** win32_timer.h - window timers of the Win32 stand-in. A timer does not interrupt anybody:
** like Win32's, it only makes PeekMessageA hand out a WM_TIMER when the queue holds nothing
** else and the timer's period has passed on GetTickCount's clock (so the virtual clock of
** a test drives timers too). At most one WM_TIMER per timer is pending at a time.
*/
#ifndef ZENT_WIN32_TIMER_H
#define ZENT_WIN32_TIMER_H

#include "win32_msg.h"

typedef void (*TIMERPROC)(HWND hwnd, UINT message, UINT_PTR id, DWORD t_now);

/* Starts or restarts timer id of hwnd with a period of ms (at least 1). Returns id, or 0
** for a NULL or unknown window. The timer procedure is not supported: it must be NULL. */
UINT_PTR SetTimer(HWND hwnd, UINT_PTR id, UINT ms, TIMERPROC cb);

/* Stops the timer; FALSE when it did not exist. */
BOOL KillTimer(HWND hwnd, UINT_PTR id);

/* Stops every timer of a window (the window is going away). */
void win32_timer_kill_all(HWND hwnd);

/* Called by PeekMessageA with an empty queue: the first due timer as a WM_TIMER message
** in *p_msg (its next period starts now); FALSE when none is due. */
BOOL win32_timer_take_due(MSG* p_msg);

/* Milliseconds until the next timer is due (0 when one is due), or INFINITE for none. */
DWORD win32_timer_ms_to_next();

/* Number of running timers; for tests. */
int win32_timer_count();

#endif
