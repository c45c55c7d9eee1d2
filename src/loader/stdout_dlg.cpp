/*
** stdout_dlg.cpp - the Stdout window and its refresh from the debug terminal.
*/
#include "stdout_dlg.h"

#include "main_app.h"
#include "strx.h"

#define STDOUT_TIMER_ID 1
#define STDOUT_TIMER_MS 100
#define STDOUT_COLUMN_WIDTH 1000  // pixels: wider than any line the terminal holds

CStdoutDlg::CStdoutDlg(CWnd* pOwner)
    : CDialog(), m_pOwner(pOwner), m_p_db_term(NULL), m_n_change(-1) {}

CStdoutDlg::CStdoutDlg(WithParent, CWnd* pParent)
    : CDialog(CStdoutDlg::IDD, pParent), m_pOwner(NULL), m_p_db_term(NULL), m_n_change(-1) {}

CStdoutDlg::~CStdoutDlg() {}

BEGIN_MESSAGE_MAP(CStdoutDlg, CDialog)
  ON_WM_TIMER()
END_MESSAGE_MAP()

BOOL CStdoutDlg::Create() { return CDialog::Create(CStdoutDlg::IDD, NULL); }

void CStdoutDlg::DoDataExchange(CDataExchange* pDX) {
  CDialog::DoDataExchange(pDX);
  DDX_Control(pDX, IDC_LIST_STDOUT, m_list);
}

BOOL CStdoutDlg::OnInitDialog() {
  CDialog::OnInitDialog();
  m_p_db_term = Root_get_p_db_term(App_get_p_root());
  UpdateList(TRUE);
  SetTimer(STDOUT_TIMER_ID, STDOUT_TIMER_MS, NULL);
  return TRUE;
}

void CStdoutDlg::OnTimer(UINT_PTR nIDEvent) {
  UpdateList(FALSE);
  CWnd::OnTimer(nIDEvent);
}

void CStdoutDlg::OnCancel() {
  if (m_pOwner != NULL) {
    m_pOwner->PostMessage(WM_STDOUT_CLOSE, 2, 0);
    return;
  }
  CDialog::OnCancel();
}

BOOL CStdoutDlg::UpdateList(BOOL b_init) {
  if (b_init) {
    m_list.InsertColumn(0, "Stdout", LVCFMT_LEFT, STDOUT_COLUMN_WIDTH, 0);
    m_n_change = -1;
  }
  int n = DbTerm_to_string(m_p_db_term, m_n_change);
  if (n < 0) return TRUE;
  DbTerm_enter(m_p_db_term);
  DbTerm* t = m_p_db_term;
  int last = 0;
  for (int i = 0; i < t->ny_scr; i++) {
    const char* p_row = t->p_scr + (size_t)((t->i_top + i) % t->ny_scr) * (size_t)t->n_stride;
    if (i < m_list.GetItemCount())
      m_list.SetItem(i, 0, LVIF_TEXT, p_row, 0, 0, 0, 0);
    else
      m_list.InsertItem(i, p_row);
    if (strx_len_trim(p_row) > 0) last = i;
  }
  DbTerm_exit(m_p_db_term);
  m_n_change = n;
  m_list.EnsureVisible(last, FALSE);
  return TRUE;
}
