#pragma once

#include <QFileDevice>

// Writes all of `data` to a file. The system may take a part at a time (a disk that fills up
// takes what still fits), and only an attempt that takes nothing carries the reason, so the
// writing goes on until all is written or a write fails with its reason in the file's error.
inline bool WriteWhole(QFileDevice& file, const char* data, qint64 size) {
    while (size > 0) {
        const qint64 n = file.write(data, size);
        if (n <= 0)
            return false;
        data += n;
        size -= n;
    }
    return true;
}
