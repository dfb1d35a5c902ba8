#include "run/TimeFormat.h"

#include <cstdio>

std::string FormatResultDate(const platform::LocalTime& t)
{
    char buf[32];
    std::snprintf(buf, sizeof buf, "%d/%d/%d", t.year, t.month, t.day);
    return buf;
}

std::string FormatResultTime(const platform::LocalTime& t)
{
    char buf[32];
    std::snprintf(buf, sizeof buf, "%d:%d:%d", t.hour, t.minute, t.second);
    return buf;
}

std::string FormatMailLogStamp(const platform::LocalTime& t)
{
    char buf[32];
    std::snprintf(buf, sizeof buf, "%04d%02d%02d%02d%02d%02d", t.year, t.month, t.day, t.hour, t.minute, t.second);
    return buf;
}

std::string FormatTraceStamp(const platform::LocalTime& t)
{
    char buf[32];
    std::snprintf(buf, sizeof buf, "%04d/%02d/%02d %02d:%02d:%02d ", t.year, t.month, t.day, t.hour, t.minute, t.second);
    return buf;
}
