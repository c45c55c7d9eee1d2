// Coherent partitions: the joins of the rule "each record joins the first later record
// that starts at its end or ends at its start", checked against a plain pairwise scan;
// the chain's bytes in address order; failures that end the call with 0.
#include "alloc_seam.h"
#include "log_capture.h"
#include "ms_rec.h"
#include "msr_part.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <string>
#include <vector>

namespace {

struct Rec {
  uint32_t adr;
  std::vector<uint8_t> bytes;
  bool operator==(const Rec&) const = default;
};

struct RecSet {
  MsRecSet* p = MsRecSet_alloc();
  ~RecSet() { Us_free(p); }
  void add(uint32_t adr, std::vector<uint8_t> bytes, uint32_t tag = MSREC_TAG_DATA) {
    ASSERT_GE(MsRecSet_postfix_val(p, tag, adr, (uint32_t)bytes.size(), bytes.data()), 0);
  }
  std::vector<Rec> recs() const {
    std::vector<Rec> v;
    for (int i = 0; i < Us_get_n_elem(p); i++) {
      MsRec* r = MsRecSet_idx_to_ptr(p, i);
      EXPECT_EQ(MsRec_get_tag(r), (uint32_t)MSREC_TAG_DATA);
      const uint8_t* b = MsRec_get_p_bytes(r);
      v.push_back({MsRec_get_adr(r), std::vector<uint8_t>(b, b + MsRec_get_n_bytes(r))});
    }
    return v;
  }
};

/* n bytes counting up from first. */
std::vector<uint8_t> run(uint8_t first, size_t n) {
  std::vector<uint8_t> v(n);
  for (size_t i = 0; i < n; i++) v[i] = (uint8_t)(first + i);
  return v;
}

TEST(MsrPart, GapSeparatesPartitions) {
  RecSet src, dst;
  src.add(0x1000, run(0, 16));
  src.add(0x1010, run(16, 16));
  src.add(0x1030, run(100, 8));
  LogCapture log;
  ASSERT_EQ(MsrPart_create_coherent_partitions(dst.p, src.p), 1);
  EXPECT_EQ(dst.recs(), (std::vector<Rec>{{0x1000, run(0, 32)}, {0x1030, run(100, 8)}}));
  EXPECT_EQ(log.text(), "totally 40 bytes to be transferred\n");
  EXPECT_EQ(Us_get_n_elem(src.p), 3);  // the source stays as it was
}

TEST(MsrPart, DescendingRecordsJoinInAddressOrder) {
  RecSet src, dst;
  src.add(0x1020, run(32, 16));
  src.add(0x1010, run(16, 16));
  src.add(0x1000, run(0, 16));
  ASSERT_EQ(MsrPart_create_coherent_partitions(dst.p, src.p), 1);
  EXPECT_EQ(dst.recs(), (std::vector<Rec>{{0x1000, run(0, 48)}}));
}

TEST(MsrPart, EachRecordJoinsOnlyItsFirstLaterNeighbour) {
  // Q, P, R: Q joins P (its first later neighbour), P then finds Q already joined and R
  // not adjacent to P itself, so R stays alone although it follows Q.
  RecSet src, dst;
  src.add(0x1010, run(16, 16));
  src.add(0x1000, run(0, 16));
  src.add(0x1020, run(32, 16));
  ASSERT_EQ(MsrPart_create_coherent_partitions(dst.p, src.p), 1);
  EXPECT_EQ(dst.recs(), (std::vector<Rec>{{0x1000, run(0, 32)}, {0x1020, run(32, 16)}}));
}

TEST(MsrPart, OnlyDataRecordsCountAndDstKeepsWhatItHeld) {
  RecSet src, dst;
  dst.add(0x9000, run(7, 3));
  src.add(0x2000, {}, MSREC_TAG_START);
  LogCapture log;
  ASSERT_EQ(MsrPart_create_coherent_partitions(dst.p, src.p), 1);
  EXPECT_EQ(log.text(), "totally 0 bytes to be transferred\n");
  EXPECT_EQ(dst.recs(), (std::vector<Rec>{{0x9000, run(7, 3)}}));

  src.add(0x0FFC, run(1, 4));  // ends where the end record's address lies: no matter
  ASSERT_EQ(MsrPart_create_coherent_partitions(dst.p, src.p), 1);
  EXPECT_EQ(dst.recs(), (std::vector<Rec>{{0x9000, run(7, 3)}, {0x0FFC, run(1, 4)}}));
}

TEST(MsrPart, TwoRecordsAtOneAddressFailTheChain) {
  RecSet src, dst;
  src.add(0x1010, run(16, 16));
  src.add(0x1000, run(0, 16));
  src.add(0x1010, run(16, 16));
  LogCapture log;
  EXPECT_EQ(MsrPart_create_coherent_partitions(dst.p, src.p), 0);
  EXPECT_EQ(log.text(),
            "error - src/image/msr_part.cpp - collect_byte_data_of_root: root(adr=00001000 "
            "len=48) i_bytes=32"
            "error - src/image/msr_part.cpp - build_records_from_roots: "
            "collect_byte_data_of_root failed"
            "error - src/image/msr_part.cpp - MsrPart_create_coherent_partitions: ! "
            "build_records_from_roots (p_dst, p_node_set)");
  EXPECT_EQ(Us_get_n_elem(dst.p), 0);
}

TEST(MsrPart, NullSetsAreRefused) {
  RecSet set;
  LogCapture log;
  EXPECT_EQ(MsrPart_create_coherent_partitions(NULL, set.p), 0);
  EXPECT_EQ(MsrPart_create_coherent_partitions(set.p, NULL), 0);
  EXPECT_EQ(log.text(),
            "error - src/image/msr_part.cpp - MsrPart_create_coherent_partitions: p_dst == NULL"
            "error - src/image/msr_part.cpp - MsrPart_create_coherent_partitions: p_src == NULL");
}

/* Fails the k-th allocation (0-based) of one call; the call's result. */
int create_with_failure(int k, RecSet& dst, const RecSet& src) {
  AllocSeam_fail_mask(k < 0 ? 0u : 1u << k);
  int rc = MsrPart_create_coherent_partitions(dst.p, src.p);
  AllocSeam_fail_mask(0);
  return rc;
}

TEST(MsrPart, AnyFailedAllocationFailsTheCall) {
  RecSet src;
  src.add(0x1000, run(0, 16));
  src.add(0x2000, run(0, 16));
  src.add(0x1010, run(16, 16));
  int n_alloc;
  {
    RecSet dst;
    AllocSeam_fail_mask(0);
    ASSERT_EQ(MsrPart_create_coherent_partitions(dst.p, src.p), 1);
    n_alloc = AllocSeam_get_n_calls();
  }
  ASSERT_LE(n_alloc, 32);
  for (int k = 0; k < n_alloc; k++) {
    SCOPED_TRACE("allocation " + std::to_string(k));
    RecSet dst;
    LogCapture log;
    EXPECT_EQ(create_with_failure(k, dst, src), 0);
    EXPECT_NE(log.text().find("error - "), std::string::npos);
    EXPECT_EQ(log.text().find("totally"), std::string::npos);
    // Whatever landed before the failure is whole.
    for (const Rec& r : dst.recs()) EXPECT_EQ(r.bytes.size(), r.adr == 0x1000 ? 32u : 16u);
  }
}

TEST(MsrPart, MissingTemporaryRecordFailsRatherThanDroppingThePartition) {
  RecSet src;
  src.add(0x1000, run(0, 4));
  src.add(0x2000, run(9, 4));
  // Fail each allocation in turn until it is the second partition's temporary record.
  LogCapture log;
  bool seen = false;
  for (int k = 0; k < 32 && !seen; k++) {
    RecSet d;
    log.clear();
    if (create_with_failure(k, d, src) == 0 &&
        log.text().find("build_records_from_roots: MsRec_alloc_val failed (adr=00002000") !=
            std::string::npos) {
      seen = true;
      EXPECT_EQ(d.recs(), (std::vector<Rec>{{0x1000, run(0, 4)}}));
    }
  }
  EXPECT_TRUE(seen);
}

/* ---- against the plain pairwise scan ------------------------------------------------- */

/* The joining rule written out directly: every node i scans j = i+1, ... */
struct Plain {
  std::vector<int> parent, next;
  std::vector<int64_t> len;
  const std::vector<Rec>& in;
  explicit Plain(const std::vector<Rec>& recs)
      : parent(recs.size(), -1), next(recs.size(), -1), len(recs.size()), in(recs) {
    for (size_t i = 0; i < recs.size(); i++) len[i] = (int64_t)recs[i].bytes.size();
  }
  int root(int x) {
    while (parent[x] >= 0) x = parent[x];
    return x;
  }
  bool adj(int a, int b) {
    return (uint32_t)(in[a].adr + in[a].bytes.size()) == in[b].adr;
  }
  void link(int a, int b) {
    int ra = root(a), rb = root(b);
    next[a] = b;
    parent[rb] = ra;
    len[ra] += len[rb];
  }
  /* The partitions in root order, and whether every chain covered its root's length. */
  bool build(std::vector<Rec>* p_out) {
    int n = (int)in.size();
    for (int i = 0; i < n; i++) {
      int r = root(i);
      for (int j = i + 1; j < n; j++) {
        if (root(j) == r) continue;
        if (adj(i, j)) { link(i, j); break; }
        if (adj(j, i)) { link(j, i); break; }
      }
    }
    for (int i = 0; i < n; i++) {
      if (parent[i] >= 0) continue;
      Rec r{in[i].adr, {}};
      for (int x = i; x >= 0 && (int64_t)r.bytes.size() < len[i]; x = next[x])
        r.bytes.insert(r.bytes.end(), in[x].bytes.begin(), in[x].bytes.end());
      if ((int64_t)r.bytes.size() != len[i]) return false;
      p_out->push_back(r);
    }
    return true;
  }
};

TEST(MsrPart, JoinsExactlyAsThePlainPairwiseScan) {
  std::mt19937 rng(42);
  int n_failed = 0, n_joined = 0;
  for (int round = 0; round < 420; round++) {
    // Records cut from a few address runs, some dropped, some doubled, some empty, shuffled;
    // the last rounds are long runs, mostly in order, for the look-up's longer strides.
    bool is_long = round >= 400;
    std::vector<Rec> recs;
    int n_runs = is_long ? 30 : 1 + (int)(rng() % 3);
    for (int k = 0; k < n_runs; k++) {
      uint32_t adr = (uint32_t)(rng() % 4) * 0x100 + (k == 2 ? 0xFFFFFFC0u : 0) +
                     (is_long ? (uint32_t)k * 0x10000 : 0);
      int n_recs = is_long ? 1 + (int)(rng() % 60) : 1 + (int)(rng() % 8);
      for (int i = 0; i < n_recs; i++) {
        size_t n = rng() % 5 == 0 ? 0 : 1 + rng() % 24;
        Rec r{adr, run((uint8_t)rng(), n)};
        if (rng() % 7 != 0) recs.push_back(r);
        if (rng() % 11 == 0) recs.push_back(r);
        adr += (uint32_t)n;
      }
    }
    if (!is_long) {
      std::shuffle(recs.begin(), recs.end(), rng);
    } else {
      for (size_t i = 0; i < recs.size() / 20; i++)
        std::swap(recs[rng() % recs.size()], recs[rng() % recs.size()]);
    }

    RecSet src, dst;
    for (const Rec& r : recs) src.add(r.adr, r.bytes);
    std::vector<Rec> want;
    bool ok = Plain(recs).build(&want);
    LogCapture log;
    ASSERT_EQ(MsrPart_create_coherent_partitions(dst.p, src.p), ok ? 1 : 0) << "round " << round;
    ASSERT_EQ(dst.recs(), want) << "round " << round;
    n_failed += !ok;
    n_joined += ok && want.size() < recs.size();
  }
  EXPECT_GT(n_failed, 10);  // the mix reaches both outcomes
  EXPECT_GT(n_joined, 100);
}

}  // namespace
