// GoogleTest's hook for a platform's own definitions, used by the Windows
// builds. Their compilers' win32 thread model gives the C++ library no
// std::mutex or std::condition_variable, and GoogleTest builds one class on
// them: Notification, which only its own thread helper uses (for testing
// GoogleTest itself). This gives it that class on an atomic flag instead;
// none of Vantrel's tests waits on it.
#pragma once

#include <atomic>

#define GTEST_HAS_NOTIFICATION_ 1

namespace testing {
namespace internal {

class Notification {
public:
    void Notify() { notified_ = true; }
    void WaitForNotification()
    {
        while (!notified_) {
        }
    }

private:
    std::atomic<bool> notified_{false};
};

} // namespace internal
} // namespace testing
