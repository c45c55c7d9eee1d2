/*
** test_download_steps.cpp - every step of the download failing in turn, once by an exception
** reply and once by a unit that keeps silent: the step's own box after its result line, the
** status lines and progress bar as the box finds them, nothing sent after the failed
** request, and the flash loader's reply time-out left set whatever happened.
*/
#include "test_download_rig.h"

#include "log_capture.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>

namespace {

/* While it lives, a unit's silence costs no waiting: once the unit has taken a request it
** will never answer and the loader's link waits idle for the reply, each look of the link
** at the empty line moves the clock a second on. The reply time-out then passes at once,
** and only where nothing else can still happen, however the threads are scheduled. */
class SkipSilence {
 public:
  SkipSilence(Win32VirtualClock& clock, UnitRig& unit)
      : clock_(clock), unit_(unit), co_(Root_get_p_co(rig_root())) {
    cb_receive_ = co_->cb_uart_receive_byte_nw;
    co_->cb_uart_receive_byte_nw = &SkipSilence::receive;
    current_ = this;
  }
  ~SkipSilence() {
    co_->cb_uart_receive_byte_nw = cb_receive_;
    current_ = nullptr;
  }
  SkipSilence(const SkipSilence&) = delete;
  SkipSilence& operator=(const SkipSilence&) = delete;

 private:
  static int receive(void* p_uart) {  // on the loader's thread, inside its link
    SkipSilence* s = current_;
    int ch = s->cb_receive_(p_uart);
    Co3964* co = s->co_;
    if (ch < 0 && co->state == 0 && co->ob_state != 2 && co->ib_n_msg < 0 &&
        s->unit_.count("-> no reply") > 0)
      s->clock_.advance(1000);
    return ch;
  }
  static inline SkipSilence* current_ = nullptr;
  Win32VirtualClock& clock_;
  UnitRig& unit_;
  Co3964* co_;
  tyCo3964_cb_uart_receive_byte_nw cb_receive_;
};

/* A box as the run showed it, with the dialog's status and the log at that moment. */
struct Seen {
  std::string text, upper, lower, log;
  int pos;
  size_t n_positions;  // progress positions recorded before it
};

std::string progress(int n_done, int n_total) {
  char s[64];
  std::snprintf(s, sizeof s, "%d of %d (%d %%)", n_done, n_total, n_done * 100 / n_total);
  return s;
}

TEST(DownloadSteps, EachFailedStepShowsItsBoxAndEndsTheRun) {
  ASSERT_NE(rig_root(), nullptr);
  Win32VirtualClock clock{1000};
  const int n = rig_n_loader_chunks();
  // Non-blank programming chunks, and the first whose progress is drawn (address 0x1000 of
  // 8 KiB): its display shows the bytes finished before it.
  UvMem* vmc = Root_get_p_vmc(rig_root());
  const int n_vmc = Root_get_n_vmc(rig_root());
  ASSERT_NE(vmc, nullptr);
  int m = 0, i_drawn = -1;
  for (uint32_t a = UvMem_get_a_vmem(vmc); a < UvMem_get_a_vmem(vmc) + UvMem_get_n_vmem(vmc);
       a += 256) {
    if (UvMem_is_filled_with(vmc, a, 256, 0xFF)) continue;
    if (i_drawn < 0 && (a & 0x1FFF) == 0x1000) i_drawn = m;
    m++;
  }
  ASSERT_GE(i_drawn, 1);
  const int pct_drawn = i_drawn * 256 * 100 / n_vmc;
  const char k_504[] = "This program version supports 504-CPU's only !";
  // The unit fails the k-th request with exception 3 and, in a second run, keeps silent.
  // After programming, only silence: exceptions there are in test_download.cpp.
  const std::vector<int> both = {3, 0}, silence = {0};
  const struct {
    int k;
    std::vector<int> replies;
    std::vector<std::string> boxes;
    std::string upper, lower;
    int pos;
  } steps[] = {
      {1, both, {"Activating bootloader failed !"}, "Activating bootloader...", "", 0},
      {2, both, {"Checking CPU-type failed !", k_504}, "Checking CPU-type...", "", 0},
      {3, both, {"Download of Flashloader failed !"}, "Downloading flash loader...",
       "0 of 33921 (0 %)", 0},
      {3 + n, both, {"Starting Flashloader failed !"}, "Starting flash loader...", "", 25},
      {4 + n, both, {"Erasing application sectors failed !"}, "Erasing application sectors...",
       "", 50},
      {5 + n, both, {"Blank checking application sectors failed !"},
       "Blank checking application sectors...", "", 75},
      {6 + n + i_drawn, both, {"Programming application failed !"}, "Programming application...",
       progress(i_drawn * 256, n_vmc), pct_drawn},
      {6 + n + m, silence, {"Updating application signature !"},
       "Updating application signature...", "", 0},
      {7 + n + m, silence, {"Starting application failed !"}, "Starting application...", "", 0},
  };
  for (const auto& s : steps) {
    for (int exception : s.replies) {
      SCOPED_TRACE(s.boxes[0] + (exception ? " (exception)" : " (silence)"));
      UnitRig unit([&](UnitConfig& c) {
        c.k_fault = s.k;
        c.fault_exception = exception;
      });
      ASSERT_TRUE(unit.ok());
      SkipSilence skip(clock, unit);
      DialogRig rig;
      ASSERT_TRUE(rig.create());
      LogCapture log;
      std::vector<Seen> seen;
      rig.answer = [&](const RigBox& b) {
        seen.push_back({b.text, rig.text(IDC_STATIC_UPPER), rig.text(IDC_STATIC_LOWER), log.text(),
                        mfc_node_child(rig.dlg.node(), IDC_PROGRESS)->pos, rig.positions.size()});
        return win32_message_box_default(b.type);
      };
      rig.download();
      unit.stop();
      std::vector<std::string> texts;
      for (const auto& b : seen) texts.push_back(b.text);
      EXPECT_EQ(texts, s.boxes) << unit.trace() << log.text();
      if (seen.empty()) continue;
      const Seen& box = seen[0];
      EXPECT_NE(box.log.find(exception ? "l_result =  3 (RMC_RES_ILL_DATA_VAL)\n"
                                       : "l_result =  9 (RMC_RES_ERR_REC     )\n"),
                std::string::npos)
          << box.log;
      EXPECT_EQ(box.upper, s.upper);
      EXPECT_EQ(box.lower, s.lower);
      EXPECT_EQ(box.pos, s.pos);
      // After the box: the blank check's closing 100, then the ready display's 0.
      std::vector<int> after(rig.positions.begin() + (long)box.n_positions, rig.positions.end());
      std::vector<int> want = s.upper == "Blank checking application sectors..."
                                  ? std::vector<int>{100, 0}
                                  : s.pos ? std::vector<int>{0} : std::vector<int>{};
      EXPECT_EQ(after, want);
      if (s.k > 5 + n) {  // a blank check that passed closes with 100 as well
        const int closing[] = {75, 100};
        EXPECT_NE(std::search(rig.positions.begin(), rig.positions.end(), closing, closing + 2),
                  rig.positions.end());
      }
      EXPECT_EQ(Unit_get_stats(unit.unit()).n_requests, s.k);  // nothing after the failure
      EXPECT_EQ(Root_get_p_rmc(rig_root())->t_receive_ms, 100000u);
      EXPECT_EQ(rig.text(IDC_STATIC_UPPER), "ready");
      EXPECT_TRUE(mfc_node_child(rig.dlg.node(), IDC_BUTTON_DOWNLOAD)->enabled);
    }
  }
}

}  // namespace
