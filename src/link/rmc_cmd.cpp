/*
** rmc_cmd.cpp - the 27 RMC commands of the master, one per function code. Each builds its
** request in the object's buffer, runs one transaction with its own signature length and
** reply length, writes the result line, and copies the returned values out of the buffer
** after the transaction whatever its result. The buffer is shared by request and reply, so
** a command first makes sure that both fit; one that would not is refused before anything
** is sent, where an unchecked one would write or read past the owner's buffer.
*/
#include "rmc.h"
#include "rmc_core.h"
#include "std_io.h"

#include <cinttypes>
#include <cstring>

using namespace rmc_core;

namespace {

/* 1 when a request of n_request bytes and a reply of n_reply bytes fit the buffer; else
** one error line of the command fn and 0. Counts are 64-bit so that n + 9 cannot wrap. */
bool fits(Rmc* p, const char* fn, uint64_t n_request, uint64_t n_reply) {
  uint64_t n = n_request > n_reply ? n_request : n_reply;
  if (p->p_msg_buffer && p->m_msg_buffer > 0 && n <= (uint64_t)p->m_msg_buffer) return true;
  StdIo_printf("error - " __FILE__ " - %s: request of %" PRIu64 " or reply of %" PRIu64
               " bytes does not fit m_msg_buffer=%d\n",
               fn, n_request, n_reply, (int)p->m_msg_buffer);
  return false;
}

/* 1 when a data pointer is there for a nonzero count; else one error line and 0. */
bool has_data(const void* p_data, uint32_t n, const char* fn) {
  if (p_data || n == 0) return true;
  StdIo_printf("error - " __FILE__ " - %s: data pointer == NULL for %" PRIu32 " bytes\n", fn, n);
  return false;
}

/* An optional output: the 32-bit value at the reply offset, when wanted. */
void get_opt(const Rmc* p, uint32_t* p_out, int offset) {
  if (p_out) *p_out = get_u32(p->p_msg_buffer + offset);
}

void get_bytes(const Rmc* p, int offset, uint8_t* p_dst, uint32_t n) {
  for (uint32_t i = 0; i < n; i++) p_dst[i] = get_u8(p->p_msg_buffer + offset + i);
}

void put_bytes(Rmc* p, const uint8_t* p_src, uint32_t n) {
  uint8_t* p_pos = p->p_msg_buffer + p->n_msg;
  for (uint32_t i = 0; i < n; i++) p_pos = put_u8(p_pos, p_src[i]);
  p->n_msg += (int32_t)n;
}

/* A request of the function code alone, answered by its one-byte echo. */
int do_bare(Rmc* p, const char* fn, uint8_t fc) {
  if (!p) return RMC_RES_ERR_ELSE;
  if (!fits(p, fn, 1, 1)) return RMC_RES_ERR_ELSE;
  build_request(p, fc, {});
  return log_result(send_and_receive(p, 1, 1));
}

/* A request of the function code alone, answered by three values at 1, 5, 9. */
int do_get3(Rmc* p, const char* fn, uint8_t fc, uint32_t* p_v1, uint32_t* p_v2, uint32_t* p_v3) {
  if (!p) return RMC_RES_ERR_ELSE;
  if (!fits(p, fn, 1, 13)) return RMC_RES_ERR_ELSE;
  build_request(p, fc, {});
  int r = log_result(send_and_receive(p, 1, 13));
  get_opt(p, p_v1, 1);
  get_opt(p, p_v2, 5);
  get_opt(p, p_v3, 9);
  return r;
}

/* One value sent and echoed, three values returned at 5, 9, 13. */
int do_value_get3(Rmc* p, const char* fn, uint8_t fc, uint32_t v, uint32_t* p_v1, uint32_t* p_v2,
                  uint32_t* p_v3) {
  if (!p) return RMC_RES_ERR_ELSE;
  if (!fits(p, fn, 5, 17)) return RMC_RES_ERR_ELSE;
  build_request(p, fc, {v});
  int r = log_result(send_and_receive(p, 5, 17));
  get_opt(p, p_v1, 5);
  get_opt(p, p_v2, 9);
  get_opt(p, p_v3, 13);
  return r;
}

/* Address, count and the data bytes; the reply echoes address and count. */
int do_write_data(Rmc* p, const char* fn, uint8_t fc, uint32_t adr, const uint8_t* p_bytes,
                  uint32_t n_bytes) {
  if (!p) return RMC_RES_ERR_ELSE;
  if (!fits(p, fn, 9 + (uint64_t)n_bytes, 9) || !has_data(p_bytes, n_bytes, fn))
    return RMC_RES_ERR_ELSE;
  build_request(p, fc, {adr, n_bytes});
  put_bytes(p, p_bytes, n_bytes);
  return log_result(send_and_receive(p, 9, 9));
}

}  // namespace

