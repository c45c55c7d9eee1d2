/*
** ulzw.cpp - the LZW coder. The encoder keeps its dictionary in an open-addressed hash
** table of prime size (slot -> code, prefix, byte) and packs codes least significant bit
** first; its output is expanded by the unit's firmware, so the parse, the code numbering
** and the packing below are a wire format. The decoder keeps the same dictionary by code
** and is hardened against any byte stream: it reads nothing beyond the stream, writes
** nothing beyond the output and refuses codes that no entry explains. Every table is made
** in UlzwUnit_alloc; coding allocates nothing.
*/
#include "ulzw.h"

#include "std_io.h"

#include <cstddef>
#include <cstring>
#include <new>

namespace {

/* read_code results besides a code: the end code, and a stream whose bytes are used up. */
constexpr int ULZW_CODE_END = -1;
constexpr int ULZW_CODE_NONE = -2;

/* Flag modes are the plain widths plus 128. */
constexpr int ULZW_MODE_FLAG_BASE = 128;

}  // namespace

/* Allocation of the unit and its tables; a test may replace the nothrow operator new to
** count or refuse. */
static void* ulzw_alloc(size_t n) { return ::operator new(n, std::nothrow); }

static void ulzw_release(void* p) { ::operator delete(p); }

/* Mode to code width, -1 for a mode outside 12..16 and 140..144. */
static int mode_to_n_bits(int mode) {
  if (mode >= 12 && mode <= 16) return mode;
  int n = mode - ULZW_MODE_FLAG_BASE;
  if (n >= 12 && n <= 16) return n;
  return -1;
}

/* Mode to table size: a prime 1.04 to 1.23 times the code space. -1 for a bad mode. */
static int mode_to_n_tab(int mode) {
  switch (mode_to_n_bits(mode)) {
    case 12: return 5021;
    case 13: return 9029;
    case 14: return 18041;
    case 15: return 34019;
    case 16: return 78643;
    default: return -1;
  }
}

static bool has_flag_bit(const UlzwUnit* p) { return p->mode >= ULZW_MODE_FLAG_BASE; }

/* Empties the dictionary. 0 for a NULL unit, else 1. */
static int UlzwUnit_reset(UlzwUnit* p) {
  if (p == NULL) return 0;
  p->code_next = 256;
  memset(p->p_tab_code_value, 0xFF, (size_t)p->n_tab * sizeof(p->p_tab_code_value[0])); /* all -1 */
  return 1;
}

/* Allocates the three tables, each tried even when an earlier one failed; 1 when all stand. */
static int alloc_tables(UlzwUnit* p) {
  size_t n = (size_t)p->n_tab;
  p->p_tab_code_value = (int*)ulzw_alloc(n * sizeof(p->p_tab_code_value[0]));
  if (p->p_tab_code_value == NULL)
    StdIo_puts(STDIO_ERR("UlzwUnit_alloc") "p -> p_tab_code_value = __ALLOC "
                                           "(p -> n_tab * sizeof (p -> p_tab_code_value [0])))");
  p->p_tab_prefix_code = (int*)ulzw_alloc(n * sizeof(p->p_tab_prefix_code[0]));
  if (p->p_tab_prefix_code == NULL)
    StdIo_puts(STDIO_ERR("UlzwUnit_alloc") "p -> p_tab_prefix_code= __ALLOC "
                                           "(p -> n_tab * sizeof (p -> p_tab_prefix_code [0])))");
  p->p_tab_append_char = (uint8_t*)ulzw_alloc(n * sizeof(p->p_tab_append_char[0]));
  if (p->p_tab_append_char == NULL)
    StdIo_puts(STDIO_ERR("UlzwUnit_alloc") "p -> p_tab_append_char= __ALLOC "
                                           "(p -> n_tab * sizeof (p -> p_tab_append_char [0])))");
  return p->p_tab_code_value != NULL && p->p_tab_prefix_code != NULL && p->p_tab_append_char != NULL;
}

