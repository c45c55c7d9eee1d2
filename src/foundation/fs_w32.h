/*
** fs_w32.h - the Win32 backend of the file-system interface: an Fs whose slots are the
** Win32 file calls (CreateFileA with share mode 0, so an open file is held exclusively;
** ReadFile, WriteFile, SetFilePointer, DeleteFileA, CloseHandle). The application installs
** it as the process default at start-up and never releases it.
*/
#ifndef ZENT_FS_W32_H
#define ZENT_FS_W32_H

#include "fs.h"

/* New Fs holding the Win32 backend (ctx NULL, spare slots NULL), or NULL. */
Fs* FsW32_alloc(void);

/* The same as Fs_free. */
void FsW32_free(Fs* p);

#endif
