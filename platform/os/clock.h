// The local calendar time, safely from any thread.
#pragma once

#include <ctime>

namespace qx::os {

inline std::tm localTime(std::time_t t) {
    std::tm tm{};
#ifdef _WIN32
    localtime_s(&tm, &t);
#else
    localtime_r(&t, &tm);
#endif
    return tm;
}

}  // namespace qx::os
