/*
** mfc_fltk.h - the FLTK backend of the framework stand-in: draws each top-level window of
** the window tree as an FLTK window at the template's geometry, turns FLTK events into
** posted messages (a button press posts a click, the close box the close command, a
** right-click or Alt+Space opens the system menu), shows message boxes, and lets
** PeekMessageA collect pending FLTK events first. Every change is drawn at once. The window
** manager is told what each template's title bar offers and that a modal dialog or a box
** belongs to its owner (transient for it, so it stays above); a disabled owner takes no
** clicks and ignores its close box, as on the desktop.
*/
#ifndef ZENT_MFC_FLTK_H
#define ZENT_MFC_FLTK_H

/* Connects to the display and installs the backend. 1 on success; 0 when no display can
** be opened (nothing is installed then, and the caller should say so and stop). */
int mfc_fltk_install();

/* Removes the backend again (windows still open keep their FLTK widgets). */
void mfc_fltk_uninstall();

#endif
