#pragma once

#include <QImage>

namespace capture {

// Where the preview's pictures go. Called on a streaming thread; must not block.
class FrameSink {
public:
    virtual ~FrameSink() = default;
    virtual void present(const QImage& frame) = 0;  // Format_RGB32
};

}  // namespace capture
