velmora_library(velmora_crypto SOURCES
  ${CMAKE_CURRENT_LIST_DIR}/blowfish.cpp
  ${CMAKE_CURRENT_LIST_DIR}/blowfish_constants.cpp
  ${CMAKE_CURRENT_LIST_DIR}/hex.cpp
  ${CMAKE_CURRENT_LIST_DIR}/seal.cpp
  ${CMAKE_CURRENT_LIST_DIR}/sha1.cpp
  ${CMAKE_CURRENT_LIST_DIR}/random_source.cpp
  ${CMAKE_CURRENT_LIST_DIR}/transport_key.cpp
  ${CMAKE_CURRENT_LIST_DIR}/peer_key_table.cpp)
