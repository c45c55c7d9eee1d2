// The unit's verdict on its flash and its memories: a sound code image starts, and every
// kind of damage, including each missing chunk of the stream, keeps the application from
// starting; NOR programming only clears bits; ranges near the end of the address space
// do not wrap into the memory.
#include "unit_image.h"
#include "unit_mem.h"
#include "unit_rig.h"

#include <cstring>

namespace {

std::vector<uint8_t> flash_of(const TestImages& t) { return t.code; }

void put_u32(uint8_t* b, uint32_t v) {
  for (int i = 0; i < 4; ++i) b[i] = (uint8_t)(v >> (8 * i));
}

int judge(const std::vector<uint8_t>& flash, bool with_expected = true, UnitVerdict* p_v = nullptr) {
  const TestImages& t = test_images();
  UnitVerdict v;
  int code = UnitImage_judge(flash.data(), with_expected ? t.n_src : 0,
                             with_expected ? t.appl_image.data() : nullptr, &v);
  if (p_v) *p_v = v;
  return code;
}

TEST(UnitImage, TestApplicationBuildsASoundCodeImage) {
  const TestImages& t = test_images();
  EXPECT_EQ(t.n_src, 0x404000 + 1500 - 0x400000);  // up to the last partition's end
  ASSERT_GT(t.n_code_used, 256);
  EXPECT_EQ(t.code[16], 0x47);
  EXPECT_EQ(t.code[32], 0x90);
  UnitVerdict v;
  EXPECT_EQ(judge(flash_of(t), true, &v), UNIT_VERDICT_OK);
  EXPECT_EQ(v.n_src, (uint32_t)t.n_src);
  EXPECT_EQ(v.n_expanded, t.n_src);
  EXPECT_EQ(judge(flash_of(t), false), UNIT_VERDICT_OK);
}

TEST(UnitImage, SetOutsideTheApplicationImageIsRefused) {
  std::vector<uint8_t> appl(UNIT_APPL_N);
  uint32_t a[] = {0x4FFFFE}, n[] = {4};
  uint8_t bytes[4] = {1, 2, 3, 4};
  const uint8_t* p[] = {bytes};
  EXPECT_EQ(UnitImage_appl_from_set(1, a, n, p, appl.data()), -1);
  a[0] = 0x4FFFFC;
  EXPECT_EQ(UnitImage_appl_from_set(1, a, n, p, appl.data()), (int32_t)UNIT_APPL_N);
}

TEST(UnitImage, EachDamageOfTheHeaderHasItsVerdict) {
  const TestImages& t = test_images();
  struct Case {
    int i;
    uint8_t v;
    int code;
  } cases[] = {{16, 0xFF, UNIT_VERDICT_NO_SIGNATURE}, {16, 0x46, UNIT_VERDICT_NO_SIGNATURE},
               {18, 0x02, UNIT_VERDICT_BAD_HEADER},   {3, 0x00, UNIT_VERDICT_BAD_HEADER},
               {25, 0x00, UNIT_VERDICT_BAD_HEADER},   {32, 0x8F, UNIT_VERDICT_BAD_HEADER}};
  for (const Case& c : cases) {
    std::vector<uint8_t> f = flash_of(t);
    f[c.i] = c.v;
    EXPECT_EQ(judge(f), c.code) << "offset " << c.i;
  }
  std::vector<uint8_t> f = flash_of(t);
  put_u32(f.data() + 33, 0);
  EXPECT_EQ(judge(f), UNIT_VERDICT_BAD_LENGTHS);
  put_u32(f.data() + 33, UNIT_APPL_N + 1);
  EXPECT_EQ(judge(f), UNIT_VERDICT_BAD_LENGTHS);
  f = flash_of(t);
  put_u32(f.data() + 37, UNIT_FLASH_N);  // a stream longer than the area
  EXPECT_EQ(judge(f), UNIT_VERDICT_BAD_LENGTHS);
}

TEST(UnitImage, StreamThatDoesNotExpandToItsLengthIsRefused) {
  const TestImages& t = test_images();
  std::vector<uint8_t> f = flash_of(t);
  put_u32(f.data() + 33, (uint32_t)t.n_src + 1);
  EXPECT_EQ(judge(f, false), UNIT_VERDICT_BAD_STREAM);
  put_u32(f.data() + 33, (uint32_t)t.n_src - 1);
  EXPECT_EQ(judge(f, false), UNIT_VERDICT_BAD_STREAM);
}

TEST(UnitImage, ExpansionThatDiffersFromTheExpectedApplicationIsRefused) {
  const TestImages& t = test_images();
  std::vector<uint8_t> other = t.appl_image;
  other[5000] ^= 0x01;
  std::vector<uint8_t> f = flash_of(t);
  UnitVerdict v;
  EXPECT_EQ(UnitImage_judge(f.data(), t.n_src, other.data(), &v), UNIT_VERDICT_DIFFERS);
  EXPECT_EQ(v.i_first_diff, 5000);
  EXPECT_EQ(UnitImage_judge(f.data(), t.n_src - 1, t.appl_image.data(), &v), UNIT_VERDICT_DIFFERS);
}

TEST(UnitImage, NoMissingChunkOfTheStreamEverPasses) {
  // Programming that stopped or skipped a chunk leaves it erased. The header still holds
  // the lengths, so only the stream itself can tell.
  const TestImages& t = test_images();
  for (uint32_t a = 0; a < (uint32_t)t.n_code_used; a += 256) {
    std::vector<uint8_t> f = flash_of(t);
    memset(f.data() + a, 0xFF, 256);
    if (a == 0) f[16] = 0x47;  // the signature byte is programmed on its own
    EXPECT_NE(judge(f, true), UNIT_VERDICT_OK) << "chunk at " << a;
    EXPECT_NE(judge(f, false), UNIT_VERDICT_OK) << "chunk at " << a << ", nothing expected";
  }
}

TEST(UnitImage, BytesTheDecoderNeverReadsMustStillBeAsBuilt) {
  // The stream's last byte holds only bits of the zero code behind the end code: left
  // erased (a last chunk that was never programmed), the stream still expands to the
  // expected application. A byte behind the stream is not read at all. Neither passes.
  const TestImages& t = test_images();
  uint32_t n_dst = t.code[37] | t.code[38] << 8 | t.code[39] << 16 | (uint32_t)t.code[40] << 24;
  std::vector<uint8_t> f = flash_of(t);
  uint32_t i_last = UNIT_CODE_I_STREAM + n_dst - 1;
  ASSERT_NE(f[i_last], 0xFF);
  f[i_last] = 0xFF;
  UnitVerdict v;
  EXPECT_EQ(judge(f, true, &v), UNIT_VERDICT_NOT_AS_BUILT);
  EXPECT_EQ(v.n_expanded, t.n_src);  // the decoder alone saw nothing wrong
  EXPECT_EQ(v.i_flash_diff, (int32_t)i_last);
  EXPECT_EQ(judge(f, false), UNIT_VERDICT_NOT_AS_BUILT);
  for (uint32_t i : {i_last + 1, (uint32_t)UNIT_FLASH_N - 1}) {
    f = flash_of(t);
    f[i] = 0x00;
    EXPECT_EQ(judge(f, true, &v), UNIT_VERDICT_NOT_AS_BUILT) << "offset " << i;
    EXPECT_EQ(v.i_flash_diff, (int32_t)i);
  }
  EXPECT_STREQ(UnitVerdict_text(UNIT_VERDICT_NOT_AS_BUILT),
               "flash is not the code image of its expansion");
}

TEST(UnitImage, FlippedBitInTheStreamIsCaughtAgainstTheExpectedImage) {
  const TestImages& t = test_images();
  for (uint32_t i : {41u, 300u, 4000u, (uint32_t)t.n_code_used - 300}) {
    std::vector<uint8_t> f = flash_of(t);
    f[i] ^= 0x20;
    EXPECT_NE(judge(f, true), UNIT_VERDICT_OK) << "byte " << i;
  }
}

TEST(UnitMem, NorProgrammingOnlyClearsBits) {
  UnitMem* p = UnitMem_alloc(0xA5);
  ASSERT_NE(p, nullptr);
  EXPECT_FALSE(UnitMem_flash_is_blank(p));
  uint8_t b[2] = {0x0F, 0xFF};
  EXPECT_EQ(UnitMem_flash_program(p, UNIT_FLASH_A, 2, b), UNIT_MEM_FAILED);  // 0xA5 & 0x0F
  EXPECT_EQ(UnitMem_get_p_flash(p)[0], 0x05);
  UnitMem_flash_erase(p);
  EXPECT_TRUE(UnitMem_flash_is_blank(p));
  EXPECT_EQ(UnitMem_flash_program(p, UNIT_FLASH_A, 2, b), UNIT_MEM_OK);
  uint8_t c[2] = {0x03, 0xFF};
  EXPECT_EQ(UnitMem_flash_program(p, UNIT_FLASH_A, 2, c), UNIT_MEM_OK);  // 1 -> 0 only
  uint8_t d[2] = {0x0F, 0xFF};
  EXPECT_EQ(UnitMem_flash_program(p, UNIT_FLASH_A, 2, d), UNIT_MEM_FAILED);  // 0 -> 1 refused
  EXPECT_EQ(UnitMem_get_p_flash(p)[0], 0x03);
  UnitMem_free(p);
}

TEST(UnitMem, RangesAtTheEdgesAndNearTheTopOfTheAddressSpace) {
  UnitMem* p = UnitMem_alloc(0xFF);
  ASSERT_NE(p, nullptr);
  uint8_t b[8] = {};
  EXPECT_EQ(UnitMem_flash_program(p, UNIT_FLASH_A + UNIT_FLASH_N - 8, 8, b), UNIT_MEM_OK);
  EXPECT_EQ(UnitMem_flash_program(p, UNIT_FLASH_A + UNIT_FLASH_N - 7, 8, b), UNIT_MEM_BAD_ADR);
  EXPECT_EQ(UnitMem_flash_program(p, 0xFFFFFFFCu, 8, b), UNIT_MEM_BAD_ADR);
  EXPECT_EQ(UnitMem_ram_write(p, 0xFFFFFFFCu, 8, b), UNIT_MEM_BAD_ADR);
  EXPECT_EQ(UnitMem_ram_write(p, UNIT_RAM_A - 1, 2, b), UNIT_MEM_BAD_ADR);
  EXPECT_EQ(UnitMem_ram_write(p, UNIT_RAM_A + UNIT_RAM_N - 8, 8, b), UNIT_MEM_OK);
  // Written zeros count as written; unwritten zeros do not.
  EXPECT_TRUE(UnitMem_ram_holds(p, UNIT_RAM_A + UNIT_RAM_N - 8, 8, b));
  EXPECT_FALSE(UnitMem_ram_holds(p, UNIT_RAM_A, 8, b));
  UnitMem_reset_ram(p);
  EXPECT_FALSE(UnitMem_ram_holds(p, UNIT_RAM_A + UNIT_RAM_N - 8, 8, b));
  UnitMem_free(p);
  UnitMem_free(nullptr);
}

}  // namespace
