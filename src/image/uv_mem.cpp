/*
** uv_mem.cpp - the memory image. Every range test is one unsigned subtraction, so ranges
** that end at the top of the 32-bit address space (zones too) are handled without the end
** address ever being formed.
*/
#include "uv_mem.h"

#include "alloc_seam.h"
#include "std_io.h"

#include <cstdlib>
#include <cstring>

UvMem* UvMem_init(UvMem* p, uint32_t kind, uint32_t a_vmem, uint32_t n_vmem, uint8_t* p_vmem,
                  int n_wpz, uint32_t* p_wpz_a_mem, uint32_t* p_wpz_n_mem) {
  if (!p) return nullptr;
  int is_failed = 0;
  p->kind = kind;
  p->a_vmem = a_vmem;
  p->n_vmem = n_vmem;
  p->p_vmem = p_vmem;
  if (!p_vmem) {
    StdIo_puts(STDIO_ERR("UvMem_init") "p -> p_vmem = p_vmem)");
    is_failed = 1;
  }
  p->n_wpz = n_wpz;
  p->p_wpz_a_mem = p_wpz_a_mem;
  p->p_wpz_n_mem = p_wpz_n_mem;
  if (n_wpz >= 1 && !p_wpz_a_mem) {
    StdIo_puts(STDIO_ERR("UvMem_init") "p -> p_wpz_a_mem = p_wpz_a_mem)");
    is_failed = 1;
  }
  if (n_wpz >= 1 && !p_wpz_n_mem) {
    StdIo_puts(STDIO_ERR("UvMem_init") "p -> p_wpz_n_mem = p_wpz_n_mem)");
    is_failed = 1;
  }
  return is_failed ? nullptr : p;
}

/* Allocates both zone tables of p (n_wpz >= 1); 0 when either failed. */
static int alloc_zones(UvMem* p) {
  size_t n = (size_t)p->n_wpz;
  p->p_wpz_a_mem = (uint32_t*)AllocSeam_malloc(n * sizeof(*p->p_wpz_a_mem));
  if (!p->p_wpz_a_mem)
    StdIo_puts(STDIO_ERR("UvMem_alloc_val")
               "p -> p_wpz_a_mem = __ALLOC (p -> n_wpz * sizeof (* p -> p_wpz_a_mem)))");
  p->p_wpz_n_mem = (uint32_t*)AllocSeam_malloc(n * sizeof(*p->p_wpz_n_mem));
  if (!p->p_wpz_n_mem)
    StdIo_puts(STDIO_ERR("UvMem_alloc_val")
               "p -> p_wpz_n_mem = __ALLOC (p -> n_wpz * sizeof (* p -> p_wpz_n_mem)))");
  return p->p_wpz_a_mem && p->p_wpz_n_mem;
}

/* Fills the zone tables from the initial ones, or with empty zones when one is missing, so
** that no zone is ever read uninitialised. */
static void set_zones(UvMem* p, const uint32_t* p_a_init, const uint32_t* p_n_init) {
  size_t n = (size_t)p->n_wpz;
  if (p_a_init && p_n_init) {
    memcpy(p->p_wpz_a_mem, p_a_init, n * sizeof(*p->p_wpz_a_mem));
    memcpy(p->p_wpz_n_mem, p_n_init, n * sizeof(*p->p_wpz_n_mem));
  } else {
    memset(p->p_wpz_a_mem, 0, n * sizeof(*p->p_wpz_a_mem));
    memset(p->p_wpz_n_mem, 0, n * sizeof(*p->p_wpz_n_mem));
  }
}

UvMem* UvMem_alloc_val(uint32_t kind, uint32_t a_vmem, uint32_t n_vmem, int n_wpz,
                       const uint32_t* p_wpz_a_init, const uint32_t* p_wpz_n_init) {
  UvMem* p = (UvMem*)AllocSeam_malloc(sizeof(*p));
  if (!p) return nullptr;
  int is_ok = 1;
  p->kind = kind;
  p->a_vmem = a_vmem;
  p->n_vmem = n_vmem;
  p->p_vmem = (uint8_t*)AllocSeam_malloc(n_vmem > 0 ? n_vmem : 1);
  if (!p->p_vmem) {
    StdIo_puts(STDIO_ERR("UvMem_alloc_val")
               "p -> p_vmem = __ALLOC (p -> n_vmem * sizeof (*p -> p_vmem)))");
    is_ok = 0;
  }
  p->n_wpz = n_wpz;
  p->p_wpz_a_mem = nullptr;
  p->p_wpz_n_mem = nullptr;
  if (n_wpz >= 1 && !alloc_zones(p)) is_ok = 0;
  if (!is_ok) {
    UvMem_free(p);
    return nullptr;
  }
  if (n_wpz >= 1) set_zones(p, p_wpz_a_init, p_wpz_n_init);
  return p;
}

