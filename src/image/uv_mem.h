/*
** uv_mem.h - UvMem, a memory image: a byte-for-byte copy of one range of target addresses
** held on the PC, plus write-protect zones in which writes through the image are refused.
** Reads outside the range give 0xFF, the value of erased flash. An image made by
** UvMem_alloc_val owns its bytes and zone tables; one set up by UvMem_init borrows them.
** Presets for the target's areas and the writers that fill an image are in uv_mem_presets.h.
*/
#ifndef ZENT_UV_MEM_H
#define ZENT_UV_MEM_H

#include <cstdint>

typedef struct UvMem {
  uint32_t kind;          // flag word given at creation; the image never acts on it
  uint32_t a_vmem;        // target address of image byte 0
  uint32_t n_vmem;        // size of the image in bytes
  uint8_t* p_vmem;        // the n_vmem image bytes
  int n_wpz;              // number of write-protect zones; 0 or less: none
  uint32_t* p_wpz_a_mem;  // start address of each zone
  uint32_t* p_wpz_n_mem;  // size in bytes of each zone
} UvMem;

/* Stores the seven fields into caller storage; the buffers stay the caller's. p, or NULL
** for a NULL p or a missing buffer (one error line each; the fields stay stored). */
UvMem* UvMem_init(UvMem* p, uint32_t kind, uint32_t a_vmem, uint32_t n_vmem, uint8_t* p_vmem,
                  int n_wpz, uint32_t* p_wpz_a_mem, uint32_t* p_wpz_n_mem);

/* New image owning n_vmem bytes (not initialised) and n_wpz zones copied from the two
** tables (zones cover nothing when a table is missing). NULL on failure, nothing left
** allocated, one error line per failed buffer. Release with UvMem_free. */
UvMem* UvMem_alloc_val(uint32_t kind, uint32_t a_vmem, uint32_t n_vmem, int n_wpz,
                       const uint32_t* p_wpz_a_init, const uint32_t* p_wpz_n_init);

/* Frees the bytes, the zone tables and the image of UvMem_alloc_val. 1, also for NULL. */
int UvMem_free(UvMem* p);

/* Fields; 0 or NULL for a NULL image. */
uint32_t UvMem_get_kind(const UvMem* p);
uint32_t UvMem_get_a_vmem(const UvMem* p);
uint32_t UvMem_get_n_vmem(const UvMem* p);
uint8_t* UvMem_get_p_vmem(const UvMem* p);
int UvMem_get_n_wpz(const UvMem* p);
uint32_t* UvMem_get_p_wpz_a_mem(const UvMem* p);
uint32_t* UvMem_get_p_wpz_n_mem(const UvMem* p);

/* 1 when kind is not 0, else 0. */
int UvMem_is_kind_set(const UvMem* p);

/* Address minus a_vmem, and index plus a_vmem (unsigned, wrapping). */
uint32_t UvMem_adr_to_idx(const UvMem* p, uint32_t a);
uint32_t UvMem_idx_to_adr(const UvMem* p, uint32_t idx);

/* 1 when the address (index) lies in the image, else 0; an address below a_vmem wraps to
** a large index and is outside. */
int UvMem_adr_is_valid(const UvMem* p, uint32_t a);
int UvMem_idx_is_valid(const UvMem* p, uint32_t idx);

/* Index of the first zone, in table order, that covers the address; -1 when none. */
int UvMem_adr_to_wpz(const UvMem* p, uint32_t a);

/* 1 when the address (index) lies in the image and in no zone, else 0. */
int UvMem_adr_is_writable(const UvMem* p, uint32_t a);
int UvMem_idx_is_writable(const UvMem* p, uint32_t idx);

/* Sets every image byte to v, zones notwithstanding. 1, or 0 for NULL. */
int UvMem_fill(UvMem* p, uint8_t v);

/* The image byte at the address, or 0xFF outside the image. */
uint8_t UvMem_read_byte(const UvMem* p, uint32_t a);

/* Stores v when the address is writable: 1; otherwise 0 and nothing changes. */
int UvMem_write_byte(UvMem* p, uint32_t a, uint8_t v);

/* 1 when each of the n addresses from a on reads as v (outside bytes read as 0xFF); 1 for
** n of 0 or less; 0 at the first other byte. */
int UvMem_is_filled_with(const UvMem* p, uint32_t a, int n, uint8_t v);

#endif
