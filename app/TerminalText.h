#pragma once

#include "wifi/SsidText.h"

#include <QString>

namespace ondrel {

// `text` made safe to print on a terminal: the escapes of visibleText, the
// same ones the windows show. Network names go through visibleName instead.
inline QString terminalSafe(const QString& text)
{
    return visibleText(text);
}

} // namespace ondrel
