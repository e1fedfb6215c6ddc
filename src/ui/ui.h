// SPDX-License-Identifier: MIT
// The window layer: the dialog window with its handler slots, the log
// control, the message-pump step, the file chooser and the system message
// box. Toolkit-neutral: the Qt implementation lives in ui/qt/.
//
// Every text that crosses this interface is a byte string in the Windows
// ANSI code page (1252); the layer converts at the window boundary.
// Everything here runs on the window thread (the thread that called
// Startup, or the first one that used the layer).
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <stop_token>
#include <string>
#include <string_view>
#include <vector>

namespace talvi::ui {

// A window handle as handed to the serial layer: an integer that names one
// live window; 0 means "no window". Handles are never reused, so a handle
// of a window that has gone names nothing.
using WindowHandle = std::intptr_t;

// Creates the application object when there is none yet (every function of
// this layer also does so on first use). Shutdown destroys it when Startup
// made it. Startup also installs the window sender into the serial layer.
void Startup(int& argc, char** argv);
void Startup();
void Shutdown();

// Window styles understood by TDialog (values as on Windows).
inline constexpr std::uint32_t WS_POPUP = 0x80000000u;
inline constexpr std::uint32_t WS_CAPTION = 0x00C00000u;
inline constexpr std::uint32_t WS_SYSMENU = 0x00080000u;
inline constexpr std::uint32_t WS_THICKFRAME = 0x00040000u;
inline constexpr std::uint32_t WS_MINIMIZEBOX = 0x00020000u;
inline constexpr std::uint32_t WS_MAXIMIZEBOX = 0x00010000u;
inline constexpr std::uint32_t DS_MODALFRAME = 0x00000080u;

class TDialog;

// Base of the controls a dialog owns. Controls are created with New and
// belong to their owner dialog, which builds their windows when it builds
// its own.
class TControl {
 public:
  TControl(const TControl&) = delete;
  TControl& operator=(const TControl&) = delete;
  virtual ~TControl();

  // The library's class name ("TMULTIGET", "TSAY", "TGET" ...).
  virtual std::string ClassName() const = 0;

  TDialog* oWnd = nullptr;                           // owner
  int nTop = 0, nLeft = 0, nBottom = 0, nRight = 0;  // pixels, inclusive
  std::intptr_t hWnd = 0;                            // non-zero once the control's window exists
  int nId = 0;                                       // control number within its dialog (0: none)
  // A control-specific check used by the library's validators.
  std::function<bool(TControl&)> Cargo;

  // Gives this control the keyboard focus.
  void SetFocus();
  // Background colour as 0x00BBGGRR (255 is pure red); -1 is the default.
  int GetBackColor() const;
  void SetBackColor(int rgb);
  void Show(bool visible);

  // Toolkit side of the control (defined by the implementation).
  struct Native;
  Native* native() const { return native_.get(); }
  // Builds the control's window inside its owner's window; called by the
  // owner. Idempotent.
  virtual void Create() = 0;

 protected:
  TControl();
  std::unique_ptr<Native> native_;
};

// Arguments of TDialog::New, by name. Defaults as documented per field.
struct DialogArgs {
  int nTop = 0, nLeft = 0, nBottom = 10, nRight = 40;  // character units unless pixels
  std::string cCaption;
  std::optional<std::uint32_t> nStyle;  // none: DS_MODALFRAME|WS_POPUP|WS_CAPTION|WS_SYSMENU
  bool lPixel = false;
  int nWidth = 0, nHeight = 0;  // either non-zero: pixels, bottom:=height, right:=width
  std::string cVarName = "oDlg";
  bool lResizable = false;  // adds WS_THICKFRAME|WS_MINIMIZEBOX|WS_MAXIMIZEBOX to the default
  TDialog* oWnd = nullptr;  // owner window
};

// Arguments of TDialog::Activate.
struct ActivateArgs {
  std::function<void(int row, int col)> bLClicked;
  std::function<void()> bMoved;
  std::function<void()> bPainted;
  bool lCentered = false;
  std::function<bool(TDialog&)> bValid;
  bool lModal = true;
  std::function<void(TDialog&)> bInit;
  std::function<void(int row, int col)> bRClicked;
  std::function<bool(TDialog&)> bWhen;
  bool lResize16 = false;
};

// A dialog window. Handler slots are plain members; an empty one does
// nothing (an empty bValid allows closing).
class TDialog {
 public:
  explicit TDialog(const DialogArgs& args = {});
  ~TDialog();
  TDialog(const TDialog&) = delete;
  TDialog& operator=(const TDialog&) = delete;

