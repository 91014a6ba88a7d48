#include "ui/message_renderer.h"

#include <algorithm>
#include <optional>
#include <string_view>
#include <unordered_map>

#include "ui/privacy_words.h"

namespace velmora {
namespace {

const Tags kBlue{"blue_fg", "indent", "space"};
const Tags kBlueBold{"blue_fg", "indent", "space", "bold"};
const Tags kPlain{"indent", "space"};
const Tags kRed{"red_fg", "indent", "space"};
const Tags kMotd{"monospace", "indent", "gray_fg"};
const Tags kMember{"indentplus", "space", "blue_fg"};
const Tags kMemberBold{"indentplus", "space", "blue_fg", "bold"};
const Tags kJoinNick{"bold", "indentplus", "space", "blue_fg"};
const Tags kRedBold{"red_fg", "indent", "space", "bold"};
const Tags kOther{"lmarg", "italic", "space"};

// A CTCP action ("\x01ACTION text\x01", keyword in any case): its text, or nothing.
std::optional<std::string> ctcp_action(const std::string& text) {
  static constexpr std::string_view kMarker = "\x01" "action ";
  if (text.size() < kMarker.size()) return std::nullopt;
  for (std::size_t i = 0; i < kMarker.size(); ++i) {
    const char c = text[i];
    const char lower = c >= 'A' && c <= 'Z' ? static_cast<char>(c + ('a' - 'A')) : c;
    if (lower != kMarker[i]) return std::nullopt;
  }
  std::string body = text.substr(kMarker.size());
  // Only the closing marker is cut: an action that lacks it keeps all its words.
  if (!body.empty() && body.back() == '\x01') body.pop_back();
  return body;
}

bool is_numeric(const std::string& command) {
  return command.size() == 3 && std::all_of(command.begin(), command.end(),
                                            [](char c) { return c >= '0' && c <= '9'; });
}

// A reply in the server's own words: the parameters after our nick, then its text
// ("ABC123: your unique ID").
std::string numeric_text(const IrcMessage& m) {
  const std::size_t end = m.trailing_index > 0 ? static_cast<std::size_t>(m.trailing_index) : m.params.size();
  std::string shown;
  for (std::size_t i = 1; i < end; ++i) shown += (shown.empty() ? "" : " ") + m.params[i];
  const std::string text = m.trailing_index > 0 ? m.text() : std::string();
  if (!shown.empty() && !text.empty()) shown += ": ";
  return shown + text;
}

using Handler = MessageRenderer::Handler;

}  // namespace

MessageRenderer::MessageRenderer(ChatView& view) : view_(view) {}

MessageRenderer::Handler MessageRenderer::handler_for(const std::string& command) {
  static const std::unordered_map<std::string_view, Handler> table = [] {
    std::unordered_map<std::string_view, Handler> t;
    const auto add = [&t](std::initializer_list<std::string_view> commands, Handler h) {
      for (std::string_view c : commands) t.emplace(c, h);
    };
    add({"", "004", "005", "251", "252", "253", "254", "255", "265", "266", "250", "333",
         "477", "MODE", "PONG"},
        &MessageRenderer::render_nothing);
    add({"001", "002", "003"}, &MessageRenderer::render_welcome);
    add({"328"}, &MessageRenderer::render_channel_url);
    add({"332", "TOPIC"}, &MessageRenderer::render_topic);
    add({"372"}, &MessageRenderer::render_motd_line);
    add({"375", "376"}, &MessageRenderer::render_motd_edge);
    add({"451", "401", "402", "403", "404", "411", "412", "421", "431", "432", "433", "436",
         "461", "464"},
        &MessageRenderer::render_error_reply);
    add({"470"}, &MessageRenderer::render_forward);
    add({"NICK"}, &MessageRenderer::render_nick);
    add({"ERROR"}, &MessageRenderer::render_error);
    add({"NOTICE", "901", "902"}, &MessageRenderer::render_notice);
    add({"JOIN"}, &MessageRenderer::render_join);
    add({"QUIT", "PART"}, &MessageRenderer::render_leave);
    add({"KICK"}, &MessageRenderer::render_kick);
    add({"INVITE"}, &MessageRenderer::render_invite);
    add({"PRIVMSG"}, &MessageRenderer::render_privmsg);
    return t;
  }();
  const auto row = table.find(command);
  return row == table.end() ? &MessageRenderer::render_other : row->second;
}

void MessageRenderer::render(const ReceivedLine& item, const SessionView& state) {
  if (item.note || item.message.command != "PRIVMSG") view_.close_chat_block();
  if (item.note) return render_note(*item.note);
  state_ = &state;
  privacy_ = item.privacy;
  (this->*handler_for(item.message.command))(item.message);
}

void MessageRenderer::render_note(const ViewNote& note) {
  view_.insert_line(note.text, note.kind == ViewNote::Kind::NotShown ? Tags{"bold", "indent", "space"} : kRedBold);
}

void MessageRenderer::render_welcome(const IrcMessage& m) { view_.insert_line(m.text(), kBlue); }

void MessageRenderer::render_channel_url(const IrcMessage& m) {
  view_.insert("Channel URL: ", kPlain);
  view_.insert_line(m.text(), kBlueBold);
}

void MessageRenderer::render_topic(const IrcMessage& m) {
  view_.insert_line(m.text(), {"green_fg", "indent", "space", "bold"});
}

void MessageRenderer::render_motd_line(const IrcMessage& m) { view_.insert_line(m.text(), kMotd); }

void MessageRenderer::render_motd_edge(const IrcMessage&) { view_.insert_line("", kMotd); }

void MessageRenderer::render_error_reply(const IrcMessage& m) { view_.insert_line(m.text(), kRed); }

// The receive side has already moved us to the channel and retitled the window.
void MessageRenderer::render_forward(const IrcMessage& m) {
  view_.insert("You have been forwarded to ", kBlue);
  view_.insert_line(m.param(2), kBlueBold);
}

// The receive side has already moved the nick, its holder mark and the user list.
void MessageRenderer::render_nick(const IrcMessage& m) {
  const std::string& new_nick = m.text();
  const std::string& own = state_->nick;
  if (m.nick == own || new_nick == own) {
    view_.insert("Your username is now ", kMember);
  } else {
    view_.insert(m.nick, kMemberBold);
    view_.insert(" has changed their username to ", kMember);
  }
  view_.insert(new_nick, kMemberBold);
  view_.insert_line(".", kMember);
}

void MessageRenderer::render_error(const IrcMessage& m) { view_.insert_line(m.text(), kRedBold); }

// A user's notice carries the mark of who could read it, as chat does.
void MessageRenderer::render_notice(const IrcMessage& m) {
  if (privacy_ != LinePrivacy::None) view_.surface().insert_mark(privacy_);
  if (!m.nick.empty()) view_.insert("(" + m.nick + ") ", kPlain);
  view_.insert_line(m.text(), {"bold", "indent", "space"});
}

void MessageRenderer::render_join(const IrcMessage& m) {
  view_.insert(m.nick, kJoinNick);
  view_.insert_line(" has joined the channel.", kMember);
}

void MessageRenderer::render_leave(const IrcMessage& m) {
  view_.insert(m.nick, kJoinNick);
  view_.insert_line(" has left the channel.", kMember);
}

// "op removed you from #c: behave"; a KICK without a reason has no text after the nick.
void MessageRenderer::render_kick(const IrcMessage& m) {
  const std::string& kicked = m.param(1);
  const std::string reason = m.trailing_index >= 2 ? m.text() : std::string();
  const bool us = kicked == state_->nick;
  const Tags& tags = us ? kRedBold : kMember;
  view_.insert(m.nick, us ? kRedBold : kMemberBold);
  view_.insert(" removed ", tags);
  view_.insert(us ? "you" : kicked, us ? kRedBold : kMemberBold);
  view_.insert_line(" from " + m.param(0) + (reason.empty() ? "" : ": " + reason), tags);
}

void MessageRenderer::render_invite(const IrcMessage& m) {
  const std::string& invited = m.param(0);
  view_.insert(m.nick, kMemberBold);
  view_.insert(" invites ", kMember);
  view_.insert(invited == state_->nick ? "you" : invited, kMemberBold);
  view_.insert_line(" to " + m.param(1), kMember);
}

// The receive side has opened a sealed text, marked who could read it and kept chat
// away until we hold the key.
void MessageRenderer::render_privmsg(const IrcMessage& m) {
  if (privacy_ == LinePrivacy::OtherKey) {
    view_.render_unopened_line(m.nick, unopened_line_text(m.nick, *state_));
  } else if (const auto action = ctcp_action(m.text())) {
    view_.render_chat_line(m.nick, *action, true, privacy_);
  } else {
    view_.render_chat_line(m.nick, m.text(), false, privacy_);
  }
}

// A numeric we do not know in the server's own words; any other command named.
void MessageRenderer::render_other(const IrcMessage& m) {
  if (is_numeric(m.command)) return view_.insert_line(numeric_text(m), kOther);
  const std::string from = m.nick.empty() ? std::string() : " from " + m.nick;
  view_.insert_line(m.command + from + ": " + m.text(), kOther);
}

}  // namespace velmora
