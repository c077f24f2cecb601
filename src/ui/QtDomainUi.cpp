#include "ui/QtDomainUi.h"
#include <QCheckBox>
#include <QSpinBox>

#include <QApplication>
#include <QClipboard>
#include <QDesktopServices>
#include <QDialog>
#include <QFileDialog>
#include <QFileInfo>
#include <QInputDialog>
#include <QKeyEvent>
#include <QMessageBox>
#include <QMimeData>
#include <QPainter>
#include <QPushButton>
#include <QRegularExpression>
#include <QScreen>
#include <QStandardPaths>
#include <QUrl>

#include "analysis/PictureFormats.h"
#include "ui/AppSettings.h"
#include "ui/Dialogs.h"
#include "ui/FAbout.h"
#include "ui/QtBitmap.h"

namespace brellin {

QString UiText(const std::string& Text) {
  return QString::fromStdString(Text).replace("\r\n", "\n").replace('\r', '\n');
}

namespace {
const char* kPictureFilter =
    "JPEG picture (*.jpg *.jpeg);;PNG picture (*.png);;Bitmap (*.bmp);;TIFF picture (*.tif "
    "*.tiff)";

// A file dialog that opens in the last folder of its kind and, for saving,
// offers a name made from the document's; the chosen folder is remembered.
bool AskFile(QWidget* Parent, bool Save, const QString& Caption, const QString& Filter,
             const QString& Suffix, TFileKind Kind, const QString& Document,
             std::string& FileName) {
  TAppSettings settings;
  QString start = QString::fromStdString(FileName);
  if (start.isEmpty())
    start = Save ? SuggestedFileName(Document, Kind, Suffix, settings.Folder(Kind))
                 : settings.Folder(Kind);
  QFileDialog d(Parent, Caption, start, Filter);
  d.setAcceptMode(Save ? QFileDialog::AcceptSave : QFileDialog::AcceptOpen);
  d.setFileMode(Save ? QFileDialog::AnyFile : QFileDialog::ExistingFile);
  if (!Suffix.isEmpty()) d.setDefaultSuffix(Suffix);
  // A name typed without an extension takes the chosen format's.
  QObject::connect(&d, &QFileDialog::filterSelected, &d, [&d, Suffix](const QString& Filter) {
    const qsizetype star = Filter.indexOf("(*.");
    d.setDefaultSuffix(star < 0 ? Suffix
                                : Filter.mid(star + 3).section(QRegularExpression("[ )]"), 0, 0));
  });
  if (d.exec() != QDialog::Accepted || d.selectedFiles().isEmpty()) return false;
  const QString chosen = d.selectedFiles().first();
  settings.SetFolder(Kind, QFileInfo(chosen).absolutePath());
  settings.Sync();
  FileName = chosen.toStdString();
  return true;
}
}  // namespace

void TQtDomainUi::ErrorBox(const std::string& Caption, const std::string& Text) {
  QMessageBox::critical(FParent, UiText(Caption), UiText(Text));
}

bool TQtDomainUi::ProjectOptions(int PictureWidth, int PictureHeight, int SuggestedWidth,
                                 int SuggestedHeight, TProjectOptions& Options) {
  TFResample d(FParent);
  d.SetSizes(PictureWidth, PictureHeight, SuggestedWidth, SuggestedHeight);
  if (d.exec() != QDialog::Accepted) return false;
  Options.Width = d.WorkingWidth();
  Options.Height = d.WorkingHeight();
  TBackgroundSel* b = d.backgroundSelector();
  Options.BackgroundColor = b->BackgroundColor();
  Options.BackgroundPicture = b->BackgroundPicture();
  Options.BackgroundMode = b->BackgroundMode();
  Options.CleanEdges = d.cleanEdgesBox->isChecked();
  return true;
}

bool TQtDomainUi::SaveImageFile(std::string& FileName) {
  return Chosen(
      AskFile(FParent, true, "Save", kPictureFilter, "jpg", fkPicture, DocumentName(), FileName),
      FileName);
}

TDomainUi::TAnswer TQtDomainUi::Confirm(const std::string& Text) {
  const auto r = QMessageBox::question(FParent, "Confirm", UiText(Text),
                                       QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel);
  return r == QMessageBox::Yes ? aYes : r == QMessageBox::No ? aNo : aCancel;
}

TDomainUi::TRecoveryAnswer TQtDomainUi::AskRecovery(const std::string& Text) {
  QMessageBox box(QMessageBox::Question, "Brellin Pro", UiText(Text), QMessageBox::NoButton,
                  FParent);
  QPushButton* recover = box.addButton("Recover", QMessageBox::AcceptRole);
  QPushButton* discard = box.addButton("Discard", QMessageBox::DestructiveRole);
  QPushButton* later = box.addButton("Later", QMessageBox::RejectRole);
  box.setDefaultButton(recover);
  box.setEscapeButton(later);
  box.exec();
  if (box.clickedButton() == recover) return raRecover;
  if (box.clickedButton() == discard) return raDiscard;
  return raLater;
}

void TQtDomainUi::InfoBox(const std::string& Caption, const std::string& Text) {
  QMessageBox::information(FParent, UiText(Caption), UiText(Text));
}

bool TQtDomainUi::SaveProjectFile(std::string& FileName) {
  return Chosen(AskFile(FParent, true, "Save Project", "Brellin Pro project (*.bpj)", "bpj",
                        fkProject, DocumentName(), FileName),
                FileName);
}

bool TQtDomainUi::OpenProjectFile(std::string& FileName) {
  return Chosen(AskFile(FParent, false, "Open Project", "Brellin Pro project (*.bpj)", "",
                        fkProject, {}, FileName),
                FileName);
}

bool TQtDomainUi::SavePostScriptFile(std::string& FileName) {
  return Chosen(AskFile(FParent, true, "PostScript Output", "PostScript (*.ps)", "ps", fkVector,
                        DocumentName(), FileName),
                FileName);
}

bool TQtDomainUi::SaveSvgFile(std::string& FileName) {
  return Chosen(AskFile(FParent, true, "SVG Output", "SVG drawing (*.svg)", "svg", fkVector,
                        DocumentName(), FileName),
                FileName);
}

bool TQtDomainUi::RenderSize(int& Width, int& Height, int& Resolution) {
  TFImgSizeDlg d(FParent);
  d.SetImageSize(Width, Height);
  d.SetResolution(Resolution);
  if (d.exec() != QDialog::Accepted) return false;
  Width = d.HorizPixels();
  Height = d.VertPixels();
  Resolution = d.Resolution();
  return true;
}

bool TQtDomainUi::OpenPictureFile(std::string& FileName) {
  const QString filter = QString::fromStdString(PictureFileFilter());
  return Chosen(AskFile(FParent, false, "Open", filter, "", fkPicture, {}, FileName), FileName);
}

void TQtDomainUi::Terminate() {
  if (OnTerminate) OnTerminate();
}

void TQtDomainUi::ApplyProgress(int K, int S) {
  (void)S;
  if (FApply) FApply->Progress(K);
}

void TQtDomainUi::ProcessEvents() {
  // A step takes microseconds; a repaint and a turn of the event loop take
  // a millisecond or more. Both come at frame rate, and the dialog's Stop
  // button still answers within a frame.
  constexpr qint64 kFrameMs = 25;
  if (FEventsRan.isValid() && !FEventsRan.hasExpired(kFrameMs)) return;
  if (SyncDestination) SyncDestination();
  if (OnRepaintDestination) OnRepaintDestination();
  QCoreApplication::processEvents();
  FEventsRan.start();
}

bool TQtDomainUi::InputBox(const std::string& Caption, const std::string& Prompt,
                           std::string& Value) {
  bool ok = false;
  const QString v = QInputDialog::getText(FParent, UiText(Caption), UiText(Prompt),
                                          QLineEdit::Normal, QString::fromStdString(Value), &ok);
  if (!ok) return false;
  Value = v.toStdString();
  return true;
}

bool TQtDomainUi::WarningYesNo(const std::string& Text) {
  return QMessageBox::warning(FParent, "Warning", UiText(Text),
                              QMessageBox::Yes | QMessageBox::No) == QMessageBox::Yes;
}

void TQtDomainUi::ApplyDialog(int Steps, const TApplyDialogHandlers& Handlers) {
  TFApplyAll d(FParent);
  FApply = &d;
  d.SetSteps(Steps);
  d.SetDetailPasses(Handlers.DetailPasses);
  if (Handlers.DetailPassesChanged)
    QObject::connect(d.passesEdit(), &QSpinBox::valueChanged, &d, Handlers.DetailPassesChanged);
  d.SetFollows(QString::fromStdString(Handlers.Follows));
  d.SetHandlers([&] { Handlers.Start(d.Steps()); }, Handlers.Stop, Handlers.Close);
  d.exec();
  FApply = nullptr;
}

bool TQtDomainUi::BackgroundDialog(TBackgroundChoice& Choice) {
  TBackgroundSel d(FParent);
  d.SetBackgroundColor(Choice.Color);
  d.SetBackgroundPicture(Choice.Picture, Choice.Mode);
  if (d.exec() != QDialog::Accepted) return false;
  Choice.Color = d.BackgroundColor();
  Choice.Picture = d.BackgroundPicture();
  Choice.Mode = d.BackgroundMode();
  return true;
}

void TQtDomainUi::AboutBox() {
  TFAbout box(FParent);
  box.exec();
}

void TQtDomainUi::FullScreenPreview() {
  if (!OnFullScreenPreview) return TDomainUi::FullScreenPreview();
  OnFullScreenPreview();
}

void TQtDomainUi::ShowNavigator() {
  if (!OnShowNavigator) return TDomainUi::ShowNavigator();
  OnShowNavigator();
}

void TQtDomainUi::HideNavigator() {
  if (OnHideNavigator) OnHideNavigator();
}

void TQtDomainUi::ShowFullScreenPaint() {
  if (!OnShowFullScreenPaint) return TDomainUi::ShowFullScreenPaint();
  OnShowFullScreenPaint();
}

void TQtDomainUi::CloseFullScreenPaint() {
  if (OnCloseFullScreenPaint) OnCloseFullScreenPaint();
}

bool TQtDomainUi::ShellOpen(const std::string& Path) {
  // Without the desktop's opener the request would vanish without a trace.
  if (QStandardPaths::findExecutable("xdg-open").isEmpty()) return false;
  return QDesktopServices::openUrl(QUrl::fromLocalFile(QString::fromStdString(Path)));
}

void TQtDomainUi::ShowHelpPage(const std::string& Keyword) {
  if (!OnShowHelpPage) return TDomainUi::ShowHelpPage(Keyword);
  OnShowHelpPage(Keyword);
}

void TQtDomainUi::SetBusyCursor(bool Busy) {
  if (Busy) {
    QApplication::setOverrideCursor(Qt::WaitCursor);
    ++FBusy;
  } else if (FBusy > 0) {
    QApplication::restoreOverrideCursor();
    --FBusy;
  }
}

bool TQtClipboard::HasBitmap() {
  const QMimeData* m = QApplication::clipboard()->mimeData();
  return m && m->hasImage();
}

void TQtClipboard::GetBitmap(TBitmap32& Bitmap) {
  Bitmap = FromQImage(QApplication::clipboard()->image());
}

void TQtClipboard::SetBitmap(const TBitmap32& Bitmap) {
  QApplication::clipboard()->setImage(ToQImage(Bitmap));
}

}  // namespace brellin
