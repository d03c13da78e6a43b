// The window's large-file mode: files above its bounds are shown by their beginning, and the
// commands work on the whole file through the engine.
#include "app/commandline.h"
#include "core/lines.h"
#include "engine/engine.h"
#include "filehelpers.h"
#include "files/safefile.h"
#include "files/textcodec.h"
#include "ui/statistic/repeatsdialog.h"
#include "ui/textbox/textbox.h"
#include "ui/window/mainwindow.h"
#include "ui/window/wording.h"
#include "windowdriver.h"

#include <QAction>
#include <QClipboard>
#include <QDir>
#include <QFileInfo>
#include <QGuiApplication>
#include <QLabel>
#include <QMimeData>
#include <QProgressBar>
#include <QPushButton>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QThreadPool>
#include <QToolButton>
#include <QUrl>

#include <memory>

namespace {

// `lines` lines, a third of them distinct, half of them in capitals, each padded to about 70
// characters, every line ended by `lineBreak`.
QString GeneratedText(int lines, const QString& lineBreak) {
    QString text;
    const QString padding(48, u'.');
    for (int i = 0; i < lines; ++i)
        text += QStringLiteral("第%1行 %2 ").arg(i % (lines / 3)).arg(i % 2 ? "ABC" : "abc") +
                padding + lineBreak;
    return text;
}

} // namespace

class LargeFileTest : public QObject, WindowDriver {
    Q_OBJECT
    QTemporaryDir dir;

