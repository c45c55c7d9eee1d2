/*
** main_dlg.cpp - the main dialog's window side (initialisation, system menu, painting of
** the minimised icon, the cancel question, the Stdout window) and the About dialog. The
** download sequence is in main_dlg_download.cpp.
*/
#include "main_dlg.h"

#include "main_app.h"
#include "std_io.h"
#include "stdout_dlg.h"

/* ---- About dialog ---- */

CAboutDlg::CAboutDlg() : CDialog(CAboutDlg::IDD) {}

CAboutDlg::~CAboutDlg() {}

void CAboutDlg::DoDataExchange(CDataExchange* pDX) { CDialog::DoDataExchange(pDX); }

BEGIN_MESSAGE_MAP(CAboutDlg, CDialog)
END_MESSAGE_MAP()

/* ---- main dialog ---- */

CMainDlg::CMainDlg(CWnd* pParent)
    : CDialog(CMainDlg::IDD, pParent), m_is_programming(0), m_is_abort(0) {
  m_hIcon = AfxGetApp() ? AfxGetApp()->LoadIcon(IDR_MAINFRAME) : NULL;
  m_pStdout = new CStdoutDlg(this);
}

CMainDlg::~CMainDlg() { delete m_pStdout; }

void CMainDlg::DoDataExchange(CDataExchange* pDX) {
  CDialog::DoDataExchange(pDX);
  DDX_Control(pDX, IDC_PROGRESS, m_progress);
  DDX_Control(pDX, IDC_STATIC_LOWER, m_static_lower);
  DDX_Control(pDX, IDC_STATIC_UPPER, m_static_upper);
  DDX_Control(pDX, IDC_EDIT_VERSION, m_edit_version);
  DDX_Control(pDX, IDC_EDIT_TITLE, m_edit_title);
  DDX_Control(pDX, IDC_COMBO_PORT, m_combo_port);
}

BEGIN_MESSAGE_MAP(CMainDlg, CDialog)
  ON_MESSAGE(WM_STDOUT_CLOSE, &CMainDlg::OnStdoutClose)
  ON_WM_SYSCOMMAND()
  ON_WM_PAINT()
  ON_WM_QUERYDRAGICON()
  ON_BN_CLICKED(IDC_BUTTON_STDOUT, &CMainDlg::OnBnClickedStdout)
  ON_BN_CLICKED(IDC_BUTTON_DOWNLOAD, &CMainDlg::OnBnClickedDownload)
END_MESSAGE_MAP()

BOOL CMainDlg::OnInitDialog() {
  CDialog::OnInitDialog();
  CMenu* pSysMenu = GetSystemMenu(FALSE);
  if (pSysMenu != NULL) {
    CString strAboutMenu;
    strAboutMenu.LoadString(IDS_ABOUTBOX);
    if (!strAboutMenu.IsEmpty()) {
      pSysMenu->AppendMenu(MF_SEPARATOR);
      pSysMenu->AppendMenu(MF_STRING, IDM_ABOUTBOX, strAboutMenu);
    }
  }
  SetIcon(m_hIcon, TRUE);
  SetIcon(m_hIcon, FALSE);
  show_ready(this);
  m_edit_title.SetWindowText("Quellmar ZENT Control");
  m_edit_version.SetWindowText("1.13");
  m_combo_port.SetCurSel(0);
  return TRUE;
}

void CMainDlg::OnSetFont(CFont* pFont) { CDialog::OnSetFont(pFont); }

void CMainDlg::OnSysCommand(UINT nID, LPARAM lParam) {
  if ((nID & 0xFFF0) == IDM_ABOUTBOX) {
    CAboutDlg dlgAbout;
    dlgAbout.DoModal();
  } else {
    CDialog::OnSysCommand(nID, lParam);
  }
}

void CMainDlg::OnPaint() {
  if (!IsIconic()) {
    CDialog::OnPaint();
    return;
  }
  CPaintDC dc(this);
  SendMessage(WM_ICONERASEBKGND, (WPARAM)dc.GetSafeHdc(), 0);
  int cxIcon = GetSystemMetrics(SM_CXICON);
  int cyIcon = GetSystemMetrics(SM_CYICON);
  CRect rect;
  GetClientRect(&rect);
  int x = (rect.Width() - cxIcon + 1) / 2;
  int y = (rect.Height() - cyIcon + 1) / 2;
  dc.DrawIcon(x, y, m_hIcon);
}

HCURSOR CMainDlg::OnQueryDragIcon() { return (HCURSOR)m_hIcon; }

void CMainDlg::OnBnClickedStdout() {
  if (m_pStdout->GetSafeHwnd() == NULL) m_pStdout->Create();
  StdIo_printf("foo=%08x\n", (unsigned)(uintptr_t)Root_get_p_vm(App_get_p_root()));
}

LRESULT CMainDlg::OnStdoutClose(WPARAM, LPARAM) {
  m_pStdout->DestroyWindow();
  return 0;
}

void CMainDlg::OnCancel() {
  if (m_is_programming) {
    int answer = MessageBox(
        "Programming of the flash memory has not yet completed !\n\n"
        "Do you want to interrupt programming ?\n",
        "Warning", MB_YESNOCANCEL | MB_ICONEXCLAMATION | MB_DEFBUTTON3);  // 0x233
    if (answer == IDYES) m_is_abort = 1;
    return;
  }
  CDialog::OnCancel();
}

/* ---- status display ---- */

int show_status(CMainDlg* dialog, const char* upper, const char* lower, int percent) {
  if (dialog == NULL) return 0;
  if (upper != NULL) dialog->m_static_upper.SetWindowText(upper);
  if (lower != NULL) dialog->m_static_lower.SetWindowText(lower);
  if (percent >= 0) dialog->m_progress.SetPos(percent);
  return 1;
}

void show_ready(CMainDlg* dialog) { show_status(dialog, "ready", "ready", 0); }

void show_progress(CMainDlg* dialog, int n_done, int n_total) {
  int percent = n_total == 0 ? 0 : (int)((int64_t)n_done * 100 / n_total);
  char text[64];
  snprintf(text, sizeof text, "%d of %d (%d %%)", n_done, n_total, percent);
  show_status(dialog, NULL, text, percent);
}
