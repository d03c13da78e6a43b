// Feeds arbitrary bytes through the import decoding and the filter, and checks what must always
// hold of the result.
#include "core/linefilter.h"
#include "files/textcodec.h"

#include <QSet>
#include <QStringList>

#include <cstdint>
#include <cstdlib>

namespace {

void Require(bool condition) {
    if (!condition)
        std::abort();
}

QStringList Lines(const QString& text) {
    return text.isEmpty() ? QStringList() : text.split(QStringLiteral("\r\n"));
}

void CheckFilter(const QString& input) {
    const QString output = FilterDuplicateLines(input);
    Require(output.isEmpty() == input.isEmpty());
    Require(output.isEmpty() || output.endsWith(QStringLiteral("\r\n")));

    const QStringList in = Lines(input);
    QStringList out = Lines(output);
    if (!out.isEmpty())
        out.removeLast(); // the empty text after the final CR LF

    // Every output line occurs in the input, once, in input order.
    QSet<QString> seen;
    qsizetype at = 0;
    for (const QString& line : out) {
        Require(!seen.contains(line));
        seen.insert(line);
        while (at < in.size() && in[at] != line)
            ++at;
        Require(at < in.size());
        ++at;
    }
    // Every non-empty input line is kept.
    for (const QString& line : in)
        Require(line.isEmpty() || seen.contains(line));

    Require(FilterDuplicateLines(output) == output);
    const qsizetype before = CountNonBlankLines(input);
    const qsizetype after = CountNonBlankLines(output);
    Require(before >= 0 && after >= 0 && after <= before);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const QByteArrayView bytes(reinterpret_cast<const char*>(data), qsizetype(size));
    const DecodedText decoded = DecodeText(bytes);
    Require(decoded.unreadable >= 0);
    CheckFilter(decoded.text);
    CheckFilter(NormalizeLineBreaks(decoded.text));

    // What was read can be written back, and reads back as the same text.
    if (const auto encoded = EncodeText(decoded.text, decoded.encoding)) {
        const DecodedText again = DecodeText(encoded->bytes);
        Require(decoded.unreadable > 0 || again.text == decoded.text);
    }
    return 0;
}
