/*
** test_unit_recovery.cpp - the loader's link and RMC master against the unit simulator
** when the master's side falls behind: the sleep callback of the master's link runs long
** (as a nested message box of the dialog does) in the middle of a frame exchange, while the
** unit goes on by its own time-outs. Whatever the master then finds waiting on the line, a
** late answer may cost a retry but never the reply time-out. On the virtual clock; the
** unit runs on the partner thread of the in-memory line.
*/
#include "unit_rig.h"

#include "log_capture.h"

#include <algorithm>
#include <string>
#include <tuple>

namespace {

/* An RMC master on end 0 whose link's sleep callback can stall once, in a chosen state. */
class StallRig {
public:
  StallRig() : line_(0, true) {
    LinkLine::End* e = &line_.end(0);
    e->yield_on_empty_rx = true;
    Co3964_init(&co_, this, now, plus, sleep_ms, e, LinkLine::cb_receive, LinkLine::cb_send_byte,
                LinkLine::cb_send_with_dle, 384, ib_.data(), 384, ob_.data(), 1, 1);
    Rmc_init_as_master(&rmc_, 384, buf_.data(), &co_);
  }
  ~StallRig() {
    line_.stop_partner();
    Unit_free(unit_);
  }
  Unit* start(UnitConfig cfg) { return unit_ = start_unit_on_line(line_, cfg, trace); }
  /* The next sleep of the master's link in state `state`, once it has received n_in bytes
  ** of the frame (receive states), lasts t_ms instead of 1 ms. */
  void stall_once(int state, uint32_t t_ms, int32_t n_in = 0) {
    stall_state_ = state;
    stall_ms_ = t_ms;
    stall_n_in_ = n_in;
  }
  bool stalled() const { return stall_ms_ == 0; }
  Rmc* rmc() { return &rmc_; }
  Co3964* co() { return &co_; }
  LinkLine& line() { return line_; }
  TraceLog trace;

private:
  static uint32_t now(void*) { return GetTickCount(); }
  static uint32_t plus(void*, uint32_t t, uint32_t t_ms) { return t + t_ms; }
  /* The master's time passes 1 ms at a time, each a turn for the unit. */
  static int sleep_ms(void* p, uint32_t t_ms) {
    StallRig* r = (StallRig*)p;
    if (r->stall_ms_ && r->co_.state == r->stall_state_ && r->co_.ib_i >= r->stall_n_in_) {
      t_ms = r->stall_ms_;
      r->stall_ms_ = 0;
    }
    uint32_t t_start = GetTickCount();
    while (GetTickCount() - t_start < t_ms) LinkLine::cb_sleep(&r->line_.end(0), 1);
    return 0;
  }

