#include "filehelpers.h"
#include "files/textfile.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

Q_DECLARE_METATYPE(TextEncoding)

class FilesTest : public QObject {
    Q_OBJECT
    QTemporaryDir dir;
    QString path(const QString& name) { return dir.filePath(name); }

private slots:
    void decode_data() {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QString>("text");
        QTest::addColumn<TextEncoding>("encoding");
        QTest::addColumn<qsizetype>("unreadable");
        const QString jia = QStringLiteral("甲\r\n乙\r\n甲");
        QTest::newRow("empty") << QByteArray() << QString() << TextEncoding::Gbk << qsizetype(0);
        QTest::newRow("ascii") << QByteArray("a\r\nb") << QStringLiteral("a\r\nb")
                               << TextEncoding::Gbk << qsizetype(0);
        QTest::newRow("gbk") << QByteArray("\xbc\xd7\r\n\xd2\xd2\r\n\xbc\xd7") << jia
                             << TextEncoding::Gbk << qsizetype(0);
        QTest::newRow("utf-8") << jia.toUtf8() << jia << TextEncoding::Utf8 << qsizetype(0);
        QTest::newRow("utf-8 bom") << QByteArray("\xef\xbb\xbf") + jia.toUtf8() << jia
                                   << TextEncoding::Utf8Bom << qsizetype(0);
        QTest::newRow("utf-8 bom twice")
            << QByteArray("\xef\xbb\xbf\xef\xbb\xbf") + "a" << QStringLiteral("\ufeffa")
            << TextEncoding::Utf8Bom << qsizetype(0);
        QTest::newRow("utf-16le") << QByteArray("\xff\xfe\x32\x75\x0d\x00\x0a\x00\x59\x4e", 10)
                                  << QStringLiteral("甲\r\n乙") << TextEncoding::Utf16LeBom
                                  << qsizetype(0);
        QTest::newRow("utf-16be") << QByteArray("\xfe\xff\x75\x32\x00\x61", 6)
                                  << QStringLiteral("甲a") << TextEncoding::Utf16BeBom
                                  << qsizetype(0);
        QTest::newRow("utf-16le odd")
            << QByteArray("\xff\xfe\x61\x00\x62", 5) << QStringLiteral("a\ufffd")
            << TextEncoding::Utf16LeBom << qsizetype(1);
        // U+20000 exists in GB18030 only.
        QTest::newRow("gb18030") << QByteArray("\x95\x32\x82\x36\r\n\xbc\xd7")
                                 << QStringLiteral("\U00020000\r\n甲") << TextEncoding::Gb18030
                                 << qsizetype(0);
        QTest::newRow("overlong utf-8 is read as gbk")
            << QByteArray("\xc0\x80") << QStringLiteral("\u7eae") << TextEncoding::Gbk
            << qsizetype(0);
        QTest::newRow("utf-8 surrogate is not utf-8")
            << QByteArray("\xed\xa0\x80") << QStringLiteral("\u980e\u20ac") << TextEncoding::Gbk
            << qsizetype(0);
        QTest::newRow("truncated at the end") << QByteArray("a\xbc") << QStringLiteral("a\ufffd")
                                              << TextEncoding::Gbk << qsizetype(1);
        QTest::newRow("bad pairs")
            << QByteArray("\x81\x30x\x81\x30") << QStringLiteral("\ufffd0x\ufffd0")
            << TextEncoding::Gbk << qsizetype(2);
    }
    void decode() {
        QFETCH(QByteArray, bytes);
        QFETCH(QString, text);
        QFETCH(TextEncoding, encoding);
        QFETCH(qsizetype, unreadable);
        const DecodedText d = DecodeText(bytes);
        QCOMPARE(d.text, text);
        QCOMPARE(d.encoding, encoding);
        QCOMPARE(d.unreadable, unreadable);
    }

    // Large UTF-8 is decoded in two halves at once; where they meet must not matter.
    void largeUtf8_data() {
        QTest::addColumn<int>("shift");
        QTest::addColumn<bool>("broken");
        for (int shift = 0; shift < 4; ++shift) {
            QTest::addRow("shift %d", shift) << shift << false;
            QTest::addRow("shift %d, broken", shift) << shift << true;
        }
    }
    void largeUtf8() {
        QFETCH(int, shift);
        QFETCH(bool, broken);
        QByteArray bytes(shift, 'a');
        const QByteArray piece = QStringLiteral("甲\U00020000é\r\n").toUtf8();
        while (bytes.size() < 5 * 1024 * 1024)
            bytes += piece;
        if (broken)
            bytes.insert(bytes.size() * 3 / 4, '\xff');
        const DecodedText d = DecodeText(bytes);
        if (broken) {
            QVERIFY(d.encoding != TextEncoding::Utf8);
        } else {
            QCOMPARE(d.encoding, TextEncoding::Utf8);
            QVERIFY(d.text == QString::fromUtf8(bytes));
        }
    }

