velmora_library(velmora_keyx SOURCES
  ${CMAKE_CURRENT_LIST_DIR}/control_text.cpp
  ${CMAKE_CURRENT_LIST_DIR}/token.cpp
  ${CMAKE_CURRENT_LIST_DIR}/chat_line_split.cpp
  ${CMAKE_CURRENT_LIST_DIR}/channel_security.cpp
  ${CMAKE_CURRENT_LIST_DIR}/request_round.cpp
  ${CMAKE_CURRENT_LIST_DIR}/key_exchange.cpp
  DEPS velmora_crypto velmora_dh)
