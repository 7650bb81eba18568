# tools/mapprobe: the launcher asks it whether a file is a height map the
# viewer shows as it is.
add_library(vorn_mapprobe STATIC ${CMAKE_SOURCE_DIR}/tools/mapprobe_lib.cpp)
target_include_directories(vorn_mapprobe PUBLIC ${CMAKE_SOURCE_DIR})
list(APPEND VORN_TOOL_LIBS vorn_mapprobe)

add_executable(mapprobe ${CMAKE_SOURCE_DIR}/tools/mapprobe.cpp)
target_link_libraries(mapprobe PRIVATE vorn_mapprobe vorn_core)
set_target_properties(mapprobe PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/tools)
