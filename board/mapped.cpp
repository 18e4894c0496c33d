#include "board/mapped.h"

namespace korvax {

int memory_fd = -1;
void* register_window = nullptr;
void* video_window = nullptr;

}  // namespace korvax
