#include "engine/reading/headers.h"

#include "engine/reading/linereader.h"
#include "engine/reading/linescan.h"

#include <set>
#include <utility>

Headers TakeHeaders(SegmentList& inputs) {
    Headers headers;
    QString headerText;
    std::set<std::pair<int, int>> seen; // (list, input): the first segment of each holds its head
    for (Segment& s : inputs.segments) {
        if (!seen.emplace(s.list, s.input).second || s.begin() >= s.end())
            continue;
        const uchar* next = nullptr;
        const uchar* end = FindLineEnd(s.begin(), s.end(), s.units, &next);
        const qint64 length = end - s.begin();
        if (s.list < 0) {
            if (!headers.found) {
                headers.found = true;
                headers.bytes =
                    QByteArray(reinterpret_cast<const char*>(s.begin()), qsizetype(length));
                headers.segment = s;
                headers.segment.data = reinterpret_cast<const uchar*>(headers.bytes.constData());
                headers.segment.size = length;
                headers.segment.body = 0;
                headers.segment.base = 0;
                headers.segment.mapped = false;
                headers.segment.longLine = false;
                headers.segment.file = nullptr;
                headerText = LineText(s, s.begin(), length);
            } else if (LineText(s, s.begin(), length) != headerText) {
                headers.different.push_back(s.input);
                continue;
            }
            if (inputs.headed.size() <= std::size_t(s.input))
                inputs.headed.resize(std::size_t(s.input) + 1, false);
            inputs.headed[std::size_t(s.input)] = true;
        }
        s.body = next - s.data;
    }
    return headers;
}
