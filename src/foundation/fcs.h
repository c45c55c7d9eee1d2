/*
** fcs.h - file streams: a Stream whose context is a buffered file (Fc) that the stream owns,
** with FcRead and FcSeek behind a read stream and FcWrite, FcSeek and FcFlush behind a write
** stream. The parameter file reads and writes its version this way. FcsClose ends both the
** stream and its Fc; a write stream's waiting bytes reach the file there.
*/
#ifndef ZENT_FCS_H
#define ZENT_FCS_H

#include "fs.h"
#include "stream.h"

/* Buffer size taken for an n_buf of -1. */
#define FCS_N_BUF_DEFAULT 10240

/* New file read stream over an existing file / write stream over a file that is made or
** emptied; fs NULL is the default, n_buf -1 is 10240. NULL with a line ("cannot open
** file <name>") when the file cannot be opened. */
Stream* FcsOpenRead(Fs* fs, const char* p_name, int n_buf);
Stream* FcsOpenCreate(Fs* fs, const char* p_name, int n_buf);

/* Closes the stream's Fc (flushing a write stream) and the stream. 1, or 0 for NULL. */
int FcsClose(Stream* ps);

#endif
