#pragma once
// Recordings cut short: `brevio-media record` started as a child process,
// killed or signalled, and its file checked the way a player would read it.

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <random>
#include <fstream>
#include <iterator>
#include <string>
#include <thread>
#include <vector>

#include "tests/media/decode_check.h"

extern char** environ;

namespace mediacheck {

// The tool recording `out` for up to `seconds`, as a child process.
class CRecordProcess {
 public:
  CRecordProcess(const std::string& out, const std::string& size, int seconds) {
    const std::string tool = Tool();
    const std::string secs = std::to_string(seconds);
    std::vector<std::string> args = {tool, "record", out, "--size", size, "--seconds", secs, "--tone", "1000", "--texture"};
    std::vector<char*> argv;
    for (auto& a : args) argv.push_back(a.data());
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    if (posix_spawn(&m_pid, tool.c_str(), &actions, nullptr, argv.data(), environ) != 0) m_pid = -1;
    posix_spawn_file_actions_destroy(&actions);
  }
  ~CRecordProcess() {
    if (m_pid > 0) {
      kill(m_pid, SIGKILL);
      Wait();
    }
  }
  bool Started() const { return m_pid > 0; }
  void Signal(int signal) const { kill(m_pid, signal); }
  // The exit status, or 128 + the signal that ended the process.
  int Wait() {
    int status = 0;
    if (m_pid <= 0 || waitpid(m_pid, &status, 0) != m_pid) return -1;
    m_pid = -1;
    return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
  }

 private:
  pid_t m_pid = -1;
};

// The top-level boxes of an MP4 file in file order.
inline std::vector<std::string> TopBoxes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  const std::vector<unsigned char> d((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  std::vector<std::string> boxes;
  std::size_t i = 0;
  while (i + 8 <= d.size()) {
    std::uint64_t size = (std::uint64_t(d[i]) << 24) | (d[i + 1] << 16) | (d[i + 2] << 8) | d[i + 3];
    if (size == 1 && i + 16 <= d.size()) {
      size = 0;
      for (int k = 8; k < 16; ++k) size = (size << 8) | d[i + k];
    }
    boxes.emplace_back(reinterpret_cast<const char*>(&d[i + 4]), 4);
    if (size < 8) break;
    i += size;
  }
  return boxes;
}

inline int IndexOf(const std::vector<std::string>& boxes, const std::string& name) {
  for (std::size_t i = 0; i < boxes.size(); ++i) {
    if (boxes[i] == name) return static_cast<int>(i);
  }
  return -1;
}

// A file cut short plays cleanly up to its last key picture: nothing fails
// before it, and it is at most `lossMs` before `cutMs`, the time the
// recording ran. Returns the decode for further checks.
inline Decoded ExpectPlayableUpTo(const std::string& path, int width, int height, double cutMs, double lossMs) {
  const Decoded d = DecodeAll(path, width, height);
  EXPECT_GT(d.pictures, 0) << path;
  EXPECT_GE(d.firstErrorMs, d.lastKeyMs) << path << ": damaged before the last key picture";
  EXPECT_GE(d.lastKeyMs, cutMs - lossMs) << path << ": too little kept of " << cutMs << " ms";
  EXPECT_GT(d.soundFrames, 0) << path;
  return d;
}

// What a kill may cost at most: an MP4 keeps its complete fragments (one at
// a key picture at least a second apart, written once the next one begins,
// with the sound up to a second behind the pictures), an FLV what was
// written up to its last key picture; on a loaded machine the recording
// also starts late after its file has been created.
constexpr double kKillLossMs = 3000;

// One round: an MP4 and an FLV recording at once, each killed with SIGKILL
// after a random time in [minMs, maxMs] from the moment its file appeared;
// both play up to their last key picture, and flv-dump reads the FLV to its cut.
inline void KillRound(std::mt19937& rng, const std::string& stem, int minMs, int maxMs, int width, int height) {
  using Clock = std::chrono::steady_clock;
  const std::string size = std::to_string(width) + "x" + std::to_string(height);
  const std::string files[2] = {stem + ".mp4", stem + ".flv"};
  std::uniform_int_distribution<int> after(minMs, maxMs);
  const int killAt[2] = {after(rng), after(rng)};
  double cutMs[2] = {0, 0};
  std::thread runs[2];
  for (int i = 0; i < 2; ++i) {
    std::filesystem::remove(files[i]);
    runs[i] = std::thread([&, i] {
      CRecordProcess rec(files[i], size, 60);
      if (!rec.Started()) return;
      const auto spawned = Clock::now();
      while (!std::filesystem::exists(files[i]) && Clock::now() - spawned < std::chrono::seconds(30)) {
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
      }
      const auto opened = Clock::now();
      std::this_thread::sleep_until(opened + std::chrono::milliseconds(killAt[i]));
      rec.Signal(SIGKILL);
      cutMs[i] = std::chrono::duration<double, std::milli>(Clock::now() - opened).count();
      rec.Wait();
    });
  }
  for (auto& t : runs) t.join();
  for (int i = 0; i < 2; ++i) {
    SCOPED_TRACE(files[i] + " killed after " + std::to_string(static_cast<int>(cutMs[i])) + " ms");
    ASSERT_GT(cutMs[i], 0.0) << "not started";
    const Decoded d = ExpectPlayableUpTo(files[i], width, height, cutMs[i], kKillLossMs);
    std::printf("%s: killed after %.0f ms, plays to its last key picture at %.0f ms (%.0f ms lost), first damage %s\n",
                files[i].c_str(), cutMs[i], d.lastKeyMs, cutMs[i] - d.lastKeyMs,
                d.firstErrorMs > 1e299 ? "none" : (std::to_string(static_cast<int>(d.firstErrorMs)) + " ms").c_str());
  }
  const ShellRun dump = Shell("'" + Tool() + "' flv-dump '" + files[1] + "'");
  EXPECT_TRUE(dump.status == 0 || dump.status == 1) << dump.output.substr(0, 500);
  EXPECT_NE(std::string::npos, dump.output.find("last tag at ")) << dump.output.substr(0, 500);
  EXPECT_NE(std::string::npos, dump.output.find("onMetaData"));
}

}  // namespace mediacheck
