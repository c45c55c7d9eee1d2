/*
** std_io.h - the process-wide log sink. Every module writes its log lines here; one output
** callback decides where they go, and until it is installed every line is dropped. The
** sink adds nothing: the "level - file - function: " prefix is part of each caller's
** literal, built with the STDIO_ERR / STDIO_WARN / STDIO_INFO macros below so that every
** line looks the same and __FILE__ is the repository-relative path of the caller.
*/
#ifndef ZENT_STD_IO_H
#define ZENT_STD_IO_H

/* Prefix of an error, warning or info line written by function fn. */
#define STDIO_ERR(fn) "error - " __FILE__ " - " fn ": "
#define STDIO_WARN(fn) "warning - " __FILE__ " - " fn ": "
#define STDIO_INFO(fn) "info - " __FILE__ " - " fn ": "

/* Capacity of the one format buffer of StdIo_printf; longer texts are cut to it. */
#define STDIO_N_BUF_PRINTF 8192

typedef int (*tyStdIo_cb_stdout)(void* p, const char* p_text);
typedef int (*tyStdIo_cb_stdin)(void* p);

/* Stores the output callback and its context; NULL removes the sink. Always 1. */
int StdIo_set_stdout(tyStdIo_cb_stdout cb, void* p);
tyStdIo_cb_stdout StdIo_get_cb_stdout(void);
void* StdIo_get_p_stdout(void);

/* Stores the input callback and its context. Always 1. */
int StdIo_set_stdin(tyStdIo_cb_stdin cb, void* p);
tyStdIo_cb_stdin StdIo_get_cb_stdin(void);
void* StdIo_get_p_stdin(void);

/* Hands the text to the output callback under the output lock. -1 with no sink or a NULL
** text, else the callback's result. A text logged from inside the callback is delivered
** too, but one logged from inside that nested call is dropped with -1, so a sink that logs
** on every call (a terminal given as NULL) ends instead of recursing. */
int StdIo_puts(const char* p_text);

/* Formats (printf rules) into the shared buffer, then StdIo_puts. -1 with no sink. */
int StdIo_printf(const char* p_format, ...) __attribute__((format(printf, 1, 2)));

/* Asks the input callback once. -1 with none, else its result. */
int StdIo_getc_nw(void);

/* Waits for a character (0 to 255); -1 at once with no input callback. */
int StdIo_getc(void);

#endif
