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

/* An RMC master on end 0 whose link's sleep callback can run long (a message box of the
** dialog), once or twice in a row: at a chosen state or at the k-th wait of the link. */
class StallRig {
public:
  StallRig() : line_(0, true) {
    line_.fiber = true;  // the soak takes millions of turns
    LinkLine::End* e = &line_.end(0);
    e->yield_on_empty_rx = true;
    Co3964_init(&co_, this, now, plus, sleep_ms, this, receive, send_byte, send_with_dle, 384,
                ib_.data(), 384, ob_.data(), 1, 1);
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
  /* The same at the k-th sleep (0 the first) since the rig was made. */
  void stall_at_wait(int64_t k, uint32_t t_ms) {
    stall_once(-1, t_ms);
    stall_at_ = k;
  }
  /* After that stall, the n-th sleep that follows it lasts t_ms: a second box. */
  void then_stall(uint32_t t_ms, int n_after = 1) {
    next_ms_ = t_ms;
    next_after_ = n_after;
  }
  bool stalled() const { return stall_ms_ == 0; }
  int n_stalls() const { return n_stalls_; }
  int64_t n_waits() const { return n_wait_; }
  /* NAKs the master's link has sent (a block check byte that happens to be 0x15 is none). */
  int n_nak() const { return n_nak_; }
  Rmc* rmc() { return &rmc_; }
  Co3964* co() { return &co_; }
  LinkLine& line() { return line_; }
  Unit* unit() { return unit_; }
  TraceLog trace;

private:
  static uint32_t now(void*) { return GetTickCount(); }
  static uint32_t plus(void*, uint32_t t, uint32_t t_ms) { return t + t_ms; }
  bool stall_due(int64_t k) const {
    if (!stall_ms_) return false;
    if (stall_state_ < 0) return k == stall_at_;
    return co_.state == stall_state_ && co_.ib_i >= stall_n_in_;
  }
  /* The master's time passes 1 ms at a time, each a turn for the unit; a stall is one
  ** absence, through which the unit runs alone. */
  static int sleep_ms(void* p, uint32_t t_ms) {
    StallRig* r = (StallRig*)p;
    const int64_t k = r->n_wait_++;
    if (r->stall_due(k)) {
      t_ms = r->stall_ms_;
      r->stall_ms_ = 0;
      if (r->next_ms_) {
        r->stall_at_wait(k + r->next_after_, r->next_ms_);
        r->next_ms_ = 0;
      }
      r->n_stalls_++;
      r->line_.away(0, t_ms);
      return 0;
    }
    return LinkLine::cb_sleep(&r->line_.end(0), t_ms);
  }
  static int receive(void* p) { return LinkLine::cb_receive(&((StallRig*)p)->line_.end(0)); }
  /* Control bytes come through here, a frame's data through the block send: a 0x15 here is
  ** a NAK unless it is the block check behind DLE ETX. */
  static int send_byte(void* p, int ch) {
    StallRig* r = (StallRig*)p;
    if (ch == CO3964_NAK && r->last2_ != (CO3964_DLE << 8 | CO3964_ETX)) r->n_nak_++;
    r->last2_ = (r->last2_ << 8 | ch) & 0xFFFF;
    return LinkLine::cb_send_byte(&r->line_.end(0), ch);
  }
  static uint32_t send_with_dle(void* p, int n, const uint8_t* p_bytes) {
    return LinkLine::cb_send_with_dle(&((StallRig*)p)->line_.end(0), n, p_bytes);
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
  int64_t stall_at_ = -1;
  uint32_t next_ms_ = 0;
  int next_after_ = 1;
  int64_t n_wait_ = 0;
  int n_stalls_ = 0;
  int n_nak_ = 0;
  int last2_ = 0;
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


/* Two boxes in a row, as the right-click menu held open over the unit's reply and then the
** About box that its command opens at the link's next wait. That wait is the one for the
** unit's repeat after the late DLE, and the next request has already been handed over: the
** time About stays open is no time in which the link failed to get it off. */
class MenuThenAbout : public ::testing::TestWithParam<std::tuple<uint32_t, uint32_t>> {};

TEST_P(MenuThenAbout, TheRequestHandedOverBetweenTheBoxesGoesOutOnce) {
  const auto [t_menu_ms, t_about_ms] = GetParam();
  StallRig rig;
  rig.line().pace_ms = 1;
  UnitConfig cfg;
  UnitConfig_init(&cfg);
  cfg.t_reply_delay_ms = 50;
  ASSERT_NE(rig.start(cfg), nullptr);
  boot_flash_loader(rig);
  ASSERT_EQ(Rmc_do_erase_flash(rig.rmc()), RMC_RES_OK);
  rig.rmc()->t_receive_ms = 100000;
  const Bytes chunk = {0x4E, 0x75, 0x20, 0x3C, 0x61, 0x00, 0x48, 0xE7};
  rig.stall_once(5, t_menu_ms, 4);
  rig.then_stall(t_about_ms);
  EXPECT_EQ(Rmc_do_write_flash(rig.rmc(), 0x180000, chunk.data(), 8), RMC_RES_OK);
  EXPECT_EQ(Rmc_do_write_flash(rig.rmc(), 0x180008, chunk.data(), 8), RMC_RES_OK);
  EXPECT_TRUE(rig.stalled()) << "About did not open";
  rig.line().stop_partner();
  EXPECT_EQ(Unit_get_stats(rig.unit()).n_requests, 6) << "a request went out twice";
  EXPECT_EQ(rig.n_nak(), 0);
}

INSTANTIATE_TEST_SUITE_P(SlowDialog, MenuThenAbout,
                         ::testing::Combine(::testing::Values(2500u, 3000u, 5000u),
                                            ::testing::Values(5000u, 6000u, 9000u)));

/* The download's requests in its order, up to its first chunks of the application, with its
** reply time-outs: 1 s while the boot loader answers, then 100 s. The results in order. */
std::vector<int> run_download_series(StallRig& rig) {
  static const uint8_t code[16] = {0x4E, 0x75, 0x20, 0x3C, 0x61, 0x00, 0x48, 0xE7,
                                   0x10, 0x02, 0x4E, 0x75, 0x20, 0x3C, 0x61, 0x00};
  Rmc* m = rig.rmc();
  std::vector<int> r;
  uint32_t v[3];
  m->t_receive_ms = 1000;
  r.push_back(Rmc_do_activate_bootloader(m));
  r.push_back(Rmc_do_get_cpu_type(m, &v[0], &v[1], &v[2]));
  r.push_back(Rmc_do_write_xbram(m, 0x400000, code, sizeof code));
  r.push_back(Rmc_do_jump(m, 0x400000));
  m->t_receive_ms = 100000;
  r.push_back(Rmc_do_erase_flash(m));
  r.push_back(Rmc_do_blank_check_flash(m));
  for (uint32_t i = 0; i < 3; ++i)
    r.push_back(Rmc_do_write_flash(m, 0x180000 + i * sizeof code, code, sizeof code));
  return r;
}

/* One trial of the soak: the unit's reply delay, and one box or two in a row. */
struct BoxTrial {
  uint32_t t_reply_delay_ms = 0;
  int64_t k_wait = 0;   // the wait of the series at which the first box opens
  uint32_t t_first_ms = 0;
  int n_after = 0;      // the second box opens this many waits after the first; 0 none
  uint32_t t_second_ms = 0;
  std::string text() const {
    char s[160];
    snprintf(s, sizeof s, "reply delay %u ms, box of %u ms at wait %lld, then %u ms %d waits later",
             t_reply_delay_ms, t_first_ms, (long long)k_wait, t_second_ms, n_after);
    return s;
  }
};

/* What a trial came to: "" when every request was answered, none went out twice and the
** master sent no NAK, else what went wrong; the waits of the series, the boxes that opened. */
struct TrialResult {
  std::string fault;
  int64_t n_waits = 0;
  int n_boxes = 0;
};

/* Runs the series on a fresh unit at the line's pace with the trial's boxes. */
TrialResult run_trial(const BoxTrial& t) {
  StallRig rig;
  rig.line().pace_ms = 1;
  UnitConfig cfg;
  UnitConfig_init(&cfg);
  cfg.t_erase_ms = 50;
  cfg.t_reply_delay_ms = t.t_reply_delay_ms;
  if (!rig.start(cfg)) return {"no unit"};
  if (t.t_first_ms) rig.stall_at_wait(t.k_wait, t.t_first_ms);
  if (t.n_after) rig.then_stall(t.t_second_ms, t.n_after);
  const std::vector<int> r = run_download_series(rig);
  rig.line().stop_partner();
  TrialResult res;
  for (size_t i = 0; i < r.size(); ++i)
    if (r[i] != RMC_RES_OK)
      res.fault += " request " + std::to_string(i + 1) + ": " + std::to_string(r[i]);
  const int n_requests = Unit_get_stats(rig.unit()).n_requests;
  if (n_requests != (int)r.size()) res.fault += " the unit took " + std::to_string(n_requests);
  if (rig.n_nak()) res.fault += " NAKs: " + std::to_string(rig.n_nak());
  res.n_waits = rig.n_waits();
  res.n_boxes = rig.n_stalls();
  return res;
}

/* Boxes of 1 to 10 s at every wait of a request series: once, or twice in a row with the
** second a few waits after the first. Whatever the boxes cost in time, every request is
** answered, none is withdrawn or sent twice, and the master sends no NAK. The first box
** opens at a wait drawn from those of the series without a box, so nearly every one opens. */
TEST(BoxSoak, EveryRequestOfTheSeriesIsAnsweredOnce) {
  const uint32_t delays[3] = {0, 20, 50};
  int64_t n_waits[3];
  for (int i = 0; i < 3; ++i) {
    BoxTrial t;
    t.t_reply_delay_ms = delays[i];
    TrialResult res = run_trial(t);
    ASSERT_EQ(res.fault, "") << "without a box";
    n_waits[i] = res.n_waits;
  }
  std::mt19937 rng(20261208);
  const int n_trials = 2000;
  int n_failed = 0, n_boxes = 0, n_planned = 0;
  std::string failures;
  for (int i = 0; i < n_trials; ++i) {
    BoxTrial t;
    const int d = (int)(rng() % 3);
    t.t_reply_delay_ms = delays[d];
    t.k_wait = (int64_t)(rng() % (uint64_t)n_waits[d]);
    t.t_first_ms = 1000 + rng() % 9001;
    if (rng() % 2) {
      t.n_after = 1 + (int)(rng() % 4);
      t.t_second_ms = 1000 + rng() % 9001;
    }
    const TrialResult res = run_trial(t);
    n_planned += t.n_after ? 2 : 1;
    n_boxes += res.n_boxes;
    if (!res.fault.empty() && ++n_failed <= 10) failures += t.text() + ":" + res.fault + "\n";
  }
  EXPECT_EQ(n_failed, 0) << "of " << n_trials << " trials, first ones:\n" << failures;
  EXPECT_GT(n_boxes, n_planned * 95 / 100) << n_boxes << " of " << n_planned << " boxes opened";
}

}  // namespace
