#include "app/capture.h"

#include <sys/stat.h>

#include <cerrno>
#include <cstring>
#include <vector>

#include "host/console.h"
#include "app/png.h"

namespace korvax::host {

namespace {

bool ends_with(const std::string& s, const std::string& suffix) {
    return s.size() >= suffix.size() && s.compare(s.size() - suffix.size(), suffix.size(), suffix) == 0;
}

// Single quotes for the shell.
std::string quoted(const std::string& s) {
    std::string out = "'";
    for (char c : s) {
        if (c == '\'') {
            out += "'\\''";
        } else {
            out += c;
        }
    }
    return out + "'";
}

class PngFolder : public FrameCapture {
public:
    explicit PngFolder(std::string dir) : dir_(std::move(dir)) {}
    void frame(const uint16_t* pixels) override {
        char name[32];
        std::snprintf(name, sizeof name, "/frame_%06llu.png", static_cast<unsigned long long>(frames_));
        if (!write_png_rgb565(dir_ + name, pixels, WIDTH, HEIGHT)) failed_ = true;
        ++frames_;
    }
    bool finish(std::string& error) override {
        if (failed_) error = "korvax: cannot write frames into " + dir_;
        return !failed_;
    }

private:
    std::string dir_;
    bool failed_ = false;
};

// Frames are piped raw into one ffmpeg process (scaled 3x with nearest
// neighbour, H.264); the sound is muxed in by a second one at the end, once
// the recording is complete.
class Mp4File : public FrameCapture {
public:
    Mp4File(std::string path, std::string audio) : path_(std::move(path)), audio_(std::move(audio)) {
        video_ = audio_.empty() ? path_ : path_ + ".video.mp4";
        std::string cmd = "ffmpeg -y -loglevel error -f rawvideo -pixel_format rgb565le -video_size 320x240 "
                          "-framerate 60 -i - -vf scale=960:720:flags=neighbor -c:v libx264 -preset fast "
                          "-crf 18 -pix_fmt yuv420p " +
                          quoted(video_);
        pipe_ = popen(cmd.c_str(), "w");
    }
    ~Mp4File() override {
        if (pipe_) pclose(pipe_);
    }
    bool open() const { return pipe_ != nullptr; }
    void frame(const uint16_t* pixels) override {
        if (pipe_ && std::fwrite(pixels, 2, WIDTH * HEIGHT, pipe_) != static_cast<size_t>(WIDTH * HEIGHT)) {
            failed_ = true;
        }
        ++frames_;
    }
    bool finish(std::string& error) override {
        int status = pipe_ ? pclose(pipe_) : -1;
        pipe_ = nullptr;
        if (failed_ || status != 0) {
            error = "korvax: ffmpeg could not encode " + path_;
            return false;
        }
        if (audio_.empty()) return true;
        std::string cmd = "ffmpeg -y -loglevel error -i " + quoted(video_) + " -i " + quoted(audio_) +
                          " -c:v copy -c:a aac -b:a 192k " + quoted(path_);
        status = std::system(cmd.c_str());
        std::remove(video_.c_str());
        if (status != 0) {
            error = "korvax: ffmpeg could not add the sound to " + path_;
            return false;
        }
        return true;
    }

private:
    std::string path_, audio_, video_;
    FILE* pipe_ = nullptr;
    bool failed_ = false;
};

}  // namespace

bool is_mp4_target(const std::string& target) { return ends_with(target, ".mp4"); }

std::unique_ptr<FrameCapture> open_capture(const std::string& target, const std::string& audio_wav,
                                           std::string& error) {
    if (is_mp4_target(target)) {
        auto mp4 = std::make_unique<Mp4File>(target, audio_wav);
        if (!mp4->open()) {
            error = "korvax: cannot start ffmpeg for " + target;
            return nullptr;
        }
        return mp4;
    }
    if (mkdir(target.c_str(), 0777) != 0 && errno != EEXIST) {
        error = "korvax: cannot create the folder " + target + ": " + std::strerror(errno);
        return nullptr;
    }
    return std::make_unique<PngFolder>(target);
}

}  // namespace korvax::host
