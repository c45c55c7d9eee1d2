/*
** us.cpp - the pointer container. Every change of the element count goes through
** adjust_carrier, which keeps the carrier between the pages the elements need and one
** spare page more; reallocation builds a new table and copies the pointers, so a failed
** reallocation leaves the old carrier in place and the container unchanged. Its log lines
** end without a line feed, as they always have: each runs on into the next line of the log.
*/
#include "us.h"

#include "alloc_seam.h"
#include "std_io.h"

#include <cstdlib>
#include <cstring>
#include <malloc.h>

int Us_default_reserved_1(void*) { return -1; }

int Us_default_reserved_2(void*) { return 0; }

int Us_default_compare(void*, void*) { return -1; }

/* Pages that s slots need. */
static int64_t size_to_k_pages(int64_t s) { return (s + US_N_PAGE - 1) / US_N_PAGE; }

/* Slots that k pages hold. */
static int64_t k_pages_to_size(int64_t k) { return k * US_N_PAGE; }

/* Replaces the carrier by one of k pages holding the same pointers. 1, or 0 with the old
** carrier kept. */
static int realloc_carrier(Us* p, int64_t k) {
  int64_t m_new = k_pages_to_size(k);
  /* A long carrier takes twice the room it needs when it grows, and later pages that fit
  ** that room cost no copy: appending n elements copies the pointers O(log n) times, not
  ** n / 16 times (a 200000-line S-record file). m_tab still counts pages as before. */
  if (m_new > p->m_tab && p->p_tab != nullptr &&
      malloc_usable_size(p->p_tab) >= (size_t)m_new * sizeof(void*)) {
    p->m_tab = (int32_t)m_new;
    return 1;
  }
  int64_t m_room = (m_new > p->m_tab && m_new >= 1024 && 2 * m_new <= INT32_MAX) ? 2 * m_new
                                                                                  : m_new;
  void** p_tab_new = m_new > INT32_MAX ? nullptr
                                       : (void**)AllocSeam_malloc((size_t)m_room * sizeof(void*));
  if (!p_tab_new) {
    StdIo_printf(STDIO_ERR("__realloc_carrier") "p_tab_new == NULL (__k_pages_new = %d)",
                 (int)k);
    return 0;
  }
  if (p->n_tab > 0) memcpy(p_tab_new, p->p_tab, (size_t)p->n_tab * sizeof(void*));
  free(p->p_tab);
  p->p_tab = p_tab_new;
  p->m_tab = (int32_t)m_new;
  return 1;
}

/* Fits the carrier to size_new elements: grows to the pages needed, shrinks only when more
** than one spare page would remain, and then to exactly one spare page. 1, or 0. */
static int adjust_carrier(Us* p, int64_t size_new) {
  if (size_new < p->n_tab) {
    StdIo_printf(STDIO_INFO("__adjust_carrier") "modifying size_new ! (size_new=%d,n_tab=%d)",
                 (int)size_new, (int)p->n_tab);
    size_new = p->n_tab;
  }
  int64_t k_cur = size_to_k_pages(p->m_tab);
  int64_t k_new = size_to_k_pages(size_new);
  if (k_cur < k_new) return realloc_carrier(p, k_new);
  if (k_cur > k_new + 1) return realloc_carrier(p, k_new + 1);
  return 1;
}

/* Releases the elements in position order; the count stays for the caller to reset. */
static void free_elements(Us* p) {
  for (int32_t i = 0; i < p->n_tab; i++) {
    if (p->cb_free) p->cb_free(p->p_tab[i]);
  }
}

Us* Us_alloc(tyUs_cb_copy cb_copy, tyUs_cb_free cb_free, tyUs_cb_reserved cb_reserved_1,
             tyUs_cb_reserved cb_reserved_2, tyUs_cb_compare cb_compare) {
  Us* p = (Us*)AllocSeam_malloc(sizeof(*p));
  if (!p) {
    StdIo_puts(STDIO_ERR("Us_alloc") "p == NULL");
    return nullptr;
  }
  p->n_tab = 0;
  p->m_tab = 0;
  p->p_tab = nullptr;
  p->cb_copy = cb_copy;
  p->cb_free = cb_free;
  p->cb_reserved_1 = cb_reserved_1 ? cb_reserved_1 : Us_default_reserved_1;
  p->cb_reserved_2 = cb_reserved_2 ? cb_reserved_2 : Us_default_reserved_2;
  p->cb_compare = cb_compare ? cb_compare : Us_default_compare;
  return p;
}

