// Records what is written to the sound device as a WAV file: 44,100 Hz,
// 16-bit little-endian stereo PCM, the header's sizes written at the end.
#pragma once

#include <atomic>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <mutex>
#include <string>

#include "host/sound.h"

namespace korvax::host {

class WavWriter : public SoundSink {
public:
    static constexpr uint32_t HEADER_BYTES = 44;

    // nullptr with a reason when the file cannot be created.
    static std::shared_ptr<WavWriter> create(const std::string& path, std::string& why_not);
    ~WavWriter() override;

    void take(const uint8_t* data, uint32_t length) override;
    // Appends that many bytes of silence.
    void take_silence(uint64_t length);
    // Writes the final sizes into the header and closes the file; false if
    // any write failed. Later calls do nothing and return the same answer.
    bool finish();
    // The same, with the sound cut or padded with silence to exactly that
    // many bytes first.
    bool finish_with_length(uint64_t data_bytes);
    uint64_t data_bytes();
    // A write has failed: what is recorded from then on is lost.
    bool failed() const { return failed_.load(); }
    // The errno of the first failed write (0 while none failed).
    int error_number() const { return error_number_.load(); }

private:
    explicit WavWriter(std::FILE* file) : file_(file) {}
    bool write_header(uint32_t data_bytes, uint32_t pad);
    void fail();
    bool finish_locked();

    std::mutex mutex_;
    std::FILE* file_;
    uint64_t data_bytes_ = 0;
    bool ok_ = true;
    bool finished_ = false;
    std::atomic<bool> failed_{false};
    std::atomic<int> error_number_{0};
};

}  // namespace korvax::host
