/*
** oss.h - operating-system services: the directory of the running program. The loader
** keeps its data below that directory, so it is found from the first token of the
** process's command line (the program path), made absolute, with the file name cut off.
*/
#ifndef ZENT_OSS_H
#define ZENT_OSS_H

/* Writes the program's directory into p_dst (n_dst bytes): an absolute path without a
** final separator, zero-terminated. Result: its length in characters (0 for a program in
** the root directory, whose directory is written as ""), or -1 after one error line when
** the command line has no first token, the token needs n_dst bytes or more, the path
** cannot be made absolute or does not fit, or it names no file. After -1 the contents of
** p_dst are undefined. */
int Oss_get_path_program(int n_dst, char* p_dst);

#endif
