/*
** root_prep.h - the image preparation of the Root module (internal to it and its tests):
** the first image getter turns the two embedded image sets into what the download sends.
** The flash-loader set goes out unchanged; the application set is laid into the 1 MiB
** application image (0xFF where nothing is written) and its used part is compressed in
** LZW mode 144 into the code image that is programmed at 0x180000:
**   offset 0..15 0xFF | 16..20 47 11 01 03 03 | 21..31 0xFF | 32 mode 0x90 |
**   33..36 n_src | 37..40 n_dst (little-endian) | 41.. the stream | 0xFF to the end
*/
#ifndef ZENT_ROOT_PREP_H
#define ZENT_ROOT_PREP_H

#include "root.h"
#include "ulzw.h"

#define ROOT_VMC_I_SIGNATURE 16  // offset of the signature byte 'G' (target 0x180010)
#define ROOT_VMC_I_MODE 32       // offset of the LZW mode
#define ROOT_VMC_I_N_SRC 33      // offset of the uncompressed length
#define ROOT_VMC_I_N_DST 37      // offset of the stream length
#define ROOT_VMC_N_HEAD 41       // offset of the stream: bytes before it
#define ROOT_LZW_MODE 0x90       // mode 144: 16-bit codes with a flag bit

/* Runs the preparation unless an earlier one made both sets and both images (the flag is
** one for the whole process). An attempt in which one of those four could not be made is
** repeated at the next call; a build that failed leaves -1 in n_vm or n_vmc and is not
** repeated. The images of a failed attempt are not released when a later attempt
** replaces them: a caller may still hold them. The prepared flag: 1 or 0. */
int check_is_loaded(Root* p);

/* Fills p_vm with 0xFF and lays p_set into it in table order. The bytes of the image's
** used blocks of n_block bytes, or -1 (one error line per NULL argument, or the writer
** refused a byte, or n_block is below 1); after -1 the image, if given, is all 0xFF. */
int build_p_vm_from_p_set(UvMem* p_vm, const MsrLin* p_set, int n_block);

/* Fills p_vmc with 0xFF and compresses p_vm up to its last byte that is not 0xFF behind
** the code image header. The bytes of the used blocks of p_vmc, or -1 (error lines for
** NULL arguments, n_block below 1, a coder that cannot be made, or a stream that does not
** fit; then no header is written). */
int build_p_vmc_from_p_vm(UvMem* p_vmc, const UvMem* p_vm, int n_block);

/* Bytes of the blocks of n_block bytes from the image's start that are not all 0xFF; -1
** for a NULL image or n_block below 1. */
int get_n_bytes_in_used_blocks(const UvMem* p_vm, int n_block);

/* Position of the image's last byte that is not 0xFF, plus 1; 0 for an all-0xFF image,
** -1 for NULL. */
int get_n_bytes_used(const UvMem* p_vm);

/* Test seam: the allocations of the preparation. NULL (or a NULL member) restores the
** real call. */
typedef struct RootPrepSeam {
  UvMem* (*cb_alloc_appl)(void);       // UvMem_alloc_as_zent_appl
  UvMem* (*cb_alloc_code)(void);       // UvMem_alloc_as_zent_code_504
  UlzwUnit* (*cb_ulzw_alloc)(int mode);  // UlzwUnit_alloc
  decltype(&MsrLin_init_val) cb_msr_lin_init_val;  // MsrLin_init_val, for both sets
} RootPrepSeam;
void RootPrep_set_seam(const RootPrepSeam* p_seam);

/* Test seam: forgets that the process has prepared its images. */
void RootPrep_forget(void);

#endif
