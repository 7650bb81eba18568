# The BMP writer shared by the texture tools.
add_library(vorn_bmpfile STATIC ${CMAKE_SOURCE_DIR}/tools/bmpfile.cpp)
target_include_directories(vorn_bmpfile PUBLIC ${CMAKE_SOURCE_DIR})
list(APPEND VORN_TOOL_LIBS vorn_bmpfile)
