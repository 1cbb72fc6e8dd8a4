#pragma once

#include <windows.h>

#include <utility>

// Move-only owner of a kernel handle. The empty value is part of the type: files and devices are empty at
// INVALID_HANDLE_VALUE, events and threads at null, so a failed CreateFile or CreateEvent is never mistaken for
// a valid handle.
template <HANDLE (*Empty)()> class UniqueHandle {
public:
    UniqueHandle() = default;
    explicit UniqueHandle(HANDLE handle) : handle_(handle) {}
    ~UniqueHandle() { reset(); }
    UniqueHandle(UniqueHandle&& other) noexcept : handle_(other.release()) {}
    UniqueHandle& operator=(UniqueHandle&& other) noexcept {
        if (this != &other)
            reset(other.release());
        return *this;
    }
    UniqueHandle(const UniqueHandle&) = delete;
    UniqueHandle& operator=(const UniqueHandle&) = delete;

    HANDLE get() const { return handle_; }
    explicit operator bool() const { return handle_ != Empty(); }
    HANDLE release() { return std::exchange(handle_, Empty()); }
    void reset(HANDLE handle = Empty()) {
        HANDLE old = std::exchange(handle_, handle);
        if (old != Empty() && old != nullptr && old != INVALID_HANDLE_VALUE)
            CloseHandle(old);
    }

private:
    HANDLE handle_ = Empty();
};

inline HANDLE invalidHandleValue() {
    return INVALID_HANDLE_VALUE;
}
inline HANDLE nullHandleValue() {
    return nullptr;
}

using FileHandle = UniqueHandle<invalidHandleValue>; // CreateFile results
using KernelHandle = UniqueHandle<nullHandleValue>;  // events, threads, mutexes
