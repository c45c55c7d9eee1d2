// The S-record download against the target unit simulator over an in-memory line on a
// virtual clock: partitions land in the unit's RAM in requests of at most 256 bytes, then
// the jump; failures stop the download where they happen.
#include "alloc_seam.h"
#include "link_pair.h"
#include "log_capture.h"
#include "ms_rec.h"
#include "msr_load.h"
#include "rmc.h"
#include "unit.h"
#include "win32_time.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <random>
#include <string>
#include <vector>

namespace fs = std::filesystem;

namespace {

/* The loader's RMC master on end 0 of the line, the unit on end 1, run by the line's
** partner thread. Time is the virtual Win32 clock, moved only by waits. */
class UnitRig {
public:
  UnitRig() {
    line_.end(0).yield_on_empty_rx = true;  // the master's polls let the unit run
    line_.init_link(&co_, 0, ib_, ob_, 1, 1);
    Rmc_init_as_master(&rmc, (int32_t)rmc_buf_.size(), rmc_buf_.data(), &co_);
    UnitConfig cfg;
    UnitConfig_init(&cfg);
    cfg.p_trace = this;
    cfg.cb_trace = [](void* p, const char* p_line) {
      auto* self = (UnitRig*)p;
      std::lock_guard<std::mutex> lock(self->trace_lock_);
      self->trace_.push_back(p_line);
    };
    cfg.p_clock = &line_;
    cfg.cb_now = [](void* p) { return ((LinkLine*)p)->now(); };
    cfg.cb_spend_ms = [](void* p, uint32_t t_ms) { ((LinkLine*)p)->advance(t_ms); };
    port_ = UnitPort{&line_.end(1), &LinkLine::cb_receive, &LinkLine::cb_send_byte,
                     &LinkLine::cb_send_with_dle,
                     [](void* p, uint32_t t_ms) {
                       auto* e = (LinkLine::End*)p;
                       e->line->idle(e->side, t_ms);
                       return 0;
                     }};
    unit_ = Unit_alloc(&cfg, &port_);
    line_.start_partner([this] {
      while (!line_.stopping()) Unit_poll(unit_);
    });
  }
  ~UnitRig() {
    line_.stop_partner();
    Unit_free(unit_);
  }

  /* The unit's write requests as (address, count), in order. */
  std::vector<std::pair<uint32_t, uint32_t>> writes() {
    std::lock_guard<std::mutex> lock(trace_lock_);
    std::vector<std::pair<uint32_t, uint32_t>> v;
    for (const std::string& t : trace_) {
      size_t i = t.find("0x13 write RAM adr=");
      unsigned adr, n;
      if (i != std::string::npos && sscanf(t.c_str() + i, "0x13 write RAM adr=0x%x n=%u", &adr, &n) == 2)
        v.push_back({adr, n});
    }
    return v;
  }
  int n_requests() { return Unit_get_stats(unit_).n_requests; }
  bool ram_holds(uint32_t adr, const std::vector<uint8_t>& bytes) {
    return UnitMem_ram_holds(Unit_get_mem(unit_), adr, (uint32_t)bytes.size(), bytes.data());
  }
  int state() { return Unit_get_state(unit_); }

