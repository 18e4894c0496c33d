// Headless capture of every frame the display scans out: a folder of PNG
// files, or an MP4 file encoded by the ffmpeg program (with the sound muxed in
// when a WAV recording of the sound device is given).
#pragma once

#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>

namespace korvax::host {

class FrameCapture {
public:
    virtual ~FrameCapture() = default;
    // One scanned-out frame, 320 x 240 RGB565.
    virtual void frame(const uint16_t* pixels) = 0;
    // Ends the capture; false with a reason on failure.
    virtual bool finish(std::string& error) = 0;
    uint64_t frames() const { return frames_; }

protected:
    uint64_t frames_ = 0;
};

// Whether a capture target names an MP4 file (else a folder of PNG files).
bool is_mp4_target(const std::string& target);

// target ending in ".mp4": an MP4 file; anything else: a folder of PNG frames.
// audio_wav: the WAV file the sound device records into (MP4 only; may be empty).
std::unique_ptr<FrameCapture> open_capture(const std::string& target, const std::string& audio_wav,
                                           std::string& error);

}  // namespace korvax::host
