/*
** fc.cpp - the buffered file. Writes fill the buffer and hand it to the file when full;
** reads refill it at most once per call. A file that takes fewer bytes than offered keeps
** the rest waiting at the front of the buffer, so no byte is written twice when the write
** is retried by the next write, flush, seek or close.
*/
#include "fc.h"

#include "alloc_seam.h"
#include "mem_rt.h"

#include <cstdlib>

/* Opens in the given mode; the file is opened even when the buffer could not be made, and
** FcClose then releases whatever exists. */
static Fc* fc_open(Fs* fs, const char* p_name, int n_buf, int mode, bool b_create) {
  if (n_buf < 0) return nullptr;
  Fc* p = (Fc*)AllocSeam_malloc(sizeof(*p));
  if (!p) return nullptr;
  p->mode = mode;
  p->n_buf = n_buf;
  p->p_buf = (char*)AllocSeam_malloc(n_buf > 0 ? (size_t)n_buf : 1);
  p->i_pos = 0;
  p->n_fill = mode == FC_MODE_READ ? 0 : n_buf;
  p->p_file = b_create ? FsFile_create(fs, p_name) : FsFile_open(fs, p_name);
  if (!p->p_buf || !p->p_file) {
    FcClose(p);
    return nullptr;
  }
  return p;
}

Fc* FcOpenRead(Fs* fs, const char* p_name, int n_buf) {
  return fc_open(fs, p_name, n_buf, FC_MODE_READ, false);
}

Fc* FcOpenWrite(Fs* fs, const char* p_name, int n_buf) {
  return fc_open(fs, p_name, n_buf, FC_MODE_WRITE, false);
}

Fc* FcOpenCreate(Fs* fs, const char* p_name, int n_buf) {
  return fc_open(fs, p_name, n_buf, FC_MODE_WRITE, true);
}

int FcClose(void* p_fc) {
  Fc* p = (Fc*)p_fc;
  if (!p) return 1;
  if (p->mode == FC_MODE_WRITE && p->p_buf && p->p_file) FcFlush(p);
  FsFile_close(p->p_file);
  free(p->p_buf);
  free(p);
  return 1;
}

/* Out-of-contract calls (no Fc, a negative count, no buffer of the caller's) take nothing,
** without a line: this module writes none. */
static bool args_ok(const Fc* p, const void* p_data, int n) {
  return p && n >= 0 && (p_data || n == 0);
}

/* Offers the waiting bytes to the file; keeps what it did not take at the front. 1 when
** nothing is left waiting. */
static int write_waiting(Fc* p) {
  int n_done = FsFile_write(p->p_file, p->p_buf, p->i_pos);
  if (n_done < 0) n_done = 0;
  if (n_done >= p->i_pos) {
    p->i_pos = 0;
    return 1;
  }
  mem_cpy(p->p_buf, p->p_buf + n_done, (size_t)(p->i_pos - n_done));
  p->i_pos -= n_done;
  return 0;
}

/* Copies up to n bytes behind the waiting ones; the count copied. */
static int buffer_bytes(Fc* p, const char* p_src, int n) {
  int k = p->n_buf - p->i_pos < n ? p->n_buf - p->i_pos : n;
  mem_cpy(p->p_buf + p->i_pos, p_src, (size_t)k);
  p->i_pos += k;
  return k;
}

int FcWrite(void* p_fc, const void* p_src, int n) {
  Fc* p = (Fc*)p_fc;
  if (!args_ok(p, p_src, n)) return 0;
  if (p->mode != FC_MODE_WRITE || n == 0) return 0;
  const char* s = (const char*)p_src;
  int n_taken = 0;
  if (p->i_pos > 0) {
    n_taken = buffer_bytes(p, s, n);
    if (p->i_pos < p->n_buf) return n_taken;
    if (!write_waiting(p) || n_taken == n) return n_taken;
  }
  int n_rest = n - n_taken;
  if (n_rest >= p->n_buf) {
    int n_done = FsFile_write(p->p_file, s + n_taken, n_rest);
    return n_taken + (n_done > 0 ? n_done : 0);
  }
  return n_taken + buffer_bytes(p, s + n_taken, n_rest);
}

/* Hands out up to n buffered bytes; the count. */
static int hand_out(Fc* p, char* p_dst, int n) {
  int k = p->n_fill - p->i_pos < n ? p->n_fill - p->i_pos : n;
  mem_cpy(p_dst, p->p_buf + p->i_pos, (size_t)k);
  p->i_pos += k;
  return k;
}

int FcRead(void* p_fc, void* p_dst, int n) {
  Fc* p = (Fc*)p_fc;
  if (!args_ok(p, p_dst, n)) return 0;
  if (p->mode != FC_MODE_READ || n == 0) return 0;
  char* d = (char*)p_dst;
  int n_got = 0;
  if (p->n_fill - p->i_pos > 0) {
    n_got = hand_out(p, d, n);
    if (p->n_fill - p->i_pos > 0 || n_got == n) return n_got;
  }
  int n_rest = n - n_got;
  if (n_rest < p->n_buf) {
    int n_fill = FsFile_read(p->p_file, p->p_buf, p->n_buf);
    p->n_fill = n_fill > 0 ? n_fill : 0;
    p->i_pos = 0;
    return n_got + hand_out(p, d + n_got, n_rest);
  }
  int n_done = FsFile_read(p->p_file, d + n_got, n_rest);
  return n_got + (n_done > 0 ? n_done : 0);
}

int FcFlush(void* p_fc) {
  Fc* p = (Fc*)p_fc;
  if (!p) return 0;
  if (p->mode != FC_MODE_WRITE || p->i_pos == 0) return 1;
  return write_waiting(p);
}

int FcSeek(void* p_fc, int origin, int offset) {
  Fc* p = (Fc*)p_fc;
  if (!p) return -1;
  if (p->mode == FC_MODE_READ) {
    int pos = FsFile_seek(p->p_file, origin, offset);
    p->n_fill = 0;
    p->i_pos = 0;
    return pos;
  }
  if (!FcFlush(p)) return -1;
  int pos = FsFile_seek(p->p_file, origin, offset);
  p->i_pos = 0;
  return pos;
}