int Rmc_do_get_cpu_type(Rmc* p, uint32_t* p_v1, uint32_t* p_v2, uint32_t* p_v3) {
  return do_get3(p, "Rmc_do_get_cpu_type", RMC_FC_GET_CPU_TYPE, p_v1, p_v2, p_v3);
}

int Rmc_do_fc06(Rmc* p, uint32_t* p_v1, uint32_t* p_v2, uint32_t* p_v3) {
  return do_get3(p, "Rmc_do_fc06", RMC_FC_06, p_v1, p_v2, p_v3);
}

int Rmc_do_activate_bootloader(Rmc* p) {
  return do_bare(p, "Rmc_do_activate_bootloader", RMC_FC_ACTIVATE_BOOTLOADER);
}

int Rmc_do_start_application(Rmc* p) {
  return do_bare(p, "Rmc_do_start_application", RMC_FC_START_APPLICATION);
}

int Rmc_do_read_mem(Rmc* p, uint32_t adr, uint8_t* p_bytes, uint32_t n_bytes) {
  if (!p) return RMC_RES_ERR_ELSE;
  if (!fits(p, "Rmc_do_read_mem", 9, 9 + (uint64_t)n_bytes) ||
      !has_data(p_bytes, n_bytes, "Rmc_do_read_mem"))
    return RMC_RES_ERR_ELSE;
  build_request(p, RMC_FC_READ_MEM, {adr, n_bytes});
  int r = log_result(send_and_receive(p, 9, 9 + (int)n_bytes));
  get_bytes(p, 9, p_bytes, n_bytes);
  return r;
}

int Rmc_do_jump(Rmc* p, uint32_t adr) {
  if (!p) return RMC_RES_ERR_ELSE;
  if (!fits(p, "Rmc_do_jump", 5, 5)) return RMC_RES_ERR_ELSE;
  build_request(p, RMC_FC_JUMP, {adr});
  return log_result(send_and_receive(p, 5, 5));
}

int Rmc_do_write_xbram(Rmc* p, uint32_t adr, const uint8_t* p_bytes, uint32_t n_bytes) {
  return do_write_data(p, "Rmc_do_write_xbram", RMC_FC_WRITE_XBRAM, adr, p_bytes, n_bytes);
}

int Rmc_do_erase_flash(Rmc* p) { return do_bare(p, "Rmc_do_erase_flash", RMC_FC_ERASE_FLASH); }

int Rmc_do_blank_check_flash(Rmc* p) {
  return do_bare(p, "Rmc_do_blank_check_flash", RMC_FC_BLANK_CHECK_FLASH);
}

int Rmc_do_write_flash(Rmc* p, uint32_t adr, const uint8_t* p_bytes, uint32_t n_bytes) {
  return do_write_data(p, "Rmc_do_write_flash", RMC_FC_WRITE_FLASH, adr, p_bytes, n_bytes);
}

int Rmc_do_fc40(Rmc* p) { return do_bare(p, "Rmc_do_fc40", RMC_FC_40); }

