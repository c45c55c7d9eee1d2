/*
** test_download.cpp - the download sequence through the main dialog, against the target
** unit simulator over a pseudo-terminal with the real Uart, on the virtual clock: a full
** run that the unit accepts, the flash-loader progress, the unit's faults (wrong CPU type,
** silence, exception replies at the erase and at a chunk), interruptions confirmed at
** different moments, and the port failures before any traffic.
*/
#include "test_download_rig.h"

#include "log_capture.h"
#include "uv_mem_presets.h"

#include <gtest/gtest.h>

#include <algorithm>

namespace {

const char k_success[] = "Application successfully downloaded !";

struct DownloadTest : ::testing::Test {
  void SetUp() override {
    ASSERT_NE(rig_root(), nullptr);
    win32_msg_clear();
  }
  Win32VirtualClock clock{1000};
};

/* Requests a run sends before the programming step: wake-up, CPU type, the flash loader's
** chunks, jump, erase, blank check. */
int requests_before_programming() { return 2 + rig_n_loader_chunks() + 3; }

TEST_F(DownloadTest, FullRunProgramsTheUnitAndItStartsTheApplication) {
  UnitRig unit;
  ASSERT_TRUE(unit.ok());
  DialogRig rig;
  ASSERT_TRUE(rig.create());
  LogCapture log;
  rig.download();
  unit.stop();
  ASSERT_EQ(rig.boxes.size(), 1u) << rig.box_texts() << unit.report(log.text());
  EXPECT_EQ(rig.boxes[0].text, k_success);
  EXPECT_EQ(rig.boxes[0].caption, "Ok");
  EXPECT_EQ(rig.boxes[0].type, 0x30u);
  EXPECT_FALSE(rig.boxes[0].download_enabled);  // the port closes after the box
  ASSERT_NE(Unit_get_verdict(unit.unit()), nullptr) << unit.report(log.text());
  EXPECT_EQ(Unit_get_verdict(unit.unit())->code, UNIT_VERDICT_OK);
  EXPECT_EQ(Unit_get_state(unit.unit()), UNIT_APPLICATION);
  // The signature byte went last and alone.
  EXPECT_EQ(unit.count("0x25 program flash adr=0x180010 n=1"), 1);
  std::string t = unit.trace();
  EXPECT_LT(t.find("0x25 program flash adr=0x180000 n=256"), t.find("adr=0x180010 n=1"));
  EXPECT_EQ(rig.uppers, (std::vector<std::string>{
                            "Activating bootloader...", "Checking CPU-type...",
                            "Downloading flash loader...", "Starting flash loader...",
                            "Erasing application sectors...", "Blank checking application sectors...",
                            "Programming application...", "Updating application signature...",
                            "Starting application...", "ready"}));
  EXPECT_EQ(rig.text(IDC_STATIC_LOWER), "ready");
  EXPECT_EQ(mfc_node_child(rig.dlg.node(), IDC_PROGRESS)->pos, 0);
  EXPECT_TRUE(mfc_node_child(rig.dlg.node(), IDC_BUTTON_DOWNLOAD)->enabled);
  EXPECT_EQ(rig.dlg.m_is_programming, 0);
  EXPECT_EQ(Root_get_p_rmc(rig_root())->t_receive_ms, 100000u);
  EXPECT_EQ(UvMem_read_byte(Root_get_p_vmc(rig_root()), 0x180010), 0x47);
  EXPECT_TRUE(log.contains("Activating bootloader\nChecking CPU-type\nDownload flash loader\n"));
  EXPECT_TRUE(log.contains("Programming application\n"));
  EXPECT_TRUE(log.contains("download took "));
  EXPECT_FALSE(log.contains("l_result"));
  // After the flash loader, the programming display never reaches 100 %.
  auto it = std::find(rig.lowers.begin(), rig.lowers.end(), "33921 of 33921 (100 %)");
  ASSERT_NE(it, rig.lowers.end());
  for (++it; it != rig.lowers.end(); ++it) EXPECT_EQ(it->find("(100 %)"), std::string::npos) << *it;
}

TEST_F(DownloadTest, FlashLoaderStepEndsAtItsFullSize) {
  UnitRig unit;
  DialogRig rig;
  ASSERT_TRUE(rig.create());
  LogCapture log;
  rig.download();
  unit.stop();
  auto it = std::find(rig.lowers.begin(), rig.lowers.end(), "33921 of 33921 (100 %)");
  ASSERT_NE(it, rig.lowers.end()) << rig.box_texts() << unit.report(log.text());
  ASSERT_NE(it + 1, rig.lowers.end());
  EXPECT_EQ(*(it + 1), "");  // cleared by the next step
  EXPECT_TRUE(std::find(rig.positions.begin(), rig.positions.end(), 100) != rig.positions.end());
  EXPECT_TRUE(rig.saw_lower("256 of 33921 (0 %)"));
}

TEST_F(DownloadTest, WrongCpuTypeStopsWithoutResultLineOrFurtherRequests) {
  UnitRig unit([](UnitConfig& c) { c.cpu_type = 2; });
  DialogRig rig;
  ASSERT_TRUE(rig.create());
  LogCapture log;
  DWORD t0 = clock.now();
  rig.download();
  unit.stop();
  ASSERT_EQ(rig.boxes.size(), 1u) << rig.box_texts() << unit.report(log.text());
  EXPECT_EQ(rig.boxes[0].text, "This program version supports 504-CPU's only !");
  EXPECT_EQ(rig.boxes[0].caption, "Error...");
  EXPECT_FALSE(log.contains("l_result"));
  EXPECT_EQ(Unit_get_stats(unit.unit()).n_requests, 2);
  EXPECT_GE(clock.now() - t0, 1000u);  // both pauses still ran
  EXPECT_EQ(rig.text(IDC_STATIC_UPPER), "ready");
  EXPECT_TRUE(mfc_node_child(rig.dlg.node(), IDC_BUTTON_DOWNLOAD)->enabled);
}

TEST_F(DownloadTest, FailedCpuTypeRequestGivesBothBoxes) {
  // The values examined after a failed request are what the reply buffer gave: here the
  // exception reply's code, which is no CPU type 1.
  UnitRig unit([](UnitConfig& c) {
    c.k_fault = 2;
    c.fault_exception = 4;
  });
  DialogRig rig;
  ASSERT_TRUE(rig.create());
  LogCapture log;
  rig.download();
  unit.stop();
  ASSERT_EQ(rig.boxes.size(), 2u) << rig.box_texts() << unit.report(log.text());
  EXPECT_EQ(rig.boxes[0].text, "Checking CPU-type failed !");
  EXPECT_EQ(rig.boxes[1].text, "This program version supports 504-CPU's only !");
  EXPECT_TRUE(log.contains("l_result =  4 (RMC_RES_DEV_FAIL    )\n"));
  EXPECT_EQ(Unit_get_stats(unit.unit()).n_requests, 2);
}

TEST_F(DownloadTest, FailuresAfterProgrammingShowTheirOwnBoxes) {
  // The signature write and the start request fail in turn: each its own box, and a unit
  // whose signature was refused does not start.
  UvMem* vmc = Root_get_p_vmc(rig_root());
  int n_chunks = 0;
  for (uint32_t a = 0x180000; a < 0x180000 + 0x60000; a += 256)
    n_chunks += !UvMem_is_filled_with(vmc, a, 256, 0xFF);
  const struct { int k_after; const char* box; } cases[] = {
      {1, "Updating application signature !"}, {2, "Starting application failed !"}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.box);
    UnitRig unit([&](UnitConfig& cfg) {
      cfg.k_fault = requests_before_programming() + n_chunks + c.k_after;
      cfg.fault_exception = 3;
    });
    DialogRig rig;
    ASSERT_TRUE(rig.create());
    LogCapture log;
    rig.download();
    unit.stop();
    ASSERT_EQ(rig.boxes.size(), 1u) << rig.box_texts() << unit.report(log.text());
    EXPECT_EQ(rig.boxes[0].text, c.box);
    EXPECT_EQ(rig.boxes[0].caption, "Error...");
    EXPECT_TRUE(log.contains("l_result =  3 (RMC_RES_ILL_DATA_VAL)\n"));
    EXPECT_EQ(Unit_get_stats(unit.unit()).n_requests, requests_before_programming() + n_chunks + c.k_after);
    EXPECT_NE(Unit_get_state(unit.unit()), UNIT_APPLICATION);
    EXPECT_EQ(rig.text(IDC_STATIC_UPPER), "ready");
  }
}

