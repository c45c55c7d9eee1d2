// The LZW coder: the exact stream the unit's expander needs, round trips in every mode, the
// full dictionary, stream and output limits, and a decoder that survives any byte stream.
#include "ulzw.h"
#include "log_capture.h"
#include "ulzw_reference.h"

#include <gtest/gtest.h>

#include <sys/mman.h>
#include <unistd.h>

#include <cstring>
#include <memory>
#include <set>

namespace {

using Bytes = std::vector<uint8_t>;

struct UnitFree {
  void operator()(UlzwUnit* p) const { UlzwUnit_free(p); }
};
using Unit = std::unique_ptr<UlzwUnit, UnitFree>;

const int k_modes[] = {12, 13, 14, 15, 16, 140, 141, 142, 143, 144};
const uint8_t k_guard = 0xA5;

std::string err(const char* fn, const std::string& text) {
  return std::string("error - src/image/ulzw.cpp - ") + fn + ": " + text;
}

/* Upper bound of a stream: at most one code of 17 bits per byte, plus end and zero codes. */
int stream_bound(size_t n_src) { return (int)(n_src * 17 / 8 + 8); }

/* Encodes src in mode with room n_dst (-1: enough); the stream, or rc with the bytes. */
struct Coded {
  int rc;
  Bytes bytes;  // n_dst bytes of the buffer, then guard bytes that must stay untouched
};

Coded encode(int mode, const Bytes& src, int n_dst = -1) {
  Unit u(UlzwUnit_alloc(mode));
  EXPECT_NE(u, nullptr);
  if (n_dst < 0) n_dst = stream_bound(src.size());
  Bytes buf(n_dst + 16, k_guard);
  int rc = Ulzw_encode(u.get(), n_dst, buf.data(), (int)src.size(), src.data());
  if (rc >= 0) buf.resize(rc);
  return {rc, buf};
}

Coded decode(int mode, const Bytes& stream, int n_dst) {
  Unit u(UlzwUnit_alloc(mode));
  EXPECT_NE(u, nullptr);
  Bytes buf(n_dst + 16, k_guard);
  int rc = Ulzw_decode(u.get(), n_dst, buf.data(), (int)stream.size(), stream.data());
  if (rc >= 0) buf.resize(rc);
  return {rc, buf};
}

bool guards_intact(const Bytes& buf, size_t from) {
  for (size_t i = from; i < buf.size(); i++)
    if (buf[i] != k_guard) return false;
  return true;
}

/* Packs any sequence of codes by the stream rules, the last partial byte padded with 0. */
Bytes pack(int mode, std::initializer_list<unsigned> codes) {
  std::vector<bool> bits;
  for (unsigned c : codes) ulzw_ref::put_code(bits, mode, c, ulzw_ref::Fault::none);
  Bytes out((bits.size() + 7) / 8, 0);
  for (size_t i = 0; i < bits.size(); i++) out[i / 8] |= (uint8_t)(bits[i] << (i % 8));
  return out;
}

Bytes text(const char* s) { return Bytes(s, s + strlen(s)); }

/* Inputs on which the encoder is compared with the reference: short, random, repetitive,
** code-like, and ones that fill the dictionaries of the narrow and of the wide modes. */
std::vector<Bytes> comparison_inputs(int mode) {
  std::vector<Bytes> v = {text("a"), text("ab"), text("aaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaa"),
                          Bytes{0xFF, 0x00, 0xFF, 0x00, 0xFF}, ulzw_ref::random_bytes(1000, 1),
                          ulzw_ref::letters(3000, 2, 2), ulzw_ref::letters(60000, 4, 3),
                          ulzw_ref::repetitive(30000), ulzw_ref::code_like(60000, 4)};
  if (ulzw_ref::width_of(mode) >= 15) v.push_back(ulzw_ref::random_bytes(150000, 5));
  return v;
}

TEST(UlzwStream, KnownStreamsComeOutByteForByteAndDecodeBack) {
  struct Case {
    int mode;
    const char* src;
    Bytes stream;
  } cases[] = {
      {144, "abc", {0xc2, 0x88, 0x19, 0xfb, 0xff, 0x0f}},
      {12, "abc", {0x61, 0x20, 0x06, 0x63, 0xf0, 0xff, 0x00}},
      {144, "aaaa", {0xc2, 0x02, 0x04, 0x08, 0xfb, 0xff, 0x0f}},
      {144, "ababab", {0xc2, 0x88, 0x05, 0x08, 0x08, 0x10, 0xf0, 0xff, 0x1f}},
      {12, "ababab", {0x61, 0x20, 0x06, 0x00, 0x01, 0x10, 0xff, 0x0f, 0x00}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(c.src) + " in mode " + std::to_string(c.mode));
    Coded e = encode(c.mode, text(c.src));
    EXPECT_EQ(e.bytes, c.stream);
    EXPECT_EQ(ulzw_ref::encode(c.mode, text(c.src)).bytes, c.stream);  // the reference agrees
    Coded d = decode(c.mode, c.stream, 64);
    EXPECT_EQ(d.bytes, text(c.src));
  }
}

/* Streams worked out by hand from the stream rules, independent of the reference: the byte
** values at the edges of the flag groups (0x00, 0x7F, 0x80, 0xFF), a string code met at once
** in a plain 16-bit stream. */
TEST(UlzwStream, StreamsAtTheEdgesOfTheCodeGroups) {
  struct Case {
    int mode;
    Bytes src;
    Bytes stream;
  } cases[] = {
      {144, {0x00}, {0x00, 0xfe, 0xff, 0x03}},
      {12, {0x00}, {0x00, 0xf0, 0xff, 0x00}},
      {140, {0xff, 0xff, 0xff}, {0xfe, 0x03, 0xc4, 0xff, 0x07}},
      {16, {0xff, 0xff, 0xff, 0xff, 0xff}, {0xff, 0x00, 0x00, 0x01, 0x00, 0x01, 0xff, 0xff, 0x00, 0x00}},
      {143, {0x80, 0x7f, 0x80, 0x7f, 0x80}, {0x00, 0xfd, 0x05, 0x08, 0x00, 0xfc, 0xff, 0x07}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE("mode " + std::to_string(c.mode) + ", " + std::to_string(c.src.size()) + " bytes");
    EXPECT_EQ(encode(c.mode, c.src).bytes, c.stream);
    EXPECT_EQ(decode(c.mode, c.stream, 64).bytes, c.src);
  }
}

/* Long streams that fill the dictionary, pinned by length, FNV-1a checksum and last bytes:
** worked out apart from this code, so a change of the wire format cannot pass unseen. */
TEST(UlzwStream, StreamsThatFillTheDictionaryKeepTheirBytes) {
  auto letters = [](size_t n) {
    Bytes v(n);
    uint32_t s = 1;
    for (auto& b : v) {
      s = s * 1103515245u + 12345u;
      b = (uint8_t)('a' + ((s >> 16) % 4));
    }
    return v;
  };
  auto fnv = [](const Bytes& v) {
    uint32_t h = 2166136261u;
    for (uint8_t b : v) h = (h ^ b) * 16777619u;
    return h;
  };
  struct Case {
    int mode;
    size_t n_src;
    size_t n_stream;
    uint32_t fnv;
    Bytes tail;
  } cases[] = {
      {140, 20000, 6771, 0xf8db98c3u, {0x19, 0x33, 0xc5, 0xfc, 0x7f, 0x00}},
      {12, 20000, 6258, 0x4e3d2b2au, {0x8c, 0x49, 0x31, 0xff, 0x0f, 0x00}},
      {144, 600000, 181636, 0x93507a5cu, {0x6f, 0xe7, 0x05, 0xfc, 0xff, 0x07}},
      {16, 600000, 170968, 0xf81e6799u, {0x79, 0x01, 0xff, 0xff, 0x00, 0x00}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE("mode " + std::to_string(c.mode) + ", " + std::to_string(c.n_src) + " bytes");
    Bytes src = letters(c.n_src);
    Coded e = encode(c.mode, src);
    ASSERT_EQ(e.bytes.size(), c.n_stream);
    EXPECT_EQ(fnv(e.bytes), c.fnv);
    EXPECT_EQ(Bytes(e.bytes.end() - 6, e.bytes.end()), c.tail);
  }
}

TEST(UlzwStream, EncoderMatchesThePlainReferenceBitForBitInEveryMode) {
  for (int mode : k_modes) {
    for (const Bytes& src : comparison_inputs(mode)) {
      SCOPED_TRACE("mode " + std::to_string(mode) + ", " + std::to_string(src.size()) + " bytes");
      ulzw_ref::Result r = ulzw_ref::encode(mode, src);
      Unit u(UlzwUnit_alloc(mode));
      Bytes buf(stream_bound(src.size()));
      int rc = Ulzw_encode(u.get(), (int)buf.size(), buf.data(), (int)src.size(), src.data());
      ASSERT_EQ(rc, (int)r.bytes.size());
      buf.resize(rc);
      ASSERT_EQ(buf, r.bytes);
      EXPECT_EQ(u->code_next, r.code_next);
      EXPECT_EQ(u->n_code_out + u->n_char_out, (int)r.writes.size());
    }
  }
}

/* The comparison above is only worth something if a wrong stream fails it: each fault of
** the reference must be told apart from the real encoder on the same inputs. */
TEST(UlzwStream, ComparisonWithTheReferenceCatchesEachInjectedFault) {
  using ulzw_ref::Fault;
  for (Fault f : {Fault::dictionary_one_shorter, Fault::reset_when_full, Fault::msb_first, Fault::no_zero_code,
                  Fault::flag_inverted}) {
    int n_caught = 0;
    for (int mode : {12, 140, 144}) {
      for (const Bytes& src : comparison_inputs(mode))
        if (ulzw_ref::encode(mode, src, f).bytes != encode(mode, src).bytes) n_caught++;
    }
    EXPECT_GT(n_caught, 0) << "fault " << (int)f << " went unnoticed";
  }
}

TEST(UlzwStream, RoundTripInEveryModeOnAllKindsOfDataUpTo1MiB) {
  const size_t n_big = 1 << 20;
  const std::vector<Bytes> inputs = {
      Bytes{0x00}, Bytes{0xFF, 0xFF}, text("xyz"), Bytes(256, 0xFF), ulzw_ref::random_bytes(4097, 7),
      ulzw_ref::random_bytes(n_big, 8), ulzw_ref::repetitive(n_big), ulzw_ref::code_like(n_big, 9)};
  for (int mode : k_modes) {
    for (const Bytes& src : inputs) {
      SCOPED_TRACE("mode " + std::to_string(mode) + ", " + std::to_string(src.size()) + " bytes");
      Coded e = encode(mode, src);
      ASSERT_GT(e.rc, 0);
      Coded d = decode(mode, e.bytes, (int)src.size());
      ASSERT_EQ(d.rc, (int)src.size());
      ASSERT_TRUE(d.bytes == src);
      Unit u(UlzwUnit_alloc(mode));  // counting only: the same length, nothing stored
      EXPECT_EQ(Ulzw_decode(u.get(), (int)src.size(), NULL, e.rc, e.bytes.data()), (int)src.size());
    }
  }
}

TEST(UlzwDictionary, FullDictionaryStaysUnchangedToTheEndOfTheStream) {
  const Bytes src = ulzw_ref::letters(60000, 4, 11);
  ulzw_ref::Result r = ulzw_ref::encode(140, src);
  Unit u(UlzwUnit_alloc(140));
  Bytes buf(stream_bound(src.size()));
  int rc = Ulzw_encode(u.get(), (int)buf.size(), buf.data(), (int)src.size(), src.data());
  ASSERT_GT(rc, 0);
  EXPECT_EQ(u->code_next, 4095u);  // 4094 was the last code given out
  // Well after the dictionary filled, the parse still uses its late entries: no reset.
  size_t i_full = 4094 - 256 + 1;  // the loop write that assigned 4094
  ASSERT_GT(r.writes.size(), i_full + 1000);
  bool late_entry_used = false;
  for (size_t i = i_full + 1000; i < r.writes.size(); i++) {
    EXPECT_LE(r.writes[i].code, 4095u);
    if (r.writes[i].code > 4000 && r.writes[i].code < 4095) late_entry_used = true;
  }
  EXPECT_TRUE(late_entry_used);
  Coded d = decode(140, Bytes(buf.begin(), buf.begin() + rc), (int)src.size());
  EXPECT_TRUE(d.bytes == src);
}

TEST(UlzwEncode, CountingOnlyGivesTheSameLengthWithinTheSameBound) {
  const Bytes src = ulzw_ref::code_like(100000, 12);
  int n_real = encode(144, src).rc;
  Unit u(UlzwUnit_alloc(144));
  EXPECT_EQ(Ulzw_encode(u.get(), n_real, NULL, (int)src.size(), src.data()), n_real);
  LogCapture log;
  Unit v(UlzwUnit_alloc(144));
  EXPECT_EQ(Ulzw_encode(v.get(), n_real - 1, NULL, (int)src.size(), src.data()), -1);
  EXPECT_EQ(log.text(), err("Ulzw_encode", "write_code (4) failed"));
}

/* For every size short of the stream: -1, the line of the write that met the full buffer,
** the bytes before it written and nothing beyond the buffer. */
TEST(UlzwEncode, ShortStreamBufferFailsAtTheWriteThatMetIt) {
  std::set<int> calls_seen;
  for (int mode : {12, 140, 144}) {
    for (const char* s : {"abc", "ababab", "aaaa", "a"}) {
      ulzw_ref::Result r = ulzw_ref::encode(mode, text(s));
      for (int m = 0; m < (int)r.bytes.size(); m++) {
        SCOPED_TRACE(std::string(s) + " in mode " + std::to_string(mode) + ", room " + std::to_string(m));
        int i_call = 0;
        for (const auto& w : r.writes)
          if (i_call == 0 && (int)(w.n_bits_after / 8) > m) i_call = w.i_call;
        calls_seen.insert(i_call);
        LogCapture log;
        Coded e = encode(mode, text(s), m);
        EXPECT_EQ(e.rc, -1);
        EXPECT_EQ(log.text(), err("Ulzw_encode", "write_code (" + std::to_string(i_call) + ") failed"));
        EXPECT_TRUE(std::equal(e.bytes.begin(), e.bytes.begin() + m, r.bytes.begin()));
        EXPECT_TRUE(guards_intact(e.bytes, m));
      }
    }
  }
  EXPECT_EQ(calls_seen, (std::set<int>{1, 2, 3, 4}));
}

TEST(UlzwArguments, BadModesGiveNoUnitAndTheirLine) {
  for (int mode : {0, 11, 17, 139, 145, -144}) {
    LogCapture log;
    EXPECT_EQ(UlzwUnit_alloc(mode), nullptr);
    EXPECT_EQ(log.text(), err("UlzwUnit_alloc", "p == NULL, mode_to_n_bits (" + std::to_string(mode) + ") = -1"));
  }
}

TEST(UlzwArguments, NullUnitOrSourceGivesMinusOneWithoutALine) {
  Unit u(UlzwUnit_alloc(144));
  uint8_t b[8] = {0x61};
  LogCapture log;
  EXPECT_EQ(Ulzw_encode(NULL, 8, b, 1, b), -1);
  EXPECT_EQ(Ulzw_encode(u.get(), 8, b, 1, NULL), -1);
  EXPECT_EQ(Ulzw_decode(NULL, 8, b, 1, b), -1);
  EXPECT_EQ(Ulzw_decode(u.get(), 8, b, 1, NULL), -1);
  EXPECT_EQ(log.text(), "");
}

TEST(UlzwArguments, EmptySourceMakesNoStream) {
  Unit u(UlzwUnit_alloc(144));
  uint8_t b[8];
  LogCapture log;
  EXPECT_EQ(Ulzw_encode(u.get(), 8, b, 0, b), -1);
  EXPECT_EQ(log.text(), err("Ulzw_encode", "n_src = 0, nothing to compress\n"));
}

TEST(UlzwDecode, StreamWithoutACodeBeforeItsEndIsRefused) {
  const std::pair<int, Bytes> cases[] = {
      {144, pack(144, {65535, 0})}, {12, pack(12, {4095, 0})}, {144, Bytes{0x01}}, {12, Bytes{0xFF}}};
  for (const auto& [mode, stream] : cases) {
    LogCapture log;
    Unit u(UlzwUnit_alloc(mode));
    uint8_t out[16];
    EXPECT_EQ(Ulzw_decode(u.get(), 16, out, (int)stream.size(), stream.data()), -1);
    EXPECT_EQ(log.text(), err("Ulzw_decode", "no code before the end of the stream\n"));
  }
  LogCapture log;
  Unit u(UlzwUnit_alloc(144));
  uint8_t b[4] = {0x61, 0, 0, 0};
  EXPECT_EQ(Ulzw_decode(u.get(), 4, b, 0, b), -1);  // no stream bytes at all
  EXPECT_EQ(log.text(), err("Ulzw_decode", "no code before the end of the stream\n"));
}

TEST(UlzwDecode, CodeThatNoEntryExplainsIsRefused) {
  struct Case {
    int mode;
    Bytes stream;
    const char* line;
  } cases[] = {
      {144, pack(144, {256, 65535, 0}), "code 256 unknown, next code 256"},
      {144, pack(144, {'a', 'b', 258, 65535, 0}), "code 258 unknown, next code 257"},
      {12, pack(12, {'a', 4000, 4095, 0}), "code 4000 unknown, next code 256"},
      {140, pack(140, {'a', 'b', 300}), "code 300 unknown, next code 257"},
  };
  for (const auto& c : cases) {
    LogCapture log;
    EXPECT_EQ(decode(c.mode, c.stream, 64).rc, -1);
    EXPECT_EQ(log.text(), err("Ulzw_decode", std::string(c.line) + "\n"));
  }
}

/* For every output size short of the source: -1, a line, nothing beyond the buffer. */
TEST(UlzwDecode, ShortOutputFailsWithoutWritingBeyondIt) {
  for (const char* s : {"aaaa", "ababab", "abcabcabcabc"}) {
    Bytes stream = encode(144, text(s)).bytes;
    for (int m = 0; m < (int)strlen(s); m++) {
      SCOPED_TRACE(std::string(s) + ", room " + std::to_string(m));
      LogCapture log;
      Coded d = decode(144, stream, m);
      EXPECT_EQ(d.rc, -1);
      EXPECT_TRUE(guards_intact(d.bytes, m));
      std::string t = log.text();
      EXPECT_TRUE(t == err("Ulzw_decode", "write_data (1) failed") ||
                  t == err("Ulzw_decode", "decode_string failed") ||
                  t == err("Ulzw_decode", "internal buffer overflow"))
          << t;
    }
  }
  LogCapture log;
  decode(144, encode(144, text("aaaa")).bytes, 2);  // "a", then 256 = "aa" needs a third byte
  EXPECT_EQ(log.text(), err("Ulzw_decode", "internal buffer overflow"));
  log.clear();
  decode(144, encode(144, text("ababab")).bytes, 3);  // "a", "b", then "ab" does not fit
  EXPECT_EQ(log.text(), err("Ulzw_decode", "decode_string failed"));
}

/* Any cut of a stream ends where its whole codes end: the output is a prefix of the source. */
TEST(UlzwDecode, CutStreamGivesAPrefixOfTheSource) {
  const Bytes src = ulzw_ref::code_like(3000, 13);
  for (int mode : {12, 141, 144}) {
    Bytes stream = encode(mode, src).bytes;
    for (size_t n = 0; n < stream.size(); n++) {
      Bytes cut(stream.begin(), stream.begin() + n);
      LogCapture log;
      Coded d = decode(mode, cut, (int)src.size());
      if (d.rc < 0) {
        EXPECT_LE(n, 1u);  // not even the first code is whole
        continue;
      }
      ASSERT_LE(d.bytes.size(), src.size());
      ASSERT_TRUE(std::equal(d.bytes.begin(), d.bytes.end(), src.begin())) << "cut at " << n;
    }
  }
}

/* The stream sits at the very end of a readable page with an inaccessible page after it:
** a read beyond the stream would fault, with or without sanitizers. */
TEST(UlzwDecode, ReadsNoByteBeyondTheStream) {
  long n_page = sysconf(_SC_PAGESIZE);
  auto* p_map = (uint8_t*)mmap(NULL, 2 * n_page, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
  ASSERT_NE(p_map, MAP_FAILED);
  ASSERT_EQ(mprotect(p_map + n_page, n_page, PROT_NONE), 0);
  const Bytes src = ulzw_ref::code_like(2000, 14);
  for (int mode : k_modes) {
    Bytes stream = encode(mode, src).bytes;
    for (size_t cut : {stream.size(), stream.size() - 1, (size_t)3}) {
      uint8_t* p_stream = p_map + n_page - cut;
      memcpy(p_stream, stream.data(), cut);
      Unit u(UlzwUnit_alloc(mode));
      LogCapture log;
      int rc = Ulzw_decode(u.get(), (int)src.size(), NULL, (int)cut, p_stream);
      if (cut == stream.size()) {
        EXPECT_EQ(rc, (int)src.size());
      }
    }
  }
  munmap(p_map, 2 * n_page);
}

}  // namespace
