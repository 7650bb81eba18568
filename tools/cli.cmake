# Command-line helpers shared by the data tools.
add_library(vorn_cli STATIC ${CMAKE_SOURCE_DIR}/tools/cli.cpp)
target_include_directories(vorn_cli PUBLIC ${CMAKE_SOURCE_DIR})
list(APPEND VORN_TOOL_LIBS vorn_cli)
