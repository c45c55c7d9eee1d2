/*
** test_root.cpp - Root_alloc builds the graph (paths, terminal, port, link, RMC master,
** empty image slots) and connects the log; each kind of failure gives NULL, with the steps
** after a failed one still run; the link callbacks read the tick count, add with wrap and
** dispatch at most one window message without waiting.
*/
#include "alloc_seam.h"
#include "log_capture.h"
#include "root.h"
#include "std_io.h"
#include "win32_msg.h"
#include "win32_process.h"
#include "win32_time.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

const std::string kErr = "error - src/loader/root.cpp - Root_alloc: ";

class RootTest : public ::testing::Test {
protected:
  void SetUp() override {
    cb_old_ = StdIo_get_cb_stdout();
    p_old_ = StdIo_get_p_stdout();
    win32_process_set_command_line("\"/opt/zent loader/bin/zent-loader\" --port COM2");
    win32_msg_clear();
    n_db_term_alloc = 0;
  }
  void TearDown() override {
    Root_free(p_);
    StdIo_set_stdout(cb_old_, p_old_);
    Root_set_alloc_seam(nullptr);
    Root_set_link_seam(nullptr);
    AllocSeam_fail_mask(0);
    win32_process_set_command_line(nullptr);
    win32_msg_clear();
  }
  static DbTerm* counting_db_term_alloc(int nx, int ny) {
    n_db_term_alloc++;
    return DbTerm_alloc(nx, ny);
  }
  static DbTerm* failing_db_term_alloc(int, int) {
    n_db_term_alloc++;
    return nullptr;
  }
  static Uart* failing_uart_init(Uart*) { return nullptr; }

  static int n_db_term_alloc;
  Root* p_ = nullptr;
  tyStdIo_cb_stdout cb_old_;
  void* p_old_;
};
int RootTest::n_db_term_alloc = 0;

std::string first_line(DbTerm* p_term) {
  DbTerm_to_string(p_term, -1);
  std::string s = DbTerm_get_p_str(p_term);
  return s.substr(0, s.find('\n'));
}

TEST_F(RootTest, BuildsTheGraphAndConnectsTheLog) {
  p_ = Root_alloc();
  ASSERT_NE(p_, nullptr);
  EXPECT_STREQ(Root_get_p_path_program(p_), "/opt/zent loader/bin");
  EXPECT_STREQ(Root_get_p_path_name_param(p_), "/opt/zent loader/bin\\data\\param.dat");
  EXPECT_EQ(Root_get_p_uart(p_), &p_->uart);
  EXPECT_EQ(Root_get_p_co(p_), &p_->co);
  EXPECT_EQ(Root_get_p_rmc(p_), &p_->rmc);
  EXPECT_EQ(p_->uart.h_com, INVALID_HANDLE_VALUE);

  // The log goes to the terminal, and the connection line is its first line.
  EXPECT_EQ(StdIo_get_cb_stdout(), &DbTerm_print);
  EXPECT_EQ(StdIo_get_p_stdout(), Root_get_p_db_term(p_));
  EXPECT_EQ(p_->p_db_term->nx_scr, 160);
  EXPECT_EQ(p_->p_db_term->ny_scr, 200);
  EXPECT_EQ(first_line(p_->p_db_term), "stdout is now connected to this virtual screen");

  // Image slots stay empty until the first image getter (read here without a getter).
  EXPECT_EQ(p_->p_set_loader, nullptr);
  EXPECT_EQ(p_->p_set_appl, nullptr);
  EXPECT_EQ(p_->p_vm, nullptr);
  EXPECT_EQ(p_->p_vmc, nullptr);
  EXPECT_EQ(p_->n_vm, 0);
  EXPECT_EQ(p_->n_vmc, 0);
  EXPECT_EQ(p_->n_block_vm, 256);
  EXPECT_EQ(p_->n_block_vmc, 256);
}

TEST_F(RootTest, LinkAndMasterUseTheRootsBuffersAndPort) {
  p_ = Root_alloc();
  ASSERT_NE(p_, nullptr);
  const Co3964& co = p_->co;
  EXPECT_EQ(co.p_time, nullptr);
  EXPECT_EQ(co.p_uart, &p_->uart);
  EXPECT_EQ(co.cb_uart_receive_byte_nw, &Uart_receive_byte_nw);
  EXPECT_EQ(co.cb_uart_send_byte, &Uart_send_byte);
  EXPECT_EQ(co.cb_uart_send_with_dle, &Uart_send_with_dle);
  EXPECT_EQ(co.ib_p_msg, p_->co_ib_p_buf);
  EXPECT_EQ(co.ib_n_max, 384);
  EXPECT_EQ(co.ob_p_msg, p_->co_ob_p_buf);
  EXPECT_EQ(co.ob_n_max, 384);
  EXPECT_EQ(co.with_bcc, 1);
  EXPECT_EQ(co.high_priority, 1);
  EXPECT_EQ(p_->rmc.p_msg_buffer, p_->rmc_p_buf);
  EXPECT_EQ(p_->rmc.m_msg_buffer, 384);
  EXPECT_EQ(p_->rmc.p_co, &p_->co);
}

