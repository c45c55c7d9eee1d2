/*
** param.h - the loader's parameter file, "data\param.dat" below the program directory:
** 4 bytes, a signed 32-bit little-endian version number, written as 1; loading reads it
** back and accepts any value. The operations belong to the Root and go through the file
** streams on the process's default file system. No dialog or start-up step calls them.
*/
#ifndef ZENT_PARAM_H
#define ZENT_PARAM_H

#include "root.h"

/* Version number that Root_param_save writes. */
#define PARAM_VERSION 1

/* Saves / loads the parameter file at the Root's p_path_name_param. 1 when the 4 bytes
** were written (and reached the file) / read; 0 otherwise (after an error line) or for a
** NULL Root. The data directory is not created. */
int Root_save(Root* p);
int Root_load(Root* p);

/* The same on a given path. 1, or 0 (also for a NULL Root or path). No file stays open. */
int Root_param_save(Root* p, const char* p_path);
int Root_param_load(Root* p, const char* p_path);

/* Load and save without a step of their own: 1 for a Root, 0 for NULL. */
int Root_load_stub(Root* p);
int Root_save_stub(Root* p);

#endif