UlzwUnit* UlzwUnit_alloc(int mode) {
  int n_bits = mode_to_n_bits(mode);
  UlzwUnit* p = n_bits < 0 ? NULL : (UlzwUnit*)ulzw_alloc(sizeof(UlzwUnit));
  if (p == NULL) {
    StdIo_printf(STDIO_ERR("UlzwUnit_alloc") "p == NULL, mode_to_n_bits (%d) = %d", mode, n_bits);
    return NULL;
  }
  p->mode = mode;
  p->n_bits = n_bits;
  p->n_shift = n_bits - 8;
  p->code_end = (1u << n_bits) - 1;
  p->code_last = p->code_end - 1;
  p->code_next = 256;
  p->n_tab = mode_to_n_tab(mode);
  int ok = alloc_tables(p);
  p->i_data = p->m_data = 0;
  p->p_data = NULL;
  p->i_code = p->m_code = 0;
  p->p_code = NULL;
  p->n_bit_buf = 0;
  p->bit_buf = 0;
  p->n_code_out = p->n_char_out = 0;
  if (!ok) {
    UlzwUnit_free(p);
    return NULL;
  }
  UlzwUnit_reset(p);
  return p;
}

int UlzwUnit_free(UlzwUnit* p) {
  if (p == NULL) return 1;
  ulzw_release(p->p_tab_code_value);
  ulzw_release(p->p_tab_prefix_code);
  ulzw_release(p->p_tab_append_char);
  ulzw_release(p);
  return 1;
}

static void set_data_buffer(UlzwUnit* p, int m_data, uint8_t* p_data) {
  p->i_data = 0;
  p->m_data = m_data;
  p->p_data = p_data;
}

static void set_code_buffer(UlzwUnit* p, int m_code, uint8_t* p_code) {
  p->i_code = 0;
  p->m_code = m_code;
  p->p_code = p_code;
}

/* The next source byte (0..255), or -1 once the source is used up. */
static inline int read_data(UlzwUnit* p) {
  if (p->i_data >= p->m_data) return -1;
  return p->p_data[p->i_data++];
}

/* Stores one output byte (NULL output: counts it). 0 when the output is full, else 1. */
static inline int write_data(UlzwUnit* p, int c) {
  if (p->i_data >= p->m_data) return 0;
  if (p->p_data != NULL) p->p_data[p->i_data] = (uint8_t)c;
  p->i_data++;
  return 1;
}

/* The hash probe: the slot that holds the string prefix + c, or the empty slot where it
** belongs. The table never fills (at most 2^n - 257 of more than 2^n slots are taken), so
** the probe ends. */
static inline int find_match(const UlzwUnit* p, int prefix, int c) {
  int index = (c << p->n_shift) ^ prefix;
  int step = index == 0 ? 1 : p->n_tab - index;
  for (;;) {
    if (p->p_tab_code_value[index] == -1) return index;
    if (p->p_tab_prefix_code[index] == prefix && p->p_tab_append_char[index] == c) return index;
    index -= step;
    if (index < 0) index += p->n_tab;
  }
}

/* Appends one code's bit group and writes out every whole byte. 1, or 0 when the stream
** buffer is full (the bits stay pending). At most 7 bits stay pending after success. */
static inline int write_code(UlzwUnit* p, unsigned code) {
  uint32_t group = code;
  int n_group = p->n_bits;
  if (code >= 256) {
    p->n_code_out++;
  } else {
    p->n_char_out++;
  }
  if (has_flag_bit(p)) {
    group = (code << 1) | (code >= 256 ? 1u : 0u);
    n_group = code >= 256 ? p->n_bits + 1 : 9;
  }
  p->bit_buf |= group << p->n_bit_buf;
  p->n_bit_buf += n_group;
  while (p->n_bit_buf >= 8) {
    if (p->i_code >= p->m_code) return 0;
    if (p->p_code != NULL) p->p_code[p->i_code] = (uint8_t)p->bit_buf;
    p->i_code++;
    p->bit_buf >>= 8;
    p->n_bit_buf -= 8;
  }
  return 1;
}

/* write_code with the error line of call number i_call on a full stream buffer. */
static int write_code_logged(UlzwUnit* p, unsigned code, int i_call) {
  if (write_code(p, code)) return 1;
  StdIo_printf(STDIO_ERR("Ulzw_encode") "write_code (%d) failed", i_call);
  return 0;
}

