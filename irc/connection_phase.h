#pragma once
// Where the connection stands. One object owns it and changes it through one function,
// with the reason for the last change; everything else only reads it.
//
//   idle --start--> connecting --connected--> registering --welcome--> online
//     ^                 |                          |                      |
//     |        certificate refused          ends / no welcome           ends
//     |                 |                          v                      v
//     +-----------------+------ user ------ waiting_to_reconnect <--------+
//     |                                            | (5, 10, 20, 40, then every 60 s)
//     +-- closing <-- user's disconnect            +----> connecting
//
// A refused certificate is the one failure that is not tried again: another attempt
// gets the same certificate.

namespace velmora {

enum class Phase { idle, connecting, registering, online, waiting_to_reconnect, closing };

inline const char* phase_name(Phase phase) {
  switch (phase) {
    case Phase::idle: return "idle";
    case Phase::connecting: return "connecting";
    case Phase::registering: return "registering";
    case Phase::online: return "online";
    case Phase::waiting_to_reconnect: return "waiting to reconnect";
    case Phase::closing: return "closing";
  }
  return "idle";
}

}  // namespace velmora
