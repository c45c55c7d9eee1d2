/*
** ms_rec_in.h - Motorola S-record files to and from record sets. The reader appends one
** data record per S1/S2/S3 record and one end record for the S7/S8/S9 record that ends the
** file; the writer puts a record set out with one address width per file, an S0 header
** "KVB", upper-case hexadecimal and CR LF line ends. Both go through the C library's
** buffered files (not the Fs interface), binary mode, so line ends are never translated.
*/
#ifndef ZENT_MS_REC_IN_H
#define ZENT_MS_REC_IN_H

#include "ms_rec.h"

/* Reads the S-record file p_filename and appends its records to p_rec_set, after what the
** set already holds. Tokens are separated by TAB, LF, CR or SPACE; types 0 and 5 are
** checked and skipped, 1/2/3 become MSREC_TAG_DATA records, 7/8/9 an MSREC_TAG_START
** record with the start address, and reading stops there. A byte 0xFF counts as the end of
** the file. Returns 1 when the end record was read and every record before it appended;
** 0 otherwise (one log line per failure, innermost first). Records appended before a
** failure stay in the set. Both arguments must be given. */
int MsRecIn_load_file(MsRecSet* p_rec_set, const char* p_filename);

/* Writes p_rec_set to the file p_filename (replaced when it exists): the S0 header, one
** line per record in set order (every record as data, whatever its tag; a record too long
** for one line is split into lines of at most 252, 251 or 250 bytes), then the end line
** with address 0. tag_value chooses the address width: 1 (S1/S9), 2 (S2/S8), 3 (S3/S7).
** Returns 1 when everything reached the file; 0 for a NULL set or name (no log line), a
** tag_value other than 1, 2 or 3 (nothing written), a file that does not open, or a
** failed write (the file is then incomplete). */
int MsRecIn_save_file(MsRecSet* p_rec_set, int tag_value, const char* p_filename);

#endif
