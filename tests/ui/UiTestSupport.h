// Shared by the desktop tests: a program folder with the shipped library,
// and acting on a modal window once it is up.
#pragma once

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QString>
#include <QTimer>
#include <functional>
#include <memory>

#include "domain/BDomain.h"
#include "interaction/Tools.h"
#include "ui/FMain.h"

namespace brellin::test {

// Copies the shipped brushes, styles and patterns into Folder and makes it
// the program folder (and Folder/config the settings' home); false when a file could not be copied.
inline bool MakeProgramFolder(const QString& Folder) {
  const QDir data(BRELLIN_SOURCE_DIR "/data");
  for (const QString& f : data.entryList({"*.srd", "*.bst", "*.stk"}, QDir::Files))
    if (!QFile::copy(data.filePath(f), QDir(Folder).filePath(f))) return false;
  qputenv("BRELLIN_HOME", Folder.toUtf8());
  // Settings of its own too: never the user's brellin.conf.
  qputenv("XDG_CONFIG_HOME", (Folder + "/config").toUtf8());
  return true;
}

// Runs Act on the next modal window of type T once it is up.
template <class T>
void WhenModal(std::function<void(T*)> Act) {
  auto poll = std::make_shared<std::function<void()>>();
  *poll = [Act, poll] {
    if (auto* d = qobject_cast<T*>(QApplication::activeModalWidget())) {
      Act(d);
      return;
    }
    QTimer::singleShot(20, *poll);
  };
  QTimer::singleShot(20, *poll);
}

// The domain and the main window over a scripted user interface, as the
// program starts them; the window is freed before the domain.
template <class TUi>
struct TMainSession {
  TUi Ui;
  TDomain Domain{&Ui};
  std::unique_ptr<TFMain> Main;
  TMainSession() {
    Domain.ToolManagerFactory = MakeToolManagerFactory();
    Main = std::make_unique<TFMain>(Domain);
    Ui.SetParent(Main.get());
  }
  ~TMainSession() { Main.reset(); }
};

}  // namespace brellin::test