int Rmc_do_fc41(Rmc* p) { return do_bare(p, "Rmc_do_fc41", RMC_FC_41); }

int Rmc_do_write_fc42(Rmc* p, uint32_t adr, const uint8_t* p_bytes, uint32_t n_bytes) {
  return do_write_data(p, "Rmc_do_write_fc42", RMC_FC_WRITE_42, adr, p_bytes, n_bytes);
}

int Rmc_do_fc43(Rmc* p, uint32_t v, uint32_t* p_v1, uint32_t* p_v2) {
  if (!p) return RMC_RES_ERR_ELSE;
  if (!fits(p, "Rmc_do_fc43", 5, 13)) return RMC_RES_ERR_ELSE;
  build_request(p, RMC_FC_43, {v});
  int r = log_result(send_and_receive(p, 5, 13));
  get_opt(p, p_v1, 5);
  get_opt(p, p_v2, 9);
  return r;
}

int Rmc_do_fc44(Rmc* p, uint32_t v1, uint32_t v2, uint32_t v3) {
  if (!p) return RMC_RES_ERR_ELSE;
  if (!fits(p, "Rmc_do_fc44", 13, 5)) return RMC_RES_ERR_ELSE;
  build_request(p, RMC_FC_44, {v1, v2, v3});
  return log_result(send_and_receive(p, 5, 5));
}

int Rmc_do_fc45(Rmc* p, uint32_t* p_v1, uint32_t* p_v2, uint32_t* p_a6, uint32_t* p_v4) {
  if (!p) return RMC_RES_ERR_ELSE;
  if (!fits(p, "Rmc_do_fc45", 1, 37)) return RMC_RES_ERR_ELSE;
  build_request(p, RMC_FC_45, {});
  int r = log_result(send_and_receive(p, 1, 37));
  get_opt(p, p_v1, 1);
  get_opt(p, p_v2, 5);
  for (int i = 0; p_a6 && i < 6; i++) get_opt(p, p_a6 + i, 9 + 4 * i);
  get_opt(p, p_v4, 33);
  return r;
}

int Rmc_do_fc46(Rmc* p, uint32_t v1, uint32_t v2, uint32_t v3, uint32_t v4, uint32_t v5,
                uint32_t v6, uint32_t v7, uint32_t v8) {
  if (!p) return RMC_RES_ERR_ELSE;
  if (!fits(p, "Rmc_do_fc46", 33, 1)) return RMC_RES_ERR_ELSE;
  build_request(p, RMC_FC_46, {v1, v2, v3, v4, v5, v6, v7, v8});
  return log_result(send_and_receive(p, 1, 1));
}

int Rmc_do_read_text(Rmc* p, char* p_text) {
  if (!p_text) return RMC_RES_ERR_ELSE;
  if (!p || !fits(p, "Rmc_do_read_text", 1, 41)) {  // refused: an empty text, still terminated
    memset(p_text, 0, RMC_N_TEXT);
    return RMC_RES_ERR_ELSE;
  }
  build_request(p, RMC_FC_READ_TEXT, {});
  int r = log_result(send_and_receive(p, 1, 41));
  get_bytes(p, 1, (uint8_t*)p_text, RMC_N_TEXT - 1);
  p_text[RMC_N_TEXT - 1] = 0;
  return r;
}

int Rmc_do_write_text(Rmc* p, const char* p_text) {
  if (!p || !p_text) return RMC_RES_ERR_ELSE;
  if (!fits(p, "Rmc_do_write_text", 41, 1)) return RMC_RES_ERR_ELSE;
  build_request(p, RMC_FC_WRITE_TEXT, {});
  put_bytes(p, (const uint8_t*)p_text, RMC_N_TEXT - 1);
  const uint8_t zero = 0;
  put_bytes(p, &zero, 1);
  return log_result(send_and_receive(p, 1, 1));
}

