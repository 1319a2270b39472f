# The control the windows hold: member dispatch, trace, and the factory main() uses.
add_library(capture_engine STATIC
  ${CMAKE_CURRENT_LIST_DIR}/Orvex.cpp ${CMAKE_CURRENT_LIST_DIR}/Orvex.h
  ${CMAKE_CURRENT_LIST_DIR}/OrvexCollection.cpp ${CMAKE_CURRENT_LIST_DIR}/OrvexCollection.h
  ${CMAKE_CURRENT_LIST_DIR}/OrvexCore.cpp ${CMAKE_CURRENT_LIST_DIR}/OrvexCore.h
  ${CMAKE_CURRENT_LIST_DIR}/OrvexFactory.cpp ${CMAKE_CURRENT_LIST_DIR}/OrvexFactory.h
  ${CMAKE_CURRENT_LIST_DIR}/OrvexRange.cpp ${CMAKE_CURRENT_LIST_DIR}/OrvexRange.h
  ${CMAKE_CURRENT_LIST_DIR}/OrvexSettings.h
  ${CMAKE_CURRENT_LIST_DIR}/OrvexValues.cpp ${CMAKE_CURRENT_LIST_DIR}/OrvexValues.h
  ${CMAKE_CURRENT_LIST_DIR}/RecordingMonitor.cpp ${CMAKE_CURRENT_LIST_DIR}/RecordingMonitor.h
  ${CMAKE_CURRENT_LIST_DIR}/Snapshot.cpp ${CMAKE_CURRENT_LIST_DIR}/Snapshot.h
  ${CMAKE_CURRENT_LIST_DIR}/SourceChoice.cpp ${CMAKE_CURRENT_LIST_DIR}/SourceChoice.h
  ${CMAKE_CURRENT_LIST_DIR}/TraceLog.cpp ${CMAKE_CURRENT_LIST_DIR}/TraceLog.h
  ${CMAKE_CURRENT_LIST_DIR}/TracedControl.cpp ${CMAKE_CURRENT_LIST_DIR}/TracedControl.h
  ${CMAKE_CURRENT_LIST_DIR}/TunerWrites.cpp ${CMAKE_CURRENT_LIST_DIR}/TunerWrites.h
  ${CMAKE_CURRENT_LIST_DIR}/ViewNotices.h)
target_link_libraries(capture_engine PUBLIC
  capture_widget capture_catalogue capture_graph capture_view capture_pages
  capture_v4l2_catalogue)
