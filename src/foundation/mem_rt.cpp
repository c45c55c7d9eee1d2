/*
** mem_rt.cpp - the fill, copy, translate and gather routines. The byte routines hand over
** to the runtime's word-wise fill and move; the element routines are one loop template,
** instantiated per width, index and key form, that reads an element's source value (and
** its index and table entry) before it writes that element and writes it at most once.
*/
#include "mem_rt.h"

#include <cstring>

void* mem_set(void* dst, size_t n, uint8_t c) {
  if (n) memset(dst, c, n);  // n 0 may come with NULL, which memset must not see
  return dst;
}

void* mem_set_8(void* dst, size_t n, uint8_t c) { return mem_set(dst, n, c); }

uint16_t* mem_set_16(uint16_t* dst, int n, uint16_t v) {
  for (int i = 0; i < n; i++) dst[i] = v;
  return dst;
}

uint32_t* mem_set_32(uint32_t* dst, int n, uint32_t v) {
  for (int i = 0; i < n; i++) dst[i] = v;
  return dst;
}

void* mem_cpy(void* dst, const void* src, size_t n) {
  if (n) memmove(dst, src, n);  // a move: overlapping ranges copy correctly
  return dst;
}

void* mem_cpy_8(void* dst, const void* src, size_t n) { return mem_cpy(dst, src, n); }

void* mem_cpy_16(void* dst, const void* src, size_t n) { return mem_cpy(dst, src, 2 * n); }

void* mem_cpy_32(void* dst, const void* src, size_t n) { return mem_cpy(dst, src, 4 * n); }

namespace {

enum class Skip { none, src, dst };  // which value the key is compared with

/* dst[i] = tab[s] (or s without a table), s = src[i] or src[idx[i]]. Key and value are
** both widened to 32 bits before they are compared. */
template <bool IDX, bool TAB, Skip K, typename D, typename S>
D* xlat(D* dst, const S* src, int n, const uint32_t* idx, const D* tab, uint32_t key) {
  for (int i = 0; i < n; i++) {
    S s = IDX ? src[idx[i]] : src[i];
    if (K == Skip::src && (uint32_t)s == key) continue;
    D v = TAB ? tab[s] : (D)s;
    if (K == Skip::dst && (uint32_t)v == key) continue;
    dst[i] = v;
  }
  return dst;
}

}  // namespace

#define NO_IDX nullptr
#define NO_TAB nullptr
#define NO_KEY 0u

uint8_t* mem_xlat_8_8(uint8_t* dst, const uint8_t* src, int n, const uint8_t* tab) {
  return xlat<false, true, Skip::none>(dst, src, n, NO_IDX, tab, NO_KEY);
}

uint8_t* mem_xlat_8_8_skip_src(uint8_t* dst, const uint8_t* src, int n, uint8_t key,
                               const uint8_t* tab) {
  return xlat<false, true, Skip::src>(dst, src, n, NO_IDX, tab, key);
}

uint8_t* mem_xlat_8_8_skip_dst(uint8_t* dst, const uint8_t* src, int n, const uint8_t* tab,
                               uint8_t key) {
  return xlat<false, true, Skip::dst>(dst, src, n, NO_IDX, tab, key);
}

uint8_t* mem_gather_8_idx(uint8_t* dst, const uint8_t* src, int n, const uint32_t* idx) {
  return xlat<true, false, Skip::none>(dst, src, n, idx, (const uint8_t*)NO_TAB, NO_KEY);
}

uint8_t* mem_xlat_8_8_idx(uint8_t* dst, const uint8_t* src, int n, const uint32_t* idx,
                          const uint8_t* tab) {
  return xlat<true, true, Skip::none>(dst, src, n, idx, tab, NO_KEY);
}

uint8_t* mem_xlat_8_8_idx_skip_src(uint8_t* dst, const uint8_t* src, int n,
                                   const uint32_t* idx, uint8_t key, const uint8_t* tab) {
  return xlat<true, true, Skip::src>(dst, src, n, idx, tab, key);
}

uint8_t* mem_xlat_8_8_idx_skip_dst(uint8_t* dst, const uint8_t* src, int n,
                                   const uint32_t* idx, const uint8_t* tab, uint8_t key) {
  return xlat<true, true, Skip::dst>(dst, src, n, idx, tab, key);
}

uint8_t* mem_xlat_8_16(uint8_t* dst, const uint16_t* src, int n, const uint8_t* tab) {
  return xlat<false, true, Skip::none>(dst, src, n, NO_IDX, tab, NO_KEY);
}