TEST_F(DownloadTest, SilentUnitTimesOutOnTheWakeUp) {
  UnitRig unit([](UnitConfig& c) {
    c.k_fault = 1;
    c.fault_exception = 0;
    c.t_idle_advance_ms = 50;  // the unit's quiet polls move the virtual clock
  });
  DialogRig rig;
  ASSERT_TRUE(rig.create());
  LogCapture log;
  DWORD t0 = clock.now();
  rig.download();
  unit.stop();
  ASSERT_EQ(rig.boxes.size(), 1u) << rig.box_texts() << unit.report(log.text());
  EXPECT_EQ(rig.boxes[0].text, "Activating bootloader failed !");
  EXPECT_TRUE(log.contains("send_and_receive returned 9 (RMC_RES_ERR_REC     )"
                           "l_result =  9 (RMC_RES_ERR_REC     )\n")) << log.text();
  EXPECT_GE(clock.now() - t0, 2000u);  // the reply time-out and the two pauses
  EXPECT_EQ(rig.text(IDC_STATIC_UPPER), "ready");
  EXPECT_EQ(rig.text(IDC_STATIC_LOWER), "ready");
  EXPECT_TRUE(mfc_node_child(rig.dlg.node(), IDC_BUTTON_DOWNLOAD)->enabled);
  // The port was closed: it opens again at once.
  Uart* uart = Root_get_p_uart(rig_root());
  EXPECT_EQ(Uart_open(uart, "COM1", 115200, 8, 0, 0), 1);
  Uart_close(uart);
}

