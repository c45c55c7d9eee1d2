/*
** gen_firmware.cpp - writes the stand-in firmware of the two embedded image sets as C++
** sources: fld_02_set.cpp (flash loader) and zent_set.cpp (application), each with the six
** getters of embedded_sets.h. The unit's real firmware belongs to its maker, so the build
** makes sets of the same shape (partition counts, heap sizes, address ranges, gaps, table
** order) filled with deterministic, code-like bytes: a synthetic instruction stream with
** recurring idioms, calls and variable addresses, lookup and pointer tables, message texts
** and initialised data, so that the application compresses about as real firmware does.
** Usage: gen_firmware <output directory>. Every shape rule is checked before writing.
*/
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

namespace {

/* splitmix64: the same numbers on every platform and compiler. */
struct Rng {
  uint64_t s;
  uint64_t next() {
    uint64_t z = (s += 0x9E3779B97F4A7C15ull);
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
    return z ^ (z >> 31);
  }
  uint32_t below(uint32_t n) { return n ? (uint32_t)(next() % n) : 0; }
  bool chance(int percent) { return below(100) < (uint32_t)percent; }
  /* An index below n, low indices far more often (a few hot items, a long tail): n times
  ** the cube of a uniform fraction, in integers so that every build gets the same. */
  uint32_t skewed(uint32_t n) {
    uint64_t u = next() >> 44;  // 20 bits
    uint64_t cube = ((u * u) >> 20) * u >> 20;
    return (uint32_t)(((uint64_t)n * cube) >> 20);
  }
};

enum Kind { K_CODE, K_CONST, K_TEXT, K_DATA };

struct Part {
  uint32_t adr;  // target address, a multiple of 4
  uint32_t n;    // bytes
  Kind kind;     // what the bytes look like
};

/* One image set: partitions in address order, the table order, and the heap. */
struct ImageSet {
  std::string prefix;        // getter prefix: "fld_02" or "zent"
  std::vector<Part> parts;   // by address
  std::vector<int> order;    // table position -> index into parts
  std::vector<uint8_t> heap; // partitions' bytes, back to back in table order
};

/* ------------------------------------------------------------------------------------ */
/* Content: what the unit's compiler and linker would leave in each kind of partition.   */
/* ------------------------------------------------------------------------------------ */

void put16(std::vector<uint8_t>& out, uint32_t v) {
  out.push_back((uint8_t)v);
  out.push_back((uint8_t)(v >> 8));
}

void put32(std::vector<uint8_t>& out, uint32_t v) {
  put16(out, v);
  put16(out, v >> 16);
}

/* A recurring instruction sequence; hole offsets mark 16-bit variable addresses that the
** compiler fills differently at each use. */
struct Idiom {
  std::vector<uint8_t> bytes;
  std::vector<size_t> holes;
};

/* The synthetic 16-bit CPU the stand-in code is written for, and its program's symbols. */
struct CodeModel {
  Rng* rng;
  std::vector<uint16_t> vars;    // addresses of global variables in the data page
  std::vector<uint32_t> funcs;   // entry addresses of functions
  std::vector<Idiom> idioms;     // the compiler's favourite sequences

  uint8_t reg() { return (uint8_t)(1 + rng->skewed(12)); }
  /* Two registers in one byte, drawn high nibble first: the order is fixed here, not left
  ** to the compiler, so that every compiler makes the same bytes. */
  uint8_t reg_pair() {
    uint8_t hi = reg();
    uint8_t lo = reg();
    return (uint8_t)((hi << 4) | lo);
  }
  uint16_t var() { return vars[rng->skewed((uint32_t)vars.size())]; }

  uint32_t small_imm() {
    static const uint32_t common[] = {0, 1, 2, 4, 8, 0x10, 0xFF, 0xFFFF, 3, 0x80, 0x100, 10, 100, 0x7F};
    if (rng->chance(75)) return common[rng->skewed(14)];
    return rng->below(0x400);
  }

