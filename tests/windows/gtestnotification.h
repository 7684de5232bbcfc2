#pragma once
// GoogleTest's Notification on a Win32 event, read before gtest-port.h: the
// compiler's win32 thread model has no std::mutex or std::condition_variable,
// which GoogleTest's own Notification is built on. GoogleTest uses it only to
// start its threads.
#include <windows.h>

namespace testing::internal {

class Notification {
public:
    Notification() : event_(CreateEventA(nullptr, TRUE, FALSE, nullptr)) {}
    ~Notification() { CloseHandle(event_); }
    Notification(const Notification&) = delete;
    Notification& operator=(const Notification&) = delete;

    void Notify() { SetEvent(event_); }
    void WaitForNotification() { WaitForSingleObject(event_, INFINITE); }

private:
    HANDLE event_;
};

}  // namespace testing::internal

#define GTEST_HAS_NOTIFICATION_ 1
