/*
** msr_lin.cpp - linear image sets. The tables of a borrowed set are held through the same
** non-const fields as those of an owned one; only the builder from a record set writes
** them, and only into tables it allocated itself.
*/
#include "msr_lin.h"

#include "alloc_seam.h"
#include "std_io.h"

#include <climits>
#include <cstdlib>
#include <cstring>

MsrLin* MsrLin_init_val(MsrLin* p, int n_set, const uint32_t* p_set_a_bytes,
                        const uint32_t* p_set_n_bytes, const uint32_t* p_set_i_bytes,
                        const uint8_t* const* p_set_p_bytes, int n_heap, const uint8_t* p_heap) {
  if (!p) return nullptr;
  p->n_set = n_set;
  p->p_set_a_bytes = const_cast<uint32_t*>(p_set_a_bytes);
  p->p_set_n_bytes = const_cast<uint32_t*>(p_set_n_bytes);
  p->p_set_i_bytes = const_cast<uint32_t*>(p_set_i_bytes);
  p->p_set_p_bytes = const_cast<uint8_t**>(p_set_p_bytes);
  p->n_heap = n_heap;
  p->p_heap = const_cast<uint8_t*>(p_heap);
  return p;
}

/* n elements of size each, at least one byte so that an empty table is not a failure;
** NULL for a negative n. */
static void* alloc_table(int n, size_t size) {
  if (n < 0) return nullptr;
  return AllocSeam_malloc(n > 0 ? (size_t)n * size : 1);
}

/* Allocates the four tables of p, each attempted; 0 when any failed. */
static int alloc_tables(MsrLin* p, int n_set) {
  p->p_set_a_bytes = (uint32_t*)alloc_table(n_set, sizeof(*p->p_set_a_bytes));
  if (!p->p_set_a_bytes)
    StdIo_puts(STDIO_ERR("MsrLin_alloc")
               "p -> p_set_a_bytes = __ALLOC (n_set * sizeof (* p -> p_set_a_bytes)))");
  p->p_set_n_bytes = (uint32_t*)alloc_table(n_set, sizeof(*p->p_set_n_bytes));
  if (!p->p_set_n_bytes)
    StdIo_puts(STDIO_ERR("MsrLin_alloc")
               "p -> p_set_n_bytes = __ALLOC (n_set * sizeof (* p -> p_set_n_bytes)))");
  p->p_set_i_bytes = (uint32_t*)alloc_table(n_set, sizeof(*p->p_set_i_bytes));
  if (!p->p_set_i_bytes)
    StdIo_puts(STDIO_ERR("MsrLin_alloc")
               "p -> p_set_i_bytes = __ALLOC (n_set * sizeof (* p -> p_set_i_bytes)))");
  p->p_set_p_bytes = (uint8_t**)alloc_table(n_set, sizeof(*p->p_set_p_bytes));
  if (!p->p_set_p_bytes)
    StdIo_puts(STDIO_ERR("MsrLin_alloc")
               "p -> p_set_p_bytes = __ALLOC (n_set * sizeof (* p -> p_set_p_bytes)))");
  return p->p_set_a_bytes && p->p_set_n_bytes && p->p_set_i_bytes && p->p_set_p_bytes;
}

MsrLin* MsrLin_alloc(int n_set, int n_heap) {
  MsrLin* p = (MsrLin*)AllocSeam_malloc(sizeof(*p));
  if (!p) return nullptr;
  p->n_set = n_set;
  int is_ok = alloc_tables(p, n_set);
  p->n_heap = n_heap;
  p->p_heap = (uint8_t*)alloc_table(n_heap, sizeof(*p->p_heap));
  if (!p->p_heap) {
    StdIo_puts(STDIO_ERR("MsrLin_alloc")
               "p -> p_heap = __ALLOC (n_heap * sizeof (* p -> p_heap)))");
    is_ok = 0;
  }
  if (!is_ok) {
    MsrLin_free(p);
    return nullptr;
  }
  return p;
}

int MsrLin_count_sets(const MsRecSet* p_rec_set) {
  int n = 0;
  int32_t n_rec = Us_get_n_elem(p_rec_set);
  for (int32_t i = 0; i < n_rec; i++) {
    if (MsRec_get_tag(MsRecSet_idx_to_ptr(p_rec_set, i)) == MSREC_TAG_DATA) n++;
  }
  return n;
}

int MsrLin_count_heap(const MsRecSet* p_rec_set) {
  int64_t n = 0;
  int32_t n_rec = Us_get_n_elem(p_rec_set);
  for (int32_t i = 0; i < n_rec; i++) {
    MsRec* r = MsRecSet_idx_to_ptr(p_rec_set, i);
    if (MsRec_get_tag(r) == MSREC_TAG_DATA) n += MsRec_get_n_bytes(r);
    if (n > INT_MAX) return -1;
  }
  return (int)n;
}

/* Fills the next entry k of p from the data record r at heap offset i_heap. */
static void put_partition(MsrLin* p, int k, const MsRec* r, uint32_t i_heap) {
  p->p_set_a_bytes[k] = MsRec_get_adr(r);
  p->p_set_n_bytes[k] = MsRec_get_n_bytes(r);
  p->p_set_i_bytes[k] = i_heap;
  p->p_set_p_bytes[k] = p->p_heap + i_heap;
  uint32_t n = MsRec_get_n_bytes(r);
  if (n > 0) memcpy(p->p_heap + i_heap, MsRec_get_p_bytes(r), n);
}

MsrLin* MsrLin_alloc_from_msrec_set(const MsRecSet* p_rec_set) {
  if (!p_rec_set) return nullptr;
  MsrLin* p = MsrLin_alloc(MsrLin_count_sets(p_rec_set), MsrLin_count_heap(p_rec_set));
  if (!p) return nullptr;
  int k = 0;
  uint32_t i_heap = 0;
  int32_t n_rec = Us_get_n_elem(p_rec_set);
  for (int32_t i = 0; i < n_rec; i++) {
    MsRec* r = MsRecSet_idx_to_ptr(p_rec_set, i);
    if (MsRec_get_tag(r) != MSREC_TAG_DATA) continue;
    put_partition(p, k++, r, i_heap);
    i_heap += MsRec_get_n_bytes(r);
  }
  return p;
}

int MsrLin_free(MsrLin* p) {
  if (!p) return 1;
  free(p->p_set_a_bytes);
  free(p->p_set_n_bytes);
  free(p->p_set_i_bytes);
  free(p->p_set_p_bytes);
  free(p->p_heap);
  free(p);
  return 1;
}

int MsrLin_get_n_set(const MsrLin* p) { return p ? p->n_set : 0; }

const uint32_t* MsrLin_get_p_set_a_bytes(const MsrLin* p) { return p ? p->p_set_a_bytes : nullptr; }

const uint32_t* MsrLin_get_p_set_n_bytes(const MsrLin* p) { return p ? p->p_set_n_bytes : nullptr; }

const uint32_t* MsrLin_get_p_set_i_bytes(const MsrLin* p) { return p ? p->p_set_i_bytes : nullptr; }

const uint8_t* const* MsrLin_get_p_set_p_bytes(const MsrLin* p) {
  return p ? p->p_set_p_bytes : nullptr;
}

int MsrLin_get_n_heap(const MsrLin* p) { return p ? p->n_heap : 0; }

const uint8_t* MsrLin_get_p_heap(const MsrLin* p) { return p ? p->p_heap : nullptr; }
