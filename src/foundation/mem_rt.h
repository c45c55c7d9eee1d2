/*
** mem_rt.h - small routines over raw memory, without state: byte fill and copy with their
** 8-, 16- and 32-bit forms, and element-wise translate (through a table), gather (through
** an index array) and key- or mask-selected copies over 8- and 16-bit arrays. Every routine
** takes the destination first and returns it, validates nothing and logs nothing.
**
** Byte routines take an unsigned byte count; element loops take a signed element count and
** do nothing for 0 or less, so their pointers may then be NULL. A key that matches leaves
** that destination element unwritten. Tables for a 16-bit source are indexed by the whole
** 16-bit value; the caller guarantees that every pointer covers what is read or written.
*/
#ifndef ZENT_MEM_RT_H
#define ZENT_MEM_RT_H

#include <cstddef>
#include <cstdint>

/* Fill and copy; n is in bytes except for mem_cpy_16 / mem_cpy_32 (elements) and
** mem_set_16 / mem_set_32 (signed element count). mem_cpy copies overlapping ranges
** correctly, as a move does. Note the count comes before the value in the fills. */
void* mem_set(void* dst, size_t n, uint8_t c);
void* mem_set_8(void* dst, size_t n, uint8_t c);
uint16_t* mem_set_16(uint16_t* dst, int n, uint16_t v);
uint32_t* mem_set_32(uint32_t* dst, int n, uint32_t v);
void* mem_cpy(void* dst, const void* src, size_t n);
void* mem_cpy_8(void* dst, const void* src, size_t n);
void* mem_cpy_16(void* dst, const void* src, size_t n);
void* mem_cpy_32(void* dst, const void* src, size_t n);

/* Translate and gather: dst[i] = tab[s] or s, with s = src[i] or src[idx[i]]; skip_src
** forms leave dst[i] alone where s == key, skip_dst forms where tab[s] == key. Names give
** destination width, then source width. */
uint8_t* mem_xlat_8_8(uint8_t* dst, const uint8_t* src, int n, const uint8_t* tab);
uint8_t* mem_xlat_8_8_skip_src(uint8_t* dst, const uint8_t* src, int n, uint8_t key,
                               const uint8_t* tab);
uint8_t* mem_xlat_8_8_skip_dst(uint8_t* dst, const uint8_t* src, int n, const uint8_t* tab,
                               uint8_t key);
uint8_t* mem_gather_8_idx(uint8_t* dst, const uint8_t* src, int n, const uint32_t* idx);
uint8_t* mem_xlat_8_8_idx(uint8_t* dst, const uint8_t* src, int n, const uint32_t* idx,
                          const uint8_t* tab);
uint8_t* mem_xlat_8_8_idx_skip_src(uint8_t* dst, const uint8_t* src, int n,
                                   const uint32_t* idx, uint8_t key, const uint8_t* tab);
uint8_t* mem_xlat_8_8_idx_skip_dst(uint8_t* dst, const uint8_t* src, int n,
                                   const uint32_t* idx, const uint8_t* tab, uint8_t key);

uint8_t* mem_xlat_8_16(uint8_t* dst, const uint16_t* src, int n, const uint8_t* tab);
uint8_t* mem_xlat_8_16_skip_src(uint8_t* dst, const uint16_t* src, int n, uint16_t key,
                                const uint8_t* tab);
uint8_t* mem_xlat_8_16_skip_dst(uint8_t* dst, const uint16_t* src, int n, const uint8_t* tab,
                                uint8_t key);
uint8_t* mem_xlat_8_16_idx(uint8_t* dst, const uint16_t* src, int n, const uint32_t* idx,
                           const uint8_t* tab);
uint8_t* mem_xlat_8_16_idx_skip_src(uint8_t* dst, const uint16_t* src, int n,
                                    const uint32_t* idx, uint16_t key, const uint8_t* tab);
uint8_t* mem_xlat_8_16_idx_skip_dst(uint8_t* dst, const uint16_t* src, int n,
                                    const uint32_t* idx, const uint8_t* tab, uint8_t key);

uint16_t* mem_xlat_16_8(uint16_t* dst, const uint8_t* src, int n, const uint16_t* tab);
uint16_t* mem_xlat_16_8_skip_src(uint16_t* dst, const uint8_t* src, int n, uint8_t key,
                                 const uint16_t* tab);
uint16_t* mem_xlat_16_8_skip_dst(uint16_t* dst, const uint8_t* src, int n,
                                 const uint16_t* tab, uint16_t key);
uint16_t* mem_xlat_16_8_idx(uint16_t* dst, const uint8_t* src, int n, const uint32_t* idx,
                            const uint16_t* tab);
uint16_t* mem_xlat_16_8_idx_skip_src(uint16_t* dst, const uint8_t* src, int n,
                                     const uint32_t* idx, uint8_t key, const uint16_t* tab);
/* The key is 8-bit here: a table value above 0xFF never matches it and is always written. */
uint16_t* mem_xlat_16_8_idx_skip_dst(uint16_t* dst, const uint8_t* src, int n,
                                     const uint32_t* idx, const uint16_t* tab, uint8_t key);

uint16_t* mem_xlat_16_16(uint16_t* dst, const uint16_t* src, int n, const uint16_t* tab);
uint16_t* mem_gather_16_idx(uint16_t* dst, const uint16_t* src, int n, const uint32_t* idx);
uint16_t* mem_xlat_16_16_idx(uint16_t* dst, const uint16_t* src, int n, const uint32_t* idx,
                             const uint16_t* tab);

/* 16-bit copy and fill by key or mask (a nonzero mask byte selects the element). Note the
** count is the last argument of mem_cpy_16_mask. */
uint16_t* mem_cpy_16_skip(uint16_t* dst, const uint16_t* src, int n, uint16_t key);
uint16_t* mem_cpy_16_mask(uint16_t* dst, const uint16_t* src, const uint8_t* mask, int n);
uint16_t* mem_set_16_mask(uint16_t* dst, const uint8_t* mask, int n, uint16_t v);

#endif
