/*
** ms_rec_in.cpp - Motorola S-record reader and writer (module MsRecIn). The reader takes
** the file as a stream of tokens, not lines: any run of TAB, LF, CR and SPACE separates
** records, a byte 0xFF ends the file wherever it stands, and every token is checked in a
** fixed order (length, "S", type, hex pairs, count, checksum) before it becomes a record.
** The writer builds each line's bytes with an EzSerial over a 1023-byte line buffer and
** splits records that one line cannot hold. Both share calc_rec_bcc, the checksum rule.
*/
#include "ms_rec_in.h"

#include "ez_serial.h"
#include "std_io.h"
#include "us.h"

#include <array>
#include <cstdio>
#include <cstring>

/* Token buffer: a token holds at most M_TOKEN - 1 characters and its NUL. */
#define M_TOKEN 1024
/* Record vector: type, count, then address, data and checksum bytes as read. */
#define M_VECTOR 512
/* Line buffer of the writer: the count byte and 1023 bytes for the serialiser. */
#define M_LINE 1024
/* The count byte covers address, data and checksum: at most 255 of them. */
#define N_COUNT_MAX 255

/* ---------------------------------------------------------------------------------------
** Shared: checksum and big-endian fields
*/

/* One's complement of the sum of the n bytes; callers use the low byte. */
static unsigned calc_rec_bcc(int n, const uint8_t* p_bytes) {
  unsigned sum = 0;
  for (int i = 0; i < n; i++) sum += p_bytes[i];
  return ~sum;
}

static uint32_t get_u16_be(const uint8_t* p) { return (uint32_t)p[0] << 8 | p[1]; }

static uint32_t get_u24_be(const uint8_t* p) {
  return (uint32_t)p[0] << 16 | (uint32_t)p[1] << 8 | p[2];
}

static uint32_t get_u32_be(const uint8_t* p) {
  return (uint32_t)p[0] << 24 | (uint32_t)p[1] << 16 | (uint32_t)p[2] << 8 | p[3];
}

/* The address of w bytes (2, 3 or 4), most significant first. */
static uint32_t get_adr_be(const uint8_t* p, int w) {
  return w == 2 ? get_u16_be(p) : w == 3 ? get_u24_be(p) : get_u32_be(p);
}

/* Address bytes of a record type: 0 for 0 and 5 (no address read), -1 for 4, 6 and what
** is no type at all. */
static int adr_width_of_type(int type) {
  switch (type) {
    case 1: case 9: return 2;
    case 2: case 8: return 3;
    case 3: case 7: return 4;
    case 0: case 5: return 0;
    default: return -1;
  }
}

/* ---------------------------------------------------------------------------------------
** Reader: tokens. The file is taken one byte per call through the C library's buffering,
** so no byte behind the end record is asked for; a failed read counts as the end of the
** file, as does a byte 0xFF, and once the end is met nothing more is read.
*/

/* The reader's view of the file. */
typedef struct SrecFile {
  FILE* fp;   /* the open file, read by this call alone */
  int is_end; /* 1 once the end of the file, a failed read or a byte 0xFF was met */
} SrecFile;

/* Kind of each byte value: token byte, separator, or end of the file (0xFF). */
enum { C_TOKEN = 0, C_SEP = 1, C_END = 2 };

static constexpr std::array<uint8_t, 256> make_byte_kinds() {
  std::array<uint8_t, 256> t{};
  t['\t'] = t['\n'] = t['\r'] = t[' '] = C_SEP;
  t[0xFF] = C_END;
  return t;
}
static constexpr std::array<uint8_t, 256> kByteKind = make_byte_kinds();

/* The next byte as a signed 8-bit value; -1 at the end of the file, on a failed read and
** for a byte 0xFF, and from then on for good. */
static int fread_char(SrecFile* f) {
  if (f->is_end) return -1;
  int c = getc_unlocked(f->fp); /* the file belongs to this call and this thread */
  if (c == EOF || c == 0xFF) {
    f->is_end = 1;
    return -1;
  }
  return (int)(signed char)c;
}

static int is_separator(int c) { return c >= 0 && kByteKind[(unsigned)c] == C_SEP; }

