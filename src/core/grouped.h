#pragma once

#include <QLocale>
#include <QString>

// A number as messages write it, its thousands grouped so that it can be read: 4,997,582.
inline QString Grouped(qint64 number) {
    return QLocale(QLocale::English).toString(number);
}