TEST_F(DownloadTest, ExceptionAtTheEraseSkipsTheRest) {
  UnitRig unit([](UnitConfig& c) {
    c.k_fault = 2 + rig_n_loader_chunks() + 2;
    c.fault_exception = 4;
  });
  DialogRig rig;
  ASSERT_TRUE(rig.create());
  LogCapture log;
  rig.download();
  unit.stop();
  ASSERT_EQ(rig.boxes.size(), 1u) << rig.box_texts() << unit.report(log.text());
  EXPECT_EQ(rig.boxes[0].text, "Erasing application sectors failed !");
  EXPECT_TRUE(log.contains("l_result =  4 (RMC_RES_DEV_FAIL    )\n"));
  EXPECT_EQ(Unit_get_stats(unit.unit()).n_requests, 2 + rig_n_loader_chunks() + 2);
  EXPECT_EQ(unit.count("0x25"), 0);
}

TEST_F(DownloadTest, FailingChunkStopsProgrammingAndRestoresTheSignature) {
  UnitRig unit([](UnitConfig& c) {
    c.k_fault = requests_before_programming() + 2;  // the second chunk
    c.fault_exception = 2;
  });
  DialogRig rig;
  ASSERT_TRUE(rig.create());
  LogCapture log;
  rig.download();
  unit.stop();
  ASSERT_EQ(rig.boxes.size(), 1u) << rig.box_texts() << unit.report(log.text());
  EXPECT_EQ(rig.boxes[0].text, "Programming application failed !");
  EXPECT_TRUE(log.contains("writing to address 00180100 failed")) << log.text();
  EXPECT_TRUE(log.contains("l_result =  2 (RMC_RES_ILL_DATA_ADR)\n"));
  EXPECT_TRUE(log.contains("download took "));
  EXPECT_EQ(UvMem_read_byte(Root_get_p_vmc(rig_root()), 0x180010), 0x47);
  EXPECT_EQ(Unit_get_verdict(unit.unit()), nullptr);
}

