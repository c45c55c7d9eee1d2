/*
** unit_image.cpp - the unit's verdict on its flash, and the builders of code images. The
** stream is expanded with the system's own LZW decoder into a scratch buffer of the
** largest application, so a stream that expands to more than n_src is caught, not cut.
** The decoder alone cannot see everything: in mode 144 an erased run reads as the end
** code, and bytes behind the stream are never read. So the expansion is compressed again
** with the same encoder and the whole area must equal that image, byte for byte.
*/
#include "unit_image.h"

#include "ulzw.h"
#include "unit_mem.h"

#include <cstdlib>
#include <cstring>

namespace {

constexpr uint8_t k_fixed[] = {0x11, 0x01, 0x03, 0x03};  // bytes 17 to 20

uint32_t get_u32(const uint8_t* p) {
  return (uint32_t)p[0] | (uint32_t)p[1] << 8 | (uint32_t)p[2] << 16 | (uint32_t)p[3] << 24;
}

void put_u32(uint8_t* p, uint32_t v) {
  for (int i = 0; i < 4; ++i) p[i] = (uint8_t)(v >> (8 * i));
}

bool all_ff(const uint8_t* p, int n) {
  for (int i = 0; i < n; ++i)
    if (p[i] != 0xFF) return false;
  return true;
}

bool header_intact(const uint8_t* p) {
  return all_ff(p, 16) && memcmp(p + 17, k_fixed, sizeof k_fixed) == 0 && all_ff(p + 21, 11) &&
         p[UNIT_CODE_I_MODE] == UNIT_CODE_MODE;
}

/* Expands the stream into a fresh buffer; the count, or -1. *pp_out is the caller's. */
int32_t expand(const uint8_t* p_stream, uint32_t n_stream, uint8_t** pp_out) {
  *pp_out = (uint8_t*)malloc(UNIT_APPL_N);
  UlzwUnit* p_unit = UlzwUnit_alloc(UNIT_CODE_MODE);
  int32_t n = -1;
  if (*pp_out && p_unit) n = Ulzw_decode(p_unit, (int)UNIT_APPL_N, *pp_out, (int)n_stream, p_stream);
  UlzwUnit_free(p_unit);
  return n;
}

int32_t first_diff(const uint8_t* a, const uint8_t* b, int32_t n) {
  for (int32_t i = 0; i < n; ++i)
    if (a[i] != b[i]) return i;
  return -1;
}

/* The area against the code image rebuilt from its expansion: OK, NOT_AS_BUILT (with
** i_flash_diff) or NO_MEMORY. */
int judge_as_built(const uint8_t* p_flash, const uint8_t* p_appl, UnitVerdict* p_out) {
  uint8_t* p_code = (uint8_t*)malloc(UNIT_FLASH_N);
  if (!p_code) return UNIT_VERDICT_NO_MEMORY;
  bool built = UnitImage_code_from_appl(p_out->n_expanded, p_appl, p_code) > 0;
  if (built) p_out->i_flash_diff = first_diff(p_flash, p_code, (int32_t)UNIT_FLASH_N);
  free(p_code);
  return built && p_out->i_flash_diff < 0 ? UNIT_VERDICT_OK : UNIT_VERDICT_NOT_AS_BUILT;
}

/* The stream checks, once the header is known to be sound. */
int judge_stream(const uint8_t* p_flash, int32_t n_expected, const uint8_t* p_expected,
                 UnitVerdict* p_out) {
  uint8_t* p_appl = NULL;
  p_out->n_expanded = expand(p_flash + UNIT_CODE_I_STREAM, p_out->n_dst, &p_appl);
  int code = UNIT_VERDICT_OK;
  if (!p_appl)
    code = UNIT_VERDICT_NO_MEMORY;
  else if (p_out->n_expanded != (int32_t)p_out->n_src)
    code = UNIT_VERDICT_BAD_STREAM;
  else if (p_expected && n_expected != p_out->n_expanded)
    code = UNIT_VERDICT_DIFFERS;
  else if (p_expected && (p_out->i_first_diff = first_diff(p_appl, p_expected, n_expected)) >= 0)
    code = UNIT_VERDICT_DIFFERS;
  else
    code = judge_as_built(p_flash, p_appl, p_out);
  free(p_appl);
  return code;
}

}  // namespace

