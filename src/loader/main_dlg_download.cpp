/*
** main_dlg_download.cpp - the download sequence behind the main dialog's Download button:
** open the port, wake the boot loader, check the CPU type, send the flash loader into RAM
** and start it, erase and blank-check the application sectors, program the compressed code
** image (all-0xFF chunks skipped, the signature byte cleared and written last, alone) and
** start the application. Each step first checks that every earlier step succeeded; a
** failed step logs its result, shows its box and skips the rest, while the two fixed pauses
** and the closing of the port always run.
*/
#include "main_app.h"
#include "main_dlg.h"
#include "std_io.h"
#include "win32_time.h"

#define DL_BAUDRATE 115200
#define DL_T_REPLY_BOOT_MS 1000u       // reply time-out while the boot loader answers
#define DL_T_REPLY_FLASH_MS 100000u    // from the flash loader's start on
#define DL_T_PAUSE_MS 500u             // after the wake-up and after the jump
#define DL_CPU_TYPE 1                  // the only CPU type this version supports
#define DL_RES_CPU_TYPE 4              // result after a wrong CPU type
#define DL_RES_ABORT 10                // result after an abort or a missing object
#define DL_A_FLASH_LOADER 0x400000u    // jump target: start of the flash loader in RAM
#define DL_A_SIGNATURE 0x180010u       // signature byte in the code image and the flash
#define DL_SIGNATURE 0x47              // its value, 'G'
#define DL_ERASED 0xFF                 // an erased byte; chunks of only these are skipped

