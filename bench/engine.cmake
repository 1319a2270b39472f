# bench_capture: start-to-picture time, preview CPU, and a Motion JPEG + PCM recording against
# the same graph run by gst-launch-1.0.
add_executable(bench_capture ${CMAKE_CURRENT_LIST_DIR}/engine_capture.cpp)
target_link_libraries(bench_capture PRIVATE capture_graph capture_virtual)
set_target_properties(bench_capture PROPERTIES AUTOMOC OFF)

# bench_long_recording: memory and descriptors each minute of a long Motion JPEG + PCM recording.
add_executable(bench_long_recording ${CMAKE_CURRENT_LIST_DIR}/long_recording.cpp)
target_link_libraries(bench_long_recording PRIVATE capture_graph capture_virtual)
set_target_properties(bench_long_recording PROPERTIES AUTOMOC OFF)

# bench_av_sync: offset and drift of sound against picture, read from recordings of the sync
# marks, with and without compressors; `--read FILE` reads one file.
add_executable(bench_av_sync ${CMAKE_CURRENT_LIST_DIR}/av_sync.cpp)
target_link_libraries(bench_av_sync PRIVATE capture_graph capture_virtual capture_v4l2_catalogue sync_mark_reader)
set_target_properties(bench_av_sync PROPERTIES AUTOMOC OFF)

# bench_deinterlace_view: CPU of the view at 720x576 with and without deinterlacing, and of
# each deinterlacing method.
add_executable(bench_deinterlace_view ${CMAKE_CURRENT_LIST_DIR}/deinterlace_view.cpp)
target_link_libraries(bench_deinterlace_view PRIVATE capture_graph capture_virtual)
set_target_properties(bench_deinterlace_view PROPERTIES AUTOMOC OFF)

# bench_encoders: each listed compressor on a 1280x720 30 fps recording (and each audio one on
# the test tone): frames kept, CPU, start time, size, and whether ffprobe and GStreamer read it.
add_executable(bench_encoders ${CMAKE_CURRENT_LIST_DIR}/encoders.cpp)
target_link_libraries(bench_encoders PRIVATE capture_graph capture_catalogue Qt6::Core)
set_target_properties(bench_encoders PROPERTIES AUTOMOC OFF)
