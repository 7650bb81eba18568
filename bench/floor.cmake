# The viewer's start-up against its floor. bench_startup runs both programs
# on the same map and compares the time to their first shown frame.
add_executable(startup_floor ${CMAKE_CURRENT_LIST_DIR}/floor.cpp)
target_link_libraries(startup_floor PRIVATE PkgConfig::SDL PkgConfig::GLLIBS)
target_include_directories(startup_floor PRIVATE ${CMAKE_SOURCE_DIR})

add_executable(startup_vorn ${CMAKE_CURRENT_LIST_DIR}/startup_vorn.cpp)
target_link_libraries(startup_vorn PRIVATE vorn_core)

add_dependencies(bench_startup startup_floor startup_vorn)
