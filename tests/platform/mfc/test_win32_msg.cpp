/*
** test_win32_msg.cpp - the message queue, timers, message boxes and focus of the win32
** stand-in: one message per PeekMessageA, WM_TIMER only when the queue is empty and only
** once per period on the process clock, timers gone with their window, the answering hook.
*/
#include "win32_handle.h"
#include "win32_time.h"
#include "win32_timer.h"
#include "win32_window.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

std::vector<MSG> g_seen;

LRESULT record(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
  g_seen.push_back(MSG{hwnd, message, wParam, lParam, 0});
  return 7;
}

struct QueueTest : ::testing::Test {
  void SetUp() override {
    win32_msg_clear();
    g_seen.clear();
    hwnd = win32_window_create(record);
  }
  void TearDown() override {
    win32_window_destroy(hwnd);
    win32_msg_clear();
  }
  HWND hwnd = nullptr;
};

TEST_F(QueueTest, PeekRemovesOneMessageInOrder) {
  PostMessageA(hwnd, WM_USER + 1, 1, 0);
  PostMessageA(hwnd, WM_USER + 2, 2, 0);
  MSG m;
  ASSERT_TRUE(PeekMessageA(&m, nullptr, 0, 0, PM_REMOVE));
  EXPECT_EQ(m.message, WM_USER + 1);
  EXPECT_EQ(win32_msg_count(), 1);
  EXPECT_EQ(DispatchMessageA(&m), 7);
  ASSERT_TRUE(PeekMessageA(&m, nullptr, 0, 0, PM_NOREMOVE));
  EXPECT_EQ(m.message, WM_USER + 2);
  EXPECT_EQ(win32_msg_count(), 1);
}

TEST_F(QueueTest, PostToUnknownWindowFailsAndDestroyedWindowDropsItsMessages) {
  EXPECT_FALSE(PostMessageA((HWND)0x7777777, WM_USER, 0, 0));
  EXPECT_EQ(GetLastError(), ERROR_INVALID_HANDLE);
  HWND other = win32_window_create(record);
  PostMessageA(other, WM_USER, 0, 0);
  win32_window_destroy(other);
  MSG m;
  ASSERT_TRUE(PeekMessageA(&m, nullptr, 0, 0, PM_REMOVE));
  EXPECT_EQ(DispatchMessageA(&m), 0);
  EXPECT_TRUE(g_seen.empty());
}

TEST_F(QueueTest, TimerFiresOncePerPeriodOnlyWhenQueueIsEmpty) {
  Win32VirtualClock clock(1000);
  ASSERT_EQ(SetTimer(hwnd, 1, 100, nullptr), 1u);
  MSG m;
  EXPECT_FALSE(PeekMessageA(&m, nullptr, 0, 0, PM_REMOVE));
  clock.advance(100);
  PostMessageA(hwnd, WM_USER, 0, 0);
  ASSERT_TRUE(PeekMessageA(&m, nullptr, 0, 0, PM_REMOVE));
  EXPECT_EQ(m.message, WM_USER);  // posted messages go first
  ASSERT_TRUE(PeekMessageA(&m, nullptr, 0, 0, PM_REMOVE));
  EXPECT_EQ(m.message, WM_TIMER);
  EXPECT_EQ(m.wParam, 1u);
  EXPECT_FALSE(PeekMessageA(&m, nullptr, 0, 0, PM_REMOVE));  // one per period
  clock.advance(99);
  EXPECT_FALSE(PeekMessageA(&m, nullptr, 0, 0, PM_REMOVE));
  clock.advance(1);
  EXPECT_TRUE(PeekMessageA(&m, nullptr, 0, 0, PM_REMOVE));
  EXPECT_TRUE(KillTimer(hwnd, 1));
  EXPECT_FALSE(KillTimer(hwnd, 1));
}

TEST_F(QueueTest, TimersEndWithTheirWindow) {
  HWND other = win32_window_create(record);
  SetTimer(other, 3, 10, nullptr);
  EXPECT_EQ(win32_timer_count(), 1);
  win32_window_destroy(other);
  EXPECT_EQ(win32_timer_count(), 0);
  EXPECT_EQ(SetTimer(other, 3, 10, nullptr), 0u);
  EXPECT_EQ(win32_timer_ms_to_next(), INFINITE);
}

TEST_F(QueueTest, PumpHookRunsBeforeThePeekAndMayPost) {
  struct Ctx { HWND h; int n; } ctx = {hwnd, 0};
  win32_msg_set_pump([](void* p) {
    Ctx* c = (Ctx*)p;
    if (c->n++ == 0) PostMessageA(c->h, WM_USER + 9, 0, 0);
  }, &ctx);
  MSG m;
  EXPECT_TRUE(PeekMessageA(&m, nullptr, 0, 0, PM_REMOVE));
  EXPECT_EQ(m.message, WM_USER + 9);
  win32_msg_set_pump(nullptr, nullptr);
}

TEST(MessageBox, HookAnswersAndDefaultsFollowTheType) {
  EXPECT_EQ(win32_message_box_default(MB_YESNOCANCEL | MB_ICONEXCLAMATION | MB_DEFBUTTON2), IDNO);
  EXPECT_EQ(win32_message_box_default(MB_ICONEXCLAMATION), IDOK);
  int ids[3];
  ASSERT_EQ(win32_message_box_buttons(0x233, ids), 3);
  EXPECT_EQ(ids[0], IDYES);
  EXPECT_EQ(ids[2], IDCANCEL);
  EXPECT_EQ(win32_message_box_default(0x233), IDCANCEL);  // Win32's third button
  EXPECT_EQ(MessageBoxA(nullptr, "x", "c", MB_OKCANCEL | MB_DEFBUTTON2), IDCANCEL);  // no hook
  struct Ctx { std::string text; UINT type; } ctx;
  win32_message_box_set_hook([](void* p, HWND, LPCSTR t, LPCSTR, UINT type) {
    ((Ctx*)p)->text = t;
    ((Ctx*)p)->type = type;
    return IDYES;
  }, &ctx, nullptr, nullptr);
  EXPECT_EQ(MessageBoxA(nullptr, "question", "Warning", 0x233), IDYES);
  EXPECT_EQ(ctx.text, "question");
  EXPECT_EQ(ctx.type, 0x233u);
  win32_message_box_set_hook(nullptr, nullptr, nullptr, nullptr);
}

TEST(Focus, SetFocusReturnsThePreviousOwner) {
  HWND a = win32_window_create(nullptr);
  EXPECT_EQ(SetFocus(a), nullptr);
  EXPECT_EQ(GetFocus(), a);
  EXPECT_EQ(SetFocus(nullptr), a);
  win32_window_destroy(a);
  EXPECT_EQ(GetSystemMetrics(SM_CXICON), 32);
}

}  // namespace
