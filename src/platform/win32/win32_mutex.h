/*
** win32_mutex.h - Win32 mutex objects of the stand-in: recursive for the owning thread, and
** handed to the next locker as abandoned when the owner thread ends without releasing,
** which is what POSIX robust recursive mutexes give.
*/
#ifndef ZENT_WIN32_MUTEX_H
#define ZENT_WIN32_MUTEX_H

#include "win32_types.h"

/* Security attributes are accepted for the shape of the call and ignored; names are not
** supported (NULL only). Returns NULL with GetLastError set on failure. */
HANDLE CreateMutexA(LPVOID p_security, BOOL b_initial_owner, LPCSTR p_name);

/* INFINITE waits without limit, 0 tries once; other values wait that many milliseconds of
** real time. WAIT_OBJECT_0, WAIT_ABANDONED, WAIT_TIMEOUT or WAIT_FAILED. */
DWORD WaitForSingleObject(HANDLE h, DWORD dw_ms);

/* Releases one level of ownership; FALSE with ERROR_NOT_OWNER when the caller is not the
** owner, which changes nothing. */
BOOL ReleaseMutex(HANDLE h);

/* Test seam: the next n calls of CreateMutexA fail with ERROR_NOT_ENOUGH_MEMORY. */
void win32_mutex_fail_next_creates(int n);

#endif
