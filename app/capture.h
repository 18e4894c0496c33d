// What the program writes: screenshots, sound recordings and captures of every
// frame the display scans out (a folder of PNG files, or an MP4 file encoded
// by the ffmpeg program with the sound muxed in).
//
// Every output is written under a temporary name in its own folder and renamed
// onto its path once complete, so that a path holds either a complete output
// or nothing new; what cannot be completed is removed.
#pragma once

#include <atomic>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <mutex>
#include <string>

namespace korvax::host {

class Clock;
class SoundSink;

// A file or a folder written under a temporary name beside its path. Devices
// (/dev/null, /dev/stdout, ...) are written in place: they cannot be renamed onto.
class StagedOutput {
public:
    enum class Kind { File, Folder };
    StagedOutput() = default;
    StagedOutput(const StagedOutput&) = delete;
    StagedOutput& operator=(const StagedOutput&) = delete;
    // Removes the temporary unless committed.
    ~StagedOutput();

    // Checks the path and creates the temporary (which proves the folder
    // writable). On failure: a one-line message naming the path, and the exit
    // status it calls for (2: the path names something that cannot be this
    // output; 1: it cannot be written).
    bool prepare(const std::string& path, Kind kind, std::string& error, int& status);
    const std::string& path() const { return path_; }
    // Where the output is written meanwhile.
    const std::string& work() const { return work_; }
    // Written where it is (a device), not renamed into place.
    bool in_place() const { return in_place_; }
    // A temporary name in the same folder for an intermediate file (removed by
    // the caller).
    std::string sibling(const std::string& suffix) const;
    // Renames the work onto the path.
    bool commit(std::string& error);
    // Removes the work (a folder with its files).
    void discard();

private:
    std::string path_, work_, stem_;
    Kind kind_ = Kind::File;
    bool in_place_ = false;
    bool open_ = false;
};

// "korvax: cannot write PATH: REASON".
std::string cannot_write(const std::string& path, const std::string& reason);

class FrameCapture {
public:
    virtual ~FrameCapture() = default;
    // One scanned-out frame, 320 x 240 RGB565. After the first write error
    // the frames are dropped and failed() is true.
    virtual void frame(const uint16_t* pixels) = 0;
    // Ends the capture and puts it in place; false with a one-line reason.
    // What cannot be used is removed.
    virtual bool finish(std::string& error) = 0;
    // Removes everything written (the run failed elsewhere).
    virtual void abandon() = 0;
    // The sink that records the sound for the capture (nullptr: none).
    virtual std::shared_ptr<SoundSink> sound_sink() { return nullptr; }
    uint64_t frames() const { return frames_.load(); }
    bool failed() const { return failed_.load(); }
    // The first write error, one line.
    std::string error();

protected:
    void fail(const std::string& message);
    std::atomic<uint64_t> frames_{0};
    std::atomic<bool> failed_{false};
    std::mutex error_mutex_;
    std::string error_;
};

// Whether a capture target names an MP4 file (else a folder of PNG files);
// the suffix in any case.
bool is_mp4_target(const std::string& target);

// The ffmpeg program on PATH; empty when there is none.
std::string find_ffmpeg();

struct CaptureSettings {
    // MP4 only: every pixel becomes scale x scale pixels (nearest neighbour).
    int scale = 1;
    // MP4 only: the console clock the sound track is placed on.
    Clock* clock = nullptr;
};

// target ending in ".mp4": an MP4 file; anything else: a folder of PNG frames.
// nullptr with a one-line message and an exit status on failure.
std::unique_ptr<FrameCapture> open_capture(const std::string& target, const CaptureSettings& settings,
                                           std::string& error, int& status);

}  // namespace korvax::host
