/*
** idle_unit_port.h - a unit simulator's port that reports to an IdleTime (idle_time.h) as
** the unit's end of the line.
*/
#ifndef ZENT_TEST_IDLE_UNIT_PORT_H
#define ZENT_TEST_IDLE_UNIT_PORT_H

#include "idle_time.h"
#include "unit_line.h"

#include <atomic>

/* A unit's port that reports to an IdleTime as the unit's end: bytes taken and sent, idle
** passes (a pass with a byte on its way waits for it on the port). */
class IdleUnitPort {
public:
  IdleUnitPort(IdleTime* p_time, const UnitPort& base) : time_(p_time), base_(base) {}
  /* The port to give the unit: the base itself when the IdleTime is not active. */
  UnitPort port() {
    if (!time_->active()) return base_;
    return UnitPort{this, &IdleUnitPort::receive, &IdleUnitPort::send_byte,
                    base_.cb_send_with_dle ? &IdleUnitPort::send_with_dle : nullptr,
                    &IdleUnitPort::idle};
  }

private:
  void here() {
    if (known_) return;
    time_->unit_thread_here();
    known_ = true;
  }
  static int receive(void* p) {
    IdleUnitPort* u = (IdleUnitPort*)p;
    u->here();
    int ch = u->base_.cb_receive_byte_nw(u->base_.p);
    if (ch >= 0) u->time_->got(IdleTime::UNIT);
    return ch;
  }
  static int send_byte(void* p, int ch) {
    IdleUnitPort* u = (IdleUnitPort*)p;
    u->time_->sent(IdleTime::UNIT, 1);
    return u->base_.cb_send_byte(u->base_.p, ch);
  }
  static uint32_t send_with_dle(void* p, int n, const uint8_t* p_bytes) {
    IdleUnitPort* u = (IdleUnitPort*)p;
    u->time_->sent(IdleTime::UNIT, IdleTime::wire_size(n, p_bytes));
    return u->base_.cb_send_with_dle(u->base_.p, n, p_bytes);
  }
  static int idle(void* p, uint32_t t_ms) {
    IdleUnitPort* u = (IdleUnitPort*)p;
    u->here();
    if (!u->time_->idle(IdleTime::UNIT) && u->base_.cb_idle) u->base_.cb_idle(u->base_.p, t_ms);
    return 0;
  }
  IdleTime* time_;
  UnitPort base_;
  std::atomic<bool> known_{false};
};

#endif
