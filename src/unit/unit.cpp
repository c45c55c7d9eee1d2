/*
** unit.cpp - the simulated unit: its link (a Co3964 with block check and low priority over
** a UnitLine), the request handlers of its boot loader, flash loader and application, the
** faults it injects on demand, and the thread that can run it.
**
**   BOOT_LOADER --0x12 to 0x400000, flash loader in RAM--> FLASH_LOADER
**   FLASH_LOADER --0x08, verdict OK--> APPLICATION --0x07--> BOOT_LOADER (RAM cleared)
**
** Requests a state does not know get exception 1; a request of the wrong length gets 3,
** an address outside the memory 2, a failed flash operation or jump 4.
*/
#include "unit.h"

#include "win32_time.h"

#include <atomic>
#include <chrono>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <new>
#include <thread>

/* What the flash loader has seen of the download since it began or last erased. */
struct DownloadOrder {
  int n_chunks;           // chunks programmed (requests other than the signature byte's)
  uint32_t a_last;        // the last chunk's address
  uint32_t n_last;        //   and byte count
  int signature_written;  // a request of exactly one byte wrote the signature byte's cell
  int signature_last;     // the request being answered is that one
  int signature_prev;     // the request before it was
  int code;               // the first mistake (UNIT_VERDICT_CHUNK_ORDER ...), else 0
  uint32_t a_mistake;     // address of the request that made it
};

struct Unit {
  UnitConfig cfg;                 // config: as given
  UnitLine line;                  // the line, with faults and counts
  Co3964 co;                      // the unit's link
  uint8_t ib[UNIT_N_MSG];         // link inbound buffer
  uint8_t ob[UNIT_N_MSG];         // link outbound buffer
  uint8_t req[UNIT_N_MSG];        // the request being answered
  uint8_t reply[UNIT_N_MSG];      // its reply
  UnitMem* p_mem;                 // RAM and flash
  int state;                      // UNIT_BOOT_LOADER, UNIT_FLASH_LOADER, UNIT_APPLICATION
  int has_verdict;                // a 0x08 was judged
  UnitVerdict verdict;            // its verdict
  DownloadOrder order;            // the order of the flash writes, judged on 0x08
  UnitStats stats;                // counts
  int collide;                    // collision armed: open a frame when the partner does
  int rx_pushback;                // a received byte handed to the link on its next call, or -1
  std::atomic<int> stop{0};       // Unit_stop asked the thread to end after this step
  std::atomic<int> force{0};      // ... and to cut the exchange in progress short
  std::atomic<int> running{0};    // the thread has not yet left its loop
  uint32_t t_stop_skew = 0;       // added to the link's tick while stopping (see loc_get_t_now)
  std::thread* p_thread = nullptr;  // the unit's own thread, or NULL
};