TEST_F(DownloadTest, YesDuringProgrammingStopsAfterTheChunkInProgress) {
  UnitRig unit;
  DialogRig rig;
  ASSERT_TRUE(rig.create());
  rig.on_upper = [&](const std::string& t) {
    if (t == "Programming application...") mfc_post_click(rig.item(IDCANCEL));
  };
  // The click is dispatched at the link's first idle wait: normally in the first chunk's
  // frame, on a loaded machine maybe a few chunks later. Nothing may follow that chunk.
  int n_before_answer = -1;
  rig.answer = [&](const RigBox& b) {
    if (b.caption != "Warning") return IDOK;
    n_before_answer = unit.count("0x25");
    return IDYES;
  };
  LogCapture log;
  rig.download();
  unit.stop();
  ASSERT_EQ(rig.boxes.size(), 2u) << rig.box_texts() << unit.report(log.text());
  EXPECT_EQ(rig.boxes[0].text,
            "Programming of the flash memory has not yet completed !\n\n"
            "Do you want to interrupt programming ?\n");
  EXPECT_EQ(rig.boxes[0].caption, "Warning");
  EXPECT_EQ(rig.boxes[0].type, 0x233u);
  EXPECT_EQ(rig.boxes[1].text, "Programming application failed !");
  EXPECT_TRUE(log.contains("l_result =  10 (RMC_RES_ERR_ELSE    )\n"));
  ASSERT_GE(n_before_answer, 0);
  EXPECT_GE(unit.count("0x25"), 1);  // the chunk in progress, nothing after it
  EXPECT_LE(unit.count("0x25"), n_before_answer + 1);
  EXPECT_EQ(unit.count("adr=0x180010 n=1"), 0);
  EXPECT_NE(UnitMem_get_p_flash(Unit_get_mem(unit.unit()))[0x10], 0x47);
  EXPECT_EQ(Unit_get_verdict(unit.unit()), nullptr);
  EXPECT_EQ(rig.dlg.m_is_abort, 1);  // kept until the next run
  EXPECT_TRUE(rig.dlg.m_hWnd != nullptr);  // the question never closes the dialog
}

TEST_F(DownloadTest, YesDuringTheEraseStopsAfterTheFirstNonBlankChunk) {
  UnitRig unit;
  DialogRig rig;
  ASSERT_TRUE(rig.create());
  // The close command given inside the erase step, as the sleep callback would run it; sent
  // here rather than posted, so that no idle wait decides which step it falls into.
  rig.on_upper = [&](const std::string& t) {
    if (t == "Erasing application sectors...")
      rig.dlg.SendMessage(WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED), 0);
  };
  rig.answer = [](const RigBox& b) { return b.caption == "Warning" ? IDYES : IDOK; };
  LogCapture log;
  rig.download();
  unit.stop();
  ASSERT_EQ(rig.boxes.size(), 2u) << rig.box_texts() << unit.report(log.text());
  EXPECT_EQ(rig.boxes[1].text, "Programming application failed !");
  EXPECT_EQ(unit.count("0x23"), 1);  // erase and blank check still ran
  EXPECT_EQ(unit.count("0x24"), 1);
  EXPECT_EQ(unit.count("0x25"), 1);  // the first non-blank chunk, then the loop stops
  EXPECT_EQ(unit.count("adr=0x180010 n=1"), 0);
}

