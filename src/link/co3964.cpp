/*
** co3964.cpp - the 3964R link layer as a polled state machine. Each pass of
** do_state_machine() acts on one state with at most one receive call (more in states 3 and
** 8 on STXs that wait, and in state 23 after a long sleep or on a DLE, bounded). Co3964_do()
** runs passes until one exchange has ended (back at idle, or a second frame in one call
** that our deferred message gave way to), until the link is idle with nothing to do, or
** until a new frame waits for the held inbound message, which only the owner can fetch.
** Every exchange is bounded in the bytes it takes, so a call is bounded however fast the
** partner sends, even on a clock that stands still meanwhile. Waiting states call the sleep
** callback once per idle pass, which is the only way out to other work while a frame is
** exchanged. The machine never logs and never stops with an error: every failure ends in
** state 0 (idle).
**
**   RECEIVE (partner sends)                         SEND (this side sends)
**
**   0 IDLE --STX--> 1 OPENED --buffer free--> 3     0 IDLE --ob pending--> 20 NEW_ATTEMPT
**   0 --other byte--> 13 STRAY: NAK -> 0            20 -> 21 CONNECT: STX -> 22 ARM_ACK
**   0 --NAK--> 0 (ignored)                          22 -> 23 WAIT_DLE:
**   1 --buffer held--> 2 WAIT_IB_FREE                   DLE -> 24 SEND_FRAME
**   2 --fetched--> 3;  2 --t_ib_free_ms--> NAK, 0       STX, high prio -> 22 (swallow it,
**                                                       n_try_connect++; past six -> 28)
**   3 ACK_STX: DLE -> 4 ARM_CHAR -> 5 DATA              STX, low prio -> 1 (tx_pending)
**   3 --STXs waiting--> the last gets the DLE;
**   3 --other byte waiting--> no DLE: NAK -> 0, else 13
**   5 --byte--> store, 4;  5 --DLE--> 6 AFTER_DLE       other byte / t_ack_ms -> 28
**   6 --DLE--> store 0x10, 4                        24 data, DLE ETX [BCC] -> 25 WAIT_VERDICT
**   6 --ETX--> 7 BCC (with_bcc) or 8 COMPLETE           block send failed: NAK -> 26
**   6 --other--> rx_error, store, 4                 25 --DLE--> ob_state 0 (sent), 0
**   5/6 --byte beyond the buffer--> 9, no repeat
**   5/6/7 --t_char_ms--> 9 REJECT                   25 --other / t_ack_ms--> 26 TX_FAILED
**   7 --right BCC, check ok--> 8; else 9            26 n_try_tx++ -> 27 RETRY_TX?
**   8 --ok--> DLE, message held -> 11 RX_OVER           > n_max_tx: ob_state 1, NAK, 0
**   8 --rx_error--> 9                                   else -> 20
**   9 NAK -> 10 REPEAT? -- n_try_rx < n_max_rx-1 --> 12 WAIT_REPEAT, else 11
**   12 --STX--> 1;  --NAK / t_repeat_ms--> 0;  --other--> 13
**   8 late (t_ack_ms after our DLE that let the frame come) --STXs waiting--> DLE, held,
**       2 (owner fetches) --fetched--> 4, no second DLE: the partner's repeat follows ours
**   8 late --STXs, NAK--> held, no DLE (it gave up), 11
**   8 late --nothing waiting--> DLE, held, 11; the next 3 --STX(s), data byte--> that byte
**       in 5 (the STX crossed our DLE, and the repeat follows it)
**   7 --BCC holds only without the frame's first byte, an STX--> dropped (a repeat STX that
**       crossed our DLE), then as a right BCC
**   Every sleep longer than t_char_ms adds its time to t_away_ms (the owner kept us away)
**   11 --tx_pending--> 20, else 0                   28 RETRY_CONNECT? > n_max_connect:
**                                                       ob_state 1, NAK, 0; else -> 21
**   Co3964_do hands back in 2 (owner fetches),      23 --slept > t_char_ms, a byte came,
**   at 0 after each exchange, and in 20 after the       DLE(s) with another byte behind,
**   second frame it gave way to in one call             or too many DLEs--> 29 QUIET
**                                                   29 --t_char_ms no byte--> 28
**                                                   29 --t_ack_ms not quiet, or a frame's
**                                                       worth of bytes--> n_try_connect++,
**                                                       > n_max_connect: ob_state 1, NAK, 0
**
** Functions: rx_* for the receive states, tx_* for the send states, one per state.
*/
#include "co3964.h"

#include "std_io.h"

#include <cassert>

