#pragma once

#include <windows.h>

// QueryPerformanceCounter in nanoseconds: under Wine the host's CLOCK_MONOTONIC_RAW, so these stamps compare with a
// Linux process's stamps on that clock. Split so that the product cannot overflow.
inline long long counterNanoseconds() {
    LARGE_INTEGER counter{}, frequency{};
    QueryPerformanceCounter(&counter);
    QueryPerformanceFrequency(&frequency);
    const long long ticks = counter.QuadPart, perSecond = frequency.QuadPart;
    return ticks / perSecond * 1000000000LL + ticks % perSecond * 1000000000LL / perSecond;
}
