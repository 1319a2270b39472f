# bench_emulated_mjpeg: Motion JPEG from the emulated camera stored as it comes against
# decoded and encoded again. Run it under scripts/with-emulated-devices.sh.
add_executable(bench_emulated_mjpeg ${CMAKE_CURRENT_LIST_DIR}/emulated_mjpeg.cpp ${CMAKE_CURRENT_LIST_DIR}/ProcessCpu.h)
target_link_libraries(bench_emulated_mjpeg PRIVATE capture_graph capture_v4l2)
set_target_properties(bench_emulated_mjpeg PROPERTIES AUTOMOC OFF)
add_dependencies(bench_emulated_mjpeg orvex_v4l2_emulator)
