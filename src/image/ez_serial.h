/*
** ez_serial.h - bounded little-endian serialiser. Puts values into a fixed byte buffer, or
** gets them out again, one after the other from the start, least significant byte first,
** and never past the buffer's end. A put or get that would pass the end is refused and
** sets a sticky overflow flag, so a caller makes a whole run of puts and tests once at the
** end. Without a buffer it only counts, which measures a layout before it is written. The
** S-record writer builds every line with it. No allocation, no lock.
*/
#ifndef ZENT_EZ_SERIAL_H
#define ZENT_EZ_SERIAL_H

#include <cstdint>

/* Bit of error_flags set when a put or get would have passed the end of the buffer. */
#define EZSERIAL_ERR_OVERFLOW 0x01

typedef struct EzSerial {
  int32_t i_pos;       /* bytes put or got so far: index of the next byte */
  int32_t m_buffer;    /* size of the buffer in bytes: the bound for i_pos */
  uint8_t* p_buffer;   /* caller's buffer of m_buffer bytes; NULL counts only */
  int32_t error_flags; /* 0 while all is well; EZSERIAL_ERR_OVERFLOW once overflowed */
} EzSerial;

/* Makes p ready to put values into the m_buffer bytes at p_buffer (NULL: count only).
** Returns p, or NULL for a NULL p (no log line). */
EzSerial* EzSerial_init_write(EzSerial* p, int32_t m_buffer, uint8_t* p_buffer);

/* Makes p ready to get values from the m_buffer bytes at p_buffer. Returns p, or NULL for
** a NULL p or a NULL buffer (the fields are set all the same; a NULL buffer is logged). */
EzSerial* EzSerial_init_read(EzSerial* p, int32_t m_buffer, const uint8_t* p_buffer);

/* Position (bytes put or got so far; the size after an overflow); -1 for NULL. */
int32_t EzSerial_get_pos(const EzSerial* p);

/* Error flags (0 or EZSERIAL_ERR_OVERFLOW); -1 for NULL. */
int32_t EzSerial_get_error(const EzSerial* p);

/* Puts: 1 when all bytes were put at the position, 0 when refused. A refused put writes
** none of its bytes and leaves the serialiser overflowed. */
int EzSerial_write_n(EzSerial* p, int32_t n, const void* p_src);
int EzSerial_write_u8(EzSerial* p, uint8_t v);
int EzSerial_write_u16(EzSerial* p, uint16_t v);
int EzSerial_write_u32(EzSerial* p, uint32_t v);
int EzSerial_write_i8(EzSerial* p, int8_t v);
int EzSerial_write_i16(EzSerial* p, int16_t v);
int EzSerial_write_i32(EzSerial* p, int32_t v);

/* Gets: n bytes copied to p_dst and 1, or 0 when refused (nothing copied). A counting
** serialiser is for puts only: a get from it gives 0 and moves nothing. */
int EzSerial_read_n(EzSerial* p, int32_t n, void* p_dst);

/* Gets of one value: the value, 0 when refused or for a NULL object. */
uint8_t EzSerial_read_u8(EzSerial* p);
uint16_t EzSerial_read_u16(EzSerial* p);
uint32_t EzSerial_read_u32(EzSerial* p);
int8_t EzSerial_read_i8(EzSerial* p);
int16_t EzSerial_read_i16(EzSerial* p);
int32_t EzSerial_read_i32(EzSerial* p);

#endif
