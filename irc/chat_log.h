#pragma once
// The raw protocol log: log.txt (one CR LF entry per line; its folder is decided in app/) and
// the same text in memory for the window's raw traffic view. Safe to call from any
// thread.
//
// log_line writes at once. The receive thread holds the entries of a burst with
// hold_line and writes them with one flush before it publishes the burst's lines and
// before it waits for more, so the file is complete whenever the client is idle and
// holds every line the window can see; one write per burst instead of two system calls
// per line made the receive path about four times faster.

#include <cstddef>
#include <mutex>
#include <string>
#include <string_view>

namespace velmora {

class ChangeSignal;

class ChatLog {
public:
  // Keeps only the newest this many bytes in memory while the window does not take them.
  static constexpr std::size_t kMaxBuffer = 1024 * 1024;
  static constexpr std::size_t kMaxHeld = 64 * 1024;

  // `changes`, when given, is raised whenever the in-memory text grows.
  explicit ChatLog(std::string file_path, ChangeSignal* changes = nullptr);
  ~ChatLog();
  ChatLog(const ChatLog&) = delete;
  ChatLog& operator=(const ChatLog&) = delete;

  // Writes held entries first, so the file keeps the order of the calls.
  void log_line(std::string_view text);
  // In memory now, in the file at the next flush (or once kMaxHeld bytes are held).
  void hold_line(std::string_view text);
  void flush();
  // Deletes the file (a new connection starts a new log); failures are ignored.
  void remove_file();
  // The gathered text since the last take, each entry followed by CR LF; clears it.
  std::string take_raw_log();
  void clear_raw_log();

private:
  void append_entry(std::string_view text);
  void write_held();
  void close_file();

  std::string path_;
  ChangeSignal* changes_;
  int fd_ = -1;
  std::mutex lock_;
  std::string raw_;
  std::string held_;  // entries not yet in the file
};

}  // namespace velmora
