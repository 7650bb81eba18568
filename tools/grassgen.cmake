# The terrain's grass texture: tools/grassgen and textures/grass2.bmp.
add_library(vorn_grassgen STATIC ${CMAKE_SOURCE_DIR}/tools/grassgen_lib.cpp)
target_include_directories(vorn_grassgen PUBLIC ${CMAKE_SOURCE_DIR})
list(APPEND VORN_TOOL_LIBS vorn_grassgen)

add_executable(grassgen ${CMAKE_SOURCE_DIR}/tools/grassgen.cpp)
target_link_libraries(grassgen PRIVATE vorn_grassgen vorn_bmpfile vorn_cli)
set_target_properties(grassgen PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/tools)

set(grass_out ${CMAKE_BINARY_DIR}/textures/grass2.bmp)
add_custom_command(OUTPUT ${grass_out}
  COMMAND ${CMAKE_COMMAND} -E make_directory ${CMAKE_BINARY_DIR}/textures
  COMMAND $<TARGET_FILE:grassgen> ${grass_out} 1
  DEPENDS grassgen
  COMMENT "Making grass texture textures/grass2.bmp")
list(APPEND VORN_DATA_FILES ${grass_out})
