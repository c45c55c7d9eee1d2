/*
** co3964.h - the 3964R link layer: moves whole messages to and from one partner over a
** serial line (STX / DLE / data with DLE doubling / DLE ETX / block check, answered DLE or
** NAK), with time-outs, attempt limits and a priority rule for collisions. It is a polled
** state machine in the owner's storage, with no thread or timer: the owner places an
** outbound message, calls Co3964_do, reads the outbound state and fetches inbound messages.
** The outside world (clock, serial port) is reached only through the callbacks below, so
** the same object runs over a COM port, a pseudo-terminal or an in-memory line.
*/
#ifndef ZENT_CO3964_H
#define ZENT_CO3964_H

#include <cstdint>

/* Control bytes of the procedure. */
#define CO3964_STX 0x02
#define CO3964_ETX 0x03
#define CO3964_DLE 0x10
#define CO3964_NAK 0x15

/* Block send result "every byte went out"; also the receive wrapper's "nothing received". */
#define CO3964_SEND_OK 0x80000000u

/* Current millisecond tick; runs freely and wraps at 2^32. */
typedef uint32_t (*tyCo3964_cb_time_get_t_now)(void* p_time);
/* The tick that lies t_ms after t (modulo 2^32). */
typedef uint32_t (*tyCo3964_cb_time_plus_ms)(void* p_time, uint32_t t, uint32_t t_ms);
/* Called in every idle pass of a wait with 1 ms; may return at once; result ignored. It
** must not call into the same link object. */
typedef int (*tyCo3964_cb_time_sleep_ms)(void* p_time, uint32_t t_ms);
/* Next received byte 0..255, or a negative value when none waits; never waits. */
typedef int (*tyCo3964_cb_uart_receive_byte_nw)(void* p_uart);
/* Sends one byte; result ignored. */
typedef int (*tyCo3964_cb_uart_send_byte)(void* p_uart, int ch);
/* Sends n bytes with every 0x10 doubled; CO3964_SEND_OK when all went out, else a failure. */
typedef uint32_t (*tyCo3964_cb_uart_send_with_dle)(void* p_uart, int n_bytes,
                                                   const uint8_t* p_bytes);
/* Acceptance test of a received frame whose block check matched: nonzero accepts. */
typedef int (*tyCo3964_cb_ib_check)(void* p_ib_check, int n_bytes, const uint8_t* p_bytes);

