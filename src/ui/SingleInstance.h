// One running copy of the desktop program per user and program folder: a
// second copy hands its argument to the first and ends.
#pragma once

#include <QLocalServer>
#include <QObject>
#include <QString>

namespace brellin {

// The local socket's name, from the user and the program folder, so that
// separate program folders (and parallel test runs) never meet.
QString SingleInstanceName(const QString& ProgramFolder);

class TSingleInstance : public QObject {
  Q_OBJECT
 public:
  explicit TSingleInstance(const QString& Name, QObject* Parent = nullptr);
  // True when this process is the first: it then listens for the others. A
  // socket left by a copy that died is cleared. False when another copy
  // runs: Argument has been handed to it.
  bool Start(const QString& Argument);

 signals:
  // Another copy started with this argument (empty when it had none).
  void argumentReceived(const QString& Argument);

 private:
  QString FName;
  QLocalServer FServer;
};

}  // namespace brellin
