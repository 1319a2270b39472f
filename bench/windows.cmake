# bench_window_map: a program's start to its window's first MapNotify, seen from outside.
find_package(X11)
if(X11_FOUND)
  add_executable(bench_window_map ${CMAKE_CURRENT_LIST_DIR}/window_map.cpp)
  target_link_libraries(bench_window_map PRIVATE X11::X11)
endif()
# The floor it is read against: a bare Qt window on the same machine.
add_executable(bench_bare_window ${CMAKE_CURRENT_LIST_DIR}/bare_window.cpp)
target_link_libraries(bench_bare_window PRIVATE Qt6::Widgets)
