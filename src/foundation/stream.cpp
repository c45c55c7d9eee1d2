/*
** stream.cpp - callback streams and counting streams. The openers set only the callbacks of
** their kind and Stream_alloc clears the others, so a stream used in the wrong direction
** finds an empty slot and answers with a line and a neutral result instead of a jump
** through garbage.
*/
#include "stream.h"

#include "alloc_seam.h"
#include "std_io.h"

#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>

/* One error line, then the neutral result r. */
static int log_fail(const char* p_line, int r) {
  StdIo_puts(p_line);
  return r;
}

Stream* Stream_alloc(void) {
  Stream* p = (Stream*)AllocSeam_malloc(sizeof(*p));
  if (!p) {
    StdIo_puts(STDIO_ERR("Stream_alloc") "p == NULL\n");
    return nullptr;
  }
  memset(p, 0, sizeof(*p));
  return p;
}

void Stream_free(Stream* p) { free(p); }

Stream* StreamOpenRead(void* ctx, tyStream_cb_read cb_read, tyStream_cb_seek cb_seek) {
  Stream* p = ctx ? Stream_alloc() : nullptr;
  if (!p) {
    StdIo_puts(STDIO_ERR("StreamOpenRead") "p == NULL\n");
    return nullptr;
  }
  p->cb_read = cb_read;
  p->cb_seek = cb_seek;
  p->ctx = ctx;
  return p;
}

Stream* StreamOpenWrite(void* ctx, tyStream_cb_write cb_write, tyStream_cb_seek cb_seek,
                        tyStream_cb_flush cb_flush) {
  Stream* p = ctx ? Stream_alloc() : nullptr;
  if (!p) {
    StdIo_puts(STDIO_ERR("StreamOpenWrite") "p == NULL\n");
    return nullptr;
  }
  p->cb_write = cb_write;
  p->cb_seek = cb_seek;
  p->cb_flush = cb_flush;
  p->ctx = ctx;
  return p;
}

Stream* StreamOpenCount(void) {
  Stream* p = Stream_alloc();
  if (!p) StdIo_puts(STDIO_ERR("StreamOpenCount") "p == NULL\n");
  return p;
}

void* StreamClose(Stream* p) {
  if (!p) return nullptr;
  void* ctx = p->ctx;
  Stream_free(p);
  return ctx;
}

int StreamRead(Stream* p, void* p_dst, int n) {
  if (!p) return log_fail(STDIO_ERR("StreamRead") "p == NULL\n", -1);
  if (!p->ctx) return 0;  // a counting stream holds nothing to read
  if (!p->cb_read) return log_fail(STDIO_ERR("StreamRead") "cb_read == NULL\n", -1);
  int r = p->cb_read(p->ctx, p_dst, n);
  p->n_count += r;
  return r;
}

int StreamWrite(Stream* p, const void* p_src, int n) {
  if (!p) return log_fail(STDIO_ERR("StreamWrite") "p == NULL\n", -1);
  if (n < 0) return log_fail(STDIO_ERR("StreamWrite") "n < 0\n", -1);
  if (!p->ctx) {
    p->n_count += n;
    return n;
  }
  if (!p->cb_write) return log_fail(STDIO_ERR("StreamWrite") "cb_write == NULL\n", -1);
  int r = p->cb_write(p->ctx, p_src, n);
  p->n_count += r;
  return r;
}

int StreamFlush(Stream* p) {
  if (!p) return log_fail(STDIO_ERR("StreamFlush") "p == NULL\n", 0);
  if (!p->ctx) return 1;
  if (!p->cb_flush) return log_fail(STDIO_ERR("StreamFlush") "cb_flush == NULL\n", 0);
  return p->cb_flush(p->ctx);
}

int StreamSeek(Stream* p, int origin, int offset) {
  if (!p) return log_fail(STDIO_ERR("StreamSeek") "p == NULL\n", 0);
  if (!p->ctx) return 0;
  if (!p->cb_seek) return log_fail(STDIO_ERR("StreamSeek") "cb_seek == NULL\n", -1);
  return p->cb_seek(p->ctx, origin, offset);
}

int StreamPrintf(Stream* p, const char* p_format, ...) {
  if (!p_format) return log_fail(STDIO_ERR("StreamPrintf") "p_format == NULL\n", -1);
  char buf[STREAM_N_BUF_PRINTF];
  va_list ap;
  va_start(ap, p_format);
  int n = vsnprintf(buf, sizeof(buf), p_format, ap);
  va_end(ap);
  if (n < 0) n = 0;
  if (n > (int)sizeof(buf) - 1) n = (int)sizeof(buf) - 1;  // what was cut is not written
  return StreamWrite(p, buf, n);
}

int StreamGetCount(Stream* p) { return p ? p->n_count : 0; }
