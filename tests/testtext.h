#pragma once

#include <QString>

// Test texts are written with ⏎ for CR LF and ↓ for a lone LF.
inline QString T(QString s) {
    s.replace(QStringLiteral("⏎"), QStringLiteral("\r\n"));
    s.replace(QStringLiteral("↓"), QStringLiteral("\n"));
    return s;
}
