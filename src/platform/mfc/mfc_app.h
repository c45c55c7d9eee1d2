/*
** mfc_app.h - the application object of the framework stand-in. The program defines one
** global object of a class derived from CWinApp; its constructor registers it, and the
** program's main() calls AfxWinMain, which runs InitInstance and, when that returns TRUE,
** the application's own message loop.
*/
#ifndef ZENT_MFC_APP_H
#define ZENT_MFC_APP_H

#include "mfc_dialog.h"

#define ID_HELP 0xE146u

class CWinApp : public CCmdTarget {
 public:
  explicit CWinApp(LPCTSTR lpszAppName = nullptr);
  ~CWinApp() override;

  LPCTSTR m_pszAppName;  // name given at construction, may be NULL
  CWnd* m_pMainWnd;      // the main window while it runs

  virtual BOOL InitInstance();
  virtual int ExitInstance();
  /* The message loop: dispatches until WM_QUIT; its wParam is the result. */
  virtual int Run();
  /* The icon resource nIDResource, NULL when missing. */
  HICON LoadIcon(UINT nIDResource) const;

  afx_msg void OnHelp();

  DECLARE_MESSAGE_MAP()
};

/* The one application object, NULL before it is constructed. */
CWinApp* AfxGetApp();
/* Its main window, NULL for none. */
CWnd* AfxGetMainWnd();

/* The framework's main routine: InitInstance, then Run or ExitInstance. The exit code. */
int AfxWinMain(int argc, char** argv);

#endif
