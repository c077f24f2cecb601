// brellin: the desktop program.
#include <QApplication>
#include <QFileInfo>
#include <QIcon>
#include <QMessageBox>
#include <QTimer>
#include <cstdio>
#include <cstring>
#include <memory>

#include "base/Clipboard.h"
#include "base/Parallel.h"
#include "base/ProgramFolder.h"
#include "domain/BDomain.h"
#include "interaction/InputController.h"
#include "interaction/Tools.h"
#include "interaction/UdmWacom.h"
#include "ui/FFullScreen.h"
#include "ui/FMain.h"
#include "ui/FPatternEdit.h"
#include "ui/FWait.h"
#include "ui/ImgView.h"
#include "ui/QtDomainUi.h"
#include "ui/SingleInstance.h"

using namespace brellin;

namespace {

void PrintHelp() {
  std::printf(
      "usage: brellin [FILE]\n"
      "\n"
      "Brellin Pro turns a photograph into a pen-and-ink or painted picture made of\n"
      "single strokes.\n"
      "\n"
      "  FILE        a project (.bpj) to open, or a picture (JPEG, PNG, BMP, TIFF)\n"
      "              to open as a new document\n"
      "  --version   print the version and exit\n"
      "  --help      print this help and exit\n"
      "\n"
      "Only one copy runs per user and program folder: a second copy hands FILE\n"
      "to the first and ends.\n");
}

// Exceptions that reach the event loop end the event without a message,
// but are written to the log.
class TApplication : public QApplication {
 public:
  using QApplication::QApplication;
  bool notify(QObject* Receiver, QEvent* Event) override {
    try {
      return QApplication::notify(Receiver, Event);
    } catch (const ESilentStop&) {
    } catch (const std::exception& e) {
      LogError(e.what());
    } catch (...) {
      LogError("unknown failure");
    }
    return false;
  }
};

// Offers the journals that copies of the program which died left behind.
void OfferRecovery(TDomain& Domain, TFMain& Main) {
  try {
    Domain.OfferRecovery();
  } catch (const ESilentStop&) {
  } catch (const std::exception& e) {
    LogError(std::string("recovery: ") + e.what());
  }
  Main.UpdateControls();
}

}  // namespace

int main(int argc, char** argv) {
  for (int i = 1; i < argc; ++i) {
    if (!std::strcmp(argv[i], "--version")) {
      std::printf("Brellin Pro %s\n", BRELLIN_VERSION);
      return 0;
    }
    if (!std::strcmp(argv[i], "--help") || !std::strcmp(argv[i], "-h")) {
      PrintHelp();
      return 0;
    }
  }
  TApplication app(argc, argv);
  app.setApplicationName("Brellin Pro");
  {
    // The program's own icon at every size it ships, for any screen's scale.
    QIcon icon;
    for (const int size : {16, 24, 32, 48, 64, 128, 256})
      icon.addFile(QString(":/brellin/icon-%1.png").arg(size), QSize(size, size));
    app.setWindowIcon(icon);
  }
  app.setApplicationVersion(BRELLIN_VERSION);
  const QStringList args = app.arguments().mid(1);
  // Absolute, so a copy already running elsewhere finds the same file.
  const QString argument = args.size() == 1 && !args.first().isEmpty()
                               ? QFileInfo(args.first()).absoluteFilePath()
                               : QString();

  TSingleInstance instance(SingleInstanceName(QString::fromStdString(ProgramFolder())));
  if (!instance.Start(argument)) return 0;
  if (!instance.ListenError().isEmpty()) LogError(instance.ListenError().toStdString());

  // The tablet module, then the domain, then the main window.
  TPressurePacketSource pen;
  TdmWacom wacom(&pen);
  wacom.Install();
  TImgView::OnPenPressure = [&](double Pressure) { pen.Send(Pressure); };
  TQtClipboard clipboard;
  SetClipboardPort(&clipboard);
  TQtDomainUi ui;
  std::unique_ptr<TDomain> domain;
  try {
    domain = std::make_unique<TDomain>(&ui);
  } catch (const std::exception& e) {
    QMessageBox::critical(nullptr, "Brellin Pro", QString::fromStdString(e.what()));
    return 1;
  }
  domain->ToolManagerFactory = MakeToolManagerFactory();
  // Every open document keeps a journal, so a crash loses at most the edit
  // in progress.
  domain->RecoveryJournal = true;
  auto main = std::make_unique<TFMain>(*domain);
  ui.SetParent(main.get());
  // The main window owns the pattern editor; the library only borrows it.
  domain->Patterns.SetEditForm(new TFPatternEdit(main.get()));
  ui.OnTerminate = [&] { main->Terminate(); };
  main->ConnectUi(ui);
  ui.DocumentFileName = [&] { return main->DocumentFileName().toStdString(); };
  ui.OnFileChosen = [&](const QString& File) { main->NoteChosenFile(File); };
  ui.OnRepaintDestination = [&] { main->destinationView()->viewport()->repaint(); };
  // Apply runs trace the next stroke while a second core paints the last.
  domain->OverlapStrokes = ThreadCount() > 1;
  const auto syncDestination = [&] {
    if (domain->Document) domain->Document->SyncStrokes();
  };
  ui.SyncDestination = syncDestination;
  ui.Destination = [&]() -> const TBitmap32* {
    return domain->Document ? &domain->DestinationView->Bitmap() : nullptr;
  };
  auto fullScreen = std::make_unique<TFullScreenViews>(ui, *main, *domain);
  TFWait wait(main.get());
  wait.Install();
  wait.BeforeEvents = syncDestination;
  SetScreenPositionSource([] {
    const QPoint p = QCursor::pos();
    return TPoint{p.x(), p.y()};
  });
  QObject::connect(&instance, &TSingleInstance::argumentReceived, main.get(),
                   [&](const QString& Arg) {
                     main->raise();
                     main->activateWindow();
                     // A project or a picture, as when the program starts with
                     // it; it may arrive in the middle of a run.
                     if (!Arg.isEmpty()) main->OpenArgumentWhenIdle(Arg);
                   });
  main->show();
  QTimer::singleShot(0, main.get(), [&] {
    // The work of a copy that died comes first; a file given to this one
    // then opens as usual (asking to save what was recovered).
    OfferRecovery(*domain, *main);
    if (!argument.isEmpty()) main->OpenArgument(argument);
  });
  const int rc = app.exec();
  SetScreenPositionSource(nullptr);
  TImgView::OnPenPressure = nullptr;
  domain->Patterns.SetEditForm(nullptr);
  fullScreen.reset();
  main.reset();
  domain.reset();
  SetClipboardPort(nullptr);
  return rc;
}