namespace {

enum {
  ST_IDLE = 0,
  ST_OPENED = 1,
  ST_WAIT_IB_FREE = 2,
  ST_ACK_STX = 3,
  ST_ARM_CHAR = 4,
  ST_DATA = 5,
  ST_AFTER_DLE = 6,
  ST_BCC = 7,
  ST_COMPLETE = 8,
  ST_REJECT = 9,
  ST_REPEAT_Q = 10,
  ST_RX_OVER = 11,
  ST_WAIT_REPEAT = 12,
  ST_STRAY = 13,
  ST_NEW_ATTEMPT = 20,
  ST_CONNECT = 21,
  ST_ARM_ACK = 22,
  ST_WAIT_DLE = 23,
  ST_SEND_FRAME = 24,
  ST_WAIT_VERDICT = 25,
  ST_TX_FAILED = 26,
  ST_RETRY_TX = 27,
  ST_RETRY_CONNECT = 28,
  ST_QUIET = 29,
};

constexpr uint32_t NOTHING = 0x80000000u;  // receive wrapper: no byte waiting
constexpr uint32_t T_CHAR_MS = 220;        // character delay
constexpr uint32_t T_ACK_MS = 2000;        // acknowledgement delay
constexpr uint32_t T_REPEAT_MS = 2000;     // wait for the partner's repeat
constexpr uint32_t T_IB_FREE_MS = 2000;    // wait for the inbound buffer to be fetched
constexpr int32_t N_MAX_TRY = 6;           // limit of each attempt counter
constexpr int32_t N_MAX_DLE_RUN = 16;      // DLEs in a row still taken as one acknowledgement
constexpr int32_t N_MAX_STX_RUN = 16;      // STXs in a row still taken as one opening

/* --- callback wrappers ------------------------------------------------------------ */

uint32_t time_now(Co3964* p) {
  return p->cb_time_get_t_now ? p->cb_time_get_t_now(p->p_time) : 0xFFFFFFFFu;
}

uint32_t plus_ms(Co3964* p, uint32_t t, uint32_t t_ms) {
  return p->cb_time_plus_ms ? p->cb_time_plus_ms(p->p_time, t, t_ms) : 0xFFFFFFFFu;
}

void arm(Co3964* p, uint32_t now, uint32_t t_ms) { p->t_deadline = plus_ms(p, now, t_ms); }

/* Tick t lies behind now; survives the wrap of the tick. */
bool passed(uint32_t t, uint32_t now) { return (int32_t)(t - now) < 0; }

/* The deadline has passed. */
bool expired(const Co3964* p, uint32_t now) { return passed(p->t_deadline, now); }

/* One idle pass: the sleep callback with 1 ms. Gives the milliseconds it kept the link away
** from the line; in the loader it may run a message box for seconds. Such an absence, longer
** than the character delay, is added to t_away_ms. */
uint32_t sleep_1ms(Co3964* p) {
  if (!p->cb_time_sleep_ms) return 0;
  uint32_t t_start = time_now(p);
  p->cb_time_sleep_ms(p->p_time, 1);
  uint32_t t_slept = time_now(p) - t_start;
  if (t_slept > p->t_char_ms) p->t_away_ms += t_slept;
  return t_slept;
}

uint32_t rx(Co3964* p) {
  int ch = p->cb_uart_receive_byte_nw(p->p_uart);
  return ch < 0 ? NOTHING : (uint32_t)ch;
}

/* Reads past a run of `value` bytes, n_taken of them taken already, n_max in all at most:
** the byte behind the run, NOTHING when none waits, or `value` again when the run is longer.
** The run's length goes to *p_n (may be NULL). */
uint32_t rx_past_run(Co3964* p, uint32_t value, int32_t n_max, int32_t n_taken, int32_t* p_n) {
  uint32_t ch = rx(p);
  for (; ch == value && n_taken < n_max; n_taken++) ch = rx(p);
  if (p_n) *p_n = n_taken;
  return ch;
}

void tx(Co3964* p, int ch) { p->cb_uart_send_byte(p->p_uart, ch); }

/* Byte-by-byte block send that gives way: a byte from the partner stops it (consumed). */
uint32_t send_by_bytes(Co3964* p, int32_t n, const uint8_t* p_bytes) {
  for (int32_t i = 0; i < n; i++) {
    uint32_t ch = rx(p);
    if (ch != NOTHING) return ch;
    tx(p, p_bytes[i]);
    if (p_bytes[i] == CO3964_DLE) {
      ch = rx(p);
      if (ch != NOTHING) return ch;
      tx(p, CO3964_DLE);
    }
  }
  return NOTHING;
}

bool send_with_dle(Co3964* p) {
  if (p->cb_uart_send_with_dle)
    return p->cb_uart_send_with_dle(p->p_uart, p->ob_n_msg, p->ob_p_msg) == CO3964_SEND_OK;
  return send_by_bytes(p, p->ob_n_msg, p->ob_p_msg) == NOTHING;
}

/* A wait with nothing to act on: expired gives next_state, else sleep and stay. */
void wait_or(Co3964* p, uint32_t now, int next_state) {
  if (expired(p, now))
    p->state = next_state;
  else
    sleep_1ms(p);
}

/* Stores a received byte of the frame and arms the wait for the next. A byte beyond the
** capacity refuses the frame at once with NAK: a cut message must never pass as whole, and
** reading on to its end would let a partner that never falls quiet hold the link (and its
** owner) for as long as it sends. A repeat would overflow again, so none is awaited. */
void store(Co3964* p, uint8_t ch) {
  if (p->ib_i < p->ib_n_max) {
    p->ib_p_msg[p->ib_i++] = ch;
    p->state = ST_ARM_CHAR;
  } else {
    p->n_try_rx = p->n_max_rx;  // the last reception of this frame
    p->state = ST_REJECT;
  }
}

/* State 5, a byte of the frame: DLE opens a pair, anything else is stored. */
void take_data(Co3964* p, uint32_t now, uint32_t ch) {
  if (ch == CO3964_DLE) {
    arm(p, now, p->t_char_ms);
    p->state = ST_AFTER_DLE;
  } else {
    if (ch > 0xFF) p->rx_error = 1;  // a bad value still takes its place: the frame stays bounded
    store(p, (uint8_t)ch);
  }
}

/* --- receiving -------------------------------------------------------------------- */

/* State 0: a byte from the partner comes first, then our own pending message. 1 = idle. */
int rx_idle(Co3964* p) {
  uint32_t ch = rx(p);
  if (ch == CO3964_STX) {
    p->n_try_rx = 1;
    p->state = ST_OPENED;
    return 0;
  }
  if (ch != NOTHING || p->ob_state == 2) p->rx_repeat = 0;  // no repeat can follow any more
  if (ch == CO3964_NAK) {
    // ignored
  } else if (ch != NOTHING) {
    p->state = ST_STRAY;
  } else if (p->ob_state == 2) {
    p->n_try_tx = 1;
    p->tx_pending = 0;  // the deferred message goes out now; do not send it twice later
    p->state = ST_NEW_ATTEMPT;
  } else {
    return 1;
  }
  return 0;
}

void rx_opened(Co3964* p, uint32_t now) {
  p->rx_error = 0;
  if (p->ib_n_msg < 0) {
    p->state = ST_ACK_STX;
  } else {
    arm(p, now, p->t_ib_free_ms);
    p->state = ST_WAIT_IB_FREE;
  }
}

/* State 2. After a late acknowledgement that answered the partner's waiting STXs
** (rx_repeat 2), the repeat's data follow that DLE: no second one. */
void rx_wait_ib_free(Co3964* p, uint32_t now) {
  if (p->ib_n_msg < 0 && p->rx_repeat == 2) {
    p->rx_repeat = 0;
    p->ib_i = 0;
    p->state = ST_ARM_CHAR;
  } else if (p->ib_n_msg < 0) {
    p->state = ST_ACK_STX;
  } else if (expired(p, now)) {
    p->rx_repeat = 0;
    tx(p, CO3964_NAK);
    p->state = ST_IDLE;
  } else {
    sleep_1ms(p);
  }
}

/* State 3, the DLE that opens a frame. The partner sends its data only after our DLE, so no
** byte that already waits now belongs to the frame. STXs behind this one are the partner's
** repeats while we were away (the owner's sleep callback may hold a message box open for
** seconds): the last one is the partner's current attempt and gets the DLE, once. Any other
** byte behind them (its NAK on giving up, or data it did not wait to send) shows that the
** STX is stale: no DLE, and that byte is taken as on the idle line. A longer run of STXs than
** any partner's connect attempts leave is noise, dropped, so the call stays bounded. Only
** after a late acknowledgement (rx_repeat 1) is a data byte behind the STX the start of the
** partner's repeat: its STX crossed our DLE, which it took as leave to send. */
void rx_ack_stx(Co3964* p, uint32_t now) {
  uint32_t ch = rx_past_run(p, CO3964_STX, N_MAX_STX_RUN, 1, nullptr);
  const bool crossed = p->rx_repeat == 1;
  p->rx_repeat = 0;
  if (ch == NOTHING) {
    p->ib_i = 0;
    tx(p, CO3964_DLE);
    p->t_rx_dle = now;
    p->state = ST_ARM_CHAR;
  } else if (ch == CO3964_STX || ch == CO3964_NAK) {
    p->state = ST_IDLE;
  } else if (crossed) {
    p->ib_i = 0;  // t_rx_dle stays: the DLE that the partner took
    take_data(p, now, ch);
  } else {
    p->state = ST_STRAY;
  }
}

void rx_data(Co3964* p, uint32_t now) {
  uint32_t ch = rx(p);
  if (ch == NOTHING)
    wait_or(p, now, ST_REJECT);
  else
    take_data(p, now, ch);
}

void rx_after_dle(Co3964* p, uint32_t now) {
  uint32_t ch = rx(p);
  if (ch == NOTHING) {
    wait_or(p, now, ST_REJECT);
  } else if (ch == CO3964_DLE) {
    store(p, CO3964_DLE);
  } else if (ch == CO3964_ETX) {
    if (p->with_bcc) {
      arm(p, now, p->t_char_ms);
      p->state = ST_BCC;
    } else {
      p->state = ST_COMPLETE;
    }
  } else {
    p->rx_error = 1;  // read on to the frame's end; the bad pair takes a place as above
    store(p, (uint8_t)ch);
  }
}

/* A frame whose first byte is STX may be the partner's frame behind a repeat STX of its own
** that crossed our DLE on the wire: our DLE answered its previous STX (we were away for a
** while, and it had repeated its STX meanwhile), it took the DLE as the answer to the latest
** and sent the frame. When the block check fails with that STX and holds without it, the STX
** is dropped. A frame that truly begins with 0x02 keeps it: its check holds as it stands. */
bool drop_crossed_stx(Co3964* p, uint32_t bcc) {
  if (p->ib_i < 1 || p->ib_p_msg[0] != CO3964_STX) return false;
  if (bcc != Co3964_calc_bcc(p->ib_i - 1, p->ib_p_msg + 1)) return false;
  p->ib_i--;
  for (int32_t i = 0; i < p->ib_i; i++) p->ib_p_msg[i] = p->ib_p_msg[i + 1];
  return true;
}

void rx_bcc(Co3964* p, uint32_t now) {
  uint32_t ch = rx(p);
  if (ch == NOTHING) {
    wait_or(p, now, ST_REJECT);
  } else if (ch != Co3964_calc_bcc(p->ib_i, p->ib_p_msg) && !drop_crossed_stx(p, ch)) {
    p->state = ST_REJECT;
  } else if (p->cb_ib_check && !p->cb_ib_check(p->p_ib_check, p->ib_i, p->ib_p_msg)) {
    p->state = ST_REJECT;
  } else {
    p->state = ST_COMPLETE;
  }
}

/* State 8, a sound frame: held, and acknowledged with DLE. Within t_ack_ms of the DLE that
** opened it, the partner still waits for this verdict and nothing of its own can wait behind
** the frame. Later, it may have given the frame up for lost and be repeating its STX, waiting
** for a DLE to the latest one: then our DLE answers that STX, and the partner sends the frame
** again at once (rx_repeat 2: it is received after the owner has fetched this one, with no
** second DLE). STXs followed by its NAK: it gave up, and there is nothing to answer. With
** nothing behind the frame, a repeat STX may still cross our DLE on the wire (rx_repeat 1). */
void rx_complete(Co3964* p, uint32_t now) {
  if (p->rx_error) {
    p->state = ST_REJECT;
    return;
  }
  p->ib_n_msg = p->ib_i;
  p->state = ST_RX_OVER;
  if (!passed(plus_ms(p, p->t_rx_dle, p->t_ack_ms), now)) {
    tx(p, CO3964_DLE);
    return;
  }
  int32_t n_stx = 0;
  uint32_t ch = rx_past_run(p, CO3964_STX, N_MAX_STX_RUN, 0, &n_stx);
  if (n_stx > 0 && ch == CO3964_NAK) return;
  tx(p, CO3964_DLE);
  p->t_rx_dle = now;
  if (ch == NOTHING && n_stx > 0) {
    p->rx_repeat = 2;
    p->n_try_rx = 1;
    arm(p, now, p->t_ib_free_ms);
    p->state = ST_WAIT_IB_FREE;
  } else if (ch == NOTHING) {
    p->rx_repeat = 1;
  } else if (ch != CO3964_STX && ch != CO3964_NAK) {
    p->state = ST_STRAY;  // as on the idle line; a NAK is ignored, a run too long dropped
  }
}

void rx_repeat_q(Co3964* p, uint32_t now) {
  if (p->n_try_rx < p->n_max_rx - 1) {
    arm(p, now, p->t_repeat_ms);
    p->state = ST_WAIT_REPEAT;
  } else {
    p->state = ST_RX_OVER;
  }
}

void rx_over(Co3964* p) {
  if (p->tx_pending) {
    p->tx_pending = 0;
    p->rx_repeat = 0;  // our own STX goes first: no repeat can follow
    p->state = ST_NEW_ATTEMPT;
  } else {
    p->state = ST_IDLE;
  }
}

void rx_wait_repeat(Co3964* p, uint32_t now) {
  uint32_t ch = rx(p);
  if (ch == NOTHING) {
    wait_or(p, now, ST_IDLE);
  } else if (ch == CO3964_STX) {
    p->n_try_rx++;
    p->state = ST_OPENED;
  } else if (ch == CO3964_NAK) {
    p->state = ST_IDLE;
  } else {
    p->n_try_rx++;
    p->state = ST_STRAY;
  }
}

/* --- sending ---------------------------------------------------------------------- */

/* The line is left to fall quiet: every byte is dropped and starts t_char_ms anew. The wait
** runs on the connect attempt's clock: t_deadline is its t_ack_ms, and t_quiet the end of the
** quiet time. */
void enter_quiet(Co3964* p, uint32_t now) {
  arm(p, now, p->t_ack_ms);
  p->n_quiet = 0;
  p->t_quiet = plus_ms(p, now, p->t_char_ms);
  p->state = ST_QUIET;
}

/* State 23, input that is not acted on: the attempt counts as failed and the next STX goes
** out once the line has been quiet for t_char_ms (state 29, whose wait counts against the
** connect attempts like an unanswered STX). */
void tx_stale_input(Co3964* p) {
  if (++p->n_try_connect > p->n_max_connect)
    p->state = ST_RETRY_CONNECT;  // that was the last attempt: give up at once
  else
    enter_quiet(p, time_now(p));
}

/* State 23 after a sleep that kept the link away from the line for longer than the
** character delay: a byte that arrived meanwhile may be a DLE so old that the partner has
** long given up waiting for the data, and sending them now would only meet its idle line
** (which answers every byte with NAK, each leftover NAK then costing a connect attempt and
** provoking one more STX). So such input is stale. */
void tx_check_absence(Co3964* p) {
  uint32_t ch = rx(p);
  if (ch == NOTHING) return;  // nothing came while away: the wait goes on
  tx_stale_input(p);
}

/* State 23, a DLE taken: the partner acknowledges our STX and waits for the data, so a fresh
** DLE is the last byte it sent. A byte other than DLE already behind it shows that the DLE
** is as old as above, only held up elsewhere (a port or a process that did not run for
** longer than the character delay hands the DLE and the partner's NAK over at once): stale.
** DLEs may come in a row (a late verdict for an earlier frame, then the acknowledgement); the
** last one counts, but a longer run than any partner answering our STX can leave is noise. */
void tx_take_dle(Co3964* p) {
  uint32_t ch = rx_past_run(p, CO3964_DLE, N_MAX_DLE_RUN, 1, nullptr);
  if (ch == NOTHING)
    p->state = ST_SEND_FRAME;
  else
    tx_stale_input(p);
}

void tx_wait_dle(Co3964* p, uint32_t now) {
  uint32_t ch = rx(p);
  if (ch == NOTHING) {
    if (expired(p, now)) {
      p->n_try_connect++;
      p->state = ST_RETRY_CONNECT;
    } else if (sleep_1ms(p) > p->t_char_ms) {
      tx_check_absence(p);
    }
  } else if (ch == CO3964_DLE) {
    tx_take_dle(p);
  } else if (ch == CO3964_STX && p->high_priority) {
    // Collision: we keep the line and wait afresh for the partner to give way. A partner
    // that opens frame after frame never does, so each swallowed STX costs a connect attempt.
    p->state = ++p->n_try_connect > p->n_max_connect ? ST_RETRY_CONNECT : ST_ARM_ACK;
  } else if (ch == CO3964_STX) {
    p->tx_pending = 1;  // collision: we give way and send after the partner's frame
    p->n_try_rx = 1;
    p->state = ST_OPENED;
  } else {
    p->n_try_connect++;
    p->state = ST_RETRY_CONNECT;
  }
}

void tx_send_frame(Co3964* p, uint32_t now) {
  if (!send_with_dle(p)) {
    tx(p, CO3964_NAK);
    p->state = ST_TX_FAILED;
    return;
  }
  tx(p, CO3964_DLE);
  tx(p, CO3964_ETX);
  if (p->with_bcc) tx(p, Co3964_calc_bcc(p->ob_n_msg, p->ob_p_msg));
  arm(p, now, p->t_ack_ms);
  p->state = ST_WAIT_VERDICT;
}

void tx_wait_verdict(Co3964* p, uint32_t now) {
  uint32_t ch = rx(p);
  if (ch == NOTHING) {
    wait_or(p, now, ST_TX_FAILED);
  } else if (ch == CO3964_DLE) {
    p->ob_state = 0;
    p->state = ST_IDLE;
  } else {
    p->state = ST_TX_FAILED;
  }
}

/* Attempts exhausted: the message fails and the partner hears NAK. */
void tx_give_up(Co3964* p) {
  p->ob_state = 1;
  tx(p, CO3964_NAK);
  p->state = ST_IDLE;
}

/* State 29: waits for a quiet line before the next connect attempt. A line that does not
** fall quiet within t_ack_ms costs a connect attempt, as a silent partner would, so a chatty
** partner or a noisy line cannot hold the link here longer than the connect limits allow.
** So does a line that hands over more bytes than the longest frame has: bytes that are
** always there hold a clock that only moves while the link waits. */
void tx_quiet(Co3964* p, uint32_t now) {
  uint32_t ch = rx(p);
  if (ch == NOTHING && (int32_t)(p->t_quiet - now) < 0) {
    p->state = ST_RETRY_CONNECT;
    return;
  }
  bool flooded = false;
  if (ch != NOTHING) {
    p->t_quiet = plus_ms(p, now, p->t_char_ms);
    flooded = ++p->n_quiet > 2 * p->ib_n_max + 3;
  }
  if (expired(p, now) || flooded) {
    if (++p->n_try_connect > p->n_max_connect) {
      tx_give_up(p);
      return;
    }
    arm(p, now, p->t_ack_ms);
    p->n_quiet = 0;
  } else if (ch == NOTHING) {
    sleep_1ms(p);
  }
}

/* One pass of the state machine; 1 when it stops at idle, else 0. */
int do_state_machine(Co3964* p) {
  uint32_t now = time_now(p);
  switch (p->state) {
    case ST_IDLE: return rx_idle(p);
    case ST_OPENED: rx_opened(p, now); break;
    case ST_WAIT_IB_FREE: rx_wait_ib_free(p, now); break;
    case ST_ACK_STX: rx_ack_stx(p, now); break;
    case ST_ARM_CHAR:
      arm(p, now, p->t_char_ms);
      p->state = ST_DATA;
      break;
    case ST_DATA: rx_data(p, now); break;
    case ST_AFTER_DLE: rx_after_dle(p, now); break;
    case ST_BCC: rx_bcc(p, now); break;
    case ST_COMPLETE: rx_complete(p, now); break;
    case ST_REJECT:
      tx(p, CO3964_NAK);
      p->state = ST_REPEAT_Q;
      break;
    case ST_REPEAT_Q: rx_repeat_q(p, now); break;
    case ST_RX_OVER: rx_over(p); break;
    case ST_WAIT_REPEAT: rx_wait_repeat(p, now); break;
    case ST_STRAY:
      tx(p, CO3964_NAK);
      p->state = ST_IDLE;
      break;
    case ST_NEW_ATTEMPT:
      p->n_try_connect = 1;
      p->state = ST_CONNECT;
      break;
    case ST_CONNECT:
      tx(p, CO3964_STX);
      p->state = ST_ARM_ACK;
      break;
    case ST_ARM_ACK:
      arm(p, now, p->t_ack_ms);
      p->state = ST_WAIT_DLE;
      break;
    case ST_WAIT_DLE: tx_wait_dle(p, now); break;
    case ST_SEND_FRAME: tx_send_frame(p, now); break;
    case ST_WAIT_VERDICT: tx_wait_verdict(p, now); break;
    case ST_TX_FAILED:
      p->n_try_tx++;
      p->state = ST_RETRY_TX;
      break;
    case ST_RETRY_TX:
      if (p->n_try_tx > p->n_max_tx)
        tx_give_up(p);
      else
        p->state = ST_NEW_ATTEMPT;
      break;
    case ST_RETRY_CONNECT:
      if (p->n_try_connect > p->n_max_connect)
        tx_give_up(p);
      else
        p->state = ST_CONNECT;
      break;
    case ST_QUIET: tx_quiet(p, now); break;
    default: p->state = ST_IDLE; break;
  }
  return 0;
}

bool known_state(int32_t s) {
  return (s >= ST_IDLE && s <= ST_STRAY) || (s >= ST_NEW_ATTEMPT && s <= ST_QUIET);
}

}  // namespace

