/*
** stdout_dlg.h - the Stdout window: a modeless dialog (template 143) whose list view
** mirrors the debug terminal line by line. It refreshes every 100 ms, copies the screen
** only when the terminal's change counter moved, and keeps the last line with text in
** view. Closing it with an owner set only asks the owner (WM_STDOUT_CLOSE), which destroys
** the window; the object survives and can open the window again.
*/
#ifndef ZENT_STDOUT_DLG_H
#define ZENT_STDOUT_DLG_H

#include "db_term.h"
#include "mfc_dialog.h"
#include "resource.h"

/* Posted to the owner when the user closes the window: wParam 2, lParam 0. */
#define WM_STDOUT_CLOSE (WM_USER + 10)

class CStdoutDlg : public CDialog {
 public:
  /* The constructor the main dialog uses: the owner is told when the user closes. */
  explicit CStdoutDlg(CWnd* pOwner);
  /* A window with a parent instead of an owner: closing ends it the ordinary way. */
  enum WithParent { WITH_PARENT };
  CStdoutDlg(WithParent, CWnd* pParent);
  ~CStdoutDlg() override;
  enum { IDD = IDD_STDOUT };

  CWnd* m_pOwner;          // borrowed; NULL when made with a parent
  DbTerm* m_p_db_term;     // borrowed; fetched when the window opens
  int m_n_change;          // terminal change counter at the last copy, -1 none yet
  CListCtrl m_list;        // control 1066

  DECLARE_MESSAGE_MAP()

 protected:
  void DoDataExchange(CDataExchange* pDX) override;

 public:
  BOOL OnInitDialog() override;
  /* Close, Escape and the close box: WM_STDOUT_CLOSE to the owner, else the base. */
  void OnCancel() override;
  afx_msg void OnTimer(UINT_PTR nIDEvent);

  using CDialog::Create;
  /* Makes the window modelessly from template 143, visible at once. */
  BOOL Create();
  /* Copies the terminal's screen into the list when it changed (all of it with b_init,
  ** which also makes the column). TRUE. */
  BOOL UpdateList(BOOL b_init);
};

#endif