namespace {

constexpr uint8_t k_stx = 0x02;
constexpr uint8_t k_unsolicited[] = {0x7F, 0x00};  // answers no request: the master drops it
constexpr uint32_t k_stop_skew_ms = 0x01000000u;  // when forced: the tick's step per reading
constexpr int k_stop_grace_ms = 200;  // real time Unit_stop gives an exchange to end by itself
constexpr int32_t k_link_idle = 0;       // Co3964 state: idle, nothing begun
constexpr int32_t k_link_wait_dle = 23;  // Co3964 state: our STX sent, waiting for DLE

enum { REPLY_NONE = -1 };  // a handler's "say nothing"

/* --- clock and link callbacks ------------------------------------------------------ */

/* A stop was forced (Unit_stop) or asked from outside (p_cancel): waits end at once. */
bool cut_short(const Unit* p) {
  return p->force.load() || (p->cfg.p_cancel && *p->cfg.p_cancel);
}

uint32_t clock_now(Unit* p) { return p->cfg.cb_now ? p->cfg.cb_now(p->cfg.p_clock) : GetTickCount(); }

/* t_ms pass on the unit's clock. By default in steps of 1 ms until the clock shows them, so
** that under a virtual clock the master keeps its turns and sees the time pass. */
void pass_time(Unit* p, uint32_t t_ms) {
  if (t_ms == 0) return;
  if (p->cfg.cb_spend_ms) {
    p->cfg.cb_spend_ms(p->cfg.p_clock, t_ms);
    return;
  }
  uint32_t t_start = clock_now(p);
  while (clock_now(p) - t_start < t_ms && !cut_short(p)) Sleep(1);
}

/* The unit works for t_ms (erase, reply delay): counted as its processing time. */
void spend(Unit* p, uint32_t t_ms) {
  p->stats.t_work_ms += t_ms;
  pass_time(p, t_ms);
}

/* When a stop is forced or asked, every reading of the tick lies far beyond the last, so that each
** wait of the link, also one armed after the stop, ends at its next pass. */
uint32_t loc_get_t_now(void* pv) {
  Unit* p = (Unit*)pv;
  if (cut_short(p)) p->t_stop_skew += k_stop_skew_ms;
  return clock_now(p) + p->t_stop_skew;
}

uint32_t loc_plus_ms(void*, uint32_t t, uint32_t t_ms) { return t + t_ms; }

int loc_sleep_ms(void* pv, uint32_t t_ms) {
  UnitLine_idle(&((Unit*)pv)->line, t_ms);
  return 0;
}

void trace(Unit* p, const char* p_format, ...) __attribute__((format(printf, 2, 3)));

/* Collision armed and the partner's STX seen at idle: the link does not see it yet, but
** gets our unsolicited message, so that it sends its own STX first and then meets the
** partner's while it waits for DLE. */
int collide_with(Unit* p, int ch) {
  if (ch != k_stx || p->co.state != k_link_idle || Co3964_ob_get_state(&p->co) == 2) return ch;
  p->collide = 0;
  if (Co3964_ob_set_msg(&p->co, (int32_t)sizeof k_unsolicited, k_unsolicited) != 2) return ch;
  trace(p, "#%d unsolicited frame against the partner's", p->stats.n_requests);
  p->rx_pushback = ch;
  return -1;
}

int loc_receive_byte_nw(void* pv) {
  Unit* p = (Unit*)pv;
  int ch;
  if (p->rx_pushback >= 0) {
    ch = p->rx_pushback;
    p->rx_pushback = -1;
  } else {
    ch = UnitLine_receive(&p->line);
    if (p->collide && ch >= 0) ch = collide_with(p, ch);
  }
  if (ch == k_stx && p->co.state == k_link_wait_dle) p->stats.n_collisions++;  // both sides opened a frame
  return ch;
}

int loc_send_byte(void* pv, int ch) {
  UnitLine_send_byte(&((Unit*)pv)->line, ch);
  return ch;
}

uint32_t loc_send_with_dle(void* pv, int n, const uint8_t* p_bytes) {
  return UnitLine_send_with_dle(&((Unit*)pv)->line, n, p_bytes);
}

/* --- replies and trace ----------------------------------------------------------- */

void trace(Unit* p, const char* p_format, ...) {
  if (!p->cfg.cb_trace) return;
  char line[256];
  va_list ap;
  va_start(ap, p_format);
  vsnprintf(line, sizeof line, p_format, ap);
  va_end(ap);
  p->cfg.cb_trace(p->cfg.p_trace, line);
}

uint32_t get_u32(const uint8_t* b) {
  return (uint32_t)b[0] | (uint32_t)b[1] << 8 | (uint32_t)b[2] << 16 | (uint32_t)b[3] << 24;
}

void put_u32(uint8_t* b, uint32_t v) {
  for (int i = 0; i < 4; ++i) b[i] = (uint8_t)(v >> (8 * i));
}

/* The first n request bytes echoed. */
int echo(Unit* p, int n) {
  memcpy(p->reply, p->req, (size_t)n);
  return n;
}

int exception(Unit* p, int code) {
  p->reply[0] = (uint8_t)(p->req[0] | 0x80);
  p->reply[1] = (uint8_t)code;
  p->stats.n_exceptions++;
  trace(p, "#%d 0x%02x -> exception %d", p->stats.n_requests, p->req[0], code);
  return 2;
}

/* The echo of n bytes with a trace line, or the exception for a memory result. */
int answer(Unit* p, int n_echo, int mem_result, const char* p_what) {
  if (mem_result != UNIT_MEM_OK) return exception(p, mem_result);
  trace(p, "#%d %s: ok", p->stats.n_requests, p_what);
  return echo(p, n_echo);
}

/* --- boot loader ------------------------------------------------------------------ */

int on_activate(Unit* p, int n) {
  if (n != 1) return exception(p, 3);
  if (p->state == UNIT_APPLICATION) {  // the application hands over to the boot loader
    UnitMem_reset_ram(p->p_mem);
    p->state = UNIT_BOOT_LOADER;
  }
  return answer(p, 1, UNIT_MEM_OK, "0x07 activate boot loader");
}

int on_cpu_type(Unit* p, int n) {
  if (n != 1) return exception(p, 3);
  p->reply[0] = p->req[0];
  put_u32(p->reply + 1, p->cfg.cpu_type);
  put_u32(p->reply + 5, UNIT_BOOT_VERSION);
  put_u32(p->reply + 9, 0);
  trace(p, "#%d 0x05 CPU type: %u", p->stats.n_requests, (unsigned)p->cfg.cpu_type);
  return 13;
}

/* Length check of a request that carries address, count and the counted bytes. */
bool data_request_ok(const Unit* p, int n) {
  return n >= 9 && (uint32_t)(n - 9) == get_u32(p->req + 5);
}

int on_write_ram(Unit* p, int n) {
  if (!data_request_ok(p, n)) return exception(p, 3);
  uint32_t adr = get_u32(p->req + 1), n_bytes = get_u32(p->req + 5);
  int r = UnitMem_ram_write(p->p_mem, adr, n_bytes, p->req + 9);
  char what[64];
  snprintf(what, sizeof what, "0x13 write RAM adr=0x%06x n=%u", (unsigned)adr, (unsigned)n_bytes);
  return answer(p, 9, r, what);
}

/* 1 when RAM holds the flash loader: the expected set, or at least a write at 0x400000. */
bool flash_loader_in_ram(const Unit* p) {
  const UnitConfig* c = &p->cfg;
  if (c->n_loader_set == 0) return UnitMem_ram_is_set(p->p_mem, UNIT_RAM_A);
  for (uint32_t i = 0; i < c->n_loader_set; ++i)
    if (!UnitMem_ram_holds(p->p_mem, c->p_loader_a[i], c->p_loader_n[i], c->p_loader_p[i]))
      return false;
  return true;
}

int on_jump(Unit* p, int n) {
  if (n != 5) return exception(p, 3);
  if (get_u32(p->req + 1) != UNIT_RAM_A) return exception(p, 2);
  if (!flash_loader_in_ram(p)) {
    trace(p, "#%d 0x12 jump: RAM does not hold the flash loader", p->stats.n_requests);
    return exception(p, 4);
  }
  p->state = UNIT_FLASH_LOADER;
  p->order = DownloadOrder{};
  return answer(p, 5, UNIT_MEM_OK, "0x12 jump to 0x400000: flash loader runs");
}

/* --- flash loader ------------------------------------------------------------------ */

int on_erase(Unit* p, int n) {
  if (n != 1) return exception(p, 3);
  spend(p, p->cfg.t_erase_ms);
  UnitMem_flash_erase(p->p_mem);
  p->order = DownloadOrder{};
  return answer(p, 1, UNIT_MEM_OK, "0x23 erase 0x180000..0x1dffff");
}

int on_blank_check(Unit* p, int n) {
  if (n != 1) return exception(p, 3);
  int r = UnitMem_flash_is_blank(p->p_mem) ? UNIT_MEM_OK : UNIT_MEM_FAILED;
  return answer(p, 1, r, "0x24 blank check");
}

constexpr uint32_t k_a_signature = UNIT_FLASH_A + UNIT_CODE_I_SIGNATURE;

bool all_ff(const uint8_t* p_bytes, uint32_t n) {
  for (uint32_t i = 0; i < n; ++i)
    if (p_bytes[i] != 0xFF) return false;
  return true;
}

/* Notes a flash write of n bytes at adr (inside the area) in the download's order: the
** chunks ascending, none all 0xFF, the signature byte's cell left erased in them, then the
** signature byte alone. A repeat of the last chunk (the link may deliver a frame twice when
** an acknowledgement was lost) breaks nothing. The first mistake is kept. */
void note_flash_write(Unit* p, uint32_t adr, uint32_t n, const uint8_t* p_bytes) {
  DownloadOrder* o = &p->order;
  if (n == 0) return;  // programs nothing
  if (n == 1 && adr == k_a_signature) {
    o->signature_written = 1;
    o->signature_last = 1;
    return;
  }
  int code = UNIT_VERDICT_OK;
  if (o->signature_written)
    code = UNIT_VERDICT_SIGNATURE_NOT_LAST;
  else if (all_ff(p_bytes, n))
    code = UNIT_VERDICT_BLANK_CHUNK;
  else if (adr <= k_a_signature && k_a_signature - adr < n && p_bytes[k_a_signature - adr] != 0xFF)
    code = UNIT_VERDICT_SIGNATURE_IN_CHUNK;
  else if (o->n_chunks > 0 && adr < o->a_last + o->n_last && !(adr == o->a_last && n == o->n_last))
    code = UNIT_VERDICT_CHUNK_ORDER;
  if (code != UNIT_VERDICT_OK && o->code == UNIT_VERDICT_OK) {
    o->code = code;
    o->a_mistake = adr;
  }
  o->n_chunks++;
  o->a_last = adr;
  o->n_last = n;
}

/* After a sound image: the order of its download, into the verdict. */
void judge_order(Unit* p) {
  const DownloadOrder* o = &p->order;
  if (o->code != UNIT_VERDICT_OK) {
    p->verdict.code = o->code;
    p->verdict.a_order = o->a_mistake;
  } else if (!o->signature_prev) {
    p->verdict.code = UNIT_VERDICT_SIGNATURE_NOT_LAST;
    p->verdict.a_order = k_a_signature;
  }
}

int on_write_flash(Unit* p, int n) {
  if (!data_request_ok(p, n)) return exception(p, 3);
  uint32_t adr = get_u32(p->req + 1), n_bytes = get_u32(p->req + 5);
  int r = UnitMem_flash_program(p->p_mem, adr, n_bytes, p->req + 9);
  if (r != UNIT_MEM_BAD_ADR) note_flash_write(p, adr, n_bytes, p->req + 9);
  char what[64];
  snprintf(what, sizeof what, "0x25 program flash adr=0x%06x n=%u", (unsigned)adr, (unsigned)n_bytes);
  return answer(p, 9, r, what);
}

int on_start(Unit* p, int n) {
  if (n != 1) return exception(p, 3);
  UnitImage_judge(UnitMem_get_p_flash(p->p_mem), p->cfg.n_expected_appl, p->cfg.p_expected_appl,
                  &p->verdict);
  if (p->verdict.code == UNIT_VERDICT_OK) judge_order(p);
  p->has_verdict = 1;
  char at[32] = "";
  if (p->verdict.code >= UNIT_VERDICT_CHUNK_ORDER)
    snprintf(at, sizeof at, " at adr=0x%06x", (unsigned)p->verdict.a_order);
  trace(p, "#%d 0x08 start application: verdict: %s%s (n_src=%u n_dst=%u expanded=%d)",
        p->stats.n_requests, UnitVerdict_text(p->verdict.code), at, (unsigned)p->verdict.n_src,
        (unsigned)p->verdict.n_dst, (int)p->verdict.n_expanded);
  if (p->verdict.code != UNIT_VERDICT_OK) return exception(p, 4);
  p->state = UNIT_APPLICATION;
  p->stats.n_starts++;
  return echo(p, 1);
}

/* --- dispatch ------------------------------------------------------------------------ */

int dispatch(Unit* p, int n) {
  uint8_t fc = p->req[0];
  switch (p->state) {
    case UNIT_BOOT_LOADER:
      if (fc == 0x07) return on_activate(p, n);
      if (fc == 0x05) return on_cpu_type(p, n);
      if (fc == 0x13) return on_write_ram(p, n);
      if (fc == 0x12) return on_jump(p, n);
      break;
    case UNIT_FLASH_LOADER:
      if (fc == 0x23) return on_erase(p, n);
      if (fc == 0x24) return on_blank_check(p, n);
      if (fc == 0x25) return on_write_flash(p, n);
      if (fc == 0x08) return on_start(p, n);
      break;
    default:
      if (fc == 0x07) return on_activate(p, n);
      break;
  }
  return exception(p, 1);
}

/* The reply to the request in p->req, or REPLY_NONE for silence. */
int handle_request(Unit* p, int n) {
  if (n == 0) return REPLY_NONE;  // an empty frame asks nothing
  const UnitConfig* c = &p->cfg;
  if (c->k_fault > 0 && p->stats.n_requests >= c->k_fault) {
    if (c->fault_exception > 0) return exception(p, c->fault_exception);
    trace(p, "#%d 0x%02x -> no reply", p->stats.n_requests, p->req[0]);
    return REPLY_NONE;
  }
  p->order.signature_prev = p->order.signature_last;  // whether 0x08 follows the signature
  p->order.signature_last = 0;
  return dispatch(p, n);
}

/* Hands a message to the link and drives it until sent or given up. 1 when sent. */
int send_message(Unit* p, int n, const uint8_t* p_msg) {
  if (Co3964_ob_set_msg(&p->co, n, p_msg) != 2) return 0;
  while (Co3964_ob_get_state(&p->co) == 2 && !cut_short(p)) Co3964_do(&p->co);
  return Co3964_ob_get_state(&p->co) == 0;
}

void send_reply(Unit* p, int n_reply) {
  spend(p, p->cfg.t_reply_delay_ms);
  if (send_message(p, n_reply, p->reply))
    p->stats.n_replies++;
  else
    trace(p, "#%d reply not delivered", p->stats.n_requests);
}


void copy_line_stats(Unit* p) {
  p->stats.n_rx = p->line.n_rx;
  p->stats.n_tx = p->line.n_tx;
  p->stats.n_line_faults = p->line.n_faults;
}

void thread_body(Unit* p) {
  while (!p->stop.load()) Unit_poll(p);
  p->running = 0;
}

}  // namespace

