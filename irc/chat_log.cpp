#include "irc/chat_log.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>

#include "irc/change_signal.h"

namespace velmora {

ChatLog::ChatLog(std::string file_path, ChangeSignal* changes)
    : path_(std::move(file_path)), changes_(changes) {}

ChatLog::~ChatLog() { close_file(); }

void ChatLog::log_line(std::string_view text) {
  {
    std::lock_guard<std::mutex> hold(lock_);
    append_entry(text);
    write_held();
  }
  if (changes_) changes_->raise();
}

void ChatLog::hold_line(std::string_view text) {
  std::lock_guard<std::mutex> hold(lock_);
  append_entry(text);
  if (held_.size() >= kMaxHeld) write_held();
}

void ChatLog::flush() {
  bool wrote;
  {
    std::lock_guard<std::mutex> hold(lock_);
    wrote = !held_.empty();
    write_held();
  }
  if (wrote && changes_) changes_->raise();
}

// With lock_ held.
void ChatLog::append_entry(std::string_view text) {
  held_.append(text).append("\r\n");
  raw_.append(text).append("\r\n");
  // Trim only when twice the bound is reached, so a flood costs one copy per megabyte,
  // not one per line; take_raw_log hands out the newest kMaxBuffer bytes.
  if (raw_.size() >= 2 * kMaxBuffer) raw_.erase(0, raw_.size() - kMaxBuffer);
}

// With lock_ held. One write on an O_APPEND descriptor per call; a file deleted behind
// our back is noticed (no links left) and recreated. What cannot be written is lost:
// the traffic goes on.
void ChatLog::write_held() {
  if (held_.empty()) return;
  struct stat info;
  if (fd_ >= 0 && (::fstat(fd_, &info) != 0 || info.st_nlink == 0)) close_file();
  // Readable by the user only: the log holds every line of the connection's traffic.
  if (fd_ < 0) fd_ = ::open(path_.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0600);
  if (fd_ >= 0) {
    ssize_t written = ::write(fd_, held_.data(), held_.size());
    if (written != static_cast<ssize_t>(held_.size())) close_file();
  }
  held_.clear();
}

void ChatLog::close_file() {
  if (fd_ >= 0) ::close(fd_);
  fd_ = -1;
}

// Held entries belong to the connection whose log goes now.
void ChatLog::remove_file() {
  std::lock_guard<std::mutex> hold(lock_);
  held_.clear();
  close_file();
  std::remove(path_.c_str());
}

std::string ChatLog::take_raw_log() {
  std::lock_guard<std::mutex> hold(lock_);
  std::string out;
  out.swap(raw_);
  if (out.size() > kMaxBuffer) {
    // Start at a whole entry after the cut.
    std::size_t cut = out.size() - kMaxBuffer;
    std::size_t next = out.find("\r\n", cut);
    out.erase(0, next == std::string::npos ? cut : next + 2);
  }
  return out;
}

void ChatLog::clear_raw_log() {
  std::lock_guard<std::mutex> hold(lock_);
  raw_.clear();
}

}  // namespace velmora