TEST_F(DownloadTest, EscapeDoesNotReachTheCancelHandlerDuringARunButCloseDoes) {
  // The sleep callback dispatches without the dialog manager: a key press goes to the
  // focused control as it is and is lost; the Close button's click reaches the handler.
  UnitRig unit;
  DialogRig rig;
  ASSERT_TRUE(rig.create());
  rig.on_upper = [&](const std::string& t) {
    if (t != "Downloading flash loader...") return;
    mfc_post_key(GetFocus() ? GetFocus() : rig.dlg.m_hWnd, VK_ESCAPE);
    mfc_post_key(rig.dlg.m_hWnd, VK_ESCAPE);
    mfc_post_click(rig.item(IDCANCEL));
  };
  int n_asked = 0, n_asked_in_run = 0;
  rig.answer = [&](const RigBox& b) {
    if (b.caption != "Warning") return IDOK;
    n_asked++;
    n_asked_in_run += rig.dlg.m_is_programming;
    return IDNO;
  };
  LogCapture log;
  rig.download();
  unit.stop();
  EXPECT_EQ(n_asked, 1) << rig.box_texts();  // the click's question, none for the keys before it
  EXPECT_EQ(n_asked_in_run, 1);
  EXPECT_TRUE(rig.has_box(k_success)) << rig.box_texts() << unit.report(log.text());
  EXPECT_TRUE(rig.dlg.IsWindowVisible());
  EXPECT_EQ(win32_msg_count(), 0);
}

TEST_F(DownloadTest, AboutDialogOpenedDuringARunHoldsItUntilClosed) {
  // The system-menu command reaches the dialog from the link's sleep callback; the About
  // dialog's own modal loop then runs nested, and the run goes on once it is closed.
  UnitRig unit;
  DialogRig rig;
  ASSERT_TRUE(rig.create());
  theApp.m_pMainWnd = &rig.dlg;
  rig.on_upper = [&](const std::string& t) {
    if (t == "Erasing application sectors...") rig.dlg.PostMessage(WM_SYSCOMMAND, 0x10);
  };
  struct Ctx { DialogRig* rig; int n_about = 0, n_in_run = 0; bool main_disabled = false; } ctx{&rig};
  win32_msg_set_wait([](void* p, DWORD) {  // the About dialog's loop waits: press Return
    Ctx* c = (Ctx*)p;
    MfcNode* about = mfc_node_tops().back();
    if (about->text != "About main") return;
    c->n_about++;
    c->n_in_run += c->rig->dlg.m_is_programming;
    c->main_disabled = !c->rig->dlg.node()->enabled;
    mfc_post_key(GetFocus(), VK_RETURN);
  }, &ctx);
  LogCapture log;
  rig.download();
  win32_msg_set_wait(nullptr, nullptr);
  theApp.m_pMainWnd = nullptr;
  unit.stop();
  EXPECT_EQ(ctx.n_about, 1);
  EXPECT_EQ(ctx.n_in_run, 1);
  EXPECT_TRUE(ctx.main_disabled);  // modal: the main dialog takes no input meanwhile
  EXPECT_TRUE(rig.dlg.node()->enabled);
  EXPECT_EQ(mfc_node_tops().size(), 1u);
  ASSERT_EQ(rig.boxes.size(), 1u) << rig.box_texts() << unit.report(log.text());
  EXPECT_EQ(rig.boxes[0].text, k_success);
}

TEST_F(DownloadTest, NoOrCancelToTheQuestionChangesNothing) {
  UnitRig unit;
  DialogRig rig;
  ASSERT_TRUE(rig.create());
  int n_asked = 0;
  rig.on_upper = [&](const std::string& t) {
    if (t == "Downloading flash loader..." || t == "Programming application...")
      mfc_post_click(rig.item(IDCANCEL));
  };
  rig.answer = [&](const RigBox& b) {
    if (b.caption != "Warning") return IDOK;
    return ++n_asked == 1 ? IDNO : IDCANCEL;
  };
  LogCapture log;
  rig.download();
  unit.stop();
  EXPECT_EQ(n_asked, 2) << rig.box_texts();
  EXPECT_TRUE(rig.has_box(k_success)) << rig.box_texts() << unit.report(log.text());
  ASSERT_NE(Unit_get_verdict(unit.unit()), nullptr) << unit.report(log.text());
  EXPECT_EQ(Unit_get_verdict(unit.unit())->code, UNIT_VERDICT_OK);
}

