#include "jtext/MailAddress.h"

#include <algorithm>

std::string_view AddressOf(std::string_view entry)
{
    const std::size_t lt = entry.rfind('<');
    if (lt != std::string_view::npos && entry.back() == '>')
        return entry.substr(lt + 1, entry.size() - lt - 2);
    return entry;
}

bool UsableAddress(std::string_view entry)
{
    const std::string_view address = AddressOf(entry);
    if (std::count(address.begin(), address.end(), '@') != 1 || address.front() == '@' || address.back() == '@')
        return false;
    for (const char ch : address) {
        const auto c = static_cast<unsigned char>(ch);
        if (c <= 0x20 || c >= 0x7F || std::string_view("\"(),:;<>[\\]").find(ch) != std::string_view::npos)
            return false;
    }
    return true;
}
