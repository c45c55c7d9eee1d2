/*
** win32_handle.h - the one handle table of the Win32 stand-in, shared by mutexes, files and
** serial ports, with GetLastError, CloseHandle, ReadFile and WriteFile.
**
** A HANDLE is a small number that names an entry of the table; the entry is a Win32Object
** that knows how to read, write and close itself. Files and COM ports are both Win32FdObject
** over a POSIX descriptor, which is why ReadFile and WriteFile live here and not with either.
*/
#ifndef ZENT_WIN32_HANDLE_H
#define ZENT_WIN32_HANDLE_H

#include "win32_types.h"

#include <memory>

/* One kernel object behind a handle. Operations not offered fail with ERROR_INVALID_HANDLE. */
class Win32Object {
public:
  virtual ~Win32Object() = default;
  /* Reads up to n bytes; *p_n_read is what arrived. FALSE with SetLastError on failure. */
  virtual BOOL read(void* p_buf, DWORD n, DWORD* p_n_read);
  /* Writes n bytes; *p_n_written is what was taken. FALSE with SetLastError on failure. */
  virtual BOOL write(const void* p_buf, DWORD n, DWORD* p_n_written);
};

/* An object over a POSIX descriptor, which it closes when the handle is closed. */
class Win32FdObject : public Win32Object {
public:
  explicit Win32FdObject(int fd) : fd_(fd) {}
  ~Win32FdObject() override;
  BOOL read(void* p_buf, DWORD n, DWORD* p_n_read) override;
  BOOL write(const void* p_buf, DWORD n, DWORD* p_n_written) override;
  int fd() const { return fd_; }  // the descriptor, valid until the handle is closed

protected:
  int fd_;  // owned descriptor, -1 once closed
};

/* Enters an object into the table and returns its new handle (never NULL, never
** INVALID_HANDLE_VALUE). The table owns the object from here on. */
HANDLE win32_handle_add(std::shared_ptr<Win32Object> p_obj);

/* The object behind a handle, or an empty pointer for an unknown handle. The caller's
** reference keeps the object alive across a concurrent CloseHandle. */
std::shared_ptr<Win32Object> win32_handle_get(HANDLE h);

/* Number of open handles; tests use it to find leaks. */
int win32_handle_count();

/* Win32 error number of an errno value (ENOENT gives ERROR_FILE_NOT_FOUND, and so on). */
DWORD win32_error_from_errno(int err);

DWORD GetLastError();
void SetLastError(DWORD dw_err);

/* Removes the handle from the table and closes its object. FALSE with
** ERROR_INVALID_HANDLE for an unknown handle. */
BOOL CloseHandle(HANDLE h);

/* The overlapped argument is accepted for the shape of the call and must be NULL. */
BOOL ReadFile(HANDLE h, LPVOID p_buf, DWORD n_to_read, LPDWORD p_n_read, LPVOID p_overlapped);
BOOL WriteFile(HANDLE h, const void* p_buf, DWORD n_to_write, LPDWORD p_n_written,
               LPVOID p_overlapped);

#endif
