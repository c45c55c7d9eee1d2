// Memory routines: argument order, overlap, element widths and the key/mask skips, each
// checked against a plain reference; every element loop must touch nothing for n <= 0.
#include "mem_rt.h"

#include <gtest/gtest.h>

#include <array>
#include <cstring>
#include <numeric>
#include <vector>

namespace {

TEST(MemRt, FillTakesCountBeforeValue) {
  uint8_t b[5] = {0, 0, 0, 0, 0};
  EXPECT_EQ(mem_set(b, 3, 0xAB), b);
  EXPECT_EQ(b[2], 0xAB);
  EXPECT_EQ(b[3], 0);
  mem_set_8(b + 3, 2, 0x11);
  EXPECT_EQ(b[4], 0x11);
  uint16_t w[4] = {};
  mem_set_16(w, 3, 0xBEEF);
  EXPECT_EQ(w[2], 0xBEEF);
  EXPECT_EQ(w[3], 0);
  uint32_t d[3] = {};
  mem_set_32(d, 2, 0xCAFEF00Du);
  EXPECT_EQ(d[1], 0xCAFEF00Du);
  EXPECT_EQ(d[2], 0u);
}

/* Copies n bytes from offset s to offset d of a 16-byte buffer both ways and compares with
** a copy through a temporary. */
void check_overlap(int s, int d, int n) {
  std::array<uint8_t, 16> a, ref;
  std::iota(a.begin(), a.end(), 1);
  ref = a;
  std::vector<uint8_t> tmp(ref.begin() + s, ref.begin() + s + n);
  std::copy(tmp.begin(), tmp.end(), ref.begin() + d);
  EXPECT_EQ(mem_cpy(a.data() + d, a.data() + s, (size_t)n), a.data() + d);
  EXPECT_EQ(a, ref) << "from " << s << " to " << d;
}

TEST(MemRt, CopyHandlesOverlapInBothDirections) {
  check_overlap(0, 2, 8);  // destination inside the source: copied from the top down
  check_overlap(2, 0, 8);  // source inside the destination: copied upward
  check_overlap(3, 3, 5);
  uint8_t a[6] = {1, 2, 3, 4, 5, 6};
  mem_cpy_8(a + 1, a, 5);
  EXPECT_EQ(a[5], 5);
  EXPECT_EQ(a[1], 1);
}

TEST(MemRt, WideCopiesScaleTheirCount) {
  uint8_t src[24], dst[24];
  std::iota(src, src + 24, 1);
  memset(dst, 0, sizeof(dst));
  mem_cpy_16(dst, src, 5);
  EXPECT_EQ(dst[9], 10);
  EXPECT_EQ(dst[10], 0);
  memset(dst, 0, sizeof(dst));
  mem_cpy_32(dst, src, 5);
  EXPECT_EQ(dst[19], 20);
  EXPECT_EQ(dst[20], 0);
}

TEST(MemRt, ZeroOrNegativeCountTouchesNothingEvenWithNull) {
  for (int n : {0, -1}) {
    EXPECT_EQ(mem_set_16(nullptr, n, 1), nullptr);
    EXPECT_EQ(mem_set_32(nullptr, n, 1), nullptr);
    EXPECT_EQ(mem_xlat_8_8(nullptr, nullptr, n, nullptr), nullptr);
    EXPECT_EQ(mem_xlat_8_8_skip_src(nullptr, nullptr, n, 0, nullptr), nullptr);
    EXPECT_EQ(mem_xlat_8_8_skip_dst(nullptr, nullptr, n, nullptr, 0), nullptr);
    EXPECT_EQ(mem_gather_8_idx(nullptr, nullptr, n, nullptr), nullptr);
    EXPECT_EQ(mem_xlat_8_8_idx(nullptr, nullptr, n, nullptr, nullptr), nullptr);
    EXPECT_EQ(mem_xlat_8_8_idx_skip_src(nullptr, nullptr, n, nullptr, 0, nullptr), nullptr);
    EXPECT_EQ(mem_xlat_8_8_idx_skip_dst(nullptr, nullptr, n, nullptr, nullptr, 0), nullptr);
    EXPECT_EQ(mem_xlat_8_16(nullptr, nullptr, n, nullptr), nullptr);
    EXPECT_EQ(mem_xlat_8_16_skip_src(nullptr, nullptr, n, 0, nullptr), nullptr);
    EXPECT_EQ(mem_xlat_8_16_skip_dst(nullptr, nullptr, n, nullptr, 0), nullptr);
    EXPECT_EQ(mem_xlat_8_16_idx(nullptr, nullptr, n, nullptr, nullptr), nullptr);
    EXPECT_EQ(mem_xlat_8_16_idx_skip_src(nullptr, nullptr, n, nullptr, 0, nullptr), nullptr);
    EXPECT_EQ(mem_xlat_8_16_idx_skip_dst(nullptr, nullptr, n, nullptr, nullptr, 0), nullptr);
    EXPECT_EQ(mem_xlat_16_8(nullptr, nullptr, n, nullptr), nullptr);
    EXPECT_EQ(mem_xlat_16_8_skip_src(nullptr, nullptr, n, 0, nullptr), nullptr);
    EXPECT_EQ(mem_xlat_16_8_skip_dst(nullptr, nullptr, n, nullptr, 0), nullptr);
    EXPECT_EQ(mem_xlat_16_8_idx(nullptr, nullptr, n, nullptr, nullptr), nullptr);
    EXPECT_EQ(mem_xlat_16_8_idx_skip_src(nullptr, nullptr, n, nullptr, 0, nullptr), nullptr);
    EXPECT_EQ(mem_xlat_16_8_idx_skip_dst(nullptr, nullptr, n, nullptr, nullptr, 0), nullptr);
    EXPECT_EQ(mem_xlat_16_16(nullptr, nullptr, n, nullptr), nullptr);
    EXPECT_EQ(mem_gather_16_idx(nullptr, nullptr, n, nullptr), nullptr);
    EXPECT_EQ(mem_xlat_16_16_idx(nullptr, nullptr, n, nullptr, nullptr), nullptr);
    EXPECT_EQ(mem_cpy_16_skip(nullptr, nullptr, n, 0), nullptr);
    EXPECT_EQ(mem_cpy_16_mask(nullptr, nullptr, nullptr, n), nullptr);
    EXPECT_EQ(mem_set_16_mask(nullptr, nullptr, n, 0), nullptr);
  }
  uint8_t b[2] = {7, 7};
  EXPECT_EQ(mem_set(b, 0, 0), b);
  EXPECT_EQ(mem_cpy(nullptr, nullptr, 0), nullptr);
  EXPECT_EQ(mem_set(nullptr, 0, 1), nullptr);
  EXPECT_EQ(mem_cpy_16(nullptr, nullptr, 0), nullptr);
  uint16_t w[2] = {5, 5};
  EXPECT_EQ(mem_set_16(w, -1, 9), w);
  EXPECT_EQ(w[0], 5);
}

/* Tables with recognisable values: tab8[v] = v ^ 0x5A, tab16[v] = v + 0x100. */
struct Tables {
  std::array<uint8_t, 65536> t8;
  std::array<uint16_t, 65536> t16;
  Tables() {
    for (int v = 0; v < 65536; v++) {
      t8[v] = (uint8_t)(v ^ 0x5A);
      t16[v] = (uint16_t)(v + 0x100);
    }
  }
};

TEST(MemRt, TranslateSkipsBySourceOrByResult) {
  Tables t;
  const uint8_t src[4] = {0, 1, 0, 0x5A};
  uint8_t dst[4] = {9, 9, 9, 9};
  mem_xlat_8_8_skip_src(dst, src, 4, 0, t.t8.data());
  EXPECT_EQ(std::vector<uint8_t>(dst, dst + 4), (std::vector<uint8_t>{9, 0x5B, 9, 0}));
  uint8_t dst2[4] = {9, 9, 9, 9};
  mem_xlat_8_8_skip_dst(dst2, src, 4, t.t8.data(), 0x5A);  // tab[0] == 0x5A is skipped
  EXPECT_EQ(std::vector<uint8_t>(dst2, dst2 + 4), (std::vector<uint8_t>{9, 0x5B, 9, 0}));
  uint8_t buf[3] = {1, 2, 3};
  mem_xlat_8_8(buf, buf, 3, t.t8.data());  // in place
  EXPECT_EQ(buf[2], 3 ^ 0x5A);
}

TEST(MemRt, IndexFormsPickTheSourceThroughTheIndex) {
  Tables t;
  const uint8_t s8[4] = {10, 20, 30, 40};
  const uint16_t s16[4] = {1000, 2000, 3000, 0x1234};
  const uint32_t idx[3] = {3, 0, 3};
  uint8_t d8[3];
  mem_gather_8_idx(d8, s8, 3, idx);
  EXPECT_EQ(std::vector<uint8_t>(d8, d8 + 3), (std::vector<uint8_t>{40, 10, 40}));
  mem_xlat_8_8_idx(d8, s8, 3, idx, t.t8.data());
  EXPECT_EQ(d8[1], 10 ^ 0x5A);
  uint8_t e8[3] = {0, 0, 0};
  mem_xlat_8_8_idx_skip_src(e8, s8, 3, idx, 40, t.t8.data());
  EXPECT_EQ(std::vector<uint8_t>(e8, e8 + 3), (std::vector<uint8_t>{0, 10 ^ 0x5A, 0}));
  uint8_t f8[3] = {0, 0, 0};
  mem_xlat_8_8_idx_skip_dst(f8, s8, 3, idx, t.t8.data(), 10 ^ 0x5A);
  EXPECT_EQ(std::vector<uint8_t>(f8, f8 + 3), (std::vector<uint8_t>{40 ^ 0x5A, 0, 40 ^ 0x5A}));
  uint16_t d16[3];
  mem_gather_16_idx(d16, s16, 3, idx);
  EXPECT_EQ(d16[0], 0x1234);
  mem_xlat_16_16_idx(d16, s16, 3, idx, t.t16.data());
  EXPECT_EQ(d16[1], 1000 + 0x100);
  mem_xlat_8_16_idx(d8, s16, 3, idx, t.t8.data());
  EXPECT_EQ(d8[0], (uint8_t)(0x1234 ^ 0x5A));
  uint8_t g8[3] = {0, 0, 0};
  mem_xlat_8_16_idx_skip_src(g8, s16, 3, idx, 0x1234, t.t8.data());
  EXPECT_EQ(std::vector<uint8_t>(g8, g8 + 3), (std::vector<uint8_t>{0, (1000 ^ 0x5A) & 0xFF, 0}));
  uint8_t h8[3] = {0, 0, 0};
  mem_xlat_8_16_idx_skip_dst(h8, s16, 3, idx, t.t8.data(), (1000 ^ 0x5A) & 0xFF);
  EXPECT_EQ(h8[1], 0);
  EXPECT_EQ(h8[0], (uint8_t)(0x1234 ^ 0x5A));
  uint16_t k16[3] = {0, 0, 0};
  mem_xlat_16_8_idx(k16, s8, 3, idx, t.t16.data());
  EXPECT_EQ(k16[0], 0x100 + 40);
  uint16_t m16[3] = {0, 0, 0};
  mem_xlat_16_8_idx_skip_src(m16, s8, 3, idx, 10, t.t16.data());
  EXPECT_EQ(std::vector<uint16_t>(m16, m16 + 3), (std::vector<uint16_t>{0x128, 0, 0x128}));
}

TEST(MemRt, SixteenBitTranslations) {
  Tables t;
  const uint16_t s16[3] = {0, 0xFFFF, 7};
  const uint8_t s8[3] = {0, 0xFF, 7};
  uint8_t d8[3] = {1, 1, 1};
  mem_xlat_8_16(d8, s16, 3, t.t8.data());
  EXPECT_EQ(d8[1], (uint8_t)(0xFFFF ^ 0x5A));
  uint8_t e8[3] = {1, 1, 1};
  mem_xlat_8_16_skip_src(e8, s16, 3, 0xFFFF, t.t8.data());
  EXPECT_EQ(std::vector<uint8_t>(e8, e8 + 3), (std::vector<uint8_t>{0x5A, 1, 7 ^ 0x5A}));
  uint8_t f8[3] = {1, 1, 1};
  mem_xlat_8_16_skip_dst(f8, s16, 3, t.t8.data(), 0x5A);
  EXPECT_EQ(std::vector<uint8_t>(f8, f8 + 3), (std::vector<uint8_t>{1, 0xA5, 7 ^ 0x5A}));
  uint16_t d16[3] = {1, 1, 1};
  mem_xlat_16_8(d16, s8, 3, t.t16.data());
  EXPECT_EQ(d16[1], 0x1FF);
  uint16_t e16[3] = {1, 1, 1};
  mem_xlat_16_8_skip_src(e16, s8, 3, 7, t.t16.data());
  EXPECT_EQ(std::vector<uint16_t>(e16, e16 + 3), (std::vector<uint16_t>{0x100, 0x1FF, 1}));
  uint16_t f16[3] = {1, 1, 1};
  mem_xlat_16_8_skip_dst(f16, s8, 3, t.t16.data(), 0x1FF);
  EXPECT_EQ(std::vector<uint16_t>(f16, f16 + 3), (std::vector<uint16_t>{0x100, 1, 0x107}));
  uint16_t g16[3];
  mem_xlat_16_16(g16, s16, 3, t.t16.data());
  EXPECT_EQ(g16[1], 0xFF);  // 0xFFFF + 0x100 wraps in the 16-bit table
}

TEST(MemRt, EightBitKeyAgainstSixteenBitTableValue) {
  std::array<uint16_t, 256> tab{};
  tab[1] = 0x0100;  // low byte equals the key, but the value does not
  tab[2] = 0x0000;
  const uint8_t src[2] = {1, 2};
  const uint32_t idx[2] = {0, 1};
  uint16_t dst[2] = {0xAAAA, 0xAAAA};
  mem_xlat_16_8_idx_skip_dst(dst, src, 2, idx, tab.data(), 0x00);
  EXPECT_EQ(dst[0], 0x0100);
  EXPECT_EQ(dst[1], 0xAAAA);
}

TEST(MemRt, KeyAndMaskCopies) {
  const uint16_t src[4] = {1, 0xFFFF, 3, 0xFFFF};
  uint16_t dst[4] = {9, 9, 9, 9};
  mem_cpy_16_skip(dst, src, 4, 0xFFFF);
  EXPECT_EQ(std::vector<uint16_t>(dst, dst + 4), (std::vector<uint16_t>{1, 9, 3, 9}));
  const uint8_t mask[4] = {0, 2, 0, 1};
  uint16_t m[4] = {9, 9, 9, 9};
  mem_cpy_16_mask(m, src, mask, 4);
  EXPECT_EQ(std::vector<uint16_t>(m, m + 4), (std::vector<uint16_t>{9, 0xFFFF, 9, 0xFFFF}));
  mem_set_16_mask(m, mask, 3, 5);
  EXPECT_EQ(std::vector<uint16_t>(m, m + 4), (std::vector<uint16_t>{9, 5, 9, 0xFFFF}));
}

}  // namespace