int UnitImage_judge(const uint8_t* p_flash, int32_t n_expected, const uint8_t* p_expected,
                    UnitVerdict* p_out) {
  p_out->n_src = get_u32(p_flash + UNIT_CODE_I_N_SRC);
  p_out->n_dst = get_u32(p_flash + UNIT_CODE_I_N_DST);
  p_out->n_expanded = -1;
  p_out->i_first_diff = -1;
  p_out->i_flash_diff = -1;
  p_out->a_order = 0;
  if (p_flash[UNIT_CODE_I_SIGNATURE] != UNIT_CODE_SIGNATURE)
    p_out->code = UNIT_VERDICT_NO_SIGNATURE;
  else if (!header_intact(p_flash))
    p_out->code = UNIT_VERDICT_BAD_HEADER;
  else if (p_out->n_src == 0 || p_out->n_src > UNIT_APPL_N || p_out->n_dst == 0 ||
           p_out->n_dst > UNIT_FLASH_N - UNIT_CODE_I_STREAM)
    p_out->code = UNIT_VERDICT_BAD_LENGTHS;
  else
    p_out->code = judge_stream(p_flash, n_expected, p_expected, p_out);
  return p_out->code;
}

const char* UnitVerdict_text(int code) {
  switch (code) {
    case UNIT_VERDICT_OK: return "application started";
    case UNIT_VERDICT_NO_SIGNATURE: return "signature byte missing";
    case UNIT_VERDICT_BAD_HEADER: return "header of the code image damaged";
    case UNIT_VERDICT_BAD_LENGTHS: return "lengths in the header impossible";
    case UNIT_VERDICT_BAD_STREAM: return "LZW stream does not expand to its length";
    case UNIT_VERDICT_DIFFERS: return "application differs from the expected image";
    case UNIT_VERDICT_NO_MEMORY: return "no memory to check the image";
    case UNIT_VERDICT_NOT_AS_BUILT: return "flash is not the code image of its expansion";
    case UNIT_VERDICT_CHUNK_ORDER: return "chunks not programmed in ascending address order";
    case UNIT_VERDICT_BLANK_CHUNK: return "chunk of nothing but 0xFF programmed";
    case UNIT_VERDICT_SIGNATURE_IN_CHUNK: return "signature byte programmed inside a chunk";
    case UNIT_VERDICT_SIGNATURE_NOT_LAST: return "signature byte not programmed alone, last before the start";
    default: return "?";
  }
}

int32_t UnitImage_appl_from_set(uint32_t n_set, const uint32_t* p_a, const uint32_t* p_n,
                                const uint8_t* const* p_p, uint8_t* p_appl) {
  memset(p_appl, 0xFF, UNIT_APPL_N);
  for (uint32_t i = 0; i < n_set; ++i) {
    if (p_a[i] < UNIT_APPL_A || (uint64_t)p_a[i] + p_n[i] > (uint64_t)UNIT_APPL_A + UNIT_APPL_N)
      return -1;
    memcpy(p_appl + (p_a[i] - UNIT_APPL_A), p_p[i], p_n[i]);
  }
  int32_t n_src = (int32_t)UNIT_APPL_N;
  while (n_src > 0 && p_appl[n_src - 1] == 0xFF) --n_src;
  return n_src;
}

int32_t UnitImage_code_from_appl(int32_t n_src, const uint8_t* p_appl, uint8_t* p_code) {
  memset(p_code, 0xFF, UNIT_FLASH_N);
  UlzwUnit* p_unit = UlzwUnit_alloc(UNIT_CODE_MODE);
  int n_dst = -1;
  if (p_unit)
    n_dst = Ulzw_encode(p_unit, (int)(UNIT_FLASH_N - UNIT_CODE_I_STREAM), p_code + UNIT_CODE_I_STREAM,
                        n_src, p_appl);
  UlzwUnit_free(p_unit);
  if (n_dst < 0) return -1;
  p_code[UNIT_CODE_I_SIGNATURE] = UNIT_CODE_SIGNATURE;
  memcpy(p_code + 17, k_fixed, sizeof k_fixed);
  p_code[UNIT_CODE_I_MODE] = UNIT_CODE_MODE;
  put_u32(p_code + UNIT_CODE_I_N_SRC, (uint32_t)n_src);
  put_u32(p_code + UNIT_CODE_I_N_DST, (uint32_t)n_dst);
  int32_t n_used = 0;
  for (uint32_t a = 0; a < UNIT_FLASH_N; a += 256)
    if (!all_ff(p_code + a, 256)) n_used += 256;
  return n_used;
}
