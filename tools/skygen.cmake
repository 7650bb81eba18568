# Sky images: tools/skygen and the two textures of the sky box.
add_library(vorn_skygen STATIC ${CMAKE_SOURCE_DIR}/tools/skygen_lib.cpp)
target_include_directories(vorn_skygen PUBLIC ${CMAKE_SOURCE_DIR})
list(APPEND VORN_TOOL_LIBS vorn_skygen)

add_executable(skygen ${CMAKE_SOURCE_DIR}/tools/skygen.cpp)
target_link_libraries(skygen PRIVATE vorn_skygen vorn_bmpfile vorn_cli)
set_target_properties(skygen PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/tools)

set(VORN_SKY_SIDE ${CMAKE_BINARY_DIR}/textures/skySIDE.bmp)
set(VORN_SKY_TOP ${CMAKE_BINARY_DIR}/textures/skyTOP.bmp)
add_custom_command(OUTPUT ${VORN_SKY_SIDE} ${VORN_SKY_TOP}
  COMMAND ${CMAKE_COMMAND} -E make_directory ${CMAKE_BINARY_DIR}/textures
  COMMAND $<TARGET_FILE:skygen> ${VORN_SKY_SIDE} ${VORN_SKY_TOP} 1
  DEPENDS skygen
  COMMENT "Making sky textures skySIDE.bmp and skyTOP.bmp")
list(APPEND VORN_DATA_FILES ${VORN_SKY_SIDE} ${VORN_SKY_TOP})
