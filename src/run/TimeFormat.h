// Time stamps of the files.
#pragma once

#include "platform/Clock.h"

#include <string>

std::string FormatResultDate(const platform::LocalTime& t);   // yyyy/m/d
std::string FormatResultTime(const platform::LocalTime& t);   // h:n:s
std::string FormatMailLogStamp(const platform::LocalTime& t); // yyyymmddhhnnss
std::string FormatTraceStamp(const platform::LocalTime& t);   // "yyyy/mm/dd hh:nn:ss "
