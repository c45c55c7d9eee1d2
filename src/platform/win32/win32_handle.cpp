/*
** win32_handle.cpp - the handle table of the Win32 stand-in and the calls that work on any
** handle. Handles count up from 0x100 in steps of 4 and are never reused within a process,
** so a stale handle fails instead of reaching another object.
*/
#include "win32_handle.h"

#include <cerrno>
#include <cstdint>
#include <map>
#include <mutex>
#include <unistd.h>

namespace {

std::mutex g_table_lock;                                    // guards the two below
std::map<uintptr_t, std::shared_ptr<Win32Object>> g_table;  // handle value -> object
uintptr_t g_next_handle = 0x100;                            // next value handed out
thread_local DWORD g_last_error = ERROR_SUCCESS;            // GetLastError of this thread

}  // namespace

BOOL Win32Object::read(void*, DWORD, DWORD* p_n_read) {
  if (p_n_read) *p_n_read = 0;
  SetLastError(ERROR_INVALID_HANDLE);
  return FALSE;
}

BOOL Win32Object::write(const void*, DWORD, DWORD* p_n_written) {
  if (p_n_written) *p_n_written = 0;
  SetLastError(ERROR_INVALID_HANDLE);
  return FALSE;
}

Win32FdObject::~Win32FdObject() {
  if (fd_ >= 0) ::close(fd_);
}

BOOL Win32FdObject::read(void* p_buf, DWORD n, DWORD* p_n_read) {
  *p_n_read = 0;
  for (;;) {
    ssize_t r = ::read(fd_, p_buf, n);
    if (r >= 0) {
      *p_n_read = (DWORD)r;
      return TRUE;
    }
    if (errno == EINTR) continue;
    if (errno == EAGAIN || errno == EWOULDBLOCK) return TRUE;  // nothing waiting
    SetLastError(win32_error_from_errno(errno));
    return FALSE;
  }
}

BOOL Win32FdObject::write(const void* p_buf, DWORD n, DWORD* p_n_written) {
  // A Win32 write without time-out returns when every byte is taken, so loop here.
  const char* p = (const char*)p_buf;
  DWORD done = 0;
  *p_n_written = 0;
  while (done < n) {
    ssize_t r = ::write(fd_, p + done, n - done);
    if (r < 0) {
      if (errno == EINTR) continue;
      if (errno == EAGAIN || errno == EWOULDBLOCK) {
        usleep(100);
        continue;
      }
      *p_n_written = done;
      SetLastError(win32_error_from_errno(errno));
      return FALSE;
    }
    done += (DWORD)r;
  }
  *p_n_written = done;
  return TRUE;
}

HANDLE win32_handle_add(std::shared_ptr<Win32Object> p_obj) {
  std::lock_guard<std::mutex> lock(g_table_lock);
  uintptr_t h = g_next_handle;
  g_next_handle += 4;
  g_table[h] = std::move(p_obj);
  return (HANDLE)h;
}

std::shared_ptr<Win32Object> win32_handle_get(HANDLE h) {
  std::lock_guard<std::mutex> lock(g_table_lock);
  auto it = g_table.find((uintptr_t)h);
  if (it == g_table.end()) return {};
  return it->second;
}

int win32_handle_count() {
  std::lock_guard<std::mutex> lock(g_table_lock);
  return (int)g_table.size();
}

DWORD win32_error_from_errno(int err) {
  switch (err) {
    case 0: return ERROR_SUCCESS;
    case ENOENT: return ERROR_FILE_NOT_FOUND;
    case ENOTDIR: return ERROR_PATH_NOT_FOUND;
    case EMFILE:
    case ENFILE: return ERROR_TOO_MANY_OPEN_FILES;
    case EACCES:
    case EPERM:
    case EROFS:
    case EISDIR: return ERROR_ACCESS_DENIED;
    case EBADF: return ERROR_INVALID_HANDLE;
    case ENOMEM: return ERROR_NOT_ENOUGH_MEMORY;
    case EBUSY:
    case EWOULDBLOCK: return ERROR_SHARING_VIOLATION;
    case EEXIST: return ERROR_FILE_EXISTS;
    case EINVAL: return ERROR_INVALID_PARAMETER;
    case EPIPE: return ERROR_BROKEN_PIPE;
    case ENAMETOOLONG: return ERROR_FILENAME_EXCED_RANGE;
    case ENXIO:
    case ENODEV: return ERROR_DEVICE_NOT_CONNECTED;
    case EIO: return ERROR_GEN_FAILURE;
    case EFAULT: return ERROR_NOACCESS;
    case ENOSPC: return ERROR_WRITE_FAULT;
    default: return ERROR_GEN_FAILURE;
  }
}

DWORD GetLastError() { return g_last_error; }

void SetLastError(DWORD dw_err) { g_last_error = dw_err; }

BOOL CloseHandle(HANDLE h) {
  std::shared_ptr<Win32Object> p_obj;
  {
    std::lock_guard<std::mutex> lock(g_table_lock);
    auto it = g_table.find((uintptr_t)h);
    if (it == g_table.end()) {
      SetLastError(ERROR_INVALID_HANDLE);
      return FALSE;
    }
    p_obj = std::move(it->second);
    g_table.erase(it);
  }
  p_obj.reset();  // closes outside the table lock; a reader may still hold a reference
  return TRUE;
}

BOOL ReadFile(HANDLE h, LPVOID p_buf, DWORD n_to_read, LPDWORD p_n_read, LPVOID) {
  DWORD n_dummy = 0;
  if (!p_n_read) p_n_read = &n_dummy;
  *p_n_read = 0;
  auto p_obj = win32_handle_get(h);
  if (!p_obj) {
    SetLastError(ERROR_INVALID_HANDLE);
    return FALSE;
  }
  if (!p_buf && n_to_read) {
    SetLastError(ERROR_NOACCESS);
    return FALSE;
  }
  return p_obj->read(p_buf, n_to_read, p_n_read);
}

BOOL WriteFile(HANDLE h, const void* p_buf, DWORD n_to_write, LPDWORD p_n_written, LPVOID) {
  DWORD n_dummy = 0;
  if (!p_n_written) p_n_written = &n_dummy;
  *p_n_written = 0;
  auto p_obj = win32_handle_get(h);
  if (!p_obj) {
    SetLastError(ERROR_INVALID_HANDLE);
    return FALSE;
  }
  if (!p_buf && n_to_write) {
    SetLastError(ERROR_NOACCESS);
    return FALSE;
  }
  return p_obj->write(p_buf, n_to_write, p_n_written);
}