/* The loader's end of the line with the time a real line takes: a click on Close made while
** the erase request is on the wire is dispatched while the link waits for the unit's DLE
** after the frame, as it mostly is on a real line (the pseudo-terminal takes no time). */
class ClickWhileTheFrameIsOnTheWire {
public:
  ClickWhileTheFrameIsOnTheWire(Co3964* p_co, HWND button) : co_(p_co), button_(button) {
    saved_ = *co_;
    co_->p_uart = this;
    co_->cb_uart_send_byte = &ClickWhileTheFrameIsOnTheWire::send_byte;
    co_->cb_uart_receive_byte_nw = &ClickWhileTheFrameIsOnTheWire::receive;
    co_->cb_uart_send_with_dle = &ClickWhileTheFrameIsOnTheWire::send_with_dle;
  }
  ~ClickWhileTheFrameIsOnTheWire() {
    co_->p_uart = saved_.p_uart;
    co_->cb_uart_send_byte = saved_.cb_uart_send_byte;
    co_->cb_uart_receive_byte_nw = saved_.cb_uart_receive_byte_nw;
    co_->cb_uart_send_with_dle = saved_.cb_uart_send_with_dle;
  }
  /* The next request goes out: STX, its data, DLE, ETX and the BCC. */
  void arm() { n_bytes_ = 0; }
  /* The click has been dispatched: the unit's answer may come in. */
  void landed() { n_held_ = 0; }

private:
  static int send_byte(void* p, int ch) {
    auto* w = (ClickWhileTheFrameIsOnTheWire*)p;
    if (w->n_bytes_ >= 0 && ++w->n_bytes_ == 4) {  // the BCC: the frame is on the wire
      mfc_post_click(w->button_);
      w->n_bytes_ = -1;
      w->n_held_ = 10000;  // bounded, should the click never come through
    }
    return w->saved_.cb_uart_send_byte(w->saved_.p_uart, ch);
  }
  static uint32_t send_with_dle(void* p, int n, const uint8_t* p_bytes) {
    auto* w = (ClickWhileTheFrameIsOnTheWire*)p;
    return w->saved_.cb_uart_send_with_dle(w->saved_.p_uart, n, p_bytes);
  }
  static int receive(void* p) {
    auto* w = (ClickWhileTheFrameIsOnTheWire*)p;
    if (w->n_held_ > 0) {  // the unit's DLE is not back before the click is taken
      w->n_held_--;
      return -1;
    }
    return w->saved_.cb_uart_receive_byte_nw(w->saved_.p_uart);
  }
  Co3964* co_;
  HWND button_;
  Co3964 saved_;
  int n_bytes_ = -1;
  int n_held_ = 0;
};

TEST_F(DownloadTest, SlowAnswerInsideAFrameExchangeLosesNothing) {
  // The question holds the run between the erase request and the unit's DLE for it: the
  // unit acknowledges, erases and offers its reply, repeating the STX every 2 s. The reply
  // still arrives whole.
  UnitRig unit;
  DialogRig rig;
  ASSERT_TRUE(rig.create());
  ClickWhileTheFrameIsOnTheWire wire(Root_get_p_co(rig_root()), rig.item(IDCANCEL));
  rig.on_upper = [&](const std::string& t) {
    if (t == "Erasing application sectors...") wire.arm();
  };
  DWORD t_thought = 0;
  int32_t state_asked = -1;
  rig.answer = [&](const RigBox& b) {
    if (b.caption != "Warning") return IDOK;
    wire.landed();
    state_asked = Root_get_p_co(rig_root())->state;
    DWORD t = clock.now();
    Sleep(5000);  // the user thinks it over while the unit offers its reply three times
    t_thought = clock.now() - t;
    return IDNO;
  };
  LogCapture log;
  rig.download();
  unit.stop();
  EXPECT_EQ(state_asked, 25);  // waiting for the DLE after the request
  EXPECT_EQ(t_thought, 5000u);
  ASSERT_EQ(rig.boxes.size(), 2u) << rig.box_texts() << unit.report(log.text());
  EXPECT_EQ(rig.boxes.back().text, k_success) << unit.report(log.text());
  ASSERT_NE(Unit_get_verdict(unit.unit()), nullptr) << unit.report(log.text());
  EXPECT_EQ(Unit_get_verdict(unit.unit())->code, UNIT_VERDICT_OK);
  EXPECT_EQ(rig.dlg.m_is_programming, 0);
  EXPECT_TRUE(mfc_node_child(rig.dlg.node(), IDC_BUTTON_DOWNLOAD)->enabled);
  EXPECT_EQ(rig.text(IDC_STATIC_UPPER), "ready");
}

