// What the desktop program remembers between runs: the recent files, the
// last folder of each kind of file dialog, the window's geometry, the
// splitter and the zoom a document opens at. Kept as an INI file a user
// can read, reset or back up: $XDG_CONFIG_HOME/brellin/brellin.conf, else
// ~/.config/brellin/brellin.conf.
#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <memory>

class QSettings;

namespace brellin {

// The kinds of file dialog, each with its own remembered folder.
enum TFileKind : int { fkPicture, fkProject, fkVector, fkStyle };

class TAppSettings {
 public:
  static constexpr int MaxRecentFiles = 10;
  static QString DefaultPath();
  // A damaged or unreadable file is ignored (and logged once): the program
  // then starts from defaults and writes a clean file.
  explicit TAppSettings(const QString& Path = DefaultPath());
  ~TAppSettings();

  // Newest first, absolute paths, at most MaxRecentFiles.
  QStringList RecentFiles() const;
  void AddRecentFile(const QString& Path);
  void ClearRecentFiles();
  // Drops the files that are no longer there (done at start-up).
  void PruneRecentFiles();

  // Empty when none was remembered.
  QString Folder(TFileKind Kind) const;
  void SetFolder(TFileKind Kind, const QString& Folder);

  // The zoom a document opens at, as plain text in the file ("View/zoom"):
  // "100", or "fit" (also when unset or unknown).
  QString ZoomMode() const;
  void SetZoomMode(const QString& Mode);

  QByteArray Value(const QString& Key) const;
  void SetValue(const QString& Key, const QByteArray& Value);

  // Writes to disk; false (and logged) when the file cannot be written.
  bool Sync();

 private:
  void SetRecentFiles(const QStringList& Files);
  std::unique_ptr<QSettings> FStore;
};

// The name a save dialog offers for the document at DocumentPath (its
// project or its picture): "photo.jpg" gives "photo-ink.jpg" for a picture,
// "photo.bpj", "photo.ps" and "photo.svg" for the others. Folder, when not
// empty, replaces the document's folder.
QString SuggestedFileName(const QString& DocumentPath, TFileKind Kind, const QString& Extension,
                          const QString& Folder);

}  // namespace brellin