typedef struct Co3964 {
  void* p_time;                                  // config: context of the time callbacks
  tyCo3964_cb_time_get_t_now cb_time_get_t_now;  // config: required
  tyCo3964_cb_time_plus_ms cb_time_plus_ms;      // config: required
  tyCo3964_cb_time_sleep_ms cb_time_sleep_ms;    // config: may be NULL
  void* p_uart;                                  // config: context of the port callbacks
  tyCo3964_cb_uart_receive_byte_nw cb_uart_receive_byte_nw;  // config: required
  tyCo3964_cb_uart_send_byte cb_uart_send_byte;              // config: required
  tyCo3964_cb_uart_send_with_dle cb_uart_send_with_dle;      // config: NULL = byte by byte
  void* p_ib_check;                                          // config: context of cb_ib_check
  tyCo3964_cb_ib_check cb_ib_check;                          // config: NULL = accept every frame
  int32_t ob_n_max;       // config: capacity of ob_p_msg in bytes
  int32_t ob_n_msg;       // state: length of the outbound message
  uint8_t* ob_p_msg;      // config: outbound buffer (owner's), ob_n_max bytes
  int32_t ob_state;       // state: 2 pending, 0 sent (or nothing yet), 1 failed
  int32_t ib_n_max;       // config: capacity of ib_p_msg in bytes
  int32_t ib_n_msg;       // state: length of the held inbound message, -1 = buffer free
  uint8_t* ib_p_msg;      // config: inbound buffer (owner's), ib_n_max bytes
  int32_t ib_i;           // state: bytes stored so far of the frame being received
  int32_t with_bcc;       // config: frames carry a block check character
  int32_t high_priority;  // config: on a collision keep sending (1) or give way (0)
  int32_t state;          // state: state of the state machine (see co3964.cpp)
  uint32_t t_deadline;    // state: tick at which the current wait ends
  uint32_t t_char_ms;     // config: longest gap between two bytes of a frame, 220 ms
  uint32_t t_ack_ms;      // config: wait for DLE after STX and after the frame, 2000 ms
  uint32_t t_repeat_ms;   // config: wait for the partner's repeat after our NAK, 2000 ms
  uint32_t t_ib_free_ms;  // config: wait for the inbound buffer to be fetched, 2000 ms
  int32_t n_try_rx;       // state: receptions of the current inbound frame
  int32_t n_try_tx;       // state: transmission attempts of the outbound message
  int32_t n_try_connect;  // state: STX sent within one transmission attempt
  int32_t n_max_rx;       // config: limit for n_try_rx, 6 (allows 5 receptions)
  int32_t n_max_tx;       // config: limit for n_try_tx, 6
  int32_t n_max_connect;  // config: limit for n_try_connect, 6
  int32_t rx_error;       // state: a bad character was seen in the frame being received
  int32_t tx_pending;     // state: our frame gave way to the partner's, restart after it
  uint32_t t_quiet;       // state: tick at which the line counts as quiet again (state 29)
  int32_t n_quiet;        // state: bytes dropped in the present t_ack_ms of state 29
  uint32_t t_rx_dle;      // state: tick of our last DLE that gave the partner leave to send
  int32_t rx_repeat;      // state: 1 our late acknowledgement may answer a crossing STX, 2 it
                          // answered waiting STXs: the partner's repeat follows; else 0
  uint32_t t_away_ms;     // state: time the sleep callback kept the link away from the line,
                          // in sleeps longer than t_char_ms, summed (wraps at 2^32)
} Co3964;

/* Sets up the link in the caller's storage: Co3964_init_ex without an inbound check.
** Note that the inbound buffer comes before the outbound one. p, or NULL (see _ex). */
Co3964* Co3964_init(Co3964* p, void* p_time, tyCo3964_cb_time_get_t_now cb_time_get_t_now,
                    tyCo3964_cb_time_plus_ms cb_time_plus_ms,
                    tyCo3964_cb_time_sleep_ms cb_time_sleep_ms, void* p_uart,
                    tyCo3964_cb_uart_receive_byte_nw cb_uart_receive_byte_nw,
                    tyCo3964_cb_uart_send_byte cb_uart_send_byte,
                    tyCo3964_cb_uart_send_with_dle cb_uart_send_with_dle, int32_t ib_n_max,
                    uint8_t* ib_p_msg, int32_t ob_n_max, uint8_t* ob_p_msg, int32_t with_bcc,
                    int32_t high_priority);

/* Fills every field (whatever is missing) and logs one error line per missing required
** callback or buffer. NULL p gives NULL without a line; NULL when a line was written. */
Co3964* Co3964_init_ex(Co3964* p, void* p_time, tyCo3964_cb_time_get_t_now cb_time_get_t_now,
                       tyCo3964_cb_time_plus_ms cb_time_plus_ms,
                       tyCo3964_cb_time_sleep_ms cb_time_sleep_ms, void* p_uart,
                       tyCo3964_cb_uart_receive_byte_nw cb_uart_receive_byte_nw,
                       tyCo3964_cb_uart_send_byte cb_uart_send_byte,
                       tyCo3964_cb_uart_send_with_dle cb_uart_send_with_dle, void* p_ib_check,
                       tyCo3964_cb_ib_check cb_ib_check, int32_t ib_n_max, uint8_t* ib_p_msg,
                       int32_t ob_n_max, uint8_t* ob_p_msg, int32_t with_bcc,
                       int32_t high_priority);

/* Stores the inbound check and its context. 1, or 0 for a NULL object. */
int Co3964_set_cb_ib_check(Co3964* p, void* p_ib_check, tyCo3964_cb_ib_check cb_ib_check);

/* Writes the inbound check and its context through the out-pointers (each may be NULL).
** 1, or 0 for a NULL object. */
int Co3964_get_cb_ib_check(Co3964* p, void** out_ctx, tyCo3964_cb_ib_check* out_cb);

