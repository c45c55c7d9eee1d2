/*
** ms_rec.cpp - records and record sets. The set's callbacks are small adapters from the
** container's untyped element to MsRec, so the container never calls a function through a
** pointer of another type.
*/
#include "ms_rec.h"

#include "alloc_seam.h"
#include "std_io.h"

#include <cstdlib>
#include <cstring>

MsRec* MsRec_alloc_val(uint32_t tag, uint32_t adr, uint32_t n_bytes, const uint8_t* p_src) {
  MsRec* p = (MsRec*)AllocSeam_malloc(sizeof(*p));
  if (!p) return nullptr;
  p->tag = tag;
  p->adr = adr;
  p->n_bytes = n_bytes;
  p->p_bytes = (uint8_t*)AllocSeam_malloc(n_bytes > 1u ? n_bytes : 1u);
  if (!p->p_bytes) {
    StdIo_puts(STDIO_ERR("MsRec_alloc_val") "p -> p_bytes = __ALLOC (U_MAX (1, n_bytes)))");
    free(p);
    return nullptr;
  }
  if (p_src && n_bytes > 0) memcpy(p->p_bytes, p_src, n_bytes);
  return p;
}

MsRec* MsRec_alloc_copy(const MsRec* p) {
  if (!p) return nullptr;
  return MsRec_alloc_val(p->tag, p->adr, p->n_bytes, p->p_bytes);
}

void MsRec_free(MsRec* p) {
  if (!p) return;
  free(p->p_bytes);
  free(p);
}

uint32_t MsRec_get_tag(const MsRec* p) { return p ? p->tag : 0; }

uint32_t MsRec_get_adr(const MsRec* p) { return p ? p->adr : 0; }

uint32_t MsRec_get_n_bytes(const MsRec* p) { return p ? p->n_bytes : 0; }

uint8_t* MsRec_get_p_bytes(const MsRec* p) { return p ? p->p_bytes : nullptr; }

/* The set's copy callback. */
static void* loc_copy(void* po) { return MsRec_alloc_copy((const MsRec*)po); }

/* The set's free callback. */
static void loc_free(void* po) { MsRec_free((MsRec*)po); }

MsRecSet* MsRecSet_alloc(void) { return Us_alloc(loc_copy, loc_free, nullptr, nullptr, nullptr); }

MsRec* MsRecSet_idx_to_ptr(const MsRecSet* p_set, int32_t idx) {
  return (MsRec*)Us_idx_to_ptr(p_set, idx);
}

int32_t MsRecSet_postfix_val(MsRecSet* p_set, uint32_t tag, uint32_t adr, uint32_t n_bytes,
                             const uint8_t* p_src) {
  if (!p_set) return -1;
  MsRec* p = MsRec_alloc_val(tag, adr, n_bytes, p_src);
  if (!p) return -1;
  int32_t idx = Us_postfix_ptr(p_set, p);
  if (idx < 0) MsRec_free(p);
  return idx;
}

int32_t MsRecSet_postfix_copy(MsRecSet* p_set, const MsRec* p_rec) {
  return Us_postfix_copy(p_set, (void*)p_rec);
}

int32_t MsRecSet_postfix_copy_tag(MsRecSet* p_dst, const MsRecSet* p_src, uint32_t tag) {
  if (!p_dst || !p_src) return -1;
  int32_t n_copied = 0;
  int32_t n = Us_get_n_elem(p_src);
  for (int32_t i = 0; i < n; i++) {
    MsRec* p = MsRecSet_idx_to_ptr(p_src, i);
    if (p && p->tag == tag && MsRecSet_postfix_copy(p_dst, p) >= 0) n_copied++;
  }
  return n_copied;
}

/* 1 when tag is one of the first n_tags entries of p_tags; 0 for a NULL list. */
static int is_tag_in_list(uint32_t tag, int n_tags, const uint32_t* p_tags) {
  if (!p_tags) return 0;
  for (int i = 0; i < n_tags; i++) {
    if (p_tags[i] == tag) return 1;
  }
  return 0;
}

int MsRecSet_del_tags_not_in_list(MsRecSet* p_set, int n_tags, const uint32_t* p_tags) {
  if (!p_set || !p_tags) return 0;
  for (int32_t i = Us_get_n_elem(p_set) - 1; i >= 0; i--) {
    uint32_t tag = MsRec_get_tag(MsRecSet_idx_to_ptr(p_set, i));
    if (is_tag_in_list(tag, n_tags, p_tags)) continue;
    StdIo_printf("tag %d is not in list, delete it\n", (int)tag);
    Us_del_idx(p_set, i);
  }
  return 1;
}
