/*
** rmc.cpp - the RMC master: set-up, the send-and-receive transaction and the result line.
** A transaction hands the request to the link, drives the link (with a zero sleep between
** steps) until the frame has left, then until a message arrives, and judges each message:
** exception reply, matching reply, or something to discard. The reply wait has one deadline,
** t_receive_ms after the request left: a discarded message does not extend it, so a partner
** that keeps sending telegrams of its own cannot keep the request waiting. A request that
** does not get off within t_send_ms of time on the line (a message box that keeps the link
** away does not count) is withdrawn from the link, so it never goes out later and the next
** request starts clean. A message that the link holds while the request has not yet left is
** dropped when a newer frame waits for it. Deadlines come from the 32-bit tick, compared by
** signed difference.
*/
#include "rmc.h"

#include "csp.h"
#include "rmc_core.h"
#include "std_io.h"
#include "win32_time.h"

namespace {

/* Padded names of the result codes 1 to 10. */
const char* const RES_NAMES[] = {
    "RMC_RES_ILL_FC      ", "RMC_RES_ILL_DATA_ADR", "RMC_RES_ILL_DATA_VAL", "RMC_RES_DEV_FAIL    ",
    "RMC_RES_ACK         ", "RMC_RES_BUSY        ", "RMC_RES_NAK         ", "RMC_RES_ERR_SEND    ",
    "RMC_RES_ERR_REC     ", "RMC_RES_ERR_ELSE    ",
};

/* 1 while the deadline still lies ahead of the tick. */
bool before(uint32_t t_deadline) { return (int32_t)(t_deadline - GetTickCount()) > 0; }

/* The link holds a message that came before the request has even left, and a newer frame
** waits for its buffer: that message cannot answer the request. It is taken out and
** dropped, else the newer frame would be refused (and the partner, repeating it, would keep
** the link from sending the request at all). */
void drop_stale(Rmc* p) {
  int n = Co3964_ib_get_msg(p->p_co, p->m_msg_buffer, p->p_msg_buffer);
  if (n >= 0) p->n_msg = n;
}

/* Drives the link until the outbound message has left the pending state (sent or given
** up: both count as sent). 1, or 0 when t_send_ms passed first. The send time-out counts the
** time in which the link was on the line: while its sleep callback kept it away (a message
** box of the window, perhaps two in a row), nothing could have gone out, so the deadline
** moves on by that time. */
int wait_until_sent(Rmc* p) {
  uint32_t t_deadline = GetTickCount() + p->t_send_ms;
  for (;;) {
    if (Co3964_ob_get_state(p->p_co) != 2) return 1;
    if (!before(t_deadline)) return 0;
    const uint32_t t_away = Co3964_get_t_away_ms(p->p_co);
    const int r = Co3964_do(p->p_co);
    t_deadline += Co3964_get_t_away_ms(p->p_co) - t_away;
    if (r == CO3964_DO_IB_WANTED && Co3964_ob_get_state(p->p_co) == 2) drop_stale(p);
    Csp_sleep_ms(0);
  }
}

/* Hands the message to the link and waits until it has left. 1 sent, 0 not: then the
** message is withdrawn, and nothing is left pending that could go out later or block the
** next request. */
int send_message(Rmc* p, int32_t n, const uint8_t* p_msg) {
  if (!p) return 0;
  int r = Co3964_ob_set_msg(p->p_co, n, p_msg);
  if (r != 2) {
    StdIo_printf(STDIO_ERR("send_message") "unexpected result %d", r);
    return 0;
  }
  if (wait_until_sent(p)) return 1;
  Co3964_ob_withdraw(p->p_co);
  return 0;
}

/* Drives the link until it holds a message; one that already waits is taken at once.
** 1 a message waits, 0 the deadline passed. */
int wait_until_received(Rmc* p, uint32_t t_deadline) {
  for (;;) {
    if (Co3964_ib_get_n_msg(p->p_co) >= 0) return 1;
    if (!before(t_deadline)) return 0;
    Co3964_do(p->p_co);
    Csp_sleep_ms(0);
  }
}

/* Waits until t_deadline for a message and takes it into p_dst of m bytes. Its length, or
** -1 for a time-out or a message longer than m (the link has dropped it). */
int receive_message(Rmc* p, uint32_t t_deadline, int32_t m, uint8_t* p_dst) {
  if (!p || !wait_until_received(p, t_deadline)) return -1;
  int r = Co3964_ib_get_msg(p->p_co, m, p_dst);
  return r < 0 ? -1 : r;
}

/* An exception reply: two bytes, the request's function code with bit 7 set, a code 1..7. */
bool is_exception(const uint8_t* p_msg, int n, uint8_t fc) {
  return n == 2 && (p_msg[0] & RMC_FC_EXCEPTION) && (uint8_t)(p_msg[0] & 0x7F) == fc &&
         p_msg[1] >= 1 && p_msg[1] <= 7;
}

}  // namespace

