/*
** strx.h - functions on zero-terminated 8-bit strings that accept NULL where the standard
** library would fault, measure and compare with trailing blanks (0x20 only) ignored, and
** copy with or without a bound. Copies go through mem_cpy, which handles overlap, so a
** string may be trimmed in place. Only strx_cpy_n knows the room in its destination.
*/
#ifndef ZENT_STRX_H
#define ZENT_STRX_H

/* Number of characters; 0 for NULL. */
int strx_len(const char* p);

/* Characters up to and including the last one that is not a blank; 0 for NULL, an empty or
** an all-blank string. */
int strx_len_trim(const char* p);

/* New heap copy (release with strx_free); NULL for NULL or when memory runs out (no line). */
char* strx_dup(const char* p);

/* Releases a copy made by strx_dup; NULL is accepted. Always 1. */
int strx_free(char* p);

/* Copies p_src with its terminator. Returns p_dst; a NULL pointer copies nothing and logs
** one line. The caller guarantees the room. */
char* strx_cpy(char* p_dst, const char* p_src);

/* Bounded copy into n_dst bytes: at most n_dst - 2 characters and a terminator (n_dst 1
** gives an empty string). Returns p_dst; NULL pointers or n_dst < 1 write nothing. */
char* strx_cpy_n(int n_dst, char* p_dst, const char* p_src);

/* Appends the whole of p_src behind p_dst (strx_cat_n, whose name its log lines carry). */
char* strx_cat(char* p_dst, const char* p_src);

/* Appends at most n characters of p_src and a terminator. Returns p_dst; a NULL pointer
** appends nothing and logs one line; a negative n appends nothing. */
char* strx_cat_n(char* p_dst, const char* p_src, int n);

/* 1 when equal in every character and in length, else 0; 0 when either is NULL. */
int strx_is_equal(const char* a, const char* b);

/* The same test as strx_is_equal. */
int strx_is_same(const char* a, const char* b);

/* 1 when equal once trailing blanks are dropped from both (leading blanks count); 0 when
** either is NULL. */
int strx_is_equal_trim(const char* a, const char* b);

/* As strx_is_equal_trim, letters compared without regard to case. */
int strx_is_equal_trim_nocase(const char* a, const char* b);

/* Copies p_src without its trailing blanks. Returns p_dst; NULL pointers write nothing. */
char* strx_cpy_trim_right(char* p_dst, const char* p_src);

/* Copies p_src without leading and trailing blanks. Returns p_dst; NULL writes nothing. */
char* strx_cpy_trim(char* p_dst, const char* p_src);

#endif
