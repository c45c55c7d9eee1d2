/*
** root_prep.cpp - lazy preparation of the images the download sends: the two image sets
** over the embedded tables, the application image laid from its set, and the compressed
** code image. It runs inside the first download while the user waits, so the scans for
** blank space go over the image bytes directly, a word at a time; everything else is one
** pass of the writer and one of the LZW coder.
*/
#include "root_prep.h"

#include "embedded_sets.h"
#include "std_io.h"
#include "uv_mem_presets.h"

#include <cstddef>
#include <cstdint>
#include <cstring>

namespace {

int g_is_loaded = 0;  // process-wide: set by the first attempt that made all four objects

RootPrepSeam g_seam = {UvMem_alloc_as_zent_appl, UvMem_alloc_as_zent_code_504, UlzwUnit_alloc, MsrLin_init_val};

const uint8_t kSignature[5] = {0x47, 0x11, 0x01, 0x03, 0x03};  // offsets 16..20

void put_u32_le(uint8_t* p, uint32_t v) {
  for (int i = 0; i < 4; i++) p[i] = (uint8_t)(v >> (8 * i));
}

/* A block size below 1 would never end the block count: one error line, -1. */
int log_bad_block(const char* p_fn, int n_block) {
  StdIo_printf("error - " __FILE__ " - %s: n_block < 1 (n_block=%d)\n", p_fn, n_block);
  return -1;
}

/* The 8 bytes at p as one word (any alignment). */
uint64_t word_at(const uint8_t* p) {
  uint64_t w;
  memcpy(&w, p, sizeof(w));
  return w;
}

/* 1 when the n bytes at p are all 0xFF. Blank space is most of the application image, so
** it is tested 32 bytes at a time. */
int is_blank(const uint8_t* p, size_t n) {
  size_t i = 0;
  for (; i + 32 <= n; i += 32)
    if ((word_at(p + i) & word_at(p + i + 8) & word_at(p + i + 16) & word_at(p + i + 24)) != UINT64_MAX)
      return 0;
  for (; i < n; i++)
    if (p[i] != 0xFF) return 0;
  return 1;
}

/* Steps 2 and 3: the sets borrow the embedded tables. 0, or 1 when one was not made. */
int make_sets(Root* p) {
  int is_failed = 0;
  p->p_set_loader = g_seam.cb_msr_lin_init_val(&p->set_loader, (int)fld_02_get_n_set(),
                                                fld_02_get_p_set_a_bytes(), fld_02_get_p_set_n_bytes(),
                                                NULL, fld_02_get_p_set_p_bytes(), (int)fld_02_get_n_heap(),
                                                fld_02_get_p_heap());
  if (p->p_set_loader == NULL) {
    StdIo_puts(STDIO_ERR("check_is_loaded")
               "p -> p_set_loader = MsrLin_init_val (& p -> set_loader, fld_02_get_n_set (), "
               "fld_02_get_p_set_a_bytes (), fld_02_get_p_set_n_bytes (), NULL , "
               "fld_02_get_p_set_p_bytes (), fld_02_get_n_heap (), fld_02_get_p_heap ()))");
    is_failed = 1;
  }
  p->p_set_appl = g_seam.cb_msr_lin_init_val(&p->set_appl, (int)zent_get_n_set(), zent_get_p_set_a_bytes(),
                                              zent_get_p_set_n_bytes(), NULL, zent_get_p_set_p_bytes(),
                                              (int)zent_get_n_heap(), zent_get_p_heap());
  if (p->p_set_appl == NULL) {
    StdIo_puts(STDIO_ERR("check_is_loaded")
               "p -> p_set_appl = MsrLin_init_val (& p -> set_appl, zent_get_n_set (), "
               "zent_get_p_set_a_bytes (), zent_get_p_set_n_bytes (), NULL , "
               "zent_get_p_set_p_bytes (), zent_get_n_heap (), zent_get_p_heap ()))");
    is_failed = 1;
  }
  return is_failed;
}

/* Steps 4 to 7: both images, each built at once. 0, or 1 when an image was not made. */
int make_images(Root* p) {
  int is_failed = 0;
  if ((p->p_vm = g_seam.cb_alloc_appl()) == NULL) {
    StdIo_puts(STDIO_ERR("check_is_loaded") "p -> p_vm = UvMem_alloc_as_zent_appl ())");
    is_failed = 1;
  }
  p->n_block_vm = ROOT_N_BLOCK;
  p->n_vm = build_p_vm_from_p_set(p->p_vm, p->p_set_appl, p->n_block_vm);
  if ((p->p_vmc = g_seam.cb_alloc_code()) == NULL) {
    StdIo_puts(STDIO_ERR("check_is_loaded") "p -> p_vmc = UvMem_alloc_as_zent_code_504 ())");
    is_failed = 1;
  }
  p->n_block_vmc = ROOT_N_BLOCK;
  p->n_vmc = build_p_vmc_from_p_vm(p->p_vmc, p->p_vm, p->n_block_vmc);
  return is_failed;
}

/* The header of the code image around a stream of n_dst bytes from n_src bytes. */
void write_header(uint8_t* p_vmc, uint32_t n_src, uint32_t n_dst) {
  for (int i = 0; i < 5; i++) p_vmc[ROOT_VMC_I_SIGNATURE + i] = kSignature[i];
  p_vmc[ROOT_VMC_I_MODE] = ROOT_LZW_MODE;
  put_u32_le(p_vmc + ROOT_VMC_I_N_SRC, n_src);
  put_u32_le(p_vmc + ROOT_VMC_I_N_DST, n_dst);
}

/* Steps 4 to 7 of the compression: the result, -1 on failure. */
int compress_into(UlzwUnit* unit, UvMem* p_vmc, const UvMem* p_vm, int n_block) {
  if (unit == NULL) {
    StdIo_puts(STDIO_ERR("build_p_vmc_from_p_vm") "UlzwUnit_alloc failed");
    return -1;
  }
  int n_src = get_n_bytes_used(p_vm);
  uint8_t* p_code = UvMem_get_p_vmem(p_vmc);
  int n_dst = Ulzw_encode(unit, (int)UvMem_get_n_vmem(p_vmc) - ROOT_VMC_N_HEAD, p_code + ROOT_VMC_N_HEAD,
                          n_src, UvMem_get_p_vmem(p_vm));
  if (n_dst < 0) {
    StdIo_puts(STDIO_ERR("build_p_vmc_from_p_vm") "Ulzw_encode failed");
    return -1;
  }
  write_header(p_code, (uint32_t)n_src, (uint32_t)n_dst);
  int res = get_n_bytes_in_used_blocks(p_vmc, n_block);
  StdIo_printf(STDIO_INFO("build_p_vmc_from_p_vm") "successfully compressed, %d bytes totally", res);
  return res;
}

}  // namespace

