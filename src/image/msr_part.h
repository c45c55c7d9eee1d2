/*
** msr_part.h - coherent partitions. Joins the data records of a record set whose address
** ranges follow one another without a gap into partitions and appends one data record per
** partition to a second set, so that a download sends a few long pieces instead of many
** file lines. Records are never reordered across gaps, bridged, aligned or cut: a
** partition is exactly the bytes of the records it joins. The joining is a union-find
** forest over the records plus one chain per partition in address order.
*/
#ifndef ZENT_MSR_PART_H
#define ZENT_MSR_PART_H

#include "ms_rec.h"

#include <cstdint>

/* One data record of the source set, as a node of the union-find forest. */
typedef struct MsrNode {
  struct MsrNode* p_parent; /* parent in the forest; NULL for a root */
  uint32_t adr;             /* the record's address, copied at creation */
  int32_t len;              /* record's byte count; for a root, its partition's total */
  MsRec* p_rec;             /* the record the node stands for (borrowed) */
  struct MsrNode* p_next;   /* next node of the partition's chain, the one whose record
                               starts where this one's ends; NULL at the chain's end */
} MsrNode;

/* Appends to p_dst, after what it holds, one data record (MSREC_TAG_DATA) per coherent
** partition of the data records of p_src, in the p_src order of each partition's root
** (its lowest record); records of other tags are passed over and p_src is not changed. Every record
** joins at most one later record: the first in set order, not yet in its partition, that
** starts where it ends or ends where it starts. Writes "totally %d bytes to be
** transferred\n". Returns 1 on success; 0 after an error line (NULL set, no memory, or a
** partition whose chain does not cover its bytes, as with two records at one address);
** partitions appended before a failure stay in p_dst. */
int MsrPart_create_coherent_partitions(MsRecSet* p_dst, MsRecSet* p_src);

#endif
