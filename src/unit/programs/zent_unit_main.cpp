/*
** zent_unit_main.cpp - zent-unit, the target unit simulator as a program: the partner for
** the loader on a serial device, or on a pseudo-terminal that it creates and names, so that
** ZENT_COM1=<path> lets the loader reach it. It prints each request and its verdict, and
** its exit status says whether an application was started. The built-in stand-in firmware
** (when the build has it) is what the unit expects to find in RAM and in the flash.
*/
#include "unit.h"
#include "unit_image.h"

#ifdef ZENT_HAVE_FIRMWARE
#include "embedded_sets.h"
#endif

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cerrno>
#include <cstring>
#include <ctime>
#include <fcntl.h>
#include <getopt.h>
#include <pty.h>
#include <string>
#include <termios.h>
#include <unistd.h>
#include <vector>

namespace {

constexpr int k_exit_started = 0;      // the application was started
constexpr int k_exit_not_started = 1;  // ended without a started application
constexpr int k_exit_usage = 2;        // bad options or no line

volatile sig_atomic_t g_stop = 0;  // set by SIGINT and SIGTERM

struct Options {
  std::string device;      // serial device; empty: a pseudo-terminal
  bool stay = false;       // keep answering after the application started
  bool quiet = false;      // no line per request
  bool expect = true;      // compare with the built-in firmware
  bool paced = false;      // real line rate
  long timeout_s = 0;      // give up after this long; 0: never
  UnitConfig cfg;          // the unit's configuration
};

const char k_help[] =
    "Usage: zent-unit [options]\n"
    "Simulates the target unit at the far end of the loader's COM port: the boot loader\n"
    "(0x07 wake-up, 0x05 CPU type, 0x13 write RAM, 0x12 jump), the flash loader (0x23 erase,\n"
    "0x24 blank check, 0x25 program flash, 0x08 start) and the check of the application\n"
    "before it starts. 3964R with block check, low priority (gives way on a collision).\n"
    "Prints each request with the unit's answer, then its verdict, the counts of requests,\n"
    "exceptions, collisions, starts and bytes, and the time spent on erase and delays.\n"
    "It ends once the application has started, unless --stay.\n"
    "Exceptions it answers by itself: 1 a request the running loader does not know; 2 an\n"
    "address outside RAM (0x400000..0x4FFFFF) or the application area (0x180000..0x1DFFFF);\n"
    "3 a request of the wrong length; 4 a jump that finds no flash loader in RAM, a blank\n"
    "check that finds a programmed byte, a flash cell that does not read back as written,\n"
    "or a start (0x08) that finds no complete and sound application, which then stays off.\n"
    "The start also needs the download in order: since the erase, chunks in ascending\n"
    "address order, none all 0xFF, the signature byte at 0x180010 left 0xFF in its chunk\n"
    "and then written alone by the request right before the start.\n"
    "\n"
    "Line:\n"
    "  --pty                 create a pseudo-terminal (default); the first output line is\n"
    "                        its path: run the loader with ZENT_COM1=<path>\n"
    "  --device PATH         use a serial device, set to 115200 baud 8N1 raw\n"
    "  --paced               bytes at the real line rate (86.8 us each, each way)\n"
    "Faults:\n"
    "  --cpu-type N          CPU type reported by 0x05 (default 1, the only one accepted)\n"
    "  --erase-ms N          time the erase takes (default 0)\n"
    "  --reply-delay-ms N    time before every reply (default 0)\n"
    "  --exception-from K:C  from the K-th request on, answer exception C (1..7)\n"
    "  --silent-from K       from the K-th request on, answer nothing\n"
    "                        (of these two, the last one given counts)\n"
    "  --bit-errors RATE     probability per byte of a flipped bit, both ways\n"
    "  --lost-bytes RATE     probability per byte that it is lost\n"
    "  --extra-bytes RATE    probability per byte that a random byte comes before it\n"
    "  --seed N              seed of the line faults (default 1)\n"
    "  --collision-after K   after the K-th reply, open a frame that meets the next request\n"
    "Run:\n"
    "  --no-expect           accept any flash loader and any sound application image,\n"
    "                        downloaded in order (default: the built-in stand-in firmware\n"
    "                        must arrive unchanged)\n"
    "  --stay                keep answering after the application started\n"
    "  --timeout-s N         give up after N seconds\n"
    "  --quiet               print only the path and the verdict\n"
    "  --help                this text\n"
    "\n"
    "Exit status: 0 an application was started (with --stay: at least once), 1 none was,\n"
    "2 bad options or no line.\n";

enum {
  OPT_PTY = 256, OPT_DEVICE, OPT_PACED, OPT_CPU, OPT_ERASE, OPT_DELAY, OPT_EXC, OPT_SILENT,
  OPT_BITS, OPT_LOST, OPT_EXTRA, OPT_SEED, OPT_COLL, OPT_NO_EXPECT, OPT_STAY, OPT_TIMEOUT,
  OPT_QUIET, OPT_HELP
};

const option k_options[] = {
    {"pty", no_argument, nullptr, OPT_PTY},
    {"device", required_argument, nullptr, OPT_DEVICE},
    {"paced", no_argument, nullptr, OPT_PACED},
    {"cpu-type", required_argument, nullptr, OPT_CPU},
    {"erase-ms", required_argument, nullptr, OPT_ERASE},
    {"reply-delay-ms", required_argument, nullptr, OPT_DELAY},
    {"exception-from", required_argument, nullptr, OPT_EXC},
    {"silent-from", required_argument, nullptr, OPT_SILENT},
    {"bit-errors", required_argument, nullptr, OPT_BITS},
    {"lost-bytes", required_argument, nullptr, OPT_LOST},
    {"extra-bytes", required_argument, nullptr, OPT_EXTRA},
    {"seed", required_argument, nullptr, OPT_SEED},
    {"collision-after", required_argument, nullptr, OPT_COLL},
    {"no-expect", no_argument, nullptr, OPT_NO_EXPECT},
    {"stay", no_argument, nullptr, OPT_STAY},
    {"timeout-s", required_argument, nullptr, OPT_TIMEOUT},
    {"quiet", no_argument, nullptr, OPT_QUIET},
    {"help", no_argument, nullptr, OPT_HELP},
    {nullptr, 0, nullptr, 0},
};

bool parse_long(const char* p_text, long lo, long hi, long* p_out) {
  char* p_end = nullptr;
  long v = strtol(p_text, &p_end, 0);
  if (!*p_text || *p_end || v < lo || v > hi) return false;
  *p_out = v;
  return true;
}

bool parse_rate(const char* p_text, double* p_out) {
  char* p_end = nullptr;
  double v = strtod(p_text, &p_end);
  if (!*p_text || *p_end || v < 0 || v > 1) return false;
  *p_out = v;
  return true;
}

/* "K:C" of --exception-from. */
bool parse_exception(const char* p_text, UnitConfig* c) {
  long k = 0, code = 0;
  std::string s(p_text);
  size_t i = s.find(':');
  if (i == std::string::npos || !parse_long(s.substr(0, i).c_str(), 1, 1000000000, &k) ||
      !parse_long(s.substr(i + 1).c_str(), 1, 7, &code))
    return false;
  c->k_fault = (int32_t)k;
  c->fault_exception = (int32_t)code;
  return true;
}

/* One option into o; false for a bad value. */
bool apply_option(int opt, const char* a, Options* o) {
  UnitConfig* c = &o->cfg;
  long v = 0;
  switch (opt) {
    case OPT_PTY: o->device.clear(); return true;
    case OPT_DEVICE: o->device = a; return true;
    case OPT_PACED: o->paced = true; return true;
    case OPT_CPU: return parse_long(a, 0, 0x7FFFFFFF, &v) && (c->cpu_type = (uint32_t)v, true);
    case OPT_ERASE: return parse_long(a, 0, 100000000, &v) && (c->t_erase_ms = (uint32_t)v, true);
    case OPT_DELAY: return parse_long(a, 0, 100000000, &v) && (c->t_reply_delay_ms = (uint32_t)v, true);
    case OPT_EXC: return parse_exception(a, c);
    case OPT_SILENT:
      return parse_long(a, 1, 1000000000, &v) && (c->k_fault = (int32_t)v, c->fault_exception = 0, true);
    case OPT_BITS: return parse_rate(a, &c->line_faults.bit_error_rate);
    case OPT_LOST: return parse_rate(a, &c->line_faults.lost_rate);
    case OPT_EXTRA: return parse_rate(a, &c->line_faults.extra_rate);
    case OPT_SEED: return parse_long(a, 0, 0x7FFFFFFF, &v) && (c->line_faults.seed = (uint64_t)v, true);
    case OPT_COLL: return parse_long(a, 1, 1000000000, &v) && (c->k_collision = (int32_t)v, true);
    case OPT_NO_EXPECT: o->expect = false; return true;
    case OPT_STAY: o->stay = true; return true;
    case OPT_TIMEOUT: return parse_long(a, 1, 100000000, &o->timeout_s);
    case OPT_QUIET: o->quiet = true; return true;
    default: return false;
  }
}

/* 1 parsed, 0 help shown, -1 bad usage (a line on stderr). */
int parse_options(int argc, char** argv, Options* o) {
  UnitConfig_init(&o->cfg);
  o->cfg.line_faults.seed = 1;
  int opt;
  while ((opt = getopt_long(argc, argv, "", k_options, nullptr)) != -1) {
    if (opt == OPT_HELP) {
      fputs(k_help, stdout);
      return 0;
    }
    if (!apply_option(opt, optarg, o)) {
      fprintf(stderr, "zent-unit: bad option or value (see --help)\n");
      return -1;
    }
  }
  if (optind < argc) {
    fprintf(stderr, "zent-unit: unexpected argument \"%s\" (see --help)\n", argv[optind]);
    return -1;
  }
  return 1;
}

void make_raw_115200(int fd) {
  termios tio;
  if (tcgetattr(fd, &tio) != 0) return;
  cfmakeraw(&tio);
  cfsetspeed(&tio, B115200);
  tio.c_cflag |= CLOCAL | CREAD;
  tio.c_cflag &= ~(tcflag_t)(CRTSCTS | CSTOPB | PARENB);
  (void)tcsetattr(fd, TCSANOW, &tio);
}

/* Opens the line; the descriptor the unit uses, or -1. With a pseudo-terminal the unit
** keeps the slave open too (*p_slave), so that the loader may open and close its end. */
int open_line(const Options* o, int* p_slave) {
  *p_slave = -1;
  if (!o->device.empty()) {
    int fd = open(o->device.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
    if (fd < 0) {
      fprintf(stderr, "zent-unit: cannot open %s: %s\n", o->device.c_str(), strerror(errno));
    } else if (!isatty(fd)) {
      fprintf(stderr, "zent-unit: %s is no serial device\n", o->device.c_str());
      close(fd);
      fd = -1;
    } else {
      make_raw_115200(fd);
    }
    return fd;
  }
  int master = -1;
  char name[256];
  if (openpty(&master, p_slave, name, nullptr, nullptr) != 0) {
    fprintf(stderr, "zent-unit: openpty failed: %s\n", strerror(errno));
    return -1;
  }
  make_raw_115200(*p_slave);
  printf("%s\n", name);
  if (!o->quiet) printf("waiting: run the loader with ZENT_COM1=%s\n", name);
  fflush(stdout);
  return master;
}

void print_line(void*, const char* p_line) {
  printf("%s\n", p_line);
  fflush(stdout);
}

void on_signal(int) { g_stop = 1; }

/* The built-in firmware as what the unit expects; the application image is kept in appl. */
void expect_firmware(Options* o, std::vector<uint8_t>* p_appl) {
#ifdef ZENT_HAVE_FIRMWARE
  UnitConfig* c = &o->cfg;
  c->n_loader_set = fld_02_get_n_set();
  c->p_loader_a = fld_02_get_p_set_a_bytes();
  c->p_loader_n = fld_02_get_p_set_n_bytes();
  c->p_loader_p = fld_02_get_p_set_p_bytes();
  p_appl->resize(UNIT_APPL_N);
  int32_t n = UnitImage_appl_from_set(zent_get_n_set(), zent_get_p_set_a_bytes(),
                                      zent_get_p_set_n_bytes(), zent_get_p_set_p_bytes(),
                                      p_appl->data());
  if (n > 0) {
    c->n_expected_appl = n;
    c->p_expected_appl = p_appl->data();
  }
#else
  (void)o;
  (void)p_appl;
#endif
}

/* Answers requests until the application has started (unless --stay), a signal (which
** also cuts short the exchange or the erase in progress), the time limit, or the device
** going away. */
int serve(Unit* p_unit, const Options* o, const UnitFdPort* p_fd_port) {
  int64_t t_end_ns = o->timeout_s > 0 ? UnitLine_now_ns() + o->timeout_s * 1000000000LL : 0;
  while (!g_stop) {
    Unit_poll(p_unit);
    if (Unit_get_state(p_unit) == UNIT_APPLICATION && !o->stay) break;
    if (t_end_ns && UnitLine_now_ns() >= t_end_ns) break;
    if (p_fd_port->hung_up && !o->device.empty()) break;
  }
  const UnitVerdict* p_v = Unit_get_verdict(p_unit);
  UnitStats s = Unit_get_stats(p_unit);
  printf("verdict: %s\n", p_v ? UnitVerdict_text(p_v->code) : "no start requested");
  printf("requests %d, exceptions %d, collisions %d, starts %d, bytes in %llu, out %llu, "
         "work %u ms\n",
         s.n_requests, s.n_exceptions, s.n_collisions, s.n_starts, (unsigned long long)s.n_rx,
         (unsigned long long)s.n_tx, (unsigned)s.t_work_ms);
  fflush(stdout);
  return s.n_starts > 0 ? k_exit_started : k_exit_not_started;
}

}  // namespace

int main(int argc, char** argv) {
  Options o;
  int r = parse_options(argc, argv, &o);
  if (r <= 0) return r == 0 ? 0 : k_exit_usage;
  std::vector<uint8_t> appl;
  if (o.expect) expect_firmware(&o, &appl);
  if (!o.quiet) o.cfg.cb_trace = print_line;
  o.cfg.p_cancel = &g_stop;  // a signal also ends the exchange or the work in progress
  int slave = -1;
  int fd = open_line(&o, &slave);
  if (fd < 0) return k_exit_usage;
  signal(SIGINT, on_signal);
  signal(SIGTERM, on_signal);
  signal(SIGPIPE, SIG_IGN);  // a reader of the output that went away must not end the unit
  UnitFdPort fd_port;
  UnitFdPort_init(&fd_port, fd, o.paced ? 1 : 0);
  UnitPort port = UnitFdPort_port(&fd_port);
  Unit* p_unit = Unit_alloc(&o.cfg, &port);
  int status = p_unit ? serve(p_unit, &o, &fd_port) : k_exit_usage;
  Unit_free(p_unit);
  close(fd);
  if (slave >= 0) close(slave);
  return status;
}