int check_is_loaded(Root* p) {
  if (g_is_loaded || p == NULL) return g_is_loaded;
  int is_failed = make_sets(p);
  is_failed |= make_images(p);
  if (!is_failed) g_is_loaded = 1;
  return g_is_loaded;
}

int build_p_vm_from_p_set(UvMem* p_vm, const MsrLin* p_set, int n_block) {
  if (p_vm == NULL) StdIo_puts(STDIO_ERR("build_p_vm_from_p_set") "p_vm == NULL");
  if (p_set == NULL) StdIo_puts(STDIO_ERR("build_p_vm_from_p_set") "p_set == NULL");
  // An image whose build failed is left blank, never half written or unwritten: the code
  // image is still made from it, and an empty one cannot be compressed, so no download
  // programs a part of the application as if it were the whole.
  UvMem_fill(p_vm, 0xFF);
  if (p_vm == NULL || p_set == NULL) return -1;
  if (n_block < 1) return log_bad_block("build_p_vm_from_p_set", n_block);
  if (UvMem_MsrLin_write(p_vm, p_set, NULL) != UVMEM_WRITE_OK) {
    StdIo_puts(STDIO_ERR("build_p_vm_from_p_set") "UvMem_MsrLin_write failed");
    UvMem_fill(p_vm, 0xFF);
    return -1;
  }
  int res = get_n_bytes_in_used_blocks(p_vm, n_block);
  StdIo_puts(STDIO_INFO("build_p_vm_from_p_set") "ok");
  return res;
}

int build_p_vmc_from_p_vm(UvMem* p_vmc, const UvMem* p_vm, int n_block) {
  if (p_vmc == NULL) StdIo_puts(STDIO_ERR("build_p_vmc_from_p_vm") "p_vmc == NULL");
  if (p_vm == NULL) StdIo_puts(STDIO_ERR("build_p_vmc_from_p_vm") "p_vm == NULL");
  if (p_vmc == NULL || p_vm == NULL) return -1;
  if (n_block < 1) return log_bad_block("build_p_vmc_from_p_vm", n_block);
  UvMem_fill(p_vmc, 0xFF);
  UlzwUnit* unit = g_seam.cb_ulzw_alloc(ROOT_LZW_MODE);
  int res = compress_into(unit, p_vmc, p_vm, n_block);
  UlzwUnit_free(unit);
  return res;
}

int get_n_bytes_in_used_blocks(const UvMem* p_vm, int n_block) {
  if (p_vm == NULL || n_block < 1) return -1;
  // Bytes past the image's end count as 0xFF, so a last partial block is tested in part.
  const uint8_t* p_bytes = UvMem_get_p_vmem(p_vm);
  size_t n_vmem = UvMem_get_n_vmem(p_vm);
  int sum = 0;
  for (size_t i = 0; i < n_vmem; i += (size_t)n_block) {
    size_t n = n_vmem - i < (size_t)n_block ? n_vmem - i : (size_t)n_block;
    if (!is_blank(p_bytes + i, n)) sum += n_block;
  }
  return sum;
}

int get_n_bytes_used(const UvMem* p_vm) {
  if (p_vm == NULL) return -1;
  const uint8_t* p_bytes = UvMem_get_p_vmem(p_vm);
  size_t n = UvMem_get_n_vmem(p_vm);
  while (n >= 32 && is_blank(p_bytes + n - 32, 32)) n -= 32;
  while (n > 0 && p_bytes[n - 1] == 0xFF) n--;
  return (int)n;
}

void RootPrep_set_seam(const RootPrepSeam* p_seam) {
  g_seam.cb_alloc_appl = (p_seam && p_seam->cb_alloc_appl) ? p_seam->cb_alloc_appl : UvMem_alloc_as_zent_appl;
  g_seam.cb_alloc_code = (p_seam && p_seam->cb_alloc_code) ? p_seam->cb_alloc_code : UvMem_alloc_as_zent_code_504;
  g_seam.cb_ulzw_alloc = (p_seam && p_seam->cb_ulzw_alloc) ? p_seam->cb_ulzw_alloc : UlzwUnit_alloc;
  g_seam.cb_msr_lin_init_val =
      (p_seam && p_seam->cb_msr_lin_init_val) ? p_seam->cb_msr_lin_init_val : MsrLin_init_val;
}

void RootPrep_forget(void) { g_is_loaded = 0; }
