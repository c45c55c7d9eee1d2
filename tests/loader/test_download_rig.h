/*
** test_download_rig.h - what the download tests stand on: the target unit simulator on the
** master side of a pseudo-terminal whose slave ZENT_COM1 names (the loader's real Uart
** opens it), the process's one Root, a scripted answer for message boxes and an observer
** of the main dialog's status lines and progress bar. Everything runs on the virtual clock
** of the fixture, so the two fixed pauses and every time-out cost no real time. While a
** UnitRig lives, that clock moves only when both the loader and the unit wait (idle_time.h):
** no time-out of either side depends on how the two threads are scheduled.
*/
#ifndef ZENT_TEST_DOWNLOAD_RIG_H
#define ZENT_TEST_DOWNLOAD_RIG_H

#include "embedded_sets.h"
#include "idle_unit_port.h"
#include "main_app.h"
#include "main_dlg.h"
#include "unit.h"
#include "win32_time.h"

#include <fcntl.h>
#include <pty.h>
#include <termios.h>
#include <unistd.h>

#include <atomic>
#include <cstdlib>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

/* The process's Root, built once and kept by the application object. */
inline Root* rig_root() {
  static Root* root = Root_alloc();
  theApp.m_p_root = root;
  return root;
}

/* A unit on a pseudo-terminal; ZENT_COM1 names its far end while it lives. */
class UnitRig {
 public:
  /* paced: the unit moves bytes at the real line rate (benchmarks). */
  explicit UnitRig(const std::function<void(UnitConfig&)>& configure = nullptr, int paced = 0) {
    char name[128];
    ok_ = openpty(&fd_master_, &fd_slave_, name, nullptr, nullptr) == 0;
    if (!ok_) return;
    termios t;
    tcgetattr(fd_slave_, &t);
    cfmakeraw(&t);  // no echo before the loader's Uart sets the line up
    tcsetattr(fd_slave_, TCSANOW, &t);
    path_ = name;
    setenv("ZENT_COM1", name, 1);
    appl_.assign(UNIT_APPL_N, 0xFF);
    n_appl_ = UnitImage_appl_from_set(zent_get_n_set(), zent_get_p_set_a_bytes(),
                                      zent_get_p_set_n_bytes(), zent_get_p_set_p_bytes(),
                                      appl_.data());
    UnitConfig_init(&cfg_);
    cfg_.n_loader_set = fld_02_get_n_set();
    cfg_.p_loader_a = fld_02_get_p_set_a_bytes();
    cfg_.p_loader_n = fld_02_get_p_set_n_bytes();
    cfg_.p_loader_p = fld_02_get_p_set_p_bytes();
    cfg_.n_expected_appl = n_appl_;
    cfg_.p_expected_appl = appl_.data();
    cfg_.p_trace = this;
    cfg_.cb_trace = &UnitRig::on_trace;
    if (configure) configure(cfg_);
    UnitFdPort_init(&fd_port_, fd_master_, paced);
    unit_port_ = std::make_unique<IdleUnitPort>(&time_, UnitFdPort_port(&fd_port_));
    loader_link_ = std::make_unique<IdleLinkHook>(&time_, Root_get_p_co(rig_root()));
    time_.set_fd(IdleTime::LOADER, fd_slave_);
    UnitPort port = unit_port_->port();
    unit_ = Unit_alloc(&cfg_, &port);
    time_.set_present(IdleTime::UNIT, unit_ != nullptr);
    ok_ = unit_ && Unit_start(unit_);
    if (!ok_) time_.set_present(IdleTime::UNIT, false);
  }
  ~UnitRig() {
    stop();
    Unit_free(unit_);
    loader_link_.reset();
    if (fd_slave_ >= 0) close(fd_slave_);
    if (fd_master_ >= 0) close(fd_master_);
    unsetenv("ZENT_COM1");
  }
  UnitRig(const UnitRig&) = delete;
  UnitRig& operator=(const UnitRig&) = delete;

  bool ok() const { return ok_; }
  Unit* unit() { return unit_; }
  /* Stops the unit's thread, once it has taken what the loader sent (the last DLE of a run
  ** may still be on its way) and waits; then its state may be read. */
  void stop() {
    if (!unit_) return;
    time_.stop_unit([this] { Unit_stop(unit_); });
  }
  /* Requests the unit got whose trace line contains the text. */
  int count(const std::string& what) {
    std::lock_guard<std::mutex> lock(lock_);
    int n = 0;
    for (const auto& l : trace_) n += l.find(what) != std::string::npos;
    return n;
  }
  std::string trace() {
    std::lock_guard<std::mutex> lock(lock_);
    std::string s;
    for (const auto& l : trace_) s += l + "\n";
    return s;
  }

