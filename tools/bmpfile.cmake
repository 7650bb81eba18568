# The BMP writer shared by the texture tools.
add_library(vorn_bmpfile STATIC ${CMAKE_SOURCE_DIR}/tools/bmpfile.cpp)
target_include_directories(vorn_bmpfile PUBLIC ${CMAKE_SOURCE_DIR})
target_link_libraries(vorn_bmpfile PUBLIC PkgConfig::SDL)
list(APPEND VORN_TOOL_LIBS vorn_bmpfile)
