/*
** unit_master.cpp - the download's request sequence over an Rmc master, step by step. Each
** step returns an RMC result; the run stops at the first nonzero one.
*/
#include "unit_master.h"

#include "unit_image.h"
#include "unit_mem.h"
#include "win32_time.h"

#include <cstring>
#include <vector>

namespace {

constexpr uint32_t k_n_chunk = 256;  // bytes per write request

int send_partition(Rmc* p_rmc, uint32_t adr, uint32_t n, const uint8_t* p_bytes,
                   int32_t* p_n_requests) {
  for (uint32_t i = 0; i < n; i += k_n_chunk) {
    uint32_t n_piece = n - i < k_n_chunk ? n - i : k_n_chunk;
    ++*p_n_requests;
    int r = Rmc_do_write_xbram(p_rmc, adr + i, p_bytes + i, n_piece);
    if (r != RMC_RES_OK) return r;
  }
  return RMC_RES_OK;
}

int send_loader(Rmc* p_rmc, const UnitMasterInput* p_in, int32_t* p_n_requests) {
  for (uint32_t k = 0; k < p_in->n_loader_set; ++k) {
    int r = send_partition(p_rmc, p_in->p_loader_a[k], p_in->p_loader_n[k], p_in->p_loader_p[k],
                           p_n_requests);
    if (r != RMC_RES_OK) return r;
  }
  return RMC_RES_OK;
}

bool all_ff(const uint8_t* p, uint32_t n) {
  for (uint32_t i = 0; i < n; ++i)
    if (p[i] != 0xFF) return false;
  return true;
}

/* Every non-blank chunk of the image, the signature byte cleared (it goes last, alone). */
int program_image(Rmc* p_rmc, const uint8_t* p_code, int32_t* p_n_requests) {
  std::vector<uint8_t> image(p_code, p_code + UNIT_FLASH_N);
  image[UNIT_CODE_I_SIGNATURE] = 0xFF;
  for (uint32_t i = 0; i < UNIT_FLASH_N; i += k_n_chunk) {
    if (all_ff(image.data() + i, k_n_chunk)) continue;
    ++*p_n_requests;
    int r = Rmc_do_write_flash(p_rmc, UNIT_FLASH_A + i, image.data() + i, k_n_chunk);
    if (r != RMC_RES_OK) return r;
  }
  return RMC_RES_OK;
}

/* Steps 1 and 2: wake-up, pause, CPU type. */
int run_boot_checks(Rmc* p_rmc, const UnitMasterInput* p_in, UnitMasterResult* p_out) {
  p_rmc->t_receive_ms = p_in->t_boot_reply_ms;
  p_out->step = UNIT_STEP_ACTIVATE;
  ++p_out->n_requests;
  int r = Rmc_do_activate_bootloader(p_rmc);
  Sleep(p_in->t_pause_ms);
  if (r != RMC_RES_OK) return r;
  p_out->step = UNIT_STEP_CPU_TYPE;
  ++p_out->n_requests;
  r = Rmc_do_get_cpu_type(p_rmc, &p_out->cpu_type, nullptr, nullptr);
  if (r == RMC_RES_OK && p_out->cpu_type != 1) r = RMC_RES_DEV_FAIL;
  return r;
}

/* Steps 3 and 4: the flash loader into RAM and the jump to it. */
int run_flash_loader(Rmc* p_rmc, const UnitMasterInput* p_in, UnitMasterResult* p_out) {
  p_out->step = UNIT_STEP_FLASH_LOADER;
  int r = send_loader(p_rmc, p_in, &p_out->n_requests);
  if (r != RMC_RES_OK) return r;
  p_out->step = UNIT_STEP_JUMP;
  ++p_out->n_requests;
  r = Rmc_do_jump(p_rmc, UNIT_RAM_A);
  Sleep(p_in->t_pause_ms);
  p_rmc->t_receive_ms = p_in->t_flash_reply_ms;
  return r;
}

/* Steps 5 to 9: erase, blank check, program, signature, start. */
int run_flash(Rmc* p_rmc, const UnitMasterInput* p_in, UnitMasterResult* p_out) {
  p_out->step = UNIT_STEP_ERASE;
  ++p_out->n_requests;
  int r = Rmc_do_erase_flash(p_rmc);
  if (r != RMC_RES_OK) return r;
  p_out->step = UNIT_STEP_BLANK_CHECK;
  ++p_out->n_requests;
  if ((r = Rmc_do_blank_check_flash(p_rmc)) != RMC_RES_OK) return r;
  p_out->step = UNIT_STEP_PROGRAM;
  if ((r = program_image(p_rmc, p_in->p_code, &p_out->n_requests)) != RMC_RES_OK) return r;
  p_out->step = UNIT_STEP_SIGNATURE;
  ++p_out->n_requests;
  r = Rmc_do_write_flash(p_rmc, UNIT_FLASH_A + UNIT_CODE_I_SIGNATURE,
                         p_in->p_code + UNIT_CODE_I_SIGNATURE, 1);
  if (r != RMC_RES_OK) return r;
  p_out->step = UNIT_STEP_START;
  ++p_out->n_requests;
  return Rmc_do_start_application(p_rmc);
}

}  // namespace

void UnitMasterInput_init(UnitMasterInput* p) {
  memset(p, 0, sizeof *p);
  p->t_pause_ms = 500;
  p->t_boot_reply_ms = 1000;
  p->t_flash_reply_ms = 100000;
}

int UnitMaster_run(Rmc* p_rmc, const UnitMasterInput* p_in, UnitMasterResult* p_out) {
  memset(p_out, 0, sizeof *p_out);
  if (!p_rmc || !p_in || !p_in->p_code) {
    p_out->rmc_result = RMC_RES_ERR_ELSE;
    return RMC_RES_ERR_ELSE;
  }
  int r = run_boot_checks(p_rmc, p_in, p_out);
  if (r == RMC_RES_OK) r = run_flash_loader(p_rmc, p_in, p_out);
  if (r == RMC_RES_OK) r = run_flash(p_rmc, p_in, p_out);
  if (r == RMC_RES_OK) p_out->step = UNIT_STEP_DONE;
  p_out->rmc_result = r;
  return r;
}
