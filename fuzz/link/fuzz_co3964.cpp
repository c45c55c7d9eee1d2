/*
** fuzz_co3964.cpp - one Co3964 on an in-memory line with a virtual millisecond clock, driven
** by a script that the input spells out: bytes and whole frames arriving after chosen gaps
** (also beyond the 220 ms character delay and the 2000 ms acknowledgement delay), a byte or
** two in turn repeated at a fixed period for up to half an hour, one at a time or in bunches
** that arrive at one tick (as USB adapters hand them over), outbound messages, fetches
** of the inbound message, long sleeps of the owner inside the sleep callback, the owner away
** between calls, and a partner that answers our STX and our closed frames. Time moves only
** in the sleep callback and when the owner is away, so every run is exact and repeatable.
**
** Checked after every call: Co3964_assert_state; Co3964_do gives 1 only at idle with nothing
** pending and no byte waiting, CO3964_DO_IB_WANTED in the wait for the held message to be
** fetched, or CO3964_DO_AGAIN at idle (or, giving way, about to send again); Co3964_ob_set_msg
** and Co3964_ib_get_msg give what their state asks for. One call runs one exchange, so both
** the virtual time and the bytes that one Co3964_do call takes stay within bounds made of
** the link's limits (time does not move while bytes are taken, so a call that ran on
** through bytes that are always there would show only in their number). The time:
**   - an outbound message may take n_max_tx transmission attempts of at most n_max_connect
**     connect attempts, each ending within t_ack_ms (a wait for a quiet line included),
**     the frame's own verdict wait one more: T_TX;
**   - an STX that opens a frame starts the wait for its first byte and, at its end, the
**     wait for a repeat: T_OPEN, once per call at idle, since the frame is the call's
**     exchange (its repeats open from the wait for a repeat); every further byte of the
**     frame starts a new wait of
**     t_char_ms, but a frame holds at most one buffer of bytes: ib_n_max stored bytes, each
**     at most two on the line (a doubled DLE, or a DLE and a bad byte), then DLE ETX and
**     the block check, or the byte that does not fit. Bytes beyond that earn nothing;
**   - a byte taken on the idle line or instead of a repeat is answered at once: nothing;
**   - an STX taken while waiting for our DLE costs a connect attempt, which T_TX counts
**     (high priority), or defers the message behind the partner's frame, whose transmission
**     attempt then starts afresh (low priority): T_TX + T_OPEN; the second such frame ends
**     the call: T_OPEN;
**   - a byte taken in any other sending state ends or fails an attempt, which T_TX counts,
**     and so does one taken while the link waits for the line to fall quiet;
**   - a long sleep of the owner adds its length;
**   - a call that resumes the frame which the last one handed back (CO3964_DO_IB_WANTED)
**     starts with the wait for the buffer and that frame's waits: t_ib_free_ms + T_OPEN.
** The bound is watched in the sleep callback, so a wait that never ends is caught as soon
** as it has run past it. The bytes: a frame and its repeats, B_RX; the attempts of an
** outbound message, each of which may meet a run of DLEs and a frame's worth of bytes while
** it waits for a quiet line, B_TX; earned by the same events as the time.
*/
#include "co3964.h"
#include "std_io.h"

#include <fuzzer/FuzzedDataProvider.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <deque>
#include <vector>

