/*
** test_firmware.cpp - the two embedded image sets as the loader relies on them: counts
** and heap sizes, partitions back to back in table order, the address layout (ranges,
** alignment, gaps, overlaps), the table order, the download's request count, and pinned
** hashes so that a change of the generated stand-in firmware cannot pass unnoticed.
*/
#include "embedded_sets.h"
#include "ulzw.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <vector>

namespace {

struct SetView {
  uint32_t n_set;
  const uint32_t* a;
  const uint32_t* n;
  const uint8_t* const* p;
  uint32_t n_heap;
  const uint8_t* heap;
};

SetView loader() {
  return {fld_02_get_n_set(), fld_02_get_p_set_a_bytes(), fld_02_get_p_set_n_bytes(),
          fld_02_get_p_set_p_bytes(), fld_02_get_n_heap(), fld_02_get_p_heap()};
}

SetView appl() {
  return {zent_get_n_set(), zent_get_p_set_a_bytes(), zent_get_p_set_n_bytes(),
          zent_get_p_set_p_bytes(), zent_get_n_heap(), zent_get_p_heap()};
}

uint64_t fnv1a(const void* p, size_t n, uint64_t h = 0xCBF29CE484222325ull) {
  for (size_t i = 0; i < n; i++) h = (h ^ ((const uint8_t*)p)[i]) * 0x100000001B3ull;
  return h;
}

/* Facts of the address layout, from the partitions sorted by address. */
struct Layout {
  uint32_t a_first = 0, e_last = 0, n_min = UINT32_MAX, n_max = 0, gap_max = 0;
  int n_touching = 0, n_overlapping = 0, n_unaligned = 0;
};

Layout layout_of(const SetView& s) {
  std::vector<uint32_t> idx(s.n_set);
  for (uint32_t k = 0; k < s.n_set; k++) idx[k] = k;
  std::sort(idx.begin(), idx.end(), [&](uint32_t x, uint32_t y) { return s.a[x] < s.a[y]; });
  Layout l;
  l.a_first = s.a[idx[0]];
  for (size_t i = 0; i < idx.size(); i++) {
    uint32_t k = idx[i], e = s.a[k] + s.n[k];
    l.n_min = std::min(l.n_min, s.n[k]);
    l.n_max = std::max(l.n_max, s.n[k]);
    l.e_last = std::max(l.e_last, e);
    if (s.a[k] % 4) l.n_unaligned++;
    if (i + 1 == idx.size()) break;
    uint32_t a_next = s.a[idx[i + 1]];
    if (e > a_next) l.n_overlapping++;
    else if (e == a_next) l.n_touching++;
    else l.gap_max = std::max(l.gap_max, a_next - e);
  }
  return l;
}

void expect_back_to_back(const SetView& s) {
  uint64_t sum = 0;
  for (uint32_t k = 0; k < s.n_set; k++) {
    ASSERT_EQ(s.p[k], s.heap + sum) << "partition " << k;
    ASSERT_GE(s.n[k], 1u);
    sum += s.n[k];
  }
  EXPECT_EQ(sum, s.n_heap);
}

TEST(EmbeddedSets, PartitionsLieBackToBackInTableOrder) {
  SetView l = loader(), a = appl();
  EXPECT_EQ(l.n_set, 30u);
  EXPECT_EQ(l.n_heap, 33921u);
  EXPECT_EQ(a.n_set, 693u);
  EXPECT_EQ(a.n_heap, 513835u);
  expect_back_to_back(l);
  expect_back_to_back(a);
}

TEST(EmbeddedSets, FlashLoaderLayout) {
  SetView s = loader();
  Layout l = layout_of(s);
  EXPECT_EQ(l.a_first, 0x400000u);
  EXPECT_EQ(l.e_last, 0x409A32u);
  EXPECT_EQ(l.n_min, 3u);
  EXPECT_EQ(l.n_max, 30082u);
  EXPECT_EQ(l.n_unaligned, 0);
  EXPECT_EQ(l.n_overlapping, 0);
  EXPECT_EQ(l.n_touching, 0);
}

TEST(EmbeddedSets, ApplicationLayoutFitsTheApplicationImage) {
  SetView s = appl();
  Layout l = layout_of(s);
  EXPECT_EQ(l.a_first, 0x400000u);
  EXPECT_EQ(l.e_last, 0x47DD74u);
  EXPECT_LE(l.e_last, 0x500000u);
  EXPECT_EQ(l.n_min, 1u);
  EXPECT_EQ(l.n_max, 383064u);
  EXPECT_EQ(l.n_unaligned, 0);
  EXPECT_EQ(l.n_overlapping, 0);
  EXPECT_EQ(l.n_touching, 2);
  EXPECT_LE(l.gap_max, 12u);
}

TEST(EmbeddedSets, TableOrderIsNotAddressOrder) {
  for (SetView s : {loader(), appl()}) {
    EXPECT_EQ(s.a[1], 0x400000u);
    EXPECT_FALSE(std::is_sorted(s.a, s.a + s.n_set));
  }
}

TEST(EmbeddedSets, FlashLoaderTakes156RequestsOf256Bytes) {
  SetView s = loader();
  uint32_t n_req = 0;
  for (uint32_t k = 0; k < s.n_set; k++) n_req += (s.n[k] + 255) / 256;
  EXPECT_EQ(n_req, 156u);
}

TEST(EmbeddedSets, GettersGiveTheSameTablesEveryTime) {
  EXPECT_EQ(fld_02_get_p_heap(), fld_02_get_p_heap());
  EXPECT_EQ(zent_get_p_set_p_bytes(), zent_get_p_set_p_bytes());
  EXPECT_EQ(zent_get_n_heap(), zent_get_n_heap());
}

/* The stand-in must compress as firmware does, so that the code image, the link time and
** the preparation time of a download are those of a real one: mode 144 takes the used
** part of the application image to between 55 and 75 per cent. */
TEST(EmbeddedSets, ApplicationCompressesLikeFirmware) {
  SetView s = appl();
  std::vector<uint8_t> img(0x100000, 0xFF);
  for (uint32_t k = 0; k < s.n_set; k++) std::copy(s.p[k], s.p[k] + s.n[k], img.begin() + (s.a[k] - 0x400000));
  int n_src = (int)img.size();
  while (n_src > 0 && img[n_src - 1] == 0xFF) n_src--;
  std::vector<uint8_t> stream(0x60000 - 41);
  UlzwUnit* unit = UlzwUnit_alloc(144);
  ASSERT_NE(unit, nullptr);
  int n_dst = Ulzw_encode(unit, (int)stream.size(), stream.data(), n_src, img.data());
  UlzwUnit_free(unit);
  ASSERT_GT(n_dst, 0);
  double ratio = (double)n_dst / n_src;
  RecordProperty("n_src", n_src);
  RecordProperty("n_dst", n_dst);
  EXPECT_GE(ratio, 0.55);
  EXPECT_LE(ratio, 0.75);
  printf("application: n_src %d, n_dst %d (%.1f %%)\n", n_src, n_dst, 100 * ratio);
}

/* The generator is deterministic: the same bytes and tables on every build. A change of
** the stand-in firmware must change these figures on purpose. */
TEST(EmbeddedSets, ContentIsPinned) {
#ifndef ZENT_FIRMWARE_STAND_IN
  GTEST_SKIP() << "built with the unit's own firmware";
#endif
  SetView l = loader(), a = appl();
  EXPECT_EQ(fnv1a(l.heap, l.n_heap), 0x53479FF0112B3E17ull);
  EXPECT_EQ(fnv1a(l.n, 4 * l.n_set, fnv1a(l.a, 4 * l.n_set)), 0xA7FFCD43D5F23FF5ull);
  EXPECT_EQ(fnv1a(a.heap, a.n_heap), 0x2249198317120252ull);
  EXPECT_EQ(fnv1a(a.n, 4 * a.n_set, fnv1a(a.a, 4 * a.n_set)), 0xFB2CB2B20E32B550ull);
}

}  // namespace
