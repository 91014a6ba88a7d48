#include "ui/chat_view.h"

#include <fstream>

#include "ui/display_text.h"
#include "ui/emoticons.h"
#include "ui/irc_formatting.h"

namespace velmora {

std::vector<std::string> split_words(std::string_view text, char delimiter) {
  std::vector<std::string> words;
  std::size_t start = 0;
  for (std::size_t at = text.find(delimiter); at != std::string_view::npos;
       at = text.find(delimiter, start)) {
    words.emplace_back(text.substr(start, at - start));
    start = at + 1;
  }
  words.emplace_back(text.substr(start));
  return words;
}

ChatView::ChatView(Surface& surface, std::string smilies_dir)
    : surface_(surface), smilies_dir_(std::move(smilies_dir)) {}

void ChatView::insert(std::string_view text, const Tags& tags) {
  const std::string shown = display_text(strip_formatting(text));
  if (shown.empty()) return;  // an empty word of a chat line shows nothing
  surface_.insert_text(shown, tags);
}

void ChatView::insert_line(std::string_view text, const Tags& tags) {
  surface_.insert_text(display_text(strip_formatting(text)) + "\r\n", tags);
}

void ChatView::insert_lines(std::string_view text, const Tags& tags) {
  std::string shown;
  std::size_t start = 0;
  while (start < text.size()) {
    std::size_t end = text.find("\r\n", start);
    if (end == std::string_view::npos) end = text.size();
    shown += display_text(text.substr(start, end - start));
    shown += "\r\n";
    start = end + 2;
  }
  if (!shown.empty()) surface_.insert_text(shown, tags);
}

void ChatView::begin_chat_line(std::string_view nick, LinePrivacy privacy, bool italic) {
  if (!chat_block_open_) surface_.insert_text("\r\n", {"lmarg"});
  chat_block_open_ = true;
  // A chat line that came without a privacy is not taken for sealed.
  surface_.insert_mark(privacy == LinePrivacy::None ? LinePrivacy::Plain : privacy);
  Tags nick_tags{"bold", "space", "lmarg", "big"};
  if (italic) nick_tags.push_back("italic");
  insert(nick, nick_tags);
  surface_.insert_text("  ", {"space", "lmarg", "big"});
}

void ChatView::render_unopened_line(std::string_view nick, std::string_view words) {
  begin_chat_line(nick, LinePrivacy::OtherKey, false);
  insert(words, {"space", "big", "italic", "red_fg"});
  surface_.insert_text("\r\n", {"space", "big"});
}

void ChatView::render_chat_line(std::string_view nick, std::string_view text, bool is_action,
                                LinePrivacy privacy) {
  begin_chat_line(nick, privacy, is_action);
  Tags word_tags{"space", "big"};
  if (is_action) word_tags.push_back("italic");

  const std::vector<std::string> words = split_words(text, ' ');
  for (std::size_t i = 0; i < words.size(); ++i) {
    const bool last = i + 1 == words.size();
    if (insert_smiley(words[i])) {
      if (!last) surface_.insert_text(" ", {"space", "big"});
    } else {
      insert(last ? words[i] : words[i] + " ", word_tags);
    }
  }
  surface_.insert_text("\r\n", {"space", "big"});
}

bool ChatView::insert_smiley(std::string_view word) {
  const std::string_view file = emoticon_file(word);
  if (file.empty()) return false;
  std::string path = smilies_dir_ + "/" + std::string(file);
  if (!std::ifstream(path, std::ios::binary).is_open()) return false;
  surface_.insert_image(path, std::string(word));
  return true;
}

void ChatView::close_chat_block() {
  if (!chat_block_open_) return;
  surface_.insert_text("\r\n", {"lmarg"});
  chat_block_open_ = false;
}

void ChatView::clear() { surface_.clear_view(); }

void ChatView::scroll_to_end() { surface_.scroll_to_end(); }

}  // namespace velmora
