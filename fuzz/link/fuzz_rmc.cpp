/*
** fuzz_rmc.cpp - the RMC master and its 27 commands against a partner that answers with
** whatever the input says. The master is an Rmc over a Co3964 (block check, high priority)
** on an in-memory line with a virtual millisecond clock (installed as the platform clock, so
** the master's own deadlines run on it too; a zero sleep is one millisecond). The partner is
** a small 3964R procedure of its own, driven from the master's callbacks: it acknowledges
** each request frame (or refuses it), then sends the replies that the input chooses for it:
** the right reply, one of a wrong length, exception replies with any code, arbitrary bytes
** of any length, empty messages, each after its own delay and sometimes with a wrong block
** check. Buffer sizes, the reply time-out and each command's arguments come from the input;
** data sources and destinations are heap blocks of exactly their size.
**
** Checked after every command: the result is an RMC result code (0 to 10); 10 exactly when
** the request or the expected reply does not fit the master's buffer, and then nothing went
** out; 0 only with a reply of the expected length that echoes the request's signature in
** the buffer; 1 to 7 only with an exception reply of the request's function code and that
** code; a text read is always terminated; the link's state is consistent; a request that
** ends with RMC_RES_ERR_SEND is not left pending in the link. And the reply wait has one
** deadline: once the request has left the link, the master starts no step of the link
** t_receive_ms or more later, however many messages it discarded meanwhile (one step is one
** exchange, and only its first pass finds the link idle).
*/
#include "co3964.h"
#include "rmc.h"
#include "std_io.h"
#include "win32_time.h"

#include <fuzzer/FuzzedDataProvider.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <algorithm>
#include <deque>
#include <memory>
#include <vector>

