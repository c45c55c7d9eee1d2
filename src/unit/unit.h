/*
** unit.h - the target unit simulator: the partner at the far end of the COM port. It runs
** the 3964R procedure with block check and low priority (it gives way on a collision) and
** answers RMC requests first as the boot loader (0x07 wake-up, 0x05 CPU type, 0x13 write to
** RAM, 0x12 jump), then, once a jump to 0x400000 finds the flash loader in RAM, as the flash
** loader (0x23 erase, 0x24 blank check, 0x25 program with NOR semantics, 0x08 start). On
** 0x08 it judges its flash (unit_image.h) and starts the application only when the image is
** complete and sound and its download kept the order since the erase: chunks in ascending
** address order, none of them all 0xFF, the signature byte's cell left erased in them and
** then written by a request of exactly one byte, which came right before the 0x08;
** otherwise it answers exception 4 and the verdict says why. A started application answers
** 0x07 by resetting into the boot loader, and anything else with exception 1.
**
** Driving it: Unit_poll is one step (take a request if one has come, answer it, else wait
** one millisecond for input through the port); Unit_start runs Unit_poll on a thread of its
** own until Unit_stop. Its time comes from GetTickCount and the time it spends (erase,
** reply delay) from Sleep, unless the configuration gives a clock: under Win32VirtualClock
** the unit's work moves the virtual clock, and waiting for input does not (see
** t_idle_advance_ms). Faults are switched on in the configuration.
*/
#ifndef ZENT_UNIT_H
#define ZENT_UNIT_H

#include "co3964.h"
#include "unit_image.h"
#include "unit_line.h"
#include "unit_mem.h"

#include <csignal>
#include <cstdint>

/* What answers on the unit. */
#define UNIT_BOOT_LOADER 0
#define UNIT_FLASH_LOADER 1
#define UNIT_APPLICATION 2

#define UNIT_N_MSG 384               // capacity of each link buffer, as the loader's
#define UNIT_CPU_TYPE_504 1          // the CPU type the loader accepts
#define UNIT_BOOT_VERSION 0x00020000u  // second value of the CPU-type reply

typedef void (*tyUnit_cb_trace)(void* p, const char* p_line);

typedef struct UnitConfig {
  uint32_t cpu_type;            // first value of the 0x05 reply; 1 by default
  uint32_t t_erase_ms;          // time the erase of the application area takes
  uint32_t t_reply_delay_ms;    // time spent before every reply
  int32_t k_fault;              // from the k-th request on (1 = first) the fault acts; 0 never
  int32_t fault_exception;      // 1..7: exception reply with this code; 0: no reply at all
  int32_t k_collision;          // after replying to the k-th request, open an unsolicited
                                // frame (0x7F 0x00) the moment the partner opens its next
                                // one, so that both STX cross; 0 never
  uint32_t t_idle_advance_ms;   // time a quiet poll spends besides waiting for input, so
                                // that the master's time-outs pass under a virtual clock
  uint8_t flash_fill;           // flash content at power-up: an old application, not erased
  UnitLineFaults line_faults;   // bit errors, lost and extra bytes on the line
  uint32_t n_loader_set;        // expected flash loader as a set; 0: any write at 0x400000
  const uint32_t* p_loader_a;   //   its addresses
  const uint32_t* p_loader_n;   //   its byte counts
  const uint8_t* const* p_loader_p;  // its bytes
  int32_t n_expected_appl;      // expected application from 0x400000 (length)
  const uint8_t* p_expected_appl;  // its bytes; NULL: not compared
  void* p_trace;                // context of cb_trace
  tyUnit_cb_trace cb_trace;     // one line per request and per verdict; NULL: quiet
  void* p_clock;                // context of the two clock callbacks
  uint32_t (*cb_now)(void* p_clock);                 // ms tick; NULL: GetTickCount
  void (*cb_spend_ms)(void* p_clock, uint32_t t_ms); // the unit works t_ms; NULL: Sleep(1)
                                                     // until the clock has moved t_ms
  const volatile sig_atomic_t* p_cancel;  // nonzero (a signal handler may set it): the work
                                          // and exchange in progress end at once; NULL: never
} UnitConfig;

/* Counts since the unit was made. */
typedef struct UnitStats {
  int32_t n_requests;      // requests taken from the link
  int32_t n_replies;       // replies delivered (acknowledged by the partner)
  int32_t n_exceptions;    // of them, exception replies
  int32_t n_collisions;    // partner's STX met while this side waited for DLE
  int32_t n_starts;        // applications started (0x08 with a sound flash)
  uint64_t n_rx;           // bytes received from the line, framing included
  uint64_t n_tx;           // bytes sent to the line, framing included
  uint64_t n_line_faults;  // faults injected on the line
  uint32_t t_work_ms;      // time spent working (erase, reply delays)
} UnitStats;

typedef struct Unit Unit;

/* Defaults: CPU type 1, no delays, no faults, flash filled with 0x00, nothing expected. */
void UnitConfig_init(UnitConfig* p);

/* A unit in its boot loader over the port (copied; its context must outlive the unit).
** NULL when memory is short or an argument is NULL. */
Unit* Unit_alloc(const UnitConfig* p_cfg, const UnitPort* p_port);

/* Stops the thread if running and releases everything; NULL does nothing. */
void Unit_free(Unit* p);

/* One step: when a request has come, answers it (through the whole frame exchange) and
** gives 1; else waits up to 1 ms for input and gives 0. -1 for NULL. */
int Unit_poll(Unit* p);

/* Runs Unit_poll on a thread of the unit's own. 1, or 0 when already running or NULL. */
int Unit_start(Unit* p);

/* Ends the thread: the exchange in progress gets up to 200 ms of real time to end by itself,
** then it is cut short (the unit's link time-outs pass at once); the thread is joined.
** Nothing when not running. */
void Unit_stop(Unit* p);

/* State, verdict and counts; read them from the unit's thread or after Unit_stop. */
int Unit_get_state(const Unit* p);
/* The verdict of the last 0x08, or NULL when none was asked for. */
const UnitVerdict* Unit_get_verdict(const Unit* p);
UnitStats Unit_get_stats(const Unit* p);
/* The unit's memories, for tests that look into them or prepare them. */
UnitMem* Unit_get_mem(Unit* p);

#endif
