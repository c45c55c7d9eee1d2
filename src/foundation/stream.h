/*
** stream.h - byte streams defined by callbacks: a context handed to read, write, flush and
** seek callbacks, and a counter of the bytes that went through. A stream without context
** is a counting stream: writes go nowhere and only add to the counter. The stream owns
** none of its context; StreamClose hands it back. File streams (fcs.h) put a buffered file
** behind a stream.
*/
#ifndef ZENT_STREAM_H
#define ZENT_STREAM_H

/* Capacity of StreamPrintf's format buffer; a longer text is cut to 1023 characters. */
#define STREAM_N_BUF_PRINTF 1024

typedef int (*tyStream_cb_read)(void* ctx, void* p_dst, int n);         // bytes read
typedef int (*tyStream_cb_write)(void* ctx, const void* p_src, int n);  // bytes taken
typedef int (*tyStream_cb_flush)(void* ctx);                            // 1 or 0
typedef int (*tyStream_cb_seek)(void* ctx, int origin, int offset);     // position or -1

typedef struct Stream {
  void* ctx;                  // first argument of every callback; NULL: a counting stream
  tyStream_cb_read cb_read;   // read streams only
  tyStream_cb_write cb_write; // write streams only
  tyStream_cb_flush cb_flush; // write streams only
  tyStream_cb_seek cb_seek;   // read and write streams
  int n_count;                // sum of the results of all reads and writes so far
} Stream;

/* New stream with ctx NULL, count 0 and no callbacks, or NULL with one line. */
Stream* Stream_alloc(void);

/* Releases the stream (not its context); NULL does nothing. */
void Stream_free(Stream* p);

/* New read / write stream over ctx; NULL (with a line) for a NULL ctx or no memory. */
Stream* StreamOpenRead(void* ctx, tyStream_cb_read cb_read, tyStream_cb_seek cb_seek);
Stream* StreamOpenWrite(void* ctx, tyStream_cb_write cb_write, tyStream_cb_seek cb_seek,
                        tyStream_cb_flush cb_flush);

/* New counting stream, or NULL with a line. */
Stream* StreamOpenCount(void);

/* Releases the stream and returns its context (NULL for NULL). */
void* StreamClose(Stream* p);

/* The callback's result, added to the count. Read: -1 for a NULL stream or a stream of
** another direction (with a line), 0 for a counting stream. Write: n for a counting
** stream; -1 for a NULL stream, a read stream or a negative n (with a line). */
int StreamRead(Stream* p, void* p_dst, int n);
int StreamWrite(Stream* p, const void* p_src, int n);

/* The callback's result unchanged, count untouched. Flush: 1 for a counting stream, 0 for
** NULL or a read stream (with a line). Seek: 0 for a counting stream or NULL (with a line). */
int StreamFlush(Stream* p);
int StreamSeek(Stream* p, int origin, int offset);

/* Formats into a 1024-byte buffer (a longer text is cut) and writes the formatted length.
** StreamWrite's result; -1 for a NULL format (with a line). */
int StreamPrintf(Stream* p, const char* p_format, ...) __attribute__((format(printf, 2, 3)));

/* The count; 0 for NULL. */
int StreamGetCount(Stream* p);

#endif
