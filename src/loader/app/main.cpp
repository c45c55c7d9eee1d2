/*
** main.cpp - the program zent-loader: opens the display through the FLTK backend of the
** framework stand-in and hands over to the framework's main routine, which runs the
** application object's InitInstance (main_app.cpp). Without a display it says so and ends.
*/
#include "main_app.h"
#include "mfc_fltk.h"

#include <cstdio>
#include <cstdlib>

int main(int argc, char** argv) {
  // theApp lives in the loader library; naming it here links it (and its resources) in.
  if (AfxGetApp() != &theApp) return 3;
  if (!mfc_fltk_install()) {
    const char* d = std::getenv("DISPLAY");
    std::fprintf(stderr, "zent-loader: cannot open the display %s; it needs a graphical session.\n",
                 d && *d ? d : "(DISPLAY is not set)");
    return 2;
  }
  return AfxWinMain(argc, argv);
}
