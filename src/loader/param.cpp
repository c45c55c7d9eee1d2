/*
** param.cpp - the parameter file. The version goes through a file stream (FcsOpenCreate /
** FcsOpenRead, StreamWrite / StreamRead, FcsClose) as 4 bytes, least significant first,
** whatever the host's byte order. A save flushes the stream before closing it, so that a
** file system that refuses the bytes fails the save instead of passing unseen.
*/
#include "param.h"

#include "fcs.h"
#include "std_io.h"
#include "stream.h"

#include <cstddef>

int Root_param_save(Root* p, const char* p_path) {
  if (p == NULL || p_path == NULL) return 0;
  Stream* ps = FcsOpenCreate(NULL, p_path, -1);
  int32_t version = PARAM_VERSION;
  uint8_t bytes[4] = {(uint8_t)version, (uint8_t)(version >> 8), (uint8_t)(version >> 16),
                      (uint8_t)(version >> 24)};
  if (StreamWrite(ps, bytes, 4) == 4 && StreamFlush(ps) == 1) {
    FcsClose(ps);
    return 1;
  }
  StdIo_printf(STDIO_ERR("Root_param_save") "__SWSE (version) failed");
  FcsClose(ps);
  return 0;
}

int Root_param_load(Root* p, const char* p_path) {
  if (p == NULL || p_path == NULL) return 0;
  Stream* ps = FcsOpenRead(NULL, p_path, -1);
  uint8_t bytes[4];
  if (StreamRead(ps, bytes, 4) == 4) {
    FcsClose(ps); /* the version read is not interpreted */
    return 1;
  }
  StdIo_printf(STDIO_ERR("Root_param_load") "__SRSE (version) failed");
  FcsClose(ps);
  return 0;
}

int Root_save(Root* p) {
  if (p == NULL) return 0;
  if (!Root_param_save(p, p->p_path_name_param)) {
    StdIo_printf(STDIO_ERR("Root_save") "Root_param_save (p, p -> p_path_name_param))");
    return 0;
  }
  return 1;
}

int Root_load(Root* p) {
  if (p == NULL) return 0;
  if (!Root_param_load(p, p->p_path_name_param)) {
    StdIo_printf(STDIO_ERR("Root_load") "Root_param_load (p, p -> p_path_name_param))");
    return 0;
  }
  return 1;
}

int Root_load_stub(Root* p) { return p != NULL; }

int Root_save_stub(Root* p) { return p != NULL; }