namespace {

constexpr int k_stx = 0x02, k_etx = 0x03, k_dle = 0x10, k_nak = 0x15;
constexpr int32_t k_st_idle = 0, k_st_wait_ib_free = 2, k_st_data = 5, k_st_bcc = 7,
                  k_st_wait_repeat = 12, k_st_new_attempt = 20, k_st_wait_dle = 23;
constexpr uint64_t k_margin_ms = 5;  // expiry one tick after the deadline, and a few passes
constexpr uint64_t T_CHAR = 220 + k_margin_ms;
constexpr uint64_t T_OPEN = T_CHAR + 2000 + k_margin_ms;
constexpr uint64_t T_IB_FREE = 2000 + k_margin_ms;
constexpr uint64_t T_TX = 6 * (6 + 1) * (2000 + 220 + k_margin_ms);
constexpr uint64_t k_max_idle_passes = 100000;  // receive calls in a row with no time moving
constexpr uint64_t k_dle_run = 16;              // DLEs in a row taken as one acknowledgement
constexpr uint64_t k_stx_run = 16;              // STXs in a row taken as one opening

struct Harness {
  uint32_t now = 0;                            // the virtual tick
  std::deque<std::pair<uint32_t, int>> rx;     // (arrival tick, value) for the link
  uint32_t t_script = 0;                       // where scripted arrivals continue
  Co3964 co{};
  // The owner's long sleep: the k-th sleep call from now lasts t_long_ms.
  int32_t n_sleeps_to_long = -1;
  uint32_t t_long_ms = 0;
  // The partner's answers to our STX and to our closed frames.
  int n_answer_stx = 0, n_answer_frame = 0;
  int answer_stx = k_dle, answer_frame = k_dle;
  uint32_t t_answer_stx_ms = 0, t_answer_frame_ms = 0;
  bool dle_seen = false, bcc_next = false;     // parsing what the link sends
  bool fail_block_send = false;
  int reject_first_byte = -1;                  // the inbound check refuses such frames
  // The call of Co3964_do in progress.
  bool in_do = false;
  uint32_t t_call_start = 0;
  uint64_t budget_ms = 0;
  uint64_t budget_bytes = 0;
  uint64_t n_taken = 0;       // bytes taken in this call
  int n_opened = 0;           // frames opened at idle in this call
  int n_deferred = 0;         // frames our message gave way to in this call
  uint64_t n_idle_passes = 0;
  int32_t n_frame_bytes = 0;  // bytes taken so far in the frame being received
};

/* Line bytes of one reception: the frame and its repeats, each a run of STXs (repeats that
** waited) and the byte behind them, a full buffer of doubled bytes, DLE ETX and the block
** check, and the byte that ends the wait for a repeat; after a late acknowledgement, the run
** of STXs that waited behind the frame and the byte behind them. */
uint64_t bytes_rx(const Co3964& co) {
  return (uint64_t)co.n_max_rx * (k_stx_run + 2 * co.ib_n_max + 4) + 1 + k_stx_run + 1;
}
/* Line bytes of all attempts of an outbound message: each connect attempt takes a byte, a
** run of DLEs, a frame's worth of bytes while it waits for a quiet line, and a verdict. */
uint64_t bytes_tx(const Co3964& co) {
  return (uint64_t)co.n_max_tx * (co.n_max_connect + 1) * (k_dle_run + 2 * co.ib_n_max + 10);
}

Harness* g_h = nullptr;

[[noreturn]] void fail(const char* p_what) {
  Harness* h = g_h;
  fprintf(stderr, "fuzz_co3964: %s (state %d, ob_state %d, ib_n_msg %d, n_try_connect %d, "
          "n_try_tx %d, %u ms into Co3964_do, budget %llu ms, %zu bytes to come)\n",
          p_what, (int)h->co.state, (int)h->co.ob_state, (int)h->co.ib_n_msg,
          (int)h->co.n_try_connect, (int)h->co.n_try_tx, (unsigned)(h->now - h->t_call_start),
          (unsigned long long)h->budget_ms, h->rx.size());
  fprintf(stderr, "fuzz_co3964: %llu bytes taken in the call, budget %llu\n",
          (unsigned long long)h->n_taken, (unsigned long long)h->budget_bytes);
  abort();
}

void check_time() {
  if (g_h->in_do && (uint64_t)(uint32_t)(g_h->now - g_h->t_call_start) > g_h->budget_ms)
    fail("Co3964_do ran past its bound of virtual time");
}

/* --- the line's callbacks ----------------------------------------------------------- */

uint32_t cb_now(void* pv) { return ((Harness*)pv)->now; }
uint32_t cb_plus(void*, uint32_t t, uint32_t t_ms) { return t + t_ms; }

int cb_sleep(void* pv, uint32_t t_ms) {
  Harness* h = (Harness*)pv;
  uint32_t t = t_ms;
  if (h->n_sleeps_to_long >= 0 && h->n_sleeps_to_long-- == 0) {
    t = h->t_long_ms;
    h->budget_ms += t;
  }
  h->now += t;
  h->n_idle_passes = 0;
  check_time();
  return 0;
}

/* What a byte taken in the link's present state may add to the time of the call, and to
** the bytes it may take. */
uint64_t charge(Harness* h, int32_t state, int value) {
  if (value == k_stx && state == k_st_wait_repeat) {
    h->n_frame_bytes = 0;
    return T_OPEN;
  }
  if (value == k_stx && state == k_st_idle) {
    h->n_frame_bytes = 0;
    if (h->n_opened++ > 0) return 0;  // a second exchange in one call earns nothing
    h->budget_bytes += bytes_rx(h->co);
    return T_OPEN;
  }
  if (state >= k_st_data && state <= k_st_bcc)
    return ++h->n_frame_bytes <= 2 * h->co.ib_n_max + 3 ? T_CHAR : 0;
  if (state == k_st_wait_dle && value == k_stx && !h->co.high_priority) {  // we give way
    h->n_frame_bytes = 0;
    if (++h->n_deferred > 2) return 0;
    h->budget_bytes += bytes_rx(h->co) + (h->n_deferred == 1 ? bytes_tx(h->co) : 0);
    return h->n_deferred == 1 ? T_TX + T_OPEN : T_OPEN;
  }
  return 0;  // answered at once, ends or fails an attempt, or the line is left to fall quiet
}

int cb_receive(void* pv) {
  Harness* h = (Harness*)pv;
  if (h->rx.empty() || (int32_t)(h->now - h->rx.front().first) < 0) {
    if (h->in_do && ++h->n_idle_passes > k_max_idle_passes)
      fail("Co3964_do polls on without waiting and without input");
    return -1;
  }
  int value = h->rx.front().second;
  h->rx.pop_front();
  h->n_idle_passes = 0;
  if (h->in_do) {
    h->budget_ms += charge(h, h->co.state, value);
    if (++h->n_taken > h->budget_bytes) fail("Co3964_do took more bytes than one exchange has");
  }
  return value;
}

void arrive(Harness* h, uint32_t t, int value) {
  // Arrivals keep their order: the line delivers bytes one after the other.
  if (!h->rx.empty() && (int32_t)(t - h->rx.back().first) < 0) t = h->rx.back().first;
  h->rx.push_back({t, value});
  if ((int32_t)(t - h->t_script) > 0) h->t_script = t;
}

/* The partner sees what the link sends: it answers STX and the end of a frame. */
void seen_sent(Harness* h, int ch) {
  if (h->bcc_next) {  // the block check ends our frame
    h->bcc_next = false;
    if (h->n_answer_frame > 0 && h->n_answer_frame--) arrive(h, h->now + h->t_answer_frame_ms, h->answer_frame);
    return;
  }
  if (h->dle_seen) {
    h->dle_seen = false;
    if (ch == k_etx) {
      if (h->co.with_bcc)
        h->bcc_next = true;
      else if (h->n_answer_frame > 0 && h->n_answer_frame--)
        arrive(h, h->now + h->t_answer_frame_ms, h->answer_frame);
    }
    return;  // a doubled DLE is data
  }
  if (ch == k_dle) {
    h->dle_seen = true;
  } else if (ch == k_stx && h->n_answer_stx > 0) {
    h->n_answer_stx--;
    arrive(h, h->now + h->t_answer_stx_ms, h->answer_stx);
  }
}

int cb_send_byte(void* pv, int ch) {
  seen_sent((Harness*)pv, ch & 0xFF);
  return ch;
}

uint32_t cb_send_with_dle(void* pv, int n, const uint8_t* p_bytes) {
  Harness* h = (Harness*)pv;
  if (h->fail_block_send) return 0x15;
  for (int i = 0; i < n; i++) {  // read every byte: the sanitizer sees a short buffer
    seen_sent(h, p_bytes[i]);
    if (p_bytes[i] == k_dle) seen_sent(h, k_dle);
  }
  return CO3964_SEND_OK;
}

int cb_ib_check(void* pv, int n, const uint8_t* p_bytes) {
  Harness* h = (Harness*)pv;
  return !(n > 0 && p_bytes[0] == h->reject_first_byte);
}

int quiet_log(void*, const char*) { return 0; }

/* --- the script --------------------------------------------------------------------- */

/* A gap before the next arrival: short, just past the character delay, around the
** acknowledgement delay, or long. */
uint32_t pick_gap(FuzzedDataProvider& in) {
  switch (in.ConsumeIntegralInRange<int>(0, 3)) {
    case 0: return in.ConsumeIntegralInRange<uint32_t>(0, 30);
    case 1: return in.ConsumeIntegralInRange<uint32_t>(200, 240);
    case 2: return in.ConsumeIntegralInRange<uint32_t>(1980, 2020);
    default: return in.ConsumeIntegralInRange<uint32_t>(0, 30000);
  }
}

uint32_t script_start(Harness* h, FuzzedDataProvider& in) {
  uint32_t t = (int32_t)(h->t_script - h->now) > 0 ? h->t_script : h->now;
  return t + pick_gap(in);
}

void inject_bytes(Harness* h, FuzzedDataProvider& in) {
  uint32_t t = script_start(h, in);
  int n = in.ConsumeIntegralInRange<int>(1, 16);
  for (int i = 0; i < n; i++) {
    int value = in.ConsumeIntegral<uint8_t>();
    if (in.ConsumeIntegralInRange<int>(0, 31) == 0) value |= 0x100;  // a broken port's value
    arrive(h, t, value);
    t += in.ConsumeBool() ? pick_gap(in) : 1;
  }
}

/* A frame as the partner sends it: STX, then (after our DLE is due) the data with every
** DLE doubled, DLE ETX and the block check, right or wrong. */
void inject_frame(Harness* h, FuzzedDataProvider& in) {
  uint32_t t = script_start(h, in);
  arrive(h, t, k_stx);
  t += in.ConsumeIntegralInRange<uint32_t>(1, 5);
  int n = in.ConsumeIntegralInRange<int>(0, h->co.ib_n_max + 2);
  bool gaps = in.ConsumeBool();
  uint8_t bcc = 0;
  auto put = [&](int b) {
    arrive(h, t, b);
    bcc ^= (uint8_t)b;
    t += gaps ? pick_gap(in) : 0;
  };
  for (int i = 0; i < n; i++) {
    uint8_t b = in.ConsumeBool() ? k_dle : in.ConsumeIntegral<uint8_t>();
    put(b);
    if (b == k_dle) put(k_dle);
  }
  put(k_dle);
  put(k_etx);
  if (h->co.with_bcc) arrive(h, t, bcc ^ (in.ConsumeIntegralInRange<int>(0, 7) == 0 ? 0x40 : 0));
}

/* One byte, or two in turn, at a fixed period, as a chatty partner or a noisy line sends
** them; one at a time or in bunches that arrive together. */
void inject_noise(Harness* h, FuzzedDataProvider& in) {
  uint32_t t = script_start(h, in);
  int value[2];
  value[0] = in.ConsumeIntegral<uint8_t>();
  value[1] = in.ConsumeBool() ? value[0] : in.ConsumeIntegral<uint8_t>();
  uint32_t period = in.ConsumeIntegralInRange<uint32_t>(1, 400);
  uint32_t bunch = 1;  // one at a time, in packets, or more than the link takes in one go
  switch (in.ConsumeIntegralInRange<int>(0, 2)) {
    case 1: bunch = in.ConsumeIntegralInRange<uint32_t>(2, 64); break;
    case 2: bunch = in.ConsumeIntegralInRange<uint32_t>(65, 20000); break;
  }
  uint32_t n = in.ConsumeIntegralInRange<uint32_t>(1, std::min<uint32_t>(1800000 / period, 20000));
  for (uint32_t i = 0; i < n; i++) arrive(h, t + i / bunch * period, value[i % 2]);
}

void set_msg(Harness* h, FuzzedDataProvider& in) {
  int32_t n = in.ConsumeIntegralInRange<int32_t>(0, h->co.ob_n_max + 2);
  std::vector<uint8_t> msg = in.ConsumeBytes<uint8_t>((size_t)n);
  msg.resize((size_t)n + 1, k_dle);  // never empty, so that data() is a pointer
  int was = h->co.ob_state;
  int r = Co3964_ob_set_msg(&h->co, n, msg.data());
  int want = was == 2 ? 1 : n > h->co.ob_n_max ? 3 : 2;
  if (r != want) fail("Co3964_ob_set_msg gave an unexpected result");
  if (Co3964_ob_get_state(&h->co) != (r == 2 ? 2 : was)) fail("Co3964_ob_set_msg left a wrong ob_state");
}

void get_msg(Harness* h, FuzzedDataProvider& in) {
  int32_t m = in.ConsumeIntegralInRange<int32_t>(0, h->co.ib_n_max + 1);
  std::vector<uint8_t> buf((size_t)m + 1);
  int held = Co3964_ib_get_n_msg(&h->co);
  std::vector<uint8_t> copy(h->co.ib_p_msg, h->co.ib_p_msg + (held > 0 ? held : 0));
  int r = Co3964_ib_get_msg(&h->co, m, buf.data());
  int want = held < 0 ? -1 : held > m ? -2 : held;
  if (r != want) fail("Co3964_ib_get_msg gave an unexpected result");
  if (r >= 0 && !std::equal(copy.begin(), copy.end(), buf.begin())) fail("inbound message copied wrongly");
  if (Co3964_ib_get_n_msg(&h->co) != -1) fail("inbound slot still held after the fetch");
}

void do_link(Harness* h) {
  h->in_do = true;
  h->t_call_start = h->now;
  h->budget_ms = k_margin_ms + (h->co.ob_state == 2 ? T_TX : 0);
  h->budget_bytes = 1 + (h->co.ob_state == 2 ? bytes_tx(h->co) : 0);  // 1: a byte at idle
  if (h->co.state != k_st_idle) {  // the frame handed back, or a message that gave way
    h->budget_ms += T_IB_FREE + T_OPEN;
    h->budget_bytes += bytes_rx(h->co);
  }
  h->n_taken = 0;
  h->n_opened = h->n_deferred = 0;
  h->n_idle_passes = 0;
  int r = Co3964_do(&h->co);
  check_time();
  h->in_do = false;
  if (!Co3964_assert_state(&h->co)) fail("Co3964_assert_state fails after Co3964_do");
  if (r == 1) {
    if (h->co.state != k_st_idle) fail("Co3964_do gave 1 away from idle");
    if (h->co.ob_state == 2) fail("Co3964_do gave 1 with a message pending");
    if (!h->rx.empty() && (int32_t)(h->now - h->rx.front().first) >= 0)
      fail("Co3964_do gave 1 with a byte waiting");
  } else if (r == CO3964_DO_IB_WANTED) {
    if (h->co.state != k_st_wait_ib_free || h->co.ib_n_msg < 0)
      fail("Co3964_do asked for a fetch without a held message and a frame waiting");
  } else if (r == CO3964_DO_AGAIN) {
    bool sends_next =
        h->co.state == k_st_new_attempt && !h->co.high_priority && h->co.ob_state == 2;
    if (h->co.state != k_st_idle && !sends_next) fail("Co3964_do handed back inside an exchange");
  } else {
    fail("Co3964_do gave an undocumented result");
  }
}

void arm_partner(Harness* h, FuzzedDataProvider& in) {
  static const int answers[] = {k_dle, k_dle, k_dle, k_nak, k_stx, 0x00};
  h->n_answer_stx = in.ConsumeIntegralInRange<int>(0, 8);
  h->answer_stx = answers[in.ConsumeIntegralInRange<int>(0, 5)];
  h->t_answer_stx_ms = pick_gap(in);
  h->n_answer_frame = in.ConsumeIntegralInRange<int>(0, 8);
  h->answer_frame = answers[in.ConsumeIntegralInRange<int>(0, 5)];
  h->t_answer_frame_ms = pick_gap(in);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* p_data, size_t n_data) {
  static bool quiet = (StdIo_set_stdout(quiet_log, nullptr), true);
  (void)quiet;
  FuzzedDataProvider in(p_data, n_data);
  Harness h;
  g_h = &h;
  h.now = in.ConsumeBool() ? 0xFFFFFFFFu - in.ConsumeIntegralInRange<uint32_t>(0, 60000) : 1000;
  h.t_script = h.now;
  int32_t ib_n = in.ConsumeIntegralInRange<int32_t>(1, 300);
  int32_t ob_n = in.ConsumeIntegralInRange<int32_t>(1, 300);
  int with_bcc = in.ConsumeIntegralInRange<int>(0, 3) != 0;
  int high_priority = in.ConsumeBool();
  bool block_send = in.ConsumeBool();
  std::vector<uint8_t> ib((size_t)ib_n), ob((size_t)ob_n);  // exactly their capacity
  if (!Co3964_init(&h.co, &h, cb_now, cb_plus, cb_sleep, &h, cb_receive, cb_send_byte,
                   block_send ? cb_send_with_dle : nullptr, ib_n, ib.data(), ob_n, ob.data(),
                   with_bcc, high_priority))
    fail("Co3964_init refused a complete set-up");
  if (in.ConsumeIntegralInRange<int>(0, 7) == 0) {
    h.reject_first_byte = in.ConsumeIntegral<uint8_t>();
    Co3964_set_cb_ib_check(&h.co, &h, cb_ib_check);
  }
  int n_ops = 0;
  while (in.remaining_bytes() > 0 && ++n_ops <= 64) {
    switch (in.ConsumeIntegralInRange<int>(0, 9)) {
      case 0: inject_bytes(&h, in); break;
      case 1: inject_frame(&h, in); break;
      case 2: inject_noise(&h, in); break;
      case 3: set_msg(&h, in); break;
      case 4: do_link(&h); break;
      case 5: get_msg(&h, in); break;
      case 6:
        h.n_sleeps_to_long = in.ConsumeIntegralInRange<int32_t>(0, 3000);
        h.t_long_ms = in.ConsumeIntegralInRange<uint32_t>(2, 60000);
        break;
      case 7: h.now += pick_gap(in); break;  // the owner is away between calls
      case 8: arm_partner(&h, in); break;
      default: h.fail_block_send = !h.fail_block_send; break;
    }
    if (!Co3964_assert_state(&h.co)) fail("Co3964_assert_state fails");
  }
  // The owner keeps calling and fetching until the line has nothing more to say; each call
  // takes at least one byte that waits.
  const size_t n_calls = 64 + h.rx.size();
  for (size_t i = 0;
       i < n_calls && (!h.rx.empty() || h.co.ob_state == 2 || h.co.state != k_st_idle); i++) {
    if (!h.rx.empty() && (int32_t)(h.rx.front().first - h.now) > 0) h.now = h.rx.front().first;
    do_link(&h);
    uint8_t buf[512];
    Co3964_ib_get_msg(&h.co, (int32_t)sizeof buf, buf);
  }
  g_h = nullptr;
  return 0;
}
