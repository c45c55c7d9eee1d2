/*
** strx.cpp - the string functions. A blank is 0x20 alone; tab, CR and LF are ordinary
** characters. Case folding uses the runtime's lower-case mapping, which in the default
** locale only touches 'A' to 'Z'. The two NULL lines end without a line feed, as they
** always have, and run on into the next line of the log.
*/
#include "strx.h"

#include "mem_rt.h"
#include "std_io.h"

#include <cctype>
#include <cstdlib>

static const char BLANK = ' ';

int strx_len(const char* p) {
  if (!p) return 0;
  int n = 0;
  while (p[n]) n++;
  return n;
}

int strx_len_trim(const char* p) {
  int n = strx_len(p);
  while (n > 0 && p[n - 1] == BLANK) n--;
  return n;
}

char* strx_dup(const char* p) {
  if (!p) return nullptr;
  int n = strx_len(p);
  char* p_new = (char*)malloc((size_t)n + 1);
  if (!p_new) return nullptr;
  mem_cpy(p_new, p, (size_t)n + 1);
  return p_new;
}

int strx_free(char* p) {
  free(p);
  return 1;
}

/* Copies n characters and a terminator; the ranges may overlap. */
static char* cpy_count(char* p_dst, const char* p_src, int n) {
  mem_cpy(p_dst, p_src, (size_t)n);
  p_dst[n] = '\0';
  return p_dst;
}

char* strx_cpy(char* p_dst, const char* p_src) {
  if (!p_dst) {
    StdIo_puts(STDIO_ERR("strx_cpy") "p_dst == NULL");
    return p_dst;
  }
  if (!p_src) {
    StdIo_puts(STDIO_ERR("strx_cpy") "p_src == NULL");
    return p_dst;
  }
  return cpy_count(p_dst, p_src, strx_len(p_src));
}

char* strx_cpy_n(int n_dst, char* p_dst, const char* p_src) {
  if (!p_dst || !p_src || n_dst < 1) return p_dst;
  if (n_dst == 1) return cpy_count(p_dst, p_src, 0);
  int n = strx_len(p_src);
  if (n > n_dst - 2) n = n_dst - 2;
  return cpy_count(p_dst, p_src, n);
}

char* strx_cat(char* p_dst, const char* p_src) {
  return strx_cat_n(p_dst, p_src, strx_len(p_src));
}

char* strx_cat_n(char* p_dst, const char* p_src, int n) {
  if (!p_dst) {
    StdIo_puts(STDIO_ERR("strx_cat_n") "p_dst == NULL");
    return p_dst;
  }
  if (!p_src) {
    StdIo_puts(STDIO_ERR("strx_cat_n") "p_src == NULL");
    return p_dst;
  }
  if (n < 0) return p_dst;
  int n_src = strx_len(p_src);
  cpy_count(p_dst + strx_len(p_dst), p_src, n_src < n ? n_src : n);
  return p_dst;
}

static int fold(char c) { return tolower((unsigned char)c); }

/* First n characters equal, a terminator common to both ending the compare as equal; n < 0
** stands for the longer length (whole-string equality). No NULL test: callers did it. */
static int strx_is_equal_n(const char* a, const char* b, int n) {
  if (n < 0) {
    int n_a = strx_len(a), n_b = strx_len(b);
    n = n_a > n_b ? n_a : n_b;
  }
  for (int i = 0; i < n; i++) {
    if (a[i] != b[i]) return 0;
    if (!a[i]) return 1;
  }
  return 1;
}

static int strx_is_equal_n_nocase(const char* a, const char* b, int n) {
  if (n < 0) {
    int n_a = strx_len(a), n_b = strx_len(b);
    n = n_a > n_b ? n_a : n_b;
  }
  for (int i = 0; i < n; i++) {
    if (fold(a[i]) != fold(b[i])) return 0;
    if (!a[i]) return 1;
  }
  return 1;
}

/* Index of the first character that is not a blank; 0 when there is none. */
static int strx_n_leading_blanks(const char* p) {
  int i = 0;
  while (p[i] == BLANK) i++;
  return p[i] ? i : 0;
}

int strx_is_equal(const char* a, const char* b) {
  if (!a || !b) return 0;
  return strx_is_equal_n(a, b, -1);
}

int strx_is_same(const char* a, const char* b) { return strx_is_equal(a, b); }

int strx_is_equal_trim(const char* a, const char* b) {
  if (!a || !b) return 0;
  int n = strx_len_trim(a);
  if (n != strx_len_trim(b)) return 0;
  return strx_is_equal_n(a, b, n);
}

int strx_is_equal_trim_nocase(const char* a, const char* b) {
  if (!a || !b) return 0;
  int n = strx_len_trim(a);
  if (n != strx_len_trim(b)) return 0;
  return strx_is_equal_n_nocase(a, b, n);
}

char* strx_cpy_trim_right(char* p_dst, const char* p_src) {
  if (!p_dst || !p_src) return p_dst;
  return cpy_count(p_dst, p_src, strx_len_trim(p_src));
}

char* strx_cpy_trim(char* p_dst, const char* p_src) {
  if (!p_dst || !p_src) return p_dst;
  // An all-blank source starts at 0 and trims to nothing.
  return strx_cpy_trim_right(p_dst, p_src + strx_n_leading_blanks(p_src));
}