/* The LZW parse of the whole source: each longest known string goes out as one code and
** the string plus the byte after it becomes the next dictionary entry while codes last.
** Ends after the code of the last string. 1, or 0 when the stream buffer is full. */
static int encode_strings(UlzwUnit* p) {
  int string = read_data(p);
  int c;
  while ((c = read_data(p)) >= 0) {
    int slot = find_match(p, string, c);
    if (p->p_tab_code_value[slot] != -1) {
      string = p->p_tab_code_value[slot];
      continue;
    }
    if (p->code_next <= p->code_last) {
      p->p_tab_code_value[slot] = (int)p->code_next++;
      p->p_tab_prefix_code[slot] = string;
      p->p_tab_append_char[slot] = (uint8_t)c;
    }
    if (!write_code_logged(p, (unsigned)string, 1)) return 0;
    string = c;
  }
  return write_code_logged(p, (unsigned)string, 2);
}

int Ulzw_encode(UlzwUnit* p, int n_dst, uint8_t* p_dst, int n_src, const uint8_t* p_src) {
  if (p == NULL || p_src == NULL) return -1;
  if (n_src <= 0) {
    /* No stream stands for nothing: the unit's expander would meet the end code first. */
    StdIo_printf(STDIO_ERR("Ulzw_encode") "n_src = %d, nothing to compress\n", n_src);
    return -1;
  }
  set_data_buffer(p, n_src, (uint8_t*)p_src); /* only read */
  set_code_buffer(p, n_dst, p_dst);
  /* The coding runs on a copy held in registers: stores into the stream could alias the
  ** unit as far as the compiler knows, and would force every field to be reloaded. */
  UlzwUnit u = *p;
  /* The zero code only pushes the end code out; its last 0..7 bits never reach the stream. */
  int ok = encode_strings(&u) && write_code_logged(&u, u.code_end, 3) && write_code_logged(&u, 0, 4);
  *p = u;
  return ok ? p->i_code : -1;
}

/* The next code of the stream, ULZW_CODE_END for the end code, ULZW_CODE_NONE when the
** stream's bytes hold no further whole code. Never reads at or beyond m_code. */
static inline int read_code(UlzwUnit* p) {
  while (p->n_bit_buf <= 24 && p->i_code < p->m_code) {
    p->bit_buf |= (uint32_t)p->p_code[p->i_code++] << p->n_bit_buf;
    p->n_bit_buf += 8;
  }
  int n_flag = 0;
  int n_width = p->n_bits;
  if (has_flag_bit(p)) {
    /* Flag 1: the code's n bits, flag 0: a byte's 8 bits; worked out without a branch, as
    ** the flags of a stream follow no pattern. */
    n_flag = 1;
    n_width = 8 + (int)(p->bit_buf & 1u) * p->n_shift;
  }
  if (p->n_bit_buf < n_flag + n_width) return ULZW_CODE_NONE;
  unsigned code = (p->bit_buf >> n_flag) & ((1u << n_width) - 1u);
  p->bit_buf >>= n_flag + n_width;
  p->n_bit_buf -= n_flag + n_width;
  return code == p->code_end ? ULZW_CODE_END : (int)code;
}

/* Writes one whole log line; always 0, so a failure is one statement at the call site. */
static int fail_line(const char* p_line) {
  StdIo_puts(p_line);
  return 0;
}

/* The decoder keeps by code: in the code-value table the string's first byte above its
** length (at most 2^16 - 256), so that counting and room checks need no walk of a chain;
** in the prefix table the output position of one whole copy of the string, so that
** expanding a code is one copy of earlier output. An entry prev + byte always has such a
** copy: prev's string was just written there and the new string, which begins with the
** byte, follows it. */
constexpr int ULZW_FIRST_SHIFT = 24;
constexpr int ULZW_LENGTH_MASK = (1 << ULZW_FIRST_SHIFT) - 1;

/* What the decoder carries from one code to the next. */
struct UlzwPrevious {
  int code;       /* the code before */
  int i_at;       /* output position of its string */
  int character;  /* its string's first byte */
};

