/*
** msr_load.h - the S-record download: puts a Motorola S-record file into the unit's RAM
** over an RMC master that the caller has set up and connected, and can then make the unit
** jump to an address. The file's records are joined into coherent partitions first, so
** short file lines do not turn into short requests; each partition goes out in write-to-RAM
** requests (0x13) of at most 256 bytes. The tool's own download does not use it.
*/
#ifndef ZENT_MSR_LOAD_H
#define ZENT_MSR_LOAD_H

#include "rmc.h"

#include <cstdint>

/* Bytes of partition data in one write-to-RAM request. */
#define MSRLOAD_N_CHUNK 256

/* With a file name (not NULL, not empty): reads the file, joins its records into coherent
** partitions and writes every partition, in order, to the unit's RAM at its address. Then,
** with adr_jump not 0, asks the unit to jump there (0x12). Returns 1 when every step asked
** for succeeded; 0 at the first failure (one error line; no later partition is sent and
** there is no jump; what was written stays written). Opens no port and sets no time-out:
** the RMC master's own apply. Progress goes to the log as plain lines. */
int MsrLoad_send_file_and_jump(Rmc* p_rmc, const char* p_filename, uint32_t adr_jump);

#endif
