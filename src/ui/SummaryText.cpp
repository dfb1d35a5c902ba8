#include "ui/SummaryText.h"

#include "platform/CodePage.h"

QString FromCp932(std::string_view text)
{
    return QString::fromStdString(platform::Cp932ToUtf8(text));
}
