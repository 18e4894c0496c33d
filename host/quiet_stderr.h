// Keeps what libraries print on the standard error while a back end opens
// (the sound server, the window system) off the terminal. Only for the
// opening, while no other thread writes there.
#pragma once

#include <unistd.h>

#include <cstdio>

namespace korvax::host {

class QuietStderr {
public:
    QuietStderr() {
        std::fflush(stderr);
        sink_ = std::tmpfile();
        saved_ = dup(STDERR_FILENO);
        if (sink_ && saved_ >= 0) dup2(fileno(sink_), STDERR_FILENO);
    }
    ~QuietStderr() {
        std::fflush(stderr);
        if (saved_ >= 0) {
            dup2(saved_, STDERR_FILENO);
            close(saved_);
        }
        if (sink_) std::fclose(sink_);
    }
    QuietStderr(const QuietStderr&) = delete;
    QuietStderr& operator=(const QuietStderr&) = delete;

private:
    std::FILE* sink_ = nullptr;
    int saved_ = -1;
};

}  // namespace korvax::host
