# Real terrain: tools/dem2map converts an elevation model that GDAL reads
# into a height map at true scale. It makes no data of its own at build time.
pkg_check_modules(GDAL REQUIRED IMPORTED_TARGET gdal)

add_library(vorn_dem2map STATIC ${CMAKE_SOURCE_DIR}/tools/dem2map_lib.cpp
                                ${CMAKE_SOURCE_DIR}/tools/dem2map_convert.cpp)
target_include_directories(vorn_dem2map PUBLIC ${CMAKE_SOURCE_DIR})
target_link_libraries(vorn_dem2map PUBLIC vorn_cli vorn_bmpfile PkgConfig::GDAL PkgConfig::SDL)
list(APPEND VORN_TOOL_LIBS vorn_dem2map)

add_executable(dem2map ${CMAKE_SOURCE_DIR}/tools/dem2map.cpp)
target_link_libraries(dem2map PRIVATE vorn_dem2map)
set_target_properties(dem2map PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/tools)
