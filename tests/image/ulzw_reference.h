/*
** ulzw_reference.h - a deliberately plain LZW encoder for the tests of the coder: the
** dictionary is a std::map from strings to codes, the stream a list of bits. It follows
** the stream rules of the unit's expander and nothing else, so the real encoder's hash
** table and bit buffer can be checked against it bit for bit. Faults can be switched on
** to show that a comparison with it does catch a wrong stream. Also: sample data makers.
*/
#ifndef ZENT_TEST_ULZW_REFERENCE_H
#define ZENT_TEST_ULZW_REFERENCE_H

#include <cstdint>
#include <map>
#include <random>
#include <string>
#include <vector>

namespace ulzw_ref {

/* Faults that a reference can be told to make, to prove the comparison can fail. */
enum class Fault { none, dictionary_one_shorter, reset_when_full, msb_first, no_zero_code, flag_inverted };

/* One code as the encoder writes it, with the number of the write_code call
** (1 loop, 2 last string, 3 end code, 4 zero code) and the stream bits after it. */
struct Write {
  unsigned code;
  int i_call;
  size_t n_bits_after;
};

struct Result {
  std::vector<uint8_t> bytes;  /* the stream: whole bytes only */
  std::vector<Write> writes;   /* every code in order */
  unsigned code_next = 256;    /* next free code at the end */
};

inline int width_of(int mode) { return mode >= 128 ? mode - 128 : mode; }

inline void put_bits(std::vector<bool>& bits, uint32_t v, int n, bool msb_first) {
  for (int i = 0; i < n; i++) bits.push_back((v >> (msb_first ? n - 1 - i : i)) & 1u);
}

inline void put_code(std::vector<bool>& bits, int mode, unsigned code, Fault f) {
  int n = width_of(mode);
  bool msb = f == Fault::msb_first;
  if (mode < 128) return put_bits(bits, code, n, msb);
  bool wide = code >= 256;
  bits.push_back(f == Fault::flag_inverted ? !wide : wide);
  put_bits(bits, code, wide ? n : 8, msb);
}

/* The stream for src in mode (12..16, 140..144); src must not be empty. */
inline Result encode(int mode, const std::vector<uint8_t>& src, Fault f = Fault::none) {
  int n = width_of(mode);
  unsigned code_end = (1u << n) - 1;
  unsigned code_last = f == Fault::dictionary_one_shorter ? code_end - 2 : code_end - 1;
  std::map<std::string, unsigned> dict;
  Result r;
  std::vector<bool> bits;
  auto emit = [&](unsigned code, int i_call) {
    put_code(bits, mode, code, f);
    r.writes.push_back({code, i_call, bits.size()});
  };
  auto code_of = [&](const std::string& s) {
    return s.size() == 1 ? (unsigned)(uint8_t)s[0] : dict.at(s);
  };
  std::string w(1, (char)src[0]);
  for (size_t i = 1; i < src.size(); i++) {
    std::string wc = w + (char)src[i];
    if (dict.count(wc)) {
      w = wc;
      continue;
    }
    if (r.code_next <= code_last) dict[wc] = r.code_next++;
    emit(code_of(w), 1);
    if (f == Fault::reset_when_full && r.code_next > code_last) {
      dict.clear();
      r.code_next = 256;
    }
    w = std::string(1, (char)src[i]);
  }
  emit(code_of(w), 2);
  emit(code_end, 3);
  if (f != Fault::no_zero_code) emit(0, 4);
  for (size_t i = 0; i + 8 <= bits.size(); i += 8) {
    uint8_t b = 0;
    for (int k = 0; k < 8; k++) b |= (uint8_t)(bits[i + k] << k);
    r.bytes.push_back(b);
  }
  return r;
}

/* Sample data. */
inline std::vector<uint8_t> random_bytes(size_t n, uint32_t seed) {
  std::mt19937 g(seed);
  std::vector<uint8_t> v(n);
  for (auto& b : v) b = (uint8_t)g();
  return v;
}

/* Bytes drawn from the first n_letters letters of the alphabet. */
inline std::vector<uint8_t> letters(size_t n, int n_letters, uint32_t seed) {
  std::mt19937 g(seed);
  std::vector<uint8_t> v(n);
  for (auto& b : v) b = (uint8_t)('a' + g() % (unsigned)n_letters);
  return v;
}

inline std::vector<uint8_t> repetitive(size_t n) {
  std::vector<uint8_t> v(n);
  for (size_t i = 0; i < n; i++) v[i] = (uint8_t)((i / 64) % 3 == 0 ? 0xFF : "LOAD R1,#0x10;"[i % 14]);
  return v;
}

/* Machine-code-like bytes: a few recurring instruction patterns with varying operands,
** recurring routine prologues and address tables, runs of 0xFF padding. */
inline std::vector<uint8_t> code_like(size_t n, uint32_t seed) {
  static const uint8_t prologue[] = {0x4e, 0x56, 0xff, 0xf0, 0x48, 0xe7, 0x3f, 0x3c};
  static const uint8_t ops[][2] = {{0x20, 0x2e}, {0x22, 0x6e}, {0x4e, 0xb9}, {0x61, 0x00},
                                   {0x30, 0x3c}, {0x4a, 0x80}, {0x67, 0x00}, {0x2d, 0x40}};
  std::mt19937 g(seed);
  std::vector<uint8_t> v;
  v.reserve(n);
  while (v.size() < n) {
    unsigned k = g() % 16;
    if (k == 0) {
      v.insert(v.end(), prologue, prologue + sizeof prologue);
    } else if (k == 1) {
      v.insert(v.end(), 4 + g() % 24, 0xFF);
    } else if (k == 2) {
      for (int i = 0; i < 4; i++) v.insert(v.end(), {0x00, 0x40, (uint8_t)(g() % 4), (uint8_t)(g() & 0xFC)});
    } else {
      const uint8_t* op = ops[g() % 8];
      v.insert(v.end(), {op[0], op[1], (uint8_t)(g() % 3 == 0 ? g() : 0), (uint8_t)(g() % 32)});
    }
  }
  v.resize(n);
  return v;
}

}  // namespace ulzw_ref

#endif
