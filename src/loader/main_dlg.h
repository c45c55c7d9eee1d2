/*
** main_dlg.h - the main dialog (template 102) with the download sequence behind its
** Download button, and the About dialog (template 100). The main dialog is the tool's only
** main window: a COM-port list, two status lines and a progress bar, a Close button that
** asks before it interrupts a download, a system-menu entry for the About dialog and a
** hidden button that opens the Stdout window. The download runs inside the button's
** handler; window messages reach the dialog meanwhile only through the link's sleep
** callback, one at a time and without the dialog keys.
*/
#ifndef ZENT_MAIN_DLG_H
#define ZENT_MAIN_DLG_H

#include "mfc_dialog.h"
#include "msr_lin.h"
#include "resource.h"
#include "rmc.h"
#include "uv_mem.h"

#include <cstdint>

class CStdoutDlg;

class CAboutDlg : public CDialog {
 public:
  CAboutDlg();
  ~CAboutDlg() override;
  enum { IDD = IDD_ABOUTBOX };

 protected:
  void DoDataExchange(CDataExchange* pDX) override;
  DECLARE_MESSAGE_MAP()
};

class CMainDlg : public CDialog {
 public:
  explicit CMainDlg(CWnd* pParent = NULL);
  ~CMainDlg() override;
  enum { IDD = IDD_MAIN_DIALOG };

  int32_t m_is_programming;      // 1 from the opened port to the end of a download
  int32_t m_is_abort;            // 1 once the user confirmed an interruption; 0 at each start
  CProgressCtrl m_progress;      // 1007
  CStatic m_static_lower;        // 1009
  CStatic m_static_upper;        // 1008
  CEdit m_edit_version;          // 1010
  CEdit m_edit_title;            // 1005
  CComboBox m_combo_port;        // 1003
  CStdoutDlg* m_pStdout;         // owned; its window exists only while it is open
  HICON m_hIcon;                 // icon 128

  DECLARE_MESSAGE_MAP()

 protected:
  void DoDataExchange(CDataExchange* pDX) override;

 public:
  BOOL OnInitDialog() override;
  void OnSetFont(CFont* pFont) override;
  /* The cancel command: asks during a download (Yes sets m_is_abort), else closes. */
  void OnCancel() override;

  afx_msg LRESULT OnStdoutClose(WPARAM wparam, LPARAM lparam);
  afx_msg void OnSysCommand(UINT nID, LPARAM lParam);
  afx_msg void OnPaint();
  afx_msg HCURSOR OnQueryDragIcon();
  afx_msg void OnBnClickedStdout();
  /* The download sequence (main_dlg_download.cpp). */
  afx_msg void OnBnClickedDownload();
};

/* Sets the upper and lower status lines (NULL leaves a line) and the progress position
** (negative leaves it). 0 for a NULL dialog, else 1. */
int show_status(CMainDlg* dialog, const char* upper, const char* lower, int percent);
/* Both lines "ready", progress 0. */
void show_ready(CMainDlg* dialog);
/* "n_done of n_total (p %)" in the lower line and p in the bar; p truncated, 0 for a total
** of 0. */
void show_progress(CMainDlg* dialog, int n_done, int n_total);
/* Logs a nonzero result with its name; returns l_result. */
int print_l_result(int l_result);

/* Sends every partition of the set into target RAM in chunks of n_chunk bytes. 0 or an
** RMC result; 10 for a missing rmc or set, a chunk size below 1, or an abort. */
int send_set_with_do_write_xbram(CMainDlg* dialog, Rmc* rmc, int n_chunk, MsrLin* set);
/* Sends one partition in chunks, showing progress after each chunk. 0 or an RMC result. */
int send_partition_with_do_write_xbram(CMainDlg* dialog, int n_done_before, int n_total,
                                       Rmc* rmc, int n_chunk, uint32_t adr,
                                       const uint8_t* p_bytes, int n_bytes);
/* Programs every chunk of the image that is not all 0xFF. 0 or an RMC result; 10 for a
** missing rmc or vm, a chunk size below 1, or an abort. */
int send_vm_with_do_write_flash(CMainDlg* dialog, Rmc* rmc, int n_chunk, UvMem* vm,
                                int n_total);

#endif
