// The unit's end of the line: bytes pass unchanged and are counted as they cross the wire
// (doubled DLEs included); each fault does what it says at rate 1; a seed repeats a run.
#include "unit_line.h"

#include <gtest/gtest.h>

#include <deque>
#include <vector>

namespace {

/* A transport of two queues: what the unit may receive, and what it sent. */
struct FakePort {
  std::deque<int> in;
  std::vector<int> out;
  static int receive(void* p) {
    auto* f = (FakePort*)p;
    if (f->in.empty()) return -1;
    int ch = f->in.front();
    f->in.pop_front();
    return ch;
  }
  static int send(void* p, int ch) {
    ((FakePort*)p)->out.push_back(ch);
    return ch;
  }
  static uint32_t send_block(void* p, int n, const uint8_t* b) {
    for (int i = 0; i < n; ++i) {
      send(p, b[i]);
      if (b[i] == 0x10) send(p, 0x10);
    }
    return 0x80000000u;
  }
  UnitPort port() { return UnitPort{this, receive, send, send_block, nullptr}; }
};

std::vector<int> receive_all(UnitLine* p) {
  std::vector<int> v;
  for (int i = 0; i < 10000; ++i) {
    int ch = UnitLine_receive(p);
    if (ch >= 0) v.push_back(ch);
  }
  return v;
}

std::vector<int> bytes_0_to_255() {
  std::vector<int> v;
  for (int i = 0; i < 256; ++i) v.push_back(i);
  return v;
}

TEST(UnitLine, WithoutFaultsBytesPassAndAreCounted) {
  FakePort f;
  UnitPort port = f.port();
  UnitLine line;
  ASSERT_EQ(UnitLine_init(&line, &port, nullptr), &line);
  f.in.assign({0x02, 0x10, 0x41});
  EXPECT_EQ(receive_all(&line), (std::vector<int>{0x02, 0x10, 0x41}));
  const uint8_t block[] = {0x10, 0x41};
  EXPECT_EQ(UnitLine_send_with_dle(&line, 2, block), 0x80000000u);
  UnitLine_send_byte(&line, 0x03);
  EXPECT_EQ(f.out, (std::vector<int>{0x10, 0x10, 0x41, 0x03}));
  EXPECT_EQ(line.n_rx, 3u);
  EXPECT_EQ(line.n_tx, 4u);  // the doubled DLE crossed the wire too
  EXPECT_EQ(line.n_faults, 0u);
  EXPECT_EQ(UnitLine_init(nullptr, &port, nullptr), nullptr);
}

TEST(UnitLine, EachFaultAtRateOne) {
  FakePort f;
  UnitPort port = f.port();
  UnitLine line;
  UnitLineFaults bits = {1.0, 0, 0, 5};
  UnitLine_init(&line, &port, &bits);
  std::vector<int> all = bytes_0_to_255();
  f.in.assign(all.begin(), all.end());
  std::vector<int> got = receive_all(&line);
  ASSERT_EQ(got.size(), 256u);
  for (int i = 0; i < 256; ++i) EXPECT_EQ(__builtin_popcount(got[i] ^ i), 1) << i;

  UnitLineFaults lost = {0, 1.0, 0, 5};
  UnitLine_init(&line, &port, &lost);
  f.in.assign(all.begin(), all.end());
  f.out.clear();
  EXPECT_TRUE(receive_all(&line).empty());
  const uint8_t block[] = {1, 2, 3};
  UnitLine_send_with_dle(&line, 3, block);
  EXPECT_TRUE(f.out.empty());
  EXPECT_EQ(line.n_rx, 256u);  // taken from the wire, then lost
  EXPECT_EQ(line.n_faults, 256u + 3u);

  UnitLineFaults extra = {0, 0, 1.0, 5};
  UnitLine_init(&line, &port, &extra);
  f.in.assign({0x41, 0x42});
  got = receive_all(&line);
  ASSERT_EQ(got.size(), 4u);
  EXPECT_EQ(got[1], 0x41);
  EXPECT_EQ(got[3], 0x42);
  f.out.clear();
  UnitLine_send_byte(&line, 0x43);
  ASSERT_EQ(f.out.size(), 2u);
  EXPECT_EQ(f.out[1], 0x43);
}

TEST(UnitLine, TheSameSeedRepeatsTheSameFaults) {
  auto run = [](uint64_t seed) {
    FakePort f;
    UnitPort port = f.port();
    UnitLine line;
    UnitLineFaults faults = {0.05, 0.05, 0.05, seed};
    UnitLine_init(&line, &port, &faults);
    std::vector<int> all = bytes_0_to_255();
    for (int k = 0; k < 8; ++k) f.in.insert(f.in.end(), all.begin(), all.end());
    std::vector<int> got = receive_all(&line);
    std::vector<uint8_t> block(all.begin(), all.end());
    UnitLine_send_with_dle(&line, (int)block.size(), block.data());
    got.insert(got.end(), f.out.begin(), f.out.end());
    return got;
  };
  std::vector<int> a = run(11), b = run(11), c = run(12);
  EXPECT_EQ(a, b);
  EXPECT_NE(a, c);
  EXPECT_NE(a.size(), (size_t)(8 * 256 + 257));  // some faults did happen
}

}  // namespace
