#pragma once

#include <QByteArray>
#include <QString>

// Test texts are written with ⏎ for CR LF and ↓ for a lone LF.
inline QString T(QString s) {
    s.replace(QStringLiteral("⏎"), QStringLiteral("\r\n"));
    s.replace(QStringLiteral("↓"), QStringLiteral("\n"));
    return s;
}

// 1,000 lines of hello world, two of them ending in a NUL, with lines of odd length before each
// so that both NULs fall where a UTF-16BE line break (00 0A) would be.
inline QByteArray HelloWithNuls() {
    QByteArray bytes;
    for (int i = 0; i < 1000; ++i) {
        QByteArray line = i == 0 || i == 200 ? "hello  world" : "hello world";
        if (i == 10 || i == 500)
            line += '\0';
        bytes += line + '\n';
    }
    return bytes;
}

// A text of exactly `size` characters in lines of 100 (98 letters and CR LF).
inline QString TextOfSize(qsizetype size) {
    QString text;
    while (size - text.size() > 100)
        text +=
            QString(98, QChar(char16_t(u'a' + text.size() / 100 % 26))) + QStringLiteral("\r\n");
    return text + QString(size - text.size(), u'z');
}

// A text of the given number of lines, each line occurring three times.
inline QString LargeText(int lines) {
    QString text;
    for (int i = 0; i < lines; ++i)
        text += QStringLiteral("第%1行 line\r\n").arg(i % (lines / 3));
    return text;
}

// An undecodable byte as a text carries it: a lone low surrogate.
inline QChar Byte(int b) {
    return QChar(char16_t(0xDC00 + b));
}

// The random tests of many rounds run a fifth of them in the sanitizer build, which is many times
// slower; the ordinary build runs them all.
#if defined(__SANITIZE_ADDRESS__)
inline constexpr int kRoundsDivisor = 5;
#else
inline constexpr int kRoundsDivisor = 1;
#endif
