/*
** fuzz_ulzw_decode.cpp - the LZW decoder on arbitrary bytes. Input: one byte picking the
** mode, one byte picking the output room, then the stream. Stream and output lie in heap
** blocks of exactly their size, so the sanitizers see any read beyond the stream or write
** beyond the output. Checks: the result fits the room, counting gives the same result,
** and whatever decodes survives our own encoder and decoder. A mode byte of 128 or more
** asks instead for a long stream of codes that the decoder can always explain: it fills
** the dictionaries of modes 12 and 140, which random bytes hardly reach.
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

/* Packs codes as the encoder does, closing with the end code and a zero code. */
struct Packer {
  int mode;
  std::vector<uint8_t> bytes;
  uint64_t bits = 0;
  int n_bits = 0;
  void put(unsigned code) {
    int n = mode % 128;
    uint64_t group = code;
    int n_group = n;
    if (mode >= 128) {
      group = (uint64_t)code << 1 | (code >= 256 ? 1 : 0);
      n_group = code >= 256 ? n + 1 : 9;
    }
    bits |= group << n_bits;
    for (n_bits += n_group; n_bits >= 8; n_bits -= 8, bits >>= 8) bytes.push_back((uint8_t)bits);
  }
};

/* A stream of n_codes codes, each one that the decoder can explain at its place (up to
** and including the code it is about to make), chosen by the input. */
std::vector<uint8_t> explainable_stream(int mode, const uint8_t* p, size_t n, int n_codes) {
  Packer k{mode, {}};
  unsigned code_end = (1u << (mode % 128)) - 1, code_next = 256;
  k.put(p[0]);
  for (int i = 1; i < n_codes; i++) {
    uint32_t v = (p[i % n] | (uint32_t)p[(i + 1) % n] << 8) ^ ((uint32_t)i * 2654435761u >> 12);
    unsigned limit = code_next < code_end ? code_next : code_end - 1;
    k.put(v % (limit + 1));
    if (code_next < code_end) code_next++;
  }
  k.put(code_end);
  k.put(0);
  return k.bytes;
}

void fuzz_explainable(const uint8_t* data, size_t size) {
  int mode = data[0] & 1 ? 140 : 12;
  std::vector<uint8_t> stream = explainable_stream(mode, data + 1, size - 1, 4000 + data[1] * 4);
  int n = decode(mode, 1 << 30, NULL, stream);
  if (n <= 0) abort();  // every code is explainable
  if (n > (8 << 20)) return;
  std::unique_ptr<uint8_t[]> out(new uint8_t[n]);
  if (decode(mode, n, out.get(), stream) != n) abort();
  if (n <= (256 << 10)) check_reencoding(mode, out.get(), n);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 2 || size > (1 << 20)) return 0;
  if (data[0] >= 128) {
    fuzz_explainable(data, size);
    return 0;
  }
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
