#pragma once
// What travels to the window beside a received line's words: who could read the line,
// and the notes the client itself has for the view. Both are decided on the receive
// side (or by the client), never read from the text, so nothing a sender writes can
// make a line look sealed or look like the client speaking.

#include <string>

namespace velmora {

// Who could read a line before it reached us.
enum class LinePrivacy {
  None,      // not a chat line: the server's, or the client's own
  Sealed,    // sealed under our channel key and opened: only its holders could read it
  Plain,     // unsealed, to the channel: everyone there and the server read it
  Direct,    // unsealed, to us alone: the server read it
  OtherKey,  // sealed under a key we do not hold: it does not open here
};

// A note from the client to the view, shown in words of its own.
struct ViewNote {
  enum class Kind {
    Refusal,       // the server or the certificate check refused us; it also stays in the status line
    Disconnected,  // the connection ended without our asking
    NotShown,      // lines the view fell behind on were left out
  };
  Kind kind = Kind::Refusal;
  std::string text;
  bool operator==(const ViewNote&) const = default;
};

}  // namespace velmora
