#include "ui/SingleInstance.h"

#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>
#include <QCryptographicHash>
#include <QDir>
#include <QLocalSocket>

namespace brellin {

namespace {

// A folder only this user can enter: the user's own, not a link, and
// closed to everyone else.
bool IsPrivateFolder(const QByteArray& Path) {
  struct stat st {};
  return !Path.isEmpty() && ::lstat(Path.constData(), &st) == 0 && S_ISDIR(st.st_mode) &&
         st.st_uid == ::getuid() && (st.st_mode & 077) == 0;
}

// Where the socket lives: the user's runtime folder, else a folder of the
// user's own made for it; never a shared one such as /tmp, where another
// user could take the name first.
QByteArray PrivateSocketFolder() {
  const QByteArray runtime = qgetenv("XDG_RUNTIME_DIR");
  if (IsPrivateFolder(runtime)) return runtime;
  QByteArray cache = qgetenv("XDG_CACHE_HOME");
  if (cache.isEmpty() || cache[0] != '/') {
    const QByteArray home = qgetenv("HOME");
    if (home.isEmpty()) return {};
    cache = home + "/.cache";
  }
  const QByteArray folder = cache + "/brellin";
  QDir().mkpath(QString::fromLocal8Bit(cache));
  ::mkdir(folder.constData(), 0700);
  struct stat st {};
  // Our own folder from an earlier run may have been made with a looser mode.
  if (::lstat(folder.constData(), &st) == 0 && S_ISDIR(st.st_mode) && st.st_uid == ::getuid())
    ::chmod(folder.constData(), 0700);
  return IsPrivateFolder(folder) ? folder : QByteArray();
}

// The user at the other end of a connected local socket, or -1.
long PeerUid(qintptr Descriptor) {
  struct ucred cred {};
  socklen_t size = sizeof cred;
  if (Descriptor < 0 || ::getsockopt(int(Descriptor), SOL_SOCKET, SO_PEERCRED, &cred, &size) != 0)
    return -1;
  return long(cred.uid);
}

}  // namespace

QString SingleInstanceName(const QString& ProgramFolder) {
  const QByteArray hash =
      QCryptographicHash::hash(ProgramFolder.toUtf8(), QCryptographicHash::Sha1).toHex().left(16);
  const QByteArray folder = PrivateSocketFolder();
  const QByteArray name = folder + "/brellin-" + hash;
  // A socket's path has a small limit; without a place, no single instance.
  if (folder.isEmpty() || size_t(name.size()) >= sizeof(sockaddr_un::sun_path)) return {};
  return QString::fromLocal8Bit(name);
}

TSingleInstance::TSingleInstance(const QString& Name, QObject* Parent)
    : QObject(Parent), FName(Name) {
  connect(&FServer, &QLocalServer::newConnection, this, [this] {
    while (QLocalSocket* s = FServer.nextPendingConnection()) {
      // Only this user's own copies are heard.
      if (PeerUid(s->socketDescriptor()) != long(::getuid())) {
        s->abort();
        s->deleteLater();
        continue;
      }
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
  FListenError.clear();
  if (FName.isEmpty()) {
    FListenError = "no private folder for the single-instance socket";
    return true;
  }
  {
    QLocalSocket probe;
    probe.connectToServer(FName);
    // A first copy is this user's; anything else listening there is not
    // told what this copy opens.
    if (probe.waitForConnected(1000) && PeerUid(probe.socketDescriptor()) == long(::getuid())) {
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
  // Without the socket this copy still runs; it only cannot be reached.
  if (!FServer.listen(FName))
    FListenError = "cannot listen on " + FName + ": " + FServer.errorString();
  return true;
}

}  // namespace brellin