  static std::unique_ptr<TDialog> New(const DialogArgs& args = {}) {
    return std::make_unique<TDialog>(args);
  }

  // Shows the window. A modal dialog returns only when it has ended; a
  // non-modal one returns once it is shown.
  void Activate(const ActivateArgs& args = {});
  // Closes the window with nResult when bValid allows (true), else false.
  // The close box and every other close request go through here.
  bool End(int result = 2);
  // Makes `control` the client control that fills the client area.
  void SetControl(TControl* control);
  // Delivers a serial notification: runs bCommNotify when set.
  void CommNotify(std::intptr_t wParam, std::intptr_t lParam);

  // Controls registered with this dialog, in creation order.
  const std::vector<std::unique_ptr<TControl>>& Controls() const { return controls_; }
  // Adopts a control (the controls' New calls this). Returns it.
  TControl* AddControl(std::unique_ptr<TControl> control);
  // Sets the title (trailing blanks cut) and shows it when the window exists.
  void SetText(const std::string& caption);
  // Enables or disables input to the window.
  void Enable(bool enabled);
  bool IsEnabled() const;
  // Forces a repaint now.
  void Refresh();
  // Client size in pixels (0 before the window exists).
  int Width() const;
  int Height() const;

  std::string cCaption;
  int nTop = 0, nLeft = 0, nBottom = 0, nRight = 0;
  std::uint32_t nStyle = 0;
  bool lModal = true;
  bool lCentered = false;
  bool lModify = true;
  bool lHelpIcon = true;  // only false suppresses the help button
  // Esc acts as the cancel command (End(2)) only when this is true; the
  // transfer window leaves it false so that Esc never closes it.
  bool lEscCancels = false;
  std::string cVarName;
  // Non-zero while the window exists; back to 0 once it has ended, which is
  // how long-running handlers learn that their window has been closed.
  WindowHandle hWnd = 0;
  TControl* oClient = nullptr;
  int nResult = 0;
  // Close code: none or 2 closes without confirming, any other value confirms.
  std::optional<int> Cargo;
  // Wait cursor over the window while it exists.
  bool lWaitCursor = false;

  std::function<void(TDialog&)> bInit;
  std::function<void()> bStart;  // runs once after the first display, cleared first
  std::function<bool(TDialog&)> bValid;
  std::function<void(std::intptr_t wParam, std::intptr_t lParam)> bCommNotify;
  std::function<void(int row, int col)> bLClicked, bRClicked;
  std::function<void()> bMoved, bPainted;

  struct Native;
  Native* native() const { return native_.get(); }

