velmora_library(velmora_dh SOURCES ${CMAKE_CURRENT_SOURCE_DIR}/dh_arith.cpp DEPS velmora_bigint)