/* The inbound check; NULL for a NULL object. */
tyCo3964_cb_ib_check Co3964_get_cb_ib_check_fn(Co3964* p);

/* The driver: runs the state machine for at most one exchange. With a quiet line and
** nothing pending it returns 1 after one pass. Otherwise it returns once the exchange that
** starts or is in progress has ended (sent or given up, a frame held or refused, a stray
** byte answered), with CO3964_DO_AGAIN: a byte may already wait, and the next call takes
** it. So a partner that never falls quiet cannot keep the caller, and the caller sees its
** own deadlines between exchanges. A message that gives way (low priority) goes out after
** the partner's frame in the same call, but the second frame it gives way to in one call
** ends the call, with the message about to go out. A byte waiting at idle still goes
** before a pending outbound message. All waiting goes through the sleep callback. A
** received frame longer than ib_n_max is refused with NAK, never held cut short. STXs that
** already wait when the link answers the partner's STX are its repeats: only the last gets
** the DLE, and the frame is what follows it; any other byte behind them marks the STX as
** stale (no DLE; that byte is taken as at idle). A frame acknowledged more than t_ack_ms
** after our DLE let it come may have been given up by the partner: STXs that wait behind it
** are its repeats, our DLE answers the last, and the frame that follows it is received
** (and held) as a frame of its own once the owner has fetched the first; STXs and a NAK
** behind it get no DLE. A repeat STX that crosses our DLE comes in as the frame's first byte:
** when the block check holds only without it, it is dropped. When the partner opens a frame
** while a received message is still held, the link returns CO3964_DO_IB_WANTED so that the
** owner can fetch it; the next call acknowledges the frame once the buffer is free (or
** answers NAK when t_ib_free_ms has passed). 0 for a NULL object. */
int Co3964_do(Co3964* p);

/* Co3964_do result: a new frame waits for the held inbound message to be fetched. */
#define CO3964_DO_IB_WANTED 2
/* Co3964_do result: an exchange has ended; there may be more to do at once. */
#define CO3964_DO_AGAIN 3

/* Withdraws the pending outbound message, between calls of Co3964_do: it never goes on the
** line, and ob_state becomes 1 (failed), so the next message is accepted. A frame already
** begun is broken off with NAK. 1 withdrawn; 0 nothing pending or a NULL object. */
int Co3964_ob_withdraw(Co3964* p);

/* Hands one outbound message to the link (copied). 2 accepted (now pending); 1 for a bad
** argument (one error line) or a message still pending (no line); 3 longer than ob_n_max.
** Nothing changes unless the result is 2. */
int Co3964_ob_set_msg(Co3964* p, int32_t n_msg, const uint8_t* p_msg);

/* Outbound state: 2 pending, 0 sent, 1 failed; 1 for a NULL object. */
int Co3964_ob_get_state(Co3964* p);

/* Milliseconds the sleep callback has kept the link away from the line so far, counting
** each sleep that lasted longer than t_char_ms (in the loader: a message box open over the
** window); wraps at 2^32, so callers take differences. 0 for a NULL object. */
uint32_t Co3964_get_t_away_ms(const Co3964* p);

/* Length of the held inbound message, -1 when none (also for a NULL object). */
int Co3964_ib_get_n_msg(Co3964* p);

/* Copies the held inbound message into p_msg of n_msg bytes and frees the slot. The length
** (0 for an empty frame); -1 none held or a bad argument (bad argument: one error line);
** -2 the buffer is too small: the message is dropped for good. */
int Co3964_ib_get_msg(Co3964* p, int32_t n_msg, uint8_t* p_msg);

/* Block check of a message: XOR of every byte that goes on the wire after STX up to and
** including ETX (doubled DLEs cancel out). 0 for NULL bytes. */
uint8_t Co3964_calc_bcc(int32_t n_bytes, const uint8_t* p_bytes);

/* Checks the object's invariants (state known, counters and lengths within their limits).
** 1 consistent, 0 not or NULL. The driver asserts it on entry in debug builds. */
int Co3964_assert_state(const Co3964* p);

#endif
