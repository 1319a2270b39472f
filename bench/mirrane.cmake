# mirrane's sliders on the built-in test camera: time of one put, frame rate while dragging.
add_executable(bench_slider ${CMAKE_CURRENT_LIST_DIR}/slider_bench.cpp)
target_link_libraries(bench_slider PRIVATE mirrane_form capture_control scripted_toolkit)
