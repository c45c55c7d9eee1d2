/*
** mfc_fltk.cpp - FLTK widgets for the nodes of the window tree. The node is the truth: a
** widget is built from it and updated on every change the core reports; user input never
** changes a node directly but is posted as a message, so it takes effect only when somebody
** dispatches it (the modal loop, or the link's sleep callback during a download).
*/
#include "mfc_fltk.h"

#include "mfc_dialog.h"

#include <FL/Fl.H>
#include <FL/Fl_Box.H>
#include <FL/Fl_Button.H>
#include <FL/Fl_Choice.H>
#include <FL/Fl_Double_Window.H>
#include <FL/Fl_Hold_Browser.H>
#include <FL/Fl_Input.H>
#include <FL/Fl_Menu_Item.H>
#include <FL/Fl_Output.H>
#include <FL/Fl_Pixmap.H>
#include <FL/Fl_Progress.H>
#include <FL/Fl_RGB_Image.H>
#include <FL/Fl_Return_Button.H>
#include <FL/fl_draw.H>
#include <FL/x.H>
#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>

#include <algorithm>
#include <cstdlib>
#include <string>
#include <vector>

namespace {

const int k_font_size = 11;  // pixels; fits the 13-pixel line of an 8-unit control

HWND hwnd_of(Fl_Widget* w) { return (HWND)w->user_data(); }

/* A top-level window: the mouse's right button and Alt+Space open the system menu, the
** keyboard's Escape and Enter go to the dialog manager as key messages. */
class ZentWindow : public Fl_Double_Window {
 public:
  ZentWindow(int x, int y, int w, int h, HWND hwnd) : Fl_Double_Window(x, y, w, h), hwnd_(hwnd) {}
  int handle(int e) override {
    bool live = mfc_node_takes_input(mfc_node_of(hwnd_));
    // A disabled window (the owner of a modal dialog or box) takes no clicks, as on the
    // desktop; its keys still go to the window that has our focus.
    if (!live && (e == FL_PUSH || e == FL_RELEASE || e == FL_DRAG || e == FL_MOUSEWHEEL)) return 1;
    if (e == FL_PUSH && Fl::event_button() == FL_RIGHT_MOUSE) {
      LPARAM at = (LPARAM)MAKEWPARAM(Fl::event_x_root(), Fl::event_y_root());
      PostMessageA(hwnd_, WM_CONTEXTMENU, (WPARAM)hwnd_, at);
      return 1;
    }
    if (e == FL_KEYDOWN || e == FL_SHORTCUT) {
      int key = Fl::event_key();
      if (key == ' ' && Fl::event_alt()) return PostMessageA(hwnd_, WM_SYSKEYDOWN, VK_SPACE, 0), 1;
      if (key == FL_Escape) return post_key(VK_ESCAPE);
      if ((key == FL_Enter || key == FL_KP_Enter) && e == FL_SHORTCUT) return post_key(VK_RETURN);
      // No widget of a disabled window gets a key; refused as a key press, it comes back
      // as a shortcut (Enter among them) and ends here.
      if (!live) return e == FL_SHORTCUT;
    }
    return Fl_Double_Window::handle(e);
  }

