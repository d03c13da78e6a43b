#include "engine/partitioned/partitionfiles.h"

QByteArrayView KeysInInput::keyOf(quint32 keyBytes, const char* key, int buffer) {
    if (keyBytes != kOutOfLine)
        return {key, qsizetype(keyBytes)};
    const LinePlace place = PlaceOf(key);
    const Segment& s = inputs_.at(place.pos);
    const qint64 offset = qint64(place.pos) - s.base;
    const uchar* line = s.data + offset;
    if (s.file) {
        QByteArray& bytes = lineBytes_[buffer];
        bytes.resize(qsizetype(place.length));
        if (!ReadAt(*s.file, offset, bytes.data(), place.length))
            readFailed_ = true;
        line = reinterpret_cast<const uchar*>(bytes.constData());
    }
    if (keyIsLine_)
        return {reinterpret_cast<const char*>(line), qsizetype(place.length)};
    return keys_.key(s, line, place.length, buffer);
}

bool KeysInInput::sameLines(LinePlace a, LinePlace b) {
    if (a.length != b.length)
        return false;
    constexpr qint64 kPiece = qint64(1) << 20;
    for (QByteArray& bytes : lineBytes_)
        bytes.resize(qsizetype(std::min(kPiece, a.length)));
    const LinePlace places[2] = {a, b};
    for (qint64 at = 0; at < a.length; at += kPiece) {
        const qint64 n = std::min(kPiece, a.length - at);
        const char* piece[2] = {};
        for (int i = 0; i < 2; ++i) {
            const Segment& s = inputs_.at(places[i].pos);
            const qint64 offset = qint64(places[i].pos) - s.base + at;
            piece[i] = reinterpret_cast<const char*>(s.data + offset);
            if (s.file) {
                if (!ReadAt(*s.file, offset, lineBytes_[i].data(), n))
                    readFailed_ = true;
                piece[i] = lineBytes_[i].constData();
            }
        }
        if (std::memcmp(piece[0], piece[1], std::size_t(n)) != 0)
            return false;
    }
    return true;
}