    void encode_data() {
        QTest::addColumn<QString>("text");
        QTest::addColumn<TextEncoding>("asked");
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<TextEncoding>("written");
        QTest::newRow("gbk") << QStringLiteral("甲\r\n") << TextEncoding::Gbk
                             << QByteArray("\xbc\xd7\r\n") << TextEncoding::Gbk;
        QTest::newRow("emoji upgrades gbk")
            << QStringLiteral("甲😀") << TextEncoding::Gbk << QByteArray("\xbc\xd7\x94\x39\xfc\x36")
            << TextEncoding::Gb18030;
        QTest::newRow("n tilde upgrades gbk")
            << QStringLiteral("ñ") << TextEncoding::Gbk << QByteArray("\x81\x30\x8a\x39")
            << TextEncoding::Gb18030;
        QTest::newRow("utf-8 bom") << QStringLiteral("a") << TextEncoding::Utf8Bom
                                   << QByteArray("\xef\xbb\xbf"
                                                 "a")
                                   << TextEncoding::Utf8Bom;
        QTest::newRow("utf-16be") << QStringLiteral("甲") << TextEncoding::Utf16BeBom
                                  << QByteArray("\xfe\xff\x75\x32") << TextEncoding::Utf16BeBom;
    }
    void encode() {
        QFETCH(QString, text);
        QFETCH(TextEncoding, asked);
        QFETCH(QByteArray, bytes);
        QFETCH(TextEncoding, written);
        const std::optional<EncodedText> e = EncodeText(text, asked);
        QVERIFY(e);
        QCOMPARE(e->bytes.toHex(), bytes.toHex());
        QCOMPARE(e->encoding, written);
        QCOMPARE(DecodeText(e->bytes).text, text);
    }

    void loneSurrogateIsRefusedNotReplaced() {
        QVERIFY(!EncodeText(QString(QChar(0xd800)), TextEncoding::Utf8));
        QVERIFY(!EncodeText(QString(QChar(0xd800)), TextEncoding::Gbk));
    }

    void importFailures_data() {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("reason");
        QTest::newRow("missing") << "missing.txt"
                                 << "文件不存在";
        QTest::newRow("directory") << "sub"
                                   << "文件夹";
        QTest::newRow("too large") << "huge.txt"
                                   << "文件太大";
    }
    void importFailures() {
        QFETCH(QString, name);
        QFETCH(QString, reason);
        QDir(dir.path()).mkdir(QStringLiteral("sub"));
        QFile huge(path(QStringLiteral("huge.txt")));
        QVERIFY(huge.open(QIODevice::WriteOnly));
        QVERIFY(huge.resize(kMaxImportBytes + 1)); // sparse: takes no disk space
        huge.close();
        const ImportResult r = ImportTextFile(path(name));
        QVERIFY(!r.ok);
        QVERIFY2(r.error.contains(reason), qPrintable(r.error));
        QVERIFY(r.error.contains(name));
    }

    void saveFailuresKeepOldFile_data() {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("reason");
        QTest::newRow("missing folder") << "nowhere/out.txt"
                                        << "文件夹不存在";
        QTest::newRow("directory") << "sub"
                                   << "文件夹";
        QTest::newRow("read-only file") << "readonly.txt"
                                        << "只读";
    }
    void saveFailuresKeepOldFile() {
        QFETCH(QString, name);
        QFETCH(QString, reason);
        QDir(dir.path()).mkdir(QStringLiteral("sub"));
        const QString ro = path(QStringLiteral("readonly.txt"));
        QFile::remove(ro);
        WriteAll(ro, "old");
        QFile::setPermissions(ro, QFileDevice::ReadOwner | QFileDevice::ReadGroup);
        const SaveResult r = SaveTextFile(path(name), u"new", TextEncoding::Gbk);
        QVERIFY(!r.ok);
        QVERIFY2(r.error.contains(reason), qPrintable(r.error));
        QCOMPARE(ReadAll(ro), QByteArray("old"));
        QVERIFY(!QFile::exists(path(QStringLiteral("nowhere"))));
    }

    // Needs a small file system of its own: a 64 KB tmpfs, where the machine allows mounting one.
    void saveOntoFullDiskKeepsOldFile() {
        const QString small = path(QStringLiteral("small"));
        QDir().mkpath(small);
        if (QProcess::execute(QStringLiteral("mount"),
                              {QStringLiteral("-t"), QStringLiteral("tmpfs"), QStringLiteral("-o"),
                               QStringLiteral("size=64k"), QStringLiteral("tmpfs"), small}) != 0)
            QSKIP("cannot mount a small file system here");
        const QString out = small + QStringLiteral("/out.txt");
        WriteAll(out, "old");
        const SaveResult r = SaveTextFile(out, QString(200000, u'x'), TextEncoding::Gbk);
        const QByteArray after = ReadAll(out);
        QProcess::execute(QStringLiteral("umount"), {small});
        QVERIFY(!r.ok);
        QVERIFY2(r.error.contains(QStringLiteral("磁盘空间不足")), qPrintable(r.error));
        QCOMPARE(after, QByteArray("old"));
    }

    void saveReplacesWholeFile() {
        const QString out = path(QStringLiteral("twice.txt"));
        QVERIFY(SaveTextFile(out, u"first longer text\r\n", TextEncoding::Gbk).ok);
        const SaveResult r = SaveTextFile(out, u"二\r\n", TextEncoding::Gbk);
        QVERIFY(r.ok);
        QCOMPARE(ReadAll(out), QByteArray("\xb6\xfe\r\n"));
    }
};

QTEST_APPLESS_MAIN(FilesTest)
#include "tst_files.moc"