/* Reads the next token into buffer (capacity m). Returns its length up to the first NUL,
** -1 at the end of the file before any token character (buffer then empty), -2 (logged)
** when the token does not fit; the rest of that token then stays unread. The separator
** behind a token is consumed. */
static int fread_line(SrecFile* f, int m, char* buffer) {
  int c;
  do c = fread_char(f); while (is_separator(c));
  buffer[0] = '\0';
  if (c == -1) return -1;
  int n = 0;
  while (kByteKind[(uint8_t)c] == C_TOKEN) {
    if (n + 1 >= m) {
      StdIo_printf(STDIO_ERR("fread_line") "file contains line, which is too long !");
      return -2;
    }
    buffer[n++] = (char)c;
    c = fread_char(f);
  }
  buffer[n] = '\0';
  return (int)strlen(buffer);
}

/* ---------------------------------------------------------------------------------------
** Reader: one token to its record vector
*/

static constexpr std::array<int8_t, 256> make_nibbles() {
  std::array<int8_t, 256> t{};
  for (int c = 0; c < 256; c++) t[c] = -1;
  for (int c = 0; c < 10; c++) t['0' + c] = (int8_t)c;
  for (int c = 0; c < 6; c++) t['A' + c] = t['a' + c] = (int8_t)(10 + c);
  return t;
}
static constexpr std::array<int8_t, 256> kNibble = make_nibbles();

/* 0 to 15 for 0-9, A-F, a-f; -1 for any other character. */
static int hex_char_to_nibble(int c) { return kNibble[(uint8_t)c]; }

/* The checks on the token's shape, in their order: 0, or -1/-2 after the check's line. */
static int check_token_shape(int m_vector, const uint8_t* p_vector, const char* p_str) {
  if (p_str == NULL) {
    StdIo_printf(STDIO_ERR("string_to_bin_vector") "p_str == NULL");
    return -1;
  }
  if (p_vector == NULL) {
    StdIo_printf(STDIO_ERR("string_to_bin_vector") "p_vector == NULL");
    return -1;
  }
  if (m_vector <= 0) {
    StdIo_printf(STDIO_ERR("string_to_bin_vector") "m_vector <= 0");
    return -1;
  }
  size_t l_str = strlen(p_str);
  if (l_str & 0x01) {
    StdIo_printf(STDIO_ERR("string_to_bin_vector") "(l_str & 0x01)");
    return -2;
  }
  if (l_str < 6) {
    StdIo_printf(STDIO_ERR("string_to_bin_vector") "(l_str < 6)");
    return -2;
  }
  if ((l_str / 2) > (size_t)m_vector) {
    StdIo_printf(STDIO_ERR("string_to_bin_vector") "((l_str / 2) > m_vector)");
    return -1;
  }
  if (p_str[0] != 'S') {
    StdIo_printf(STDIO_ERR("string_to_bin_vector") "(p_str [0] != 'S')");
    return -2;
  }
  if (p_str[1] < '0' || p_str[1] > '9' || adr_width_of_type(p_str[1] - '0') < 0) {
    StdIo_printf("unexpected tag S%c\n", p_str[1]);
    return -2;
  }
  return 0;
}

/* Turns a token into the record vector (byte 0 the type, byte 1 the count, then the
** address, data and checksum bytes). Returns n_vector, the number of vector bytes, or -1
** (bad argument, vector too small), -2 (malformed token) or -3 (checksum), each after
** its log line. */
static int string_to_bin_vector(int m_vector, uint8_t* p_vector, const char* p_str) {
  int rc = check_token_shape(m_vector, p_vector, p_str);
  if (rc < 0) return rc;
  p_vector[0] = (uint8_t)(p_str[1] - '0');
  int n_vector = 1;
  for (const char* p = p_str + 2; *p != '\0'; p += 2) {
    int hi_nibble = hex_char_to_nibble((unsigned char)p[0]);
    if (hi_nibble < 0) {
      StdIo_printf(STDIO_ERR("string_to_bin_vector") "hi_nibble < 0");
      return -2;
    }
    int lo_nibble = hex_char_to_nibble((unsigned char)p[1]);
    if (lo_nibble < 0) {
      StdIo_printf(STDIO_ERR("string_to_bin_vector") "lo_nibble < 0");
      return -2;
    }
    p_vector[n_vector++] = (uint8_t)(hi_nibble << 4 | lo_nibble);
  }
  if (n_vector != (p_vector[1] + 2)) {
    StdIo_printf(STDIO_ERR("string_to_bin_vector") "n_vector != (p_vector [1] + 2)");
    return -2;
  }
  uint8_t bcc_nom = p_vector[p_vector[1] + 1];
  uint8_t bcc_eff = (uint8_t)calc_rec_bcc(p_vector[1], p_vector + 1);
  if (bcc_nom != bcc_eff) {
    StdIo_printf(STDIO_ERR("string_to_bin_vector") "bcc_nom != bcc_eff");
    StdIo_printf("string=<%s>\n", p_str);
    return -3;
  }
  return n_vector;
}