 private:
  std::vector<std::unique_ptr<TControl>> controls_;
  std::unique_ptr<Native> native_;
};

// The dialog created most recently that still exists (default owner of
// controls), or nullptr.
TDialog* LastDialog();
// The dialog behind a window handle, or nullptr when it has gone.
TDialog* DialogFromHandle(WindowHandle hWnd);
// Handle of the active (focused) window of this program, 0 when none.
WindowHandle GetActiveWindow();
// Enables or disables the window behind a handle; false when it has gone.
bool EnableWindow(WindowHandle hWnd, bool enabled);
bool IsWindowEnabled(WindowHandle hWnd);

// The control of `dialog` that holds the keyboard focus, or nullptr.
TControl* FocusedControl(const TDialog& dialog);
// Width in pixels of `text` (one line) in a font; an empty family means the
// screen's default font, a size of 0 its default size.
int TextWidth(const std::string& text, const std::string& family = "", int pixelSize = 0);
// Character (line) height in pixels of a font, as TextWidth.
int CharHeight(const std::string& family = "", int pixelSize = 0);

// Read-only or editable multi-line text bound to a variable through
// bSetGet: called without a value it gives the text, with a value it
// stores it (and gives it back).
using SetGet = std::function<std::string(std::optional<std::string>)>;

// A text variable that a control can follow cheaply while it grows. It
// counts every change that is not an append, so a control that showed the
// text at some count knows, without reading the text again, that it still
// begins with what was shown as long as the count has not moved.
class TextVar {
 public:
  const std::string& Get() const { return text_; }
  void Set(std::string text) {
    text_ = std::move(text);
    ++rewrites_;
  }
  void Append(std::string_view tail) { text_.append(tail); }
  std::uint64_t Rewrites() const { return rewrites_; }

 private:
  std::string text_;
  std::uint64_t rewrites_ = 0;
};

class TMultiGet : public TControl {
 public:
  // Creates the control in `owner` (default: LastDialog()); owned by it.
  // Throws std::logic_error when there is no dialog to own it.
  static TMultiGet* New(int row, int col, SetGet bSetGet, TDialog* owner = nullptr, int width = 200,
                        int height = 80, bool lReadOnly = false);
  // The same over a TextVar: bSetGet reads and sets `text`, and Refresh
  // follows appends to it without reading the whole text again. The
  // variable must outlive the control. A bSetGet assigned later replaces
  // the binding: from then on the text goes through it alone.
  static TMultiGet* New(int row, int col, TextVar& text, TDialog* owner = nullptr, int width = 200,
                        int height = 80, bool lReadOnly = false);

  std::string ClassName() const override { return "TMULTIGET"; }
  void Create() override;

  // The text through bSetGet ("" when bSetGet is empty).
  std::string VarGet() const;
  // Stores the text through bSetGet; the window is not updated.
  void VarPut(const std::string& text);
  // VarPut(VarGet() + tail); over a TextVar it costs the tail only.
  void Append(std::string_view tail);
  // Shows VarGet() in the window. When the new text only extends what is
  // shown, only the new tail is sent to the window; over a TextVar that is
  // known from its rewrite count, so a line costs the same however long the
  // text has grown.
  void Refresh();
  // Caret after the last character; the last line scrolled into view.
  void GoBottom();
  // The text the window shows (1252 bytes, line breaks as CR LF).
  std::string GetText() const;

  SetGet bSetGet;
  bool lReadOnly = false;

 private:
  TMultiGet() = default;
  // Sends `text` to the window: only its part after what is shown when
  // `extends`, else the whole of it.
  void Show(std::string_view text, bool extends);

  // The TextVar behind bSetGet while it is still the accessor that New
  // installed; nullptr once bSetGet has been replaced.
  TextVar* BoundVar() const;

