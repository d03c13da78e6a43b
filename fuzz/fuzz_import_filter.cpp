// Feeds arbitrary bytes through the import decoding and the filter, and checks what must always
// hold of the result: among it, that the bytes are written back exactly, and that the engine
// decides as the tests' plain reference does, in memory and partitioned. One input in 32 is also
// tiled past one of the size thresholds and checked again at that size.
#include "core/lines.h"
#include "engine/engine.h"
#include "files/textcodec.h"
#include "referencefilter.h"

#include <QSet>
#include <QStringList>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <iterator>
#include <utility>
#include <vector>

namespace {

void Require(bool condition) {
    if (!condition)
        std::abort();
}

// The filter of a box's text (CR LF breaks only) equals the tests' plain reference, and filtering
// again changes nothing.
void CheckFilter(const QString& input) {
    const QString output = FilterDuplicateLines(input);
    Require(output.isEmpty() == input.isEmpty());
    Require(output.isEmpty() || output.endsWith(QStringLiteral("\r\n")));
    Require(output == ReferenceFilter(input));
    Require(FilterDuplicateLines(output) == output);
    const qsizetype before = CountNonBlankLines(input);
    const qsizetype after = CountNonBlankLines(output);
    Require(before >= 0 && after >= 0 && after <= before);
}

// Decoding and encoding give back the very bytes; the detection, the piece decoder and the
// decoding agree.
DecodedText CheckRoundTrip(QByteArrayView bytes) {
    const DecodedText decoded = DecodeText(bytes);
    Require(decoded.unreadable >= 0);
    const auto encoded = EncodeText(decoded.text, decoded.encoding);
    Require(encoded && encoded->encoding == decoded.encoding && encoded->bytes == bytes);
    Require(DetectEncoding(bytes) == decoded.encoding);
    TextDecoder decoder(WithoutByteOrderMark(decoded.encoding));
    QString text;
    const qsizetype places =
        decoder.decode(bytes.sliced(ByteOrderMark(decoded.encoding).size()), text);
    Require(text == decoded.text && places == decoded.unreadable);
    return decoded;
}

// The engine on the bytes, in memory and partitioned, and on their text as the window holds it:
// the same lines stay. With the default rules, that is the window's filter on the same lines. Some
// inputs are keyed by columns.
void CheckEngine(QByteArrayView bytes, const DecodedText& decoded, std::uint8_t choice) {
    EngineSettings settings;
    settings.options.ignoreCase = choice & 1;
    settings.options.trim = choice & 2;
    settings.options.ignoreWidth = choice & 4;
    settings.options.keepBlank = choice & 8;
    settings.options.keep = KeepMode((choice >> 4) & 3);
    // Columns by a separator that the bytes of some encodings can be cut by and others not.
    static const std::pair<char16_t, std::vector<int>> keys[] = {
        {u'\t', {2}}, {u',', {2, 1}}, {u'|', {1}}};
    if (const int key = (choice >> 6) & 3; key > 0) {
        settings.options.key.source = KeyRule::Source::Columns;
        settings.options.key.separator.character = QChar(keys[key - 1].first);
        settings.options.key.columns = keys[key - 1].second;
    }
    settings.lineBreak = LineBreak::CrLf;
    BytesSink inMemory;
    const EngineResult a = FilterBytes(bytes, inMemory, settings);
    Require(a.ok() && a.outputEncoding == decoded.encoding);
    settings.memoryBudget = 1;
    BytesSink partitioned;
    const EngineResult b = FilterBytes(bytes, partitioned, settings);
    Require(b.ok() && b.partitioned && partitioned.bytes == inMemory.bytes);
    Require(a.stats.linesRead == b.stats.linesRead && a.stats.linesKept == b.stats.linesKept &&
            a.stats.repeatedLines == b.stats.repeatedLines);
    const QString text = FilterText(decoded.text, settings).text;
    const auto encoded = EncodeText(text, decoded.encoding);
    Require(encoded.has_value());
    QByteArray expected = encoded->bytes;
    if (text.isEmpty()) // a text writes no mark when it has nothing, the engine always does
        expected = ByteOrderMark(decoded.encoding).toByteArray();
    Require(inMemory.bytes == expected);
    // The window's boxes also take U+2029 and two noncharacters for line breaks; elsewhere the
    // rules are the reference's. (Case, width and white space are left out: the reference uses
    // Qt's Unicode tables, the program ICU's, which may differ on a character of a newer version.)
    const bool plainBreaks = !decoded.text.contains(QChar(0x2029)) &&
                             !decoded.text.contains(QChar(0xFDD0)) &&
                             !decoded.text.contains(QChar(0xFDD1));
    const FilterOptions& o = settings.options;
    if (plainBreaks && !o.ignoreCase && !o.ignoreWidth && !o.trim)
        Require(text == ReferenceFilter(decoded.text, o));
}

// Sizes where the codec or the engine changes its way: the UTF-16 sample and the engine's split
// on two threads (64 KiB), the pieces in which GBK is checked and the engine's batches (1 MiB),
// two pieces on two threads (4 MiB).
constexpr qsizetype kThresholds[] = {64 * 1024, 1024 * 1024, 4 * 1024 * 1024};

constexpr qsizetype kEngineThresholds = 1024 * 1024;

QByteArray Tiled(QByteArrayView bytes, qsizetype size) {
    QByteArray tiled;
    tiled.reserve(size);
    while (tiled.size() < size)
        tiled.append(bytes.first(std::min(bytes.size(), size - tiled.size())));
    return tiled;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const QByteArrayView bytes(reinterpret_cast<const char*>(data), qsizetype(size));
    const DecodedText decoded = CheckRoundTrip(bytes);
    CheckFilter(NormalizeLineBreaks(decoded.text));
    const std::uint8_t choice = size > 0 ? data[size - 1] : 0;
    CheckEngine(bytes, decoded, choice);

    if (size >= 2 && (data[0] & 0x1F) == 0x1F) {
        const qsizetype threshold = kThresholds[data[1] % std::size(kThresholds)];
        const qsizetype around = qsizetype(data[1] / std::size(kThresholds) % 5) - 2;
        const QByteArray tiled = Tiled(bytes, threshold + around);
        const DecodedText tiledText = CheckRoundTrip(tiled);
        if (threshold <= kEngineThresholds) // the engine's own sizes; beyond them only the codec's
            CheckEngine(tiled, tiledText, choice);
    }
    return 0;
}