  Win32VirtualClock clock_;
  LinkLine line_;
  Bytes ib_ = Bytes(384), ob_ = Bytes(384), buf_ = Bytes(384);
  Co3964 co_;
  Rmc rmc_;
  Unit* unit_ = nullptr;
  int stall_state_ = -1;
  uint32_t stall_ms_ = 0;
  int32_t stall_n_in_ = 0;
};

/* Boots the unit into its flash loader (any bytes at 0x400000 count as one). */
void boot_flash_loader(StallRig& rig) {
  static const uint8_t code[16] = {0x4E, 0x75};
  ASSERT_EQ(Rmc_do_activate_bootloader(rig.rmc()), RMC_RES_OK);
  ASSERT_EQ(Rmc_do_write_xbram(rig.rmc(), 0x400000, code, sizeof code), RMC_RES_OK);
  ASSERT_EQ(Rmc_do_jump(rig.rmc(), 0x400000), RMC_RES_OK);
}

/* Both ends' bytes since tick t0, in the order sent: "+ms M 02" (master) or "+ms U 10". */
std::string wire_since(LinkLine& line, uint32_t t0) {
  std::vector<std::tuple<uint32_t, int, size_t>> all;
  for (int side = 0; side < 2; ++side) {
    const LinkLine::End& e = line.end(side);
    for (size_t i = 0; i < e.sent_t.size(); ++i)
      if ((int32_t)(e.sent_t[i] - t0) >= 0) all.emplace_back(e.sent_t[i] - t0, side, i);
  }
  std::stable_sort(all.begin(), all.end(), [](const auto& x, const auto& y) {
    return std::get<0>(x) < std::get<0>(y);
  });
  std::string s;
  char item[32];
  for (const auto& [t, side, i] : all) {
    snprintf(item, sizeof item, "+%u %c %02x\n", (unsigned)t, side ? 'U' : 'M',
             line.end(side).sent[i]);
    s += item;
  }
  return s;
}

struct StallCase {
  int state;        // the master link's state when its sleep runs long
  uint32_t t_ms;    // how long
  int32_t n_in = 0; // bytes of the frame it has received by then (receive states)
};

void PrintTo(const StallCase& c, std::ostream* os) {
  *os << "state " << c.state << " after " << c.n_in << " bytes, " << c.t_ms << " ms";
}

class LateAnswer : public ::testing::TestWithParam<StallCase> {};

/* The erase request of the download with the reply time-out it has there; the master
** stalls once during the exchange. Erase and the blank check that follows both succeed, and
** the stall costs at most a retry (a quiet line and one more STX, well under a second):
** nothing near the 100 s reply time-out. */
TEST_P(LateAnswer, EraseSucceedsAndTheLinkStaysInStep) {
  const StallCase c = GetParam();
  StallRig rig;
  UnitConfig cfg;
  UnitConfig_init(&cfg);
  cfg.t_erase_ms = 50;
  ASSERT_NE(rig.start(cfg), nullptr);
  boot_flash_loader(rig);
  rig.rmc()->t_receive_ms = 100000;
  rig.stall_once(c.state, c.t_ms);
  LogCapture log;
  uint32_t t0 = GetTickCount();
  EXPECT_EQ(Rmc_do_erase_flash(rig.rmc()), RMC_RES_OK) << log.text();
  uint32_t t_erase = GetTickCount() - t0;
  EXPECT_TRUE(rig.stalled()) << "the stall was not reached";
  EXPECT_LT(t_erase, c.t_ms + 50 + 600) << "more than a retry";
  uint32_t t1 = GetTickCount();
  EXPECT_EQ(Rmc_do_blank_check_flash(rig.rmc()), RMC_RES_OK) << log.text();
  EXPECT_LT(GetTickCount() - t1, 100u);
  rig.line().stop_partner();
  if (::testing::Test::HasFailure()) ADD_FAILURE() << wire_since(rig.line(), t0);
  for (const auto& l : rig.trace.lines) EXPECT_EQ(l.find("exception"), std::string::npos) << l;
}

INSTANTIATE_TEST_SUITE_P(
    SlowDialog, LateAnswer,
    ::testing::Values(StallCase{23, 300}, StallCase{23, 1000}, StallCase{23, 2100},
                      StallCase{23, 3000}, StallCase{23, 5000}, StallCase{25, 300},
                      StallCase{25, 3000}, StallCase{25, 4100}, StallCase{25, 5000},
                      StallCase{25, 6000}, StallCase{25, 9000}, StallCase{25, 10100},
                      StallCase{5, 300}, StallCase{5, 3000}, StallCase{5, 7000}));

class LateRepeat : public ::testing::TestWithParam<StallCase> {};

/* A program request, whose reply the unit sends on a line that takes 1 ms a byte: the master
** stalls before the reply's first byte, inside it, or before its block check. The unit gives
** the reply up after 2 s and repeats its STX every 2 s; the master's late DLE answers the
** latest, and the unit sends the reply again at once. The owner then takes 50 ms without
** calling the link before the next request, so that the whole repeat already waits when the
** link reads again. Both requests go out once and succeed, and the master sends no NAK. */
TEST_P(LateRepeat, NextRequestGoesOutOnceAfterTheRepeatThatWaits) {
  const StallCase c = GetParam();
  StallRig rig;
  rig.line().pace_ms = 1;
  UnitConfig cfg;
  UnitConfig_init(&cfg);
  ASSERT_NE(rig.start(cfg), nullptr);
  boot_flash_loader(rig);
  ASSERT_EQ(Rmc_do_erase_flash(rig.rmc()), RMC_RES_OK);
  rig.rmc()->t_receive_ms = 100000;
  const Bytes chunk = {0x4E, 0x75, 0x20, 0x3C, 0x61, 0x00, 0x48, 0xE7};
  const Bytes head1 = {0x25, 0x00, 0x00, 0x18, 0x00, 0x08, 0x00, 0x00, 0x00};
  const Bytes head2 = {0x25, 0x08, 0x00, 0x18, 0x00, 0x08, 0x00, 0x00, 0x00};
  const size_t n_before = rig.line().sent(0).size();
  rig.stall_once(c.state, c.t_ms, c.n_in);
  EXPECT_EQ(Rmc_do_write_flash(rig.rmc(), 0x180000, chunk.data(), 8), RMC_RES_OK);
  EXPECT_TRUE(rig.stalled()) << "the stall was not reached";
  rig.line().wait_ms(0, 50);
  EXPECT_EQ(rig.line().n_waiting(0), frame_wire(head1).size()) << "the repeat does not wait";
  uint32_t t1 = GetTickCount();
  EXPECT_EQ(Rmc_do_write_flash(rig.rmc(), 0x180008, chunk.data(), 8), RMC_RES_OK);
  EXPECT_LT(GetTickCount() - t1, 100u);
  rig.line().stop_partner();
  Bytes sent = rig.line().sent(0);
  sent.erase(sent.begin(), sent.begin() + (long)n_before);
  EXPECT_EQ(sent, cat(cat(cat({CO3964_STX}, frame_wire(cat(head1, chunk))),
                          {CO3964_DLE, CO3964_DLE, CO3964_DLE, CO3964_STX}),
                      cat(frame_wire(cat(head2, chunk)), {CO3964_DLE, CO3964_DLE})));
}

INSTANTIATE_TEST_SUITE_P(
    SlowDialog, LateRepeat,
    ::testing::Values(StallCase{5, 3000}, StallCase{5, 5000}, StallCase{5, 9000},
                      StallCase{5, 3000, 4}, StallCase{5, 5000, 4}, StallCase{5, 9000, 4},
                      StallCase{7, 3000}, StallCase{7, 5000}, StallCase{7, 9000}));

}  // namespace