Us* Us_alloc_inherit(const Us* p_base) {
  if (!p_base) {
    StdIo_puts(STDIO_ERR("Us_alloc_inherit") "p_base == NULL");
    return nullptr;
  }
  Us* p = Us_alloc(p_base->cb_copy, p_base->cb_free, nullptr, nullptr, nullptr);
  if (!p) return nullptr;
  p->cb_reserved_1 = p_base->cb_reserved_1;
  p->cb_reserved_2 = p_base->cb_reserved_2;
  p->cb_compare = p_base->cb_compare;
  return p;
}

int Us_free(Us* p) {
  if (!p) return 1;
  free_elements(p);
  free(p->p_tab);
  free(p);
  return 1;
}

Us* Us_clear(Us* p) {
  if (!p) return nullptr;
  free_elements(p);
  p->n_tab = 0;
  adjust_carrier(p, 0);
  return p;
}

int32_t Us_get_n_elem(const Us* p) { return p ? p->n_tab : 0; }

int Us_is_empty(const Us* p) { return Us_get_n_elem(p) == 0 ? 1 : 0; }

void* Us_idx_to_ptr(const Us* p, int32_t idx) {
  if (!p) {
    StdIo_puts(STDIO_ERR("Us_idx_to_ptr") "p == NULL");
    return nullptr;
  }
  if (idx < 0 || idx >= p->n_tab) return nullptr;
  return p->p_tab[idx];
}

int32_t Us_ptr_to_idx(const Us* p, const void* po) {
  if (!p) {
    StdIo_puts(STDIO_ERR("Us_ptr_to_idx") "p == NULL");
    return -1;
  }
  for (int32_t i = 0; i < p->n_tab; i++) {
    if (p->p_tab[i] == po) return i;
  }
  return -1;
}

int32_t Us_infix_ptr(Us* p, void* po, int32_t idx) {
  if (!p) {
    StdIo_puts(STDIO_ERR("Us_infix_ptr") "p == NULL");
    return -1;
  }
  if (!po) {
    StdIo_puts(STDIO_ERR("Us_infix_ptr") "po == NULL");
    return -1;
  }
  if (idx < 0 || idx > p->n_tab) {
    StdIo_printf(STDIO_ERR("Us_infix_ptr") "idx=%d out of range, valid range is [0..%d]",
                 (int)idx, (int)p->n_tab);
    return -1;
  }
  if (!adjust_carrier(p, (int64_t)p->n_tab + 1)) {
    StdIo_puts(STDIO_ERR("Us_infix_ptr") "__adjust_carrier failed");
    return -1;
  }
  memmove(&p->p_tab[idx + 1], &p->p_tab[idx], (size_t)(p->n_tab - idx) * sizeof(void*));
  p->p_tab[idx] = po;
  p->n_tab++;
  return idx;
}

int32_t Us_prefix_ptr(Us* p, void* po) { return Us_infix_ptr(p, po, 0); }

int32_t Us_postfix_ptr(Us* p, void* po) { return Us_infix_ptr(p, po, p ? p->n_tab : 0); }

int32_t Us_infix_copy(Us* p, void* po, int32_t idx) {
  // A NULL container would have no copy callback to call: refuse before copying.
  if (!p) {
    StdIo_puts(STDIO_ERR("Us_infix_copy") "p == NULL");
    return -1;
  }
  void* po_new = p->cb_copy ? p->cb_copy(po) : nullptr;
  if (!po_new) {
    StdIo_puts(STDIO_ERR("Us_infix_copy") "po_new == NULL");
    return -1;
  }
  int32_t rc = Us_infix_ptr(p, po_new, idx);
  if (rc == -1) {
    StdIo_puts(STDIO_ERR("Us_infix_copy") "Us_infix_ptr failed");
    if (p->cb_free) p->cb_free(po_new);
  }
  return rc;
}

int32_t Us_prefix_copy(Us* p, void* po) { return Us_infix_copy(p, po, 0); }

int32_t Us_postfix_copy(Us* p, void* po) { return Us_infix_copy(p, po, p ? p->n_tab : 0); }

int Us_del_idx(Us* p, int32_t idx) {
  if (!p) {
    StdIo_puts(STDIO_ERR("Us_del_idx") "p == NULL");
    return 0;
  }
  if (idx < 0 || idx >= p->n_tab) {
    StdIo_printf(STDIO_ERR("Us_del_idx") "idx=%d out of range, valid range is [0..%d]",
                 (int)idx, (int)(p->n_tab - 1));
    return 0;
  }
  void* po = p->p_tab[idx];
  memmove(&p->p_tab[idx], &p->p_tab[idx + 1], (size_t)(p->n_tab - idx - 1) * sizeof(void*));
  p->n_tab--;
  if (p->cb_free) p->cb_free(po);
  if (!adjust_carrier(p, p->n_tab)) {
    StdIo_puts(STDIO_ERR("Us_del_idx") "__adjust_carrier failed");
    return 0;
  }
  return 1;
}

