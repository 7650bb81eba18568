# Help panel: tools/helpgen and textures/help.bmp, typeset with FreeType in
# the DejaVu Sans faces.
find_package(Freetype REQUIRED)
find_file(VORN_HELP_FONT_REGULAR DejaVuSans.ttf
  PATHS /usr/share/fonts/truetype/dejavu /usr/share/fonts/TTF /usr/share/fonts/dejavu
  REQUIRED)
find_file(VORN_HELP_FONT_BOLD DejaVuSans-Bold.ttf
  PATHS /usr/share/fonts/truetype/dejavu /usr/share/fonts/TTF /usr/share/fonts/dejavu
  REQUIRED)

add_library(vorn_helpgen STATIC ${CMAKE_SOURCE_DIR}/tools/helpgen_lib.cpp)
target_include_directories(vorn_helpgen PUBLIC ${CMAKE_SOURCE_DIR})
target_link_libraries(vorn_helpgen PUBLIC Freetype::Freetype m)
# Tests typeset with the same faces as the tool.
target_compile_definitions(vorn_helpgen PUBLIC
  VORN_HELP_FONT_REGULAR="${VORN_HELP_FONT_REGULAR}"
  VORN_HELP_FONT_BOLD="${VORN_HELP_FONT_BOLD}")
list(APPEND VORN_TOOL_LIBS vorn_helpgen)

add_executable(helpgen ${CMAKE_SOURCE_DIR}/tools/helpgen.cpp)
target_link_libraries(helpgen PRIVATE vorn_helpgen vorn_bmpfile)
set_target_properties(helpgen PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/tools)

set(VORN_HELP_IMAGE ${CMAKE_BINARY_DIR}/textures/help.bmp)
add_custom_command(OUTPUT ${VORN_HELP_IMAGE}
  COMMAND ${CMAKE_COMMAND} -E make_directory ${CMAKE_BINARY_DIR}/textures
  COMMAND $<TARGET_FILE:helpgen> ${VORN_HELP_IMAGE} ${VORN_HELP_FONT_REGULAR} ${VORN_HELP_FONT_BOLD}
  DEPENDS helpgen ${VORN_HELP_FONT_REGULAR} ${VORN_HELP_FONT_BOLD}
  COMMENT "Making the help panel help.bmp")
list(APPEND VORN_DATA_FILES ${VORN_HELP_IMAGE})