int UvMem_free(UvMem* p) {
  if (!p) return 1;
  free(p->p_vmem);
  free(p->p_wpz_a_mem);
  free(p->p_wpz_n_mem);
  free(p);
  return 1;
}

uint32_t UvMem_get_kind(const UvMem* p) { return p ? p->kind : 0; }

uint32_t UvMem_get_a_vmem(const UvMem* p) { return p ? p->a_vmem : 0; }

uint32_t UvMem_get_n_vmem(const UvMem* p) { return p ? p->n_vmem : 0; }

uint8_t* UvMem_get_p_vmem(const UvMem* p) { return p ? p->p_vmem : nullptr; }

int UvMem_get_n_wpz(const UvMem* p) { return p ? p->n_wpz : 0; }

uint32_t* UvMem_get_p_wpz_a_mem(const UvMem* p) { return p ? p->p_wpz_a_mem : nullptr; }

uint32_t* UvMem_get_p_wpz_n_mem(const UvMem* p) { return p ? p->p_wpz_n_mem : nullptr; }

int UvMem_is_kind_set(const UvMem* p) { return UvMem_get_kind(p) != 0 ? 1 : 0; }

uint32_t UvMem_adr_to_idx(const UvMem* p, uint32_t a) { return a - UvMem_get_a_vmem(p); }

uint32_t UvMem_idx_to_adr(const UvMem* p, uint32_t idx) { return UvMem_get_a_vmem(p) + idx; }

int UvMem_idx_is_valid(const UvMem* p, uint32_t idx) {
  return idx < UvMem_get_n_vmem(p) ? 1 : 0;
}

int UvMem_adr_is_valid(const UvMem* p, uint32_t a) {
  return UvMem_idx_is_valid(p, UvMem_adr_to_idx(p, a));
}

int UvMem_adr_to_wpz(const UvMem* p, uint32_t a) {
  if (!p || !p->p_wpz_a_mem || !p->p_wpz_n_mem) return -1;
  for (int i = 0; i < p->n_wpz; i++) {
    // a - start < size holds exactly for start <= a < start + size, even where start +
    // size passes 2^32 (a zone at the top of the address space).
    if (a - p->p_wpz_a_mem[i] < p->p_wpz_n_mem[i]) return i;
  }
  return -1;
}

int UvMem_adr_is_writable(const UvMem* p, uint32_t a) {
  return UvMem_adr_is_valid(p, a) && UvMem_adr_to_wpz(p, a) < 0 ? 1 : 0;
}

int UvMem_idx_is_writable(const UvMem* p, uint32_t idx) {
  return UvMem_idx_is_valid(p, idx) && UvMem_adr_to_wpz(p, UvMem_idx_to_adr(p, idx)) < 0 ? 1
                                                                                           : 0;
}

int UvMem_fill(UvMem* p, uint8_t v) {
  if (!p) return 0;
  if (p->p_vmem && p->n_vmem > 0) memset(p->p_vmem, v, p->n_vmem);
  return 1;
}

uint8_t UvMem_read_byte(const UvMem* p, uint32_t a) {
  if (!UvMem_adr_is_valid(p, a) || !p->p_vmem) return 0xFF;
  return p->p_vmem[a - p->a_vmem];
}

int UvMem_write_byte(UvMem* p, uint32_t a, uint8_t v) {
  if (!UvMem_adr_is_writable(p, a) || !p->p_vmem) return 0;
  p->p_vmem[a - p->a_vmem] = v;
  return 1;
}

int UvMem_is_filled_with(const UvMem* p, uint32_t a, int n, uint8_t v) {
  for (int j = 0; j < n; j++) {
    if (UvMem_read_byte(p, a + (uint32_t)j) != v) return 0;
  }
  return 1;
}
