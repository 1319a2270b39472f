# the graph: CaptureEngine
