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

// Each entry is one write on an O_APPEND descriptor, so the file is complete after
// every line; a file deleted behind our back is noticed (no links left) and recreated.
// Keeping it open makes a log entry two system calls instead of four.
void ChatLog::log_line(const std::string& text) {
  std::string entry = text + "\r\n";
  {
    std::lock_guard<std::mutex> hold(lock_);
    write_entry(entry);
    raw_ += entry;
    // Trim only when twice the bound is reached, so a flood costs one copy per megabyte,
    // not one per line; take_raw_log hands out the newest kMaxBuffer bytes.
    if (raw_.size() >= 2 * kMaxBuffer) raw_.erase(0, raw_.size() - kMaxBuffer);
  }
  if (changes_) changes_->raise();
}

void ChatLog::write_entry(const std::string& entry) {
  struct stat info;
  if (fd_ >= 0 && (::fstat(fd_, &info) != 0 || info.st_nlink == 0)) close_file();
  if (fd_ < 0) fd_ = ::open(path_.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0644);
  if (fd_ < 0) return;  // the entry is lost; the traffic goes on
  ssize_t written = ::write(fd_, entry.data(), entry.size());
  if (written != static_cast<ssize_t>(entry.size())) close_file();
}

void ChatLog::close_file() {
  if (fd_ >= 0) ::close(fd_);
  fd_ = -1;
}

void ChatLog::remove_file() {
  std::lock_guard<std::mutex> hold(lock_);
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
