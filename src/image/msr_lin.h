/*
** msr_lin.h - MsrLin, a linear image set: the flat form of a firmware image, a table of
** partitions (target start address and byte count) whose bytes lie back to back in one
** heap, in table order (which need not be address order). The embedded image sets are
** wrapped with MsrLin_init_val and borrow their tables; a set made by MsrLin_alloc or built
** from a record set owns its four tables and its heap.
*/
#ifndef ZENT_MSR_LIN_H
#define ZENT_MSR_LIN_H

#include "ms_rec.h"

#include <cstdint>

typedef struct MsrLin {
  int n_set;                // number of partitions
  uint32_t* p_set_a_bytes;  // target start address of each partition
  uint32_t* p_set_n_bytes;  // byte count of each partition
  uint32_t* p_set_i_bytes;  // heap offset of each partition; NULL in the embedded sets
  uint8_t** p_set_p_bytes;  // start of each partition's bytes, inside the heap
  int n_heap;               // heap size in bytes: the sum of the byte counts
  uint8_t* p_heap;          // the partitions' bytes
} MsrLin;

/* Stores the seven values into caller storage as they come, with no checks; the set
** borrows the tables, which it never writes. p, or NULL for a NULL p. */
MsrLin* MsrLin_init_val(MsrLin* p, int n_set, const uint32_t* p_set_a_bytes,
                        const uint32_t* p_set_n_bytes, const uint32_t* p_set_i_bytes,
                        const uint8_t* const* p_set_p_bytes, int n_heap, const uint8_t* p_heap);

/* New set owning four tables of n_set entries and a heap of n_heap bytes, none of them
** initialised. NULL on failure (also for a negative count), nothing left allocated, one
** error line per failed buffer. Release with MsrLin_free. */
MsrLin* MsrLin_alloc(int n_set, int n_heap);

/* New set from the data records of p_rec_set, in record order, bytes copied into its own
** heap. An empty record set gives an empty set; NULL for a NULL set or on failure. */
MsrLin* MsrLin_alloc_from_msrec_set(const MsRecSet* p_rec_set);

/* Number of data records (tag MSREC_TAG_DATA); 0 for NULL. */
int MsrLin_count_sets(const MsRecSet* p_rec_set);

/* Sum of the byte counts of the data records; 0 for NULL, -1 when the sum does not fit
** an int (no heap can be made for it). */
int MsrLin_count_heap(const MsRecSet* p_rec_set);

/* Frees the tables that are present, the heap and the set of MsrLin_alloc. 1, also for
** NULL. Never for a set of MsrLin_init_val. */
int MsrLin_free(MsrLin* p);

/* Fields; 0 or NULL for a NULL set. */
int MsrLin_get_n_set(const MsrLin* p);
const uint32_t* MsrLin_get_p_set_a_bytes(const MsrLin* p);
const uint32_t* MsrLin_get_p_set_n_bytes(const MsrLin* p);
const uint32_t* MsrLin_get_p_set_i_bytes(const MsrLin* p);
const uint8_t* const* MsrLin_get_p_set_p_bytes(const MsrLin* p);
int MsrLin_get_n_heap(const MsrLin* p);
const uint8_t* MsrLin_get_p_heap(const MsrLin* p);

#endif