  /* One instruction of 2 or 4 bytes, by a skewed choice of its form. Returns the offset
  ** of the variable address it holds, or 0 when it holds none. */
  size_t instr(std::vector<uint8_t>& out) {
    uint32_t form = rng->skewed(10);
    uint8_t op_base[] = {0xF2, 0xE6, 0xF6, 0xDA, 0x0D, 0x46, 0x2D, 0x08, 0xA8, 0x88};
    uint8_t op = (uint8_t)(op_base[form] + 0x10 * rng->skewed(3));
    switch (form) {
      case 0:  // load register from a variable
      case 2:  // store register to a variable
        out.push_back(op);
        out.push_back((uint8_t)(0xF0 | reg()));
        put16(out, var());
        return out.size() - 2;
      case 1:  // move immediate
        out.push_back(op);
        out.push_back((uint8_t)(0xF0 | reg()));
        put16(out, small_imm());
        break;
      case 3:  // call a function
        out.push_back(0xDA);
        out.push_back((uint8_t)(funcs[rng->skewed((uint32_t)funcs.size())] >> 16));
        put16(out, funcs[rng->skewed((uint32_t)funcs.size())]);
        break;
      case 4:  // short relative jump
      case 6:
        out.push_back(op);
        out.push_back((uint8_t)(rng->chance(60) ? rng->below(16) : 0xF0 + rng->below(16)));
        break;
      case 5:  // compare with immediate
        out.push_back(op);
        out.push_back((uint8_t)(0xF0 | reg()));
        put16(out, small_imm());
        break;
      case 7:  // register to register
      case 9:
        out.push_back(op);
        out.push_back(reg_pair());
        break;
      default:  // indexed access with a displacement
        out.push_back(op);
        out.push_back(reg_pair());
        put16(out, 2 * rng->skewed(24));
        break;
    }
    return 0;
  }

  void make_idioms(int n) {
    for (int k = 0; k < n; k++) {
      Idiom id;
      int n_instr = 2 + (int)rng->below(5);
      for (int i = 0; i < n_instr; i++) {
        size_t hole = instr(id.bytes);
        if (hole) id.holes.push_back(hole);
      }
      idioms.push_back(id);
    }
  }

  void idiom(std::vector<uint8_t>& out) {
    const Idiom& id = idioms[rng->skewed((uint32_t)idioms.size())];
    size_t at = out.size();
    out.insert(out.end(), id.bytes.begin(), id.bytes.end());
    for (size_t h : id.holes) {
      if (!rng->chance(40)) continue;
      uint16_t v = var();
      out[at + h] = (uint8_t)v;
      out[at + h + 1] = (uint8_t)(v >> 8);
    }
  }

