// The one crossing between the program's colour word (COLORREF, 0x00BBGGRR) and Qt's ARGB
// value (0xAARRGGBB). Every Qt drawing of a program colour goes through these two.
#pragma once

#include <QColor>
#include <QRgb>

#include "common/basic_types.h"

namespace platform::qt {

// Opaque Qt colour of a program colour (the unused high byte is ignored).
constexpr QRgb ToQRgb(COLORREF c)
{
    return 0xFF000000u | ((c & 0xFFu) << 16) | (c & 0xFF00u) | ((c >> 16) & 0xFFu);
}

// Program colour of a Qt colour (alpha dropped).
constexpr COLORREF FromQRgb(QRgb q)
{
    return ((q >> 16) & 0xFFu) | (q & 0xFF00u) | ((q & 0xFFu) << 16);
}

inline QColor ToQColor(COLORREF c) { return QColor::fromRgb(ToQRgb(c)); }

} // namespace platform::qt
