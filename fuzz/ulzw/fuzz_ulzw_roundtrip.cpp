/*
** fuzz_ulzw_roundtrip.cpp - encode, then decode, of arbitrary sources. Input: one byte
** picking the mode, then the source. Checks: the stream decodes back to the source,
** counting gives the same length, one byte less of room fails, and decoding into one byte
** less of output fails without writing beyond it (the sanitizers watch the exact blocks).
*/
#include "ulzw.h"

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <vector>

namespace {

const int k_modes[] = {12, 13, 14, 15, 16, 140, 141, 142, 143, 144};

struct UnitFree {
  void operator()(UlzwUnit* p) const { UlzwUnit_free(p); }
};
using Unit = std::unique_ptr<UlzwUnit, UnitFree>;

int encode(int mode, int n_dst, uint8_t* p_dst, const uint8_t* p, int n) {
  Unit u(UlzwUnit_alloc(mode));
  return Ulzw_encode(u.get(), n_dst, p_dst, n, p);
}

int decode(int mode, int n_dst, uint8_t* p_dst, const uint8_t* p, int n) {
  Unit u(UlzwUnit_alloc(mode));
  return Ulzw_decode(u.get(), n_dst, p_dst, n, p);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 2 || size > (1 << 20)) return 0;
  int mode = k_modes[data[0] % 10];
  const uint8_t* p_src = data + 1;
  int n_src = (int)size - 1;
  int m_stream = n_src * 17 / 8 + 8;
  std::unique_ptr<uint8_t[]> stream(new uint8_t[m_stream]);
  int n_stream = encode(mode, m_stream, stream.get(), p_src, n_src);
  if (n_stream <= 0) abort();
  if (encode(mode, m_stream, NULL, p_src, n_src) != n_stream) abort();
  std::unique_ptr<uint8_t[]> short_stream(new uint8_t[n_stream - 1]);  // a stream is never below 4 bytes
  if (encode(mode, n_stream - 1, short_stream.get(), p_src, n_src) != -1) abort();
  std::unique_ptr<uint8_t[]> exact(new uint8_t[n_stream]);  // no slack behind the stream
  memcpy(exact.get(), stream.get(), n_stream);
  std::unique_ptr<uint8_t[]> back(new uint8_t[n_src]);
  if (decode(mode, n_src, back.get(), exact.get(), n_stream) != n_src) abort();
  if (memcmp(back.get(), p_src, n_src) != 0) abort();
  if (decode(mode, n_src - 1, back.get(), exact.get(), n_stream) != -1) abort();
  return 0;
}
