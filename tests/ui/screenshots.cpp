// SPDX-License-Identifier: MIT
// Renders the program's windows to PNG files: the main window with a log,
// a question box, a wait box with its bar and the print-style box. Usage: ui_screenshots <dir>
// (scripts/screenshots.sh runs it on a private Xvfb).
#include <QAbstractButton>
#include <QApplication>
#include <QGuiApplication>
#include <QPixmap>
#include <QScreen>
#include <QTimer>
#include <QWidget>
#include <cstdio>
#include <string>

#include "lib/window/msgbox.h"
#include "ui/app.h"
#include "ui/dialog.h"
#include "ui/multiget.h"

namespace {

// Grabs the window from the screen with its frame and title bar when a
// window manager drew them, else the window's own contents.
bool Save(QWidget* w, const std::string& path) {
  if (w == nullptr) return false;
  const QRect frame = w->frameGeometry();
  QScreen* screen = QGuiApplication::primaryScreen();
  const QPixmap shot =
      frame != w->geometry() && screen != nullptr
          ? screen->grabWindow(0, frame.x(), frame.y(), frame.width(), frame.height())
          : w->grab();
  const bool ok = shot.save(QString::fromStdString(path), "PNG");
  std::printf("%s %s\n", ok ? "wrote" : "FAILED", path.c_str());
  return ok;
}

// The wait box (or print-style box) once it has been drawn.
QWidget* WaitBox() {
  for (int i = 0; i < 10; ++i) talvi::ui::SYSWAIT(20);
  for (QWidget* w : QApplication::topLevelWidgets()) {
    if (w->isVisible() && w->windowTitle() == "Attendere") return w;
  }
  return nullptr;
}

}  // namespace

int main(int argc, char** argv) {
  using namespace talvi;
  if (argc < 2) {
    std::fprintf(stderr, "usage: ui_screenshots <folder>\n");
    return 2;
  }
  const std::string dir = argv[1];
  ui::Startup(argc, argv);
  bool ok = true;

  ui::DialogArgs args;
  args.cCaption = "TALVI 1.01 (COM1:57600,N,8,1)";
  args.nStyle = 0;
  args.nWidth = 500;
  args.nHeight = 500;
  ui::TDialog dialog(args);
  dialog.lModify = false;
  dialog.lHelpIcon = false;
  std::string log;
  ui::TMultiGet* get = ui::TMultiGet::New(
      0, 0, [&](std::optional<std::string> v) { return v ? (log = *v) : log; }, &dialog, 200, 80,
      true);
  dialog.bStart = [&] {
    auto add = [&](const std::string& line) {
      get->VarPut(get->VarGet() + line + "\r\n");
      get->Refresh();
      get->GoBottom();
    };
    add("Waiting data (ESC to exit)...");
    for (int track = 0; track < 12; ++track) {
      for (int side = 0; side < 2; ++side) {
        add("Receiving track " + std::to_string(track) + ", side " + std::to_string(side));
      }
    }
    add("Waiting data (ESC to exit)...");
    for (int i = 0; i < 5; ++i) ui::SYSWAIT(20);
    QWidget* main = QApplication::activeModalWidget();
    ok = Save(main, dir + "/main_window.png") && ok;

    QTimer::singleShot(300, [&] {
      QWidget* box = QApplication::activeModalWidget();
      ok = Save(box, dir + "/question_box.png") && ok;
      for (auto* b : box->findChildren<QAbstractButton*>()) {
        if (b->text().remove('&') == "OK") b->click();
      }
    });
    lib::POPMSG("Il file /home/utente/dischi/gioco.opd gi\xE0 esiste. Lo sovrascrivo?", 2);

    lib::POPMSG("Ricezione della traccia 12 in corso;attendere prego", {}, {}, false, 0, 80);
    lib::POPMSG("Ricezione della traccia 12 in corso;attendere prego", {}, {}, false, {}, {}, 30);
    ok = Save(WaitBox(), dir + "/wait_box.png") && ok;
    lib::POPMSG();

    // The print-style box on its third page.
    lib::POPMSG({}, {}, {}, false, {}, {}, {}, true);
    lib::POPMSG({}, {}, {}, false, {}, {}, {}, false, true);
    lib::POPMSG({}, {}, {}, false, {}, {}, {}, false, true);
    ok = Save(WaitBox(), dir + "/print_box.png") && ok;
    lib::POPMSG();
    dialog.End();
  };
  ui::ActivateArgs activate;
  activate.lCentered = true;
  activate.bInit = [&](ui::TDialog& d) { d.SetControl(get); };
  dialog.Activate(activate);
  return ok ? 0 : 1;
}
