/*
** fs_w32.cpp - the eight slots of the Win32 backend. A Win32 handle travels through the Fs
** as an int (the stand-in's handles are small numbers); INVALID_HANDLE_VALUE becomes -1.
** Positions and offsets are 32-bit signed, as SetFilePointer without a high part gives.
*/
#include "fs_w32.h"

#include "win32_file.h"
#include "win32_handle.h"

#include <cstdint>

static HANDLE handle_of(int h) { return (HANDLE)(intptr_t)h; }

/* CreateFileA for reading and writing, share mode 0: nobody else may open it meanwhile. */
static int open_exclusive(const char* p_name, DWORD dw_creation) {
  if (!p_name) return -1;
  HANDLE h = CreateFileA(p_name, GENERIC_READ | GENERIC_WRITE, 0, nullptr, dw_creation,
                         FILE_ATTRIBUTE_NORMAL, nullptr);
  return h == INVALID_HANDLE_VALUE ? -1 : (int)(intptr_t)h;
}

static int loc_fs_create(void*, const char* p_name) { return open_exclusive(p_name, CREATE_ALWAYS); }

static int loc_fs_delete(void*, const char* p_name) {
  if (!p_name) return 0;
  return DeleteFileA(p_name) ? 1 : 0;
}

static int loc_fs_open(void*, const char* p_name) { return open_exclusive(p_name, OPEN_EXISTING); }

static int loc_fs_close(void*, int h_file) { return CloseHandle(handle_of(h_file)) ? 1 : 0; }

/* A negative n would reach the OS as a huge count, past the caller's buffer: 0. */
static int loc_fs_read(void*, int h_file, void* p_buf, int n) {
  if (h_file == -1 || !p_buf || n < 0) return 0;
  DWORD n_read = 0;
  if (!ReadFile(handle_of(h_file), p_buf, (DWORD)n, &n_read, nullptr)) return 0;
  return (int)n_read;
}

static int loc_fs_write(void*, int h_file, const void* p_buf, int n) {
  if (h_file == -1 || !p_buf || n < 0) return 0;
  DWORD n_written = 0;
  if (!WriteFile(handle_of(h_file), p_buf, (DWORD)n, &n_written, nullptr)) return 0;
  return (int)n_written;
}

/* Origins other than 0, 1 and 2 count from the start. */
static int loc_fs_seek(void*, int h_file, int origin, int offset) {
  if (h_file == -1) return -1;
  DWORD dw_method = origin == 1 ? FILE_CURRENT : origin == 2 ? FILE_END : FILE_BEGIN;
  return (int)SetFilePointer(handle_of(h_file), offset, nullptr, dw_method);
}

static int loc_fs_tell(void* ctx, int h_file) { return loc_fs_seek(ctx, h_file, 1, 0); }

Fs* FsW32_alloc(void) {
  return Fs_alloc(nullptr, loc_fs_create, loc_fs_delete, loc_fs_open, loc_fs_close, loc_fs_read,
                  loc_fs_write, loc_fs_seek, loc_fs_tell, nullptr, nullptr);
}

void FsW32_free(Fs* p) { Fs_free(p); }
