/*
** csp.h - the two operating-system services the libraries need for timing and locking:
** a sleep in milliseconds and a mutex. The mutex is recursive for its owning thread (the
** log sink locks it twice in one call) and one abandoned by a thread that ended counts as
** locked for the next locker.
*/
#ifndef ZENT_CSP_H
#define ZENT_CSP_H

#include "win32_types.h"

#include <cstdint>

typedef struct CspMutex {
  HANDLE h_mutex;  // operating-system mutex; NULL when making it failed
} CspMutex;

/* Suspends the calling thread; 0 gives up the rest of the time slice. Always 1. */
int Csp_sleep_ms(uint32_t t_ms);

/* Makes an unowned mutex into caller storage. p, or NULL (one error line) when the
** system refuses; NULL p gives NULL without a line. */
CspMutex* CspMutex_init(CspMutex* p);

/* The same on the heap; NULL on failure, nothing left allocated. */
CspMutex* CspMutex_alloc(void);

/* Closes the handle and releases the object. 1, or 0 for NULL. */
int CspMutex_free(CspMutex* p);

/* Waits without limit. 1 locked (also when the former owner ended), 0 not or NULL. */
int CspMutex_lock(CspMutex* p);

/* Takes the mutex only when it is free at once or already the caller's. 1 or 0. */
int CspMutex_try_lock(CspMutex* p);

/* Releases one level; 1 even when the caller did not own it (nothing changes then),
** 0 for NULL. */
int CspMutex_unlock(CspMutex* p);

#endif
