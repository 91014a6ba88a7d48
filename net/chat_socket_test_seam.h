#pragma once
// The one way tests reach ChatSocket's byte-level operations (raw writes without a line
// end, timed partial reads, discarding), which the program itself has no use for.

#include "net/chat_socket.h"

namespace velmora {

class ChatSocketTestSeam {
public:
  explicit ChatSocketTestSeam(ChatSocket& socket) : socket_(socket) {}

  int get(char* destination, int& count, int timeout_ms, bool peek) {
    return socket_.get(destination, count, timeout_ms, peek);
  }
  bool discard(int count) { return socket_.discard(count); }
  int put_data(const char* source, int count) { return socket_.put_data(source, count); }

private:
  ChatSocket& socket_;
};

}  // namespace velmora