/* --- set-up ----------------------------------------------------------------------- */

Co3964* Co3964_init(Co3964* p, void* p_time, tyCo3964_cb_time_get_t_now cb_time_get_t_now,
                    tyCo3964_cb_time_plus_ms cb_time_plus_ms,
                    tyCo3964_cb_time_sleep_ms cb_time_sleep_ms, void* p_uart,
                    tyCo3964_cb_uart_receive_byte_nw cb_uart_receive_byte_nw,
                    tyCo3964_cb_uart_send_byte cb_uart_send_byte,
                    tyCo3964_cb_uart_send_with_dle cb_uart_send_with_dle, int32_t ib_n_max,
                    uint8_t* ib_p_msg, int32_t ob_n_max, uint8_t* ob_p_msg, int32_t with_bcc,
                    int32_t high_priority) {
  return Co3964_init_ex(p, p_time, cb_time_get_t_now, cb_time_plus_ms, cb_time_sleep_ms, p_uart,
                        cb_uart_receive_byte_nw, cb_uart_send_byte, cb_uart_send_with_dle, nullptr,
                        nullptr, ib_n_max, ib_p_msg, ob_n_max, ob_p_msg, with_bcc, high_priority);
}

/* Logs one missing required pointer; returns 1 when it is missing. */
static int missing(const void* p_field, const char* p_line) {
  if (p_field) return 0;
  StdIo_puts(p_line);
  return 1;
}

