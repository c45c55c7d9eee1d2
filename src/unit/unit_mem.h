/*
** unit_mem.h - the memories of the simulated target unit: 1 MiB of RAM from 0x400000, into
** which the boot loader writes the flash loader, and the application area of the flash,
** 0x180000 to 0x1DFFFF, which the flash loader erases and programs. The flash behaves as NOR
** flash: erasing sets every byte to 0xFF, programming can only turn bits from 1 to 0, so a
** cell that was not erased does not read back as written. RAM remembers which bytes were
** written, so that a jump can tell a loaded flash loader from stale memory.
*/
#ifndef ZENT_UNIT_MEM_H
#define ZENT_UNIT_MEM_H

#include <cstdint>

#define UNIT_RAM_A 0x400000u       // first address of the RAM
#define UNIT_RAM_N 0x100000u       // bytes of RAM
#define UNIT_FLASH_A 0x180000u     // first address of the application area of the flash
#define UNIT_FLASH_N 0x60000u      // bytes of the application area (to 0x1DFFFF)

/* Results of the memory operations; 2 and 4 are the RMC exception codes the unit answers. */
#define UNIT_MEM_OK 0
#define UNIT_MEM_BAD_ADR 2   // the range leaves the memory
#define UNIT_MEM_FAILED 4    // a flash cell does not read back as written

typedef struct UnitMem {
  uint8_t* p_ram;        // owned: UNIT_RAM_N bytes, 0x00 at power-up
  uint8_t* p_ram_set;    // owned: UNIT_RAM_N flags, 1 where a byte was written since reset
  uint8_t* p_flash;      // owned: UNIT_FLASH_N bytes of the application area
} UnitMem;

/* A unit's memories: RAM cleared, flash filled with fill_flash (an old application is
** simulated by any value other than 0xFF). NULL when memory is short. */
UnitMem* UnitMem_alloc(uint8_t fill_flash);

/* Releases the memories; NULL does nothing. */
void UnitMem_free(UnitMem* p);

/* Clears RAM and its written flags, as a reset of the unit does. */
void UnitMem_reset_ram(UnitMem* p);

/* Writes n bytes at adr into RAM. UNIT_MEM_OK, or UNIT_MEM_BAD_ADR (nothing written) when
** any byte lies outside. */
int UnitMem_ram_write(UnitMem* p, uint32_t adr, uint32_t n, const uint8_t* p_bytes);

/* 1 when each of the n bytes at adr was written and equals p_bytes, else 0. */
int UnitMem_ram_holds(const UnitMem* p, uint32_t adr, uint32_t n, const uint8_t* p_bytes);

/* 1 when the RAM byte at adr was written since reset. */
int UnitMem_ram_is_set(const UnitMem* p, uint32_t adr);

/* Erases the application area (every byte 0xFF). */
void UnitMem_flash_erase(UnitMem* p);

/* 1 when every byte of the application area is 0xFF. */
int UnitMem_flash_is_blank(const UnitMem* p);

/* Programs n bytes at adr: each cell becomes old AND new. UNIT_MEM_OK; UNIT_MEM_BAD_ADR
** (nothing programmed) outside the area; UNIT_MEM_FAILED when a cell does not read back as
** written (the AND stays, as on the chip). */
int UnitMem_flash_program(UnitMem* p, uint32_t adr, uint32_t n, const uint8_t* p_bytes);

/* The application area, UNIT_FLASH_N bytes from UNIT_FLASH_A. */
const uint8_t* UnitMem_get_p_flash(const UnitMem* p);

#endif
