/*
** mfc_app.cpp - CWinApp, the application registry and the framework's main routine.
*/
#include "mfc_app.h"

namespace {
CWinApp* g_app = nullptr;  // the one application object, set by its constructor
}

BEGIN_MESSAGE_MAP(CWinApp, CCmdTarget)
END_MESSAGE_MAP()

CWinApp::CWinApp(LPCTSTR lpszAppName) : m_pszAppName(lpszAppName), m_pMainWnd(nullptr) {
  g_app = this;
}

CWinApp::~CWinApp() {
  if (g_app == this) g_app = nullptr;
}

BOOL CWinApp::InitInstance() { return TRUE; }

int CWinApp::ExitInstance() { return 0; }

int CWinApp::Run() {
  for (;;) {
    MSG msg;
    if (!PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
      WaitMessage();
      continue;
    }
    if (msg.message == WM_QUIT) {
      ExitInstance();
      return (int)msg.wParam;
    }
    if (mfc_pre_translate(&msg)) continue;
    TranslateMessage(&msg);
    DispatchMessageA(&msg);
  }
}

HICON CWinApp::LoadIcon(UINT nIDResource) const { return mfc_icon_handle(nIDResource); }

void CWinApp::OnHelp() {}

CWinApp* AfxGetApp() { return g_app; }

CWnd* AfxGetMainWnd() { return g_app ? g_app->m_pMainWnd : nullptr; }

int AfxWinMain(int, char**) {
  CWinApp* app = AfxGetApp();
  if (!app) return -1;
  if (!app->InitInstance()) return app->ExitInstance();
  return app->Run();
}
