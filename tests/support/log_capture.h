/*
** log_capture.h - installs a log sink that collects every text, for tests that check the
** lines a module writes. The previous sink comes back when the capture ends.
*/
#ifndef ZENT_TEST_LOG_CAPTURE_H
#define ZENT_TEST_LOG_CAPTURE_H

#include "std_io.h"

#include <mutex>
#include <string>
#include <vector>

class LogCapture {
public:
  LogCapture() : cb_old_(StdIo_get_cb_stdout()), p_old_(StdIo_get_p_stdout()) {
    StdIo_set_stdout(&LogCapture::put, this);
  }
  ~LogCapture() { StdIo_set_stdout(cb_old_, p_old_); }
  LogCapture(const LogCapture&) = delete;
  LogCapture& operator=(const LogCapture&) = delete;

  /* Everything written so far, joined. */
  std::string text() const {
    std::lock_guard<std::mutex> lock(lock_);
    std::string s;
    for (const auto& t : texts_) s += t;
    return s;
  }
  /* Each call of the sink, as it came. */
  std::vector<std::string> calls() const {
    std::lock_guard<std::mutex> lock(lock_);
    return texts_;
  }
  bool contains(const std::string& s) const { return text().find(s) != std::string::npos; }
  void clear() {
    std::lock_guard<std::mutex> lock(lock_);
    texts_.clear();
  }

private:
  static int put(void* p, const char* p_text) {
    auto* self = (LogCapture*)p;
    std::lock_guard<std::mutex> lock(self->lock_);
    self->texts_.push_back(p_text);
    return 1;
  }
  tyStdIo_cb_stdout cb_old_;
  void* p_old_;
  mutable std::mutex lock_;
  std::vector<std::string> texts_;
};

#endif
