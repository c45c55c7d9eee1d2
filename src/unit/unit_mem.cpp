/*
** unit_mem.cpp - RAM with written flags and the NOR application area of the simulated unit.
** Range checks are done in 64 bits so that an address near 2^32 cannot wrap into range.
*/
#include "unit_mem.h"

#include <cstdlib>
#include <cstring>

/* 1 when [adr, adr + n) lies inside [a, a + m). */
static int in_range(uint32_t adr, uint32_t n, uint32_t a, uint32_t m) {
  return adr >= a && (uint64_t)adr + n <= (uint64_t)a + m;
}

UnitMem* UnitMem_alloc(uint8_t fill_flash) {
  UnitMem* p = (UnitMem*)calloc(1, sizeof(UnitMem));
  if (!p) return NULL;
  p->p_ram = (uint8_t*)calloc(UNIT_RAM_N, 1);
  p->p_ram_set = (uint8_t*)calloc(UNIT_RAM_N, 1);
  p->p_flash = (uint8_t*)malloc(UNIT_FLASH_N);
  if (!p->p_ram || !p->p_ram_set || !p->p_flash) {
    UnitMem_free(p);
    return NULL;
  }
  memset(p->p_flash, fill_flash, UNIT_FLASH_N);
  return p;
}

void UnitMem_free(UnitMem* p) {
  if (!p) return;
  free(p->p_ram);
  free(p->p_ram_set);
  free(p->p_flash);
  free(p);
}

void UnitMem_reset_ram(UnitMem* p) {
  memset(p->p_ram, 0, UNIT_RAM_N);
  memset(p->p_ram_set, 0, UNIT_RAM_N);
}

int UnitMem_ram_write(UnitMem* p, uint32_t adr, uint32_t n, const uint8_t* p_bytes) {
  if (!in_range(adr, n, UNIT_RAM_A, UNIT_RAM_N)) return UNIT_MEM_BAD_ADR;
  uint32_t i = adr - UNIT_RAM_A;
  if (n == 0) return UNIT_MEM_OK;
  memcpy(p->p_ram + i, p_bytes, n);
  memset(p->p_ram_set + i, 1, n);
  return UNIT_MEM_OK;
}

int UnitMem_ram_holds(const UnitMem* p, uint32_t adr, uint32_t n, const uint8_t* p_bytes) {
  if (!in_range(adr, n, UNIT_RAM_A, UNIT_RAM_N)) return 0;
  uint32_t i0 = adr - UNIT_RAM_A;
  for (uint32_t i = 0; i < n; ++i)
    if (!p->p_ram_set[i0 + i] || p->p_ram[i0 + i] != p_bytes[i]) return 0;
  return 1;
}

int UnitMem_ram_is_set(const UnitMem* p, uint32_t adr) {
  return in_range(adr, 1, UNIT_RAM_A, UNIT_RAM_N) && p->p_ram_set[adr - UNIT_RAM_A];
}

void UnitMem_flash_erase(UnitMem* p) { memset(p->p_flash, 0xFF, UNIT_FLASH_N); }

int UnitMem_flash_is_blank(const UnitMem* p) {
  for (uint32_t i = 0; i < UNIT_FLASH_N; ++i)
    if (p->p_flash[i] != 0xFF) return 0;
  return 1;
}

int UnitMem_flash_program(UnitMem* p, uint32_t adr, uint32_t n, const uint8_t* p_bytes) {
  if (!in_range(adr, n, UNIT_FLASH_A, UNIT_FLASH_N)) return UNIT_MEM_BAD_ADR;
  uint8_t* p_cell = p->p_flash + (adr - UNIT_FLASH_A);
  int result = UNIT_MEM_OK;
  for (uint32_t i = 0; i < n; ++i) {
    p_cell[i] &= p_bytes[i];  // programming only clears bits
    if (p_cell[i] != p_bytes[i]) result = UNIT_MEM_FAILED;
  }
  return result;
}

const uint8_t* UnitMem_get_p_flash(const UnitMem* p) { return p->p_flash; }