namespace rmc_core {

uint8_t* put_u8(uint8_t* p_pos, uint8_t v) {
  *p_pos = v;
  return p_pos + 1;
}

uint8_t* put_u32(uint8_t* p_pos, uint32_t v) {
  for (int i = 0; i < 4; i++) p_pos = put_u8(p_pos, (uint8_t)(v >> (8 * i)));
  return p_pos;
}

uint8_t get_u8(const uint8_t* p_pos) { return *p_pos; }

uint32_t get_u32(const uint8_t* p_pos) {
  return (uint32_t)p_pos[0] | (uint32_t)p_pos[1] << 8 | (uint32_t)p_pos[2] << 16 |
         (uint32_t)p_pos[3] << 24;
}

int build_request(Rmc* p, uint8_t fc, std::initializer_list<uint32_t> params) {
  uint8_t* p_pos = put_u8(p->p_msg_buffer, fc);
  for (uint32_t v : params) p_pos = put_u32(p_pos, v);
  p->n_msg = (int32_t)(p_pos - p->p_msg_buffer);
  return 1;
}

int signa_is_ok(int n, const uint8_t* p_signa_a, const uint8_t* p_signa_b) {
  if (!p_signa_a) return StdIo_puts(STDIO_ERR("signa_is_ok") "p_signa_a == NULL"), 0;
  if (!p_signa_b) return StdIo_puts(STDIO_ERR("signa_is_ok") "p_signa_b == NULL"), 0;
  if (n <= 0) return 0;
  for (int i = 0; i < n; i++)
    if (p_signa_a[i] != p_signa_b[i]) return 0;
  return 1;
}

int send_and_receive(Rmc* p, int n_signa, int n_expected) {
  if (!p) return StdIo_puts(STDIO_ERR("send_and_receive") "p == NULL"), RMC_RES_ERR_ELSE;
  if (n_signa < 0)
    return StdIo_puts(STDIO_ERR("send_and_receive") "n_signa < 0"), RMC_RES_ERR_ELSE;
  if (n_signa > N_SIGNA)
    return StdIo_puts(STDIO_ERR("send_and_receive") "n_signa > N_SIGNA"), RMC_RES_ERR_ELSE;
  uint8_t signa[N_SIGNA];
  for (int i = 0; i < n_signa; i++) signa[i] = p->p_msg_buffer[i];
  const uint8_t fc = p->p_msg_buffer[0];
  if (!send_message(p, p->n_msg, p->p_msg_buffer)) return RMC_RES_ERR_SEND;
  const uint32_t t_deadline = GetTickCount() + p->t_receive_ms;  // one for every message
  for (;;) {
    int n = receive_message(p, t_deadline, p->m_msg_buffer, p->p_msg_buffer);
    if (n < 0) return RMC_RES_ERR_REC;
    p->n_msg = n;
    const uint8_t* p_msg = p->p_msg_buffer;
    if (n == 0) continue;
    if (is_exception(p_msg, n, fc)) return p_msg[1];
    if (n < n_signa || !signa_is_ok(n_signa, p_msg, signa)) continue;
    return n == n_expected ? RMC_RES_OK : RMC_RES_ERR_REC;
  }
}

int log_result(int r) {
  if (r == 0) return r;
  // The function-name field is empty: the colon follows the hyphen at once.
  const char* p_name = Rmc_res_get_name(r);
  if (p_name)
    StdIo_printf("error - " __FILE__ " -: send_and_receive returned %d (%s)", r, p_name);
  else
    StdIo_printf("error - " __FILE__ " -: send_and_receive returned %d (?]", r);
  return r;
}

}  // namespace rmc_core

Rmc* Rmc_init_as_slave(Rmc* p, int32_t m_msg_buffer, uint8_t* p_msg_buffer, Co3964* p_co,
                       int32_t a1, int32_t a2, int32_t a3, uint32_t b1, uint32_t b2, uint32_t b3,
                       uint32_t b4, uint32_t b5, uint32_t b6, uint32_t b7, uint32_t b8, uint32_t b9,
                       uint32_t b10, uint32_t b11, uint32_t b12, uint32_t b13, uint32_t b14,
                       uint32_t b15, uint32_t b16, uint32_t b17, uint32_t b18, uint32_t b19,
                       uint32_t b20, uint32_t b21, uint32_t b22, uint32_t b23) {
  if (!p) return nullptr;
  bool failed = false;
  p->m_msg_buffer = m_msg_buffer;
  if (m_msg_buffer < 1) {
    StdIo_puts(STDIO_ERR("Rmc_init_as_slave") "p -> m_msg_buffer = m_msg_buffer)");
    failed = true;
  }
  p->n_msg = 0;
  p->p_msg_buffer = p_msg_buffer;
  if (!p_msg_buffer) {
    StdIo_puts(STDIO_ERR("Rmc_init_as_slave") "p -> p_msg_buffer = p_msg_buffer)");
    failed = true;
  }
  p->p_co = p_co;
  if (!p_co) {
    StdIo_puts(STDIO_ERR("Rmc_init_as_slave") "p -> p_co = p_co)");
    failed = true;
  }
  p->t_send_ms = 5000;
  p->t_receive_ms = 5000;
  const int32_t a[3] = {a1, a2, a3};
  const uint32_t b[23] = {b1,  b2,  b3,  b4,  b5,  b6,  b7,  b8,  b9,  b10, b11, b12,
                          b13, b14, b15, b16, b17, b18, b19, b20, b21, b22, b23};
  for (int i = 0; i < 3; i++) p->slave_cfg_a[i] = a[i];
  p->slave_const[0] = 0;
  p->slave_const[1] = 1;
  for (int i = 0; i < 23; i++) p->slave_cfg_b[i] = b[i];
  return failed ? nullptr : p;
}

Rmc* Rmc_init_as_master(Rmc* p, int32_t m_msg_buffer, uint8_t* p_msg_buffer, Co3964* p_co) {
  return Rmc_init_as_slave(p, m_msg_buffer, p_msg_buffer, p_co, -1, -1, -1, 0, 0, 0, 0, 0, 0, 0, 0,
                           0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0);
}

const char* Rmc_res_get_name(int r) { return (r >= 1 && r <= 10) ? RES_NAMES[r - 1] : nullptr; }
