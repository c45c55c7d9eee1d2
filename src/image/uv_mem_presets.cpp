/*
** uv_mem_presets.cpp - memory-image presets and writers. Every byte goes through
** UvMem_write_byte, so a partition that leaves the image or reaches a write-protect zone
** stops the writer at the first refused address, with what came before it written.
*/
#include "uv_mem_presets.h"

#include "std_io.h"

UvMem* UvMem_alloc_as_zent_appl(void) {
  return UvMem_alloc_val(1, 0x400000, 0x100000, 0, nullptr, nullptr);
}

UvMem* UvMem_alloc_as_zent_code_504(void) {
  return UvMem_alloc_val(1, 0x180000, 0x60000, 0, nullptr, nullptr);
}

UvMem* UvMem_alloc_as_ff0000(void) {
  static const uint32_t wpz_a[1] = {0xFFA000};  // the one protected zone ...
  static const uint32_t wpz_n[1] = {0x2000};    // ... and its size in bytes
  return UvMem_alloc_val(0, 0xFF0000, 0x10000, 1, wpz_a, wpz_n);
}

UvMem* UvMem_alloc_as_1e0000(void) {
  return UvMem_alloc_val(1, 0x1E0000, 0x14000, 0, nullptr, nullptr);
}

UvMem* UvMem_alloc_as_080000(void) {
  return UvMem_alloc_val(1, 0x80000, 0x74000, 0, nullptr, nullptr);
}

UvMem* UvMem_alloc_as_000000(void) { return UvMem_alloc_val(1, 0, 0x20000, 0, nullptr, nullptr); }

/* Writes n bytes from p_src at a on. 0, or 2 with the first refused address in *p_a_fail. */
static int write_bytes(UvMem* p_vm, uint32_t a, uint32_t n, const uint8_t* p_src,
                       uint32_t* p_a_fail) {
  for (uint32_t j = 0; j < n; j++) {
    if (!UvMem_write_byte(p_vm, a + j, p_src[j])) {
      if (p_a_fail) *p_a_fail = a + j;
      return UVMEM_WRITE_REFUSED;
    }
  }
  return UVMEM_WRITE_OK;
}

/* 1 when every table a writer reads is present for every partition that has bytes; a set
** from MsrLin_init_val is not checked when it is made. */
static int set_is_complete(const MsrLin* p_set) {
  int n_set = MsrLin_get_n_set(p_set);
  if (n_set <= 0) return 1;
  const uint32_t* p_n = MsrLin_get_p_set_n_bytes(p_set);
  const uint8_t* const* p_p = MsrLin_get_p_set_p_bytes(p_set);
  if (!MsrLin_get_p_set_a_bytes(p_set) || !p_n || !p_p) return 0;
  for (int i = 0; i < n_set; i++) {
    if (p_n[i] > 0 && !p_p[i]) return 0;
  }
  return 1;
}

/* The note on a partition whose first and last byte disagree with its range test. */
static void note_partition(const UvMem* p_vm, uint32_t a, uint32_t n) {
  uint32_t a_vm = UvMem_get_a_vmem(p_vm);
  uint32_t e_vm = a_vm + UvMem_get_n_vmem(p_vm);
  int is_valid_0 = a >= a_vm && a + n <= e_vm ? 1 : 0;
  int is_valid_1 = UvMem_adr_is_writable(p_vm, a) && UvMem_adr_is_writable(p_vm, a + n - 1);
  if (is_valid_0 != is_valid_1)
    StdIo_printf("partition: a_mem=%08x e_mem=%08x, is_valid_0=%d, is_valid_1=%d\n", a, a + n,
                 is_valid_0, is_valid_1);
}

int UvMem_MsrLin_write(UvMem* p_vm, const MsrLin* p_set, uint32_t* p_a_fail) {
  if (!p_vm || !p_set || !set_is_complete(p_set)) return UVMEM_WRITE_BAD_ARG;
  uint32_t a_vm = UvMem_get_a_vmem(p_vm);
  StdIo_printf("**** a_vm=%08x e_vm=%08x\n", a_vm, a_vm + UvMem_get_n_vmem(p_vm));
  int n_set = MsrLin_get_n_set(p_set);
  const uint32_t* p_a = MsrLin_get_p_set_a_bytes(p_set);
  const uint32_t* p_n = MsrLin_get_p_set_n_bytes(p_set);
  const uint8_t* const* p_p = MsrLin_get_p_set_p_bytes(p_set);
  for (int i = 0; i < n_set; i++) {
    note_partition(p_vm, p_a[i], p_n[i]);
    int rc = write_bytes(p_vm, p_a[i], p_n[i], p_p[i], p_a_fail);
    if (rc != UVMEM_WRITE_OK) return rc;
  }
  return UVMEM_WRITE_OK;
}

int UvMem_MsRecSet_write(UvMem* p_vm, const MsRecSet* p_set, uint32_t* p_a_fail) {
  if (!p_vm || !p_set) return UVMEM_WRITE_BAD_ARG;
  int32_t n_rec = Us_get_n_elem(p_set);
  for (int32_t i = 0; i < n_rec; i++) {
    const MsRec* r = MsRecSet_idx_to_ptr(p_set, i);
    int rc = write_bytes(p_vm, MsRec_get_adr(r), MsRec_get_n_bytes(r), MsRec_get_p_bytes(r),
                         p_a_fail);
    if (rc != UVMEM_WRITE_OK) return rc;
  }
  return UVMEM_WRITE_OK;
}

/* Lays one record into an image filled with fill. 2 on a refused write (writing ends), 3
** when an address was already written (kept, warned), else 0. */
static int write_record_ex(UvMem* p_vm, const MsRec* r, uint8_t fill, uint32_t* p_a_fail) {
  int rc = UVMEM_WRITE_OK;
  uint32_t a = MsRec_get_adr(r);
  uint32_t n = MsRec_get_n_bytes(r);
  const uint8_t* p_src = MsRec_get_p_bytes(r);
  for (uint32_t j = 0; j < n; j++, a++) {
    if (!UvMem_adr_is_writable(p_vm, a)) {
      if (p_a_fail) *p_a_fail = a;
      return UVMEM_WRITE_REFUSED;
    }
    if (UvMem_read_byte(p_vm, a) != fill) {
      if (p_a_fail) *p_a_fail = a;
      StdIo_printf(STDIO_WARN("UvMem_MsRecSet_write_ex") "multiple write access at address %08x",
                   a);
      rc = UVMEM_WRITE_MULTIPLE;
      continue;
    }
    UvMem_write_byte(p_vm, a, p_src[j]);
  }
  return rc;
}

int UvMem_MsRecSet_write_ex(UvMem* p_vm, const MsRecSet* p_set, uint8_t fill,
                            uint32_t* p_a_fail) {
  if (!p_vm || !p_set) return UVMEM_WRITE_BAD_ARG;
  int rc = UVMEM_WRITE_OK;
  int32_t n_rec = Us_get_n_elem(p_set);
  for (int32_t i = 0; i < n_rec; i++) {
    int rc_rec = write_record_ex(p_vm, MsRecSet_idx_to_ptr(p_set, i), fill, p_a_fail);
    if (rc_rec == UVMEM_WRITE_REFUSED) return rc_rec;
    if (rc_rec == UVMEM_WRITE_MULTIPLE) rc = rc_rec;
  }
  return rc;
}
