/* Atomic operations for ARMv4T, which has no exclusive loads and stores: the
 * compiler turns every atomic read-modify-write (and the fences) into calls
 * to these. One lock word taken with swp, the single atomic instruction of
 * the architecture, guards them all; the ARM920T has one core, so a fence
 * only has to stop the compiler from moving memory accesses across it.
 * While the lock is held elsewhere the caller yields its time slice.
 *
 * The limit of a lock: the compiler inlines atomic loads and stores of 1, 2
 * and 4 bytes as plain ldr/str between fences, and such a store does not
 * take the lock. A plain store that lands between the read and the write of
 * a locked read-modify-write of the same word (the writer being preempted
 * there) is lost. Words that are both stored and read-modified need the
 * read-modify-write for their stores too (exchange instead of store). The
 * system's own shared words each have a single writer and use neither. */
#include <stdbool.h>
#include <stdint.h>

#define BARRIER() __asm__ volatile("" ::: "memory")

static volatile uint32_t atomic_lock_word;

static void atomic_lock(void) {
    for (;;) {
        uint32_t old;
        __asm__ volatile("swp %0, %2, [%1]" : "=&r"(old) : "r"(&atomic_lock_word), "r"(1u) : "memory");
        if (old == 0) return;
        register int32_t r0 __asm__("r0");
        __asm__ volatile("swi 0x90009e" : "=r"(r0) : : "memory"); /* sched_yield */
    }
}

static void atomic_unlock(void) {
    BARRIER();
    atomic_lock_word = 0;
    BARRIER();
}

void __sync_synchronize(void) { BARRIER(); }
void __atomic_thread_fence(int order) { (void)order; BARRIER(); }
void __atomic_signal_fence(int order) { (void)order; BARRIER(); }

bool __atomic_is_lock_free(unsigned size, const volatile void* p) {
    (void)size;
    (void)p;
    return false;
}

#define KORVAX_ATOMICS(N, T)                                                                          \
    T __atomic_load_##N(const volatile void* p, int order) {                                          \
        (void)order;                                                                                  \
        atomic_lock();                                                                                \
        T v = *(const volatile T*)p;                                                                  \
        atomic_unlock();                                                                              \
        return v;                                                                                     \
    }                                                                                                 \
    void __atomic_store_##N(volatile void* p, T v, int order) {                                       \
        (void)order;                                                                                  \
        atomic_lock();                                                                                \
        *(volatile T*)p = v;                                                                          \
        atomic_unlock();                                                                              \
    }                                                                                                 \
    T __atomic_exchange_##N(volatile void* p, T v, int order) {                                       \
        (void)order;                                                                                  \
        atomic_lock();                                                                                \
        T old = *(volatile T*)p;                                                                      \
        *(volatile T*)p = v;                                                                          \
        atomic_unlock();                                                                              \
        return old;                                                                                   \
    }                                                                                                 \
    bool __atomic_compare_exchange_##N(volatile void* p, void* expected, T desired, bool weak,       \
                                       int success, int failure) {                                    \
        (void)weak;                                                                                   \
        (void)success;                                                                                \
        (void)failure;                                                                                \
        atomic_lock();                                                                                \
        T current = *(volatile T*)p;                                                                  \
        bool equal = current == *(T*)expected;                                                        \
        if (equal)                                                                                    \
            *(volatile T*)p = desired;                                                                \
        else                                                                                          \
            *(T*)expected = current;                                                                  \
        atomic_unlock();                                                                              \
        return equal;                                                                                 \
    }                                                                                                 \
    T __sync_val_compare_and_swap_##N(volatile void* p, T expected, T desired) {                     \
        atomic_lock();                                                                                \
        T current = *(volatile T*)p;                                                                  \
        if (current == expected) *(volatile T*)p = desired;                                           \
        atomic_unlock();                                                                              \
        return current;                                                                               \
    }                                                                                                 \
    bool __sync_bool_compare_and_swap_##N(volatile void* p, T expected, T desired) {                 \
        return __sync_val_compare_and_swap_##N(p, expected, desired) == expected;                     \
    }                                                                                                 \
    T __sync_lock_test_and_set_##N(volatile void* p, T v) { return __atomic_exchange_##N(p, v, 2); } \
    void __sync_lock_release_##N(volatile void* p) { __atomic_store_##N(p, 0, 3); }                  \
    KORVAX_ATOMIC_OP(N, T, add, +)                                                                    \
    KORVAX_ATOMIC_OP(N, T, sub, -)                                                                    \
    KORVAX_ATOMIC_OP(N, T, and, &)                                                                    \
    KORVAX_ATOMIC_OP(N, T, or, |)                                                                     \
    KORVAX_ATOMIC_OP(N, T, xor, ^)                                                                    \
    KORVAX_ATOMIC_NAND(N, T)

/* Unsigned arithmetic (the types the compiler declares these with): the
 * operations wrap, as the atomics define them to. */
#define KORVAX_ATOMIC_OP(N, T, NAME, OP)                                          \
    T __atomic_fetch_##NAME##_##N(volatile void* p, T v, int order) {             \
        (void)order;                                                              \
        atomic_lock();                                                            \
        T old = *(volatile T*)p;                                                  \
        *(volatile T*)p = (T)(old OP v);                                          \
        atomic_unlock();                                                          \
        return old;                                                               \
    }                                                                             \
    T __atomic_##NAME##_fetch_##N(volatile void* p, T v, int order) {             \
        return (T)(__atomic_fetch_##NAME##_##N(p, v, order) OP v);                \
    }                                                                             \
    T __sync_fetch_and_##NAME##_##N(volatile void* p, T v) {                      \
        return __atomic_fetch_##NAME##_##N(p, v, 5);                              \
    }                                                                             \
    T __sync_##NAME##_and_fetch_##N(volatile void* p, T v) {                      \
        return __atomic_##NAME##_fetch_##N(p, v, 5);                              \
    }

#define KORVAX_ATOMIC_NAND(N, T)                                                  \
    T __atomic_fetch_nand_##N(volatile void* p, T v, int order) {                 \
        (void)order;                                                              \
        atomic_lock();                                                            \
        T old = *(volatile T*)p;                                                  \
        *(volatile T*)p = (T) ~(old & v);                                         \
        atomic_unlock();                                                          \
        return old;                                                               \
    }                                                                             \
    T __atomic_nand_fetch_##N(volatile void* p, T v, int order) {                 \
        return (T) ~(__atomic_fetch_nand_##N(p, v, order) & v);                   \
    }

KORVAX_ATOMICS(1, unsigned char)
KORVAX_ATOMICS(2, unsigned short)
KORVAX_ATOMICS(4, unsigned int)
KORVAX_ATOMICS(8, unsigned long long)
