/*
** uv_mem_presets.h - the target's memory areas as memory-image presets, and the writers
** that lay an image set or a record set into an image byte by byte through
** UvMem_write_byte, so that the image's range and write-protect zones decide what may be
** written. The image preparation uses the application and code presets and
** UvMem_MsrLin_write; the other presets and the record-set writers are library.
*/
#ifndef ZENT_UV_MEM_PRESETS_H
#define ZENT_UV_MEM_PRESETS_H

#include "ms_rec.h"
#include "msr_lin.h"
#include "uv_mem.h"

#include <cstdint>

/* Results of the writers. */
#define UVMEM_WRITE_OK 0        // everything was written
#define UVMEM_WRITE_BAD_ARG 1   // NULL image or set (or a set missing a table): nothing done
#define UVMEM_WRITE_REFUSED 2   // a write was refused; the bytes before it stay written
#define UVMEM_WRITE_MULTIPLE 3  // (write_ex) an address already held other than the fill value

/* New images of fixed areas, bytes not initialised; NULL on failure (after the memory
** image's own line). Release with UvMem_free.
**   application 0x400000, 0x100000 bytes, kind 1, no zones
**   code 504    0x180000, 0x60000 bytes, kind 1, no zones (ends where 0x1E0000 begins)
**   ff0000      0xFF0000, 0x10000 bytes, kind 0, one zone 0xFFA000, 0x2000 bytes
**   1e0000      0x1E0000, 0x14000 bytes, kind 1;  080000  0x80000, 0x74000 bytes, kind 1;
**   000000      0, 0x20000 bytes, kind 1 */
UvMem* UvMem_alloc_as_zent_appl(void);
UvMem* UvMem_alloc_as_zent_code_504(void);
UvMem* UvMem_alloc_as_ff0000(void);
UvMem* UvMem_alloc_as_1e0000(void);
UvMem* UvMem_alloc_as_080000(void);
UvMem* UvMem_alloc_as_000000(void);

/* Writes every partition of p_set, in table order, at its target address; logs the image
** range and a note on each partition whose ends disagree on writability. 0, 1, or 2 with
** the refused address in *p_a_fail (when given) and writing stopped there. */
int UvMem_MsrLin_write(UvMem* p_vm, const MsrLin* p_set, uint32_t* p_a_fail);

/* Writes every record of p_set (whatever its tag), in set order. 0, 1 or 2 as above. */
int UvMem_MsRecSet_write(UvMem* p_vm, const MsRecSet* p_set, uint32_t* p_a_fail);

/* As UvMem_MsRecSet_write into an image filled with fill, but an address that already
** holds other than fill is warned about and kept (the first writer wins). 2 when a write
** was refused, else 3 when such an address was met (the latest one in *p_a_fail), else 0;
** 1 for a NULL image or set. */
int UvMem_MsRecSet_write_ex(UvMem* p_vm, const MsRecSet* p_set, uint8_t fill,
                            uint32_t* p_a_fail);

#endif
