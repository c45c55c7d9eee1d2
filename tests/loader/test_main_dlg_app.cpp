/*
** test_main_dlg_app.cpp - the application start-up: the application object exists before
** main, a Root that cannot be built gives only the error box and no dialog, and a built one
** runs the main dialog modally until it is closed.
*/
#include "main_app.h"
#include "main_dlg.h"

#include <gtest/gtest.h>

#include <string>

namespace {

struct Boxes {
  std::string text, caption;
  UINT type = 0;
  HWND owner = nullptr;
  int n = 0;
  static int answer(void* p, HWND h, LPCSTR t, LPCSTR c, UINT type) {
    Boxes* b = (Boxes*)p;
    b->text = t;
    b->caption = c;
    b->type = type;
    b->owner = h;
    b->n++;
    return IDOK;
  }
};

DbTerm* no_term(int, int) { return nullptr; }

TEST(AppStartUp, FailedRootGivesOnlyTheErrorBox) {
  EXPECT_EQ(AfxGetApp(), &theApp);
  EXPECT_EQ(App_get_p_root(), nullptr);
  Boxes boxes;
  win32_message_box_set_hook(&Boxes::answer, &boxes, nullptr, nullptr);
  HWND focus = win32_window_create(nullptr);
  SetFocus(focus);
  RootAllocSeam seam = {no_term, nullptr};
  Root_set_alloc_seam(&seam);
  EXPECT_FALSE(theApp.InitInstance());
  Root_set_alloc_seam(nullptr);
  win32_message_box_set_hook(nullptr, nullptr, nullptr, nullptr);
  EXPECT_EQ(boxes.n, 1);
  EXPECT_EQ(boxes.text, "Starting application failed !\nRoot_alloc() returned NULL");
  EXPECT_EQ(boxes.caption, "Error...");
  EXPECT_EQ(boxes.type, 0x30u);
  EXPECT_EQ(boxes.owner, focus);
  EXPECT_EQ(App_get_p_root(), nullptr);
  EXPECT_TRUE(mfc_node_tops().empty());  // no dialog was made
  SetFocus(nullptr);
  win32_window_destroy(focus);
}

TEST(AppStartUp, BuiltRootRunsTheMainDialogUntilItCloses) {
  int n_waits = 0;
  bool main_wnd_set = false;
  struct Ctx { int* n; bool* set; } ctx = {&n_waits, &main_wnd_set};
  win32_msg_set_wait([](void* p, DWORD) {
    Ctx* c = (Ctx*)p;
    if ((*c->n)++ > 0) return;
    *c->set = AfxGetMainWnd() != nullptr;
    MfcNode* dlg = mfc_node_tops().front();
    mfc_post_click(mfc_node_child(dlg, IDCANCEL)->hwnd);
  }, &ctx);
  EXPECT_FALSE(theApp.InitInstance());
  win32_msg_set_wait(nullptr, nullptr);
  ASSERT_NE(App_get_p_root(), nullptr);
  EXPECT_TRUE(main_wnd_set);
  EXPECT_EQ(AfxGetMainWnd(), nullptr);  // not left pointing at the dialog that is gone
  EXPECT_TRUE(mfc_node_tops().empty());
  DbTerm* t = Root_get_p_db_term(App_get_p_root());
  DbTerm_to_string(t, -1);
  EXPECT_EQ(std::string(DbTerm_get_p_str(t)).rfind("stdout is now connected to this virtual screen", 0), 0u);
}

}  // namespace
