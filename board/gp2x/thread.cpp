#include "board/gp2x/thread.h"

#include "board/gp2x/syscalls.h"

extern "C" {
int32_t korvax_gp2x_clone(uint32_t flags, void* stack_top, void (*entry)(void*), void* arg);
[[noreturn]] void korvax_gp2x_thread_end(volatile uint32_t* alive);
}

namespace korvax::gp2x {

namespace {

struct ThreadSlot {
    alignas(8) uint8_t stack[THREAD_STACK_BYTES];
    volatile uint32_t alive;  // claimed by swp, cleared by the thread's last store
    volatile int32_t task;    // the kernel's id of the task, 0 until known
    void (*fn)(void*);
    void* arg;
};

ThreadSlot slots[THREAD_SLOTS];
uint32_t handler_installed = 0;

constexpr int32_t QUIT_SIGNAL = K_SIGUSR1;
constexpr uint32_t QUIT_MASK[2] = {1u << (QUIT_SIGNAL - 1), 0};

// The one read-modify-write ARMv4T has: swap a word with memory, atomically.
uint32_t swap_word(volatile uint32_t* word, uint32_t value) {
    uint32_t old;
    asm volatile("swp %0, %2, [%1]" : "=&r"(old) : "r"(word), "r"(value) : "memory");
    return old;
}

// The slot whose stack holds this frame; 0 on the main thread.
ThreadSlot* own_slot() {
    volatile uint8_t here = 0;
    const uint8_t* p = const_cast<const uint8_t*>(&here);
    for (ThreadSlot& slot : slots) {
        if (p >= slot.stack && p < slot.stack + THREAD_STACK_BYTES) return &slot;
    }
    return nullptr;
}

void quit_handler(int) {
    if (ThreadSlot* slot = own_slot()) korvax_gp2x_thread_end(&slot->alive);
    // Delivered to the main thread: nothing to end.
}

void install_handler() {
    if (handler_installed) return;
    KernelSigaction action = {};
    action.handler = quit_handler;
    action.flags = 0;  // no SA_RESTART: a blocked write returns to take the signal
    sys_rt_sigaction(QUIT_SIGNAL, &action, nullptr);
    handler_installed = 1;
}

void thread_entry(void* p) {
    ThreadSlot* slot = static_cast<ThreadSlot*>(p);
    // The mask is inherited from the creator, which may block the signal.
    sys_rt_sigprocmask(K_SIG_UNBLOCK, QUIT_MASK, nullptr);
    slot->fn(slot->arg);
    korvax_gp2x_thread_end(&slot->alive);
}

void sleep_ms(int32_t ms) {
    KernelTimespec t = {0, ms * 1000000};
    sys_nanosleep(&t, nullptr);
}

}  // namespace

int32_t thread_start(void (*fn)(void*), void* arg) {
    install_handler();
    ThreadSlot* slot = nullptr;
    for (ThreadSlot& candidate : slots) {
        if (swap_word(&candidate.alive, 1) == 0) {
            slot = &candidate;
            break;
        }
    }
    if (slot == nullptr) return -K_EAGAIN;
    slot->task = 0;
    slot->fn = fn;
    slot->arg = arg;
    void* top = slot->stack + THREAD_STACK_BYTES;
    const uint32_t flags = K_CLONE_VM | K_CLONE_FS | K_CLONE_FILES | K_CLONE_SIGHAND | K_CLONE_THREAD;
    int32_t task = korvax_gp2x_clone(flags, top, thread_entry, slot);
    if (task == -K_EINVAL) task = korvax_gp2x_clone(flags | K_CLONE_SYSVSEM, top, thread_entry, slot);
    if (failed(task)) {
        slot->alive = 0;
        return task;
    }
    slot->task = task;
    return 0;
}

int32_t threads_alive() {
    int32_t n = 0;
    for (const ThreadSlot& slot : slots) n += slot.alive != 0;
    return n;
}

void threads_end_all() {
    ThreadSlot* self = own_slot();
    auto others_alive = [self] {
        for (const ThreadSlot& slot : slots) {
            if (&slot != self && slot.alive != 0) return true;
        }
        return false;
    };
    if (!others_alive()) return;
    // The caller must not take the signal meant for the others.
    uint32_t old_mask[2] = {0, 0};
    sys_rt_sigprocmask(K_SIG_BLOCK, QUIT_MASK, old_mask);
    for (int attempt = 0; attempt < 200 && others_alive(); ++attempt) {
        for (ThreadSlot& slot : slots) {
            // A task id of 0 would signal the whole process group.
            if (&slot != self && slot.alive != 0 && slot.task > 0) sys_kill(slot.task, QUIT_SIGNAL);
        }
        sleep_ms(5);
    }
    sys_rt_sigprocmask(K_SIG_SETMASK, old_mask, nullptr);
}

}  // namespace korvax::gp2x
