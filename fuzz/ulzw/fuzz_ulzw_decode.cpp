/*
** fuzz_ulzw_decode.cpp - the LZW decoder on arbitrary bytes. Input: one byte picking the
** mode, one byte picking the output room, then the stream. Stream and output lie in heap
** blocks of exactly their size, so the sanitizers see any read beyond the stream or write
** beyond the output. Checks: the result fits the room, counting gives the same result,
** and whatever decodes can be encoded and decoded back to the same bytes.
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

int decode(int mode, int n_dst, uint8_t* p_dst, const std::vector<uint8_t>& stream) {
  Unit u(UlzwUnit_alloc(mode));
  std::unique_ptr<uint8_t[]> exact(new uint8_t[stream.size() + 1]);  // +1: never empty
  if (!stream.empty()) memcpy(exact.get(), stream.data(), stream.size());
  return Ulzw_decode(u.get(), n_dst, p_dst, (int)stream.size(), exact.get());
}

/* Whatever a stream decodes to must survive our own encoder and decoder unchanged. */
void check_reencoding(int mode, const uint8_t* p, int n) {
  std::vector<uint8_t> stream((size_t)n * 3 + 16);
  Unit e(UlzwUnit_alloc(mode));
  int n_stream = Ulzw_encode(e.get(), (int)stream.size(), stream.data(), n, p);
  if (n_stream <= 0) abort();
  stream.resize(n_stream);
  std::unique_ptr<uint8_t[]> back(new uint8_t[n]);
  if (decode(mode, n, back.get(), stream) != n || memcmp(back.get(), p, n) != 0) abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 2 || size > (1 << 20)) return 0;
  int mode = k_modes[data[0] % 10];
  int n_dst = data[1] == 255 ? 1 << 16 : data[1] * 16;  // often too small, sometimes plenty
  std::vector<uint8_t> stream(data + 2, data + size);
  std::unique_ptr<uint8_t[]> out(new uint8_t[n_dst + 1]);
  int n = decode(mode, n_dst, out.get(), stream);
  if (n > n_dst || n < -1) abort();
  if (decode(mode, n_dst, NULL, stream) != n) abort();  // counting agrees
  if (n > 0) check_reencoding(mode, out.get(), n);
  return 0;
}
