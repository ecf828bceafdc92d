#include "module/localtime.h"

#include <cstdio>

#if defined(_WIN32)
#include <windows.h>
#else
#include <ctime>
#endif

namespace rururev {

LocalTime local_time_now() {
#if defined(_WIN32)
    SYSTEMTIME st;
    GetLocalTime(&st);
    return {st.wYear, st.wMonth, st.wDay, st.wDayOfWeek, st.wHour, st.wMinute, st.wSecond};
#else
    const time_t now = time(nullptr);
    struct tm tm {};
    localtime_r(&now, &tm);
    return {tm.tm_year + 1900, tm.tm_mon + 1, tm.tm_mday, tm.tm_wday,
            tm.tm_hour, tm.tm_min, tm.tm_sec};
#endif
}

void format_daytime(const LocalTime& t, char* out, size_t size) {
    static const char* const dow[7] = {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};
    const char* name = (t.day_of_week >= 0 && t.day_of_week < 7) ? dow[t.day_of_week] : "???";
    snprintf(out, size, "%04d/%02d/%02d %s %02d:%02d:%02d", t.year, t.month, t.day, name,
             t.hour, t.minute, t.second);
}

}  // namespace rururev
