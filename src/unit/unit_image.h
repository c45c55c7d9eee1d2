/*
** unit_image.h - the compressed code image as the unit sees it in its flash, and the
** verdict the unit gives before it starts an application. The image is the application
** area from 0x180000: 16 bytes 0xFF, the signature byte 0x47 at 0x180010, 0x11 0x01 0x03
** 0x03, 11 bytes 0xFF, the LZW mode 0x90 (144), the expanded length n_src and the stream
** length n_dst (32-bit little-endian), then the stream, then 0xFF to the end of the area.
** An application starts only when all of it holds and the whole area is, byte for byte,
** the code image of what the stream expands to: a flash that is incomplete or corrupt
** (a chunk left erased, a stray chunk behind the stream) is never reported as started.
** The two builders make such images for tests and benchmarks from an image set.
*/
#ifndef ZENT_UNIT_IMAGE_H
#define ZENT_UNIT_IMAGE_H

#include <cstdint>

#define UNIT_CODE_I_SIGNATURE 16     // offset of the signature byte (0x180010)
#define UNIT_CODE_SIGNATURE 0x47     // 'G': the application is complete
#define UNIT_CODE_I_MODE 32          // offset of the LZW mode
#define UNIT_CODE_MODE 144           // LZW mode of the stream
#define UNIT_CODE_I_N_SRC 33         // offset of the expanded length
#define UNIT_CODE_I_N_DST 37         // offset of the stream length
#define UNIT_CODE_I_STREAM 41        // offset of the stream
#define UNIT_APPL_A 0x400000u        // where the expanded application starts
#define UNIT_APPL_N 0x100000u        // largest expanded application

/* Verdict codes. The checks of the image run in this order, except that 7 comes last; the
** codes from 8 on judge the order of the download, which only the unit sees (unit.h), and
** are given to an image that passed all the others. */
#define UNIT_VERDICT_OK 0             // the application starts
#define UNIT_VERDICT_NO_SIGNATURE 1   // byte 0x180010 is not 0x47
#define UNIT_VERDICT_BAD_HEADER 2     // fixed header bytes or the mode differ
#define UNIT_VERDICT_BAD_LENGTHS 3    // n_src or n_dst outside what the area can hold
#define UNIT_VERDICT_BAD_STREAM 4     // the stream does not expand to exactly n_src bytes
#define UNIT_VERDICT_DIFFERS 5        // it expands, but not to the expected application
#define UNIT_VERDICT_NO_MEMORY 6      // the unit could not check (no memory)
#define UNIT_VERDICT_NOT_AS_BUILT 7   // the area is not the code image of its expansion
#define UNIT_VERDICT_CHUNK_ORDER 8    // a chunk came below the end of the one before it
#define UNIT_VERDICT_BLANK_CHUNK 9    // a chunk of nothing but 0xFF was programmed
#define UNIT_VERDICT_SIGNATURE_IN_CHUNK 10  // a chunk programmed the signature byte's cell
#define UNIT_VERDICT_SIGNATURE_NOT_LAST 11  // the signature byte was not written alone by the
                                            // request right before the start

typedef struct UnitVerdict {
  int code;              // UNIT_VERDICT_*
  uint32_t n_src;        // expanded length from the header
  uint32_t n_dst;        // stream length from the header
  int32_t n_expanded;    // what the stream expanded to; -1 when it could not be expanded
  int32_t i_first_diff;  // first differing byte against the expected image, else -1
  int32_t i_flash_diff;  // first area offset that differs from the rebuilt image, else -1
  uint32_t a_order;      // codes from 8 on: address of the request that broke the order
} UnitVerdict;

/* Judges the application area (UNIT_FLASH_N bytes). The stream must expand to exactly
** n_src bytes, and the area must equal the code image that UnitImage_code_from_appl makes
** of that expansion. With p_expected (n_expected bytes from 0x400000) the expansion must
** also equal it. Fills *p_out and returns its code. */
int UnitImage_judge(const uint8_t* p_flash, int32_t n_expected, const uint8_t* p_expected,
                    UnitVerdict* p_out);

/* A short text of a verdict code ("application started", "signature byte missing" ...). */
const char* UnitVerdict_text(int code);

/* Lays an image set (n_set partitions: addresses, counts, byte pointers, in table order)
** into p_appl of UNIT_APPL_N bytes from 0x400000, filled with 0xFF first. The used length
** (up to the last byte that is not 0xFF), or -1 when a partition leaves the image. */
int32_t UnitImage_appl_from_set(uint32_t n_set, const uint32_t* p_a, const uint32_t* p_n,
                                const uint8_t* const* p_p, uint8_t* p_appl);

/* Compresses n_src bytes of an application (mode 144) into a code image of UNIT_FLASH_N
** bytes at p_code, with the header above. The bytes of its non-blank 256-byte blocks, or -1
** when the coder fails or the stream does not fit. */
int32_t UnitImage_code_from_appl(int32_t n_src, const uint8_t* p_appl, uint8_t* p_code);

#endif