uint8_t* mem_xlat_8_16_skip_src(uint8_t* dst, const uint16_t* src, int n, uint16_t key,
                                const uint8_t* tab) {
  return xlat<false, true, Skip::src>(dst, src, n, NO_IDX, tab, key);
}

uint8_t* mem_xlat_8_16_skip_dst(uint8_t* dst, const uint16_t* src, int n, const uint8_t* tab,
                                uint8_t key) {
  return xlat<false, true, Skip::dst>(dst, src, n, NO_IDX, tab, key);
}

uint8_t* mem_xlat_8_16_idx(uint8_t* dst, const uint16_t* src, int n, const uint32_t* idx,
                           const uint8_t* tab) {
  return xlat<true, true, Skip::none>(dst, src, n, idx, tab, NO_KEY);
}

uint8_t* mem_xlat_8_16_idx_skip_src(uint8_t* dst, const uint16_t* src, int n,
                                    const uint32_t* idx, uint16_t key, const uint8_t* tab) {
  return xlat<true, true, Skip::src>(dst, src, n, idx, tab, key);
}

uint8_t* mem_xlat_8_16_idx_skip_dst(uint8_t* dst, const uint16_t* src, int n,
                                    const uint32_t* idx, const uint8_t* tab, uint8_t key) {
  return xlat<true, true, Skip::dst>(dst, src, n, idx, tab, key);
}

uint16_t* mem_xlat_16_8(uint16_t* dst, const uint8_t* src, int n, const uint16_t* tab) {
  return xlat<false, true, Skip::none>(dst, src, n, NO_IDX, tab, NO_KEY);
}

uint16_t* mem_xlat_16_8_skip_src(uint16_t* dst, const uint8_t* src, int n, uint8_t key,
                                 const uint16_t* tab) {
  return xlat<false, true, Skip::src>(dst, src, n, NO_IDX, tab, key);
}

uint16_t* mem_xlat_16_8_skip_dst(uint16_t* dst, const uint8_t* src, int n,
                                 const uint16_t* tab, uint16_t key) {
  return xlat<false, true, Skip::dst>(dst, src, n, NO_IDX, tab, key);
}

uint16_t* mem_xlat_16_8_idx(uint16_t* dst, const uint8_t* src, int n, const uint32_t* idx,
                            const uint16_t* tab) {
  return xlat<true, true, Skip::none>(dst, src, n, idx, tab, NO_KEY);
}

uint16_t* mem_xlat_16_8_idx_skip_src(uint16_t* dst, const uint8_t* src, int n,
                                     const uint32_t* idx, uint8_t key, const uint16_t* tab) {
  return xlat<true, true, Skip::src>(dst, src, n, idx, tab, key);
}

uint16_t* mem_xlat_16_8_idx_skip_dst(uint16_t* dst, const uint8_t* src, int n,
                                     const uint32_t* idx, const uint16_t* tab, uint8_t key) {
  return xlat<true, true, Skip::dst>(dst, src, n, idx, tab, key);
}

uint16_t* mem_xlat_16_16(uint16_t* dst, const uint16_t* src, int n, const uint16_t* tab) {
  return xlat<false, true, Skip::none>(dst, src, n, NO_IDX, tab, NO_KEY);
}

uint16_t* mem_gather_16_idx(uint16_t* dst, const uint16_t* src, int n, const uint32_t* idx) {
  return xlat<true, false, Skip::none>(dst, src, n, idx, (const uint16_t*)NO_TAB, NO_KEY);
}

uint16_t* mem_xlat_16_16_idx(uint16_t* dst, const uint16_t* src, int n, const uint32_t* idx,
                             const uint16_t* tab) {
  return xlat<true, true, Skip::none>(dst, src, n, idx, tab, NO_KEY);
}

uint16_t* mem_cpy_16_skip(uint16_t* dst, const uint16_t* src, int n, uint16_t key) {
  return xlat<false, false, Skip::src>(dst, src, n, NO_IDX, (const uint16_t*)NO_TAB, key);
}

uint16_t* mem_cpy_16_mask(uint16_t* dst, const uint16_t* src, const uint8_t* mask, int n) {
  for (int i = 0; i < n; i++) {
    if (mask[i]) dst[i] = src[i];
  }
  return dst;
}

uint16_t* mem_set_16_mask(uint16_t* dst, const uint8_t* mask, int n, uint16_t v) {
  for (int i = 0; i < n; i++) {
    if (mask[i]) dst[i] = v;
  }
  return dst;
}