/* ---------------------------------------------------------------------------------------
** Reader: record vector to record
*/

/* Appends the data record of a type 1/2/3 vector. A count too small for the address and
** the checksum gives no record. 1 or 0 (logged). */
static int append_data(MsRecSet* p_rec_set, const uint8_t* p_vector) {
  int w = adr_width_of_type(p_vector[0]);
  int n_bytes = p_vector[1] - w - 1; /* below 0: the address reaches past the record */
  if (n_bytes < 0 ||
      MsRecSet_postfix_val(p_rec_set, MSREC_TAG_DATA, get_adr_be(p_vector + 2, w),
                           (uint32_t)n_bytes, p_vector + 2 + w) < 0) {
    StdIo_printf(STDIO_ERR("MsRecIn_load_file") "MsRecSet_postfix_val failed");
    return 0;
  }
  return 1;
}

/* Appends the end record of a type 7/8/9 vector. An end record whose count leaves no room
** for its whole address and the checksum is refused: its address would lie partly in the
** checksum and beyond. 1 or 0 (logged). */
static int append_end(MsRecSet* p_rec_set, const uint8_t* p_vector) {
  int w = adr_width_of_type(p_vector[0]);
  if (p_vector[1] < w + 1) {
    StdIo_printf(STDIO_ERR("MsRecIn_load_file") "end record S%d too short for its address, "
                 "count=%d\n", p_vector[0], p_vector[1]);
    return 0;
  }
  uint32_t adr = get_adr_be(p_vector + 2, w);
  if (MsRecSet_postfix_val(p_rec_set, MSREC_TAG_START, adr, 0, NULL) < 0) {
    StdIo_printf(STDIO_ERR("MsRecIn_load_file") "MsRecSet_postfix_val failed");
    return 0;
  }
  return 1;
}

/* Reads records until the end record. 1 when it was read, 0 at the first failure. */
static int load_records(MsRecSet* p_rec_set, SrecFile* f) {
  char token[M_TOKEN];
  uint8_t vector[M_VECTOR];
  for (;;) {
    if (fread_line(f, M_TOKEN, token) < 0) {
      StdIo_printf(STDIO_ERR("MsRecIn_load_file") "fread_line returned an error");
      return 0;
    }
    int rc = string_to_bin_vector(M_VECTOR, vector, token);
    if (rc < 0) {
      StdIo_printf(STDIO_ERR("MsRecIn_load_file") "unexpected data detected, error_code=%d",
                   rc);
      return 0;
    }
    switch (vector[0]) {
      case 1: case 2: case 3:
        if (!append_data(p_rec_set, vector)) return 0;
        break;
      case 7: case 8: case 9:
        return append_end(p_rec_set, vector);
      default: /* 0 and 5: checked, then skipped */
        break;
    }
  }
}

int MsRecIn_load_file(MsRecSet* p_rec_set, const char* p_filename) {
  FILE* fp = fopen(p_filename, "rb");
  if (fp == NULL) {
    StdIo_printf(STDIO_ERR("MsRecIn_load_file") "cannot open file <%s> for reading",
                 p_filename);
    return 0;
  }
  SrecFile f = {fp, 0};
  int ok = load_records(p_rec_set, &f);
  fclose(fp);
  return ok;
}