static inline int string_info(const UlzwUnit* p, int code) {
  return code < 256 ? (code << ULZW_FIRST_SHIFT) | 1 : p->p_tab_code_value[code];
}

/* Expands a known code into out (NULL: counts only) and hands back its first byte through
** p_first. The string's length, or -1 when it is longer than room (nothing written). */
static int decode_string(UlzwUnit* p, int room, uint8_t* out, int* p_first, int code) {
  int info = string_info(p, code);
  int n = info & ULZW_LENGTH_MASK;
  if (n > room) return -1;
  if (out != NULL) {
    if (code < 256) {
      out[0] = (uint8_t)code;
    } else {
      memcpy(out, p->p_data + p->p_tab_prefix_code[code], (size_t)n); /* earlier output */
    }
  }
  if (p_first != NULL) *p_first = (int)((unsigned)info >> ULZW_FIRST_SHIFT); /* 0..255 */
  return n;
}

/* Expands one code after the first and makes the entry prev + the new string's first byte.
** *p_prev becomes this code. 1, or 0 with an error line. */
static int decode_code(UlzwUnit* p, int code, UlzwPrevious* p_prev) {
  int room = p->m_data - p->i_data;
  uint8_t* out = p->p_data == NULL ? NULL : p->p_data + p->i_data;
  int first = 0;
  int n;
  if ((unsigned)code < p->code_next) {
    n = decode_string(p, room, out, &first, code);
    if (n < 0) return fail_line(STDIO_ERR("Ulzw_decode") "decode_string failed");
  } else if ((unsigned)code == p->code_next) {
    /* The entry the encoder made while it wrote prev: prev's string plus its first byte. */
    n = decode_string(p, room, out, &first, p_prev->code);
    if (n < 0) return fail_line(STDIO_ERR("Ulzw_decode") "decode_string failed");
    if (n >= room) return fail_line(STDIO_ERR("Ulzw_decode") "internal buffer overflow");
    if (out != NULL) out[n] = (uint8_t)p_prev->character;
    n++;
  } else {
    StdIo_printf(STDIO_ERR("Ulzw_decode") "code %d unknown, next code %u\n", code, p->code_next);
    return 0;
  }
  if (p->code_next <= p->code_last) {
    p->p_tab_prefix_code[p->code_next] = p_prev->i_at;
    p->p_tab_append_char[p->code_next] = (uint8_t)first;
    p->p_tab_code_value[p->code_next] = string_info(p, p_prev->code) + 1; /* one byte longer */
    p->code_next++;
  }
  *p_prev = {code, p->i_data, first};
  p->i_data += n;
  return 1;
}

/* The first code: it must be a single byte. 1 with *p_prev set, else 0 with a line. */
static int decode_first(UlzwUnit* p, UlzwPrevious* p_prev) {
  int code = read_code(p);
  if (code < 0) return fail_line(STDIO_ERR("Ulzw_decode") "no code before the end of the stream\n");
  if (code >= 256) {
    StdIo_printf(STDIO_ERR("Ulzw_decode") "code %d unknown, next code %u\n", code, p->code_next);
    return 0;
  }
  if (!write_data(p, code)) return fail_line(STDIO_ERR("Ulzw_decode") "write_data (1) failed");
  *p_prev = {code, 0, code};
  return 1;
}

int Ulzw_decode(UlzwUnit* p, int n_dst, uint8_t* p_dst, int n_src, const uint8_t* p_src) {
  if (p == NULL || p_src == NULL) return -1;
  set_data_buffer(p, n_dst < 0 ? 0 : n_dst, p_dst);
  set_code_buffer(p, n_src < 0 ? 0 : n_src, (uint8_t*)p_src); /* only read */
  UlzwUnit u = *p; /* a copy held in registers, as in Ulzw_encode */
  UlzwPrevious prev;
  int ok = decode_first(&u, &prev);
  int code;
  while (ok && (code = read_code(&u)) >= 0) ok = decode_code(&u, code, &prev);
  *p = u;
  return ok ? p->i_data : -1;
}
