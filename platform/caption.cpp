#include "platform/caption.h"

#include "platform/instance.h"

#include <QByteArray>
#include <QCryptographicHash>
#include <QLocalServer>
#include <QLocalSocket>

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <mutex>
#include <optional>
#include <set>
#include <vector>

namespace {

constexpr int kConnectTimeoutMs = 1000;
constexpr qint64 kMaxLine = 4096;  // a message line is far shorter; more is junk

// Identity of a socket file: a newer publisher replaces the file, so the
// inode tells whose socket the caption currently names.
struct FileId {
  dev_t dev = 0;
  ino_t ino = 0;
  bool operator==(const FileId&) const = default;
};

std::optional<FileId> IdOf(const QByteArray& path) {
  struct stat st {};
  if (::lstat(path.constData(), &st) != 0 || !S_ISSOCK(st.st_mode)) return std::nullopt;
  return FileId{st.st_dev, st.st_ino};
}

// "<runtime folder>/brevio-<first 128 bits of SHA-256 of the caption>", the
// hash in URL-safe Base64: short, because a socket's whole path must fit in
// 107 bytes. Empty when there is no runtime folder.
QByteArray SocketPath(const QString& caption) {
  const std::filesystem::path dir = GetUserRuntimeFolder();
  if (dir.empty()) return {};
  const QByteArray hash = QCryptographicHash::hash(caption.toUtf8(), QCryptographicHash::Sha256)
                              .left(16)
                              .toBase64(QByteArray::Base64UrlEncoding | QByteArray::OmitTrailingEquals);
  return QByteArray::fromStdString((dir / ("brevio-" + hash.toStdString())).string());
}

// One message on the wire, a line of text:
//   "N <percent-encoded name> <wParam> <lParam>\n" for a registered message,
//   "M <number> <wParam> <lParam>\n" for any other.
QByteArray EncodeMessage(UINT msg, WPARAM wParam, LPARAM lParam) {
  const std::string name = msg >= 0xC000u && msg <= 0xFFFFu ? GetRegisteredMessageName(msg) : std::string();
  QByteArray line = name.empty() ? "M " + QByteArray::number(msg)
                                 : "N " + QByteArray::fromStdString(name).toPercentEncoding();
  line += ' ' + QByteArray::number(static_cast<qulonglong>(wParam)) + ' ' +
          QByteArray::number(static_cast<qlonglong>(lParam)) + '\n';
  return line;
}

struct Decoded {
  UINT msg;
  WPARAM wParam;
  LPARAM lParam;
};

std::optional<Decoded> DecodeMessage(QByteArray line) {
  const QList<QByteArray> parts = line.trimmed().split(' ');
  if (parts.size() != 4) return std::nullopt;
  bool okW = false, okL = false;
  const qulonglong w = parts[2].toULongLong(&okW);
  const qlonglong l = parts[3].toLongLong(&okL);
  if (!okW || !okL) return std::nullopt;
  UINT msg = 0;
  if (parts[0] == "N") {
    const QByteArray name = QByteArray::fromPercentEncoding(parts[1]);
    if (name.isEmpty()) return std::nullopt;
    msg = RegisterWindowMessage(name.toStdString());
  } else if (parts[0] == "M") {
    bool ok = false;
    msg = parts[1].toUInt(&ok);
    if (!ok) return std::nullopt;
  } else {
    return std::nullopt;
  }
  return Decoded{msg, static_cast<WPARAM>(w), static_cast<LPARAM>(l)};
}

// A published window: its caption, its listening socket and the identity of
// the socket file it bound.
struct Published {
  CWnd* window;
  QString caption;
  QByteArray path;
  QLocalServer* server = nullptr;
  std::optional<FileId> id;
};

// Delivers each complete line a peer sends to `window`.
void ServeConnection(QLocalSocket* socket, CWnd* window) {
  auto readLines = [socket, window] {
    while (socket->canReadLine()) {
      if (auto m = DecodeMessage(socket->readLine(kMaxLine + 1)))
        PostMessage(window, m->msg, m->wParam, m->lParam);
    }
    if (socket->bytesAvailable() > kMaxLine) socket->abort();
  };
  QObject::connect(socket, &QLocalSocket::readyRead, socket, readLines);
  QObject::connect(socket, &QLocalSocket::disconnected, socket, [socket, readLines] {
    readLines();
    socket->deleteLater();
  });
  readLines();  // what arrived before the connections were made
}

class CaptionTable {
 public:
  static CaptionTable& Get() {
    static auto* table = new CaptionTable;  // outlives every window
    return *table;
  }

