# The GStreamer graph behind the control: preview, AVI recording, the recording's file sink.
add_library(capture_graph STATIC
  ${CMAKE_CURRENT_LIST_DIR}/CaptureEngine.cpp ${CMAKE_CURRENT_LIST_DIR}/CaptureEngine.h
  ${CMAKE_CURRENT_LIST_DIR}/CapturePipeline.cpp ${CMAKE_CURRENT_LIST_DIR}/CapturePipeline.h
  ${CMAKE_CURRENT_LIST_DIR}/FailureMessage.cpp ${CMAKE_CURRENT_LIST_DIR}/FailureMessage.h
  ${CMAKE_CURRENT_LIST_DIR}/PreviewOutput.cpp ${CMAKE_CURRENT_LIST_DIR}/PreviewOutput.h
  ${CMAKE_CURRENT_LIST_DIR}/RecordingFile.cpp ${CMAKE_CURRENT_LIST_DIR}/RecordingFile.h
  ${CMAKE_CURRENT_LIST_DIR}/RecordingSink.cpp ${CMAKE_CURRENT_LIST_DIR}/RecordingSink.h
  ${CMAKE_CURRENT_LIST_DIR}/RecordingWriter.cpp ${CMAKE_CURRENT_LIST_DIR}/RecordingWriter.h
  ${CMAKE_CURRENT_LIST_DIR}/SoundLevel.h
  ${CMAKE_CURRENT_LIST_DIR}/SoundMonitor.cpp ${CMAKE_CURRENT_LIST_DIR}/SoundMonitor.h)
target_include_directories(capture_graph PUBLIC ${PROJECT_SOURCE_DIR})
target_link_libraries(capture_graph PUBLIC capture_devices Qt6::Gui PkgConfig::GST)
set_target_properties(capture_graph PROPERTIES AUTOMOC OFF)
