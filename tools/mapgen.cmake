# Height maps: tools/mapgen and the three maps of the viewer.
add_library(vorn_heightgen STATIC ${CMAKE_SOURCE_DIR}/tools/heightgen.cpp)
target_include_directories(vorn_heightgen PUBLIC ${CMAKE_SOURCE_DIR})
list(APPEND VORN_TOOL_LIBS vorn_heightgen)

add_executable(mapgen ${CMAKE_SOURCE_DIR}/tools/mapgen.cpp)
target_link_libraries(mapgen PRIVATE vorn_heightgen vorn_cli vorn_bmpfile)
set_target_properties(mapgen PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/tools)

foreach(map mapa.bmp:512 mapa256.bmp:256 mapa1024.bmp:1024)
  string(REPLACE ":" ";" parts ${map})
  list(GET parts 0 name)
  list(GET parts 1 side)
  set(out ${CMAKE_BINARY_DIR}/maps/${name})
  add_custom_command(OUTPUT ${out}
    COMMAND ${CMAKE_COMMAND} -E make_directory ${CMAKE_BINARY_DIR}/maps
    COMMAND $<TARGET_FILE:mapgen> ${out} ${side} 1 --start-view
    DEPENDS mapgen
    COMMENT "Making height map ${name}")
  list(APPEND VORN_DATA_FILES ${out})
endforeach()
