/*
** test_stdout_dlg.cpp - the Stdout window: opened by the main dialog's hidden button, it
** mirrors the debug terminal into its list (one item per terminal line), refreshes on its
** 100 ms timer only when the terminal changed, keeps the last line with text in view, and
** asks its owner to close it; the owner destroys the window and can open it again.
*/
#include "test_download_rig.h"

#include "stdout_dlg.h"

#include <gtest/gtest.h>

namespace {

struct StdoutTest : ::testing::Test {
  void SetUp() override {
    ASSERT_NE(rig_root(), nullptr);
    term = Root_get_p_db_term(rig_root());
    DbTerm_clear(term);
    DbTerm_print(term, "stdout is now connected to this virtual screen\n");
    win32_msg_clear();
  }
  Win32VirtualClock clock{0};
  DbTerm* term = nullptr;
};

/* Counts list changes the front end is told of. */
struct ListWatch {
  int n = 0;
  MfcFront old = {};
  ListWatch() {
    MfcFront f = {nullptr, nullptr, [](void* p, MfcNode* node, int what) {
                    if (node->id == IDC_LIST_STDOUT && (what & MFC_CHANGE_ITEMS)) ((ListWatch*)p)->n++;
                  }, nullptr, this};
    mfc_front_set(&f, &old);
  }
  ~ListWatch() { mfc_front_set(&old, nullptr); }
};

TEST_F(StdoutTest, HiddenButtonIsOutOfReachButItsHandlerOpensTheWindow) {
  CMainDlg dlg;
  ASSERT_TRUE(dlg.Create(IDD_MAIN_DIALOG));
  mfc_post_click(mfc_node_child(dlg.node(), IDC_BUTTON_STDOUT)->hwnd);
  mfc_pump();
  EXPECT_EQ(dlg.m_pStdout->GetSafeHwnd(), nullptr);  // a hidden button takes no clicks
  dlg.OnBnClickedStdout();
  CStdoutDlg* s = dlg.m_pStdout;
  ASSERT_NE(s->GetSafeHwnd(), nullptr);
  EXPECT_EQ(s->node()->text, "Stdout");
  EXPECT_TRUE(s->node()->visible);
  ASSERT_EQ(s->m_list.GetItemCount(), 200);
  EXPECT_EQ(s->m_list.node()->columns.size(), 1u);
  EXPECT_EQ(s->m_list.node()->columns[0].width, 1000);
  EXPECT_EQ(s->m_list.GetItemText(0, 0), "stdout is now connected to this virtual screen");
  EXPECT_EQ(s->m_list.GetItemText(1, 0), "");
  EXPECT_EQ(s->m_list.node()->i_visible, 0);
  // The handler's image getter was the first in the process: its preparation lines came
  // after the first copy, and the timer brings them. The last of them ends without a line
  // feed, so the handler's "foo=..." runs on behind it, past the terminal's width, where the
  // terminal drops it; its line feed still ends that line.
  clock.advance(100);
  mfc_pump();
  EXPECT_EQ(s->m_list.GetItemText(1, 0), "**** a_vm=00400000 e_vm=00500000");
  const std::string prep = s->m_list.GetItemText(2, 0);
  EXPECT_EQ(prep.rfind("info - src/loader/root_prep.cpp - build_p_vm_from_p_set: ok"
                       "info - src/loader/root_prep.cpp - build_p_vmc_from_p_vm: "
                       "successfully compressed, ",
                       0),
            0u)
      << prep;
  EXPECT_EQ(prep.size(), (size_t)term->nx_scr) << prep;
  EXPECT_EQ(s->m_list.GetItemText(3, 0), "");
  EXPECT_EQ(s->m_list.node()->i_visible, 2);
  EXPECT_EQ(s->m_list.GetItemCount(), 200);
}

TEST_F(StdoutTest, TicksWithoutNewLinesCopyNothing) {
  CStdoutDlg s(nullptr);
  ASSERT_TRUE(s.Create());
  ListWatch watch;
  int n_change = s.m_n_change;
  clock.advance(100);
  mfc_pump();
  clock.advance(100);
  mfc_pump();
  EXPECT_EQ(watch.n, 0);
  EXPECT_EQ(s.m_n_change, n_change);
  DbTerm_print(term, "one more\n");
  clock.advance(100);
  mfc_pump();
  EXPECT_EQ(watch.n, 1);  // only the changed row
  EXPECT_EQ(s.m_list.GetItemText(1, 0), "one more");
}

TEST_F(StdoutTest, ScrolledTerminalShowsOldestLineFirstAndNewestInView) {
  for (int i = 0; i < 250; i++) DbTerm_printf(term, "line %d\n", i);
  CStdoutDlg s(nullptr);
  ASSERT_TRUE(s.Create());
  ASSERT_EQ(s.m_list.GetItemCount(), 200);
  // 251 lines and the cursor line: the screen starts at line 52.
  EXPECT_EQ(s.m_list.GetItemText(0, 0), "line 51");
  EXPECT_EQ(s.m_list.GetItemText(198, 0), "line 249");
  EXPECT_EQ(s.m_list.node()->i_visible, 198);
}

TEST_F(StdoutTest, CloseAsksTheOwnerWhichDestroysAndCanReopen) {
  CMainDlg dlg;
  ASSERT_TRUE(dlg.Create(IDD_MAIN_DIALOG));
  dlg.OnBnClickedStdout();
  CStdoutDlg* s = dlg.m_pStdout;
  HWND first = s->GetSafeHwnd();
  ASSERT_NE(first, nullptr);
  mfc_post_click(mfc_node_child(s->node(), IDCANCEL)->hwnd);
  MSG m;
  ASSERT_TRUE(PeekMessageA(&m, nullptr, 0, 0, PM_REMOVE));
  DispatchMessageA(&m);  // the click: it posts, it does not close
  EXPECT_EQ(s->GetSafeHwnd(), first);
  ASSERT_TRUE(PeekMessageA(&m, nullptr, 0, 0, PM_NOREMOVE));
  EXPECT_EQ(m.message, (UINT)WM_STDOUT_CLOSE);
  EXPECT_EQ(m.hwnd, dlg.m_hWnd);
  EXPECT_EQ(m.wParam, 2u);
  EXPECT_EQ(m.lParam, 0);
  mfc_pump();
  EXPECT_EQ(s->GetSafeHwnd(), nullptr);
  EXPECT_EQ(win32_timer_count(), 0);
  dlg.OnBnClickedStdout();  // made anew, copied from the top
  ASSERT_NE(s->GetSafeHwnd(), nullptr);
  EXPECT_EQ(s->m_list.GetItemCount(), 200);
  mfc_post_key(s->m_hWnd, VK_ESCAPE);  // Escape asks the owner the same way
  mfc_pump();
  EXPECT_EQ(s->GetSafeHwnd(), nullptr);
}

TEST_F(StdoutTest, RefreshRunsNestedInsideADownload) {
  // The timer's WM_TIMER comes through the link's sleep callback while frames are
  // exchanged: the log of the run shows up before the run has ended.
  clock.advance(1000);
  UnitRig unit;
  DialogRig rig;
  ASSERT_TRUE(rig.create());
  rig.dlg.OnBnClickedStdout();
  CStdoutDlg* s = rig.dlg.m_pStdout;
  ASSERT_NE(s->GetSafeHwnd(), nullptr);
  bool erase_line_shown = false;
  rig.on_upper = [&](const std::string& t) {
    if (t != "Starting application...") return;
    for (int i = 0; i < s->m_list.GetItemCount(); i++)
      erase_line_shown |= s->m_list.GetItemText(i, 0) == "Erasing application sectors";
  };
  rig.download();
  unit.stop();
  EXPECT_TRUE(rig.has_box("Application successfully downloaded !"));
  EXPECT_TRUE(erase_line_shown);
  EXPECT_EQ(s->m_list.GetItemCount(), 200);
  rig.dlg.OnStdoutClose(2, 0);
  EXPECT_EQ(win32_timer_count(), 0);
}

TEST_F(StdoutTest, EmptyTerminalGivesEmptyRowsAndScrollsToTheTop) {
  DbTerm_clear(term);
  CStdoutDlg s(nullptr);
  ASSERT_TRUE(s.Create());
  ASSERT_EQ(s.m_list.GetItemCount(), 200);
  EXPECT_EQ(s.m_list.GetItemText(0, 0), "");
  EXPECT_EQ(s.m_list.node()->i_visible, 0);
}

TEST_F(StdoutTest, CloseBoxWithAnOwnerPostsOneCloseMessage) {
  CMainDlg dlg;
  ASSERT_TRUE(dlg.Create(IDD_MAIN_DIALOG));
  dlg.OnBnClickedStdout();
  CStdoutDlg* s = dlg.m_pStdout;
  HWND h = s->GetSafeHwnd();
  ASSERT_NE(h, nullptr);
  win32_msg_clear();
  s->PostMessage(WM_SYSCOMMAND, SC_CLOSE);  // the window's close box
  MSG m;
  ASSERT_TRUE(PeekMessageA(&m, nullptr, 0, 0, PM_REMOVE));
  DispatchMessageA(&m);
  EXPECT_EQ(s->GetSafeHwnd(), h);  // still open
  EXPECT_EQ(win32_msg_count(), 1);
  ASSERT_TRUE(PeekMessageA(&m, nullptr, 0, 0, PM_NOREMOVE));
  EXPECT_EQ(m.message, (UINT)WM_STDOUT_CLOSE);
  mfc_pump();
  EXPECT_EQ(s->GetSafeHwnd(), nullptr);
}

TEST_F(StdoutTest, MissingTerminalLeavesTheListEmpty) {
  Root* root = theApp.m_p_root;
  theApp.m_p_root = nullptr;
  CStdoutDlg s(nullptr);
  ASSERT_TRUE(s.Create());
  theApp.m_p_root = root;
  EXPECT_EQ(s.m_list.GetItemCount(), 0);
  EXPECT_EQ(s.m_p_db_term, nullptr);
}

}  // namespace