 private:
  /* Keys go to the window with our keyboard focus, as Win32 routes them, whichever FLTK
  ** window the display gave them to: without a window manager that may be the disabled
  ** owner of the modal dialog that has the focus. */
  int post_key(int vk) {
    HWND focus = GetFocus();
    mfc_post_key(mfc_node_of(focus) ? focus : hwnd_, vk);
    return 1;
  }
  HWND hwnd_;  // the dialog's window number
};

/* A group box as Win32 draws it: an engraved frame whose top line runs through the middle
** of the title, which sits on a gap of the background near the left corner. */
class GroupBox : public Fl_Box {
 public:
  GroupBox(int x, int y, int w, int h) : Fl_Box(x, y, w, h) {}
  void draw() override {
    fl_font(labelfont(), labelsize());
    int th = fl_height(), half = th / 2;
    fl_draw_box(FL_ENGRAVED_FRAME, x(), y() + half, w(), h() - half, color());
    if (!label() || !*label()) return;
    int tw = 0, tth = 0;
    fl_measure(label(), tw, tth, 0);
    tw = std::min(tw, w() - 16);
    fl_color(color());
    fl_rectf(x() + 6, y(), tw + 4, th);
    fl_color(active_r() ? labelcolor() : fl_inactive(labelcolor()));
    fl_draw(label(), x() + 8, y(), tw, th, FL_ALIGN_LEFT | FL_ALIGN_CLIP);
  }
};

/* The window manager's close box. A disabled window ignores it: while a modal dialog or a
** box is open the command would otherwise wait in the queue and close the owner later. */
void cb_close(Fl_Widget* w, void*) {
  if (!mfc_node_takes_input(mfc_node_of(hwnd_of(w)))) return;
  PostMessageA(hwnd_of(w), WM_SYSCOMMAND, SC_CLOSE, 0);
}
void cb_button(Fl_Widget* w, void*) { mfc_post_click(hwnd_of(w)); }
void cb_choice(Fl_Widget* w, void*) {
  PostMessageA(hwnd_of(w), CB_SETCURSEL, (WPARAM)((Fl_Choice*)w)->value(), 0);
}

Fl_Image* icon_image(HICON h) {
  const MfcIconRes* p = (const MfcIconRes*)h;
  if (!p || !p->p_xpm) return nullptr;
  static std::vector<std::pair<const MfcIconRes*, Fl_Pixmap*>> cache;  // one per icon
  for (auto& c : cache)
    if (c.first == p) return c.second;
  Fl_Pixmap* pix = new Fl_Pixmap(p->p_xpm);
  cache.push_back({p, pix});
  return pix;
}

/* FLTK reads '/', '\\' and '_' in menu texts; escape them so entries show as given. */
std::string menu_text(const std::string& s) {
  std::string r;
  for (char c : s) {
    if (c == '/' || c == '\\' || c == '_') r += '\\';
    r += c;
  }
  return r;
}

void sync_text(MfcNode* p, Fl_Widget* w) {
  if (p->kind == MFC_KIND_EDIT)
    ((Fl_Input_*)w)->value(p->text.c_str());
  else if (p->kind != MFC_KIND_ICON)
    w->copy_label(p->text.c_str());
}

void sync_state(MfcNode* p, Fl_Widget* w) {
  if (p->p_parent) {
    if (p->enabled) w->activate(); else w->deactivate();
    if (p->visible) w->show(); else w->hide();
  } else if (!p->visible) {
    w->hide();
  } else if (p->iconic) {
    ((Fl_Window*)w)->iconize();
  } else {
    w->show();
  }
}

void sync_items(MfcNode* p, Fl_Widget* w) {
  if (p->kind == MFC_KIND_COMBOBOX) {
    Fl_Choice* c = (Fl_Choice*)w;
    if (c->size() - 1 != (int)p->items.size()) {
      c->clear();
      for (const std::string& s : p->items) c->add(menu_text(s).c_str(), 0, nullptr);
    }
    c->value(p->cur_sel);
    c->redraw();
  } else if (p->kind == MFC_KIND_LISTVIEW) {
    Fl_Browser* b = (Fl_Browser*)w;
    int n = (int)p->items.size();
    while (b->size() > n) b->remove(b->size());
    for (int i = 0; i < n; i++) {
      const char* t = p->items[(size_t)i].c_str();
      if (i < b->size()) {
        const char* old = b->text(i + 1);
        if (!old || std::string(old) != t) b->text(i + 1, t);
      } else {
        b->add(t);
      }
    }
  }
}

void sync_pos(MfcNode* p, Fl_Widget* w) {
  Fl_Progress* g = (Fl_Progress*)w;
  g->minimum((float)p->range_lo);
  g->maximum((float)p->range_hi);
  g->value((float)p->pos);
}

void sync_scroll(MfcNode* p, Fl_Widget* w) {
  Fl_Browser* b = (Fl_Browser*)w;
  if (p->i_visible >= 0 && p->i_visible < b->size() && !b->displayed(p->i_visible + 1))
    b->bottomline(p->i_visible + 1);
}

Fl_Widget* make_widget(MfcNode* p) {
  int x = mfc_du_to_px_x(p->x), y = mfc_du_to_px_y(p->y);
  int w = mfc_du_to_px_x(p->cx), h = mfc_du_to_px_y(p->cy);
  Fl_Widget* r = nullptr;
  switch (p->kind) {
    case MFC_KIND_BUTTON:
      r = (p->style & BS_TYPEMASK) == BS_DEFPUSHBUTTON ? new Fl_Return_Button(x, y, w, h)
                                                       : new Fl_Button(x, y, w, h);
      r->callback(cb_button);
      break;
    case MFC_KIND_GROUPBOX:
      r = new GroupBox(x, y, w, h);
      break;
    case MFC_KIND_EDIT: {
      Fl_Input_* in = (p->style & ES_READONLY) ? (Fl_Input_*)new Fl_Output(x, y, w, h)
                                               : (Fl_Input_*)new Fl_Input(x, y, w, h);
      in->textsize(k_font_size);
      r = in;
      break;
    }
    case MFC_KIND_ICON:  // the text names the icon resource: "#128"
      r = new Fl_Box(x, y, w, h);
      if (p->text.size() > 1 && p->text[0] == '#')
        r->image(icon_image(mfc_icon_handle((UINT)std::atoi(p->text.c_str() + 1))));
      break;
    case MFC_KIND_COMBOBOX: {
      Fl_Choice* c = new Fl_Choice(x, y, w, std::min(h, 21));
      c->textsize(k_font_size);
      c->callback(cb_choice);
      r = c;
      break;
    }
    case MFC_KIND_PROGRESS:
      r = new Fl_Progress(x, y, w, h);
      r->selection_color(FL_DARK_BLUE);
      break;
    case MFC_KIND_LISTVIEW: {
      Fl_Hold_Browser* b = new Fl_Hold_Browser(x, y, w, h);
      b->format_char(0);  // log lines are shown as they are, '@' included
      b->textfont(FL_COURIER);
      b->textsize(k_font_size);
      r = b;
      break;
    }
    case MFC_KIND_STATIC:
    default:
      r = new Fl_Box(x, y, w, h);
      // A right-aligned label may run out to the left, where its dialog leaves room.
      r->align((p->style & SS_TYPEMASK) == SS_RIGHT ? FL_ALIGN_RIGHT | FL_ALIGN_INSIDE
                                                    : FL_ALIGN_LEFT | FL_ALIGN_INSIDE | FL_ALIGN_CLIP);
      break;
  }
  r->labelsize(k_font_size);
  r->user_data((void*)p->hwnd);
  return r;
}

void sync_all(MfcNode* c, Fl_Widget* w) {
  sync_text(c, w);
  if (c->kind == MFC_KIND_COMBOBOX || c->kind == MFC_KIND_LISTVIEW) sync_items(c, w);
  if (c->kind == MFC_KIND_PROGRESS) sync_pos(c, w);
  if (c->enabled) w->activate(); else w->deactivate();
  if (c->visible) w->show(); else w->hide();
}

void place(MfcNode* dlg, int w, int h, int* p_x, int* p_y) {
  *p_x = std::max(0, (Fl::w() - w) / 2);
  *p_y = std::max(0, (Fl::h() - h) / 2);
  if (dlg->font_pt && dlg->cy > 300) *p_x = 8;  // tall diagnostic windows go to the left
}

/* ---- what the window manager is told ---- */

// Motif window-manager hints: the functions and decorations a window offers.
const long k_mwm_hints_functions = 1, k_mwm_hints_decorations = 2;
const long k_mwm_func_move = 4, k_mwm_func_minimize = 8, k_mwm_func_maximize = 16,
           k_mwm_func_close = 32;
const long k_mwm_decor_border = 2, k_mwm_decor_title = 8, k_mwm_decor_menu = 16,
           k_mwm_decor_minimize = 32, k_mwm_decor_maximize = 64;

Atom atom(const char* p_name) { return XInternAtom(fl_display, p_name, False); }

/* The name the running window manager gives itself, "" when none runs. */
std::string window_manager_name() {
  std::string name;
  Atom type;
  int format;
  unsigned long n, rest;
  unsigned char* p = nullptr;
  Window check = 0;
  if (XGetWindowProperty(fl_display, RootWindow(fl_display, fl_screen),
                         atom("_NET_SUPPORTING_WM_CHECK"), 0, 1, False, XA_WINDOW, &type,
                         &format, &n, &rest, &p) == Success && p && n == 1 && format == 32)
    check = (Window)((long*)p)[0];
  if (p) XFree(p);
  p = nullptr;
  if (check && XGetWindowProperty(fl_display, check, atom("_NET_WM_NAME"), 0, 64, False,
                                  atom("UTF8_STRING"), &type, &format, &n, &rest, &p) == Success &&
      p && format == 8)
    name.assign((const char*)p, n);
  if (p) XFree(p);
  return name;
}

/* Tells the window manager what the template allows and whom the window belongs to: the
** Motif hints offer minimise and maximise only where the style has their boxes, the close
** box where it has a system menu (the size is fixed anyway); a window with an owner is a
** modal dialog transient for it, so that it stays above its owner. Openbox lets the Motif
** hints remove only a whole title bar, never its buttons, but it offers neither minimise
** nor maximise for a tool window; an owned window has no taskbar entry and is never
** minimised on its own on the desktop this program was made for, so under Openbox an owned
** window says it is one. Called right after the window was shown: the requests travel
** with the map request, and the hints come last because a window manager that sees them
** change reads the type again with them. */
void tell_window_manager(Fl_Window* win, DWORD style, Fl_Window* owner) {
  Display* d = fl_display;
  Window xid = fl_xid(win);
  if (!d || !xid) return;
  long funcs = k_mwm_func_move, decor = k_mwm_decor_border | k_mwm_decor_title;
  if (style & WS_SYSMENU) funcs |= k_mwm_func_close, decor |= k_mwm_decor_menu;
  if (style & WS_MINIMIZEBOX) funcs |= k_mwm_func_minimize, decor |= k_mwm_decor_minimize;
  if (style & WS_MAXIMIZEBOX) funcs |= k_mwm_func_maximize, decor |= k_mwm_decor_maximize;
  long hints[5] = {k_mwm_hints_functions | k_mwm_hints_decorations, funcs, decor, 0, 0};
  Window owner_xid = owner && owner->shown() ? fl_xid(owner) : 0;
  bool tool = owner_xid && window_manager_name() == "Openbox";
  Atom type = atom(tool ? "_NET_WM_WINDOW_TYPE_TOOLBAR" : "_NET_WM_WINDOW_TYPE_DIALOG");
  XChangeProperty(d, xid, atom("_NET_WM_WINDOW_TYPE"), XA_ATOM, 32, PropModeReplace,
                  (unsigned char*)&type, 1);
  if (owner_xid) {
    XSetTransientForHint(d, xid, owner_xid);
    Atom state = atom("_NET_WM_STATE"), modal = atom("_NET_WM_STATE_MODAL");
    XChangeProperty(d, xid, state, XA_ATOM, 32, PropModeReplace, (unsigned char*)&modal, 1);
    // Once the window is managed its state is the window manager's: ask for it as well.
    XEvent e = {};
    e.xclient.type = ClientMessage;
    e.xclient.window = xid;
    e.xclient.message_type = state;
    e.xclient.format = 32;
    e.xclient.data.l[0] = 1;  // add
    e.xclient.data.l[1] = (long)modal;
    e.xclient.data.l[3] = 1;  // from an application
    XSendEvent(d, RootWindow(d, fl_screen), False,
               SubstructureNotifyMask | SubstructureRedirectMask, &e);
  }
  Atom mwm = atom("_MOTIF_WM_HINTS");
  XChangeProperty(d, xid, mwm, mwm, 32, PropModeReplace, (unsigned char*)hints, 5);
  XFlush(d);
}

Fl_Window* owner_window(HWND hwnd) {
  MfcNode* owner = mfc_node_top(mfc_node_of(hwnd));
  return owner ? (Fl_Window*)owner->p_front : nullptr;
}

void front_create(void*, MfcNode* dlg) {
  Fl_Group::current(nullptr);
  int w = mfc_du_to_px_x(dlg->cx), h = mfc_du_to_px_y(dlg->cy), x, y;
  place(dlg, w, h, &x, &y);
  ZentWindow* win = new ZentWindow(x, y, w, h, dlg->hwnd);
  win->copy_label(dlg->text.c_str());
  win->box(FL_UP_BOX);  // a frame of its own, for displays without a window manager
  win->user_data((void*)dlg->hwnd);
  win->callback(cb_close);
  for (MfcNode* c : dlg->children) {
    Fl_Widget* wd = make_widget(c);
    c->p_front = wd;
    sync_all(c, wd);
  }
  win->end();
  // No FLTK modality for dialogs: the core disables a modal dialog's owner itself, and an
  // FLTK-modal main window would keep later windows (the message boxes) from being drawn.
  Fl_Image* icon = icon_image(dlg->icon_big);
  if (icon) {
    Fl_RGB_Image rgb((Fl_Pixmap*)icon, FL_GRAY);
    win->icon(&rgb);
  }
  dlg->p_front = win;
  if (dlg->visible) {
    win->show();
    tell_window_manager(win, dlg->style, owner_window(dlg->hwnd_owner));
  }
  Fl::flush();
}

void front_destroy(void*, MfcNode* dlg) {
  Fl_Window* win = (Fl_Window*)dlg->p_front;
  for (MfcNode* c : dlg->children) c->p_front = nullptr;
  dlg->p_front = nullptr;
  if (!win) return;
  win->hide();
  Fl::delete_widget(win);  // deferred: we may be inside one of its callbacks
  Fl::flush();
}

void front_change(void*, MfcNode* p, int what) {
  Fl_Widget* w = (Fl_Widget*)p->p_front;
  if (!w) return;
  if (what & MFC_CHANGE_TEXT) sync_text(p, w);
  if (what & MFC_CHANGE_STATE) sync_state(p, w);
  if (what & MFC_CHANGE_ITEMS) sync_items(p, w);
  if (what & MFC_CHANGE_POS) sync_pos(p, w);
  if (what & MFC_CHANGE_SCROLL) sync_scroll(p, w);
  w->redraw();
  // Rows of a list come one by one; the list is drawn once its refresh scrolls.
  if (!(p->kind == MFC_KIND_LISTVIEW && what == MFC_CHANGE_ITEMS)) Fl::flush();
}

UINT_PTR front_popup_menu(void*, MfcNode* dlg, int x_root, int y_root) {
  Fl_Window* win = (Fl_Window*)dlg->p_front;
  if (!win || dlg->sys_menu.empty()) return 0;
  std::vector<Fl_Menu_Item> items;
  std::vector<std::string> texts;
  texts.reserve(dlg->sys_menu.size());
  for (const MfcMenuItem& m : dlg->sys_menu) {
    if (m.flags & MF_SEPARATOR) {
      if (!items.empty()) items.back().flags |= FL_MENU_DIVIDER;
      continue;
    }
    texts.push_back(m.text.substr(0, m.text.find('\t')));
    Fl_Menu_Item it = {};
    it.text = texts.back().c_str();
    it.user_data_ = (void*)m.id;
    it.flags = (m.flags & MF_GRAYED) ? FL_MENU_INACTIVE : 0;
    it.labelsize_ = k_font_size;
    items.push_back(it);
  }
  items.push_back(Fl_Menu_Item{});
  win->make_current();  // popup() places the menu relative to the current window
  int x = x_root - win->x_root(), y = y_root - win->y_root();
  if (x_root < 0 || x < 0 || y < 0 || x > win->w() || y > win->h()) x = y = 0;
  const Fl_Menu_Item* picked = items[0].popup(x, y);
  return picked ? (UINT_PTR)picked->user_data_ : 0;
}

/* ---- message boxes ---- */

const char* button_label(int id) {
  switch (id) {
    case IDOK: return "OK";
    case IDCANCEL: return "Cancel";
    case IDABORT: return "&Abort";
    case IDRETRY: return "&Retry";
    case IDIGNORE: return "&Ignore";
    case IDYES: return "&Yes";
    case IDNO: return "&No";
    default: return "?";
  }
}

struct BoxState {
  int answer;     // button id, 0 while open
  int id_escape;  // answer of Escape and the close box, 0 when neither may close
};

void cb_box_button(Fl_Widget* w, void* p) {
  BoxState* s = (BoxState*)w->window()->user_data();
  s->answer = (int)(intptr_t)p;
}

void cb_box_close(Fl_Widget* w, void*) {
  BoxState* s = (BoxState*)w->user_data();
  if (s->id_escape) s->answer = s->id_escape;
}

/* A box shows its text as given: FLTK's '@' symbols and '&' mnemonics are escaped. */
std::string plain_label(const char* p) {
  std::string r;
  for (; *p; p++) {
    if (*p == '@' || *p == '&') r += *p;
    r += *p;
  }
  return r;
}

int front_message_box(void*, HWND hwnd, LPCSTR p_text, LPCSTR p_caption, UINT type) {
  int ids[3];
  int n = win32_message_box_buttons(type, ids);
  int id_default = win32_message_box_default(type);
  BoxState s = {0, 0};
  for (int i = 0; i < n; i++)
    if (ids[i] == IDCANCEL || n == 1) s.id_escape = ids[i];
  fl_font(FL_HELVETICA, k_font_size);
  int tw = 0, th = 0;
  std::string label = plain_label(p_text);
  fl_measure(label.c_str(), tw, th, 0);
  int bw = 75, bh = 23, gap = 8;
  int w = std::max(70 + tw + 20, n * (bw + gap) + 2 * gap), h = std::max(th, 32) + bh + 48;
  Fl_Group::current(nullptr);
  Fl_Double_Window* win = new Fl_Double_Window(w, h);
  win->copy_label(p_caption);
  win->box(FL_UP_BOX);  // a frame of its own: without a window manager there is none
  win->user_data(&s);
  win->callback(cb_box_close);
  Fl_Box* icon = new Fl_Box(FL_ROUND_UP_BOX, 16, 16, 32, 32, (type & MB_ICONMASK) ? "!" : "i");
  icon->color(FL_YELLOW);
  icon->labelfont(FL_HELVETICA_BOLD);
  icon->labelsize(18);
  Fl_Box* text = new Fl_Box(64, 16, w - 72, std::max(th, 32));
  text->copy_label(label.c_str());
  text->labelsize(k_font_size);
  text->align(FL_ALIGN_LEFT | FL_ALIGN_INSIDE | FL_ALIGN_WRAP);
  int x = w - n * (bw + gap);
  for (int i = 0; i < n; i++, x += bw + gap) {
    Fl_Button* b = ids[i] == id_default ? new Fl_Return_Button(x, h - bh - 12, bw, bh)
                                        : new Fl_Button(x, h - bh - 12, bw, bh);
    b->label(button_label(ids[i]));
    b->labelsize(k_font_size);
    b->callback(cb_box_button, (void*)(intptr_t)ids[i]);
    if (ids[i] == id_default) Fl::focus(b);
  }
  win->end();
  win->set_modal();
  // The owner is disabled while its box is open, as on the desktop.
  MfcNode* owner = mfc_node_top(mfc_node_of(hwnd));
  HWND hwnd_owner = owner && owner->enabled ? owner->hwnd : nullptr;
  if (hwnd_owner) mfc_node_set_enabled(owner, false);
  Fl_Window* ow = owner_window(hwnd);
  if (ow) win->position(ow->x() + (ow->w() - w) / 2, ow->y() + (ow->h() - h) / 2);
  win->show();
  tell_window_manager(win, s.id_escape ? WS_SYSMENU : 0, ow);  // the close box at most
  while (!s.answer && win->shown()) Fl::wait(0.1);
  win->hide();
  Fl::delete_widget(win);
  if (hwnd_owner && mfc_node_of(hwnd_owner)) mfc_node_set_enabled(mfc_node_of(hwnd_owner), true);
  Fl::flush();
  return s.answer ? s.answer : id_default;
}

void pump(void*) { Fl::check(); }

void wait(void*, DWORD ms_max) { Fl::wait(std::min<DWORD>(ms_max, 100) / 1000.0); }

bool g_installed = false;  // the hooks are ours

}  // namespace

int mfc_fltk_install() {
  Display* d = XOpenDisplay(nullptr);
  if (!d) return 0;
  fl_open_display(d);  // FLTK keeps this connection: one open, no race with a second
  Fl::scheme("gtk+");
  // Dialog units follow the font, as Win32 takes them from the dialog's font.
  fl_font(FL_HELVETICA, k_font_size);
  double w = fl_width("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz");
  mfc_base_units_set((int)(w / 52 + 0.5), std::max(13, fl_height()));
  MfcFront f = {front_create, front_destroy, front_change, front_popup_menu, nullptr};
  mfc_front_set(&f, nullptr);
  win32_msg_set_pump(pump, nullptr);
  win32_msg_set_wait(wait, nullptr);
  win32_message_box_set_hook(front_message_box, nullptr, nullptr, nullptr);
  g_installed = true;
  return 1;
}

void mfc_fltk_uninstall() {
  if (!g_installed) return;
  mfc_front_set(nullptr, nullptr);
  win32_msg_set_pump(nullptr, nullptr);
  win32_msg_set_wait(nullptr, nullptr);
  win32_message_box_set_hook(nullptr, nullptr, nullptr, nullptr);
  g_installed = false;
}
