/*
** csp.cpp - sleep and mutex over the Win32 stand-in (Sleep, CreateMutexA,
** WaitForSingleObject, ReleaseMutex, CloseHandle).
*/
#include "csp.h"

#include "std_io.h"
#include "win32_handle.h"
#include "win32_mutex.h"
#include "win32_time.h"

#include <cstdlib>

int Csp_sleep_ms(uint32_t t_ms) {
  Sleep(t_ms);
  return 1;
}

CspMutex* CspMutex_init(CspMutex* p) {
  if (!p) return nullptr;
  p->h_mutex = CreateMutexA(nullptr, FALSE, nullptr);
  if (!p->h_mutex) {
    StdIo_puts(STDIO_ERR("CspMutex_init") "p -> h_mutex = CreateMutex (NULL, FALSE, NULL))\n");
    return nullptr;
  }
  return p;
}

CspMutex* CspMutex_alloc(void) {
  CspMutex* p = (CspMutex*)malloc(sizeof(*p));
  if (!p) return nullptr;
  if (!CspMutex_init(p)) {
    free(p);
    return nullptr;
  }
  return p;
}

int CspMutex_free(CspMutex* p) {
  if (!p) return 0;
  CloseHandle(p->h_mutex);
  free(p);
  return 1;
}

/* Signalled and abandoned both leave the caller as owner. */
static int wait_result(DWORD dw_wait) {
  return dw_wait == WAIT_OBJECT_0 || dw_wait == WAIT_ABANDONED;
}

int CspMutex_lock(CspMutex* p) {
  if (!p) return 0;
  return wait_result(WaitForSingleObject(p->h_mutex, INFINITE));
}

int CspMutex_try_lock(CspMutex* p) {
  if (!p) return 0;
  return wait_result(WaitForSingleObject(p->h_mutex, 0));
}

int CspMutex_unlock(CspMutex* p) {
  if (!p) return 0;
  ReleaseMutex(p->h_mutex);
  return 1;
}