Co3964* Co3964_init_ex(Co3964* p, void* p_time, tyCo3964_cb_time_get_t_now cb_time_get_t_now,
                       tyCo3964_cb_time_plus_ms cb_time_plus_ms,
                       tyCo3964_cb_time_sleep_ms cb_time_sleep_ms, void* p_uart,
                       tyCo3964_cb_uart_receive_byte_nw cb_uart_receive_byte_nw,
                       tyCo3964_cb_uart_send_byte cb_uart_send_byte,
                       tyCo3964_cb_uart_send_with_dle cb_uart_send_with_dle, void* p_ib_check,
                       tyCo3964_cb_ib_check cb_ib_check, int32_t ib_n_max, uint8_t* ib_p_msg,
                       int32_t ob_n_max, uint8_t* ob_p_msg, int32_t with_bcc,
                       int32_t high_priority) {
  if (!p) return nullptr;
  p->p_time = p_time;
  p->cb_time_get_t_now = cb_time_get_t_now;
  p->cb_time_plus_ms = cb_time_plus_ms;
  p->cb_time_sleep_ms = cb_time_sleep_ms;
  p->p_uart = p_uart;
  p->cb_uart_receive_byte_nw = cb_uart_receive_byte_nw;
  p->cb_uart_send_byte = cb_uart_send_byte;
  p->cb_uart_send_with_dle = cb_uart_send_with_dle;
  p->p_ib_check = p_ib_check;
  p->cb_ib_check = cb_ib_check;
  p->ob_n_max = ob_n_max;
  p->ob_n_msg = 0;
  p->ob_p_msg = ob_p_msg;
  p->ob_state = 0;
  p->ib_n_max = ib_n_max;
  p->ib_n_msg = -1;
  p->ib_p_msg = ib_p_msg;
  p->ib_i = 0;
  p->with_bcc = with_bcc;
  p->high_priority = high_priority;
  p->state = ST_IDLE;
  p->t_deadline = 0;
  p->t_char_ms = T_CHAR_MS;
  p->t_ack_ms = T_ACK_MS;
  p->t_repeat_ms = T_REPEAT_MS;
  p->t_ib_free_ms = T_IB_FREE_MS;
  p->n_try_rx = p->n_try_tx = p->n_try_connect = 1;
  p->n_max_rx = p->n_max_tx = p->n_max_connect = N_MAX_TRY;
  p->rx_error = 0;
  p->tx_pending = 0;
  p->t_quiet = 0;
  p->n_quiet = 0;
  p->t_rx_dle = 0;
  p->rx_repeat = 0;
  p->t_away_ms = 0;
  int n_missing = 0;
  n_missing += missing((const void*)cb_time_get_t_now,
                       STDIO_ERR("Co3964_init_ex") "p -> cb_time_get_t_now = cb_time_get_t_now)");
  n_missing += missing((const void*)cb_time_plus_ms,
                       STDIO_ERR("Co3964_init_ex") "p -> cb_time_plus_ms = cb_time_plus_ms)");
  n_missing += missing(
      (const void*)cb_uart_receive_byte_nw,
      STDIO_ERR("Co3964_init_ex") "p -> cb_uart_receive_byte_nw = cb_uart_receive_byte_nw)");
  n_missing += missing((const void*)cb_uart_send_byte,
                       STDIO_ERR("Co3964_init_ex") "p -> cb_uart_send_byte = cb_uart_send_byte)");
  n_missing += missing(ob_p_msg, STDIO_ERR("Co3964_init_ex") "p -> ob_p_msg = ob_p_msg)");
  n_missing += missing(ib_p_msg, STDIO_ERR("Co3964_init_ex") "p -> ib_p_msg = ib_p_msg)");
  return n_missing ? nullptr : p;
}