Us* Us_copy(const Us* p) { return Us_copy_n_elem_from_idx(p, 0, -1); }

/* Last position of the range idx, n over a container of n_tab elements (n = -1: to the
** end). 64-bit, so that no idx + n can overflow. */
static int64_t range_last(int32_t n_tab, int32_t idx, int32_t n) {
  return n == -1 ? (int64_t)n_tab - 1 : (int64_t)idx + n - 1;
}

Us* Us_copy_n_elem_from_idx(const Us* p, int32_t idx, int32_t n) {
  Us* p_new = Us_alloc_inherit(p);
  if (!p_new) {
    StdIo_puts(STDIO_ERR("Us_copy_n_elem_from_idx") "pUs_new == NULL");
    return nullptr;
  }
  int64_t last = range_last(p->n_tab, idx, n);
  for (int64_t i = idx; i <= last; i++) {
    void* p_src = i > INT32_MAX ? nullptr : Us_idx_to_ptr(p, (int32_t)i);
    if (!p_src) {
      StdIo_puts(STDIO_ERR("Us_copy_n_elem_from_idx") "p_src == NULL");
      Us_free(p_new);
      return nullptr;
    }
    if (Us_postfix_copy(p_new, p_src) < 0) {
      StdIo_puts(STDIO_ERR("Us_copy_n_elem_from_idx") "Us_postfix_copy failed");
      Us_free(p_new);
      return nullptr;
    }
  }
  return p_new;
}

int Us_postfix_n_elem_from_idx(Us* p, const Us* p_src, int32_t idx, int32_t n) {
  if (!p) {
    StdIo_puts(STDIO_ERR("Us_postfix_n_elem_from_idx") "p == NULL");
    return 0;
  }
  if (!p_src) {
    StdIo_puts(STDIO_ERR("Us_postfix_n_elem_from_idx") "p_src == NULL");
    return 0;
  }
  int64_t last = range_last(p_src->n_tab, idx, n);  // fixed now: p_src may grow below
  for (int64_t i = idx; i <= last; i++) {
    void* p_el = i > INT32_MAX ? nullptr : Us_idx_to_ptr(p_src, (int32_t)i);
    if (!p_el) {
      StdIo_puts(STDIO_ERR("Us_postfix_n_elem_from_idx") "p_el == NULL");
      return 0;
    }
    if (Us_postfix_copy(p, p_el) < 0) {
      StdIo_puts(STDIO_ERR("Us_postfix_n_elem_from_idx") "Us_postfix_copy failed");
      return 0;
    }
  }
  return 1;
}

/* Guarded insertion sort: safe with any comparison, even one that is not an order. */
static void sort_insertion(void** a, int32_t n, tyUs_cb_compare cmp) {
  for (int32_t i = 1; i < n; i++) {
    void* v = a[i];
    int32_t j = i;
    for (; j > 0 && cmp(a[j - 1], v) > 0; j--) a[j] = a[j - 1];
    a[j] = v;
  }
}

/* Merges the sorted runs a[lo..mid) and a[mid..hi) through tmp. */
static void sort_merge(void** a, void** tmp, int32_t lo, int32_t mid, int32_t hi,
                       tyUs_cb_compare cmp) {
  int32_t i = lo, j = mid, k = lo;
  while (i < mid && j < hi) tmp[k++] = cmp(a[j], a[i]) < 0 ? a[j++] : a[i++];
  while (i < mid) tmp[k++] = a[i++];
  while (j < hi) tmp[k++] = a[j++];
  memcpy(&a[lo], &tmp[lo], (size_t)(hi - lo) * sizeof(void*));
}

/* Bottom-up merge sort; every index stays in bounds whatever cmp answers. */
static void sort_elements(void** a, int32_t n, tyUs_cb_compare cmp) {
  void** tmp = n > 1 ? (void**)malloc((size_t)n * sizeof(void*)) : nullptr;
  if (!tmp) {
    sort_insertion(a, n, cmp);
    return;
  }
  for (int64_t w = 1; w < n; w *= 2) {
    for (int64_t lo = 0; lo + w < n; lo += 2 * w) {
      int64_t hi = lo + 2 * w < n ? lo + 2 * w : n;
      sort_merge(a, tmp, (int32_t)lo, (int32_t)(lo + w), (int32_t)hi, cmp);
    }
  }
  free(tmp);
}

int Us_sort(Us* p) {
  if (!p) {
    StdIo_puts(STDIO_ERR("Us_sort") "p == NULL");
    return 0;
  }
  sort_elements(p->p_tab, p->n_tab, p->cb_compare ? p->cb_compare : Us_default_compare);
  return 1;
}

int Us_unimplemented_1(void) { return -1; }

int Us_unimplemented_2(void) { return -1; }
