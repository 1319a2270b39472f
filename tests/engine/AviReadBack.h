#pragma once

#include <QImage>

#include <cstdint>
#include <string>
#include <vector>

namespace capture::testing {

// What GStreamer's own AVI demuxer makes of a file.
struct AviReadBack {
    bool readable = false;
    std::vector<std::string> codecs;  // caps names, video first as the file has them
    double duration = 0;              // as the discoverer reports it
    int videoFrames = 0;
    double videoEnd = 0;              // end of the last picture, seconds
    double audioEnd = 0;
    bool hasIndex = false;            // the header says so and an idx1 chunk is there
    int width = 0;                    // of the video stream
    int height = 0;
    std::vector<std::string> videoFrameDigests;  // SHA-1 of each video frame, when asked for
    std::vector<std::int16_t> sound;  // 16-bit PCM: the first channel's samples
    int soundRate = 0;
    // The video stream's OpenDML video properties header ("vprp"), as the file has it.
    struct Field {
        int height = 0;     // of the field's bitmap
        int startLine = 0;  // VideoYValidStartLine
    };
    struct VideoProperties {
        bool present = false;
        int aspectNumerator = 0;  // FrameAspectRatio
        int aspectDenominator = 0;
        int width = 0;            // FrameWidthInPixels
        int height = 0;
        std::vector<Field> fields;  // nbFieldPerFrame descriptions, in the order written
    } videoProperties;
};

AviReadBack readBack(const std::string& path, bool digestVideoFrames = false);

// A recorded picture as it is in the file (decoded, never deinterlaced), counted from 0; a null
// image where the file has none.
QImage recordedFrame(const std::string& path, int index);

}  // namespace capture::testing
