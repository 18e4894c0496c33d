// Threads of the GP2X program: tasks made by a raw clone sharing memory, files
// and signal handlers, each on a stack of its own from a static pool. Linux
// 2.4 has no exit_group, no futex and no thread register; a task's exit ends
// that task only. So the process ends its threads itself: each one installs
// a handler that ends it, and ending the process signals every live thread
// until all are gone (a thread blocked in a write to the sound device is
// woken by the signal and ends in the handler).
#pragma once

#include <stdint.h>

namespace korvax::gp2x {

constexpr int THREAD_SLOTS = 2;
constexpr uint32_t THREAD_STACK_BYTES = 64 * 1024;

// Starts fn(arg) on a new thread: 0, or -errno (-EAGAIN with every slot in
// use). When fn returns the thread ends and its slot is free again.
int32_t thread_start(void (*fn)(void*), void* arg);

// Threads started and not yet ended.
int32_t threads_alive();

// Ends every other live thread: signals each until it is gone, for at most
// about a second. Called by _exit and before execve; the caller's signal
// mask is the same afterwards.
void threads_end_all();

}  // namespace korvax::gp2x
