#pragma once
// Starting the platform_peer helper as a second process, and a private
// runtime folder for each test so that parallel tests (and other programs
// of the same user) never see each other's locks and sockets.

#include <QProcess>
#include <QStringList>
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <string>

// Points XDG_RUNTIME_DIR at a fresh private folder for the test's life.
// It lies in /tmp rather than in the build tree: a local socket's whole
// path must fit in 107 bytes, which a deep build folder can exceed.
class PrivateRuntimeFolder {
 public:
  PrivateRuntimeFolder() {
    char pattern[] = "/tmp/brevio-test-XXXXXX";
    if (::mkdtemp(pattern)) path_ = pattern;
    ::setenv("XDG_RUNTIME_DIR", path_.c_str(), 1);
  }
  ~PrivateRuntimeFolder() {
    std::error_code ec;
    std::filesystem::remove_all(path_, ec);
  }
  PrivateRuntimeFolder(const PrivateRuntimeFolder&) = delete;
  PrivateRuntimeFolder& operator=(const PrivateRuntimeFolder&) = delete;
  const std::filesystem::path& Path() const { return path_; }
  operator const std::filesystem::path&() const { return path_; }

 private:
  std::filesystem::path path_;
};

class Peer {
 public:
  explicit Peer(const QStringList& args) {
    process_.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    process_.start(QStringLiteral(PLATFORM_PEER_PATH), args);
    started_ = process_.waitForStarted(10000);
  }
  ~Peer() {
    if (process_.state() != QProcess::NotRunning) {
      process_.kill();
      process_.waitForFinished(10000);
    }
  }
  bool Started() const { return started_; }
  qint64 Pid() const { return process_.processId(); }

  // The next line the peer prints, without its line end; empty on timeout.
  std::string ReadLine(int timeoutMs = 20000) {
    while (!process_.canReadLine()) {
      if (!process_.waitForReadyRead(timeoutMs)) return {};
    }
    return process_.readLine().trimmed().toStdString();
  }
  // Ends the peer the orderly way: it quits when its input closes.
  bool Finish() {
    process_.closeWriteChannel();
    return process_.waitForFinished(20000) && process_.exitCode() == 0;
  }
  void Kill() {
    process_.kill();  // SIGKILL
    process_.waitForFinished(10000);
  }

 private:
  QProcess process_;
  bool started_ = false;
};
