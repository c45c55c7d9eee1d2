// Memory of the LZW coder: coding allocates nothing after UlzwUnit_alloc, and a unit whose
// tables cannot be made is released with one line per missing table. This program replaces
// the global operator new and delete to count and to refuse allocations.
#include "ulzw.h"
#include "log_capture.h"
#include "ulzw_reference.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <new>

// The replacements below pair malloc with free themselves; the compiler cannot see that.
#pragma GCC diagnostic ignored "-Wmismatched-new-delete"

namespace {

int g_n_new = 0;            // allocations counted while g_counting is set
bool g_counting = false;
size_t g_refuse_size = 0;   // refuse allocations of exactly this size ...
int g_refuse_mask = 0;      // ... the k-th one of that size when bit k is set

int g_n_of_size = 0;

void* take(size_t n) {
  if (g_counting) g_n_new++;
  if (g_refuse_size != 0 && n == g_refuse_size) {
    int k = g_n_of_size++;
    if (g_refuse_mask & (1 << k)) return nullptr;
  }
  return std::malloc(n == 0 ? 1 : n);
}

}  // namespace

void* operator new(size_t n) {
  void* p = take(n);
  if (p == nullptr) throw std::bad_alloc();
  return p;
}
void* operator new[](size_t n) { return operator new(n); }
void* operator new(size_t n, const std::nothrow_t&) noexcept { return take(n); }
void* operator new[](size_t n, const std::nothrow_t&) noexcept { return take(n); }
void operator delete(void* p) noexcept { std::free(p); }
void operator delete[](void* p) noexcept { std::free(p); }
void operator delete(void* p, size_t) noexcept { std::free(p); }
void operator delete[](void* p, size_t) noexcept { std::free(p); }

namespace {

std::string err(const std::string& text) { return "error - src/image/ulzw.cpp - UlzwUnit_alloc: " + text; }

const std::string k_line_code_value =
    err("p -> p_tab_code_value = __ALLOC (p -> n_tab * sizeof (p -> p_tab_code_value [0])))");
const std::string k_line_prefix =
    err("p -> p_tab_prefix_code= __ALLOC (p -> n_tab * sizeof (p -> p_tab_prefix_code [0])))");
const std::string k_line_append =
    err("p -> p_tab_append_char= __ALLOC (p -> n_tab * sizeof (p -> p_tab_append_char [0])))");

/* Makes a mode-144 unit while refusing the allocations of size n picked by mask. */
UlzwUnit* alloc_refusing(size_t n, int mask) {
  g_refuse_size = n;
  g_refuse_mask = mask;
  g_n_of_size = 0;
  UlzwUnit* p = UlzwUnit_alloc(144);
  g_refuse_size = 0;
  return p;
}

TEST(UlzwMemory, EncodingAndDecodingAllocateNothing) {
  for (int mode : {12, 144}) {
    const auto src = ulzw_ref::code_like(1 << 20, 21);
    std::vector<uint8_t> stream(src.size() * 3), back(src.size());
    UlzwUnit* e = UlzwUnit_alloc(mode);
    UlzwUnit* d = UlzwUnit_alloc(mode);
    ASSERT_TRUE(e != NULL && d != NULL);
    g_n_new = 0;
    g_counting = true;
    int n = Ulzw_encode(e, (int)stream.size(), stream.data(), (int)src.size(), src.data());
    int n_back = Ulzw_decode(d, (int)back.size(), back.data(), n, stream.data());
    g_counting = false;
    EXPECT_EQ(g_n_new, 0);
    EXPECT_EQ(n_back, (int)src.size());
    UlzwUnit_free(e);
    UlzwUnit_free(d);
  }
}

TEST(UlzwMemory, UnitItselfMissingGivesTheModeLine) {
  LogCapture log;
  EXPECT_EQ(alloc_refusing(sizeof(UlzwUnit), 1), nullptr);
  EXPECT_EQ(log.text(), err("p == NULL, mode_to_n_bits (144) = 16"));
}

TEST(UlzwMemory, EachMissingTableHasItsLineAndTheUnitIsReleased) {
  const size_t n_ints = 78643 * sizeof(int);
  struct Case {
    size_t n;
    int mask;
    std::string lines;
  } cases[] = {
      {n_ints, 1, k_line_code_value},
      {n_ints, 2, k_line_prefix},
      {n_ints, 3, k_line_code_value + k_line_prefix},  // the second is tried after the first failed
      {78643, 1, k_line_append},
  };
  for (const auto& c : cases) {
    LogCapture log;
    EXPECT_EQ(alloc_refusing(c.n, c.mask), nullptr);  // the sanitizer build finds any leak
    EXPECT_EQ(log.text(), c.lines);
  }
}

}  // namespace
