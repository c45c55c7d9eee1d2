/*
** db_term.h - the debug terminal: an in-memory text screen of nx_scr columns by ny_scr lines
** that receives the program's log (DbTerm_print has the shape of the log sink's callback).
** The screen is a ring of rows: a line feed on the bottom line only moves i_top, no text is
** moved. A change counter lets a reader (the Stdout window) skip unchanged screens; readers
** of the rows take DbTerm_enter / DbTerm_exit around their reading and must not log there.
*/
#ifndef ZENT_DB_TERM_H
#define ZENT_DB_TERM_H

#include "csp.h"

/* Capacity of the format buffer of DbTerm_printf; longer texts are cut to it. */
#define DBTERM_N_BUF_PRINTF 4096

typedef struct DbTerm {
  CspMutex* p_mutex;  // owned; guards every field below that changes
  char* p_scr;        // owned; ny_scr rows of n_stride bytes, each a NUL-terminated line
  int nx_scr;         // columns: characters a line can hold
  int ny_scr;         // lines of the screen
  int n_stride;       // nx_scr + 1, bytes of one row
  int x_cursor;       // column of the next character, 0 .. nx_scr
  int y_cursor;       // screen line of the cursor from the top, 0 .. ny_scr - 1
  int i_top;          // row of p_scr that holds screen line 0 (the oldest line)
  int n_change;       // change counter, never negative
  int n_str;          // size of p_str: (nx_scr + 1) * ny_scr
  char* p_str;        // owned; the whole screen as one text, built by DbTerm_to_string
} DbTerm;

/* A cleared terminal (counter 1), or NULL with one line per failed allocation. Sizes need
** nx_scr >= 0 and ny_scr >= 1; others are refused with a line. */
DbTerm* DbTerm_alloc(int nx_scr, int ny_scr);

/* Releases the terminal and all it owns; NULL does nothing. */
void DbTerm_free(DbTerm* p);

/* Empties every line, homes the cursor and advances the counter. 1, or 0 for NULL. */
int DbTerm_clear(DbTerm* p);

/* Puts the text on the screen (line feed starts a new line, everything else is stored as
** it is, cut at nx_scr) and advances the counter once. 1 taken, 0 for a NULL terminal or
** text (then nothing changes). */
int DbTerm_print(void* p_term, const char* p_src);

/* Formats into a 4096-byte buffer (a longer text is cut) and prints it. DbTerm_print's
** result; 0 for a NULL format. */
int DbTerm_printf(DbTerm* p, const char* p_format, ...) __attribute__((format(printf, 2, 3)));

/* Takes / releases the terminal's lock; the lock's result (1), 0 for NULL. */
int DbTerm_enter(DbTerm* p);
int DbTerm_exit(DbTerm* p);

/* Rebuilds p_str from the screen (top line first, a line feed between lines, so always
** ny_scr - 1 line feeds) unless n_known is not -1 and equals the counter. The counter when
** rebuilt, -1 when nothing changed or for NULL. */
int DbTerm_to_string(DbTerm* p, int n_known);

/* n_str and p_str (the text last built); 0 and NULL for NULL. */
int DbTerm_get_n_str(DbTerm* p);
char* DbTerm_get_p_str(DbTerm* p);

#endif
