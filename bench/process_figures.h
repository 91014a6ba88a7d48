#pragma once
// What the benchmarks measure of their own process, and a loopback port to listen on.

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <string>

namespace velmora::bench {

// User and system CPU seconds this process has used so far.
inline double cpu_seconds() {
  rusage usage{};
  ::getrusage(RUSAGE_SELF, &usage);
  auto s = [](const timeval& t) { return t.tv_sec + t.tv_usec / 1e6; };
  return s(usage.ru_utime) + s(usage.ru_stime);
}

// CPU seconds of this process's live threads but the calling one (the bench's own,
// whose reading of these files costs more than an idle client does), to the
// nanosecond: the scheduler's count in /proc/self/task/*/schedstat. getrusage moves in
// whole scheduler ticks here (4 ms, 0.04 % of a core over 10 s), too coarse for an idle
// client; a thread that ends takes its time with it, so measure over a stretch in
// which none does.
inline double threads_cpu_seconds() {
  const std::string caller = std::to_string(::gettid());
  double total = 0;
  for (const auto& task : std::filesystem::directory_iterator("/proc/self/task")) {
    if (task.path().filename() == caller) continue;
    std::ifstream stat(task.path() / "schedstat");
    unsigned long long nanoseconds = 0;
    if (stat >> nanoseconds) total += static_cast<double>(nanoseconds) / 1e9;
  }
  return total;
}

// Resident memory of this process now, in MiB.
inline double rss_mib() {
  std::ifstream statm("/proc/self/statm");
  long pages = 0, resident = 0;
  statm >> pages >> resident;
  return resident * static_cast<double>(::sysconf(_SC_PAGESIZE)) / (1024.0 * 1024.0);
}

// The resident memory that is this process's own (heap, stacks: "RssAnon") and the
// pages of mapped files it has touched, mostly shared libraries' code ("RssFile"), in
// MiB. Clean file pages are shared with every process that maps the same library.
struct ResidentSplit {
  double own = 0, files = 0;
};
inline ResidentSplit resident_split() {
  std::ifstream status("/proc/self/status");
  ResidentSplit split;
  std::string key;
  double kib = 0;
  while (status >> key) {
    if (key == "RssAnon:" && status >> kib) split.own = kib / 1024.0;
    if (key == "RssFile:" && status >> kib) split.files = kib / 1024.0;
  }
  return split;
}

// A socket listening on 127.0.0.1 at a port the kernel chose, stored in `port`.
inline int loopback_listener(int& port) {
  int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  ::bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a);
  ::listen(fd, 1);
  socklen_t len = sizeof a;
  ::getsockname(fd, reinterpret_cast<sockaddr*>(&a), &len);
  port = ntohs(a.sin_port);
  return fd;
}

// A port the kernel just handed out on 127.0.0.1 (closed again, so briefly free).
inline int free_port() {
  int fd = ::socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  ::bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a);
  socklen_t len = sizeof a;
  ::getsockname(fd, reinterpret_cast<sockaddr*>(&a), &len);
  ::close(fd);
  return ntohs(a.sin_port);
}

}  // namespace velmora::bench
