/*
** root.cpp - Root_alloc, the link-layer callbacks it installs, and the getters. The build
** runs its steps in a fixed order; from the debug terminal on a failing step writes its
** line (the call as written) and the rest still run, so one attempt reports every
** failure. The clock callbacks read the tick count; the sleep callback does not sleep but
** dispatches at most one window message, which keeps the window alive while the link
** waits inside a frame exchange.
*/
#include "root.h"

#include "alloc_seam.h"
#include "oss.h"
#include "root_prep.h"
#include "std_io.h"
#include "strx.h"
#include "win32_msg.h"
#include "win32_time.h"

#include <cstdlib>
#include <cstring>

#define itemsof(a) ((int)(sizeof(a) / sizeof((a)[0])))

namespace {

const char kParamFile[] = "\\data\\param.dat";

RootAllocSeam g_seam = {DbTerm_alloc, Uart_init};  // makers of Root_alloc; tests replace them
RootLinkSeam g_link_seam = {Co3964_init, Rmc_init_as_master};  // the same for link and master

/* Time callbacks of the link: the tick count in milliseconds, wrapping at 2^32. */
uint32_t loc_get_t_now(void* p_time) {
  (void)p_time;
  return GetTickCount();
}

uint32_t loc_plus_ms(void* p_time, uint32_t t, uint32_t ms) {
  (void)p_time;
  return t + ms;
}

/* The link's wait: takes at most one pending message of this thread and dispatches it, so
** that the Close button and the Stdout window's timer run while frames are exchanged.
** Returns at once; the dispatch result, or 0 when the queue was empty. */
int loc_sleep_ms(void* p_time, uint32_t ms) {
  (void)p_time;
  (void)ms;
  MSG msg;
  if (!PeekMessageA(&msg, NULL, 0, 0, PM_REMOVE)) return 0;
  TranslateMessage(&msg);
  return (int)DispatchMessageA(&msg);
}

/* Steps 2 and 3: the program directory and the parameter-file path. 0, or -1 when the
** directory is not found or leaves no room for the file name (the path is not cut). */
int make_paths(Root* p) {
  if (Oss_get_path_program(itemsof(p->path_program), p->path_program) < 0) return -1;
  int n_path = strx_len(p->path_program);
  if (n_path + strx_len(kParamFile) >= itemsof(p->p_path_name_param)) {
    StdIo_printf(STDIO_ERR("Root_alloc") "path_program too long for p_path_name_param (n_path=%d)", n_path);
    return -1;
  }
  strx_cpy(p->p_path_name_param, p->path_program);
  strx_cat(p->p_path_name_param, kParamFile);
  return 0;
}

/* Steps 4 to 7: terminal, port, link, RMC master. 0, or -1 when any of them failed. */
int make_objects(Root* p) {
  int res = 0;
  if ((p->p_db_term = g_seam.cb_db_term_alloc(160, 200)) == NULL) {
    StdIo_puts(STDIO_ERR("Root_alloc") "p -> p_db_term = DbTerm_alloc (160, 200))");
    res = -1;
  }
  if ((p->p_uart = g_seam.cb_uart_init(&p->uart)) == NULL) {
    StdIo_puts(STDIO_ERR("Root_alloc") "p -> p_uart = Uart_init (& p -> uart))");
    res = -1;
  }
  p->p_co = g_link_seam.cb_co3964_init(&p->co, NULL, loc_get_t_now, loc_plus_ms, loc_sleep_ms, p->p_uart,
                                       Uart_receive_byte_nw, Uart_send_byte, Uart_send_with_dle,
                                       itemsof(p->co_ib_p_buf), p->co_ib_p_buf,
                                       itemsof(p->co_ob_p_buf), p->co_ob_p_buf, 1, 1);
  if (p->p_co == NULL) {
    StdIo_puts(STDIO_ERR("Root_alloc")
               "p -> p_co = Co3964_init ( & p -> co, NULL, (tyCo3964_cb_time_get_t_now) loc_get_t_now, "
               "(tyCo3964_cb_time_plus_ms) loc_plus_ms , (tyCo3964_cb_time_sleep_ms) loc_sleep_ms, "
               "p -> p_uart, (tyCo3964_cb_uart_receive_byte_nw) Uart_receive_byte_nw, "
               "(tyCo3964_cb_uart_send_byte) Uart_send_byte, (tyCo3964_cb_uart_send_with_dle) "
               "Uart_send_with_dle, itemsof (p -> co_ib_p_buf), p -> co_ib_p_buf, itemsof (p -> "
               "co_ob_p_buf), p -> co_ob_p_buf, 1, 1))");
    res = -1;
  }
  p->p_rmc = g_link_seam.cb_rmc_init_as_master(&p->rmc, itemsof(p->rmc_p_buf), p->rmc_p_buf, p->p_co);
  if (p->p_rmc == NULL) {
    StdIo_puts(STDIO_ERR("Root_alloc")
               "p -> p_rmc = Rmc_init_as_master ( & p -> rmc, itemsof (p -> rmc_p_buf), p -> "
               "rmc_p_buf, p -> p_co))");
    res = -1;
  }
  return res;
}

/* Runs the image preparation for a Root (nothing for NULL) and gives the Root back. */
Root* prepared(Root* p) {
  if (p) check_is_loaded(p);
  return p;
}

/* Step 8: the image slots stay empty until the first image getter. */
void clear_image_slots(Root* p) {
  p->p_set_loader = NULL;
  p->p_set_appl = NULL;
  p->p_vm = NULL;
  p->n_vm = 0;
  p->n_block_vm = ROOT_N_BLOCK;
  p->p_vmc = NULL;
  p->n_vmc = 0;
  p->n_block_vmc = ROOT_N_BLOCK;
}

}  // namespace

