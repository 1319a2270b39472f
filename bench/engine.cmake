# bench_capture: start-to-picture time, preview CPU, and a Motion JPEG + PCM recording against
# the same graph run by gst-launch-1.0.
add_executable(bench_capture ${CMAKE_CURRENT_LIST_DIR}/engine_capture.cpp)
target_link_libraries(bench_capture PRIVATE capture_graph capture_virtual)
set_target_properties(bench_capture PROPERTIES AUTOMOC OFF)
