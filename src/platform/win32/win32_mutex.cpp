/*
** win32_mutex.cpp - CreateMutexA, WaitForSingleObject and ReleaseMutex over a robust,
** recursive pthread mutex. EOWNERDEAD from the lock is Win32's WAIT_ABANDONED: the new
** owner marks the mutex consistent and carries on as its owner.
*/
#include "win32_mutex.h"

#include "win32_handle.h"

#include <atomic>
#include <cerrno>
#include <ctime>
#include <pthread.h>

namespace {

std::atomic<int> g_n_fail_create{0};  // test seam: creates still to refuse

class Win32Mutex : public Win32Object {
public:
  Win32Mutex() {
    pthread_mutexattr_t attr;
    pthread_mutexattr_init(&attr);
    pthread_mutexattr_settype(&attr, PTHREAD_MUTEX_RECURSIVE);
    pthread_mutexattr_setrobust(&attr, PTHREAD_MUTEX_ROBUST);
    ok_ = pthread_mutex_init(&mutex_, &attr) == 0;
    pthread_mutexattr_destroy(&attr);
  }
  ~Win32Mutex() override {
    if (ok_) pthread_mutex_destroy(&mutex_);
  }
  bool ok() const { return ok_; }

  DWORD wait(DWORD dw_ms) {
    int rc;
    if (dw_ms == INFINITE) {
      rc = pthread_mutex_lock(&mutex_);
    } else if (dw_ms == 0) {
      rc = pthread_mutex_trylock(&mutex_);
    } else {
      timespec ts;
      clock_gettime(CLOCK_REALTIME, &ts);
      ts.tv_sec += dw_ms / 1000;
      ts.tv_nsec += (long)(dw_ms % 1000) * 1000000L;
      if (ts.tv_nsec >= 1000000000L) {
        ts.tv_sec++;
        ts.tv_nsec -= 1000000000L;
      }
      rc = pthread_mutex_timedlock(&mutex_, &ts);
    }
    switch (rc) {
      case 0: return WAIT_OBJECT_0;
      case EOWNERDEAD:
        pthread_mutex_consistent(&mutex_);
        return WAIT_ABANDONED;
      case EBUSY:
      case ETIMEDOUT: return WAIT_TIMEOUT;
      default: SetLastError(win32_error_from_errno(rc)); return WAIT_FAILED;
    }
  }

  BOOL release() {
    if (pthread_mutex_unlock(&mutex_) != 0) {
      SetLastError(ERROR_NOT_OWNER);
      return FALSE;
    }
    return TRUE;
  }

private:
  pthread_mutex_t mutex_;  // robust, recursive
  bool ok_ = false;        // pthread_mutex_init succeeded
};

std::shared_ptr<Win32Mutex> mutex_of(HANDLE h) {
  return std::dynamic_pointer_cast<Win32Mutex>(win32_handle_get(h));
}

}  // namespace

HANDLE CreateMutexA(LPVOID, BOOL b_initial_owner, LPCSTR p_name) {
  if (g_n_fail_create.load() > 0) {
    g_n_fail_create--;
    SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    return nullptr;
  }
  if (p_name) {
    SetLastError(ERROR_NOT_SUPPORTED);
    return nullptr;
  }
  auto p_mutex = std::make_shared<Win32Mutex>();
  if (!p_mutex->ok()) {
    SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    return nullptr;
  }
  if (b_initial_owner) p_mutex->wait(INFINITE);
  return win32_handle_add(p_mutex);
}

DWORD WaitForSingleObject(HANDLE h, DWORD dw_ms) {
  auto p_mutex = mutex_of(h);
  if (!p_mutex) {
    SetLastError(ERROR_INVALID_HANDLE);
    return WAIT_FAILED;
  }
  return p_mutex->wait(dw_ms);
}

BOOL ReleaseMutex(HANDLE h) {
  auto p_mutex = mutex_of(h);
  if (!p_mutex) {
    SetLastError(ERROR_INVALID_HANDLE);
    return FALSE;
  }
  return p_mutex->release();
}

void win32_mutex_fail_next_creates(int n) { g_n_fail_create = n; }
