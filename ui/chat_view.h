#pragma once
// Writing into the chat view: styled text, chat lines with emoticon images, and the
// empty lines that open and close a block of chat lines.

#include <string>
#include <string_view>
#include <vector>

#include "ui/surface.h"

namespace velmora {

using Tags = std::vector<std::string>;

// Splits at every occurrence of `delimiter`; k delimiters give k + 1 elements, so an
// empty text gives one empty element and runs of delimiters give empty elements.
std::vector<std::string> split_words(std::string_view text, char delimiter);

class ChatView {
public:
  // `smilies_dir` is the folder of the emoticon images (no trailing separator).
  ChatView(Surface& surface, std::string smilies_dir);

  // Text from outside the program, inserted at the end: IRC formatting codes taken
  // out, then made safe to show (see display_text).
  void insert(std::string_view text, const Tags& tags);
  // The same followed by the line end.
  void insert_line(std::string_view text, const Tags& tags);
  // Lines each ended by CR LF (raw traffic), each made safe to show, as one insertion.
  void insert_lines(std::string_view text, const Tags& tags);

  // One chat line: the mark of who could read it, the nick, two spaces, the words with
  // codes shown as images.
  void render_chat_line(std::string_view nick, std::string_view text, bool is_action,
                        LinePrivacy privacy);
  // A sealed line that does not open here: its mark, the nick and `words` saying so.
  void render_unopened_line(std::string_view nick, std::string_view words);
  // True when `word` is a code whose image file exists; the image is then inserted.
  bool insert_smiley(std::string_view word);

  // Ends a block of chat lines with an empty line, if one is open.
  void close_chat_block();
  bool chat_block_open() const { return chat_block_open_; }

  void clear();
  void scroll_to_end();
  Surface& surface() { return surface_; }

private:
  // Opens the block if need be; the mark, the nick and the gap before the words.
  void begin_chat_line(std::string_view nick, LinePrivacy privacy, bool italic);

  Surface& surface_;
  std::string smilies_dir_;
  bool chat_block_open_ = false;
};

}  // namespace velmora