int Co3964_set_cb_ib_check(Co3964* p, void* p_ib_check, tyCo3964_cb_ib_check cb_ib_check) {
  if (!p) return 0;
  p->p_ib_check = p_ib_check;
  p->cb_ib_check = cb_ib_check;
  return 1;
}

int Co3964_get_cb_ib_check(Co3964* p, void** out_ctx, tyCo3964_cb_ib_check* out_cb) {
  if (!p) return 0;
  if (out_ctx) *out_ctx = p->p_ib_check;
  if (out_cb) *out_cb = p->cb_ib_check;
  return 1;
}

tyCo3964_cb_ib_check Co3964_get_cb_ib_check_fn(Co3964* p) { return p ? p->cb_ib_check : nullptr; }

/* --- driving and messages --------------------------------------------------------- */

int Co3964_do(Co3964* p) {
  if (!p) return 0;
  assert(Co3964_assert_state(p));
  int n_deferred = 0;
  for (;;) {
    const int32_t state = p->state;
    if (do_state_machine(p)) return 1;
    // Only the owner can empty the inbound buffer, and it is held here: hand it back.
    if (p->state == ST_WAIT_IB_FREE && p->ib_n_msg >= 0) return CO3964_DO_IB_WANTED;
    // One exchange per call: a byte that already waits is the next call's, so the caller
    // looks at its own deadlines between exchanges however fast the partner sends. A
    // message that gave way goes out after the partner's frame in the same call, but a
    // partner that opens frame after frame ends the call at its second such frame.
    if (p->state == ST_IDLE) return CO3964_DO_AGAIN;
    if (state == ST_RX_OVER && ++n_deferred > 1) return CO3964_DO_AGAIN;
  }
}

