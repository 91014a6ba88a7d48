// Arbitrary server lines through the window's rendering: nothing may crash, and every
// text handed to the surface must be valid UTF-8 whose only control characters are the
// CR LF line ends the rules write themselves.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "tests/ui/fake_session.h"
#include "tests/ui/recorder_surface.h"
#include "ui/chat_window.h"
#include "ui/display_text.h"

namespace {

void check_shown(const std::string& text) {
  if (!velmora::is_valid_utf8(text)) std::abort();
  for (std::size_t i = 0; i < text.size(); ++i) {
    const auto c = static_cast<unsigned char>(text[i]);
    if (c == '\r' && i + 1 < text.size() && text[i + 1] == '\n') {
      ++i;
      continue;
    }
    if (c < 0x20 || c == 0x7F) std::abort();
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string input(reinterpret_cast<const char*>(data), size);
  velmora::test_support::FakeSession session;
  velmora::test_support::RecorderSurface surface;
  velmora::ChatWindow window(session, surface, "/nonexistent");
  session.hold_key();
  session.users = velmora::split_words(input.substr(0, input.find('\n')), ' ');
  // Members with every mark and checks from the input: the user list's words quote them.
  for (std::size_t i = 0; i < session.users.size(); ++i) {
    session.set_member(session.users[i], static_cast<velmora::MemberKey>(i % 5), session.users[i]);
  }
  session.dirty = true;
  session.account = input.substr(0, 64);
  session.raw_log = input;
  window.toggle_raw_traffic();
  session.raw_log = input;
  std::size_t start = 0;
  while (start <= input.size()) {
    std::size_t end = input.find('\n', start);
    if (end == std::string::npos) end = input.size();
    // Every kind of privacy, the words under another key included.
    const auto privacy = static_cast<velmora::LinePrivacy>((end - start) % 5);
    session.queue.push_back({input.substr(start, end - start), privacy});
    start = end + 1;
  }
  while (!session.queue.empty()) window.poll_inbound();
  window.on_input_return(input.substr(0, input.find('\n')));
  for (const auto& piece : surface.inserted) check_shown(piece.text);
  for (const auto& title : surface.titles) check_shown(title);
  for (const auto& status : surface.statuses) check_shown(status);
  for (const auto& warning : surface.warnings) check_shown(warning);
  for (const auto& rows : surface.user_rows) {
    for (const auto& row : rows) {
      check_shown(row.nick);
      check_shown(row.note);
    }
  }
  for (const auto& state : surface.state_lines) check_shown(state.privacy + state.link);
  return 0;
}
