#include "host/wav.h"

#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace korvax::host {

namespace {

void put32(uint8_t* p, uint32_t v) {
    for (int i = 0; i < 4; ++i) p[i] = static_cast<uint8_t>(v >> (8 * i));
}
void put16(uint8_t* p, uint16_t v) {
    p[0] = static_cast<uint8_t>(v);
    p[1] = static_cast<uint8_t>(v >> 8);
}

// A RIFF chunk holds at most 2^32 - 1 bytes; the data chunk stops short of
// that so that the whole file's size still fits.
constexpr uint64_t MAX_DATA_BYTES = 0xFFFFFFFFull - 36 - 1;

}  // namespace

std::shared_ptr<WavWriter> WavWriter::create(const std::string& path, std::string& why_not) {
    std::FILE* file = std::fopen(path.c_str(), "wb");
    if (!file) {
        why_not = std::strerror(errno);
        return nullptr;
    }
    std::shared_ptr<WavWriter> writer(new WavWriter(file));
    // Sizes of 0 until finish(): a reader of an unfinished file sees no sound.
    if (!writer->write_header(0, 0)) {
        why_not = std::strerror(errno);
        return nullptr;
    }
    return writer;
}

WavWriter::~WavWriter() { finish(); }

bool WavWriter::write_header(uint32_t data_bytes, uint32_t pad) {
    uint8_t h[HEADER_BYTES];
    std::memcpy(h, "RIFF", 4);
    put32(h + 4, 36 + data_bytes + pad);
    std::memcpy(h + 8, "WAVE", 4);
    std::memcpy(h + 12, "fmt ", 4);
    put32(h + 16, 16);                      // format chunk size
    put16(h + 20, 1);                       // integer PCM
    put16(h + 22, 2);                       // channels
    put32(h + 24, SOUND_RATE);              // frames per second
    put32(h + 28, SOUND_BYTES_PER_SECOND);  // bytes per second
    put16(h + 32, SOUND_BYTES_PER_FRAME);   // bytes per frame
    put16(h + 34, 16);                      // bits per sample
    std::memcpy(h + 36, "data", 4);
    put32(h + 40, data_bytes);
    return std::fseek(file_, 0, SEEK_SET) == 0 && std::fwrite(h, 1, sizeof h, file_) == sizeof h;
}

void WavWriter::fail() {
    if (!ok_) return;
    ok_ = false;
    error_number_ = errno != 0 ? errno : EIO;
    failed_ = true;
}

void WavWriter::take(const uint8_t* data, uint32_t length) {
    std::lock_guard<std::mutex> lock(mutex_);
    if (finished_ || !ok_) return;
    uint64_t room = MAX_DATA_BYTES - data_bytes_;
    uint32_t n = length < room ? length : static_cast<uint32_t>(room);
    errno = 0;
    if (n > 0 && std::fwrite(data, 1, n, file_) != n) fail();
    data_bytes_ += n;
}

void WavWriter::take_silence(uint64_t length) {
    static const uint8_t zeros[4096] = {};
    while (length > 0) {
        uint32_t n = length < sizeof zeros ? static_cast<uint32_t>(length) : static_cast<uint32_t>(sizeof zeros);
        take(zeros, n);
        length -= n;
    }
}

bool WavWriter::finish_with_length(uint64_t bytes) {
    if (bytes > MAX_DATA_BYTES) bytes = MAX_DATA_BYTES;
    uint64_t have = data_bytes();
    if (have < bytes) take_silence(bytes - have);
    std::lock_guard<std::mutex> lock(mutex_);
    if (finished_) return ok_;
    if (ok_ && data_bytes_ > bytes) {
        errno = 0;
        if (std::fflush(file_) != 0 || ftruncate(fileno(file_), static_cast<off_t>(HEADER_BYTES + bytes)) != 0) {
            fail();
        }
        data_bytes_ = bytes;
    }
    return finish_locked();
}

bool WavWriter::finish() {
    std::lock_guard<std::mutex> lock(mutex_);
    return finish_locked();
}

bool WavWriter::finish_locked() {
    if (finished_) return ok_;
    finished_ = true;
    const uint32_t bytes = static_cast<uint32_t>(data_bytes_);
    // A chunk of odd length is followed by one pad byte.
    const uint32_t pad = bytes & 1;
    errno = 0;
    if (ok_ && pad && std::fputc(0, file_) == EOF) fail();
    if (ok_ && !write_header(bytes, pad)) fail();
    if (std::fclose(file_) != 0) fail();
    file_ = nullptr;
    return ok_;
}

uint64_t WavWriter::data_bytes() {
    std::lock_guard<std::mutex> lock(mutex_);
    return data_bytes_;
}

}  // namespace korvax::host