namespace {

const char* const k_port_names[8] = {"COM1", "COM2", "COM3", "COM4",
                                     "COM5", "COM6", "COM7", "COM8"};

/* The box of a failed step, after its result line. */
void fail_box(CMainDlg* dlg, int l_result, const char* p_text) {
  print_l_result(l_result);
  dlg->MessageBox(p_text, "Error...", MB_ICONEXCLAMATION);
}

/* Log line and status of a step that starts. */
void step(CMainDlg* dlg, const char* p_log, const char* p_status, int percent) {
  StdIo_printf("%s", p_log);
  show_status(dlg, p_status, "", percent);
}

int step_boot_loader(CMainDlg* dlg, Rmc* rmc) {
  step(dlg, "Activating bootloader\n", "Activating bootloader...", 0);
  int r = Rmc_do_activate_bootloader(rmc);
  if (r) fail_box(dlg, r, "Activating bootloader failed !");
  return r;
}

int step_cpu_type(CMainDlg* dlg, Rmc* rmc) {
  uint32_t v1 = 0, v2 = 0, v3 = 0;
  step(dlg, "Checking CPU-type\n", "Checking CPU-type...", 0);
  int r = Rmc_do_get_cpu_type(rmc, &v1, &v2, &v3);
  if (r) fail_box(dlg, r, "Checking CPU-type failed !");
  if (v1 != DL_CPU_TYPE) {
    dlg->MessageBox("This program version supports 504-CPU's only !", "Error...",
                    MB_ICONEXCLAMATION);
    r = DL_RES_CPU_TYPE;
  }
  return r;
}

int step_flash_loader(CMainDlg* dlg, Rmc* rmc, Root* root) {
  step(dlg, "Download flash loader\n", "Downloading flash loader...", 0);
  MsrLin* set = Root_get_p_set_loader(root);  // prepares the images on the first run
  int r = send_set_with_do_write_xbram(dlg, rmc, Root_get_n_block_vm(root), set);
  if (r) fail_box(dlg, r, "Download of Flashloader failed !");
  return r;
}

int step_jump(CMainDlg* dlg, Rmc* rmc) {
  step(dlg, "Start flash loader\n", "Starting flash loader...", 25);
  int r = Rmc_do_jump(rmc, DL_A_FLASH_LOADER);
  if (r) fail_box(dlg, r, "Starting Flashloader failed !");
  return r;
}

int step_erase(CMainDlg* dlg, Rmc* rmc) {
  step(dlg, "Erasing application sectors\n", "Erasing application sectors...", 50);
  int r = Rmc_do_erase_flash(rmc);
  if (r) fail_box(dlg, r, "Erasing application sectors failed !");
  return r;
}

int step_blank_check(CMainDlg* dlg, Rmc* rmc) {
  step(dlg, "Blank checking application sectors\n", "Blank checking application sectors...", 75);
  int r = Rmc_do_blank_check_flash(rmc);
  if (r) fail_box(dlg, r, "Blank checking application sectors failed !");
  show_status(dlg, "Blank checking application sectors...", "", 100);
  return r;
}

int step_program(CMainDlg* dlg, Rmc* rmc, Root* root) {
  step(dlg, "Programming application\n", "Programming application...", 0);
  UvMem* vmc = Root_get_p_vmc(root);
  if (Root_get_n_vmc(root) <= 0) {
    // A failed build leaves no header in the code image: programming the signature over it
    // would let the unit start an application that is not there.
    StdIo_printf(STDIO_ERR("step_program") "no compressed application (n_vmc = %d)\n",
                 Root_get_n_vmc(root));
    fail_box(dlg, DL_RES_ABORT, "Programming application failed !");
    return DL_RES_ABORT;
  }
  UvMem_write_byte(vmc, DL_A_SIGNATURE, DL_ERASED);
  int r = send_vm_with_do_write_flash(dlg, rmc, Root_get_n_block_vmc(root), vmc,
                                      Root_get_n_vmc(root));
  UvMem_write_byte(vmc, DL_A_SIGNATURE, DL_SIGNATURE);
  if (r) fail_box(dlg, r, "Programming application failed !");
  return r;
}

int step_signature(CMainDlg* dlg, Rmc* rmc, Root* root) {
  step(dlg, "Updating application signature\n", "Updating application signature...", 0);
  UvMem* vmc = Root_get_p_vmc(root);
  const uint8_t* p_sig = UvMem_get_p_vmem(vmc) + UvMem_adr_to_idx(vmc, DL_A_SIGNATURE);
  int r = Rmc_do_write_flash(rmc, DL_A_SIGNATURE, p_sig, 1);
  if (r) fail_box(dlg, r, "Updating application signature !");
  return r;
}

int step_start(CMainDlg* dlg, Rmc* rmc) {
  step(dlg, "Starting application\n", "Starting application...", 0);
  int r = Rmc_do_start_application(rmc);
  if (r) fail_box(dlg, r, "Starting application failed !");
  return r;
}

/* Steps 4 to 16 of a run on an open port; the run's result. */
int run_on_open_port(CMainDlg* dlg, Rmc* rmc, Root* root) {
  int l_result = 0;
  if (rmc) rmc->t_receive_ms = DL_T_REPLY_BOOT_MS;
  dlg->m_is_programming = 1;
  dlg->m_is_abort = 0;
  l_result = step_boot_loader(dlg, rmc);
  Sleep(DL_T_PAUSE_MS);
  if (l_result == 0) l_result = step_cpu_type(dlg, rmc);
  if (l_result == 0) l_result = step_flash_loader(dlg, rmc, root);
  if (l_result == 0) l_result = step_jump(dlg, rmc);
  Sleep(DL_T_PAUSE_MS);
  if (rmc) rmc->t_receive_ms = DL_T_REPLY_FLASH_MS;
  if (l_result == 0) l_result = step_erase(dlg, rmc);
  if (l_result == 0) l_result = step_blank_check(dlg, rmc);
  if (l_result == 0) l_result = step_program(dlg, rmc, root);
  if (l_result == 0) l_result = step_signature(dlg, rmc, root);
  if (l_result == 0) l_result = step_start(dlg, rmc);
  dlg->m_is_programming = 0;
  show_ready(dlg);
  if (l_result == 0)
    dlg->MessageBox("Application successfully downloaded !", "Ok", MB_ICONEXCLAMATION);
  return l_result;
}

}  // namespace

void CMainDlg::OnBnClickedDownload() {
  int i_port = m_combo_port.GetCurSel();
  if (i_port < 0 || i_port >= 8) {
    MessageBox("This port is not available !", "Error...", MB_ICONEXCLAMATION);
    return;
  }
  CWnd* p_button = GetDlgItem(IDC_BUTTON_DOWNLOAD);
  if (p_button) p_button->EnableWindow(FALSE);
  Root* root = App_get_p_root();
  Uart* uart = Root_get_p_uart(root);
  if (!Uart_open(uart, k_port_names[i_port], DL_BAUDRATE, 8, 0, 0))
    MessageBox("Error opening COM-Port !", "Error...", MB_ICONEXCLAMATION);
  else
    run_on_open_port(this, Root_get_p_rmc(root), root);
  Uart_close(uart);
  p_button = GetDlgItem(IDC_BUTTON_DOWNLOAD);  // the handlers of the run may have run long
  if (p_button) p_button->EnableWindow(TRUE);
}

