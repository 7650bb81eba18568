# The desktop icon: tools/icongen writes icons/vorn.svg and a 64 x 64 RGBA
# picture that ImageMagick stores as icons/vorn.png.
add_executable(icongen ${CMAKE_SOURCE_DIR}/tools/icongen.cpp)
target_link_libraries(icongen PRIVATE m)
set_target_properties(icongen PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/tools)

set(svg ${CMAKE_BINARY_DIR}/icons/vorn.svg)
set(png ${CMAKE_BINARY_DIR}/icons/vorn.png)
add_custom_command(OUTPUT ${svg} ${png}
  COMMAND ${CMAKE_COMMAND} -E make_directory ${CMAKE_BINARY_DIR}/icons
  COMMAND $<TARGET_FILE:icongen> ${svg} ${CMAKE_BINARY_DIR}/icons/vorn.pam
  COMMAND convert ${CMAKE_BINARY_DIR}/icons/vorn.pam -strip ${png}
  COMMAND ${CMAKE_COMMAND} -E remove ${CMAKE_BINARY_DIR}/icons/vorn.pam
  DEPENDS icongen
  COMMENT "Making the desktop icon vorn.svg and vorn.png")
list(APPEND VORN_DATA_FILES ${svg} ${png})