void UnitConfig_init(UnitConfig* p) {
  memset(p, 0, sizeof *p);
  p->cpu_type = UNIT_CPU_TYPE_504;
  p->flash_fill = 0x00;
}

Unit* Unit_alloc(const UnitConfig* p_cfg, const UnitPort* p_port) {
  if (!p_cfg || !p_port) return nullptr;
  Unit* p = new (std::nothrow) Unit();
  if (!p) return nullptr;
  p->cfg = *p_cfg;
  UnitLine_init(&p->line, p_port, &p_cfg->line_faults);
  p->p_mem = UnitMem_alloc(p_cfg->flash_fill);
  Co3964* p_co = Co3964_init(&p->co, p, loc_get_t_now, loc_plus_ms, loc_sleep_ms, p,
                             loc_receive_byte_nw, loc_send_byte, loc_send_with_dle, UNIT_N_MSG,
                             p->ib, UNIT_N_MSG, p->ob, 1, 0);
  if (!p->p_mem || !p_co) {
    Unit_free(p);
    return nullptr;
  }
  p->state = UNIT_BOOT_LOADER;
  p->rx_pushback = -1;
  return p;
}

void Unit_free(Unit* p) {
  if (!p) return;
  Unit_stop(p);
  UnitMem_free(p->p_mem);
  delete p;
}

