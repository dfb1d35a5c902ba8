// The window's texts come as CP932 (see display/DisplayText.h); Qt shows them
// as Unicode.
#pragma once

#include <QString>

#include <string_view>

QString FromCp932(std::string_view text);
