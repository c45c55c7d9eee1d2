/*
** ulzw.h - the LZW coder of the image model: Ulzw_encode packs bytes into a stream of
** dictionary codes, Ulzw_decode expands it. The loader compresses the application image in
** mode 144 and the unit's own firmware expands that stream, so the encoder's output is a
** wire format and must never change. Stream: codes packed least significant bit first, no
** header, no clear code, end code 2^n - 1 and then a zero code of which only whole bytes
** are written. Modes 12..16 give the code width n; 140..144 the same widths with a flag
** bit before each code (0: a byte in 8 bits, 1: a dictionary code in n bits).
*/
#ifndef ZENT_ULZW_H
#define ZENT_ULZW_H

#include <stdint.h>

/* The mode the loader uses for the compressed code image. */
#define ULZW_MODE_ZENT 144

/* State of one coding. Made for one mode by UlzwUnit_alloc and used for exactly one
** Ulzw_encode or Ulzw_decode: neither resets the dictionary, the bits or the counters. */
typedef struct UlzwUnit {
  int mode;                         /* configuration: 12..16 or 140..144 */
  int n_bits;                       /* configuration: code width n, 12..16 */
  int n_shift;                      /* configuration: n - 8, shift of the hash formula */
  unsigned code_end;                /* configuration: end code 2^n - 1 */
  unsigned code_last;               /* configuration: highest dictionary code, 2^n - 2 */
  unsigned code_next;               /* state: next free dictionary code, 256 at start */
  int n_tab;                        /* configuration: entries of each table, a prime > 2^n */
  int* p_tab_code_value;            /* owned: encoder hash slots, code or -1 for empty;
                                       decoder: first byte << 24 | length, by code */
  int* p_tab_prefix_code;           /* owned: encoder: prefix code by slot; decoder: output
                                       position of a copy of the code's string */
  uint8_t* p_tab_append_char;       /* owned: last byte of a string, by slot or by code */
  int i_data;                       /* state: bytes read (encoder) or written (decoder) */
  int m_data;                       /* call: size of the byte buffer */
  uint8_t* p_data;                  /* borrowed for one call: source (read only) or output,
                                       NULL output counts only */
  int i_code;                       /* state: stream bytes written (encoder) or read (decoder) */
  int m_code;                       /* call: size of the stream buffer */
  uint8_t* p_code;                  /* borrowed for one call: output stream (NULL counts only)
                                       or input stream (read only) */
  int n_bit_buf;                    /* state: pending bits in bit_buf */
  uint32_t bit_buf;                 /* state: pending bits, the oldest is bit 0 */
  int n_code_out;                   /* statistics: codes of 256 and above written */
  int n_char_out;                   /* statistics: codes below 256 written */
} UlzwUnit;

/* Makes a unit for the mode with its three tables, ready for one coding. NULL with an error
** line for a mode outside 12..16 and 140..144 or when memory is short. The coding itself
** allocates nothing more. Release with UlzwUnit_free. */
UlzwUnit* UlzwUnit_alloc(int mode);

/* Frees the tables that exist, then the unit. NULL is accepted. Always 1. */
int UlzwUnit_free(UlzwUnit* p);

/* Compresses n_src bytes from p_src into at most n_dst bytes at p_dst. p_dst NULL counts
** only: the same length comes back within the same bound, nothing is stored.
** Result: the stream's length in bytes; -1 for a NULL unit or source (no line), for an
** empty source, or when the stream does not fit (the error line names the write that met
** the full buffer; the bytes that fitted stay in p_dst). */
int Ulzw_encode(UlzwUnit* p, int n_dst, uint8_t* p_dst, int n_src, const uint8_t* p_src);

/* Expands the stream of n_src bytes at p_src into at most n_dst bytes at p_dst (NULL counts
** only). Reads no byte at or beyond n_src and writes none beyond n_dst; a stream without
** an end code ends when its bytes are used up. Result: the bytes produced; -1 for a NULL
** unit or source (no line), and -1 with an error line when the output does not fit, the
** stream holds no code before its end, or a code that no dictionary entry explains. */
int Ulzw_decode(UlzwUnit* p, int n_dst, uint8_t* p_dst, int n_src, const uint8_t* p_src);

#endif