int Co3964_ob_withdraw(Co3964* p) {
  if (!p || p->ob_state != 2) return 0;
  p->ob_state = 1;
  p->tx_pending = 0;
  if (p->state > ST_NEW_ATTEMPT) tx(p, CO3964_NAK);  // our STX is out: break the frame off
  if (p->state >= ST_NEW_ATTEMPT) p->state = ST_IDLE;
  return 1;
}

int Co3964_ob_set_msg(Co3964* p, int32_t n_msg, const uint8_t* p_msg) {
  if (!p) return StdIo_puts(STDIO_ERR("Co3964_ob_set_msg") "p == NULL"), 1;
  if (n_msg < 0) return StdIo_puts(STDIO_ERR("Co3964_ob_set_msg") "n_msg < 0"), 1;
  if (!p_msg) return StdIo_puts(STDIO_ERR("Co3964_ob_set_msg") "p_msg == NULL"), 1;
  if (p->ob_state == 2) return 1;
  if (n_msg > p->ob_n_max) return 3;
  for (int32_t i = 0; i < n_msg; i++) p->ob_p_msg[i] = p_msg[i];
  p->ob_n_msg = n_msg;
  p->ob_state = 2;
  return 2;
}

int Co3964_ob_get_state(Co3964* p) { return p ? p->ob_state : 1; }

