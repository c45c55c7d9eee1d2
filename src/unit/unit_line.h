/*
** unit_line.h - the unit's end of the serial line. A UnitPort is any transport given as
** four callbacks (receive without waiting, send a byte, send a block with DLE doubling,
** wait for input); UnitFdPort is the one over a serial device or the master side of a
** pseudo-terminal, optionally paced at the real line rate (115200 baud, 8N1: one byte
** every 86.8 microseconds each way, measured in real time). UnitLine sits between the
** unit's link and a port: it counts the bytes that cross the wire and injects line faults
** (bit errors, lost bytes, extra bytes) at given rates from a seeded generator, so a faulty
** run can be repeated.
*/
#ifndef ZENT_UNIT_LINE_H
#define ZENT_UNIT_LINE_H

#include <cstdint>

#define UNIT_LINE_NS_PER_BYTE 86806  // 10 bits at 115200 baud, in nanoseconds
#define UNIT_FD_PORT_N_RX 4096       // bytes read ahead from the descriptor

/* A transport. cb_send_with_dle may be NULL (the block then goes byte by byte). */
typedef struct UnitPort {
  void* p;                                                      // context of the callbacks
  int (*cb_receive_byte_nw)(void* p);                           // byte 0..255, negative: none
  int (*cb_send_byte)(void* p, int ch);                         // result ignored
  uint32_t (*cb_send_with_dle)(void* p, int n, const uint8_t* p_bytes);  // 0x80000000: sent
  int (*cb_idle)(void* p, uint32_t t_ms);                       // wait up to t_ms for input
} UnitPort;

/* Fault rates are probabilities per byte, 0 to 1, applied in both directions. */
typedef struct UnitLineFaults {
  double bit_error_rate;  // one random bit of the byte flips
  double lost_rate;       // the byte vanishes
  double extra_rate;      // a random byte appears before it
  uint64_t seed;          // generator seed; the same seed repeats the same faults
} UnitLineFaults;

typedef struct UnitLine {
  UnitPort port;           // config: the transport
  UnitLineFaults faults;   // config: what to inject
  uint64_t rng;            // state: generator
  int pushback;            // state: a received byte held back behind an extra one, or -1
  uint64_t n_rx;           // stats: bytes taken from the transport
  uint64_t n_tx;           // stats: bytes handed to the transport
  uint64_t n_faults;       // stats: faults injected, both directions
} UnitLine;

/* Sets up a line over a port with faults (NULL: none). p, or NULL for NULL arguments. */
UnitLine* UnitLine_init(UnitLine* p, const UnitPort* p_port, const UnitLineFaults* p_faults);

/* The next received byte after the faults, or -1 when none waits. */
int UnitLine_receive(UnitLine* p);

/* Sends one byte (or, by the faults, none or two). */
void UnitLine_send_byte(UnitLine* p, int ch);

/* Sends n bytes with every 0x10 doubled; 0x80000000 when the transport took them. */
uint32_t UnitLine_send_with_dle(UnitLine* p, int n, const uint8_t* p_bytes);

/* Waits up to t_ms for input through the transport. */
void UnitLine_idle(UnitLine* p, uint32_t t_ms);

/* --- the descriptor transport ---------------------------------------------------- */

typedef struct UnitFdPort {
  int fd;                               // config: non-blocking descriptor, not owned
  int paced;                            // config: 1 = bytes at the real line rate
  uint8_t rx[UNIT_FD_PORT_N_RX];        // state: bytes read ahead
  int64_t rx_t_ns[UNIT_FD_PORT_N_RX];   // state: when each of them has arrived (paced)
  int i_rx, n_rx;                       // state: next byte, bytes held
  int64_t t_rx_free_ns;                 // state: end of the last byte on the way in
  int64_t t_tx_free_ns;                 // state: end of the last byte on the way out
  int hung_up;                          // state: the descriptor reported the far side gone
} UnitFdPort;

/* Sets up the transport over fd (made non-blocking here). p, or NULL. */
UnitFdPort* UnitFdPort_init(UnitFdPort* p, int fd, int paced);

/* The four callbacks over an UnitFdPort. */
UnitPort UnitFdPort_port(UnitFdPort* p);

/* Monotonic real time in nanoseconds. */
int64_t UnitLine_now_ns(void);

#endif