  Rmc rmc;

private:
  Win32VirtualClock clock_{1000};
  LinkLine line_{0, true};
  Bytes ib_ = Bytes(384), ob_ = Bytes(384), rmc_buf_ = Bytes(384);
  Co3964 co_;
  UnitPort port_;
  Unit* unit_ = nullptr;
  std::mutex trace_lock_;
  std::vector<std::string> trace_;
};

fs::path test_dir() {
  fs::path d = fs::path(ZENT_BINARY_DIR) / "tmp" / "msr_load" /
               testing::UnitTest::GetInstance()->current_test_info()->name();
  fs::remove_all(d);
  fs::create_directories(d);
  return d;
}

struct Piece {
  uint32_t adr;
  std::vector<uint8_t> bytes;
};

std::vector<uint8_t> random_bytes(size_t n, uint32_t seed) {
  std::mt19937 rng(seed);
  std::vector<uint8_t> v(n);
  for (auto& b : v) b = (uint8_t)rng();
  return v;
}

/* An S3 file of the pieces written by srec_cat, 32 bytes a line; its path. */
std::string srec_file(const fs::path& dir, const std::vector<Piece>& pieces) {
  std::string cmd = "srec_cat";
  for (size_t i = 0; i < pieces.size(); i++) {
    fs::path bin = dir / ("p" + std::to_string(i) + ".bin");
    std::ofstream(bin, std::ios::binary)
        .write((const char*)pieces[i].bytes.data(), (std::streamsize)pieces[i].bytes.size());
    cmd += " " + bin.string() + " -binary -offset " + std::to_string(pieces[i].adr);
  }
  fs::path out = dir / "in.s3";
  cmd += " -execution-start-address 0x400000 -o " + out.string() +
         " -motorola -address-length=4 -line-length=78";
  EXPECT_EQ(std::system(cmd.c_str()), 0) << cmd;
  return out.string();
}

TEST(MsrLoad, PartitionsLandInRamInChunksThenTheJump) {
  UnitRig rig;
  std::vector<Piece> pieces = {{0x400000, random_bytes(600, 1)},
                               {0x410000, random_bytes(256, 2)},
                               {0x420000, random_bytes(1000, 3)}};
  std::string file = srec_file(test_dir(), pieces);
  LogCapture log;
  ASSERT_EQ(MsrLoad_send_file_and_jump(&rig.rmc, file.c_str(), 0x400000), 1) << log.text();
  for (const Piece& p : pieces) EXPECT_TRUE(rig.ram_holds(p.adr, p.bytes));
  std::vector<std::pair<uint32_t, uint32_t>> want = {
      {0x400000, 256}, {0x400100, 256}, {0x400200, 88},  // 600 bytes
      {0x410000, 256},                                   // exactly one chunk
      {0x420000, 256}, {0x420100, 256}, {0x420200, 256}, {0x420300, 232}};
  EXPECT_EQ(rig.writes(), want);
  EXPECT_EQ(rig.n_requests(), (int)want.size() + 1);  // and the jump
  EXPECT_EQ(rig.state(), UNIT_FLASH_LOADER);

  std::string t = log.text();
  const char* lines[] = {"loading data from file <", ">\r\n", "loaded ", " records\n",
                         "totally 1856 bytes to be transferred\n",
                         "sending partition to adr=00400000 n_bytes=600\n",
                         "sending partition to adr=00410000 n_bytes=256\n",
                         "sending partition to adr=00420000 n_bytes=1000\n",
                         "download was successful (t=",
                         "jump to adr 0x00400000 accepted\n"};
  size_t at = 0;
  for (const char* l : lines) {
    size_t i = t.find(l, at);
    ASSERT_NE(i, std::string::npos) << "missing or out of order: " << l << "\n" << t;
    at = i;
  }
  EXPECT_EQ(t.find("error"), std::string::npos) << t;
}

TEST(MsrLoad, EmptyPartitionIsStillOneRequest) {
  UnitRig rig;
  fs::path dir = test_dir();
  std::string file = (dir / "empty.s3").string();
  // One data record of no bytes at 0x400010 (count 5: address and checksum only).
  std::ofstream(file, std::ios::binary) << "S30500400010AA\nS70500400000BA\n";
  LogCapture log;
  ASSERT_EQ(MsrLoad_send_file_and_jump(&rig.rmc, file.c_str(), 0), 1) << log.text();
  EXPECT_NE(log.text().find("loaded 2 records\n"), std::string::npos) << log.text();  // end record counts
  EXPECT_EQ(rig.writes(), (std::vector<std::pair<uint32_t, uint32_t>>{{0x400010, 0}}));
  EXPECT_EQ(rig.n_requests(), 1);
}

TEST(MsrLoad, NoFileMeansOnlyTheJumpIfAny) {
  UnitRig rig;
  EXPECT_EQ(MsrLoad_send_file_and_jump(&rig.rmc, "", 0), 1);
  EXPECT_EQ(MsrLoad_send_file_and_jump(&rig.rmc, NULL, 0), 1);
  EXPECT_EQ(rig.n_requests(), 0);
  LogCapture log;
  // The unit refuses a jump before anything stands at 0x400000: exception 4.
  EXPECT_EQ(MsrLoad_send_file_and_jump(&rig.rmc, "", 0x400000), 0);
  EXPECT_EQ(rig.n_requests(), 1);
  EXPECT_NE(log.text().find("jump to adr 0x00400000 not accepted, result=4\n"),
            std::string::npos) << log.text();
}

TEST(MsrLoad, UnreadableFileSendsNothing) {
  UnitRig rig;
  LogCapture log;
  std::string missing = (test_dir() / "missing.s3").string();
  EXPECT_EQ(MsrLoad_send_file_and_jump(&rig.rmc, missing.c_str(), 0x400000), 0);
  EXPECT_EQ(rig.n_requests(), 0);
  EXPECT_NE(log.text().find("MsrLoad_send_file_and_jump: ! MsRecIn_load_file (p_rec_set_raw, "
                            "p_filename)"),
            std::string::npos) << log.text();
}

TEST(MsrLoad, RefusedWriteStopsTheDownloadBeforeTheJump) {
  UnitRig rig;
  // The second partition lies outside the unit's RAM: exception 2 on its first chunk.
  std::vector<Piece> pieces = {{0x400000, random_bytes(300, 4)},
                               {0x600000, random_bytes(300, 5)},
                               {0x700000, random_bytes(10, 6)}};
  std::string file = srec_file(test_dir(), pieces);
  LogCapture log;
  EXPECT_EQ(MsrLoad_send_file_and_jump(&rig.rmc, file.c_str(), 0x400000), 0);
  EXPECT_TRUE(rig.ram_holds(pieces[0].adr, pieces[0].bytes));  // what was written stays
  EXPECT_EQ(rig.writes(), (std::vector<std::pair<uint32_t, uint32_t>>{{0x400000, 256},
                                                                      {0x400100, 44}}));
  EXPECT_EQ(rig.n_requests(), 3);  // no third partition, no jump
  std::string t = log.text();
  // The two error lines, innermost first; neither ends in a line feed of its own.
  EXPECT_NE(t.find("error - src/loader/msr_load.cpp - send_partition: Rmc_do_write_xbram returned 2"
                   "error - src/loader/msr_load.cpp - MsrLoad_send_file_and_jump: send_partition failed"),
            std::string::npos) << t;
  EXPECT_EQ(t.find("jump to adr"), std::string::npos);
}

TEST(MsrLoad, JumpAnsweredWithExceptionFails) {
  UnitRig rig;
  std::string file = srec_file(test_dir(), {{0x400000, random_bytes(40, 7)}});
  LogCapture log;
  // The boot loader jumps only to 0x400000; elsewhere it answers exception 2.
  EXPECT_EQ(MsrLoad_send_file_and_jump(&rig.rmc, file.c_str(), 0x400020), 0);
  EXPECT_NE(log.text().find("jump to adr 0x00400020 not accepted, result=2\n"),
            std::string::npos) << log.text();
  EXPECT_EQ(rig.state(), UNIT_BOOT_LOADER);
}

/* The allocations that one MsRecSet_alloc takes, counted on an idle seam. */
int allocations_of_a_record_set() {
  AllocSeam_fail_mask(0);
  Us_free(MsRecSet_alloc());
  int n = AllocSeam_get_n_calls();
  AllocSeam_fail_mask(0);
  return n;
}

TEST(MsrLoad, RecordSetsThatCannotBeMadeFailWithoutSendingOrJumping) {
  UnitRig rig;
  std::string file = srec_file(test_dir(), {{0x400000, random_bytes(40, 8)}});
  int n_set = allocations_of_a_record_set();
  ASSERT_GE(n_set, 1);

  LogCapture log;
  AllocSeam_fail_mask(1u);  // the set the file is read into
  EXPECT_EQ(MsrLoad_send_file_and_jump(&rig.rmc, file.c_str(), 0x400000), 0);
  AllocSeam_fail_mask(0);
  EXPECT_NE(log.text().find("MsrLoad_send_file_and_jump: p_rec_set_raw == NULL"), std::string::npos)
      << log.text();
  EXPECT_EQ(log.text().find("loading data from file"), std::string::npos);

  log.clear();
  AllocSeam_fail_mask(1u << n_set);  // the set of coherent partitions
  EXPECT_EQ(MsrLoad_send_file_and_jump(&rig.rmc, file.c_str(), 0x400000), 0);
  AllocSeam_fail_mask(0);
  std::string t = log.text();
  size_t i_part = t.find("p_dst == NULL");
  size_t i_load = t.find("MsrLoad_send_file_and_jump: ! MsrPart_create_coherent_partitions "
                         "(p_rec_set_coh, p_rec_set_raw)");
  ASSERT_NE(i_part, std::string::npos) << t;
  ASSERT_NE(i_load, std::string::npos) << t;
  EXPECT_LT(i_part, i_load);
  EXPECT_EQ(rig.n_requests(), 0);  // nothing written, no jump
}

TEST(MsrLoad, NullMasterIsRefused) {
  LogCapture log;
  EXPECT_EQ(MsrLoad_send_file_and_jump(NULL, "x.s3", 0x400000), 0);
  EXPECT_EQ(log.text(),
            "error - src/loader/msr_load.cpp - MsrLoad_send_file_and_jump: p_rmc == NULL");
}

}  // namespace
