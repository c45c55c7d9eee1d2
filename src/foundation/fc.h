/*
** fc.h - a buffered file, opened for reading or for writing, over an FsFile. Many small
** requests become one file call per buffer; requests at least as large as the buffer go
** straight to the file once the buffer is empty. The read, write, flush and seek operations
** have the shape of the stream callbacks (the Fc is the context), which is how the file
** streams use them. In write mode the last bytes reach the file only through FcFlush,
** FcSeek or FcClose. The module writes no lines: a NULL Fc, a negative count or a NULL
** buffer get the neutral result (0, or -1 for FcSeek) and change nothing.
*/
#ifndef ZENT_FC_H
#define ZENT_FC_H

#include "fs.h"

#define FC_MODE_READ 0
#define FC_MODE_WRITE 1

typedef struct Fc {
  int mode;       // FC_MODE_READ or FC_MODE_WRITE; fixed at opening
  int n_buf;      // size of p_buf in bytes
  char* p_buf;    // owned; the buffer
  int i_pos;      // read: next buffered byte to hand out; write: bytes waiting in p_buf
  int n_fill;     // read: bytes the last refill brought; write: n_buf, not used
  FsFile* p_file; // owned; the file
} Fc;

/* New Fc over an existing file (read / write without emptying) or a file made or emptied
** (create); fs NULL is the default. NULL, without a line, when the file cannot be opened
** (missing, held by another opener), memory runs out or n_buf is negative. An n_buf of 0
** passes every request straight to the file. */
Fc* FcOpenRead(Fs* fs, const char* p_name, int n_buf);
Fc* FcOpenWrite(Fs* fs, const char* p_name, int n_buf);
Fc* FcOpenCreate(Fs* fs, const char* p_name, int n_buf);

/* Flushes (write mode, result not looked at: bytes the file refuses are lost), closes the
** file and releases everything. Always 1, also for NULL. */
int FcClose(void* p_fc);

/* Bytes delivered: buffered ones first, then at most one refill (or one direct read for a
** large rest), so near the end of the file fewer than n come. 0 in write mode, for n 0 and
** at the end of the file. */
int FcRead(void* p_fc, void* p_dst, int n);

/* Bytes taken (buffered or written). 0 in read mode or for n 0. When the file takes fewer
** bytes than offered the rest stays waiting and fewer than n may be taken. */
int FcWrite(void* p_fc, const void* p_src, int n);

/* 1 when nothing is left waiting (always in read mode), 0 when the file took fewer bytes
** than were waiting; those stay waiting. */
int FcFlush(void* p_fc);

/* Moves the file's position (origin 0 start, 1 current, 2 end) and empties the buffer. Read
** mode: origin 1 counts from the file's own position (the end of the last refill). Write
** mode: flushes first, -1 (nothing changed) when that fails. The new position or -1. */
int FcSeek(void* p_fc, int origin, int offset);

#endif
