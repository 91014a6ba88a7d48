#pragma once
// The raw protocol log: log.txt in the program's folder (one CR LF entry per line,
// complete on disk after each one) and the same
// text in memory for the window's raw traffic view. Safe to call from any thread.

#include <cstddef>
#include <mutex>
#include <string>

namespace velmora {

class ChangeSignal;

class ChatLog {
public:
  // Keeps only the newest this many bytes in memory while the window does not take them.
  static constexpr std::size_t kMaxBuffer = 1024 * 1024;

  // `changes`, when given, is raised whenever the in-memory text grows.
  explicit ChatLog(std::string file_path, ChangeSignal* changes = nullptr);
  ~ChatLog();
  ChatLog(const ChatLog&) = delete;
  ChatLog& operator=(const ChatLog&) = delete;

  void log_line(const std::string& text);
  // Deletes the file (a new connection starts a new log); failures are ignored.
  void remove_file();
  // The gathered text since the last take, each entry followed by CR LF; clears it.
  std::string take_raw_log();
  void clear_raw_log();
  const std::string& file_path() const { return path_; }

private:
  void write_entry(const std::string& entry);
  void close_file();

  std::string path_;
  ChangeSignal* changes_;
  int fd_ = -1;
  std::mutex lock_;
  std::string raw_;
};

}  // namespace velmora
