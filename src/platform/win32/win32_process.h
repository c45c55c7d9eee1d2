/*
** win32_process.h - the process calls of the Win32 stand-in: the command line as one
** Windows-style string, and the making of a full path. Paths are Linux paths: '/' is the
** separator, and a backslash counts as one too, as everywhere in this stand-in (the file
** calls map it to '/'); the full path is always written with '/'. There are no drive
** letters, so a file in the root directory "/x" has the directory part "" where Windows
** would give "C:".
*/
#ifndef ZENT_WIN32_PROCESS_H
#define ZENT_WIN32_PROCESS_H

#include "win32_types.h"

#ifndef ERROR_INVALID_NAME
#define ERROR_INVALID_NAME 123u
#endif

/* The process's command line in the Windows form: the program path first, then the
** arguments, separated by one blank; a token that holds a blank is put in double quotes.
** The program path is the running program file (/proc/self/exe), or argv[0] when that
** cannot be read. The text stays valid for the life of the process (or until the test
** seam below changes it). Never NULL. */
LPSTR GetCommandLineA(void);

/* Makes lpFileName absolute: a relative name is joined to the current directory, then
** "." and ".." parts and repeated separators are resolved by text (the file need not
** exist). On success writes the path with its terminator into lpBuffer and returns its
** length without the terminator; *lpFilePart (when the pointer is given) then points at
** the last part in lpBuffer, or is NULL when the path ends in a separator. When the path
** needs more than nBufferLength bytes, nothing is written and the result is the size it
** needs, terminator included. lpFileName and lpBuffer may be the same buffer. 0 with
** ERROR_INVALID_PARAMETER for a NULL name, ERROR_INVALID_NAME for an empty one, or the
** error of getcwd when the current directory cannot be read. */
DWORD GetFullPathNameA(LPCSTR lpFileName, DWORD nBufferLength, LPSTR lpBuffer, LPSTR* lpFilePart);

/* Test seam: the text that GetCommandLineA returns from now on; NULL goes back to the
** process's own command line. The text is copied. */
void win32_process_set_command_line(const char* p_cmd_line);

#endif
