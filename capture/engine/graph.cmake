# The GStreamer graph behind the control: preview, AVI recording, the recording's file sink.
add_library(capture_graph STATIC
  ${CMAKE_CURRENT_LIST_DIR}/CaptureEngine.cpp ${CMAKE_CURRENT_LIST_DIR}/CaptureEngine.h
  ${CMAKE_CURRENT_LIST_DIR}/CapturePipeline.cpp ${CMAKE_CURRENT_LIST_DIR}/CapturePipeline.h
  ${CMAKE_CURRENT_LIST_DIR}/DeinterlacerInput.cpp ${CMAKE_CURRENT_LIST_DIR}/DeinterlacerInput.h
  ${CMAKE_CURRENT_LIST_DIR}/EngineLog.cpp ${CMAKE_CURRENT_LIST_DIR}/EngineLog.h
  ${CMAKE_CURRENT_LIST_DIR}/FailureMessage.cpp ${CMAKE_CURRENT_LIST_DIR}/FailureMessage.h
  ${CMAKE_CURRENT_LIST_DIR}/GraphBuilder.cpp ${CMAKE_CURRENT_LIST_DIR}/GraphBuilder.h
  ${CMAKE_CURRENT_LIST_DIR}/GraphDump.cpp ${CMAKE_CURRENT_LIST_DIR}/GraphDump.h
  ${CMAKE_CURRENT_LIST_DIR}/GraphParts.cpp ${CMAKE_CURRENT_LIST_DIR}/GraphParts.h
  ${CMAKE_CURRENT_LIST_DIR}/PadProbes.cpp ${CMAKE_CURRENT_LIST_DIR}/PadProbes.h
  ${CMAKE_CURRENT_LIST_DIR}/PictureCheck.cpp ${CMAKE_CURRENT_LIST_DIR}/PictureCheck.h
  ${CMAKE_CURRENT_LIST_DIR}/PictureHold.cpp ${CMAKE_CURRENT_LIST_DIR}/PictureHold.h
  ${CMAKE_CURRENT_LIST_DIR}/PipelineFailure.cpp ${CMAKE_CURRENT_LIST_DIR}/PipelineFailure.h
  ${CMAKE_CURRENT_LIST_DIR}/PreviewOutput.cpp ${CMAKE_CURRENT_LIST_DIR}/PreviewOutput.h
  ${CMAKE_CURRENT_LIST_DIR}/RecordingFile.cpp ${CMAKE_CURRENT_LIST_DIR}/RecordingFile.h
  ${CMAKE_CURRENT_LIST_DIR}/RecordingEnd.cpp ${CMAKE_CURRENT_LIST_DIR}/RecordingEnd.h
  ${CMAKE_CURRENT_LIST_DIR}/Silence.cpp ${CMAKE_CURRENT_LIST_DIR}/Silence.h
  ${CMAKE_CURRENT_LIST_DIR}/RecordingStart.cpp ${CMAKE_CURRENT_LIST_DIR}/RecordingStart.h
  ${CMAKE_CURRENT_LIST_DIR}/RecordingSink.cpp ${CMAKE_CURRENT_LIST_DIR}/RecordingSink.h
  ${CMAKE_CURRENT_LIST_DIR}/RecordingWriter.cpp ${CMAKE_CURRENT_LIST_DIR}/RecordingWriter.h
  ${CMAKE_CURRENT_LIST_DIR}/RunningTime.cpp ${CMAKE_CURRENT_LIST_DIR}/RunningTime.h
  ${CMAKE_CURRENT_LIST_DIR}/RunState.cpp ${CMAKE_CURRENT_LIST_DIR}/RunState.h

  ${CMAKE_CURRENT_LIST_DIR}/SoundLevel.h
  ${CMAKE_CURRENT_LIST_DIR}/SyncMarkReader.cpp ${CMAKE_CURRENT_LIST_DIR}/SyncMarkReader.h
  ${CMAKE_CURRENT_LIST_DIR}/SoundMonitor.cpp ${CMAKE_CURRENT_LIST_DIR}/SoundMonitor.h)
target_include_directories(capture_graph PUBLIC ${PROJECT_SOURCE_DIR})
target_link_libraries(capture_graph PUBLIC capture_devices Qt6::Gui PkgConfig::GST PRIVATE capture_v4l2)
set_target_properties(capture_graph PROPERTIES AUTOMOC OFF)
