/*
** ms_rec.h - memory records and record sets. A record (MsRec) is one contiguous piece of
** target memory contents: an address and the bytes that start there, or the start address
** that ends a file. A record set (MsRecSet) is a Us container of records that owns them and
** keeps them in the order they were appended. This module alone allocates, copies and
** frees records; every record owns a byte buffer of max(1, n_bytes) bytes.
*/
#ifndef ZENT_MS_REC_H
#define ZENT_MS_REC_H

#include "us.h"

#include <cstdint>

#define MSREC_TAG_DATA 10   // a data record
#define MSREC_TAG_START 11  // an end record: the start address, no bytes

typedef struct MsRec {
  uint32_t tag;      // kind of record; any value can be stored
  uint32_t adr;      // target address of the first byte; the start address of an end record
  uint32_t n_bytes;  // number of data bytes; 0 for an end record
  uint8_t* p_bytes;  // own buffer of max(1, n_bytes) bytes, never NULL while the record exists
} MsRec;

/* A record set is a Us of MsRec pointers with copy MsRec_alloc_copy and free MsRec_free;
** its count is Us_get_n_elem, and Us_free releases it with its records. */
typedef Us MsRecSet;

/* New record with a buffer of max(1, n_bytes) bytes, filled from p_src when given (else
** left for the caller to fill). NULL on failure, nothing left allocated; a failed buffer
** allocation writes one error line. */
MsRec* MsRec_alloc_val(uint32_t tag, uint32_t adr, uint32_t n_bytes, const uint8_t* p_src);

/* Deep copy; NULL for NULL or on failure. */
MsRec* MsRec_alloc_copy(const MsRec* p);

/* Releases the buffer and the record; NULL does nothing. */
void MsRec_free(MsRec* p);

/* Fields; 0 or NULL for a NULL record. */
uint32_t MsRec_get_tag(const MsRec* p);
uint32_t MsRec_get_adr(const MsRec* p);
uint32_t MsRec_get_n_bytes(const MsRec* p);
uint8_t* MsRec_get_p_bytes(const MsRec* p);

/* New empty record set; NULL on failure. Release with Us_free. */
MsRecSet* MsRecSet_alloc(void);

/* Record at idx; NULL outside 0 .. count - 1. */
MsRec* MsRecSet_idx_to_ptr(const MsRecSet* p_set, int32_t idx);

/* Makes a record from the values and appends it (the set owns it). Its index, or -1 with
** nothing allocated (NULL set) or the new record released again (failed append). */
int32_t MsRecSet_postfix_val(MsRecSet* p_set, uint32_t tag, uint32_t adr, uint32_t n_bytes,
                             const uint8_t* p_src);

/* Appends a deep copy of p_rec; the caller keeps its own record. Index, or -1. */
int32_t MsRecSet_postfix_copy(MsRecSet* p_set, const MsRec* p_rec);

/* Appends to p_dst a copy of every record of p_src whose tag is tag, in source order. The
** number of records appended (failed appends are skipped), or -1 for a NULL set. */
int32_t MsRecSet_postfix_copy_tag(MsRecSet* p_dst, const MsRecSet* p_src, uint32_t tag);

/* Deletes (and frees) every record whose tag is not among the first n_tags of p_tags, last
** record first, with one plain line per deleted record. 1, or 0 for a NULL set or list. */
int MsRecSet_del_tags_not_in_list(MsRecSet* p_set, int n_tags, const uint32_t* p_tags);

#endif
