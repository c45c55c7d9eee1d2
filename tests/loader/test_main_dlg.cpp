/*
** test_main_dlg.cpp - the main dialog and the About dialog headless: the template and the
** initial display, the system-menu entry, closing with and without a download running,
** the About dialog as a nested modal loop, the minimised icon, and the status helpers and
** result lines the download writes through.
*/
#include "test_download_rig.h"

#include "log_capture.h"
#include "stdout_dlg.h"

#include <gtest/gtest.h>

namespace {

/* Steps run one per idle wait of a modal loop. */
struct Script {
  std::vector<std::function<void()>> steps;
  size_t i = 0;
  static void wait(void* p, DWORD) {
    Script* s = (Script*)p;
    if (s->i < s->steps.size()) s->steps[s->i++]();
  }
};

struct MainDlgTest : ::testing::Test {
  void SetUp() override {
    ASSERT_NE(rig_root(), nullptr);
    win32_msg_clear();
  }
  void TearDown() override { win32_msg_set_wait(nullptr, nullptr); }
  MfcNode* find(const MfcNode* dlg, const std::string& text) {
    for (MfcNode* c : dlg->children)
      if (c->text == text) return c;
    return nullptr;
  }
};

TEST_F(MainDlgTest, InitialDisplayFollowsTheTemplate) {
  DialogRig rig;
  ASSERT_TRUE(rig.create());
  MfcNode* d = rig.dlg.node();
  EXPECT_EQ(d->text, "Zent-Loader (504 only)");
  EXPECT_EQ(d->cx, 302);
  EXPECT_EQ(d->cy, 173);
  EXPECT_EQ(d->font, "MS Sans Serif");
  EXPECT_TRUE(d->ex_style & WS_EX_APPWINDOW);
  // A top-level window reads these bits as its title bar's buttons: close only.
  EXPECT_EQ(d->style & (WS_MINIMIZEBOX | WS_MAXIMIZEBOX), 0u);
  EXPECT_EQ(mfc_find_dialog(IDD_ABOUTBOX)->style & (WS_MINIMIZEBOX | WS_MAXIMIZEBOX), 0u);
  std::vector<int> ids;
  for (MfcNode* c : d->children) ids.push_back(c->id);
  EXPECT_EQ(ids, (std::vector<int>{2, 1002, 1003, -1, 1005, -1, 1006, -1, 1007, 1008, 1009, 1010, -1}));
  EXPECT_EQ(rig.text(IDC_STATIC_UPPER), "ready");
  EXPECT_EQ(rig.text(IDC_STATIC_LOWER), "ready");
  EXPECT_EQ(rig.text(IDC_EDIT_TITLE), "Quellmar ZENT Control");
  EXPECT_EQ(rig.text(IDC_EDIT_VERSION), "1.13");
  MfcNode* combo = mfc_node_child(d, IDC_COMBO_PORT);
  EXPECT_EQ(combo->items, (std::vector<std::string>{"COM1", "COM2", "COM3", "COM4", "COM5",
                                                    "COM6", "COM7", "COM8"}));
  EXPECT_EQ(combo->cur_sel, 0);
  EXPECT_FALSE(mfc_node_child(d, IDC_BUTTON_STDOUT)->visible);
  EXPECT_TRUE(mfc_node_child(d, IDC_BUTTON_DOWNLOAD)->enabled);
  EXPECT_EQ(mfc_node_child(d, IDC_PROGRESS)->pos, 0);
  EXPECT_EQ(mfc_node_child(d, IDC_PROGRESS)->range_hi, 100);
  MfcNode* label = find(d, "Software-Version");
  ASSERT_NE(label, nullptr);
  EXPECT_EQ(label->style & SS_TYPEMASK, SS_RIGHT);
  EXPECT_EQ(label->x, 27);
  EXPECT_EQ(label->y, 30);
  ASSERT_GE(d->sys_menu.size(), 2u);
  EXPECT_EQ(d->sys_menu[d->sys_menu.size() - 2].flags, MF_SEPARATOR);
  EXPECT_EQ(d->sys_menu.back().text, "&About main...");
  EXPECT_EQ(d->sys_menu.back().id, 0x10u);
  EXPECT_NE(d->icon_big, nullptr);
  EXPECT_EQ(d->icon_small, d->icon_big);
  EXPECT_EQ(GetFocus(), mfc_node_child(d, IDCANCEL)->hwnd);  // the first tab stop
}

TEST_F(MainDlgTest, CloseWithoutDownloadEndsTheModalLoopAtOnce) {
  DialogRig rig;
  Script s;
  s.steps.push_back([&] { mfc_post_click(rig.item(IDCANCEL)); });
  win32_msg_set_wait(Script::wait, &s);
  EXPECT_EQ(rig.dlg.DoModal(), IDCANCEL);
  EXPECT_TRUE(rig.boxes.empty());
  EXPECT_EQ(rig.dlg.m_hWnd, nullptr);
}

TEST_F(MainDlgTest, CloseDuringDownloadAsksAndOnlyYesSetsTheAbortFlag) {
  DialogRig rig;
  ASSERT_TRUE(rig.create());
  rig.dlg.m_is_programming = 1;
  rig.answer = [](const RigBox&) { return IDNO; };
  rig.dlg.PostMessage(WM_SYSCOMMAND, SC_CLOSE);  // the window's close command
  mfc_pump();
  ASSERT_EQ(rig.boxes.size(), 1u);
  EXPECT_EQ(rig.boxes[0].caption, "Warning");
  EXPECT_EQ(rig.boxes[0].type, 0x233u);
  EXPECT_EQ(rig.dlg.m_is_abort, 0);
  rig.answer = [](const RigBox&) { return IDYES; };
  mfc_post_click(rig.item(IDCANCEL));
  mfc_pump();
  EXPECT_EQ(rig.dlg.m_is_abort, 1);
  EXPECT_NE(rig.dlg.m_hWnd, nullptr);  // still open
  rig.dlg.m_is_programming = 0;
}

TEST_F(MainDlgTest, AboutEntryRunsTheAboutDialogModallyAndTheOwnerIgnoresItsCloseBox) {
  DialogRig rig;
  std::string caption, version;
  bool main_disabled = false, main_up_after = false;
  MfcNode* about = nullptr;
  Script s;
  s.steps.push_back([&] { rig.dlg.PostMessage(WM_SYSCOMMAND, 0x10); });
  s.steps.push_back([&] {  // inside the About dialog's loop
    about = mfc_node_tops().back();
    caption = about->text;
    version = about->children[1]->text;
    main_disabled = !rig.dlg.node()->enabled;
    rig.dlg.PostMessage(WM_SYSCOMMAND, SC_CLOSE);  // the window manager's close box
  });
  s.steps.push_back([&] {  // and again as if a download ran
    rig.dlg.m_is_programming = 1;
    rig.dlg.PostMessage(WM_SYSCOMMAND, SC_CLOSE);
  });
  s.steps.push_back([&] {
    rig.dlg.m_is_programming = 0;
    mfc_post_key(about->hwnd, VK_RETURN);  // OK is the default button
  });
  s.steps.push_back([&] {  // back in the main dialog's loop
    main_up_after = rig.dlg.m_hWnd != nullptr;
    mfc_post_click(rig.item(IDCANCEL));
  });
  win32_msg_set_wait(Script::wait, &s);
  theApp.m_pMainWnd = &rig.dlg;
  EXPECT_EQ(rig.dlg.DoModal(), IDCANCEL);
  theApp.m_pMainWnd = nullptr;
  EXPECT_EQ(caption, "About main");
  EXPECT_EQ(version, "main Version 1.13");
  EXPECT_TRUE(main_disabled);
  EXPECT_TRUE(rig.boxes.empty()) << rig.boxes[0].text;
  EXPECT_EQ(s.i, 5u);
  EXPECT_TRUE(main_up_after);
}

TEST_F(MainDlgTest, MinimisedWindowDrawsItsIconCentred) {
  DialogRig rig;
  ASSERT_TRUE(rig.create());
  rig.dlg.PostMessage(WM_SYSCOMMAND, SC_MINIMIZE);
  mfc_pump();
  ASSERT_TRUE(rig.dlg.IsIconic());
  rig.dlg.SendMessage(WM_PAINT);
  CRect r;
  rig.dlg.GetClientRect(&r);
  EXPECT_EQ(rig.dlg.node()->x_icon_drawn, (r.Width() - 32 + 1) / 2);
  EXPECT_EQ(rig.dlg.node()->y_icon_drawn, (r.Height() - 32 + 1) / 2);
  EXPECT_EQ((HICON)rig.dlg.SendMessage(WM_QUERYDRAGICON), rig.dlg.m_hIcon);
}

TEST_F(MainDlgTest, StatusHelpersWriteOnlyWhatTheyAreGiven) {
  DialogRig rig;
  ASSERT_TRUE(rig.create());
  EXPECT_EQ(show_status(nullptr, "x", "y", 5), 0);
  EXPECT_EQ(show_status(&rig.dlg, "up", nullptr, -1), 1);
  EXPECT_EQ(rig.text(IDC_STATIC_UPPER), "up");
  EXPECT_EQ(rig.text(IDC_STATIC_LOWER), "ready");
  show_progress(&rig.dlg, 1, 3);
  EXPECT_EQ(rig.text(IDC_STATIC_LOWER), "1 of 3 (33 %)");
  EXPECT_EQ(rig.dlg.m_progress.GetPos(), 33);
  EXPECT_EQ(rig.text(IDC_STATIC_UPPER), "up");
  show_progress(&rig.dlg, 0, 0);
  EXPECT_EQ(rig.text(IDC_STATIC_LOWER), "0 of 0 (0 %)");
  show_ready(&rig.dlg);
  EXPECT_EQ(rig.text(IDC_STATIC_UPPER), "ready");
  EXPECT_EQ(rig.dlg.m_progress.GetPos(), 0);
}

TEST_F(MainDlgTest, ResultLinesNameTheCode) {
  LogCapture log;
  EXPECT_EQ(print_l_result(0), 0);
  EXPECT_EQ(log.text(), "");
  EXPECT_EQ(print_l_result(1), 1);
  EXPECT_EQ(print_l_result(10), 10);
  EXPECT_EQ(print_l_result(11), 11);
  EXPECT_EQ(print_l_result(-3), -3);
  EXPECT_EQ(log.text(),
            "l_result =  1 (RMC_RES_ILL_FC      )\n"
            "l_result =  10 (RMC_RES_ERR_ELSE    )\n"
            "l_result =  11 (?]\n"
            "l_result =  -3 (?]\n");
}

TEST_F(MainDlgTest, ChunkLoopsRefuseMissingObjectsAndEmptyChunks) {
  LogCapture log;
  Rmc* rmc = Root_get_p_rmc(rig_root());
  EXPECT_EQ(send_set_with_do_write_xbram(nullptr, nullptr, 256, nullptr), 10);
  EXPECT_EQ(send_vm_with_do_write_flash(nullptr, rmc, 256, nullptr, 0), 10);
  EXPECT_EQ(log.text(), "");  // no line, no timing line
  // A chunk size below 1 would never advance: refused with a line.
  EXPECT_EQ(send_set_with_do_write_xbram(nullptr, rmc, 0, Root_get_p_set_loader(rig_root())), 10);
  EXPECT_EQ(send_vm_with_do_write_flash(nullptr, rmc, 0, Root_get_p_vmc(rig_root()), 1), 10);
  EXPECT_TRUE(log.contains("n_chunk = 0 < 1"));
  log.clear();
  EXPECT_EQ(send_partition_with_do_write_xbram(nullptr, 0, 0, rmc, 256, 0x400000, nullptr, 0), 0);
  EXPECT_EQ(log.text(), "sending partition to adr=00400000 n_bytes=0\n");
}

}  // namespace
