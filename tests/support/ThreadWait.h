#pragma once

// Knowing that another thread is parked in a wait (a lock, a condition variable, a future)
// before going on: the kernel shows the system call a sleeping thread is in, and every one of
// those waits sleeps in futex. Linux only, as the program.
//
//   std::atomic<pid_t> worker{0};
//   std::thread t([&] { worker = vm::test::KernelThreadId(); ...the call that must wait... });
//   ASSERT_TRUE(vm::test::WaitUntilBlocked(worker));

#include <linux/futex.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <fstream>
#include <string>
#include <thread>

namespace vm::test {

// The calling thread's id as the kernel knows it.
inline pid_t KernelThreadId() {
    return static_cast<pid_t>(::syscall(SYS_gettid));
}

// true once the thread whose id tid holds (0 until the thread has set it) sleeps in a futex
// wait; false when the thread has ended or the timeout passed first.
inline bool WaitUntilBlocked(const std::atomic<pid_t>& tid,
                             std::chrono::milliseconds timeout = std::chrono::seconds(20)) {
    const auto end = std::chrono::steady_clock::now() + timeout;
    for (; std::chrono::steady_clock::now() < end;
         std::this_thread::sleep_for(std::chrono::milliseconds(1))) {
        if (tid.load() == 0) continue;
        std::ifstream in("/proc/self/task/" + std::to_string(tid.load()) + "/syscall");
        if (!in) return false;
        long number = -1;
        unsigned long address = 0, operation = 0;
        if (!(in >> number) || number != SYS_futex) continue;
        // A wake is a futex call too; only a wait is parked.
        if (in >> std::hex >> address >> operation &&
            ((operation & FUTEX_CMD_MASK) == FUTEX_WAIT ||
             (operation & FUTEX_CMD_MASK) == FUTEX_WAIT_BITSET))
            return true;
    }
    return false;
}

}  // namespace vm::test