/* ---------------------------------------------------------------------------------------
** Writer
*/

/* Writes one line: "S<type>", the n bytes as upper-case hex pairs, CR LF. 0 when the file
** or the bytes are NULL, else 1; write errors show in the file's error flag. */
static int write_record(FILE* fp, int type, int n, const uint8_t* p_bytes) {
  static const char hex[] = "0123456789ABCDEF";
  if (fp == NULL || p_bytes == NULL) return 0;
  char text[2 + 2 * M_LINE + 2];
  int i_text = 0;
  text[i_text++] = 'S';
  text[i_text++] = (char)('0' + type);
  for (int i = 0; i < n; i++) {
    text[i_text++] = hex[p_bytes[i] >> 4];
    text[i_text++] = hex[p_bytes[i] & 0x0F];
  }
  text[i_text++] = '\r';
  text[i_text++] = '\n';
  fwrite(text, 1, (size_t)i_text, fp);
  return 1;
}

/* Builds and writes one line of the given type from an address of w bytes (most
** significant first) and n data bytes; count byte and checksum are added here. */
static int put_line(FILE* fp, int type, int w, uint32_t adr, int n, const uint8_t* p_data) {
  uint8_t line[M_LINE];
  EzSerial s;
  EzSerial_init_write(&s, M_LINE - 1, line + 1);
  for (int i = w - 1; i >= 0; i--) EzSerial_write_u8(&s, (uint8_t)(adr >> (8 * i)));
  EzSerial_write_n(&s, n, p_data);
  line[0] = (uint8_t)(EzSerial_get_pos(&s) + 1);
  EzSerial_write_u8(&s, (uint8_t)calc_rec_bcc(line[0], line));
  return write_record(fp, type, EzSerial_get_pos(&s) + 1, line);
}

/* Writes a record as data lines of at most N_COUNT_MAX - w - 1 bytes each, the address
** advancing with the bytes; a record of 0 bytes is one line. */
static void put_record(FILE* fp, int tag_value, const MsRec* p_rec) {
  int w = tag_value + 1;
  uint32_t n_max = (uint32_t)(N_COUNT_MAX - w - 1);
  uint32_t adr = MsRec_get_adr(p_rec);
  uint32_t n_rest = MsRec_get_n_bytes(p_rec);
  const uint8_t* p_data = MsRec_get_p_bytes(p_rec);
  do {
    uint32_t n = n_rest < n_max ? n_rest : n_max;
    put_line(fp, tag_value, w, adr, (int)n, p_data);
    adr += n;
    p_data += n;
    n_rest -= n;
  } while (n_rest > 0);
}

/* Header, every record, end line. */
static void put_file(FILE* fp, MsRecSet* p_rec_set, int tag_value) {
  static const uint8_t header_text[3] = {'K', 'V', 'B'};
  put_line(fp, 0, 2, 0, 3, header_text);
  int n_rec = Us_get_n_elem(p_rec_set);
  for (int i = 0; i < n_rec; i++) {
    const MsRec* p_rec = MsRecSet_idx_to_ptr(p_rec_set, i);
    if (p_rec != NULL) put_record(fp, tag_value, p_rec);
  }
  put_line(fp, 10 - tag_value, tag_value + 1, 0, 0, header_text);
}

int MsRecIn_save_file(MsRecSet* p_rec_set, int tag_value, const char* p_filename) {
  if (p_rec_set == NULL || p_filename == NULL) return 0;
  if (tag_value < 1 || tag_value > 3) {
    StdIo_printf(STDIO_ERR("MsRecIn_save_file") "unexpected tag_value=%d", tag_value);
    return 0;
  }
  FILE* fp = fopen(p_filename, "wb");
  if (fp == NULL) {
    StdIo_printf(STDIO_ERR("MsRecIn_save_file") "cannot open file %s", p_filename);
    return 0;
  }
  put_file(fp, p_rec_set, tag_value);
  int failed = ferror(fp);
  if (fclose(fp) != 0 || failed) {
    StdIo_printf(STDIO_ERR("MsRecIn_save_file") "writing file %s failed\n", p_filename);
    return 0;
  }
  return 1;
}
