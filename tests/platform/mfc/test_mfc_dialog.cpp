/*
** test_mfc_dialog.cpp - the framework stand-in driven headless: a dialog made from a
** template, message-map routing of clicks and private messages, the dialog manager's keys
** only inside the modal loop (not for a plain dispatch, as during a download), the close
** command, nested modal loops with a disabled owner, timers, the system menu popup, data
** exchange, control setters and the front end's change notices.
*/
#include "mfc_app.h"
#include "win32_time.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

namespace {

const DWORD k_child = WS_CHILD | WS_VISIBLE;
const MfcDlgItem k_items[] = {
    {"BUTTON", "Close", IDCANCEL, k_child | WS_TABSTOP, 0, 100, 5, 40, 14},
    {"BUTTON", "Go", 1001, k_child | WS_TABSTOP, 0, 10, 5, 40, 14},
    {"BUTTON", "Hidden", 1002, WS_CHILD | WS_TABSTOP, 0, 10, 25, 40, 14},
    {"COMBOBOX", "", 1003, k_child | CBS_DROPDOWNLIST | WS_TABSTOP, 0, 10, 45, 40, 60},
    {"msctls_progress32", "", 1004, k_child, 0, 10, 65, 100, 10},
    {"SysListView32", "", 1005, k_child | LVS_REPORT, 0, 10, 80, 100, 50},
    {"STATIC", "label", 1006, k_child, 0, 10, 135, 100, 8},
};
const MfcDlgInit k_init[] = {{1003, CB_ADDSTRING, "A"}, {1003, CB_ADDSTRING, "B"}};
const MfcDlgItem k_box_items[] = {
    {"BUTTON", "OK", IDOK, k_child | BS_DEFPUSHBUTTON | WS_TABSTOP, 0, 10, 5, 40, 14},
};
const MfcDlgTemplate k_dialogs[] = {
    {200, "Test", WS_POPUP | WS_CAPTION | WS_SYSMENU | WS_VISIBLE, 0, 0, 0, 150, 150,
     "MS Sans Serif", 8, k_items, 7, k_init, 2},
    {201, "Box", WS_POPUP | WS_CAPTION | WS_SYSMENU, 0, 0, 0, 60, 30, "MS Sans Serif", 8,
     k_box_items, 1, nullptr, 0},
};
const MfcStringRes k_strings[] = {{5, "five"}};
const MfcResources k_res = {k_dialogs, 2, k_strings, 1, nullptr, 0};

class CBoxDlg : public CDialog {
 public:
  CBoxDlg() : CDialog(201) {}
};

class CTestDlg : public CDialog {
 public:
  CTestDlg() : CDialog(200) {}
  CComboBox m_combo;
  CProgressCtrl m_progress;
  CListCtrl m_list;
  int n_go = 0, n_cancel = 0, n_private = 0, n_timer = 0, n_about = 0;
  LPARAM l_private = 0;
  INT_PTR box_result = 0;
  std::function<void()> on_go;

