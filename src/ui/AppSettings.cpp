#include "ui/AppSettings.h"

#include <QDir>
#include <QFileInfo>
#include <QSettings>
#include <QStandardPaths>

namespace brellin {

void LogError(const std::string& Text);

namespace {
const char* const kFolderKeys[] = {"Folders/pictures", "Folders/projects", "Folders/vectors",
                                   "Folders/styles"};
const char* const kRecentKey = "Recent/files";
}  // namespace

QString TAppSettings::DefaultPath() {
  QString base = qEnvironmentVariable("XDG_CONFIG_HOME");
  // The base directory specification ignores relative paths.
  if (base.isEmpty() || QDir::isRelativePath(base)) base = QDir::homePath() + "/.config";
  return base + "/brellin/brellin.conf";
}

TAppSettings::TAppSettings(const QString& Path)
    : FStore(std::make_unique<QSettings>(Path, QSettings::IniFormat)) {
  // Said once per run, not at every look-up.
  static bool logged = false;
  const QSettings::Status status = FStore->status();
  if (status == QSettings::FormatError) {
    // What was read cannot be trusted; the next write replaces it.
    FStore->clear();
    if (!logged) LogError("settings: " + Path.toStdString() + " is damaged and was ignored");
    logged = true;
  } else if (status == QSettings::AccessError) {
    if (!logged) LogError("settings: " + Path.toStdString() + " cannot be read");
    logged = true;
  }
}

TAppSettings::~TAppSettings() = default;

QStringList TAppSettings::RecentFiles() const {
  QStringList out;
  for (const QString& f : FStore->value(kRecentKey).toStringList()) {
    // A hand-edited file may hold anything: relative names and repeats go.
    if (f.isEmpty() || QDir::isRelativePath(f) || out.contains(f)) continue;
    out << f;
    if (out.size() == MaxRecentFiles) break;
  }
  return out;
}

void TAppSettings::SetRecentFiles(const QStringList& Files) {
  FStore->setValue(kRecentKey, Files);
}

void TAppSettings::AddRecentFile(const QString& Path) {
  if (Path.isEmpty()) return;
  const QString file = QFileInfo(Path).absoluteFilePath();
  QStringList list = RecentFiles();
  list.removeAll(file);
  list.prepend(file);
  SetRecentFiles(list.mid(0, MaxRecentFiles));
}

void TAppSettings::ClearRecentFiles() {
  SetRecentFiles({});
}

void TAppSettings::PruneRecentFiles() {
  QStringList list = RecentFiles();
  list.removeIf([](const QString& f) { return !QFileInfo(f).isFile(); });
  SetRecentFiles(list);
}

QString TAppSettings::Folder(TFileKind Kind) const {
  const QString f = FStore->value(kFolderKeys[Kind]).toString();
  return !f.isEmpty() && QFileInfo(f).isDir() ? f : QString();
}

void TAppSettings::SetFolder(TFileKind Kind, const QString& Folder) {
  if (!Folder.isEmpty()) FStore->setValue(kFolderKeys[Kind], Folder);
}

QString TAppSettings::ZoomMode() const {
  return FStore->value("View/zoom").toString() == "100" ? "100" : "fit";
}

void TAppSettings::SetZoomMode(const QString& Mode) {
  FStore->setValue("View/zoom", Mode == "100" ? "100" : "fit");
}

QByteArray TAppSettings::Value(const QString& Key) const {
  return FStore->value(Key).toByteArray();
}

void TAppSettings::SetValue(const QString& Key, const QByteArray& Value) {
  FStore->setValue(Key, Value);
}

bool TAppSettings::Sync() {
  QDir().mkpath(QFileInfo(FStore->fileName()).absolutePath());
  FStore->sync();
  if (FStore->status() == QSettings::AccessError) {
    LogError("settings: " + FStore->fileName().toStdString() + " cannot be written");
    return false;
  }
  return true;
}

QString SuggestedFileName(const QString& DocumentPath, TFileKind Kind, const QString& Extension,
                          const QString& Folder) {
  if (DocumentPath.isEmpty()) return Folder;
  const QFileInfo doc(DocumentPath);
  QString name = doc.completeBaseName();
  QString ext = Extension;
  if (Kind == fkPicture) {
    name += "-ink";
    // The result keeps the photo's own format where it can be written.
    static const QStringList writable = {"jpg", "jpeg", "png", "bmp", "tif", "tiff"};
    if (writable.contains(doc.suffix().toLower())) ext = doc.suffix();
  }
  const QString dir = Folder.isEmpty() ? doc.absolutePath() : Folder;
  return QDir(dir).filePath(ext.isEmpty() ? name : name + "." + ext);
}

}  // namespace brellin
