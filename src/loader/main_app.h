/*
** main_app.h - the application object. The process has one, theApp; its InitInstance is
** the tool's whole life: it installs the Win32 file system as the process default, builds
** the Root object graph and runs the main dialog modally, then returns FALSE so that the
** process ends when the dialog closes. App_get_p_root gives the rest of the user
** interface the Root.
*/
#ifndef ZENT_MAIN_APP_H
#define ZENT_MAIN_APP_H

#include "mfc_app.h"
#include "root.h"

class CMainApp : public CWinApp {
 public:
  CMainApp();
  ~CMainApp() override;

  Root* m_p_root;  // NULL until InitInstance has built it; never released

  /* Builds the Root and runs the main dialog; a Root that cannot be built gives the box
  ** "Starting application failed !" instead. Always FALSE. */
  BOOL InitInstance() override;

  DECLARE_MESSAGE_MAP()
};

extern CMainApp theApp;

/* The Root of the one application object; NULL before InitInstance built it or after a
** failed build. */
Root* App_get_p_root(void);

#endif
