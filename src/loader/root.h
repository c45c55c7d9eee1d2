/*
** root.h - the loader's one root object. Root_alloc builds in one record everything the
** download needs: the program directory and parameter-file path, the debug terminal that
** receives the log, the COM port, the 3964R link over it with its two buffers and the
** clock and window-message callbacks, the RMC master over the link, and empty slots for
** the image sets and memory images that the first image getter prepares (root_prep.h).
** The application keeps the Root for the life of the process; everyone else reaches its
** parts only through the getters below.
*/
#ifndef ZENT_ROOT_H
#define ZENT_ROOT_H

#include "co3964.h"
#include "db_term.h"
#include "msr_lin.h"
#include "rmc.h"
#include "uart.h"
#include "uv_mem.h"

#include <cstdint>

#define ROOT_N_PATH 260   // bytes of each path field, terminator included
#define ROOT_N_BUF 384    // bytes of each link and RMC message buffer
#define ROOT_N_BLOCK 256  // block size of both memory images (the download's chunk)

typedef struct Root {
  char path_program[ROOT_N_PATH];       // program directory, no final separator
  char p_path_name_param[ROOT_N_PATH];  // path_program + "\\data\\param.dat"
  DbTerm* p_db_term;                    // owned: 160 x 200 terminal that shows the log
  Uart uart;                            // the COM port object
  Uart* p_uart;                         // &uart once set up
  uint8_t co_ib_p_buf[ROOT_N_BUF];      // inbound message buffer of the link
  uint8_t co_ob_p_buf[ROOT_N_BUF];      // outbound message buffer of the link
  Co3964 co;                            // the 3964R link object
  Co3964* p_co;                         // &co once set up
  uint8_t rmc_p_buf[ROOT_N_BUF];        // RMC request and reply buffer
  Rmc rmc;                              // the RMC master
  Rmc* p_rmc;                           // &rmc once set up
  MsrLin set_loader;                    // flash-loader image set; filled by the preparation
  MsrLin* p_set_loader;                 // NULL until prepared, then &set_loader
  MsrLin set_appl;                      // application image set; filled by the preparation
  MsrLin* p_set_appl;                   // NULL until prepared, then &set_appl
  UvMem* p_vm;                          // owned: application image, NULL until prepared
  int n_vm;                             // bytes in used blocks of p_vm; 0 before, -1 failed
  int n_block_vm;                       // block size of p_vm: 256
  UvMem* p_vmc;                         // owned: compressed code image, NULL until prepared
  int n_vmc;                            // bytes in used blocks of p_vmc; 0 before, -1 failed
  int n_block_vmc;                      // block size of p_vmc: 256
} Root;

/* Builds the whole graph. On success the log sink is connected to the Root's debug
** terminal, whose first line is then "stdout is now connected to this virtual screen".
** NULL when the record cannot be allocated, the program directory cannot be found or is
** too long for the parameter-file path (these stop at once), or any later step failed
** (every later step still runs, and its error line is written before the log is
** connected, so nobody sees it). Called once by the application start-up. */
Root* Root_alloc(void);

/* Releases a Root: the debug terminal, the memory images where present, and the record.
** NULL does nothing. Root_alloc calls it for a failed build; a built Root lives until the
** process ends (the log sink still points at its terminal). */
void Root_free(Root* p);

/* Getters; 0 or NULL for a NULL Root. */
char* Root_get_p_path_program(Root* p);
char* Root_get_p_path_name_param(Root* p);
DbTerm* Root_get_p_db_term(Root* p);
Uart* Root_get_p_uart(Root* p);
Co3964* Root_get_p_co(Root* p);
Rmc* Root_get_p_rmc(Root* p);

/* Image getters: each first runs the image preparation (done once per process; a NULL Root
** prepares nothing), then gives the field, whatever the preparation's outcome. */
MsrLin* Root_get_p_set_loader(Root* p);
MsrLin* Root_get_p_set_appl(Root* p);
UvMem* Root_get_p_vm(Root* p);
int Root_get_n_vm(Root* p);
int Root_get_n_block_vm(Root* p);
UvMem* Root_get_p_vmc(Root* p);
int Root_get_n_vmc(Root* p);
int Root_get_n_block_vmc(Root* p);

/* Test seam: the two makers of Root_alloc that can fail for want of memory. A NULL seam,
** or a NULL member, restores the real call. */
typedef struct RootAllocSeam {
  DbTerm* (*cb_db_term_alloc)(int nx_scr, int ny_scr);
  Uart* (*cb_uart_init)(Uart* p);
} RootAllocSeam;
void Root_set_alloc_seam(const RootAllocSeam* p_seam);

/* Test seam: the set-up of the link and of the RMC master in Root_alloc, so that a test
** can make either fail. A NULL seam, or a NULL member, restores the real call. */
typedef struct RootLinkSeam {
  decltype(&Co3964_init) cb_co3964_init;
  decltype(&Rmc_init_as_master) cb_rmc_init_as_master;
} RootLinkSeam;
void Root_set_link_seam(const RootLinkSeam* p_seam);

#endif