int print_l_result(int l_result) {
  if (l_result == 0) return 0;
  const char* p_name = Rmc_res_get_name(l_result);
  if (p_name)
    StdIo_printf("l_result =  %d (%s)\n", l_result, p_name);
  else
    StdIo_printf("l_result =  %d (?]\n", l_result);
  return l_result;
}

int send_set_with_do_write_xbram(CMainDlg* dialog, Rmc* rmc, int n_chunk, MsrLin* set) {
  if (rmc == NULL || set == NULL) return DL_RES_ABORT;
  if (n_chunk < 1) {
    StdIo_printf(STDIO_ERR("send_set_with_do_write_xbram") "n_chunk = %d < 1\n", n_chunk);
    return DL_RES_ABORT;
  }
  int n_total = MsrLin_get_n_heap(set);
  int n_done = 0;
  int result = 0;
  int n_set = MsrLin_get_n_set(set);
  const uint32_t* p_a = MsrLin_get_p_set_a_bytes(set);
  const uint32_t* p_n = MsrLin_get_p_set_n_bytes(set);
  const uint8_t* const* p_p = MsrLin_get_p_set_p_bytes(set);
  for (int i = 0; i < n_set && result == 0; i++) {
    result = send_partition_with_do_write_xbram(dialog, n_done, n_total, rmc, n_chunk, p_a[i],
                                                p_p[i], (int)p_n[i]);
    n_done += (int)p_n[i];
    if (dialog && dialog->m_is_abort) result = DL_RES_ABORT;
  }
  return result;
}

int send_partition_with_do_write_xbram(CMainDlg* dialog, int n_done_before, int n_total,
                                       Rmc* rmc, int n_chunk, uint32_t adr,
                                       const uint8_t* p_bytes, int n_bytes) {
  StdIo_printf("sending partition to adr=%08x n_bytes=%d\n", adr, n_bytes);
  if (n_chunk < 1) return DL_RES_ABORT;
  int rest = n_bytes, sent = 0, result = 0;
  while (rest > 0 && result == 0) {
    int k = rest < n_chunk ? rest : n_chunk;
    result = Rmc_do_write_xbram(rmc, adr, p_bytes + sent, (uint32_t)k);
    if (result == 0) {
      sent += k;
      adr += (uint32_t)k;
      rest -= k;
      if (dialog && dialog->m_is_abort) result = DL_RES_ABORT;
    }
    show_progress(dialog, n_done_before + sent, n_total);
  }
  return result;
}

int send_vm_with_do_write_flash(CMainDlg* dialog, Rmc* rmc, int n_chunk, UvMem* vm,
                                int n_total) {
  if (rmc == NULL || vm == NULL) return DL_RES_ABORT;
  if (n_chunk < 1) {
    StdIo_printf(STDIO_ERR("send_vm_with_do_write_flash") "n_chunk = %d < 1\n", n_chunk);
    return DL_RES_ABORT;
  }
  uint32_t a_start = UvMem_get_a_vmem(vm);
  uint32_t adr = a_start;
  uint32_t a_end = a_start + UvMem_get_n_vmem(vm);
  const uint8_t* p_vmem = UvMem_get_p_vmem(vm);
  int n_done = 0;
  DWORD t0 = GetTickCount();
  int result = 0;
  while (adr < a_end && result == 0) {
    // The last chunk never reads past the image, whatever its size.
    int k = a_end - adr < (uint32_t)n_chunk ? (int)(a_end - adr) : n_chunk;
    if (!UvMem_is_filled_with(vm, adr, k, DL_ERASED)) {
      if ((adr & 0x1FFF) == 0x1000) show_progress(dialog, n_done, n_total);
      result = Rmc_do_write_flash(rmc, adr, p_vmem + (adr - a_start), (uint32_t)k);
      if (result)
        StdIo_printf(STDIO_ERR("send_vm_with_do_write_flash") "writing to address %08x failed",
                     adr);
      n_done += k;
      if (dialog && dialog->m_is_abort) result = DL_RES_ABORT;
    }
    adr += (uint32_t)k;
  }
  StdIo_printf("download took %dms\n", (int)(GetTickCount() - t0));
  return result;
}
