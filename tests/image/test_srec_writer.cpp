// The S-record writer: the exact text of small files, long records split into lines, and
// files that srec_info accepts and srec_cmp finds equal to the bytes they came from.
#include "log_capture.h"
#include "ms_rec.h"
#include "ms_rec_in.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>
#include <string>
#include <vector>

namespace fs = std::filesystem;

namespace {

fs::path test_dir() {
  const auto* info = testing::UnitTest::GetInstance()->current_test_info();
  fs::path d = fs::path(ZENT_BINARY_DIR) / "tmp" / "srec_writer" /
               (std::string(info->test_suite_name()) + "_" + info->name());
  fs::remove_all(d);
  fs::create_directories(d);
  return d;
}

std::string read_file(const fs::path& p) {
  std::ifstream in(p, std::ios::binary);
  std::stringstream ss;
  ss << in.rdbuf();
  return ss.str();
}

struct RecSet {
  MsRecSet* p = MsRecSet_alloc();
  ~RecSet() { Us_free(p); }
  void add(uint32_t adr, const std::vector<uint8_t>& bytes, uint32_t tag = MSREC_TAG_DATA) {
    ASSERT_GE(MsRecSet_postfix_val(p, tag, adr, (uint32_t)bytes.size(), bytes.data()), 0);
  }
  int n() const { return Us_get_n_elem(p); }
  MsRec* at(int i) const { return MsRecSet_idx_to_ptr(p, i); }
};

std::vector<uint8_t> random_bytes(size_t n, uint32_t seed) {
  std::mt19937 rng(seed);
  std::vector<uint8_t> v(n);
  for (auto& b : v) b = (uint8_t)rng();
  return v;
}

const char* const kHeader = "S00600004B564216\r\n";

TEST(SrecWriter, SmallFilesByteForByte) {
  fs::path dir = test_dir();
  RecSet set;
  set.add(0x1000, {0x01, 0x02});
  set.add(0x12345, {});  // higher address bits are dropped in the 16-bit width
  set.add(0x2000, {}, MSREC_TAG_START);
  std::string f = (dir / "w1.srec").string();
  ASSERT_EQ(MsRecIn_save_file(set.p, 1, f.c_str()), 1);
  EXPECT_EQ(read_file(f), std::string(kHeader) +
                              "S10510000102E7\r\n"
                              "S103234594\r\n"
                              "S1032000DC\r\n"
                              "S9030000FC\r\n");

  RecSet empty;
  ASSERT_EQ(MsRecIn_save_file(empty.p, 2, f.c_str()), 1);  // replaces the file
  EXPECT_EQ(read_file(f), std::string(kHeader) + "S804000000FB\r\n");
  ASSERT_EQ(MsRecIn_save_file(empty.p, 3, f.c_str()), 1);
  EXPECT_EQ(read_file(f), std::string(kHeader) + "S70500000000FA\r\n");
}

TEST(SrecWriter, LongRecordIsSplitIntoFullLines) {
  const int n_max[] = {252, 251, 250};
  for (int tag_value = 1; tag_value <= 3; tag_value++) {
    SCOPED_TRACE("tag_value " + std::to_string(tag_value));
    int m = n_max[tag_value - 1];
    std::vector<uint8_t> bytes = random_bytes((size_t)(2 * m + 7), (uint32_t)tag_value);
    RecSet set, back;
    set.add(0x4000, bytes);
    std::string f = (test_dir() / "long.srec").string();
    ASSERT_EQ(MsRecIn_save_file(set.p, tag_value, f.c_str()), 1);
    ASSERT_EQ(MsRecIn_load_file(back.p, f.c_str()), 1);
    ASSERT_EQ(back.n(), 4);  // m, m and 7 bytes, then the end record
    const uint32_t want_n[] = {(uint32_t)m, (uint32_t)m, 7};
    for (int i = 0; i < 3; i++) {
      EXPECT_EQ(MsRec_get_adr(back.at(i)), 0x4000u + (uint32_t)(i * m));
      ASSERT_EQ(MsRec_get_n_bytes(back.at(i)), want_n[i]);
      EXPECT_EQ(memcmp(MsRec_get_p_bytes(back.at(i)), bytes.data() + i * m, want_n[i]), 0);
    }
    // The longest line holds count FF.
    std::string text = read_file(f);
    EXPECT_EQ(text.substr(strlen(kHeader), 4), "S" + std::to_string(tag_value) + "FF");
  }
}

TEST(SrecWriter, TagValueOutsideOneToThreeWritesNothing) {
  fs::path dir = test_dir();
  RecSet set;
  set.add(0x1000, {1});
  for (int tag_value : {0, 4, -1}) {
    LogCapture log;
    fs::path f = dir / ("bad" + std::to_string(tag_value) + ".srec");
    EXPECT_EQ(MsRecIn_save_file(set.p, tag_value, f.c_str()), 0);
    EXPECT_EQ(log.text(), "error - src/image/ms_rec_in.cpp - MsRecIn_save_file: "
                          "unexpected tag_value=" + std::to_string(tag_value));
    EXPECT_FALSE(fs::exists(f));
  }
}

TEST(SrecWriter, FailuresAreReported) {
  RecSet set;
  set.add(0x1000, random_bytes(4000, 1));
  LogCapture log;
  EXPECT_EQ(MsRecIn_save_file(NULL, 1, "x.srec"), 0);
  EXPECT_EQ(MsRecIn_save_file(set.p, 1, NULL), 0);
  EXPECT_EQ(log.text(), "");
  std::string missing = (test_dir() / "no" / "such" / "dir.srec").string();
  EXPECT_EQ(MsRecIn_save_file(set.p, 1, missing.c_str()), 0);
  EXPECT_EQ(log.text(), "error - src/image/ms_rec_in.cpp - MsRecIn_save_file: cannot open file " +
                            missing);
  log.clear();
  // A device that takes no byte: the write fails and is not reported as success.
  EXPECT_EQ(MsRecIn_save_file(set.p, 1, "/dev/full"), 0);
  EXPECT_EQ(log.text(),
            "error - src/image/ms_rec_in.cpp - MsRecIn_save_file: writing file /dev/full failed\n");
}

/* ---- srec_info and srec_cmp as the outside judges ------------------------------------ */

int sh(const std::string& cmd) { return std::system((cmd + " >/dev/null 2>&1").c_str()); }

TEST(SrecWriter, SrecInfoAcceptsAndSrecCmpAgreesForEveryWidth) {
  fs::path dir = test_dir();
  struct Piece {
    uint32_t adr;
    size_t n;
  };
  const Piece pieces[] = {{0x0100, 1}, {0x0200, 252}, {0x0400, 253}, {0x1000, 3000},
                          {0xF000, 17}};
  for (int tag_value = 1; tag_value <= 3; tag_value++) {
    SCOPED_TRACE("tag_value " + std::to_string(tag_value));
    uint32_t base = tag_value == 1 ? 0 : tag_value == 2 ? 0xAB0000 : 0xC0000000;
    RecSet set;
    std::string cat_inputs;
    int k = 0;
    for (const Piece& pc : pieces) {
      std::vector<uint8_t> bytes = random_bytes(pc.n, (uint32_t)(k + 10 * tag_value));
      set.add(base + pc.adr, bytes);
      fs::path bin = dir / ("piece" + std::to_string(k++) + ".bin");
      std::ofstream(bin, std::ios::binary).write((const char*)bytes.data(), (long)bytes.size());
      cat_inputs += " " + bin.string() + " -binary -offset " + std::to_string(base + pc.adr);
    }
    fs::path ours = dir / ("ours" + std::to_string(tag_value) + ".srec");
    fs::path ref = dir / ("ref" + std::to_string(tag_value) + ".srec");
    ASSERT_EQ(MsRecIn_save_file(set.p, tag_value, ours.c_str()), 1);
    ASSERT_EQ(sh("srec_cat" + cat_inputs + " -o " + ref.string() + " -motorola"), 0);
    EXPECT_EQ(sh("srec_info " + ours.string()), 0);
    EXPECT_EQ(sh("srec_cmp " + ours.string() + " -motorola " + ref.string() + " -motorola"), 0);
  }
  // The judge can say no: one byte changed.
  RecSet set;
  set.add(0x100, {1, 2, 3});
  fs::path a = dir / "a.srec", b = dir / "b.srec";
  ASSERT_EQ(MsRecIn_save_file(set.p, 1, a.c_str()), 1);
  RecSet other;
  other.add(0x100, {1, 2, 4});
  ASSERT_EQ(MsRecIn_save_file(other.p, 1, b.c_str()), 1);
  EXPECT_NE(sh("srec_cmp " + a.string() + " " + b.string()), 0);
}

TEST(SrecWriter, WhatIsReadIsWrittenBackAsTheSameRecords) {
  fs::path dir = test_dir();
  std::string in = (dir / "in.srec").string();
  std::ofstream(in, std::ios::binary) << "S00600004B564216\nS10510000102E7\nS10410107A61\n"
                                         "S9032000DC\n";
  RecSet first, second;
  ASSERT_EQ(MsRecIn_load_file(first.p, in.c_str()), 1);
  std::string out = (dir / "out.srec").string();
  ASSERT_EQ(MsRecIn_save_file(first.p, 1, out.c_str()), 1);
  EXPECT_EQ(read_file(out), std::string(kHeader) +
                                "S10510000102E7\r\nS10410107A61\r\nS1032000DC\r\nS9030000FC\r\n");
  ASSERT_EQ(MsRecIn_load_file(second.p, out.c_str()), 1);
  ASSERT_EQ(second.n(), 4);  // the end record came back as a data record of no bytes
  EXPECT_EQ(MsRec_get_tag(second.at(2)), (uint32_t)MSREC_TAG_DATA);
  EXPECT_EQ(MsRec_get_adr(second.at(2)), 0x2000u);
  EXPECT_EQ(MsRec_get_tag(second.at(3)), (uint32_t)MSREC_TAG_START);
  EXPECT_EQ(MsRec_get_adr(second.at(3)), 0u);
}

}  // namespace
