/*
** main_app.cpp - the application object theApp and its start-up.
*/
#include "main_app.h"

#include "fs.h"
#include "fs_w32.h"
#include "main_dlg.h"
#include "resource.h"

CMainApp theApp;

BEGIN_MESSAGE_MAP(CMainApp, CWinApp)
  ON_COMMAND(ID_HELP, &CWinApp::OnHelp)
END_MESSAGE_MAP()

CMainApp::CMainApp() : CWinApp(nullptr), m_p_root(nullptr) {
  // The resources belong to the program, as they would be linked into it.
  mfc_resources_set(main_rc_get());
}

CMainApp::~CMainApp() {}

BOOL CMainApp::InitInstance() {
  CWinApp::InitInstance();
  Fs_set_default(FsW32_alloc());
  m_p_root = Root_alloc();
  if (m_p_root == NULL) {
    MessageBoxA(GetFocus(), "Starting application failed !\nRoot_alloc() returned NULL",
                "Error...", MB_ICONEXCLAMATION);
  } else {
    CMainDlg dlg;
    m_pMainWnd = &dlg;
    dlg.DoModal();
    m_pMainWnd = NULL;  // the dialog is gone with this call
  }
  return FALSE;
}

Root* App_get_p_root(void) { return theApp.m_p_root; }
