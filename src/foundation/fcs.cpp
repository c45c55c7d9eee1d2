/*
** fcs.cpp - file streams over the buffered file.
*/
#include "fcs.h"

#include "fc.h"
#include "std_io.h"

static int buf_size(int n_buf) { return n_buf == -1 ? FCS_N_BUF_DEFAULT : n_buf; }

static const char* shown(const char* p_name) { return p_name ? p_name : "(null)"; }

Stream* FcsOpenRead(Fs* fs, const char* p_name, int n_buf) {
  Fc* pc = FcOpenRead(fs, p_name, buf_size(n_buf));
  if (!pc) {
    StdIo_printf(STDIO_ERR("FcsOpenRead") "pc == NULL cannot open file <%s>\n", shown(p_name));
    return nullptr;
  }
  Stream* ps = StreamOpenRead(pc, FcRead, FcSeek);
  if (!ps) {
    StdIo_puts(STDIO_ERR("FcsOpenRead") "ps == NULL");
    FcClose(pc);
  }
  return ps;
}

Stream* FcsOpenCreate(Fs* fs, const char* p_name, int n_buf) {
  Fc* pc = FcOpenCreate(fs, p_name, buf_size(n_buf));
  if (!pc) {
    StdIo_printf(STDIO_ERR("FcsOpenCreate") "pc == NULL cannot open file <%s>\n", shown(p_name));
    return nullptr;
  }
  Stream* ps = StreamOpenWrite(pc, FcWrite, FcSeek, FcFlush);
  if (!ps) {
    StdIo_puts(STDIO_ERR("FcsOpenCreate") "ps == NULL");
    FcClose(pc);
  }
  return ps;
}

int FcsClose(Stream* ps) {
  if (!ps) return 0;
  FcClose(ps->ctx);
  StreamClose(ps);
  return 1;
}
