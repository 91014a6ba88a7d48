#pragma once
// The window's words for who can read what, in one place, so both faces say the same:
// the marks before chat lines, what each member holds, the words for a line that does
// not open, and what /check shows.

#include <string>
#include <string_view>
#include <vector>

#include "irc/view_item.h"
#include "ui/session_view.h"

namespace velmora {

// A line mark's short name ("private", "not private", "direct", "another key") and the
// sentence that explains it; both empty for LinePrivacy::None.
std::string_view mark_label(LinePrivacy privacy);
std::string_view mark_explanation(LinePrivacy privacy);

// A key check as it is read aloud, in groups of four: "1A2B 3C4D 5E6F 7A8B".
std::string grouped_check(std::string_view check);

// What `member` holds, in words, for the user list (`agreement` for our own check).
std::string member_note(const MemberView& member, const AgreementSnapshot& agreement);

// Shown in place of the words of a sealed line from `nick` that does not open here.
std::string unopened_line_text(std::string_view nick, const SessionView& view);

// What /check shows: our key check to compare by voice, and who announced another.
std::vector<std::string> key_check_lines(const SessionView& view);

}  // namespace velmora