TEST_F(RootTest, NoProgramDirectoryStopsBeforeTheTerminal) {
  RootAllocSeam seam = {counting_db_term_alloc, nullptr};
  Root_set_alloc_seam(&seam);
  win32_process_set_command_line("   ");
  LogCapture log;
  EXPECT_EQ(Root_alloc(), nullptr);
  EXPECT_EQ(n_db_term_alloc, 0);
  EXPECT_EQ(log.text(), "error - src/foundation/oss.cpp - Oss_get_path_program: parse_cmd_line failed");
}

/* Link and master set-ups that fail, noting what they were handed. */
void* g_co_p_uart = (void*)1;
Co3964* g_rmc_p_co = (Co3964*)1;
Co3964* failing_co3964_init(Co3964*, void*, tyCo3964_cb_time_get_t_now, tyCo3964_cb_time_plus_ms,
                            tyCo3964_cb_time_sleep_ms, void* p_uart, tyCo3964_cb_uart_receive_byte_nw,
                            tyCo3964_cb_uart_send_byte, tyCo3964_cb_uart_send_with_dle, int32_t, uint8_t*,
                            int32_t, uint8_t*, int32_t, int32_t) {
  g_co_p_uart = p_uart;
  return nullptr;
}
Rmc* failing_rmc_init(Rmc*, int32_t, uint8_t*, Co3964* p_co) {
  g_rmc_p_co = p_co;
  return nullptr;
}

TEST_F(RootTest, EveryFailedStepWritesItsCallAndTheNextStillRuns) {
  RootAllocSeam seam = {failing_db_term_alloc, failing_uart_init};
  Root_set_alloc_seam(&seam);
  RootLinkSeam link_seam = {failing_co3964_init, failing_rmc_init};
  Root_set_link_seam(&link_seam);
  LogCapture log;
  EXPECT_EQ(Root_alloc(), nullptr);
  EXPECT_EQ(log.calls(),
            (std::vector<std::string>{
                kErr + "p -> p_db_term = DbTerm_alloc (160, 200))",
                kErr + "p -> p_uart = Uart_init (& p -> uart))",
                kErr + "p -> p_co = Co3964_init ( & p -> co, NULL, (tyCo3964_cb_time_get_t_now) loc_get_t_now, "
                       "(tyCo3964_cb_time_plus_ms) loc_plus_ms , (tyCo3964_cb_time_sleep_ms) loc_sleep_ms, p -> "
                       "p_uart, (tyCo3964_cb_uart_receive_byte_nw) Uart_receive_byte_nw, "
                       "(tyCo3964_cb_uart_send_byte) Uart_send_byte, (tyCo3964_cb_uart_send_with_dle) "
                       "Uart_send_with_dle, itemsof (p -> co_ib_p_buf), p -> co_ib_p_buf, itemsof (p -> "
                       "co_ob_p_buf), p -> co_ob_p_buf, 1, 1))",
                kErr + "p -> p_rmc = Rmc_init_as_master ( & p -> rmc, itemsof (p -> rmc_p_buf), p -> "
                       "rmc_p_buf, p -> p_co))"}));
  // Each later step was handed what the failed one left.
  EXPECT_EQ(g_co_p_uart, nullptr);
  EXPECT_EQ(g_rmc_p_co, nullptr);
  EXPECT_EQ(StdIo_get_p_stdout(), &log);
}

TEST_F(RootTest, FailedMasterAloneStillFailsTheBuildAndReleasesTheTerminal) {
  RootLinkSeam link_seam = {nullptr, failing_rmc_init};
  Root_set_link_seam(&link_seam);
  LogCapture log;
  EXPECT_EQ(Root_alloc(), nullptr);  // the terminal made here must not leak (sanitizer build)
  EXPECT_NE(g_rmc_p_co, nullptr);  // the link itself was set up
  EXPECT_EQ(log.calls().size(), 1u);
  EXPECT_EQ(StdIo_get_p_stdout(), &log);  // the log was not handed to a released terminal
}

