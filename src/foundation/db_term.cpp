/*
** db_term.cpp - the debug terminal's screen ring, its change counter and its text export.
**
** Printing costs one step per byte and allocates nothing; scrolling only moves i_top. The
** counter is read without the lock by DbTerm_to_string (a change racing with the compare is
** simply part of the text built), so it is loaded and stored atomically.
*/
#include "db_term.h"

#include "alloc_seam.h"
#include "std_io.h"

#include <climits>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>

/* One line "p == NULL" naming the operation; gives the neutral result r. */
static int log_null_term(const char* p_line, int r) {
  StdIo_puts(p_line);
  return r;
}

static int load_change(const DbTerm* p) { return __atomic_load_n(&p->n_change, __ATOMIC_RELAXED); }

/* n_change + 1, wrapping to 0 past the largest int instead of going negative. */
static void advance_change(DbTerm* p) {
  int n = load_change(p);
  __atomic_store_n(&p->n_change, n == INT_MAX ? 0 : n + 1, __ATOMIC_RELAXED);
}

static char* row_of_line(DbTerm* p, int i_line) {
  return p->p_scr + (size_t)((p->i_top + i_line) % p->ny_scr) * (size_t)p->n_stride;
}

/* Sizes the ring can hold: at least one line, and the screen fits an int. */
static bool sizes_ok(int nx_scr, int ny_scr) {
  if (nx_scr < 0 || ny_scr < 1) return false;
  return (long long)(nx_scr + 1LL) * ny_scr <= INT_MAX;
}

DbTerm* DbTerm_alloc(int nx_scr, int ny_scr) {
  if (!sizes_ok(nx_scr, ny_scr)) {
    StdIo_printf(STDIO_ERR("DbTerm_alloc") "bad size (nx_scr=%d, ny_scr=%d)\n", nx_scr, ny_scr);
    return nullptr;
  }
  DbTerm* p = (DbTerm*)AllocSeam_malloc(sizeof(*p));
  if (!p) return nullptr;
  memset(p, 0, sizeof(*p));
  bool b_failed = false;
  p->p_mutex = CspMutex_alloc();
  if (!p->p_mutex) {
    StdIo_puts(STDIO_ERR("DbTerm_alloc") "__XALLOC failed (p -> p_mutex=CspMutex_alloc ())\n");
    b_failed = true;
  }
  p->p_scr = (char*)AllocSeam_malloc((size_t)(nx_scr + 1) * (size_t)ny_scr);
  if (!p->p_scr) {
    StdIo_puts(STDIO_ERR("DbTerm_alloc") "__XALLOC failed (p -> p_scr=__ALLOC ((nx_scr + 1) "
                                         "* ny_scr * sizeof (* p -> p_scr)))\n");
    b_failed = true;
  }
  p->nx_scr = nx_scr;
  p->ny_scr = ny_scr;
  p->n_stride = nx_scr + 1;
  p->n_str = (nx_scr + 1) * ny_scr;
  p->p_str = (char*)AllocSeam_malloc((size_t)p->n_str);
  if (!p->p_str) {
    StdIo_puts(STDIO_ERR("DbTerm_alloc") "__XALLOC failed (p -> p_str=__ALLOC (p -> n_str "
                                         "* sizeof (* p -> p_scr)))\n");
    b_failed = true;
  }
  if (b_failed) {
    DbTerm_free(p);
    return nullptr;
  }
  DbTerm_clear(p);
  return p;
}

void DbTerm_free(DbTerm* p) {
  if (!p) return;
  CspMutex_free(p->p_mutex);
  free(p->p_scr);
  free(p->p_str);
  free(p);
}

int DbTerm_clear(DbTerm* p) {
  DbTerm_enter(p);
  if (!p) {
    log_null_term(STDIO_ERR("DbTerm_clear") "p == NULL\n", 0);
  } else {
    for (int i = 0; i < p->ny_scr; i++) p->p_scr[(size_t)i * (size_t)p->n_stride] = '\0';
    p->x_cursor = 0;
    p->y_cursor = 0;
    p->i_top = 0;
    p->p_str[0] = '\0';
    advance_change(p);
  }
  DbTerm_exit(p);
  return p ? 1 : 0;
}

/* A line feed: move down (scrolling the ring on the bottom line) and empty the new line. */
static void put_line_feed(DbTerm* p) {
  if (p->y_cursor + 1 >= p->ny_scr) {
    p->y_cursor = p->ny_scr - 1;
    p->i_top = (p->i_top + 1) % p->ny_scr;
  } else {
    p->y_cursor++;
  }
  row_of_line(p, p->y_cursor)[0] = '\0';
  p->x_cursor = 0;
}

/* Any other byte is stored as it is while the line has room, else dropped. */
static void put_char(DbTerm* p, char c) {
  if (p->x_cursor >= p->nx_scr) return;
  char* p_row = row_of_line(p, p->y_cursor);
  p_row[p->x_cursor] = c;
  p_row[p->x_cursor + 1] = '\0';
  p->x_cursor++;
}

int DbTerm_print(void* p_term, const char* p_src) {
  DbTerm* p = (DbTerm*)p_term;
  DbTerm_enter(p);
  if (!p) log_null_term(STDIO_ERR("DbTerm_print") "p == NULL\n", 0);
  if (p && p_src) {
    for (const char* s = p_src; *s; s++) {
      if (*s == '\n')
        put_line_feed(p);
      else
        put_char(p, *s);
    }
    advance_change(p);
  }
  DbTerm_exit(p);
  // Logged outside the terminal's lock: when this terminal is the log sink the line comes
  // back here, and taking the sink's lock under ours would invert the lock order.
  if (p && !p_src) return log_null_term(STDIO_ERR("DbTerm_print") "p_src == NULL\n", 0);
  return p ? 1 : 0;
}

int DbTerm_printf(DbTerm* p, const char* p_format, ...) {
  if (!p_format) return log_null_term(STDIO_ERR("DbTerm_printf") "p_format == NULL\n", 0);
  char buf[DBTERM_N_BUF_PRINTF];
  va_list ap;
  va_start(ap, p_format);
  vsnprintf(buf, sizeof(buf), p_format, ap);  // cuts a longer text to the buffer
  va_end(ap);
  return DbTerm_print(p, buf);
}

int DbTerm_enter(DbTerm* p) {
  if (!p) return log_null_term(STDIO_ERR("DbTerm_enter") "p == NULL\n", 0);
  return CspMutex_lock(p->p_mutex);
}

int DbTerm_exit(DbTerm* p) {
  if (!p) return log_null_term(STDIO_ERR("DbTerm_exit") "p == NULL\n", 0);
  return CspMutex_unlock(p->p_mutex);
}

/* Writes the screen lines top to bottom into p_str, a line feed between two lines. */
static void build_string(DbTerm* p) {
  char* d = p->p_str;
  for (int i = 0; i < p->ny_scr; i++) {
    for (const char* s = row_of_line(p, i); *s; s++) *d++ = *s;
    if (i + 1 < p->ny_scr) *d++ = '\n';
  }
  *d = '\0';
}

int DbTerm_to_string(DbTerm* p, int n_known) {
  if (!p) return log_null_term(STDIO_ERR("DbTerm_to_string") "p == NULL\n", -1);
  if (n_known != -1 && n_known == load_change(p)) return -1;
  DbTerm_enter(p);
  build_string(p);
  int n = load_change(p);
  DbTerm_exit(p);
  return n;
}

int DbTerm_get_n_str(DbTerm* p) { return p ? p->n_str : 0; }

char* DbTerm_get_p_str(DbTerm* p) { return p ? p->p_str : nullptr; }
