#pragma once
// A Surface that records every call, for tests of the window's rules.

#include <string>
#include <utility>
#include <vector>

#include "ui/privacy_words.h"
#include "ui/surface.h"

namespace velmora::test_support {

struct Inserted {
  std::string text;
  std::vector<std::string> tags;
  bool image = false;  // an emoticon: text is its code, tags hold the image path
  bool operator==(const Inserted&) const = default;
};

// A chat line's mark as the recorder keeps it: its label in brackets, tagged "mark".
inline Inserted mark(LinePrivacy privacy) {
  return {"[" + std::string(mark_label(privacy)) + "] ", {"mark"}};
}

class RecorderSurface : public Surface {
public:
  void insert_text(const std::string& text, const std::vector<std::string>& tags) override {
    inserted.push_back({text, tags, false});
  }
  void insert_image(const std::string& image_path, const std::string& code) override {
    inserted.push_back({code, {image_path}, true});
  }
  void insert_mark(LinePrivacy privacy) override { inserted.push_back(mark(privacy)); }
  void clear_view() override {
    inserted.clear();
    ++clears;
  }
  void scroll_to_end() override { ++scrolls; }
  void set_sensitive(Control control, bool sensitive) override {
    sensitivity.push_back({control, sensitive});
  }
  void set_title(const std::string& title) override { titles.push_back(title); }
  void set_status_bar(const std::string& text) override { statuses.push_back(text); }
  void set_user_rows(const std::vector<UserRow>& rows) override { user_rows.push_back(rows); }
  void set_state_line(const StateLine& state) override { state_lines.push_back(state); }
  void show_warning(const std::string& primary, const std::string& secondary) override {
    warnings.push_back(primary + "|" + secondary);
  }

  // All inserted text run together, images as their code.
  std::string view_text() const {
    std::string all;
    for (const auto& piece : inserted) all += piece.text;
    return all;
  }
  void forget() { *this = RecorderSurface(); }

  std::vector<Inserted> inserted;
  int clears = 0;
  int scrolls = 0;
  std::vector<std::pair<Control, bool>> sensitivity;
  std::vector<std::string> titles;
  std::vector<std::string> statuses;
  std::vector<std::vector<UserRow>> user_rows;
  std::vector<StateLine> state_lines;
  std::vector<std::string> warnings;
};

}  // namespace velmora::test_support
