// The S-record reader: files written by srec_cat read into exactly the bytes that went in;
// the token rules, the order of the checks and the lines they write.
#include "log_capture.h"
#include "ms_rec.h"
#include "ms_rec_in.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <future>
#include <fstream>
#include <map>
#include <random>
#include <string>
#include <vector>

#include <unistd.h>

namespace fs = std::filesystem;

namespace {

/* A fresh folder for the running test below the build folder. */
fs::path test_dir() {
  const auto* info = testing::UnitTest::GetInstance()->current_test_info();
  fs::path d = fs::path(ZENT_BINARY_DIR) / "tmp" / "srec_reader" /
               (std::string(info->test_suite_name()) + "_" + info->name());
  fs::remove_all(d);
  fs::create_directories(d);
  return d;
}

std::string write_file(const fs::path& p, const std::string& text) {
  std::ofstream(p, std::ios::binary) << text;
  return p.string();
}

struct RecSet {
  MsRecSet* p = MsRecSet_alloc();
  ~RecSet() { Us_free(p); }
  int n() const { return Us_get_n_elem(p); }
  MsRec* at(int i) const { return MsRecSet_idx_to_ptr(p, i); }
};

/* Loads a file made of the text; the result of MsRecIn_load_file. */
int load_text(const std::string& text, RecSet& set) {
  return MsRecIn_load_file(set.p, write_file(test_dir() / "in.srec", text).c_str());
}

std::vector<uint8_t> bytes_of(const MsRec* p) {
  const uint8_t* b = MsRec_get_p_bytes(p);
  return std::vector<uint8_t>(b, b + MsRec_get_n_bytes(p));
}

/* ---- srec_cat as the reference writer ------------------------------------------------ */

/* A memory layout of a few regions with gaps, and the binary files srec_cat reads it from. */
struct Region {
  uint32_t adr;
  std::vector<uint8_t> bytes;
};

std::vector<Region> make_regions(uint32_t base, uint32_t seed) {
  std::mt19937 rng(seed);
  std::vector<Region> v;
  uint32_t adr = base;
  for (uint32_t n : {1000u, 1u, 333u, 4096u, 17u}) {
    Region r{adr, std::vector<uint8_t>(n)};
    for (auto& b : r.bytes) b = (uint8_t)rng();
    v.push_back(r);
    adr += n + 16 + (rng() % 200);
  }
  return v;
}

std::string srec_cat_inputs(const fs::path& dir, const std::vector<Region>& regions) {
  std::string args;
  for (size_t i = 0; i < regions.size(); i++) {
    fs::path bin = dir / ("part" + std::to_string(i) + ".bin");
    std::ofstream(bin, std::ios::binary)
        .write((const char*)regions[i].bytes.data(), (std::streamsize)regions[i].bytes.size());
    args += " " + bin.string() + " -binary -offset " + std::to_string(regions[i].adr);
  }
  return args;
}

/* Byte image of data records; fails the test on an overlap. */
std::map<uint32_t, uint8_t> image_of(const RecSet& set) {
  std::map<uint32_t, uint8_t> img;
  for (int i = 0; i < set.n(); i++) {
    if (MsRec_get_tag(set.at(i)) != MSREC_TAG_DATA) continue;
    std::vector<uint8_t> b = bytes_of(set.at(i));
    for (uint32_t k = 0; k < b.size(); k++) {
      EXPECT_TRUE(img.emplace(MsRec_get_adr(set.at(i)) + k, b[k]).second);
    }
  }
  return img;
}

std::map<uint32_t, uint8_t> image_of(const std::vector<Region>& regions) {
  std::map<uint32_t, uint8_t> img;
  for (const auto& r : regions)
    for (uint32_t k = 0; k < r.bytes.size(); k++) img[r.adr + k] = r.bytes[k];
  return img;
}

struct CatCase {
  int adr_len;          // srec_cat -address-length: 2 (S1), 3 (S2), 4 (S3)
  int line_len;         // srec_cat -line-length
  const char* options;  // header, record count, line ends
};

TEST(SrecReader, ReadsWhatSrecCatWroteExactly) {
  const CatCase cases[] = {
      {2, 46, ""},
      {2, 514, " -disable=header -crlf"},
      {3, 20, " -enable=data-count"},
      {3, 80, " -disable=data-count -crlf"},
      {4, 78, ""},
      {4, 200, " -disable=header -disable=data-count"},
      {4, 30, " -crlf -enable=data-count"},
  };
  fs::path dir = test_dir();
  int n_case = 0;
  for (const CatCase& c : cases) {
    SCOPED_TRACE("address length " + std::to_string(c.adr_len) + ", line length " +
                 std::to_string(c.line_len) + c.options);
    uint32_t base = c.adr_len == 2 ? 0x0100 : c.adr_len == 3 ? 0x0A0000 : 0x80400000;
    std::vector<Region> regions = make_regions(base, 1234 + n_case);
    fs::path out = dir / ("case" + std::to_string(n_case++) + ".srec");
    std::string cmd = "srec_cat" + srec_cat_inputs(dir, regions) +
                      " -execution-start-address " + std::to_string(base + 4) + " -o " +
                      out.string() + " -motorola -address-length=" +
                      std::to_string(c.adr_len) + " -line-length=" +
                      std::to_string(c.line_len) + c.options;
    ASSERT_EQ(std::system(cmd.c_str()), 0) << cmd;

    RecSet set;
    LogCapture log;
    ASSERT_EQ(MsRecIn_load_file(set.p, out.string().c_str()), 1) << log.text();
    EXPECT_EQ(log.text(), "");
    ASSERT_GE(set.n(), 2);
    EXPECT_EQ(image_of(set), image_of(regions));
    const MsRec* p_end = set.at(set.n() - 1);
    EXPECT_EQ(MsRec_get_tag(p_end), (uint32_t)MSREC_TAG_START);
    EXPECT_EQ(MsRec_get_adr(p_end), base + 4);
    EXPECT_EQ(MsRec_get_n_bytes(p_end), 0u);
  }
}

/* ---- records and tokens -------------------------------------------------------------- */

TEST(SrecReader, ChecksumOfTheTextbookRecord) {
  RecSet set;
  ASSERT_EQ(load_text("S10510000102E7\nS9030000FC\n", set), 1);
  ASSERT_EQ(set.n(), 2);
  EXPECT_EQ(MsRec_get_tag(set.at(0)), (uint32_t)MSREC_TAG_DATA);
  EXPECT_EQ(MsRec_get_adr(set.at(0)), 0x1000u);
  EXPECT_EQ(bytes_of(set.at(0)), (std::vector<uint8_t>{0x01, 0x02}));

  LogCapture log;
  RecSet bad;
  EXPECT_EQ(load_text("S10510000102E8\nS9030000FC\n", bad), 0);
  EXPECT_EQ(log.text(),
            "error - src/image/ms_rec_in.cpp - string_to_bin_vector: bcc_nom != bcc_eff"
            "string=<S10510000102E8>\n"
            "error - src/image/ms_rec_in.cpp - MsRecIn_load_file: unexpected data detected, "
            "error_code=-3");
  EXPECT_EQ(bad.n(), 0);
}

TEST(SrecReader, TokensAreSplitByAnySeparatorRunNotByLines) {
  // Two records on one line, tabs and blanks around, lower-case digits, S0/S5 skipped,
  // types mixed, an S8 ending a file of S1 and S3 records, and nothing read behind it.
  RecSet ok;
  ASSERT_EQ(load_text(" \t\r\nS00600004B564216 S10510000102e7\t\tS5030001FB\r\n"
                      "S30900200000AABBCCDDC8  S8041234565F then anything \xFF at all",
                      ok),
            1);
  ASSERT_EQ(ok.n(), 3);
  EXPECT_EQ(MsRec_get_adr(ok.at(1)), 0x00200000u);
  EXPECT_EQ(bytes_of(ok.at(1)), (std::vector<uint8_t>{0xAA, 0xBB, 0xCC, 0xDD}));
  EXPECT_EQ(MsRec_get_tag(ok.at(2)), (uint32_t)MSREC_TAG_START);
  EXPECT_EQ(MsRec_get_adr(ok.at(2)), 0x123456u);
}

TEST(SrecReader, ByteFFEndsTheFileEvenInsideAToken) {
  LogCapture log;
  RecSet set;
  // The end record is cut to "S9030" by the 0xFF: odd length.
  EXPECT_EQ(load_text("S10510000102E7\nS9030\xFF" "000FC\n", set), 0);
  EXPECT_EQ(log.text(),
            "error - src/image/ms_rec_in.cpp - string_to_bin_vector: (l_str & 0x01)"
            "error - src/image/ms_rec_in.cpp - MsRecIn_load_file: unexpected data detected, "
            "error_code=-2");
  EXPECT_EQ(set.n(), 1);  // what was appended before the failure stays

  log.clear();
  RecSet cut;
  EXPECT_EQ(load_text("S10510000102E7\n\xFFS9030000FC\n", cut), 0);
  EXPECT_EQ(log.text(),
            "error - src/image/ms_rec_in.cpp - MsRecIn_load_file: fread_line returned an error");

  // A whole record cut off by the 0xFF is read, but what follows it is not.
  log.clear();
  RecSet whole;
  EXPECT_EQ(load_text("S10510000102E7\xFFS9030000FC\n", whole), 0);
  EXPECT_EQ(log.text(),
            "error - src/image/ms_rec_in.cpp - MsRecIn_load_file: fread_line returned an error");
  EXPECT_EQ(whole.n(), 1);
  RecSet end;
  EXPECT_EQ(load_text("S10510000102E7\nS9030000FC\xFFno record", end), 1);
  EXPECT_EQ(end.n(), 2);
}

TEST(SrecReader, FilesWithoutEndRecordFail) {
  const char* texts[] = {"", " \r\n\t ", "S00600004B564216\r\n"};
  for (const char* t : texts) {
    LogCapture log;
    RecSet set;
    EXPECT_EQ(load_text(t, set), 0) << t;
    EXPECT_EQ(log.text(),
              "error - src/image/ms_rec_in.cpp - MsRecIn_load_file: fread_line returned an "
              "error");
  }
  LogCapture log;
  RecSet set;
  EXPECT_EQ(MsRecIn_load_file(set.p, (test_dir() / "missing.srec").c_str()), 0);
  EXPECT_NE(log.text().find("MsRecIn_load_file: cannot open file <"), std::string::npos);
  EXPECT_NE(log.text().find("missing.srec> for reading"), std::string::npos);
}

TEST(SrecReader, ChecksRunInTheirOrderWithTheirLines) {
  struct Case {
    const char* token;
    const char* line;
    int code;
  };
  const Case cases[] = {
      {"S1051", "string_to_bin_vector: (l_str & 0x01)", -2},
      {"S103", "string_to_bin_vector: (l_str < 6)", -2},
      {"X10510000102E7", "string_to_bin_vector: (p_str [0] != 'S')", -2},
      {"s10510000102E7", "string_to_bin_vector: (p_str [0] != 'S')", -2},
      {"S40510000102E7", "unexpected tag S4\n", -2},
      {"S60510000102E7", "unexpected tag S6\n", -2},
      {"SX0510000102E7", "unexpected tag SX\n", -2},
      {"S1G510000102E7", "string_to_bin_vector: hi_nibble < 0", -2},
      {"S10G10000102E7", "string_to_bin_vector: lo_nibble < 0", -2},
      {"S10610000102E7", "string_to_bin_vector: n_vector != (p_vector [1] + 2)", -2},
      // A bad digit is found before a wrong count or checksum would be.
      {"S106100001Z2E7", "string_to_bin_vector: hi_nibble < 0", -2},
  };
  for (const Case& c : cases) {
    LogCapture log;
    RecSet set;
    EXPECT_EQ(load_text(std::string(c.token) + "\nS9030000FC\n", set), 0) << c.token;
    std::string want_first = c.line[0] == 'u' ? std::string(c.line)
                                              : "error - src/image/ms_rec_in.cpp - " +
                                                    std::string(c.line);
    std::string want = want_first +
                       "error - src/image/ms_rec_in.cpp - MsRecIn_load_file: unexpected data "
                       "detected, error_code=" + std::to_string(c.code);
    EXPECT_EQ(log.text(), want) << c.token;
  }
}

TEST(SrecReader, TokenTooLongForTheBuffer) {
  LogCapture log;
  RecSet set;
  EXPECT_EQ(load_text("S1" + std::string(1022, '0') + "\nS9030000FC\n", set), 0);
  EXPECT_EQ(log.text(),
            "error - src/image/ms_rec_in.cpp - fread_line: file contains line, which is too "
            "long !"
            "error - src/image/ms_rec_in.cpp - MsRecIn_load_file: fread_line returned an error");
  log.clear();
  // 1023 characters fit the buffer and fail on their odd length instead.
  EXPECT_EQ(load_text("S1" + std::string(1021, '0') + "\nS9030000FC\n", set), 0);
  EXPECT_NE(log.text().find("(l_str & 0x01)"), std::string::npos);
}

TEST(SrecReader, CountAgainstAddressWidth) {
  RecSet set;
  // Count 3 with two address bytes: a record of no bytes.
  ASSERT_EQ(load_text("S1031234B6\nS9030000FC\n", set), 1);
  EXPECT_EQ(MsRec_get_adr(set.at(0)), 0x1234u);
  EXPECT_EQ(MsRec_get_n_bytes(set.at(0)), 0u);

  // Count 2 leaves no room for the checksum: refused, no record.
  LogCapture log;
  RecSet small;
  EXPECT_EQ(load_text("S10212EB\nS9030000FC\n", small), 0);
  EXPECT_EQ(log.text(),
            "error - src/image/ms_rec_in.cpp - MsRecIn_load_file: MsRecSet_postfix_val failed");
  EXPECT_EQ(small.n(), 0);
}

TEST(SrecReader, EndRecordTooShortForItsAddressIsRefused) {
  const char* texts[] = {"S90212EB", "S8031234B6", "S7041234565F"};
  for (const char* t : texts) {
    LogCapture log;
    RecSet set;
    EXPECT_EQ(load_text(std::string("S10510000102E7\n") + t + "\n", set), 0) << t;
    EXPECT_NE(log.text().find("too short for its address"), std::string::npos) << log.text();
    EXPECT_EQ(set.n(), 1);  // the data record stays; no end record with a made-up address
  }
}

TEST(SrecReader, AppendsBehindWhatTheSetHolds) {
  RecSet set;
  ASSERT_GE(MsRecSet_postfix_val(set.p, 77, 5, 0, NULL), 0);
  ASSERT_EQ(load_text("S10510000102E7\nS9031000EC\n", set), 1);
  ASSERT_EQ(set.n(), 3);
  EXPECT_EQ(MsRec_get_tag(set.at(0)), 77u);
  EXPECT_EQ(MsRec_get_adr(set.at(1)), 0x1000u);
  EXPECT_EQ(MsRec_get_adr(set.at(2)), 0x1000u);
  EXPECT_EQ(MsRec_get_tag(set.at(2)), (uint32_t)MSREC_TAG_START);
}

/* Nothing behind the end record is asked for: a pipe whose writer stays open after the S9
** line is not waited on (a reader that fetched ahead in blocks would wait for more). */
TEST(SrecReader, PipeThatStaysOpenAfterTheEndRecordIsNotWaitedOn) {
  int fds[2];
  ASSERT_EQ(pipe(fds), 0);
  const std::string text = "S10510000102E7\nS9031000EC\n";
  ASSERT_EQ(write(fds[1], text.data(), text.size()), (ssize_t)text.size());
  std::string path = "/dev/fd/" + std::to_string(fds[0]);
  RecSet set;
  auto load = std::async(std::launch::async, [&] { return MsRecIn_load_file(set.p, path.c_str()); });
  bool is_done = load.wait_for(std::chrono::seconds(10)) == std::future_status::ready;
  close(fds[1]);  // lets a reader that is still waiting finish
  EXPECT_TRUE(is_done);
  EXPECT_EQ(load.get(), 1);
  close(fds[0]);
  ASSERT_EQ(set.n(), 2);
  EXPECT_EQ(MsRec_get_tag(set.at(1)), (uint32_t)MSREC_TAG_START);
}

}  // namespace
