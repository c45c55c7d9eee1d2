/*
** oss.cpp - the program directory service. The command line's first token is the program
** path (in double quotes when it holds a blank); GetFullPathNameA makes it absolute and
** reports where the file name starts, and the separator in front of it becomes the end of
** the directory. Only the blank 0x20 separates tokens. No state; safe on any thread. The
** error lines of the five failures end without a line feed, as they always have.
*/
#include "oss.h"

#include "mem_rt.h"
#include "std_io.h"
#include "strx.h"
#include "win32_handle.h"
#include "win32_process.h"

namespace {

enum ParseState { BEFORE_TOKEN, IN_QUOTED, IN_PLAIN };

/* Finds the first token of p_cmd_line: its start index and length go to *i_start and
** *n_len in every case. 1 when a token was found, -1 for an empty or all-blank line or an
** opening double quote that is never closed. */
int parse_cmd_line(const char* p_cmd_line, int* i_start, int* n_len) {
  ParseState state = BEFORE_TOKEN;
  int start = 0, len = 0, result = -1;
  for (int i = 0;; i++) {
    char c = p_cmd_line[i];
    if (state == BEFORE_TOKEN) {
      if (c == '\0') break;
      if (c == ' ') continue;
      if (c == '"') {
        start = i + 1;
        state = IN_QUOTED;
      } else {
        start = i;
        len = 1;
        state = IN_PLAIN;
      }
    } else if (state == IN_QUOTED) {
      if (c == '\0') break;
      if (c == '"') {
        result = 1;
        break;
      }
      len++;
    } else {
      if (c == '\0' || c == ' ') {
        result = 1;
        break;
      }
      len++;
    }
  }
  *i_start = start;
  *n_len = len;
  return result;
}

}  // namespace

int Oss_get_path_program(int n_dst, char* p_dst) {
  if (p_dst == nullptr) {
    StdIo_puts(STDIO_ERR("Oss_get_path_program") "p_dst == NULL\n");
    return -1;
  }
  const char* p_cmd_line = GetCommandLineA();
  if (p_cmd_line == nullptr) {
    StdIo_puts(STDIO_ERR("Oss_get_path_program") "p_cmd_line == NULL");
    return -1;
  }
  int i_start = 0, n_path = 0;
  if (parse_cmd_line(p_cmd_line, &i_start, &n_path) != 1) {
    StdIo_puts(STDIO_ERR("Oss_get_path_program") "parse_cmd_line failed");
    return -1;
  }
  if (n_path >= n_dst) {
    StdIo_printf(STDIO_ERR("Oss_get_path_program") "n_path >= n_dst (n_path=%d, n_dst=%d)", n_path,
                 n_dst);
    return -1;
  }
  mem_cpy(p_dst, p_cmd_line + i_start, (size_t)n_path);
  p_dst[n_path] = '\0';

  char* p_filename = nullptr;
  if (GetFullPathNameA(p_dst, (DWORD)n_dst, p_dst, &p_filename) == 0) {
    DWORD last_error = GetLastError();
    StdIo_printf(STDIO_ERR("Oss_get_path_program") "GetFullPathName failed (last_error=%08x,%d",
                 (unsigned)last_error, (int)last_error);
    return -1;
  }
  int i_filename = p_filename ? (int)(p_filename - p_dst) : 0;
  if (i_filename <= 0) {
    StdIo_puts(STDIO_ERR("Oss_get_path_program") "i_filename <= 0");
    return -1;
  }
  p_dst[i_filename - 1] = '\0';
  return strx_len(p_dst);
}
