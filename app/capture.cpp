#include "app/capture.h"

#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <vector>

#include "host/console.h"
#include "app/png.h"
#include "host/wav.h"

namespace korvax::host {

namespace {

bool ends_with_nocase(const std::string& s, const std::string& suffix) {
    if (s.size() < suffix.size()) return false;
    for (size_t i = 0; i < suffix.size(); ++i) {
        char a = s[s.size() - suffix.size() + i];
        if (a >= 'A' && a <= 'Z') a = static_cast<char>(a - 'A' + 'a');
        if (a != suffix[i]) return false;
    }
    return true;
}

std::string folder_of(const std::string& path) {
    size_t slash = path.find_last_of('/');
    if (slash == std::string::npos) return ".";
    if (slash == 0) return "/";
    return path.substr(0, slash);
}

std::string name_of(const std::string& path) {
    size_t slash = path.find_last_of('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

bool folder_is_empty(const std::string& path) {
    DIR* d = opendir(path.c_str());
    if (!d) return false;
    bool empty = true;
    while (dirent* e = readdir(d)) {
        if (std::strcmp(e->d_name, ".") != 0 && std::strcmp(e->d_name, "..") != 0) {
            empty = false;
            break;
        }
    }
    closedir(d);
    return empty;
}

void remove_tree(const std::string& path) {
    std::error_code ignored;
    std::filesystem::remove_all(path, ignored);
}

}  // namespace

std::string cannot_write(const std::string& path, const std::string& reason) {
    return "korvax: cannot write " + path + ": " + reason;
}

// ---- staged outputs -----------------------------------------------------------------

StagedOutput::~StagedOutput() { discard(); }

bool StagedOutput::prepare(const std::string& path, Kind kind, std::string& error, int& status) {
    discard();
    path_ = path;
    kind_ = kind;
    in_place_ = false;
    status = 2;
    struct stat st {};
    bool exists = stat(path.c_str(), &st) == 0;
    if (kind == Kind::Folder) {
        if (exists && !S_ISDIR(st.st_mode)) {
            error = "korvax: cannot capture into " + path + ": it is a file, not a folder";
            return false;
        }
        if (exists && !folder_is_empty(path)) {
            error = "korvax: cannot capture into " + path +
                    ": the folder already holds files (capture into a new or empty folder)";
            return false;
        }
    } else if (exists && S_ISDIR(st.st_mode)) {
        error = cannot_write(path, "it is a folder");
        return false;
    } else if (exists && !S_ISREG(st.st_mode)) {
        // A device or a pipe: written where it is.
        int fd = open(path.c_str(), O_WRONLY | O_NONBLOCK);
        if (fd < 0) {
            error = cannot_write(path, std::strerror(errno));
            status = 1;
            return false;
        }
        close(fd);
        work_ = path;
        in_place_ = true;
        open_ = true;
        return true;
    }
    std::string folder = folder_of(path);
    std::string name = name_of(path);
    if (name.empty()) {
        error = cannot_write(path, "no file name");
        return false;
    }
    stem_ = folder + "/." + name + ".korvax-" + std::to_string(getpid());
    work_ = stem_ + ".part";
    status = 1;
    if (kind == Kind::Folder) {
        if (mkdir(work_.c_str(), 0777) != 0) {
            error = "korvax: cannot capture into " + path + ": " + std::strerror(errno);
            return false;
        }
    } else {
        int fd = open(work_.c_str(), O_WRONLY | O_CREAT | O_EXCL, 0666);
        if (fd < 0) {
            error = cannot_write(path, std::strerror(errno));
            return false;
        }
        close(fd);
    }
    open_ = true;
    return true;
}

std::string StagedOutput::sibling(const std::string& suffix) const { return stem_ + suffix; }

bool StagedOutput::commit(std::string& error) {
    if (!open_) return false;
    if (in_place_) {
        open_ = false;
        return true;
    }
    // rename(2) replaces a file, or a folder that is empty.
    if (std::rename(work_.c_str(), path_.c_str()) != 0) {
        error = cannot_write(path_, std::strerror(errno));
        discard();
        return false;
    }
    open_ = false;
    return true;
}

void StagedOutput::discard() {
    if (!open_) return;
    open_ = false;
    if (in_place_) return;
    if (kind_ == Kind::Folder) {
        remove_tree(work_);
    } else {
        std::remove(work_.c_str());
    }
}

// ---- captures ----------------------------------------------------------------------------

std::string FrameCapture::error() {
    std::lock_guard<std::mutex> lock(error_mutex_);
    return error_;
}

void FrameCapture::fail(const std::string& message) {
    std::lock_guard<std::mutex> lock(error_mutex_);
    if (failed_.load()) return;
    error_ = message;
    failed_ = true;
}

bool is_mp4_target(const std::string& target) { return ends_with_nocase(target, ".mp4"); }

std::string find_ffmpeg() {
    const char* path = std::getenv("PATH");
    std::string dirs = path ? path : "/usr/local/bin:/usr/bin:/bin";
    size_t start = 0;
    for (;;) {
        size_t end = dirs.find(':', start);
        std::string dir = dirs.substr(start, end == std::string::npos ? std::string::npos : end - start);
        std::string candidate;
        candidate.append(dir.empty() ? "." : dir.c_str());
        candidate.append("/ffmpeg");
        struct stat st {};
        if (stat(candidate.c_str(), &st) == 0 && S_ISREG(st.st_mode) && access(candidate.c_str(), X_OK) == 0) {
            return candidate;
        }
        if (end == std::string::npos) return "";
        start = end + 1;
    }
}

namespace {

class PngFolder : public FrameCapture {
public:
    bool open(const std::string& path, std::string& error, int& status) {
        return folder_.prepare(path, StagedOutput::Kind::Folder, error, status);
    }
    void frame(const uint16_t* pixels) override {
        if (failed()) return;
        char name[32];
        std::snprintf(name, sizeof name, "/frame_%06llu.png", static_cast<unsigned long long>(frames()));
        std::string why;
        if (!write_png_rgb565(folder_.work() + name, pixels, WIDTH, HEIGHT, &why)) {
            fail(cannot_write(folder_.path() + name, why));
            return;
        }
        ++frames_;
    }
    bool finish(std::string& error) override {
        if (failed()) {
            error = this->error();
            folder_.discard();
            return false;
        }
        return folder_.commit(error);
    }
    void abandon() override { folder_.discard(); }

private:
    StagedOutput folder_;
};

// A program run with its standard input from a pipe (or nothing) and its
// output kept in a file for the message should it fail. It runs in a process
// group of its own: the terminal's Ctrl-C reaches korvax, which then ends the
// capture properly, and not the encoder.
class Child {
public:
    ~Child() { wait(); }
    bool start(const std::vector<std::string>& args, bool feed, std::string& error) {
        log_ = std::tmpfile();
        std::vector<char*> argv;
        for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
        argv.push_back(nullptr);
        int fds[2] = {-1, -1};
        if (feed && pipe2(fds, O_CLOEXEC) != 0) {
            error = std::strerror(errno);
            return false;
        }
        int null_fd = open("/dev/null", O_RDONLY | O_CLOEXEC);
        pid_ = fork();
        if (pid_ < 0) {
            error = std::strerror(errno);
            if (feed) {
                close(fds[0]);
                close(fds[1]);
            }
            if (null_fd >= 0) close(null_fd);
            return false;
        }
        if (pid_ == 0) {
            // Only async-signal-safe calls from here to exec.
            setpgid(0, 0);
            signal(SIGPIPE, SIG_DFL);
            signal(SIGINT, SIG_DFL);
            signal(SIGTERM, SIG_DFL);
            signal(SIGHUP, SIG_DFL);
            dup2(feed ? fds[0] : null_fd, 0);
            if (log_) {
                dup2(fileno(log_), 1);
                dup2(fileno(log_), 2);
            }
            execv(argv[0], argv.data());
            _exit(127);
        }
        if (null_fd >= 0) close(null_fd);
        if (feed) {
            close(fds[0]);
            input_ = fds[1];
            // Room for a few frames: korvax and the encoder run side by side.
            fcntl(input_, F_SETPIPE_SZ, 1 << 20);
        }
        return true;
    }
    // Writes everything; false (with errno) when the program stopped reading.
    bool write_all(const void* data, size_t n) {
        const char* p = static_cast<const char*>(data);
        while (n > 0) {
            ssize_t w = ::write(input_, p, n);
            if (w < 0) {
                if (errno == EINTR) continue;
                return false;
            }
            p += w;
            n -= static_cast<size_t>(w);
        }
        return true;
    }
    void close_input() {
        if (input_ >= 0) close(input_);
        input_ = -1;
    }
    // Waits for the program; true when it exited with status 0.
    bool wait() {
        close_input();
        if (pid_ > 0) {
            int status = 0;
            while (waitpid(pid_, &status, 0) < 0 && errno == EINTR) {
            }
            ok_ = WIFEXITED(status) && WEXITSTATUS(status) == 0;
            pid_ = -1;
        }
        return ok_;
    }
    // The program's last line of output, for a message.
    std::string last_line() {
        if (!log_) return "";
        std::fflush(log_);
        std::rewind(log_);
        std::string line, last;
        char buffer[512];
        while (std::fgets(buffer, sizeof buffer, log_)) {
            line = buffer;
            while (!line.empty() && (line.back() == '\n' || line.back() == '\r')) line.pop_back();
            if (!line.empty()) last = line;
        }
        std::fclose(log_);
        log_ = nullptr;
        return last;
    }

private:
    pid_t pid_ = -1;
    int input_ = -1;
    FILE* log_ = nullptr;
    bool ok_ = false;
};

// The sound as a listener of the console hears it, on the capture's time line:
// a write starts to play when the device has played everything written before
// it, or at once if it had run dry; the track's time 0 is the scan-out of the
// first captured frame, as the video's. Gaps are silence.
class TimedTrack : public SoundSink {
public:
    TimedTrack(Clock& clock, uint64_t zero_ns, std::shared_ptr<WavWriter> wav)
        : clock_(clock), zero_ns_(zero_ns), wav_(std::move(wav)) {}
    void take(const uint8_t* data, uint32_t length) override {
        uint64_t now = clock_.now_ns();
        std::lock_guard<std::mutex> lock(mutex_);
        uint64_t since = now > zero_ns_ ? now - zero_ns_ : 0;
        uint64_t due = since * SOUND_RATE / 1000000000ull * SOUND_BYTES_PER_FRAME;
        if (written_ < due) {
            wav_->take_silence(due - written_);
            written_ = due;
        }
        wav_->take(data, length);
        written_ += length;
    }

private:
    Clock& clock_;
    const uint64_t zero_ns_;
    std::shared_ptr<WavWriter> wav_;
    std::mutex mutex_;
    uint64_t written_ = 0;
};

// Frames are piped raw into one ffmpeg process (H.264); the sound, recorded
// on the capture's time line beside it, is muxed in by a second one at the end.
// At 320x240 x264's "superfast" preset encodes the whole demo in about 20 s of
// one core (veryfast: 29 s, for a fifth less file), so the encoder keeps pace
// with the console on the second core of a two-core machine.
class Mp4File : public FrameCapture {
public:
    bool open(const std::string& path, const CaptureSettings& settings, std::string& error, int& status) {
        ffmpeg_ = find_ffmpeg();
        if (ffmpeg_.empty()) {
            error = "korvax: capturing " + path +
                    " needs the ffmpeg program, which is not on PATH (install ffmpeg, or capture into a folder "
                    "of PNG files)";
            status = 2;
            return false;
        }
        if (!file_.prepare(path, StagedOutput::Kind::File, error, status)) return false;
        if (file_.in_place()) {
            // The MP4 format goes back to its start at the end: a file, not a device.
            error = cannot_write(path, "an MP4 needs a regular file, not a device");
            status = 2;
            file_.discard();
            return false;
        }
        // A write to an encoder that has gone must be an error, not the end.
        signal(SIGPIPE, SIG_IGN);
        video_ = file_.sibling(".video.mp4");
        sound_path_ = file_.sibling(".sound.wav");
        status = 1;
        std::string why;
        sound_ = WavWriter::create(sound_path_, why);
        if (!sound_) {
            error = cannot_write(path, why);
            file_.discard();
            return false;
        }
        if (settings.clock) {
            sink_ = std::make_shared<TimedTrack>(*settings.clock, settings.clock->next_scan_out(0), sound_);
        } else {
            sink_ = sound_;
        }
        std::vector<std::string> args = {ffmpeg_, "-nostdin", "-hide_banner", "-loglevel", "error",
                                         "-f", "rawvideo", "-pixel_format", "rgb565le", "-video_size", "320x240",
                                         "-framerate", "60", "-i", "pipe:0"};
        if (settings.scale > 1) {
            args.push_back("-vf");
            args.push_back("scale=" + std::to_string(WIDTH * settings.scale) + ":" +
                           std::to_string(HEIGHT * settings.scale) + ":flags=neighbor");
        }
        for (const char* a : {"-c:v", "libx264", "-preset", "superfast", "-crf", "16", "-pix_fmt", "yuv420p", "-f",
                              "mp4", "-y"}) {
            args.push_back(a);
        }
        args.push_back(video_);
        if (!encoder_.start(args, true, why)) {
            error = "korvax: cannot start ffmpeg for " + path + ": " + why;
            abandon();
            return false;
        }
        return true;
    }
    ~Mp4File() override { abandon(); }

    void frame(const uint16_t* pixels) override {
        if (failed()) return;
        if (!encoder_.write_all(pixels, WIDTH * HEIGHT * 2)) {
            // The encoder stopped: its own message says why.
            encoder_.wait();
            std::string why = encoder_.last_line();
            fail(cannot_write(file_.path(), why.empty() ? "ffmpeg stopped" : "ffmpeg: " + why));
            return;
        }
        if (sound_->failed()) {
            fail(cannot_write(file_.path(), std::string("its sound: ") + std::strerror(sound_->error_number())));
            return;
        }
        ++frames_;
    }

    std::shared_ptr<SoundSink> sound_sink() override { return sink_; }

    bool finish(std::string& error) override {
        bool encoded = encoder_.wait();
        if (!failed() && !encoded) {
            std::string why = encoder_.last_line();
            fail(cannot_write(file_.path(), why.empty() ? "ffmpeg failed" : "ffmpeg: " + why));
        }
        // The sound track lasts exactly as long as the video: 735 sound frames
        // a video frame at 60 frames a second.
        uint64_t sound_bytes = frames() * (SOUND_RATE / 60) * SOUND_BYTES_PER_FRAME;
        if (!sound_->finish_with_length(sound_bytes) && !failed()) {
            fail(cannot_write(file_.path(), std::string("its sound: ") + std::strerror(sound_->error_number())));
        }
        if (failed()) {
            error = this->error();
            abandon();
            return false;
        }
        Child mux;
        std::string why;
        bool muxed = mux.start({ffmpeg_, "-nostdin", "-hide_banner", "-loglevel", "error", "-i", video_, "-i",
                                sound_path_, "-map", "0:v", "-map", "1:a", "-c:v", "copy", "-c:a", "aac", "-b:a",
                                "192k", "-f", "mp4", "-y", file_.work()},
                               false, why) &&
                     mux.wait();
        if (!muxed) {
            if (why.empty()) why = mux.last_line();
            // The video and the sound are complete: keep both where the user can find them.
            std::string stem = file_.path().substr(0, file_.path().size() - 4);
            std::string video = stem + ".video.mp4", sound = stem + ".sound.wav";
            bool kept = std::rename(video_.c_str(), video.c_str()) == 0 &&
                        std::rename(sound_path_.c_str(), sound.c_str()) == 0;
            error = "korvax: cannot add the sound to " + file_.path() + (why.empty() ? "" : " (ffmpeg: " + why + ")");
            if (kept) error += "; the video without sound is " + video + " and the sound is " + sound;
            abandon();
            return false;
        }
        std::remove(video_.c_str());
        std::remove(sound_path_.c_str());
        return file_.commit(error);
    }

    void abandon() override {
        encoder_.wait();
        if (sound_) sound_->finish();
        std::remove(video_.c_str());
        std::remove(sound_path_.c_str());
        file_.discard();
    }

private:
    StagedOutput file_;
    std::string ffmpeg_, video_, sound_path_;
    std::shared_ptr<WavWriter> sound_;
    std::shared_ptr<SoundSink> sink_;
    Child encoder_;
};

}  // namespace

std::unique_ptr<FrameCapture> open_capture(const std::string& target, const CaptureSettings& settings,
                                           std::string& error, int& status) {
    if (is_mp4_target(target)) {
        auto mp4 = std::make_unique<Mp4File>();
        if (!mp4->open(target, settings, error, status)) return nullptr;
        return mp4;
    }
    auto png = std::make_unique<PngFolder>();
    if (!png->open(target, error, status)) return nullptr;
    return png;
}

}  // namespace korvax::host
