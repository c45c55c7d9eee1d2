/*
** win32_file.h - files of the Win32 stand-in: CreateFileA, SetFilePointer and DeleteFileA
** over POSIX descriptors (ReadFile, WriteFile and CloseHandle work through the shared handle
** table of win32_handle.h). The share mode is enforced within the process: share mode 0
** makes an open exclusive, so a second opener of the same file (device and inode) fails with
** ERROR_SHARING_VIOLATION. Backslashes in names are separators. Names "COM1".."COM255"
** (optionally behind "\\.\") open serial ports through win32_comm_open. WriteFile on a file
** that takes only part of the bytes (size limit, full disk) succeeds with the count it took;
** it fails only when it took nothing.
*/
#ifndef ZENT_WIN32_FILE_H
#define ZENT_WIN32_FILE_H

#include "win32_types.h"

/* Access rights (dw_access). */
#ifndef GENERIC_READ
#define GENERIC_READ 0x80000000u
#endif
#ifndef GENERIC_WRITE
#define GENERIC_WRITE 0x40000000u
#endif

/* Share modes (dw_share): what other openers may do while this open lasts; 0 = nothing. */
#define FILE_SHARE_READ 0x00000001u
#define FILE_SHARE_WRITE 0x00000002u
#define FILE_SHARE_DELETE 0x00000004u

/* Creation dispositions. */
#define CREATE_NEW 1u         // make; fails with ERROR_FILE_EXISTS when it exists
#define CREATE_ALWAYS 2u      // make, or empty an existing file
#define OPEN_EXISTING 3u      // open; fails with ERROR_FILE_NOT_FOUND when missing
#define OPEN_ALWAYS 4u        // open, or make when missing; contents kept
#define TRUNCATE_EXISTING 5u  // open and empty; fails when missing

/* Attributes: accepted and ignored. */
#define FILE_ATTRIBUTE_NORMAL 0x00000080u

/* Move methods of SetFilePointer. */
#define FILE_BEGIN 0u
#define FILE_CURRENT 1u
#define FILE_END 2u

/* SetFilePointer's failure result (also a valid low part with a high part given). */
#define INVALID_SET_FILE_POINTER 0xFFFFFFFFu

/* Opens or makes a file (or a COM port) at its first byte. Security attributes and template
** are accepted for the shape of the call and ignored. INVALID_HANDLE_VALUE with SetLastError
** on failure: ERROR_FILE_NOT_FOUND, ERROR_FILE_EXISTS, ERROR_SHARING_VIOLATION (held by an
** opener whose share mode forbids this access, or this share mode forbids its access),
** ERROR_ACCESS_DENIED (a directory, no permission), ERROR_INVALID_PARAMETER. On success
** GetLastError is ERROR_ALREADY_EXISTS when CREATE_ALWAYS or OPEN_ALWAYS found the file. */
HANDLE CreateFileA(LPCSTR p_name, DWORD dw_access, DWORD dw_share, LPVOID p_security,
                   DWORD dw_creation, DWORD dw_flags, HANDLE h_template);

/* Moves the position of a file by l_dist (plus *p_dist_high << 32 when given) from the
** start, the current position or the end. The new position's low 32 bits (high part back
** into *p_dist_high); INVALID_SET_FILE_POINTER with SetLastError on failure, the position
** unchanged: ERROR_NEGATIVE_SEEK before the start, ERROR_INVALID_PARAMETER for an unknown
** method or, without a high part, a position that does not fit 32 bits, ERROR_INVALID_HANDLE
** for a handle that is no file. */
DWORD SetFilePointer(HANDLE h_file, LONG l_dist, PLONG p_dist_high, DWORD dw_method);

/* Deletes a file. FALSE with SetLastError: ERROR_FILE_NOT_FOUND, ERROR_SHARING_VIOLATION
** while a handle holds it, ERROR_ACCESS_DENIED. */
BOOL DeleteFileA(LPCSTR p_name);

#endif