TEST_F(DownloadTest, SecondRunAfterAnAbortStartsClean) {
  UnitRig unit;
  DialogRig rig;
  ASSERT_TRUE(rig.create());
  rig.on_upper = [&](const std::string& t) {
    if (t == "Downloading flash loader...") mfc_post_click(rig.item(IDCANCEL));
  };
  int n_before_answer = -1;
  rig.answer = [&](const RigBox& b) {
    if (b.caption != "Warning") return IDOK;
    n_before_answer = unit.count("0x13");
    return IDYES;
  };
  LogCapture log;
  rig.download();
  ASSERT_TRUE(rig.has_box("Download of Flashloader failed !")) << rig.box_texts() << unit.report(log.text());
  ASSERT_GE(n_before_answer, 0);
  EXPECT_GE(unit.count("0x13"), 1);  // the chunk in progress, nothing after it
  EXPECT_LE(unit.count("0x13"), n_before_answer + 1);
  EXPECT_EQ(unit.count("0x12"), 0);
  rig.boxes.clear();
  int32_t abort_at_start = -1;
  uint32_t t_reply_at_start = 0;
  rig.on_upper = [&](const std::string& t) {
    if (t != "Activating bootloader...") return;
    abort_at_start = rig.dlg.m_is_abort;
    t_reply_at_start = Root_get_p_rmc(rig_root())->t_receive_ms;
  };
  rig.download();
  unit.stop();
  EXPECT_EQ(abort_at_start, 0);
  EXPECT_EQ(t_reply_at_start, 1000u);
  ASSERT_EQ(rig.boxes.size(), 1u) << rig.box_texts() << unit.report(log.text());
  EXPECT_EQ(rig.boxes[0].text, k_success);
  ASSERT_NE(Unit_get_verdict(unit.unit()), nullptr) << unit.report(log.text());
  EXPECT_EQ(Unit_get_verdict(unit.unit())->code, UNIT_VERDICT_OK);
}

TEST_F(DownloadTest, OnlyNonBlankChunksAreSentAndTheSignatureGoesAlone) {
  // A code image whose only non-blank chunk is its first, in place of the prepared one.
  Root* root = rig_root();
  Root_get_p_vmc(root);
  UvMem* prepared = root->p_vmc;
  int n_prepared = root->n_vmc;
  UvMem* vm = UvMem_alloc_as_zent_code_504();
  ASSERT_NE(vm, nullptr);
  UvMem_fill(vm, 0xFF);
  for (uint32_t a = 0x180000; a < 0x180100; a++) UvMem_write_byte(vm, a, (uint8_t)(a * 7));
  UvMem_write_byte(vm, 0x180010, 0x47);
  root->p_vmc = vm;
  root->n_vmc = 256;
  UnitRig unit;
  DialogRig rig;
  ASSERT_TRUE(rig.create());
  size_t n_lowers = 0;
  rig.on_upper = [&](const std::string& t) {
    if (t == "Programming application...") n_lowers = rig.lowers.size();
  };
  LogCapture log;
  rig.download();
  unit.stop();
  root->p_vmc = prepared;
  root->n_vmc = n_prepared;
  EXPECT_EQ(unit.count("0x25 program"), 2);
  EXPECT_EQ(unit.count("0x25 program flash adr=0x180000 n=256"), 1);
  EXPECT_EQ(unit.count("0x25 program flash adr=0x180010 n=1"), 1);
  EXPECT_EQ(UnitMem_get_p_flash(Unit_get_mem(unit.unit()))[0x10], 0x47);  // programmed alone
  for (size_t i = n_lowers; i < rig.lowers.size(); i++)  // 0x180000 is not at 0x1000 of 8 KiB
    EXPECT_EQ(rig.lowers[i].find(" of "), std::string::npos) << rig.lowers[i];
  EXPECT_TRUE(log.contains("download took "));
  EXPECT_EQ(UvMem_read_byte(vm, 0x180010), 0x47);
  UvMem_free(vm);
}

