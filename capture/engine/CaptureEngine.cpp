#include "CaptureEngine.h"

#include "CapturePipeline.h"
#include "EngineLog.h"
#include "FailureMessage.h"
#include "RecordingFile.h"
#include "capture/contract/CaptureError.h"

#include <QObject>

#include <cerrno>
#include <cstring>

namespace capture {

class CaptureEngine::Graph {
public:
    QObject context;  // where failures are delivered: the thread that made the engine
    std::unique_ptr<RecordingFile> file;
    std::unique_ptr<CapturePipeline> pipeline;  // declared after file: it writes into it
    CaptureStats last;

    void end()
    {
        if (!pipeline)
            return;
        last = pipeline->stats();
        last.running = false;
        last.recording = false;
        pipeline.reset();
        file.reset();
    }
};

CaptureEngine::CaptureEngine(FrameSink& sink) : m_graph(std::make_unique<Graph>()), m_sink(sink)
{
    if (!gst_is_initialized())
        gst_init(nullptr, nullptr);
}

CaptureEngine::~CaptureEngine()
{
    stop();
}

int CaptureEngine::start(const CaptureRequest& request)
{
    stop();
    m_lastFailure.reset();

    std::unique_ptr<RecordingFile> file;
    if (request.toFile) {
        switch (RecordingFile::open(request.fileName, file)) {
        case RecordingFile::Status::NotFound:
            return FileNotFound;
        case RecordingFile::Status::CannotCreate:
            m_lastFailure = PipelineFailure{PipelineFailure::Part::File, request.fileName,
                                            "it cannot be created (" + std::string(std::strerror(errno)) + ")", "",
                                            false, false};
            return CannotRecord;
        case RecordingFile::Status::Opened:
            break;
        }
    }
    auto giveUp = [&file] {
        if (file)
            file->discard();
    };

    std::unique_ptr<CapturePipeline> pipeline;
    try {
        pipeline = std::make_unique<CapturePipeline>(request, m_sink, file.get());
    } catch (const GraphError& refused) {
        pipeline.reset();
        giveUp();
        m_lastFailure = refused.failure();
        qCInfo(lcEngine, "the graph could not be built: %s", refused.what());
        if (!request.toFile)
            throw CaptureError(startFailureMessage(refused.failure()));
        return CannotRecord;
    } catch (...) {
        pipeline.reset();
        giveUp();
        throw;
    }

    const std::optional<PipelineFailure> failure = pipeline->play(
        &m_graph->context, [this](const PipelineFailure& failure) { onStreamingFailure(failure); });
    if (failure) {
        pipeline.reset();
        giveUp();
        m_lastFailure = failure;
        const bool recordingRefused = failure->endsRecordingOnly() || failure->notNegotiated;
        if (request.toFile && recordingRefused)
            return CannotRecord;
        throw CaptureError(startFailureMessage(*failure));
    }
    m_graph->file = std::move(file);
    m_graph->pipeline = std::move(pipeline);
    return Started;
}

void CaptureEngine::stop()
{
    if (!m_graph->pipeline)
        return;
    m_graph->pipeline->finishRecording();
    m_graph->end();
}

const std::optional<PipelineFailure>& CaptureEngine::lastFailure() const
{
    return m_lastFailure;
}

CaptureStats CaptureEngine::stats() const
{
    return m_graph->pipeline ? m_graph->pipeline->stats() : m_graph->last;
}

void CaptureEngine::setErrorHandler(std::function<void(const std::string& message)> handler)
{
    m_onError = std::move(handler);
}

void CaptureEngine::onStreamingFailure(const PipelineFailure& failure)
{
    CapturePipeline* pipeline = m_graph->pipeline.get();
    if (!pipeline)
        return;
    const bool wasRecording = pipeline->recording();
    const bool closed = pipeline->finishRecording();
    CaptureStats saved = pipeline->stats();
    if (!wasRecording)
        saved.fileName.clear();
    m_lastFailure = failure;
    if (!failure.endsRecordingOnly())
        m_graph->end();
    if (m_onError)
        m_onError(failureMessage(failure, saved, closed));
}

}  // namespace capture
