// The local date and time, and its text as daytime() returns it.
#pragma once

#include <cstddef>

namespace rururev {

struct LocalTime {
    int year;
    int month;        // 1 to 12
    int day;          // 1 to 31
    int day_of_week;  // 0 Sunday to 6 Saturday
    int hour;
    int minute;
    int second;
};

// The clock: GetLocalTime on Windows, localtime_r elsewhere.
LocalTime local_time_now();

// Writes "YYYY/MM/DD Ddd hh:mm:ss" into out (at least 256 bytes is ample).
void format_daytime(const LocalTime& t, char* out, size_t size);

}  // namespace rururev
