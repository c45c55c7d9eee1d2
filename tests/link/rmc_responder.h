/*
** rmc_responder.h - a scripted RMC partner for tests and the link benchmark: a second
** Co3964 on end 1 of an in-memory line, run by the line's partner thread, that records
** every request and answers it from a handler (a table of replies, each after a delay).
** Together with an Rmc master on end 0 it exercises the whole master over a real link.
*/
#ifndef ZENT_TEST_RMC_RESPONDER_H
#define ZENT_TEST_RMC_RESPONDER_H

#include "co3964.h"
#include "link_pair.h"
#include "rmc.h"

#include <deque>
#include <functional>
#include <map>
#include <vector>

/* One answer: the message, sent delay_ms after the request arrived. */
struct RmcReply {
  Bytes msg;
  uint32_t delay_ms = 0;
};

class RmcResponder {
public:
  typedef std::function<std::vector<RmcReply>(const Bytes& request)> Handler;

  /* The master side: link a on end 0 (block check, high priority), Rmc over buffer of
  ** n_rmc_buffer bytes; the responder's link b on end 1 (block check, low priority). */
  RmcResponder(LinkLine& line, int32_t n_rmc_buffer = 384) : line_(line), rmc_buf_(n_rmc_buffer) {
    line_.init_link(&a, 0, ib_a_, ob_a_, 1, 1);
    line_.end(0).yield_on_empty_rx = true;  // the master's polls let the responder run
    line_.init_link(&b, 1, ib_b_, ob_b_, 1, 0);
    Rmc_init_as_master(&rmc, (int32_t)rmc_buf_.size(), rmc_buf_.data(), &a);
  }
  ~RmcResponder() { line_.stop_partner(); }

  /* Answers with the handler (default: the table, keyed by the whole request). */
  void start(Handler h = nullptr) {
    handler_ = h ? h : [this](const Bytes& req) {
      auto it = table.find(req);
      return it == table.end() ? std::vector<RmcReply>{} : it->second;
    };
    line_.start_partner([this] { run(); });
  }
  void stop() { line_.stop_partner(); }

  Rmc rmc;
  Co3964 a, b;
  std::map<Bytes, std::vector<RmcReply>> table;
  std::vector<Bytes> requests;  // every message the responder received, in order
  int32_t n_rmc_buffer() const { return (int32_t)rmc_buf_.size(); }
  uint8_t* rmc_buffer() { return rmc_buf_.data(); }

private:
  void run() {
    Bytes m(512);
    std::deque<std::pair<uint32_t, Bytes>> out;
    while (!line_.stopping()) {
      Co3964_do(&b);
      int n = Co3964_ib_get_msg(&b, (int32_t)m.size(), m.data());
      if (n >= 0) {
        Bytes req(m.begin(), m.begin() + n);
        requests.push_back(req);
        for (const RmcReply& r : handler_(req)) out.push_back({line_.now() + r.delay_ms, r.msg});
      }
      if (!out.empty() && Co3964_ob_get_state(&b) != 2 &&
          (int32_t)(line_.now() - out.front().first) >= 0) {
        static const uint8_t none = 0;
        const Bytes& msg = out.front().second;
        Co3964_ob_set_msg(&b, (int32_t)msg.size(), msg.empty() ? &none : msg.data());
        out.pop_front();
        continue;  // send it at once
      }
      line_.idle(1, 1);
    }
  }

  LinkLine& line_;
  Bytes ib_a_ = Bytes(512), ob_a_ = Bytes(512), ib_b_ = Bytes(512), ob_b_ = Bytes(512);
  Bytes rmc_buf_;
  Handler handler_;
};

/* Little-endian 32-bit value as bytes. */
inline Bytes le32(uint32_t v) {
  return Bytes{(uint8_t)v, (uint8_t)(v >> 8), (uint8_t)(v >> 16), (uint8_t)(v >> 24)};
}

#endif