  const TextVar* shownVar_ = nullptr;  // the TextVar the window's text came from, if any
  std::string shown_;                  // bytes last sent (kept only without a TextVar)
  std::size_t shownSize_ = 0;          // how many bytes the window shows
  std::uint64_t shownRewrites_ = 0;
  bool shownEndsInCr_ = false;
  bool shownValid_ = false;  // false until the window has been given text
};

// One step of the message pump: handles every event and cross-thread call
// that is waiting, without waiting itself. False when the program has been
// asked to quit (PostQuitMessage or the application's quit), true otherwise.
bool SYSREFRESH();
// Like SYSREFRESH, but when nothing is waiting it blocks on the window
// thread's event queue for at most `ms` milliseconds (kWaitForever: without
// a bound); any event (a serial notification from a watcher thread
// included) wakes it at once. Lets wait loops idle without spinning a
// processor core.
inline constexpr int kWaitForever = -1;
bool SYSWAIT(int ms);
// True when SYSWAIT also wakes for a key pressed or released anywhere on the
// screen (X11, where the key probe follows the server's key events): a wait
// for Esc then needs no bound. False where the key state has to be asked for
// again to see a change (a wait for a key then keeps a short bound).
bool KeysWakeWaits();
// The "send to window and wait" function that Startup installs into the
// serial layer: runs the window's CommNotify for WM_COMMNOTIFY on the
// window thread (inside SYSREFRESH, SYSWAIT or a dialog's own loop) and
// returns once it has run, once `stop` is requested, or at once when the
// handle names no live window. No handler runs once `stop` is requested.
void SendToWindow(WindowHandle window, unsigned msg, std::intptr_t wParam, std::intptr_t lParam,
                  std::stop_token stop);
// The character code (1252) of the last key that typed a character in any of
// the program's windows; 0 before any. Activate resets it.
int LASTKEY();
void SETLASTKEY(int code);
// Asks the pump to quit: the next SYSREFRESH/SYSWAIT returns false.
void PostQuitMessage(int code = 0);

// File chooser. `filter` holds description|pattern pairs ("File OPD
// (*.opd)|*.opd"); a pattern may hold several masks separated by ";".
// `save` none: a save dialog exactly when `fileName` is given. `flags`
// replaces the default 2060 (path must exist, no directory change, hide
// read-only); 0x2 asks before overwriting, 0x1000 wants existing files,
// 0x200 allows several files in an open dialog. With 0x800 (or 0x1000) a
// name in a folder that does not exist is refused in the chooser; a name
// whose characters 1252 cannot hold always is (the user is told, the
// chooser stays). Gives the chosen full path (1252), "" on cancel, and ""
// at once when called without any argument.
std::string cGetFile(const std::string& filter = "", const std::optional<std::string>& title = {},
                     std::optional<int> filterIndex = {},
                     const std::optional<std::string>& initialDir = {},
                     std::optional<bool> save = {}, bool longNames = false,
                     std::optional<unsigned> flags = {},
                     const std::optional<std::string>& fileName = {});
// The same for an open dialog that allows multiple selection: the folder
// followed by each chosen name, or the one full path when one file was
// chosen; empty on cancel.
std::vector<std::string> cGetFiles(const std::string& filter,
                                   const std::optional<std::string>& title = {},
                                   std::optional<int> filterIndex = {},
                                   const std::optional<std::string>& initialDir = {});
// The filter index the user had chosen when the last chooser closed (1
// based; 0 while a chooser is open).
int cGetFileFilterIndex();

// Message box result codes and styles (values as on Windows).
inline constexpr int IDOK = 1, IDCANCEL = 2, IDYES = 6, IDNO = 7;
inline constexpr unsigned MB_OK = 0x0, MB_OKCANCEL = 0x1, MB_YESNOCANCEL = 0x3, MB_YESNO = 0x4;
inline constexpr unsigned MB_ICONSTOP = 0x10, MB_ICONQUESTION = 0x20, MB_ICONEXCLAMATION = 0x30,
                          MB_ICONINFORMATION = 0x40;
inline constexpr unsigned MB_DEFBUTTON2 = 0x100;
// A modal system-style message box owned by the active window; gives the
// chosen button. Esc answers Cancel when there is one, OK in an OK-only
// box, and nothing in a Yes/No box.
int ShowMessageBox(const std::string& text, const std::string& title, unsigned style);

// Text conversion at the window boundary (Windows-1252 <-> UTF-8).
std::string AnsiToUtf8(const std::string& ansi);
// Characters outside 1252 become "?".
std::string Utf8ToAnsi(const std::string& utf8);

}  // namespace talvi::ui
