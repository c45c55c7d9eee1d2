/*
** us.h - Us, the library's container: an ordered sequence of element pointers that owns
** its elements and touches them only through the callbacks given at creation (copy, free,
** compare). The table of pointers, the carrier, grows one page of 16 slots at a time and
** shrinks only when more than one spare page would be left, so appending runs without a
** reallocation on 15 of 16 inserts. Record sets and node sets are Us containers.
*/
#ifndef ZENT_US_H
#define ZENT_US_H

#include <cstdint>

/* Slots per carrier page. */
#define US_N_PAGE 16

/* Makes a new element equal to po; NULL on failure. */
typedef void* (*tyUs_cb_copy)(void* po);
/* Releases one element. */
typedef void (*tyUs_cb_free)(void* po);
/* Kept and inherited by copies; nothing calls them. */
typedef int (*tyUs_cb_reserved)(void* po);
/* Orders two elements (the element pointers): below 0, 0 or above 0. */
typedef int (*tyUs_cb_compare)(void* po_1, void* po_2);

typedef struct Us {
  int32_t n_tab;                  // number of elements, in slots 0 .. n_tab - 1
  int32_t m_tab;                  // carrier slots, a multiple of 16; 0 before the first insert
  void** p_tab;                   // the carrier, owned; NULL before the first insert
  tyUs_cb_copy cb_copy;           // copy of one element (copy inserts, range copies)
  tyUs_cb_free cb_free;           // release of one element (delete, clear, free)
  tyUs_cb_reserved cb_reserved_1; // stored only; default Us_default_reserved_1
  tyUs_cb_reserved cb_reserved_2; // stored only; default Us_default_reserved_2
  tyUs_cb_compare cb_compare;     // order for Us_sort; default Us_default_compare
} Us;

/* Defaults put in by Us_alloc for NULL: -1, 0, and -1 for every pair. */
int Us_default_reserved_1(void* po);
int Us_default_reserved_2(void* po);
int Us_default_compare(void* po_1, void* po_2);

/* New empty container (no carrier yet) with the callbacks; defaults for NULL in the last
** three. NULL with the line "p == NULL" when the allocation fails. */
Us* Us_alloc(tyUs_cb_copy cb_copy, tyUs_cb_free cb_free, tyUs_cb_reserved cb_reserved_1,
             tyUs_cb_reserved cb_reserved_2, tyUs_cb_compare cb_compare);

/* New empty container with the five callbacks of p_base as stored there. NULL for a NULL
** p_base ("p_base == NULL") or a failed allocation. */
Us* Us_alloc_inherit(const Us* p_base);

/* Releases every element (position order), the carrier and the container. 1, also for
** NULL. */
int Us_free(Us* p);

/* Releases every element and empties p; a carrier of more than one page shrinks to one.
** Returns p; NULL does nothing. */
Us* Us_clear(Us* p);

/* Element count; 0 for NULL. */
int32_t Us_get_n_elem(const Us* p);

/* 1 when the count is 0 (also for NULL), else 0. */
int Us_is_empty(const Us* p);

/* Element at idx; NULL (silently) when idx is outside 0 .. n_tab - 1, NULL with a line for
** a NULL container. */
void* Us_idx_to_ptr(const Us* p, int32_t idx);

/* Position of the first element that is the very pointer po; -1 when none. */
int32_t Us_ptr_to_idx(const Us* p, const void* po);

/* Inserts po at idx (0 .. n_tab); the elements from idx on move up. Returns idx and the
** container owns po; -1 on failure, p unchanged and po still the caller's. */
int32_t Us_infix_ptr(Us* p, void* po, int32_t idx);
int32_t Us_prefix_ptr(Us* p, void* po);
int32_t Us_postfix_ptr(Us* p, void* po);

/* Inserts a copy of po made by cb_copy at idx; po stays the caller's. Returns idx, or -1
** with nothing changed and the copy released. */
int32_t Us_infix_copy(Us* p, void* po, int32_t idx);
int32_t Us_prefix_copy(Us* p, void* po);
int32_t Us_postfix_copy(Us* p, void* po);

/* Removes the element at idx and releases it with cb_free. 1, or 0 for a bad argument. 0
** also when the carrier cannot shrink: the element is removed and released all the same. */
int Us_del_idx(Us* p, int32_t idx);

/* Deep copy of the whole container; NULL on any failure. */
Us* Us_copy(const Us* p);

/* New container with p's callbacks holding copies of elements idx .. idx + n - 1 (n = -1:
** to the last element; n = 0 or another negative n: none). NULL on any failure, including
** a position past the end; nothing is left allocated then. */
Us* Us_copy_n_elem_from_idx(const Us* p, int32_t idx, int32_t n);

/* Appends copies of elements idx .. idx + n - 1 of p_src to p (n = -1: to the last
** element, fixed before the first append, so p_src may be p). 1, or 0; copies appended
** before a failure stay in p. */
int Us_postfix_n_elem_from_idx(Us* p, const Us* p_src, int32_t idx, int32_t n);

/* Sorts the elements with cb_compare (not stable). 1, or 0 for NULL. */
int Us_sort(Us* p);

/* Public operations without a body: -1, nothing done. */
int Us_unimplemented_1(void);
int Us_unimplemented_2(void);

#endif