namespace {

typedef std::vector<uint8_t> Bytes;

constexpr int k_stx = 0x02, k_etx = 0x03, k_dle = 0x10, k_nak = 0x15;
constexpr uint32_t k_t_ack_ms = 2000;  // the partner's own wait for an acknowledgement

/* One reply the partner is to send, and when. */
struct Reply {
  uint32_t t_due;
  Bytes msg;
  bool bad_bcc;
};

struct Harness {
  FuzzedDataProvider* p_in = nullptr;
  uint32_t now = 0;
  std::deque<std::pair<uint32_t, uint8_t>> to_master;  // (arrival, byte)
  Co3964 co{};
  // The partner's procedure.
  enum { P_IDLE, P_RX, P_RX_DLE, P_RX_BCC, P_TX_WAIT_DLE, P_TX_WAIT_ACK } st = P_IDLE;
  Bytes frame;                 // the frame being received
  uint8_t bcc = 0;
  std::deque<Reply> replies;   // waiting to be sent, in order
  uint32_t t_wait_end = 0;     // end of the partner's wait for DLE
  int n_tx_try = 0;
  uint32_t n_stx_from_master = 0;
  // The command in progress: what its reply must look like.
  int expected_len = 0;        // reply length
  int n_signa = 0;             // request bytes the reply echoes
  // The command in progress: when its request left the link, and its reply time-out.
  bool in_cmd = false, seen_pending = false, left = false;
  uint32_t t_left = 0, t_receive_ms = 0;
};

Harness* g_h = nullptr;

[[noreturn]] void fail(const char* p_what, int r) {
  fprintf(stderr, "fuzz_rmc: %s (result %d)\n", p_what, r);
  abort();
}

uint8_t bcc_of(const Bytes& m) {
  uint8_t x = 0;
  for (uint8_t b : m) x ^= b;  // a doubled DLE cancels itself
  return (uint8_t)(x ^ k_dle ^ k_etx);
}

void to_master(Harness* h, uint32_t t, uint8_t b) { h->to_master.push_back({t, b}); }

/* A reply for the request that just arrived, as the input chooses it. */
Bytes make_reply(Harness* h, const Bytes& req) {
  FuzzedDataProvider& in = *h->p_in;
  Bytes m;
  uint8_t fc = req.empty() ? 0 : req[0];
  switch (in.ConsumeIntegralInRange<int>(0, 5)) {
    case 0:
    case 1: {  // the signature echoed, at the expected length or near it
      int n = h->expected_len;
      if (in.ConsumeBool()) n += in.ConsumeIntegralInRange<int>(-3, 3);
      if (n < 0) n = 0;
      for (int i = 0; i < n; i++)
        m.push_back(i < h->n_signa && i < (int)req.size() ? req[i] : in.ConsumeIntegral<uint8_t>());
      break;
    }
    case 2:  // an exception reply, with any code
      m = {(uint8_t)(fc | 0x80), in.ConsumeIntegralInRange<uint8_t>(0, 9)};
      break;
    case 3:  // one that looks like it, of another request or one byte longer
      m = {(uint8_t)((fc ^ in.ConsumeIntegralInRange<uint8_t>(0, 3)) | 0x80),
           in.ConsumeIntegralInRange<uint8_t>(1, 7)};
      if (in.ConsumeBool()) m.push_back(in.ConsumeIntegral<uint8_t>());
      break;
    case 4:  // anything, also longer than every buffer
      m = in.ConsumeBytes<uint8_t>(in.ConsumeIntegralInRange<size_t>(0, 420));
      break;
    default:  // an empty message
      break;
  }
  return m;
}

void on_request(Harness* h, const Bytes& req) {
  FuzzedDataProvider& in = *h->p_in;
  int n = in.ConsumeIntegralInRange<int>(0, 3);
  uint32_t t = h->now;
  for (int i = 0; i < n; i++) {
    t += in.ConsumeIntegralInRange<uint32_t>(0, 2500);
    Reply r{t, make_reply(h, req), in.ConsumeIntegralInRange<int>(0, 15) == 0};
    h->replies.push_back(r);
  }
}

/* The partner sees a byte from the master. */
void partner_rx(Harness* h, uint8_t b) {
  switch (h->st) {
    case Harness::P_IDLE:
    case Harness::P_TX_WAIT_DLE:  // a collision: the partner gives way, its reply waits
      if (b == k_stx) {
        h->n_stx_from_master++;
        bool refuse = h->p_in->ConsumeIntegralInRange<int>(0, 15) == 0;
        to_master(h, h->now, refuse ? k_nak : k_dle);
        h->st = refuse ? Harness::P_IDLE : Harness::P_RX;
        h->frame.clear();
      }
      break;
    case Harness::P_RX:
      if (b == k_dle)
        h->st = Harness::P_RX_DLE;
      else
        h->frame.push_back(b);
      break;
    case Harness::P_RX_DLE:
      if (b == k_dle) {
        h->frame.push_back(b);
        h->st = Harness::P_RX;
      } else {
        h->st = b == k_etx ? Harness::P_RX_BCC : Harness::P_IDLE;
      }
      break;
    case Harness::P_RX_BCC: {
      bool ok = b == bcc_of(h->frame) && h->p_in->ConsumeIntegralInRange<int>(0, 15) != 0;
      to_master(h, h->now, ok ? k_dle : k_nak);
      h->st = Harness::P_IDLE;
      if (ok) on_request(h, h->frame);
      break;
    }
    case Harness::P_TX_WAIT_ACK:
      if (b == k_dle || ++h->n_tx_try > 2) h->replies.pop_front();  // delivered, or given up
      h->st = Harness::P_IDLE;
      break;
  }
}

/* The partner's own turn as time passes: its waits, and the next reply when due. */
void partner_tick(Harness* h) {
  if ((h->st == Harness::P_TX_WAIT_DLE || h->st == Harness::P_TX_WAIT_ACK) &&
      (int32_t)(h->now - h->t_wait_end) > 0) {
    if (++h->n_tx_try > 2) h->replies.pop_front();
    h->st = Harness::P_IDLE;
  }
  if (h->st == Harness::P_IDLE && !h->replies.empty() &&
      (int32_t)(h->now - h->replies.front().t_due) >= 0) {
    to_master(h, h->now, k_stx);
    h->st = Harness::P_TX_WAIT_DLE;
    h->t_wait_end = h->now + k_t_ack_ms;
  }
}

/* Our STX was acknowledged: the reply's bytes, DLE ETX and the block check. */
void partner_send_frame(Harness* h) {
  const Reply& r = h->replies.front();
  for (uint8_t b : r.msg) {
    to_master(h, h->now, b);
    if (b == k_dle) to_master(h, h->now, k_dle);
  }
  to_master(h, h->now, k_dle);
  to_master(h, h->now, k_etx);
  to_master(h, h->now, (uint8_t)(bcc_of(r.msg) ^ (r.bad_bcc ? 0x01 : 0)));
  h->st = Harness::P_TX_WAIT_ACK;
  h->t_wait_end = h->now + k_t_ack_ms;
}

void master_sent(Harness* h, uint8_t b) {
  if (h->st == Harness::P_TX_WAIT_DLE && b == k_dle) {
    partner_send_frame(h);
    return;
  }
  partner_rx(h, b);
}

/* --- the master's callbacks and the platform clock ---------------------------------- */

uint32_t cb_now(void* pv) {
  Harness* h = (Harness*)pv;
  if (h->in_cmd && h->left && h->co.state == 0 &&
      (int32_t)(h->now - (h->t_left + h->t_receive_ms)) >= 0)
    fail("the master drove the link past its reply deadline", -1);
  return h->now;
}
uint32_t cb_plus(void*, uint32_t t, uint32_t t_ms) { return t + t_ms; }

void pass_ms(Harness* h, uint32_t t_ms) {
  h->now += t_ms;
  partner_tick(h);
}

int cb_sleep(void* pv, uint32_t t_ms) {
  pass_ms((Harness*)pv, t_ms);
  return 0;
}

int cb_receive(void* pv) {
  Harness* h = (Harness*)pv;
  partner_tick(h);
  if (h->to_master.empty() || (int32_t)(h->now - h->to_master.front().first) < 0) return -1;
  uint8_t b = h->to_master.front().second;
  h->to_master.pop_front();
  return b;
}

int cb_send_byte(void* pv, int ch) {
  master_sent((Harness*)pv, (uint8_t)ch);
  return ch;
}

uint32_t cb_send_with_dle(void* pv, int n, const uint8_t* p_bytes) {
  Harness* h = (Harness*)pv;
  for (int i = 0; i < n; i++) {
    master_sent(h, p_bytes[i]);
    if (p_bytes[i] == k_dle) master_sent(h, k_dle);
  }
  return CO3964_SEND_OK;
}

/* The master's tick. The first one after its request has left the link is the start of its
** reply wait. */
DWORD clock_tick(void* pv) {
  Harness* h = (Harness*)pv;
  if (h->in_cmd && h->co.ob_state == 2) {
    h->seen_pending = true;
  } else if (h->in_cmd && h->seen_pending && !h->left) {
    h->left = true;
    h->t_left = h->now;
  }
  return h->now;
}
void clock_sleep(void* pv, DWORD dw_ms) { pass_ms((Harness*)pv, dw_ms ? dw_ms : 1); }

int quiet_log(void*, const char*) { return 0; }

/* --- the commands ------------------------------------------------------------------- */

/* What a command sends and expects, for the checks. */
struct Expect {
  Bytes signa;      // the request's first bytes that the reply echoes
  uint64_t n_req;   // request length
  uint64_t n_reply; // expected reply length
};

Bytes le32(uint32_t v) { return {(uint8_t)v, (uint8_t)(v >> 8), (uint8_t)(v >> 16), (uint8_t)(v >> 24)}; }

Bytes head(uint8_t fc, std::initializer_list<uint32_t> params) {
  Bytes b{fc};
  for (uint32_t v : params) {
    Bytes x = le32(v);
    b.insert(b.end(), x.begin(), x.end());
  }
  return b;
}

/* Runs one command chosen by the input; fills *p_e and returns the result. */
int run_command(Harness* h, Rmc* p_rmc, FuzzedDataProvider& in, Expect* p_e, uint8_t* p_fc,
                char* p_text) {
  int which = in.ConsumeIntegralInRange<int>(0, 26);
  uint32_t v[8];
  for (uint32_t& x : v) x = in.ConsumeIntegral<uint32_t>();
  uint32_t n = in.ConsumeIntegralInRange<uint32_t>(0, 420);
  Bytes data = in.ConsumeBytes<uint8_t>(n);
  data.resize(n);
  // Exactly n bytes on the heap (none for 0), so that the sanitizer sees any overrun.
  std::unique_ptr<uint8_t[]> block(n ? new uint8_t[n] : nullptr);
  if (n) memcpy(block.get(), data.data(), n);
  uint32_t o[6];
  bool outs = in.ConsumeBool();
  auto O = [&](int i) { return outs ? &o[i] : nullptr; };
  auto set = [&](uint8_t fc, int n_signa_params, std::initializer_list<uint32_t> params, uint64_t n_req,
                 uint64_t n_reply) {
    *p_fc = fc;
    Bytes hd = head(fc, params);
    p_e->signa.assign(hd.begin(), hd.begin() + 1 + 4 * n_signa_params);
    p_e->n_req = n_req;
    p_e->n_reply = n_reply;
    h->n_signa = (int)p_e->signa.size();
    h->expected_len = (int)std::min<uint64_t>(n_reply, 1000);
  };
  switch (which) {
    case 0: set(0x05, 0, {}, 1, 13); return Rmc_do_get_cpu_type(p_rmc, O(0), O(1), O(2));
    case 1: set(0x06, 0, {}, 1, 13); return Rmc_do_fc06(p_rmc, O(0), O(1), O(2));
    case 2: set(0x07, 0, {}, 1, 1); return Rmc_do_activate_bootloader(p_rmc);
    case 3: set(0x08, 0, {}, 1, 1); return Rmc_do_start_application(p_rmc);
    case 4: set(0x09, 2, {v[0], n}, 9, 9 + (uint64_t)n); return Rmc_do_read_mem(p_rmc, v[0], block.get(), n);
    case 5: set(0x12, 1, {v[0]}, 5, 5); return Rmc_do_jump(p_rmc, v[0]);
    case 6: set(0x13, 2, {v[0], n}, 9 + (uint64_t)n, 9); return Rmc_do_write_xbram(p_rmc, v[0], block.get(), n);
    case 7: set(0x23, 0, {}, 1, 1); return Rmc_do_erase_flash(p_rmc);
    case 8: set(0x24, 0, {}, 1, 1); return Rmc_do_blank_check_flash(p_rmc);
    case 9: set(0x25, 2, {v[0], n}, 9 + (uint64_t)n, 9); return Rmc_do_write_flash(p_rmc, v[0], block.get(), n);
    case 10: set(0x40, 0, {}, 1, 1); return Rmc_do_fc40(p_rmc);
    case 11: set(0x41, 0, {}, 1, 1); return Rmc_do_fc41(p_rmc);
    case 12: set(0x42, 2, {v[0], n}, 9 + (uint64_t)n, 9); return Rmc_do_write_fc42(p_rmc, v[0], block.get(), n);
    case 13: set(0x43, 1, {v[0]}, 5, 13); return Rmc_do_fc43(p_rmc, v[0], O(0), O(1));
    case 14: set(0x44, 1, {v[0], v[1], v[2]}, 13, 5); return Rmc_do_fc44(p_rmc, v[0], v[1], v[2]);
    case 15: {
      set(0x45, 0, {}, 1, 37);
      uint32_t a6[6];
      return Rmc_do_fc45(p_rmc, O(0), O(1), outs ? a6 : nullptr, O(2));
    }
    case 16:
      set(0x46, 0, {}, 33, 1);
      return Rmc_do_fc46(p_rmc, v[0], v[1], v[2], v[3], v[4], v[5], v[6], v[7]);
    case 17: set(0x47, 0, {}, 1, 41); return Rmc_do_read_text(p_rmc, p_text);
    case 18: {
      set(0x48, 0, {}, 41, 1);
      char text[RMC_N_TEXT - 1];  // 39 bytes are sent as they stand
      for (size_t i = 0; i < sizeof text; i++) text[i] = (char)(i < data.size() ? data[i] : 'x');
      return Rmc_do_write_text(p_rmc, text);
    }
    case 19: set(0x50, 0, {}, 1, 13); return Rmc_do_fc50(p_rmc, O(0), O(1), O(2));
    case 20: set(0x51, 1, {v[0]}, 5, 17); return Rmc_do_fc51(p_rmc, v[0], O(0), O(1), O(2));
    case 21: set(0x52, 0, {}, 1, 13); return Rmc_do_fc52(p_rmc, O(0), O(1), O(2));
    case 22: set(0x53, 1, {v[0]}, 5, 17); return Rmc_do_fc53(p_rmc, v[0], O(0), O(1), O(2));
    case 23:
      set(0x54, 3, {v[0], v[1], n}, 13, 13 + (uint64_t)n);
      return Rmc_do_fram_read(p_rmc, v[0], v[1], n, block.get());
    case 24:
      set(0x55, 3, {v[0], v[1], n}, 13 + (uint64_t)n, 13);
      return Rmc_do_fram_write(p_rmc, v[0], v[1], n, block.get());
    case 25: set(0x56, 0, {}, 1, 25); return Rmc_do_fc56(p_rmc, O(0), O(1), O(2), O(3), O(4), O(5));
    default:
      set(0x57, 0, {}, 25, 1);
      return Rmc_do_fc57(p_rmc, v[0], v[1], v[2], v[3], v[4], v[5]);
  }
}

void check(const Rmc* p_rmc, const Expect& e, uint8_t fc, int r, bool sent) {
  bool fits = e.n_req <= (uint64_t)p_rmc->m_msg_buffer && e.n_reply <= (uint64_t)p_rmc->m_msg_buffer;
  if (r < 0 || r > 10) fail("undocumented result", r);
  if (!fits && r != 10) fail("a command that does not fit the buffer ran", r);
  if (!fits && sent) fail("a command that does not fit the buffer sent its request", r);
  if (fits && r == 10) fail("a command that fits the buffer was refused", r);
  const uint8_t* b = p_rmc->p_msg_buffer;
  if (r == 0 && ((uint64_t)p_rmc->n_msg != e.n_reply || memcmp(b, e.signa.data(), e.signa.size()) != 0))
    fail("success without a matching reply in the buffer", r);
  if (r >= 1 && r <= 7 && (p_rmc->n_msg != 2 || b[0] != (fc | 0x80) || b[1] != r))
    fail("an exception result without its exception reply", r);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* p_data, size_t n_data) {
  static bool quiet = (StdIo_set_stdout(quiet_log, nullptr), true);
  (void)quiet;
  FuzzedDataProvider in(p_data, n_data);
  Harness h;
  g_h = &h;
  h.p_in = &in;
  h.now = in.ConsumeBool() ? 0xFFFFFFFFu - in.ConsumeIntegralInRange<uint32_t>(0, 30000) : 5000;
  Win32Clock clock = {clock_tick, clock_sleep, &h};
  win32_clock_set(&clock);
  int32_t n_buffer = in.ConsumeIntegralInRange<int32_t>(1, 420);
  int32_t n_ib = in.ConsumeIntegralInRange<int32_t>(1, 420);
  int32_t n_ob = in.ConsumeIntegralInRange<int32_t>(1, 420);
  std::vector<uint8_t> buffer((size_t)n_buffer), ib((size_t)n_ib), ob((size_t)n_ob);
  if (!Co3964_init(&h.co, &h, cb_now, cb_plus, cb_sleep, &h, cb_receive, cb_send_byte,
                   cb_send_with_dle, n_ib, ib.data(), n_ob, ob.data(), 1, 1))
    fail("Co3964_init refused a complete set-up", -1);
  Rmc rmc;
  if (!Rmc_init_as_master(&rmc, n_buffer, buffer.data(), &h.co)) fail("Rmc_init_as_master refused", -1);
  rmc.t_receive_ms = in.ConsumeIntegralInRange<uint32_t>(0, 1500);
  rmc.t_send_ms = in.ConsumeIntegralInRange<uint32_t>(0, 30000);
  for (int i = 0; i < 8 && in.remaining_bytes() > 0; i++) {
    Expect e;
    uint8_t fc = 0;
    char text[RMC_N_TEXT];
    memset(text, 0xAA, sizeof text);
    uint32_t n_stx = h.n_stx_from_master;
    h.in_cmd = true;
    h.seen_pending = h.left = false;
    h.t_receive_ms = rmc.t_receive_ms;
    int r = run_command(&h, &rmc, in, &e, &fc, text);
    h.in_cmd = false;
    check(&rmc, e, fc, r, h.n_stx_from_master != n_stx);
    if (r == RMC_RES_ERR_SEND && Co3964_ob_get_state(&h.co) == 2)
      fail("a request given up on is left pending in the link", r);
    if (fc == 0x47 && (text[RMC_N_TEXT - 1] != 0 || (r == 10 && text[0] != 0)))
      fail("the text read is not terminated, or not empty after a refusal", r);
    if (!Co3964_assert_state(&h.co)) fail("Co3964_assert_state fails", r);
  }
  win32_clock_set(nullptr);
  g_h = nullptr;
  return 0;
}
