/*
** ez_serial.cpp - bounded little-endian serialiser. Every put and get goes through
** advance(), the one bound test: it moves the position or, when the bytes would pass the
** end, parks the position at the end and sets the sticky overflow flag. Values are stored
** and assembled byte by byte, so the host's own byte order plays no part.
*/
#include "ez_serial.h"

#include "mem_rt.h"
#include "std_io.h"

EzSerial* EzSerial_init_write(EzSerial* p, int32_t m_buffer, uint8_t* p_buffer) {
  if (p == NULL) return NULL;
  p->i_pos = 0;
  p->m_buffer = m_buffer;
  p->p_buffer = p_buffer;
  p->error_flags = 0;
  return p;
}

EzSerial* EzSerial_init_read(EzSerial* p, int32_t m_buffer, const uint8_t* p_buffer) {
  if (p == NULL) return NULL;
  /* A reader never writes through the pointer; the field is shared with the writer. */
  EzSerial_init_write(p, m_buffer, (uint8_t*)p_buffer);
  if (p_buffer == NULL) {
    StdIo_printf(STDIO_ERR("EzSerial_init_read") "p -> p_buffer = p_buffer)");
    return NULL;
  }
  return p;
}

int32_t EzSerial_get_pos(const EzSerial* p) { return p == NULL ? -1 : p->i_pos; }

int32_t EzSerial_get_error(const EzSerial* p) { return p == NULL ? -1 : p->error_flags; }

/* The bound test: 1 when n more bytes fit (the position moves on), 0 when refused. A
** refusal of a live serialiser parks the position at the end and sets the flag. A negative
** count is no count at all and is refused the same way. */
static int advance(EzSerial* p, int32_t n) {
  if (p == NULL || p->error_flags != 0) return 0;
  int64_t i_new = (int64_t)p->i_pos + n;
  if (n < 0 || i_new > p->m_buffer) {
    p->i_pos = p->m_buffer;
    p->error_flags |= EZSERIAL_ERR_OVERFLOW;
    return 0;
  }
  p->i_pos = (int32_t)i_new;
  return 1;
}

/* Puts the w low bytes of v, least significant first; 1 or 0 as advance() says. */
static int put_le(EzSerial* p, int w, uint32_t v) {
  if (p == NULL) return 0;
  int32_t i_at = p->i_pos;
  if (!advance(p, w)) return 0;
  if (p->p_buffer == NULL) return 1;
  for (int i = 0; i < w; i++) p->p_buffer[i_at + i] = (uint8_t)(v >> (8 * i));
  return 1;
}

/* Gets w bytes as a little-endian value into *p_v; 1, or 0 with *p_v 0 when refused. */
static int get_le(EzSerial* p, int w, uint32_t* p_v) {
  *p_v = 0;
  if (p == NULL || p->p_buffer == NULL) return 0; /* a counting serialiser has no bytes */
  int32_t i_at = p->i_pos;
  if (!advance(p, w)) return 0;
  for (int i = 0; i < w; i++) *p_v |= (uint32_t)p->p_buffer[i_at + i] << (8 * i);
  return 1;
}

int EzSerial_write_n(EzSerial* p, int32_t n, const void* p_src) {
  if (p == NULL) return 0;
  int32_t i_at = p->i_pos;
  if (!advance(p, n)) return 0;
  if (p->p_buffer != NULL && n > 0) mem_cpy_8(p->p_buffer + i_at, p_src, (size_t)n);
  return 1;
}

int EzSerial_write_u8(EzSerial* p, uint8_t v) { return put_le(p, 1, v); }
int EzSerial_write_u16(EzSerial* p, uint16_t v) { return put_le(p, 2, v); }
int EzSerial_write_u32(EzSerial* p, uint32_t v) { return put_le(p, 4, v); }
int EzSerial_write_i8(EzSerial* p, int8_t v) { return put_le(p, 1, (uint8_t)v); }
int EzSerial_write_i16(EzSerial* p, int16_t v) { return put_le(p, 2, (uint16_t)v); }
int EzSerial_write_i32(EzSerial* p, int32_t v) { return put_le(p, 4, (uint32_t)v); }

int EzSerial_read_n(EzSerial* p, int32_t n, void* p_dst) {
  if (p == NULL || p->p_buffer == NULL) return 0; /* a counting serialiser has no bytes */
  int32_t i_at = p->i_pos;
  if (!advance(p, n)) return 0;
  if (n > 0) mem_cpy_8(p_dst, p->p_buffer + i_at, (size_t)n);
  return 1;
}

uint8_t EzSerial_read_u8(EzSerial* p) {
  uint32_t v;
  get_le(p, 1, &v);
  return (uint8_t)v;
}

uint16_t EzSerial_read_u16(EzSerial* p) {
  uint32_t v;
  get_le(p, 2, &v);
  return (uint16_t)v;
}

uint32_t EzSerial_read_u32(EzSerial* p) {
  uint32_t v;
  get_le(p, 4, &v);
  return v;
}

int8_t EzSerial_read_i8(EzSerial* p) { return (int8_t)EzSerial_read_u8(p); }
int16_t EzSerial_read_i16(EzSerial* p) { return (int16_t)EzSerial_read_u16(p); }
int32_t EzSerial_read_i32(EzSerial* p) { return (int32_t)EzSerial_read_u32(p); }
