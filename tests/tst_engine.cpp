#include "core/linefilter.h"
#include "engine/engine.h"
#include "filehelpers.h"
#include "files/textcodec.h"

#include <QDir>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QTest>

Q_DECLARE_METATYPE(TextEncoding)

namespace {

class BytesSink final : public OutputSink {
public:
    bool write(const char* data, qint64 size) override {
        bytes.append(data, qsizetype(size));
        return true;
    }
    QString error() const override { return {}; }
    QByteArray bytes;
};

// The window's rule, applied the simple way: lines split at any break, the design's filter, then
// every CR LF written as the chosen break.
QString Model(const QString& text, LineBreak lineBreak) {
    QString out = FilterDuplicateLines(NormalizeLineBreaks(text));
    out.replace(QStringLiteral("\r\n"), LineBreakText(lineBreak).toString());
    return out;
}

QString RandomText(QRandomGenerator& rng, int maxLength) {
    static const QString alphabet[] = {
        QStringLiteral("a"),  QStringLiteral("b"),  QStringLiteral("A"),  QStringLiteral("甲"),
        QStringLiteral("é"),  QStringLiteral(" "),  QStringLiteral("\r"), QStringLiteral("\n"),
        QStringLiteral("\n"), QStringLiteral("\r\n"), QStringLiteral("\r\n")};
    QString text;
    const int length = rng.bounded(maxLength + 1);
    for (int i = 0; i < length; ++i)
        text += alphabet[rng.bounded(int(std::size(alphabet)))];
    return text;
}

// The most common line break of a text, by the engine's rule.
LineBreak MostCommon(const QString& text) {
    return MostCommonLineBreak(text);
}

} // namespace

class EngineTest : public QObject {
    Q_OBJECT
    QTemporaryDir dir;
    QString path(const QString& name) const { return dir.filePath(name); }

    EngineResult filterFile(const QByteArray& bytes, const EngineSettings& settings,
                            QByteArray* out) {
        WriteAll(path(QStringLiteral("in.txt")), bytes);
        BytesSink sink;
        EngineResult r = FilterFiles({path(QStringLiteral("in.txt"))}, sink, settings);
        *out = sink.bytes;
        return r;
    }

private slots:
    // Thousands of random texts in each encoding, in memory and partitioned, against the model.
    void filesAgainstModel_data() {
        QTest::addColumn<TextEncoding>("encoding");
        QTest::addColumn<bool>("forced");
        QTest::addColumn<qint64>("budget");
        const std::pair<const char*, TextEncoding> encodings[] = {
            {"utf-8", TextEncoding::Utf8},          {"utf-8 bom", TextEncoding::Utf8Bom},
            {"gbk", TextEncoding::Gbk},             {"gb18030", TextEncoding::Gb18030},
            {"utf-16le", TextEncoding::Utf16Le},    {"utf-16be bom", TextEncoding::Utf16BeBom},
            {"utf-16le bom", TextEncoding::Utf16LeBom}};
        for (const auto& [name, encoding] : encodings) {
            QTest::addRow("%s, in memory", name) << encoding << true << qint64(0);
            QTest::addRow("%s, partitioned", name) << encoding << true << qint64(1);
        }
    }
    void filesAgainstModel() {
        QFETCH(TextEncoding, encoding);
        QFETCH(bool, forced);
        QFETCH(qint64, budget);
        QRandomGenerator rng(quint32(qHash(int(encoding)) + quint32(budget)));
        EngineSettings settings;
        settings.memoryBudget = budget;
        settings.tempDir = dir.path();
        if (forced)
            settings.inputEncoding = WithoutByteOrderMark(encoding);
        for (int round = 0; round < 400; ++round) {
            const QString text = RandomText(rng, 30);
            const std::optional<EncodedText> encoded = EncodeText(text, encoding);
            QVERIFY(encoded);
            QByteArray out;
            const EngineResult r = filterFile(encoded->bytes, settings, &out);
            QVERIFY2(r.ok(), qPrintable(r.error));
            QCOMPARE(r.partitioned, budget == 1);
            const QString expected = Model(text, MostCommon(text));
            const std::optional<EncodedText> want = EncodeText(expected, encoded->encoding);
            QVERIFY(want);
            QCOMPARE(out.toHex(' '), (expected.isEmpty() ? ByteOrderMark(encoding).toByteArray()
                                                         : want->bytes)
                                         .toHex(' '));
        }
    }
};

QTEST_APPLESS_MAIN(EngineTest)
#include "tst_engine.moc"