TEST_F(RootTest, NoMemoryForTheRecordGivesNull) {
  AllocSeam_fail_mask(1);
  LogCapture log;
  EXPECT_EQ(Root_alloc(), nullptr);
  EXPECT_EQ(log.text(), "");
}

/* The parameter-file path has 259 characters of room: a directory of 244 characters fits
** with "\data\param.dat", one of 245 is refused rather than written past the field. */
TEST_F(RootTest, DirectoryTooLongForTheParameterPathIsRefused) {
  std::string dir_244 = "/" + std::string(243, 'd');
  std::string line = dir_244 + "/zent-loader";
  win32_process_set_command_line(line.c_str());
  p_ = Root_alloc();
  ASSERT_NE(p_, nullptr);
  EXPECT_EQ(std::string(Root_get_p_path_name_param(p_)), dir_244 + "\\data\\param.dat");
  EXPECT_EQ(strlen(Root_get_p_path_name_param(p_)), 259u);
  Root_free(p_);
  p_ = nullptr;

  RootAllocSeam seam = {counting_db_term_alloc, nullptr};
  Root_set_alloc_seam(&seam);
  line = dir_244 + "e/zent-loader";
  win32_process_set_command_line(line.c_str());
  LogCapture log;
  EXPECT_EQ(Root_alloc(), nullptr);
  EXPECT_EQ(n_db_term_alloc, 0);
  EXPECT_EQ(log.text(), kErr + "path_program too long for p_path_name_param (n_path=245)");
}

TEST_F(RootTest, GettersOfNoRootGiveNothing) {
  LogCapture log;
  EXPECT_EQ(Root_get_p_path_program(nullptr), nullptr);
  EXPECT_EQ(Root_get_p_db_term(nullptr), nullptr);
  EXPECT_EQ(Root_get_p_uart(nullptr), nullptr);
  EXPECT_EQ(Root_get_p_rmc(nullptr), nullptr);
  EXPECT_EQ(Root_get_p_vm(nullptr), nullptr);
  EXPECT_EQ(Root_get_n_vmc(nullptr), 0);
  EXPECT_EQ(Root_get_n_block_vm(nullptr), 0);
  EXPECT_EQ(log.text(), "");  // and nothing was prepared
  Root_free(nullptr);
}

TEST_F(RootTest, TimeCallbacksReadTheTickCountAndWrap) {
  p_ = Root_alloc();
  ASSERT_NE(p_, nullptr);
  EXPECT_EQ(p_->co.cb_time_plus_ms(nullptr, 0xFFFFFF00u, 0x200u), 0x100u);
  EXPECT_EQ(p_->co.cb_time_plus_ms(nullptr, 5u, 7u), 12u);
  Win32VirtualClock clock(0xFFFFFFF0u);
  EXPECT_EQ(p_->co.cb_time_get_t_now(nullptr), 0xFFFFFFF0u);
  clock.advance(0x20);
  EXPECT_EQ(p_->co.cb_time_get_t_now(nullptr), 0x10u);
}

int g_n_dispatched = 0;
LRESULT counting_proc(HWND, UINT message, WPARAM, LPARAM) {
  g_n_dispatched++;
  return (LRESULT)message;
}

TEST_F(RootTest, SleepCallbackDispatchesAtMostOneMessage) {
  p_ = Root_alloc();
  ASSERT_NE(p_, nullptr);
  tyCo3964_cb_time_sleep_ms sleep_ms = p_->co.cb_time_sleep_ms;
  Win32VirtualClock clock(1000);
  EXPECT_EQ(sleep_ms(nullptr, 1), 0);  // empty queue: at once, nothing waited
  EXPECT_EQ(clock.now(), 1000u);

  HWND hwnd = win32_window_create(counting_proc);
  g_n_dispatched = 0;
  ASSERT_TRUE(PostMessageA(hwnd, WM_USER + 1, 0, 0));
  ASSERT_TRUE(PostMessageA(hwnd, WM_USER + 2, 0, 0));
  EXPECT_EQ(sleep_ms(nullptr, 1000), (int)(WM_USER + 1));
  EXPECT_EQ(g_n_dispatched, 1);
  EXPECT_EQ(win32_msg_count(), 1);
  EXPECT_EQ(sleep_ms(nullptr, 1), (int)(WM_USER + 2));
  EXPECT_EQ(sleep_ms(nullptr, 1), 0);
  EXPECT_EQ(g_n_dispatched, 2);
  EXPECT_EQ(clock.now(), 1000u);
  win32_window_destroy(hwnd);
}

}  // namespace
