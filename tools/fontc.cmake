# The viewer's bitmap font: tools/fontc compiles a free serif TrueType font
# (Debian's fonts-dejavu-core) into fonts/bkant.bmf.
set(VORN_FONT_SOURCE /usr/share/fonts/truetype/dejavu/DejaVuSerif.ttf
    CACHE FILEPATH "TrueType or OpenType font that fonts/bkant.bmf is compiled from")
pkg_check_modules(FREETYPE REQUIRED IMPORTED_TARGET freetype2)

add_library(vorn_fontc STATIC ${CMAKE_SOURCE_DIR}/tools/fontc_lib.cpp)
target_include_directories(vorn_fontc PUBLIC ${CMAKE_SOURCE_DIR})
target_link_libraries(vorn_fontc PUBLIC vorn_core PkgConfig::FREETYPE)
target_compile_definitions(vorn_fontc PUBLIC VORN_FONT_SOURCE="${VORN_FONT_SOURCE}")
list(APPEND VORN_TOOL_LIBS vorn_fontc)

add_executable(fontc ${CMAKE_SOURCE_DIR}/tools/fontc.cpp)
target_link_libraries(fontc PRIVATE vorn_fontc vorn_cli)
set_target_properties(fontc PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/tools)

# Version 256, 16 x 16-texel cells, 14 texels high, and small enough that the
# on-screen banner fits the 260 pixels the frame leaves it.
set(out ${CMAKE_BINARY_DIR}/fonts/bkant.bmf)
add_custom_command(OUTPUT ${out}
  COMMAND ${CMAKE_COMMAND} -E make_directory ${CMAKE_BINARY_DIR}/fonts
  COMMAND $<TARGET_FILE:fontc> ${VORN_FONT_SOURCE} ${out}
          --version 256 --sheet 256 --height 14 --fit "vorN ${PROJECT_VERSION} :: vorn.example.org" 260
  DEPENDS fontc ${VORN_FONT_SOURCE}
  COMMENT "Compiling the font bkant.bmf"
  VERBATIM)
list(APPEND VORN_DATA_FILES ${out})