TEST_F(DownloadTest, FailedCompressionStopsBeforeTheSignatureIsProgrammed) {
  // A build that failed leaves -1 and no header: nothing may be programmed, least of all
  // the signature that would make the unit start it.
  Root* root = rig_root();
  Root_get_p_vmc(root);
  UvMem* prepared = root->p_vmc;
  int n_prepared = root->n_vmc;
  UvMem* vm = UvMem_alloc_as_zent_code_504();
  ASSERT_NE(vm, nullptr);
  UvMem_fill(vm, 0xFF);
  root->p_vmc = vm;
  root->n_vmc = -1;
  UnitRig unit;
  DialogRig rig;
  ASSERT_TRUE(rig.create());
  LogCapture log;
  rig.download();
  unit.stop();
  root->p_vmc = prepared;
  root->n_vmc = n_prepared;
  ASSERT_EQ(rig.boxes.size(), 1u) << rig.box_texts() << unit.report(log.text());
  EXPECT_EQ(rig.boxes[0].text, "Programming application failed !");
  EXPECT_EQ(unit.count("0x25 program"), 0);
  EXPECT_NE(Unit_get_state(unit.unit()), UNIT_APPLICATION);
  EXPECT_TRUE(log.contains("no compressed application (n_vmc = -1)"));
  EXPECT_TRUE(mfc_node_child(rig.dlg.node(), IDC_BUTTON_DOWNLOAD)->enabled);
  UvMem_free(vm);
}

TEST_F(DownloadTest, NoSelectionTouchesNothing) {
  DialogRig rig;
  ASSERT_TRUE(rig.create());
  rig.dlg.m_combo_port.SetCurSel(-1);
  LogCapture log;
  rig.download();
  ASSERT_EQ(rig.boxes.size(), 1u) << rig.box_texts() << log.text();
  EXPECT_EQ(rig.boxes[0].text, "This port is not available !");
  EXPECT_EQ(rig.boxes[0].caption, "Error...");
  EXPECT_TRUE(rig.boxes[0].download_enabled);
  EXPECT_TRUE(rig.uppers.empty());
  EXPECT_EQ(log.text(), "");
}

TEST_F(DownloadTest, PortThatCannotOpenGivesItsBoxAndReenablesDownload) {
  setenv("ZENT_COM1", "/nonexistent/zent-tty", 1);
  DialogRig rig;
  ASSERT_TRUE(rig.create());
  rig.download();
  unsetenv("ZENT_COM1");
  ASSERT_EQ(rig.boxes.size(), 1u) << rig.box_texts();
  EXPECT_EQ(rig.boxes[0].text, "Error opening COM-Port !");
  EXPECT_FALSE(rig.boxes[0].download_enabled);
  EXPECT_TRUE(rig.uppers.empty());
  EXPECT_EQ(rig.dlg.m_is_programming, 0);
  EXPECT_TRUE(mfc_node_child(rig.dlg.node(), IDC_BUTTON_DOWNLOAD)->enabled);
}

}  // namespace