    QString path(const QString& name) const { return dir.filePath(name); }
    // Imports a generated file in the large-file mode; returns its text.
    QString importLarge(const QString& name, int lines, TextEncoding encoding = TextEncoding::Gbk,
                        const QString& lineBreak = QStringLiteral("\r\n")) {
        const QString text = GeneratedText(lines, lineBreak);
        WriteAll(path(name), EncodeText(text, encoding)->bytes);
        importAnswering(path(name));
        return text;
    }
    // What the engine makes of the file with the given options.
    static EngineResult EngineOutput(const QString& file, const FilterOptions& options,
                                     QByteArray* bytes) {
        EngineSettings settings;
        settings.options = options;
        BytesSink sink;
        EngineResult result = FilterFiles({file}, sink, settings);
        *bytes = sink.bytes;
        return result;
    }
    // Opens files as the window's command line does, once the window is shown, and waits for
    // their import.
    void openNamed(const QStringList& files) {
        QSignalSpy idle(window.get(), &MainWindow::idle);
        OpenFiles(*window, files);
        QVERIFY(idle.wait(120000));
    }
    static void dropOn(TextBox* target, const QStringList& files) {
        QMimeData mime;
        QList<QUrl> urls;
        for (const QString& file : files)
            urls.append(QUrl::fromLocalFile(file));
        mime.setUrls(urls);
        QWidget* viewport = target->viewport();
        const QPoint at = viewport->rect().center();
        QDragEnterEvent enter(at, Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
        QCoreApplication::sendEvent(viewport, &enter);
        QDropEvent drop(at, Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
        QCoreApplication::sendEvent(viewport, &drop);
    }

private slots:
    void init() {
        makeWindow();
        // Small bounds, so that the files need not be large.
        window->setLargeFileBounds({100000, 1000000});
        window->show();
    }
    void cleanup() { dropWindow(); }

    // Each bound is crossed: at it, the file goes into the box as always; one above, it opens
    // in the large-file mode.
    void bounds_data() {
        QTest::addColumn<bool>("byBytes");
        QTest::addColumn<int>("beyond"); // the file's size or lines minus the bound
        QTest::addColumn<bool>("large");
        QTest::newRow("bytes at the bound") << true << 0 << false;
        QTest::newRow("bytes one above") << true << 1 << true;
        QTest::newRow("lines at the bound") << false << 0 << false;
        QTest::newRow("lines one above") << false << 1 << true;
    }
    void bounds() {
        QFETCH(bool, byBytes);
        QFETCH(int, beyond);
        QFETCH(bool, large);
        const int lines = 1500;
        const QByteArray bytes =
            EncodeText(GeneratedText(lines, QStringLiteral("\n")), TextEncoding::Utf8)->bytes;
        WriteAll(path(QStringLiteral("b.txt")), bytes);
        if (byBytes)
            window->setLargeFileBounds({bytes.size() - beyond, 1000000});
        else
            window->setLargeFileBounds({qint64(1) << 40, lines - beyond});
        box("Text1")->setText(QStringLiteral("typed"));
        importAnswering(path(QStringLiteral("b.txt")));
        QCOMPARE(window->isLargeInput(), large);
        QCOMPARE(box("Text1")->isReadOnly(), large);
        QCOMPARE(box("Text1")->notice().isEmpty(), !large);
        QCOMPARE(label("Label1"), QStringLiteral("过滤前共%1行").arg(lines));
        QVERIFY(services->messages.isEmpty());
        // Either way, Ctrl+Z brings back the typed text.
        box("Text1")->setFocus();
        QTest::keyClick(box("Text1"), Qt::Key_Z, Qt::ControlModifier);
        QTRY_COMPARE(box("Text1")->text(), QStringLiteral("typed"));
        QVERIFY(!window->isLargeInput());
    }

    // The file's beginning is shown with the count of the whole; the filter, the save, the copy
    // and the statistic work on the whole file with the chosen options, as the engine does.
    void largeMode_data() {
        QTest::addColumn<TextEncoding>("encoding");
        QTest::addColumn<QString>("lineBreak");
        QTest::addColumn<QStringList>("actions");
        QTest::newRow("gbk, CR LF, default") << TextEncoding::Gbk << "\r\n" << QStringList();
        QTest::newRow("utf-8, LF, ignoring case") << TextEncoding::Utf8 << "\n"
                                                  << QStringList{"OptionIgnoreCase"};
        QTest::newRow("utf-16le with mark, CR, last copies, trimmed")
            << TextEncoding::Utf16LeBom << "\r" << QStringList{"KeepLast", "OptionTrim"};
        QTest::newRow("utf-8 with mark, CR LF, only repeated") << TextEncoding::Utf8Bom << "\r\n"
                                                               << QStringList{"KeepRepeated"};
    }
    void largeMode() {
        QFETCH(TextEncoding, encoding);
        QFETCH(QString, lineBreak);
        QFETCH(QStringList, actions);
        const int lines = 30000;
        const QString text = importLarge(QStringLiteral("large.txt"), lines, encoding, lineBreak);
        const QString file = path(QStringLiteral("large.txt"));
        QVERIFY(window->isLargeInput());
        TextBox* input = box("Text1");
        // The beginning, read-only, with a notice; the count of the whole file.
        const QStringList all = NormalizeLineBreaks(text).split(QStringLiteral("\r\n"));
        QCOMPARE(input->documentText(),
                 all.mid(0, int(kPreviewLines)).join(QStringLiteral("\r\n")));
        QVERIFY(input->notice().contains(QStringLiteral("全部 %1 行").arg(Grouped(lines))));
        QVERIFY(input->notice().contains(QStringLiteral("只读")));
        QVERIFY(input->notice().contains(QStringLiteral("显示开头 10,000 行")));
        QCOMPARE(label("Label1"), QStringLiteral("过滤前共%1行").arg(lines));
        input->setFocus();
        QTest::keyClicks(input, QStringLiteral("typed"));
        QCOMPARE(input->documentText().left(10), all[0].left(10));

        for (const QString& action : actions)
            window->findChild<QAction*>(action)->trigger();
        const FilterOptions options = window->filterOptions();
        QByteArray expected;
        const EngineResult engine = EngineOutput(file, options, &expected);
        QVERIFY(engine.ok());
        click("Command1");
        QVERIFY(waitIdle());
        QVERIFY(window->isLargeResult());
        TextBox* output = box("Text2");
        QVERIFY(output->isReadOnly());
        QVERIFY(output->notice().contains(
            QStringLiteral("复制和保存用全部 %1 行").arg(Grouped(engine.stats.linesKept))));
        QCOMPARE(label("Label2"), QStringLiteral("过滤后共%1行").arg(engine.stats.linesKept));
        QCOMPARE(output->note(), RemovedNote(engine.stats, options));
        const QString resultText = FilterText(NormalizeLineBreaks(text),
                                              [&] {
                                                  EngineSettings s;
                                                  s.options = options;
                                                  return s;
                                              }())
                                       .text;
        QCOMPARE(output->documentText(), resultText.split(QStringLiteral("\r\n"))
                                             .mid(0, int(kPreviewLines))
                                             .join(QStringLiteral("\r\n")));

        // The save writes the engine's bytes: the file's encoding, mark and line break.
        saveAnswering(path(QStringLiteral("saved.txt")));
        QCOMPARE(ReadAll(path(QStringLiteral("saved.txt"))), expected);
        QCOMPARE(services->messages.last().prompt, QStringLiteral("结果已保存至指定路径！"));

        // Copied whole up to the bound; above it, refused with a word about saving.
        window->setCopyBound(expected.size());
        window->RunCommand(1);
        QVERIFY(waitIdle());
        QCOMPARE(services->clipboard, resultText);
        QCOMPARE(services->messages.last().prompt, QStringLiteral("复制成功..."));
        services->clipboard = QStringLiteral("(untouched)");
        window->setCopyBound(expected.size() - 1);
        window->RunCommand(1);
        QVERIFY(waitIdle());
        QCOMPARE(services->clipboard, QStringLiteral("(untouched)"));
        QCOMPARE(services->messages.last().style, 16);
        QCOMPARE(services->messages.last().title, QStringLiteral("复制失败"));
        QVERIFY(services->messages.last().prompt.contains(QStringLiteral("保存结果")));

        // The statistic counts the whole file.
        window->findChild<QAction*>(QStringLiteral("ShowRepeats"))->trigger();
        QVERIFY(waitIdle());
        QTRY_VERIFY(window->findChild<RepeatsDialog*>());
        auto* dialog = window->findChild<RepeatsDialog*>();
        const QString totals = dialog->findChild<QLabel*>(QStringLiteral("RepeatsTotals"))->text();
        QVERIFY2(totals.startsWith(QStringLiteral("共 %1 行，其中不同的行 %2 行；删除了 %3 行")
                                       .arg(Grouped(engine.stats.linesRead),
                                            Grouped(engine.stats.distinctLines),
                                            Grouped(engine.stats.linesRemoved))),
                 qPrintable(totals));
        dialog->close();

        // Clearing leaves the mode.
        click("Command3");
        QVERIFY(!window->isLargeInput());
        QVERIFY(!window->isLargeResult());
        QVERIFY(!input->isReadOnly() && !output->isReadOnly());
        QCOMPARE(input->text(), QString());
        QCOMPARE(label("Label1"), QStringLiteral("过滤前共0行"));
        QCOMPARE(label("Label2"), QStringLiteral("过滤后共0行"));
    }

    // A cancelled filter leaves the output box, its count and the result it stands for as they
    // were; the work on the worker thread has stopped when the window is idle again.
    // A file that changes after it is opened in the large-file mode is never filtered or saved
    // as if it had not: the user is told, and the boxes and files stay as they were.
    void changedFileIsReported_data() {
        QTest::addColumn<QString>("when");
        QTest::newRow("emptied before the filter") << "before filter";
        QTest::newRow("cut during the filter") << "during filter";
        QTest::newRow("cut before the save") << "before save";
        QTest::newRow("replaced before the save") << "replaced";
    }
    void changedFileIsReported() {
        QFETCH(QString, when);
        const QString file = path(QStringLiteral("changing.txt"));
        importLarge(QStringLiteral("changing.txt"), 60000);
        QVERIFY(window->isLargeInput());
        const QString saved = path(QStringLiteral("saved.txt"));
        QFile::remove(saved);
        if (when == u"before filter")
            QVERIFY(QFile::resize(file, 0));
        click("Command1");
        if (when == u"during filter")
            QVERIFY(QFile::resize(file, 1000));
        QVERIFY(waitIdle());
        if (when.startsWith(u"before") || when == u"during filter") {
            if (when != u"before save") {
                QVERIFY(!services->messages.isEmpty());
                QCOMPARE(services->messages.last().style, 16);
                QVERIFY2(services->messages.last().prompt.contains(QStringLiteral("改动")),
                         qPrintable(services->messages.last().prompt));
                QCOMPARE(text2()->text(), QString());
                QCOMPARE(label("Label2"), QStringLiteral("过滤后共0行"));
            }
        }
        if (when == u"before save" || when == u"replaced") {
            QVERIFY(services->messages.isEmpty());
            if (when == u"before save") {
                QVERIFY(QFile::resize(file, 1000));
            } else {
                WriteAll(path(QStringLiteral("other.txt")), "other\n");
                QFile::remove(file);
                QVERIFY(QFile::rename(path(QStringLiteral("other.txt")), file));
            }
            const QString before = text2()->text();
            saveAnswering(saved);
            QCOMPARE(services->messages.last().style, 16);
            QVERIFY2(services->messages.last().prompt.contains(QStringLiteral("改动")),
                     qPrintable(services->messages.last().prompt));
            QCOMPARE(text2()->text(), before);
        }
        QVERIFY(!QFile::exists(saved));
        // The window goes on: a new text is filtered as ever.
        box("Text1")->setText(QStringLiteral("a\r\nb\r\na"));
        click("Command1");
        QVERIFY(waitIdle());
        QCOMPARE(text2()->text(), QStringLiteral("a\r\nb\r\n"));
    }

    void cancelLargeFilter_data() {
        QTest::addColumn<bool>("whileFilling");
        QTest::addColumn<bool>("earlierResult");
        QTest::newRow("while filtering, typed output") << false << false;
        QTest::newRow("while filtering, an earlier result") << false << true;
        QTest::newRow("while filling, typed output") << true << false;
        QTest::newRow("while filling, an earlier result") << true << true;
    }
    void cancelLargeFilter() {
        QFETCH(bool, whileFilling);
        QFETCH(bool, earlierResult);
        importLarge(QStringLiteral("c.txt"), 60000);
        QVERIFY(window->isLargeInput());
        QByteArray earlier;
        if (earlierResult) {
            click("Command1");
            QVERIFY(waitIdle());
            EngineOutput(path(QStringLiteral("c.txt")), {}, &earlier);
        } else {
            box("Text2")->setText(QStringLiteral("typed"));
        }
        TextBox* output = box("Text2");
        // The options change first: with an earlier result, that says the result is stale (its
        // preview waits for the event loop, and the click comes first).
        window->findChild<QAction*>(QStringLiteral("KeepLast"))->trigger();
        const QString before = output->documentText();
        const QString notice = output->notice();
        const QString count = label("Label2");
        const QString note = output->note();
        QCOMPARE(note.isEmpty(), !earlierResult);
        bool fired = false;
        connect(output, &TextBox::workProgress, window.get(), [&] {
            if (whileFilling && !fired && output->isFilling()) {
                fired = true;
                QTest::keyClick(window.get(), Qt::Key_Escape);
            }
        });
        click("Command1");
        QVERIFY(window->busy());
        if (!whileFilling) {
            fired = true;
            QTest::keyClick(window.get(), Qt::Key_Escape);
        }
        QVERIFY(waitIdle());
        QVERIFY(fired);
        QTRY_COMPARE(QThreadPool::globalInstance()->activeThreadCount(), 0);
        QTRY_VERIFY(!output->isWorking());
        QCOMPARE(output->documentText(), before);
        QCOMPARE(output->notice(), notice);
        QCOMPARE(output->note(), note);
        QCOMPARE(label("Label2"), count);
        QCOMPARE(window->isLargeResult(), earlierResult);
        QVERIFY(services->messages.isEmpty());
        if (earlierResult) {
            saveAnswering(path(QStringLiteral("after-cancel.txt")));
            QCOMPARE(ReadAll(path(QStringLiteral("after-cancel.txt"))), earlier);
        }
    }

    // A cancelled import of a large file leaves the input box and the mode as they were.
    void cancelLargeImport() {
        box("Text1")->setText(QStringLiteral("typed"));
        WriteAll(path(QStringLiteral("i.txt")),
                 EncodeText(GeneratedText(60000, QStringLiteral("\n")), TextEncoding::Utf8)->bytes);
        services->dialogAnswers = {path(QStringLiteral("i.txt"))};
        click("Command2");
        QVERIFY(window->busy());
        QTest::keyClick(window.get(), Qt::Key_Escape);
        QVERIFY(waitIdle());
        QTRY_COMPARE(QThreadPool::globalInstance()->activeThreadCount(), 0);
        QCOMPARE(box("Text1")->text(), QStringLiteral("typed"));
        QVERIFY(!window->isLargeInput());
        QVERIFY(!box("Text1")->isReadOnly());
        QVERIFY(services->messages.isEmpty());
    }

    // A dropped file and a file named on the command line take the same way as the dialog.
    void sameWayFromEverywhere_data() {
        QTest::addColumn<QString>("how");
        QTest::newRow("import dialog") << "dialog";
        QTest::newRow("drop") << "drop";
        QTest::newRow("command line") << "command line";
    }
    void sameWayFromEverywhere() {
        QFETCH(QString, how);
        const QString file = path(QStringLiteral("w.txt"));
        WriteAll(file,
                 EncodeText(GeneratedText(3000, QStringLiteral("\r\n")), TextEncoding::Gbk)->bytes);
        if (how == QStringLiteral("dialog"))
            importAnswering(file);
        else if (how == QStringLiteral("drop"))
            dropOn(box("Text1"), {file});
        else
            openNamed({file});
        QVERIFY(waitIdle());
        QVERIFY(window->isLargeInput());
        QCOMPARE(label("Label1"), QStringLiteral("过滤前共3000行"));
        QCOMPARE(services->fileName(), file);
    }

    // Several files above the bounds together open as one large text, each file read in its own
    // encoding: the notice says how many, the count is of them all, the beginning shown goes on
    // from one file into the next, and the filter, the save and the statistic work on all of
    // them as the engine does. Apart, each file would go into the box.
    void severalFiles_data() {
        QTest::addColumn<int>("firstLines");
        QTest::newRow("both shown") << 2000;
        QTest::newRow("the first one fills the beginning") << int(kPreviewLines) + 500;
    }
    void severalFiles() {
        QFETCH(int, firstLines);
        const QString first = GeneratedText(firstLines, QStringLiteral("\r\n"));
        const QString second = GeneratedText(1500, QStringLiteral("\n")).chopped(1); // no break
        const QStringList files{path(QStringLiteral("first.txt")),
                                path(QStringLiteral("second.txt"))};
        WriteAll(files[0], EncodeText(first, TextEncoding::Gbk)->bytes);
        WriteAll(files[1], EncodeText(second, TextEncoding::Utf8Bom)->bytes);
        window->setLargeFileBounds(
            {QFileInfo(files[0]).size() + QFileInfo(files[1]).size() - 1, 1000000});
        importAnswering(files.join(u'\n'));
        QVERIFY(window->isLargeInput());
        TextBox* input = box("Text1");
        QVERIFY2(input->notice().startsWith(QStringLiteral("2 个文件只读")),
                 qPrintable(input->notice()));
        QCOMPARE(label("Label1"), QStringLiteral("过滤前共%1行").arg(firstLines + 1500));
        const QStringList all = NormalizeLineBreaks(first + second).split(QStringLiteral("\r\n"));
        QCOMPARE(input->documentText(),
                 all.mid(0, int(kPreviewLines)).join(QStringLiteral("\r\n")));

        window->findChild<QAction*>(QStringLiteral("OptionIgnoreCase"))->trigger();
        EngineSettings settings;
        settings.options = window->filterOptions();
        BytesSink sink;
        const EngineResult engine = FilterFiles(files, sink, settings);
        QVERIFY(engine.ok());
        click("Command1");
        QVERIFY(waitIdle());
        QVERIFY(window->isLargeResult());
        QCOMPARE(label("Label2"), QStringLiteral("过滤后共%1行").arg(engine.stats.linesKept));
        saveAnswering(path(QStringLiteral("both-out.txt")));
        QCOMPARE(ReadAll(path(QStringLiteral("both-out.txt"))), sink.bytes);
        // The first file's encoding: GBK.
        QVERIFY(sink.bytes.startsWith(EncodeText(first.left(4), TextEncoding::Gbk)->bytes));
    }

    // A large result saved in another format is converted line by line; 与原文件相同 writes the
    // engine's bytes; GBK chosen for a result GBK cannot hold is refused, nothing written.
    void saveFormat_data() {
        QTest::addColumn<SaveFormat>("format");
        QTest::addColumn<TextEncoding>("written"); // Gbk with refused
        QTest::addColumn<QString>("lineBreak");
        QTest::addColumn<bool>("refused");
        using E = SaveFormat::Encoding;
        using B = SaveFormat::Break;
        QTest::newRow("same") << SaveFormat{} << TextEncoding::Utf8Bom << "\n" << false;
        QTest::newRow("UTF-8 without its mark, CR LF")
            << SaveFormat{E::Utf8, B::CrLf} << TextEncoding::Utf8 << "\r\n"
            << false;
        QTest::newRow("UTF-16LE") << SaveFormat{E::Utf16Le, B::Same} << TextEncoding::Utf16LeBom
                                  << "\n"
                                  << false;
        QTest::newRow("GB18030, LF")
            << SaveFormat{E::Gb18030, B::Lf} << TextEncoding::Gb18030 << "\n"
            << false;
        QTest::newRow("GBK: refused") << SaveFormat{E::Gbk, B::Same} << TextEncoding::Gbk << "\n"
                                      << true;
    }
    void saveFormat() {
        QFETCH(SaveFormat, format);
        QFETCH(TextEncoding, written);
        QFETCH(QString, lineBreak);
        QFETCH(bool, refused);
        // UTF-8 with its mark and LF, one line holding what GBK lacks.
        const QString text =
            GeneratedText(3000, QStringLiteral("\n")) + QStringLiteral("emoji 😀\n");
        WriteAll(path(QStringLiteral("u.txt")), EncodeText(text, TextEncoding::Utf8Bom)->bytes);
        importAnswering(path(QStringLiteral("u.txt")));
        QVERIFY(window->isLargeInput());
        click("Command1");
        QVERIFY(waitIdle());
        services->messages.clear();
        services->dialogFormatChoices = {format};
        const QString target = path(QStringLiteral("u-out.txt"));
        WriteAll(target, "old");
        saveAnswering(target);
        QCOMPARE(services->messages.size(), 1);
        if (refused) {
            QCOMPARE(services->messages[0].style, 16);
            QVERIFY(services->messages[0].prompt.contains(QStringLiteral("GBK")));
            QCOMPARE(ReadAll(target), QByteArray("old"));
            QCOMPARE(
                QDir(dir.path()).entryList({QStringLiteral(".u-out*")}, QDir::Hidden | QDir::Files),
                QStringList());
            return;
        }
        EngineSettings settings;
        const QString result = FilterText(NormalizeLineBreaks(text), settings)
                                   .text.replace(QStringLiteral("\r\n"), lineBreak);
        QCOMPARE(ReadAll(target), EncodeText(result, written)->bytes);
    }

    // A large result converted to another encoding is written in pieces of kCopyChunkBytes; a
    // result whose conversion comes to just below, at or just above that size is written whole,
    // as its text encoded anew.
    void convertedInPieces_data() {
        QTest::addColumn<qint64>("size"); // of the converted result
        QTest::newRow("below") << kCopyChunkBytes - 2;
        QTest::newRow("at") << kCopyChunkBytes;
        QTest::newRow("above") << kCopyChunkBytes + 2;
        QTest::newRow("three pieces") << 3 * kCopyChunkBytes + 2;
    }
    void convertedInPieces() {
        QFETCH(qint64, size);
        // UTF-16LE with its mark from GBK lines of 50 bytes: 2 bytes of mark and 2 for each byte.
        QString text;
        const qint64 characters = (size - 2) / 2;
        for (qint64 line = 0; text.size() < characters; ++line) {
            const qint64 left = characters - text.size();
            const qint64 length = left >= 100 ? 50 : left;
            text += QStringLiteral("%1").arg(line, int(length - 1), 10, QChar(u'y')) + u'\n';
        }
        QCOMPARE(text.size(), characters);
        QFile result(path(QStringLiteral("result.txt")));
        QVERIFY(result.open(QIODevice::ReadWrite | QIODevice::Truncate));
        QCOMPARE(result.write(text.toLatin1()), qint64(text.size()));
        QVERIFY(result.flush());
        const QString target = path(QStringLiteral("converted.txt"));
        const Outcome o = SaveLargeResultAs(result, TextEncoding::Gbk, target,
                                            TextEncoding::Utf16LeBom, LineBreak::Lf, true, {});
        QVERIFY2(o.ok(), qPrintable(o.message()));
        const QByteArray saved = ReadAll(target);
        QCOMPARE(saved.size(), size);
        QCOMPARE(saved, EncodeText(text, TextEncoding::Utf16LeBom)->bytes);
    }

    // The statistic of a large file lists as many rows as it has room for; its copy takes them
    // all, as the engine counts them.
    void statisticExportsEveryRow() {
        importLarge(QStringLiteral("s.txt"), 3000);
        click("Command1");
        QVERIFY(waitIdle());
        window->setStatisticRows(3);
        window->findChild<QAction*>(QStringLiteral("ShowRepeats"))->trigger();
        QVERIFY(waitIdle());
        RepeatsDialog* dialog = nullptr;
        QTRY_VERIFY((dialog = window->findChild<RepeatsDialog*>()));
        QCOMPARE(dialog->listText().count(QStringLiteral("\r\n")), 3);
        dialog->findChild<QPushButton*>(QStringLiteral("CopyRepeats"))->click();
        QTRY_VERIFY(!dialog->isExporting());
        EngineSettings settings;
        settings.collectRepeats = true;
        settings.repeatsLimit = 1 << 20;
        BytesSink sink;
        const EngineResult engine = FilterFiles({path(QStringLiteral("s.txt"))}, sink, settings);
        QCOMPARE(engine.repeats.size(), std::size_t(1000));
        QCOMPARE(services->clipboard, RepeatsListText(engine.repeats));
        dialog->close();
    }

    // The notices of the large-file mode take at most two lines of their box, so that the text
    // under them can be seen.
    void noticesInTwoLines() {
        importLarge(QStringLiteral("n.txt"), 123456);
        click("Command1");
        QVERIFY(waitIdle());
        for (TextBox* shown : {box("Text1"), box("Text2")}) {
            auto* notice = shown->findChild<QLabel*>(QStringLiteral("notice"));
            QVERIFY(notice->isVisible());
            const int lines =
                (notice->height() - 2 * notice->margin()) / notice->fontMetrics().lineSpacing();
            QVERIFY2(lines <= 2, qPrintable(notice->text()));
            QVERIFY2(notice->text().contains(shown == box("Text1") ? QStringLiteral("123,456")
                                                                   : QStringLiteral("41,152")),
                     qPrintable(notice->text()));
        }
        // The same lines pasted.
        click("Command3");
        window->setLargeFileBounds({qint64(1) << 40, 100000});
        pasteInto(QString(), 0, 0, GeneratedText(123456, QStringLiteral("\n")));
        QVERIFY(waitIdle());
        auto* notice = box("Text1")->findChild<QLabel*>(QStringLiteral("notice"));
        QVERIFY(notice->isVisible());
        QVERIFY2(notice->text().contains(QStringLiteral("粘贴过大，只读：")) &&
                     notice->text().contains(QStringLiteral("123,456")),
                 qPrintable(notice->text()));
        QVERIFY2((notice->height() - 2 * notice->margin()) / notice->fontMetrics().lineSpacing() <=
                     2,
                 qPrintable(notice->text()));
        // So would a million lines.
        const QString million =
            notice->text().replace(QStringLiteral("123,456"), QStringLiteral("1,000,000"));
        const QRect wrapped = notice->fontMetrics().boundingRect(
            notice->contentsRect().adjusted(notice->margin(), 0, -notice->margin(), 0),
            Qt::TextWordWrap, million);
        QVERIFY2(wrapped.height() / notice->fontMetrics().lineSpacing() <= 2, qPrintable(million));
    }

    // Text dropped on the box takes the way of a paste.
    void largeDropOfText() {
        window->setLargeFileBounds({qint64(1) << 40, 1000});
        const QString text = GeneratedText(1500, QStringLiteral("\n"));
        QMimeData mime;
        mime.setText(text);
        QWidget* viewport = box("Text1")->viewport();
        const QPoint at = viewport->rect().center();
        QDragEnterEvent enter(at, Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
        QCoreApplication::sendEvent(viewport, &enter);
        QDropEvent drop(at, Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
        QCoreApplication::sendEvent(viewport, &drop);
        QVERIFY(waitIdle());
        QVERIFY(window->isLargeInput());
        QCOMPARE(label("Label1"), QStringLiteral("过滤前共1500行"));
    }

    // Pastes with Ctrl+V through the system's clipboard, at `at` in the box's text (a selection
    // of it with `selected`), after `before` was typed.
    void pasteInto(const QString& before, qsizetype at, qsizetype selected, const QString& text) {
        TextBox* input = box("Text1");
        input->setText(before);
        QTextCursor cursor(input->document());
        // Positions in the document count a line break once.
        const auto position = [&](qsizetype in) {
            return int(in - QStringView(before).first(in).count(u"\r\n"));
        };
        cursor.setPosition(position(at));
        cursor.setPosition(position(at + selected), QTextCursor::KeepAnchor);
        input->setTextCursor(cursor);
        input->setFocus();
        QGuiApplication::clipboard()->setText(text);
        QTest::keyClick(input, Qt::Key_V, Qt::ControlModifier);
    }
    static qint64 LinesOf(const QString& text) {
        return text.count(u'\n') + 1 - (text.endsWith(u'\n') ? 1 : 0);
    }

    // A paste that makes the box hold more than a bound goes into the large-file mode, whatever
    // part of the box it replaces; at the bound, into the box as ever. Either way the count is
    // of the whole text, the filter's result (copied and saved) is that of the text as the paste
    // made it, and Ctrl+Z brings back the box as it was.
    void pasteAcrossTheBounds_data() {
        QTest::addColumn<bool>("byBytes");
        QTest::addColumn<int>("beyond"); // the text's size or lines minus the bound
        QTest::addColumn<QString>("before");
        QTest::addColumn<int>("at");
        QTest::addColumn<int>("selected");
        QTest::addColumn<int>("lines"); // pasted
        const QString typed = QStringLiteral("head 甲\r\nmiddle\r\ntail 乙");
        for (const bool byBytes : {true, false}) {
            const char* bound = byBytes ? "bytes" : "lines";
            QTest::addRow("%s at the bound, empty box", bound)
                << byBytes << 0 << QString() << 0 << 0 << 1500;
            QTest::addRow("%s one above, empty box", bound)
                << byBytes << 1 << QString() << 0 << 0 << 1500;
            QTest::addRow("%s at the bound, middle replaced", bound)
                << byBytes << 0 << typed << 9 << 8 << 1500;
            QTest::addRow("%s one above, middle replaced", bound)
                << byBytes << 1 << typed << 9 << 8 << 1500;
            QTest::addRow("%s one above, at the end", bound)
                << byBytes << 1 << typed << int(typed.size()) << 0 << 1500;
            QTest::addRow("%s one above, all selected", bound)
                << byBytes << 1 << typed << 0 << int(typed.size()) << 1500;
            // The box holds it, a slice at a time.
            QTest::addRow("%s at the bound, more lines than the box sets at once", bound)
                << byBytes << 0 << typed << 9 << 8 << int(TextBox::kImmediateLines + 1);
        }
    }
    void pasteAcrossTheBounds() {
        QFETCH(bool, byBytes);
        QFETCH(int, beyond);
        QFETCH(QString, before);
        QFETCH(int, at);
        QFETCH(int, selected);
        QFETCH(int, lines);
        // Line breaks as a clipboard under X11 has them.
        const QString pasted = GeneratedText(lines, QStringLiteral("\n"));
        const QString made = before.left(at) + pasted + before.mid(at + selected);
        const QString whole = NormalizeLineBreaks(made);
        // The pasted line breaks count as they are.
        const qint64 bytes = made.toUtf8().size();
        if (byBytes)
            window->setLargeFileBounds({bytes - beyond, 1000000});
        else
            window->setLargeFileBounds({qint64(1) << 40, LinesOf(whole) - beyond});
        const bool large = beyond > 0;
        pasteInto(before, at, selected, pasted);
        QVERIFY(waitIdle());
        TextBox* input = box("Text1");
        QCOMPARE(window->isLargeInput(), large);
        QCOMPARE(input->isReadOnly(), large);
        QCOMPARE(label("Label1"), QStringLiteral("过滤前共%1行").arg(CountNonBlankLines(whole)));
        QVERIFY(services->messages.isEmpty());
        if (large) {
            QVERIFY2(input->notice().startsWith(QStringLiteral("粘贴过大，只读：")),
                     qPrintable(input->notice()));
            QVERIFY(input->notice().contains(
                QStringLiteral("全部 %1 行").arg(Grouped(LinesOf(whole)))));
            QCOMPARE(input->documentText(), whole.left(input->documentText().size()));
            auto* notice = input->findChild<QLabel*>(QStringLiteral("notice"));
            QVERIFY((notice->height() - 2 * notice->margin()) /
                        notice->fontMetrics().lineSpacing() <=
                    2);
        } else {
            QCOMPARE(input->text(), whole);
        }

        window->findChild<QAction*>(QStringLiteral("OptionIgnoreCase"))->trigger();
        EngineSettings settings;
        settings.options = window->filterOptions();
        const QString expected = FilterText(whole, settings).text;
        click("Command1");
        QVERIFY(waitIdle());
        QCOMPARE(window->isLargeResult(), large);
        window->RunCommand(1);
        QVERIFY(waitIdle());
        QCOMPARE(services->clipboard, expected);
        // Saved by default as a typed text: GBK with CR LF.
        saveAnswering(path(QStringLiteral("pasted-out.txt")));
        QCOMPARE(ReadAll(path(QStringLiteral("pasted-out.txt"))),
                 EncodeText(expected, TextEncoding::Gbk)->bytes);
        QVERIFY(!services->saveHasOriginal());

        input->setFocus();
        QTest::keyClick(input, Qt::Key_Z, Qt::ControlModifier);
        QTRY_COMPARE(input->text(), before);
        QVERIFY(!window->isLargeInput());
        QVERIFY(!input->isReadOnly());
        QCOMPARE(label("Label1"), QStringLiteral("过滤前共%1行").arg(CountNonBlankLines(before)));
    }

    // While a large paste is at work, a typed key shows its progress and cancel at once (it is
    // not typed anywhere); the cancel leaves the box, its count and the mode as they were. So
    // for a paste the box holds but fills a slice at a time.
    void cancelLargePaste_data() {
        QTest::addColumn<QString>("before");
        QTest::addColumn<bool>("intoBox");
        for (const bool intoBox : {false, true}) {
            const char* where = intoBox ? "into the box" : "large";
            QTest::addRow("%s, empty box", where) << QString() << intoBox;
            QTest::addRow("%s, typed text", where) << QStringLiteral("typed\r\nmore") << intoBox;
        }
    }
    void cancelLargePaste() {
        QFETCH(QString, before);
        QFETCH(bool, intoBox);
        window->setLargeFileBounds({qint64(1) << 40, intoBox ? 1000000 : 1000});
        const int lines = intoBox ? int(TextBox::kImmediateLines) + 1 : 3000;
        pasteInto(before, before.size(), 0, GeneratedText(lines, QStringLiteral("\n")));
        QVERIFY(window->busy());
        TextBox* input = box("Text1");
        QVERIFY(!input->isProgressShown());
        QTest::keyClick(window.get(), Qt::Key_X);
        QVERIFY(input->isProgressShown());
        auto* cancel = input->findChild<QToolButton*>();
        QVERIFY(cancel && cancel->isVisible());
        QCOMPARE(input->text(), before);
        QTest::keyClick(window.get(), Qt::Key_Escape);
        QVERIFY(waitIdle());
        QTRY_COMPARE(QThreadPool::globalInstance()->activeThreadCount(), 0);
        QCOMPARE(input->text(), before);
        QVERIFY(!window->isLargeInput());
        QVERIFY(!input->isReadOnly());
        QVERIFY(!input->isProgressShown());
        QCOMPARE(label("Label1"), QStringLiteral("过滤前共%1行").arg(CountNonBlankLines(before)));
        QVERIFY(services->messages.isEmpty());
    }

    // The product's own bounds: a file one byte or one line above them opens in the large-file
    // mode.
    void productBounds_data() {
        QTest::addColumn<bool>("byBytes");
        QTest::newRow("bytes") << true;
        QTest::newRow("lines") << false;
    }
    void productBounds() {
        QFETCH(bool, byBytes);
        window->setLargeFileBounds(MainWindow::kLargeFileBounds);
        // Lines of 64 bytes, or of 4 bytes.
        const int width = byBytes ? 64 : 4;
        const qint64 lines = byBytes ? MainWindow::kLargeFileBounds.bytes / width
                                     : MainWindow::kLargeFileBounds.lines + 1;
        QByteArray bytes;
        bytes.reserve(lines * width + 1);
        for (qint64 i = 0; i < lines; ++i)
            bytes += QByteArray::number(i % 1000).rightJustified(width - 1, '0') + '\n';
        if (byBytes)
            bytes += 'y'; // one byte above the bound, on a line of its own
        QCOMPARE(bytes.size() > MainWindow::kLargeFileBounds.bytes, byBytes);
        WriteAll(path(QStringLiteral("product.txt")), bytes);
        bytes = QByteArray();
        importAnswering(path(QStringLiteral("product.txt")));
        QVERIFY(window->isLargeInput());
        QCOMPARE(label("Label1"), QStringLiteral("过滤前共%1行").arg(lines + (byBytes ? 1 : 0)));
        QCOMPARE(box("Text1")->document()->blockCount(), int(kPreviewLines));
        QFile::remove(path(QStringLiteral("product.txt")));
    }
};

QTEST_MAIN(LargeFileTest)
#include "tst_largefile.moc"
