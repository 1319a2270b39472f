add_library(capture_engine STATIC OrvexFactory.cpp OrvexFactory.h)
target_link_libraries(capture_engine PUBLIC capture_widget)