  void DoDataExchange(CDataExchange* pDX) override {
    CDialog::DoDataExchange(pDX);
    DDX_Control(pDX, 1003, m_combo);
    DDX_Control(pDX, 1004, m_progress);
    DDX_Control(pDX, 1005, m_list);
  }
  void OnCancel() override {
    n_cancel++;
    CDialog::OnCancel();
  }
  void OnGo() {
    n_go++;
    if (on_go) on_go();
  }
  LRESULT OnPrivate(WPARAM, LPARAM l) {
    n_private++;
    l_private = l;
    return 5;
  }
  void OnTimer(UINT_PTR id) {
    n_timer++;
    CWnd::OnTimer(id);
  }
  void OnSysCommand(UINT id, LPARAM l) {
    if (id == 0x10)
      n_about++;
    else
      CDialog::OnSysCommand(id, l);
  }
  DECLARE_MESSAGE_MAP()
};

BEGIN_MESSAGE_MAP(CTestDlg, CDialog)
  ON_BN_CLICKED(1001, &CTestDlg::OnGo)
  ON_MESSAGE(WM_USER + 5, &CTestDlg::OnPrivate)
  ON_WM_TIMER()
  ON_WM_SYSCOMMAND()
END_MESSAGE_MAP()

/* A test script run by the modal loop's idle wait: each call does the next step. */
struct Script {
  std::vector<std::function<void()>> steps;
  size_t i = 0;
  static void wait(void* p, DWORD) {
    Script* s = (Script*)p;
    if (s->i < s->steps.size()) s->steps[s->i++]();
  }
};

struct DialogTest : ::testing::Test {
  void SetUp() override {
    mfc_resources_set(&k_res);
    win32_msg_clear();
  }
  void TearDown() override {
    win32_msg_set_wait(nullptr, nullptr);
    mfc_front_set(nullptr, nullptr);
    win32_msg_clear();
  }
  MfcNode* child(CWnd& dlg, int id) { return mfc_node_child(dlg.node(), id); }
};

TEST_F(DialogTest, CreateBuildsTheTemplateRunsInitAndBindsControls) {
  CTestDlg dlg;
  ASSERT_TRUE(dlg.Create(200));
  MfcNode* n = dlg.node();
  ASSERT_NE(n, nullptr);
  EXPECT_EQ(n->text, "Test");
  EXPECT_TRUE(n->visible);
  ASSERT_EQ(n->children.size(), 7u);
  EXPECT_EQ(n->children[0]->id, IDCANCEL);
  EXPECT_EQ(n->children[1]->kind, MFC_KIND_BUTTON);
  EXPECT_FALSE(child(dlg, 1002)->visible);
  EXPECT_EQ(dlg.m_combo.GetCount(), 2);  // from the initialisation data
  EXPECT_EQ(dlg.m_combo.GetCurSel(), -1);
  EXPECT_EQ(GetFocus(), child(dlg, IDCANCEL)->hwnd);  // first tab stop
  EXPECT_EQ(dlg.GetDlgItem(1006)->GetWindowTextStd(), "label");
  EXPECT_EQ(dlg.GetDlgItem(1003), &dlg.m_combo);
  EXPECT_EQ(dlg.GetDlgItem(4242), nullptr);
  dlg.DestroyWindow();
  EXPECT_EQ(dlg.m_hWnd, nullptr);
  EXPECT_EQ(dlg.m_combo.m_hWnd, nullptr);
  EXPECT_TRUE(mfc_node_tops().empty());
}

TEST_F(DialogTest, ClicksReachTheMapOnlyForEnabledVisibleButtons) {
  CTestDlg dlg;
  ASSERT_TRUE(dlg.Create(200));
  mfc_post_click(child(dlg, 1001)->hwnd);
  mfc_post_click(child(dlg, 1002)->hwnd);  // hidden
  EXPECT_EQ(mfc_pump(), 2);
  EXPECT_EQ(dlg.n_go, 1);
  dlg.GetDlgItem(1001)->EnableWindow(FALSE);
  mfc_post_click(child(dlg, 1001)->hwnd);
  mfc_pump();
  EXPECT_EQ(dlg.n_go, 1);
  EXPECT_EQ(dlg.SendMessage(WM_USER + 5, 0, 33), 5);
  EXPECT_EQ(dlg.l_private, 33);
}

TEST_F(DialogTest, EscapeIsADialogKeyOnlyThroughTheDialogManager) {
  CTestDlg dlg;
  ASSERT_TRUE(dlg.Create(200));
  // A plain dispatch, as the link's sleep callback does during a download.
  mfc_post_key(child(dlg, 1001)->hwnd, VK_ESCAPE);
  MSG m;
  ASSERT_TRUE(PeekMessageA(&m, nullptr, 0, 0, PM_REMOVE));
  TranslateMessage(&m);
  DispatchMessageA(&m);
  EXPECT_EQ(dlg.n_cancel, 0);
  // Through the pre-translation of a modal loop.
  mfc_post_key(child(dlg, 1001)->hwnd, VK_ESCAPE);
  mfc_pump();
  EXPECT_EQ(dlg.n_cancel, 1);
}

TEST_F(DialogTest, CloseCommandBecomesCancelAndDisabledCancelRefusesIt) {
  CTestDlg dlg;
  ASSERT_TRUE(dlg.Create(200));
  dlg.PostMessage(WM_SYSCOMMAND, SC_CLOSE, 0);
  mfc_pump();
  EXPECT_EQ(dlg.n_cancel, 1);
  dlg.GetDlgItem(IDCANCEL)->EnableWindow(FALSE);
  dlg.PostMessage(WM_CLOSE);
  mfc_pump();
  EXPECT_EQ(dlg.n_cancel, 1);
}

TEST_F(DialogTest, DoModalRunsUntilEndDialogAndDestroysTheWindow) {
  CTestDlg dlg;
  Script s;
  s.steps.push_back([&] { mfc_post_click(child(dlg, 1001)->hwnd); });
  s.steps.push_back([&] { mfc_post_key(dlg.m_hWnd, VK_ESCAPE); });
  win32_msg_set_wait(Script::wait, &s);
  EXPECT_EQ(dlg.DoModal(), IDCANCEL);
  EXPECT_EQ(dlg.n_go, 1);
  EXPECT_EQ(dlg.m_hWnd, nullptr);
  EXPECT_TRUE(mfc_node_tops().empty());
}

TEST_F(DialogTest, NestedModalDisablesTheOwnerUntilItEnds) {
  CTestDlg dlg;
  CWinApp app;
  app.m_pMainWnd = &dlg;
  bool owner_enabled_inside = true;
  bool click_ignored = false;
  CBoxDlg box;
  dlg.on_go = [&] { dlg.box_result = box.DoModal(); };
  Script s;
  s.steps.push_back([&] { mfc_post_click(child(dlg, 1001)->hwnd); });
  s.steps.push_back([&] {  // inside the box's loop
    owner_enabled_inside = dlg.IsWindowEnabled();
    mfc_post_click(child(dlg, 1001)->hwnd);
  });
  s.steps.push_back([&] {
    click_ignored = dlg.n_go == 1;
    mfc_post_key(box.m_hWnd, VK_RETURN);  // the default button: OK
  });
  s.steps.push_back([&] { dlg.PostMessage(WM_SYSCOMMAND, SC_CLOSE); });
  win32_msg_set_wait(Script::wait, &s);
  EXPECT_EQ(dlg.DoModal(), IDCANCEL);
  EXPECT_FALSE(owner_enabled_inside);
  EXPECT_TRUE(click_ignored);
  EXPECT_EQ(dlg.box_result, IDOK);
  app.m_pMainWnd = nullptr;
}

TEST_F(DialogTest, TimerMessagesFollowTheVirtualClock) {
  Win32VirtualClock clock(0);
  CTestDlg dlg;
  ASSERT_TRUE(dlg.Create(200));
  dlg.SetTimer(1, 100, nullptr);
  mfc_pump();
  EXPECT_EQ(dlg.n_timer, 0);
  clock.advance(250);
  mfc_pump();
  EXPECT_EQ(dlg.n_timer, 1);  // one per pump once due, never a backlog
  dlg.DestroyWindow();
  EXPECT_EQ(win32_timer_count(), 0);
}

TEST_F(DialogTest, SystemMenuPopupPostsTheChosenCommand) {
  CTestDlg dlg;
  ASSERT_TRUE(dlg.Create(200));
  CMenu* menu = dlg.GetSystemMenu(FALSE);
  ASSERT_NE(menu, nullptr);
  int n0 = menu->GetMenuItemCount();
  menu->AppendMenu(MF_SEPARATOR);
  menu->AppendMenu(MF_STRING, 0x10, "&About...");
  EXPECT_EQ(menu->GetMenuItemCount(), n0 + 2);
  MfcFront f = {};
  static int x_seen, y_seen;
  f.cb_popup_menu = [](void*, MfcNode* p, int x, int y) -> UINT_PTR {
    x_seen = x;
    y_seen = y;
    return p->sys_menu.back().id;
  };
  mfc_front_set(&f, nullptr);
  dlg.PostMessage(WM_CONTEXTMENU, (WPARAM)dlg.m_hWnd, (LPARAM)MAKEWPARAM(120, 340));  // right-click
  mfc_pump();
  EXPECT_EQ(dlg.n_about, 1);
  EXPECT_EQ(x_seen, 120);
  EXPECT_EQ(y_seen, 340);
  dlg.PostMessage(WM_SYSKEYDOWN, VK_SPACE, 0);  // Alt+Space: at the window
  mfc_pump();
  EXPECT_EQ(dlg.n_about, 2);
  EXPECT_EQ(x_seen, -1);
  dlg.EnableWindow(FALSE);  // a disabled window opens no menu
  dlg.PostMessage(WM_CONTEXTMENU, 0, 0);
  mfc_pump();
  EXPECT_EQ(dlg.n_about, 2);
}

TEST_F(DialogTest, ControlSettersClampAndTellTheFrontEndOnlyOfChanges) {
  struct Seen { std::vector<std::pair<int, int>> v; } seen;
  MfcFront f = {};
  f.cb_change = [](void* p, MfcNode* n, int what) { ((Seen*)p)->v.push_back({n->id, what}); };
  f.p = &seen;
  mfc_front_set(&f, nullptr);
  CTestDlg dlg;
  ASSERT_TRUE(dlg.Create(200));
  seen.v.clear();
  dlg.GetDlgItem(1006)->SetWindowText("new");
  dlg.GetDlgItem(1006)->SetWindowText("new");
  EXPECT_EQ(seen.v.size(), 1u);
  EXPECT_EQ(dlg.m_progress.SetPos(150), 0);
  EXPECT_EQ(dlg.m_progress.GetPos(), 100);
  dlg.m_progress.SetPos(-5);
  EXPECT_EQ(dlg.m_progress.GetPos(), 0);
  EXPECT_EQ(dlg.m_combo.SetCurSel(1), 1);
  EXPECT_EQ(dlg.m_combo.SetCurSel(2), -1);
  EXPECT_EQ(dlg.m_combo.GetCurSel(), -1);
  EXPECT_EQ(dlg.m_list.InsertColumn(0, "col", LVCFMT_LEFT, 1000, 0), 0);
  EXPECT_EQ(dlg.m_list.InsertItem(5, "a"), 0);  // appended
  EXPECT_TRUE(dlg.m_list.SetItem(0, 0, LVIF_TEXT, "b", 0, 0, 0, 0));
  EXPECT_FALSE(dlg.m_list.SetItem(1, 0, LVIF_TEXT, "c", 0, 0, 0, 0));
  EXPECT_EQ(dlg.m_list.GetItemText(0, 0), "b");
  EXPECT_FALSE(dlg.m_list.EnsureVisible(3, FALSE));
  EXPECT_TRUE(dlg.m_list.EnsureVisible(0, FALSE));
  EXPECT_EQ(dlg.m_list.node()->i_visible, 0);
}

TEST_F(DialogTest, MissingTemplateFailsAndStringsLoad) {
  CDialog dlg(999);
  EXPECT_EQ(dlg.DoModal(), -1);
  CString s;
  EXPECT_TRUE(s.LoadString(5));
  EXPECT_STREQ((LPCTSTR)s, "five");
  EXPECT_FALSE(s.LoadString(6));
  EXPECT_TRUE(s.IsEmpty());
}

}  // namespace
