/*
** embedded_sets.h - the two image sets compiled into the loader: the flash loader
** (fld_02_*) that the download writes into the unit's RAM, and the application (zent_*)
** that the image preparation lays into the application image and compresses. Each set is
** six getters over constant tables in the shape of a linear image set: partitions back to
** back in the heap in table order (not address order), no heap-offset table. The tables
** are generated at build time by tools/gen_firmware (stand-ins for the unit's firmware).
*/
#ifndef ZENT_EMBEDDED_SETS_H
#define ZENT_EMBEDDED_SETS_H

#include <cstdint>

/* Flash-loader set: 30 partitions, 33921 bytes, target RAM from 0x400000. */
uint32_t fld_02_get_n_set(void);
const uint32_t* fld_02_get_p_set_a_bytes(void);
const uint32_t* fld_02_get_p_set_n_bytes(void);
const uint8_t* const* fld_02_get_p_set_p_bytes(void);
uint32_t fld_02_get_n_heap(void);
const uint8_t* fld_02_get_p_heap(void);

/* Application set: 693 partitions, 513835 bytes, target addresses from 0x400000. */
uint32_t zent_get_n_set(void);
const uint32_t* zent_get_p_set_a_bytes(void);
const uint32_t* zent_get_p_set_n_bytes(void);
const uint8_t* const* zent_get_p_set_p_bytes(void);
uint32_t zent_get_n_heap(void);
const uint8_t* zent_get_p_heap(void);

#endif
