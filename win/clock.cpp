#include "win/clock.h"

#include <windows.h>

namespace {

constexpr std::int64_t kUnixEpochFileTime = 116444736000000000; // 1970-01-01 in 100 ns units since 1601
constexpr std::int64_t kFileTimePerMs = 10000;
constexpr std::int64_t kFileTimePerMinute = 600000000;

std::int64_t fileTimeValue(const FILETIME& time) {
    return static_cast<std::int64_t>((static_cast<std::uint64_t>(time.dwHighDateTime) << 32) | time.dwLowDateTime);
}

std::int64_t unixMs(const FILETIME& utc) {
    return (fileTimeValue(utc) - kUnixEpochFileTime) / kFileTimePerMs;
}

} // namespace

LocalTime localNow() {
    SYSTEMTIME now{};
    GetLocalTime(&now);
    return {now.wYear, now.wMonth, now.wDay, now.wHour, now.wMinute, now.wSecond};
}

std::int64_t utcMs() {
    FILETIME now{};
    GetSystemTimeAsFileTime(&now);
    return unixMs(now);
}

WallTime wallNow() {
    FILETIME utc{};
    GetSystemTimeAsFileTime(&utc);
    FILETIME local = utc;
    FileTimeToLocalFileTime(&utc, &local);
    return {unixMs(utc), static_cast<int>((fileTimeValue(local) - fileTimeValue(utc)) / kFileTimePerMinute)};
}

std::int64_t monotonicMs() {
    return static_cast<std::int64_t>(GetTickCount64());
}

ClockReading clockNow() {
    return {monotonicMs(), wallNow()};
}