uint32_t Co3964_get_t_away_ms(const Co3964* p) { return p ? p->t_away_ms : 0; }

int Co3964_ib_get_n_msg(Co3964* p) { return p ? p->ib_n_msg : -1; }

int Co3964_ib_get_msg(Co3964* p, int32_t n_msg, uint8_t* p_msg) {
  if (!p) return StdIo_puts(STDIO_ERR("Co3964_ib_get_msg") "p == NULL"), -1;
  if (n_msg < 0) return StdIo_puts(STDIO_ERR("Co3964_ib_get_msg") "n_msg < 0"), -1;
  if (!p_msg) return StdIo_puts(STDIO_ERR("Co3964_ib_get_msg") "p_msg == NULL"), -1;
  int32_t n = p->ib_n_msg;
  if (n < 0) return -1;
  p->ib_n_msg = -1;
  if (n > n_msg) return -2;
  for (int32_t i = 0; i < n; i++) p_msg[i] = p->ib_p_msg[i];
  return n;
}

uint8_t Co3964_calc_bcc(int32_t n_bytes, const uint8_t* p_bytes) {
  if (!p_bytes) return 0;
  uint8_t bcc = 0;
  for (int32_t i = 0; i < n_bytes; i++)
    if (p_bytes[i] != CO3964_DLE) bcc ^= p_bytes[i];  // a doubled 0x10 adds nothing
  return (uint8_t)(bcc ^ CO3964_DLE ^ CO3964_ETX);
}

int Co3964_assert_state(const Co3964* p) {
  if (!p) return 0;
  if (!known_state(p->state)) return 0;
  if (p->ob_state < 0 || p->ob_state > 2) return 0;
  if (p->ob_n_msg < 0 || p->ob_n_msg > p->ob_n_max) return 0;
  if (p->ib_n_msg < -1 || p->ib_n_msg > p->ib_n_max) return 0;
  if (p->ib_i < 0 || p->ib_i > p->ib_n_max) return 0;
  if (p->n_try_rx < 1 || p->n_try_tx < 1 || p->n_try_connect < 1) return 0;
  if (p->tx_pending && p->high_priority) return 0;  // only a side that gives way defers
  if (p->rx_repeat < 0 || p->rx_repeat > 2) return 0;
  return 1;
}
