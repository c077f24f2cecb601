#include "ui/SingleInstance.h"

#include <unistd.h>
#include <QCryptographicHash>
#include <QLocalSocket>

namespace brellin {

QString SingleInstanceName(const QString& ProgramFolder) {
  const QByteArray hash =
      QCryptographicHash::hash(ProgramFolder.toUtf8(), QCryptographicHash::Sha1).toHex().left(16);
  return QString("brellin-%1-%2").arg(uint(getuid())).arg(QString::fromLatin1(hash));
}

TSingleInstance::TSingleInstance(const QString& Name, QObject* Parent)
    : QObject(Parent), FName(Name) {
  connect(&FServer, &QLocalServer::newConnection, this, [this] {
    while (QLocalSocket* s = FServer.nextPendingConnection()) {
      connect(s, &QLocalSocket::disconnected, s, &QObject::deleteLater);
      connect(s, &QLocalSocket::readyRead, this, [this, s] {
        // One line: the argument, UTF-8 and percent-encoded (a file name
        // may hold a newline), ended by a newline.
        if (!s->canReadLine()) return;
        const QString arg =
            QString::fromUtf8(QByteArray::fromPercentEncoding(s->readLine().chopped(1)));
        s->write("ok\n");
        s->flush();
        emit argumentReceived(arg);
      });
    }
  });
}

bool TSingleInstance::Start(const QString& Argument) {
  {
    QLocalSocket probe;
    probe.connectToServer(FName);
    if (probe.waitForConnected(1000)) {
      probe.write(Argument.toUtf8().toPercentEncoding() + "\n");
      probe.flush();
      probe.waitForBytesWritten(2000);
      probe.waitForReadyRead(3000);  // the first copy's answer
      probe.disconnectFromServer();
      return false;
    }
  }
  // Nobody answered: whatever socket file is there was left by a copy that died.
  QLocalServer::removeServer(FName);
  FServer.setSocketOptions(QLocalServer::UserAccessOption);
  return FServer.listen(FName);
}

}  // namespace brellin