int Rmc_do_fc50(Rmc* p, uint32_t* p_v1, uint32_t* p_v2, uint32_t* p_v3) {
  return do_get3(p, "Rmc_do_fc50", RMC_FC_50, p_v1, p_v2, p_v3);
}

int Rmc_do_fc51(Rmc* p, uint32_t v, uint32_t* p_v1, uint32_t* p_v2, uint32_t* p_v3) {
  return do_value_get3(p, "Rmc_do_fc51", RMC_FC_51, v, p_v1, p_v2, p_v3);
}

int Rmc_do_fc52(Rmc* p, uint32_t* p_v1, uint32_t* p_v2, uint32_t* p_v3) {
  return do_get3(p, "Rmc_do_fc52", RMC_FC_52, p_v1, p_v2, p_v3);
}

int Rmc_do_fc53(Rmc* p, uint32_t v, uint32_t* p_v1, uint32_t* p_v2, uint32_t* p_v3) {
  return do_value_get3(p, "Rmc_do_fc53", RMC_FC_53, v, p_v1, p_v2, p_v3);
}

int Rmc_do_fram_read(Rmc* p, uint32_t i_fram, uint32_t a_fram, uint32_t n_data, uint8_t* p_data) {
  if (!p) return RMC_RES_ERR_ELSE;
  if (!fits(p, "Rmc_do_fram_read", 13, 13 + (uint64_t)n_data) ||
      !has_data(p_data, n_data, "Rmc_do_fram_read"))
    return RMC_RES_ERR_ELSE;
  build_request(p, RMC_FC_FRAM_READ, {i_fram, a_fram, n_data});
  int r = log_result(send_and_receive(p, 13, 13 + (int)n_data));
  if (r != RMC_RES_OK)
    StdIo_printf(STDIO_ERR("Rmc_do_fram_read") "i_fram=%d a_fram=%d n_data=%d", (int)i_fram,
                 (int)a_fram, (int)n_data);
  get_bytes(p, 13, p_data, n_data);
  return r;
}

int Rmc_do_fram_write(Rmc* p, uint32_t i_fram, uint32_t a_fram, uint32_t n_data,
                      const uint8_t* p_data) {
  if (!p) return RMC_RES_ERR_ELSE;
  if (!fits(p, "Rmc_do_fram_write", 13 + (uint64_t)n_data, 13) ||
      !has_data(p_data, n_data, "Rmc_do_fram_write"))
    return RMC_RES_ERR_ELSE;
  build_request(p, RMC_FC_FRAM_WRITE, {i_fram, a_fram, n_data});
  put_bytes(p, p_data, n_data);
  return log_result(send_and_receive(p, 13, 13));
}

int Rmc_do_fc56(Rmc* p, uint32_t* p_v1, uint32_t* p_v2, uint32_t* p_v3, uint32_t* p_v4,
                uint32_t* p_v5, uint32_t* p_v6) {
  if (!p) return RMC_RES_ERR_ELSE;
  if (!fits(p, "Rmc_do_fc56", 1, 25)) return RMC_RES_ERR_ELSE;
  build_request(p, RMC_FC_56, {});
  int r = log_result(send_and_receive(p, 1, 25));
  uint32_t* outs[6] = {p_v1, p_v2, p_v3, p_v4, p_v5, p_v6};
  for (int i = 0; i < 6; i++) get_opt(p, outs[i], 1 + 4 * i);
  return r;
}

int Rmc_do_fc57(Rmc* p, uint32_t v1, uint32_t v2, uint32_t v3, uint32_t v4, uint32_t v5,
                uint32_t v6) {
  if (!p) return RMC_RES_ERR_ELSE;
  if (!fits(p, "Rmc_do_fc57", 25, 1)) return RMC_RES_ERR_ELSE;
  build_request(p, RMC_FC_57, {v1, v2, v3, v4, v5, v6});
  return log_result(send_and_receive(p, 1, 1));
}