  void Publish(CWnd* window, const QString& caption) {
    window->SetWindowText(caption);
    std::lock_guard lock(mutex_);
    Published entry{window, caption, SocketPath(caption), nullptr, std::nullopt};
    if (!entry.path.isEmpty()) Listen(entry);
    // Withdraw the window's earlier name and the caption's earlier window
    // only now: the new socket has already replaced an old one of the same
    // caption, so the caption is never briefly unknown.
    Drop([&](const Published& p) { return p.window == window || p.caption == caption; });
    entries_.push_back(std::move(entry));
    Watch(window);
  }

  // The in-process window that the caption names now, if any.
  CWnd* Local(const QString& caption, const QByteArray& path) {
    std::lock_guard lock(mutex_);
    for (const Published& p : entries_) {
      if (p.caption != caption) continue;
      // Still ours unless a newer publisher has replaced the socket file.
      if (path.isEmpty() || !p.id || IdOf(path) == p.id) return p.window;
    }
    return nullptr;
  }

 private:
  // Binds a socket under a name of its own, then moves it onto the
  // caption's name in one step, so that the caption never names nothing
  // while a newer publisher takes it over.
  void Listen(Published& entry) {
    static std::atomic<unsigned> counter{0};
    const QByteArray temp = entry.path + '.' + QByteArray::number(::getpid()) + '.' +
                            QByteArray::number(counter++);
    ::unlink(temp.constData());
    auto* server = new QLocalServer;
    if (!server->listen(QString::fromUtf8(temp))) {
      delete server;
      return;
    }
    const std::optional<FileId> id = IdOf(temp);
    if (!id || ::rename(temp.constData(), entry.path.constData()) != 0) {
      delete server;
      ::unlink(temp.constData());
      return;
    }
    CWnd* window = entry.window;
    QObject::connect(server, &QLocalServer::newConnection, server, [server, window] {
      while (QLocalSocket* socket = server->nextPendingConnection()) ServeConnection(socket, window);
    });
    entry.server = server;
    entry.id = id;
  }

  // Withdraws the matching entries: their socket file goes only when it is
  // still theirs (a newer publisher's file stays).
  template <class Pred>
  void Drop(Pred pred) {
    for (auto it = entries_.begin(); it != entries_.end();) {
      if (!pred(*it)) {
        ++it;
        continue;
      }
      if (it->id && IdOf(it->path) == it->id) ::unlink(it->path.constData());
      delete it->server;
      it = entries_.erase(it);
    }
  }

  void Watch(CWnd* window) {
    if (!watched_.insert(window).second) return;
    QObject::connect(window, &QObject::destroyed, [this, window] {
      std::lock_guard lock(mutex_);
      watched_.erase(window);
      Drop([window](const Published& p) { return p.window == window; });
    });
  }

  std::mutex mutex_;
  std::vector<Published> entries_;
  std::set<CWnd*> watched_;
};

// Connects to the caption's socket. A file that refuses connections was left
// by a process that ended: it is removed (unless it was replaced meanwhile).
bool Connect(QLocalSocket& socket, const QByteArray& path) {
  const std::optional<FileId> id = IdOf(path);
  if (!id) return false;
  socket.connectToServer(QString::fromUtf8(path));
  if (socket.waitForConnected(kConnectTimeoutMs)) return true;
  if (socket.error() == QLocalSocket::ConnectionRefusedError && IdOf(path) == id)
    ::unlink(path.constData());
  return false;
}

}  // namespace

void PublishWindowCaption(CWnd* window, const QString& caption) {
  if (!window) return;
  CaptionTable::Get().Publish(window, caption);
}

bool FindWindowByCaption(const QString& caption) {
  const QByteArray path = SocketPath(caption);
  if (CaptionTable::Get().Local(caption, path)) return true;
  if (path.isEmpty()) return false;
  QLocalSocket socket;
  if (!Connect(socket, path)) return false;
  socket.abort();
  return true;
}

bool PostMessageToCaption(const QString& caption, UINT msg, WPARAM wParam, LPARAM lParam) {
  const QByteArray path = SocketPath(caption);
  if (CWnd* local = CaptionTable::Get().Local(caption, path)) return PostMessage(local, msg, wParam, lParam);
  if (path.isEmpty()) return false;
  QLocalSocket socket;
  if (!Connect(socket, path)) return false;
  const QByteArray line = EncodeMessage(msg, wParam, lParam);
  if (socket.write(line) != line.size()) return false;
  while (socket.bytesToWrite() > 0)
    if (!socket.waitForBytesWritten(kConnectTimeoutMs)) return false;
  socket.disconnectFromServer();
  return true;
}