  /* Everything that failed, for a test's message: the unit's trace and the log given. */
  std::string report(const std::string& log) { return "unit trace:\n" + trace() + "log:\n" + log; }

 private:
  static void on_trace(void* p, const char* p_line) {
    UnitRig* r = (UnitRig*)p;
    std::lock_guard<std::mutex> lock(r->lock_);
    r->trace_.push_back(p_line);
  }
  IdleTime time_;  // first made, last gone: the unit's thread reports to it
  std::unique_ptr<IdleUnitPort> unit_port_;
  std::unique_ptr<IdleLinkHook> loader_link_;  // the Root's link, while the rig lives
  bool ok_ = false;
  int fd_master_ = -1, fd_slave_ = -1;
  std::string path_;
  std::vector<uint8_t> appl_;
  int32_t n_appl_ = 0;
  UnitConfig cfg_;
  UnitFdPort fd_port_;
  Unit* unit_ = nullptr;
  std::mutex lock_;
  std::vector<std::string> trace_;
};

/* One message box as the dialog showed it. */
struct RigBox {
  std::string text, caption;
  UINT type;
  bool download_enabled;  // state of the Download button while the box was up
};

/* Answers message boxes from a script and records them; watches the status controls. */
class DialogRig {
 public:
  DialogRig() {
    win32_message_box_set_hook(&DialogRig::on_box, this, &old_box_, &old_box_p_);
    MfcFront f = {nullptr, nullptr, &DialogRig::on_change, nullptr, this};
    mfc_front_set(&f, &old_front_);
  }
  ~DialogRig() {
    win32_message_box_set_hook(old_box_, old_box_p_, nullptr, nullptr);
    mfc_front_set(&old_front_, nullptr);
    win32_msg_clear();
  }
  DialogRig(const DialogRig&) = delete;
  DialogRig& operator=(const DialogRig&) = delete;

  CMainDlg dlg;
  std::vector<RigBox> boxes;
  std::vector<std::string> uppers, lowers;   // every text the status lines took, in order
  std::vector<int> positions;                // every progress position
  std::function<int(const RigBox&)> answer;  // NULL: the box's default button
  std::function<void(const std::string&)> on_upper;  // called when the upper line changes

  bool create() { return dlg.Create(IDD_MAIN_DIALOG); }
  HWND item(int id) { return mfc_node_child(dlg.node(), id)->hwnd; }
  std::string text(int id) { return mfc_node_child(dlg.node(), id)->text; }
  /* Clicks Download and runs the messages, the download among them. */
  void download() {
    mfc_post_click(item(IDC_BUTTON_DOWNLOAD));
    mfc_pump();
  }
  bool has_box(const std::string& text) const {
    for (const auto& b : boxes)
      if (b.text == text) return true;
    return false;
  }
  /* The boxes shown, one a line, for a test's failure message. */
  std::string box_texts() const {
    std::string s = "boxes (" + std::to_string(boxes.size()) + "):\n";
    for (const auto& b : boxes) s += "  [" + b.caption + "] " + b.text + "\n";
    return s;
  }
  bool saw_lower(const std::string& text) const {
    for (const auto& t : lowers)
      if (t == text) return true;
    return false;
  }

 private:
  static int on_box(void* p, HWND, LPCSTR t, LPCSTR c, UINT type) {
    DialogRig* r = (DialogRig*)p;
    MfcNode* b = mfc_node_child(r->dlg.node(), IDC_BUTTON_DOWNLOAD);
    r->boxes.push_back(RigBox{t, c, type, b && b->enabled});
    return r->answer ? r->answer(r->boxes.back()) : win32_message_box_default(type);
  }
  static void on_change(void* p, MfcNode* n, int what) {
    DialogRig* r = (DialogRig*)p;
    if (n->id == IDC_STATIC_UPPER && (what & MFC_CHANGE_TEXT)) {
      r->uppers.push_back(n->text);
      if (r->on_upper) r->on_upper(n->text);
    }
    if (n->id == IDC_STATIC_LOWER && (what & MFC_CHANGE_TEXT)) r->lowers.push_back(n->text);
    if (n->id == IDC_PROGRESS && (what & MFC_CHANGE_POS)) r->positions.push_back(n->pos);
  }
  tyWin32_cb_message_box old_box_ = nullptr;
  void* old_box_p_ = nullptr;
  MfcFront old_front_ = {};
};

/* Number of 256-byte write requests the flash-loader set takes. */
inline int rig_n_loader_chunks() {
  int n = 0;
  const uint32_t* p_n = fld_02_get_p_set_n_bytes();
  for (uint32_t i = 0; i < fld_02_get_n_set(); i++) n += (int)((p_n[i] + 255) / 256);
  return n;
}

#endif
