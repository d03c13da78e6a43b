#include "files/filecopy.h"

int CopyContent(QFile& from, QFile& to, QByteArray& buffer, QString* reason) {
    if (!from.seek(0) || !to.seek(0)) {
        *reason = ReasonFor(from.error() != QFileDevice::NoError ? from : to);
        return -1;
    }
    buffer.resize(kCopyChunkBytes);
    qint64 copied = 0;
    for (;;) {
        const qint64 got = from.read(buffer.data(), buffer.size());
        if (got < 0) {
            *reason = ReasonFor(from);
            return ErrnoFor(from);
        }
        if (got == 0)
            break;
        if (!WriteWhole(to, buffer.constData(), got)) {
            *reason = ReasonFor(to);
            return ErrnoFor(to);
        }
        copied += got;
    }
    if (!to.resize(copied)) {
        *reason = ReasonFor(to);
        return ErrnoFor(to);
    }
    return 0;
}