int Unit_poll(Unit* p) {
  if (!p) return -1;
  Co3964_do(&p->co);
  int n = Co3964_ib_get_msg(&p->co, UNIT_N_MSG, p->req);
  copy_line_stats(p);
  if (n < 0) {
    UnitLine_idle(&p->line, 1);
    pass_time(p, p->cfg.t_idle_advance_ms);
    return 0;
  }
  p->stats.n_requests++;
  int n_reply = handle_request(p, n);
  // Armed before the reply goes out: the partner's next STX may follow the last DLE of the
  // reply at once, inside the same pass of the link.
  if (p->cfg.k_collision > 0 && p->stats.n_requests == p->cfg.k_collision) p->collide = 1;
  if (n_reply != REPLY_NONE) send_reply(p, n_reply);
  copy_line_stats(p);
  return 1;
}

int Unit_start(Unit* p) {
  if (!p || p->p_thread) return 0;
  p->stop = 0;
  p->force = 0;
  p->running = 1;
  p->p_thread = new (std::nothrow) std::thread(thread_body, p);
  return p->p_thread != nullptr;
}

void Unit_stop(Unit* p) {
  if (!p || !p->p_thread) return;
  p->stop = 1;  // first let the exchange in progress end by itself, in real time
  for (int i = 0; i < k_stop_grace_ms && p->running.load(); ++i)
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  p->force = 1;
  p->p_thread->join();
  delete p->p_thread;
  p->p_thread = nullptr;
  p->stop = 0;
  p->force = 0;
  p->t_stop_skew = 0;
}

int Unit_get_state(const Unit* p) { return p ? p->state : -1; }

const UnitVerdict* Unit_get_verdict(const Unit* p) {
  return p && p->has_verdict ? &p->verdict : nullptr;
}

UnitStats Unit_get_stats(const Unit* p) {
  UnitStats s;
  memset(&s, 0, sizeof s);
  return p ? p->stats : s;
}

UnitMem* Unit_get_mem(Unit* p) { return p ? p->p_mem : nullptr; }
