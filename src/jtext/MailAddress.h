// Recipient entries: "a@x.jp" or "Name <a@x.jp>".
#pragma once

#include <string_view>

// The address of an entry: the part in the last "<" ">" when the entry ends
// in ">", else the whole entry.
std::string_view AddressOf(std::string_view entry);

// Whether an address can hold the entry's address: one "@" with text on both
// sides, no blanks, controls, non-ASCII bytes, quotes or brackets.
bool UsableAddress(std::string_view entry);