  /* One function: prologue, a body of idioms and single instructions, a switch table now
  ** and then, epilogue. */
  void function(std::vector<uint8_t>& out, uint32_t a_here) {
    int n_saved = 1 + (int)rng->below(4);
    for (int i = 0; i < n_saved; i++) out.insert(out.end(), {0xEC, (uint8_t)(0xF8 + i)});
    if (rng->chance(50)) out.insert(out.end(), {0x26, 0xF0, (uint8_t)(2 * (1 + rng->below(8))), 0x00});
    int n_stmt = 4 + (int)rng->skewed(60);
    for (int i = 0; i < n_stmt; i++) {
      if (rng->chance(45))
        idiom(out);
      else
        instr(out);
    }
    if (rng->chance(8)) {
      int n_case = 3 + (int)rng->below(12);
      for (int i = 0; i < n_case; i++) put16(out, a_here + 0x20 + 6 * (uint32_t)rng->below(40));
    }
    for (int i = n_saved - 1; i >= 0; i--) out.insert(out.end(), {0xFC, (uint8_t)(0xF8 + i)});
    out.insert(out.end(), {0xDB, 0x00});
    while (out.size() % 2) out.push_back(0xCC);
  }
};

const char* const g_words[] = {
    "error", "param", "sensor", "timeout", "channel", "value", "out of range", "init",
    "failed", "ok", "write", "read", "flash", "node", "config", "version", "checksum",
    "block", "address", "invalid", "motor", "speed", "limit", "input", "output", "state",
    "mode", "table", "buffer", "overflow", "underflow", "request", "reply", "device",
    "temperature", "pressure", "level", "alarm", "reset", "start", "stop", "ready", "busy",
    "link", "frame", "length", "offset", "index", "counter", "calibration", "unit", "the",
    "not", "is", "in", "of", "at", "for", "with", "%d", "%s", "%04x", "%08lx", "%u", ":",
    "=", "-", "(", ")", "CAN", "RMC", "ZENT", "IO", "ADC", "PWM", "EEPROM", "RAM"};
const int g_n_words = (int)(sizeof(g_words) / sizeof(g_words[0]));

/* A message text: a few words, sometimes capitalised, a format now and then, NUL. */
void text(Rng& rng, std::vector<uint8_t>& out) {
  int n = 1 + (int)rng.below(6);
  for (int i = 0; i < n; i++) {
    std::string w = g_words[rng.skewed(g_n_words)];
    if (i == 0 && rng.chance(60) && w[0] >= 'a' && w[0] <= 'z') w[0] = (char)(w[0] - 32);
    if (i) out.push_back(' ');
    out.insert(out.end(), w.begin(), w.end());
  }
  if (rng.chance(30)) out.insert(out.end(), {'\r', '\n'});
  out.push_back(0);
}

/* Constant tables: curves of 16-bit values, pointer tables, parameter records. */
void table(Rng& rng, std::vector<uint8_t>& out, uint32_t a_here) {
  switch (rng.below(4)) {
    case 0: {  // a smooth curve
      int n = 8 + (int)rng.below(56);
      uint32_t base = rng.below(0x4000), slope = rng.below(64), bend = rng.below(8);
      for (uint32_t i = 0; i < (uint32_t)n; i++) put16(out, base + slope * i + ((bend * i * i) >> 3));
      break;
    }
    case 1: {  // pointers to records of one size
      int n = 4 + (int)rng.below(28), size = 4 * (1 + (int)rng.below(6));
      uint32_t a = a_here + 0x400 + 4 * rng.below(0x800);
      for (int i = 0; i < n; i++) put32(out, a + (uint32_t)(i * size));
      break;
    }
    case 2: {  // parameter records: id, flags, min, max, default
      int n = 2 + (int)rng.below(20), id = (int)rng.below(500);
      for (int i = 0; i < n; i++) {
        put16(out, (uint32_t)(id + i));
        put16(out, 1u << rng.below(4));
        put16(out, 0);
        put16(out, rng.chance(50) ? 0xFFFF : 100 * (1 + rng.below(10)));
        put16(out, rng.below(100));
      }
      break;
    }
    default: {  // a checksum or scaling table: little structure
      int n = 16 + (int)rng.below(48);
      for (int i = 0; i < n; i++) put16(out, (uint32_t)rng.next());
      break;
    }
  }
}

/* Initialised variables: mostly zero, some small numbers, now and then all ones. */
void data(Rng& rng, std::vector<uint8_t>& out) {
  uint32_t v = rng.chance(60) ? 0 : rng.chance(50) ? rng.below(16) : rng.chance(50) ? 0xFFFF : rng.below(0x10000);
  put16(out, v);
}

/* The bytes of one partition. */
std::vector<uint8_t> content(const Part& part, CodeModel& cm, Rng& rng) {
  std::vector<uint8_t> out;
  uint32_t a = part.adr;
  if (part.kind == K_CODE && part.n >= 256 && part.adr == 0x400000)
    for (int i = 0; i < 64; i++) put32(out, cm.funcs[i % cm.funcs.size()]);  // vector table
  while (out.size() < part.n) {
    uint32_t a_here = a + (uint32_t)out.size();
    switch (part.kind) {
      case K_CODE: cm.function(out, a_here); break;
      case K_CONST: table(rng, out, a_here); break;
      case K_TEXT: text(rng, out); break;
      case K_DATA: data(rng, out); break;
    }
  }
  out.resize(part.n);
  return out;
}

CodeModel make_code_model(Rng& rng, uint32_t a_code, uint32_t n_code, int n_vars, int n_funcs, int n_idioms) {
  CodeModel cm;
  cm.rng = &rng;
  for (int i = 0; i < n_vars; i++) cm.vars.push_back((uint16_t)(0xC000 + 2 * rng.below(0x1000)));
  for (int i = 0; i < n_funcs; i++) cm.funcs.push_back(a_code + 0x100 + 2 * rng.below(n_code / 2 - 0x80));
  cm.make_idioms(n_idioms);
  return cm;
}

/* ------------------------------------------------------------------------------------ */
/* Layout: addresses, sizes, gaps and table order of the two sets.                      */
/* ------------------------------------------------------------------------------------ */

bool fail(const std::string& what) {
  fprintf(stderr, "gen_firmware: %s\n", what.c_str());
  return false;
}

/* Places the partitions from 0x400000 with the given gaps after each. */
void place(std::vector<Part>& parts, const std::vector<uint32_t>& gaps) {
  uint32_t a = 0x400000;
  for (size_t i = 0; i < parts.size(); i++) {
    parts[i].adr = a;
    a += parts[i].n + (i < gaps.size() ? gaps[i] : 0);
  }
}

/* Smallest gap after a partition of n bytes that keeps the next address a multiple of 4
** without touching it. */
uint32_t min_gap(uint32_t n) { return n % 4 ? 4 - n % 4 : 4; }

/* Flash loader: its code first, then constants, texts and data in address order, the
** initialised data last; the space that its variables take in RAM lies behind the code. */
std::vector<Part> layout_loader() {
  static const uint32_t sizes[30] = {30082, 300, 3, 276, 8, 412, 12, 260, 16, 344, 24, 288, 32, 264, 40,
                                     296, 48, 56, 64, 72, 80, 96, 112, 128, 4, 208, 20, 100, 6, 270};
  static const Kind kinds[4] = {K_CONST, K_TEXT, K_DATA, K_CONST};
  std::vector<Part> parts;
  for (int i = 0; i < 30; i++) parts.push_back({0, sizes[i], i == 0 ? K_CODE : kinds[i % 4]});
  parts[29].kind = K_DATA;
  std::vector<uint32_t> gaps;
  uint32_t sum_gaps = 0;
  for (int i = 0; i < 29; i++) {
    gaps.push_back(min_gap(parts[i].n));
    sum_gaps += gaps.back();
  }
  gaps[0] += (0x9A32 - 33921) - sum_gaps;  // the variables' RAM
  place(parts, gaps);
  return parts;
}

/* Size of a small application partition: mostly short, a long tail; its remainder mod 4
** decides the gap behind it (3: 1 byte, 2: 2 bytes, 1: 3 bytes, 0: 4 bytes). */
uint32_t small_size(Rng& rng) {
  uint32_t e = rng.below(11);
  uint32_t n = (1u << e) + rng.below(1u << e);
  uint32_t r = rng.chance(50) ? 3 : rng.chance(60) ? 2 : rng.chance(60) ? 1 : 0;
  n = n - n % 4 + r;
  return n ? n : 3;
}

/* Makes the sizes of the partitions from i_first on add up to want: one partition takes
** the difference of the remainders mod 4, then sizes move in steps of 4 so that every
** other remainder (and so every gap) stays as drawn. Pinned partitions keep their size. */
void fit_sizes(Rng& rng, std::vector<Part>& parts, size_t i_first, uint32_t want,
               const std::vector<uint32_t>& pinned) {
  auto is_pinned = [&](size_t i) { return std::find(pinned.begin(), pinned.end(), i) != pinned.end(); };
  int64_t sum = 0;
  for (size_t i = i_first; i < parts.size(); i++) sum += parts[i].n;
  int64_t d = ((int64_t)want - sum) % 4;
  if (d < 0) d += 4;
  parts[i_first + 7].n += (uint32_t)d;
  sum += d;
  while (sum != (int64_t)want) {
    size_t i = i_first + rng.below((uint32_t)(parts.size() - i_first));
    if (is_pinned(i)) continue;
    if (sum < (int64_t)want) {
      parts[i].n += 4;
      sum += 4;
    } else if (parts[i].n > 8) {
      parts[i].n -= 4;
      sum -= 4;
    }
  }
}

/* Application: one large code partition at 0x400000, then 692 small ones; a one-byte
** variable, two partitions that touch their successor, and a last partition that ends on
** a multiple of 4 at 0x47DD74. */
bool layout_appl(Rng& rng, std::vector<Part>& parts) {
  const uint32_t n_parts = 693, n_heap = 513835, n_code = 383064, e_last = 0x47DD74;
  const uint32_t i_byte = 100, i_touch_1 = 211, i_touch_2 = 467, i_last = n_parts - 1;
  static const Kind kinds[10] = {K_CONST, K_TEXT, K_CONST, K_DATA, K_TEXT, K_CONST, K_CODE, K_TEXT, K_DATA, K_CONST};
  parts.push_back({0, n_code, K_CODE});
  for (uint32_t i = 1; i < n_parts; i++) parts.push_back({0, small_size(rng), kinds[rng.below(10)]});
  parts[i_byte] = {0, 1, K_DATA};
  parts[i_last] = {0, 64, K_DATA};
  for (uint32_t i : {i_touch_1, i_touch_2}) parts[i].n = std::max<uint32_t>(4, parts[i].n - parts[i].n % 4);
  fit_sizes(rng, parts, 1, n_heap - n_code, {i_byte, i_touch_1, i_touch_2, i_last});

  std::vector<uint32_t> gaps;
  uint32_t sum_gaps = 0;
  for (uint32_t i = 0; i < i_last; i++) {
    gaps.push_back(i == i_touch_1 || i == i_touch_2 ? 0 : min_gap(parts[i].n));
    sum_gaps += gaps.back();
  }
  uint32_t want = (e_last - 0x400000) - n_heap;
  if (sum_gaps > want || (want - sum_gaps) % 4) return fail("application gaps do not fit");
  while (sum_gaps < want) {
    uint32_t i = rng.below(i_last);
    if (gaps[i] == 0 || gaps[i] + 4 > 12) continue;
    gaps[i] += 4;
    sum_gaps += 4;
  }
  place(parts, gaps);
  return true;
}

/* Table order as the unit's linker writes it: the last partition (initialised data)
** first, the one at 0x400000 second, then the rest grouped by kind, each group in address
** order. */
std::vector<int> table_order(const std::vector<Part>& parts) {
  std::vector<int> order = {(int)parts.size() - 1, 0};
  for (Kind k : {K_CODE, K_CONST, K_TEXT, K_DATA})
    for (int i = 1; i + 1 < (int)parts.size(); i++)
      if (parts[i].kind == k) order.push_back(i);
  return order;
}

/* Fills the heap in table order. */
void fill_heap(ImageSet& set, CodeModel& cm, Rng& rng) {
  std::vector<std::vector<uint8_t>> bytes;
  for (const Part& p : set.parts) bytes.push_back(content(p, cm, rng));
  for (int i : set.order) set.heap.insert(set.heap.end(), bytes[i].begin(), bytes[i].end());
}

/* ------------------------------------------------------------------------------------ */
/* Checks of the shape, then the source file.                                           */
/* ------------------------------------------------------------------------------------ */

struct Shape {
  uint32_t n_set, n_heap, e_adr;  // count, heap bytes, end of the covered addresses
  uint32_t n_min, n_max;          // smallest and largest partition
  uint32_t gap_max;               // largest gap between neighbours (0: no limit)
  int n_touching;                 // neighbours without a gap
};

bool check(const ImageSet& set, const Shape& sh) {
  const std::vector<Part>& p = set.parts;
  if (p.size() != sh.n_set || set.order.size() != sh.n_set) return fail(set.prefix + ": partition count");
  if (set.heap.size() != sh.n_heap) return fail(set.prefix + ": heap size");
  uint32_t n_min = UINT32_MAX, n_max = 0;
  int n_touching = 0;
  for (size_t i = 0; i < p.size(); i++) {
    n_min = std::min(n_min, p[i].n);
    n_max = std::max(n_max, p[i].n);
    if (p[i].adr % 4) return fail(set.prefix + ": address not a multiple of 4");
    if (i + 1 == p.size()) break;
    uint32_t e = p[i].adr + p[i].n;
    if (e > p[i + 1].adr) return fail(set.prefix + ": overlap");
    if (e == p[i + 1].adr) n_touching++;
    if (sh.gap_max && p[i + 1].adr - e > sh.gap_max) return fail(set.prefix + ": gap too wide");
  }
  if (p[0].adr != 0x400000 || p.back().adr + p.back().n != sh.e_adr) return fail(set.prefix + ": range");
  if (n_min != sh.n_min || n_max != sh.n_max) return fail(set.prefix + ": partition sizes");
  if (n_touching != sh.n_touching) return fail(set.prefix + ": touching partitions");
  if (p[set.order[1]].adr != 0x400000) return fail(set.prefix + ": 0x400000 not second");
  if (std::is_sorted(set.order.begin(), set.order.end())) return fail(set.prefix + ": table order is address order");
  return true;
}

/* Requests of at most 256 bytes that the download needs to send the set. */
uint32_t n_requests(const ImageSet& set) {
  uint32_t n = 0;
  for (const Part& p : set.parts) n += (p.n + 255) / 256;
  return n;
}

/* The heap as concatenated string literals: printable characters as they are, the rest
** as three-digit octal escapes (which never run into a following digit). */
void write_heap(std::ostream& os, const std::vector<uint8_t>& heap) {
  for (size_t i = 0; i < heap.size(); i++) {
    if (i % 40 == 0) os << (i ? "\"\n    \"" : "    \"");
    uint8_t b = heap[i];
    if (b >= 0x20 && b < 0x7F && b != '"' && b != '\\' && b != '?') {
      os << (char)b;
    } else {
      char esc[8];
      snprintf(esc, sizeof esc, "\\%03o", b);
      os << esc;
    }
  }
  os << "\"";
}

bool write_set(const ImageSet& set, const std::string& dir) {
  const std::string& x = set.prefix;
  size_t n = set.order.size();
  std::ostringstream os;
  os << "/*\n** " << x << "_set.cpp - stand-in firmware tables, written by tools/gen_firmware.cpp at build\n"
     << "** time; do not edit. " << n << " partitions, " << set.heap.size() << " heap bytes.\n*/\n"
     << "#include \"embedded_sets.h\"\n\nnamespace {\n\n";
  os << "const uint32_t g_a_bytes[" << n << "] = {";
  for (size_t k = 0; k < n; k++) os << (k % 8 ? " " : "\n    ") << "0x" << std::hex << set.parts[set.order[k]].adr << std::dec << "u,";
  os << "\n};\n\nconst uint32_t g_n_bytes[" << n << "] = {";
  for (size_t k = 0; k < n; k++) os << (k % 10 ? " " : "\n    ") << set.parts[set.order[k]].n << "u,";
  os << "\n};\n\nconst uint8_t g_heap[" << set.heap.size() + 1 << "] =\n";
  write_heap(os, set.heap);
  os << ";\n\nconst uint8_t* const g_p_bytes[" << n << "] = {";
  size_t off = 0;
  for (size_t k = 0; k < n; k++) {
    os << (k % 6 ? " " : "\n    ") << "g_heap + " << off << ",";
    off += set.parts[set.order[k]].n;
  }
  os << "\n};\n\n}  // namespace\n\n";
  os << "uint32_t " << x << "_get_n_set(void) { return " << n << "u; }\n"
     << "const uint32_t* " << x << "_get_p_set_a_bytes(void) { return g_a_bytes; }\n"
     << "const uint32_t* " << x << "_get_p_set_n_bytes(void) { return g_n_bytes; }\n"
     << "const uint8_t* const* " << x << "_get_p_set_p_bytes(void) { return g_p_bytes; }\n"
     << "uint32_t " << x << "_get_n_heap(void) { return " << set.heap.size() << "u; }\n"
     << "const uint8_t* " << x << "_get_p_heap(void) { return g_heap; }\n";
  std::string path = dir + "/" + x + "_set.cpp";
  std::ofstream f(path, std::ios::binary);
  f << os.str();
  f.close();
  if (!f) return fail("cannot write " + path);
  return true;
}

bool make_loader(ImageSet& set) {
  Rng rng{0x5A454E54464C4430ull};  // fixed seeds: the same tables on every build
  set.prefix = "fld_02";
  set.parts = layout_loader();
  set.order = table_order(set.parts);
  CodeModel cm = make_code_model(rng, 0x400000, 30082, 150, 60, 40);
  fill_heap(set, cm, rng);
  if (!check(set, {30, 33921, 0x409A32, 3, 30082, 0, 0})) return false;
  if (n_requests(set) != 156) return fail("fld_02: 156 requests of 256 bytes expected");
  return true;
}

bool make_appl(ImageSet& set) {
  Rng rng{0x5A454E5441505031ull};
  set.prefix = "zent";
  if (!layout_appl(rng, set.parts)) return false;
  set.order = table_order(set.parts);
  CodeModel cm = make_code_model(rng, 0x400000, 383064, 1500, 900, 400);
  fill_heap(set, cm, rng);
  return check(set, {693, 513835, 0x47DD74, 1, 383064, 12, 2});
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    fprintf(stderr, "usage: gen_firmware <output directory>\n");
    return 2;
  }
  ImageSet loader, appl;
  if (!make_loader(loader) || !make_appl(appl)) return 1;
  if (!write_set(loader, argv[1]) || !write_set(appl, argv[1])) return 1;
  return 0;
}
