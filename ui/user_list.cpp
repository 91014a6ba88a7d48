#include "ui/user_list.h"

#include "ui/display_text.h"

namespace velmora {

std::vector<UserRow> build_user_rows(const std::vector<std::string>& users,
                                     const std::function<bool(const std::string&)>& holds_key,
                                     bool socket_closed) {
  std::vector<UserRow> rows;
  if (socket_closed) return rows;
  for (const std::string& nick : users) {
    if (nick.empty()) continue;
    rows.push_back({holds_key(nick), display_text(nick)});
  }
  return rows;
}

}  // namespace velmora
