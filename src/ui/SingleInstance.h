// One running copy of the desktop program per user and program folder: a
// second copy hands its argument to the first and ends.
#pragma once

#include <QLocalServer>
#include <QObject>
#include <QString>

namespace brellin {

// The local socket's path, from the user and the program folder, so that
// separate program folders (and parallel test runs) never meet. It lies in
// $XDG_RUNTIME_DIR, else in a 0700 folder of the user's own; empty when
// there is no such place.
QString SingleInstanceName(const QString& ProgramFolder);

class TSingleInstance : public QObject {
  Q_OBJECT
 public:
  explicit TSingleInstance(const QString& Name, QObject* Parent = nullptr);
  // True when this process is to run: it then listens for the others (a
  // socket left by a copy that died is cleared). False when another copy of
  // this user runs: Argument has been handed to it. Peers of other users are
  // neither told nor heard.
  bool Start(const QString& Argument);
  // Why this copy could not listen after Start, or empty.
  const QString& ListenError() const { return FListenError; }

 signals:
  // Another copy started with this argument (empty when it had none).
  void argumentReceived(const QString& Argument);

 private:
  QString FName;
  QString FListenError;
  QLocalServer FServer;
};

}  // namespace brellin