Root* Root_alloc(void) {
  Root* p = (Root*)AllocSeam_malloc(sizeof(*p));
  if (p == NULL) return NULL;
  memset(p, 0, sizeof(*p));
  if (make_paths(p) < 0) {
    Root_free(p);
    return NULL;
  }
  int res = make_objects(p);
  clear_image_slots(p);
  if (res < 0) {
    Root_free(p);
    return NULL;
  }
  StdIo_set_stdout(DbTerm_print, p->p_db_term);
  StdIo_printf("stdout is now connected to this virtual screen\n");
  return p;
}

void Root_free(Root* p) {
  if (p == NULL) return;
  if (p->p_db_term && StdIo_get_p_stdout() == p->p_db_term) StdIo_set_stdout(NULL, NULL);
  DbTerm_free(p->p_db_term);
  UvMem_free(p->p_vm);
  UvMem_free(p->p_vmc);
  free(p);
}

void Root_set_alloc_seam(const RootAllocSeam* p_seam) {
  g_seam.cb_db_term_alloc = (p_seam && p_seam->cb_db_term_alloc) ? p_seam->cb_db_term_alloc : DbTerm_alloc;
  g_seam.cb_uart_init = (p_seam && p_seam->cb_uart_init) ? p_seam->cb_uart_init : Uart_init;
}

void Root_set_link_seam(const RootLinkSeam* p_seam) {
  g_link_seam.cb_co3964_init = (p_seam && p_seam->cb_co3964_init) ? p_seam->cb_co3964_init : Co3964_init;
  g_link_seam.cb_rmc_init_as_master =
      (p_seam && p_seam->cb_rmc_init_as_master) ? p_seam->cb_rmc_init_as_master : Rmc_init_as_master;
}

char* Root_get_p_path_program(Root* p) { return p ? p->path_program : NULL; }
char* Root_get_p_path_name_param(Root* p) { return p ? p->p_path_name_param : NULL; }
DbTerm* Root_get_p_db_term(Root* p) { return p ? p->p_db_term : NULL; }
Uart* Root_get_p_uart(Root* p) { return p ? p->p_uart : NULL; }
Co3964* Root_get_p_co(Root* p) { return p ? p->p_co : NULL; }
Rmc* Root_get_p_rmc(Root* p) { return p ? p->p_rmc : NULL; }

/* The image getters prepare first (once per process), then read the field. */
MsrLin* Root_get_p_set_loader(Root* p) { return prepared(p) ? p->p_set_loader : NULL; }
MsrLin* Root_get_p_set_appl(Root* p) { return prepared(p) ? p->p_set_appl : NULL; }
UvMem* Root_get_p_vm(Root* p) { return prepared(p) ? p->p_vm : NULL; }
int Root_get_n_vm(Root* p) { return prepared(p) ? p->n_vm : 0; }
int Root_get_n_block_vm(Root* p) { return prepared(p) ? p->n_block_vm : 0; }
UvMem* Root_get_p_vmc(Root* p) { return prepared(p) ? p->p_vmc : NULL; }
int Root_get_n_vmc(Root* p) { return prepared(p) ? p->n_vmc : 0; }
int Root_get_n_block_vmc(Root* p) { return prepared(p) ? p->n_block_vmc : 0; }
