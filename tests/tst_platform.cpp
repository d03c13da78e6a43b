#include "core/programwords.h"
#include "fakedesktopservices.h"
#include "platform/qtdesktopservices.h"

#include <QAbstractFileIconProvider>
#include <QApplication>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QSettings>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <functional>

namespace {

// Runs `act` on the real file dialog (Qt's own widgets, offscreen) once it is open.
void OnFileDialog(std::function<void(QFileDialog*)> act) {
    QTimer::singleShot(0, [act = std::move(act)] {
        QFileDialog* dialog = nullptr;
        QTRY_VERIFY((dialog = qobject_cast<QFileDialog*>(QApplication::activeModalWidget())));
        act(dialog);
    });
}

// Types a name into the dialog and presses its Save or Open button, as a user does.
void TypeAndAccept(QFileDialog* dialog, const QString& typed) {
    auto* edit = dialog->findChild<QLineEdit*>(QStringLiteral("fileNameEdit"));
    QVERIFY(edit);
    edit->setText(typed);
    auto* buttons = dialog->findChild<QDialogButtonBox*>(QStringLiteral("buttonBox"));
    QVERIFY(buttons);
    QPushButton* accept =
        buttons->button(dialog->acceptMode() == QFileDialog::AcceptSave ? QDialogButtonBox::Save
                                                                        : QDialogButtonBox::Open);
    QVERIFY(accept && accept->isEnabled());
    accept->click();
}

// Chooses a file type in the dialog's list as a user does, with the keyboard.
void ChooseType(QFileDialog* dialog, int index) {
    auto* types = dialog->findChild<QComboBox*>(QStringLiteral("fileTypeCombo"));
    QVERIFY(types);
    types->setFocus();
    while (types->currentIndex() < index)
        QTest::keyClick(types, Qt::Key_Down);
    while (types->currentIndex() > index)
        QTest::keyClick(types, Qt::Key_Up);
    QCOMPARE(types->currentIndex(), index);
}

const QString kFilter = QStringLiteral("文档文件(*.txt)|*.txt|所有文件(*.*)|*.*");

} // namespace

class PlatformTest : public QObject {
    Q_OBJECT
private slots:
    // Settings go to the test's own folders.
    void initTestCase() { QStandardPaths::setTestModeEnabled(true); }
    void cleanupTestCase() {
        QFile::remove(QSettings(QStringLiteral("Trennix"), QStringLiteral("trennix")).fileName());
    }

    void nameFilters() {
        QCOMPARE(ToQtNameFilters(QStringLiteral("文档文件(*.txt)|*.txt|所有文件(*.*)|*.*")),
                 QStringList({QStringLiteral("文档文件(*.txt) (*.txt)"),
                              QStringLiteral("所有文件(*.*) (*)")}));
        QCOMPARE(ToQtNameFilters(QStringLiteral("文本|*.txt;*.log")),
                 QStringList({QStringLiteral("文本 (*.txt *.log)")}));
        QVERIFY(ToQtNameFilters(QString()).isEmpty());
    }

    // The chosen path persists across both dialogs, starts the next one, and survives a cancel.
    void fileNamePersists() {
        FakeDesktopServices services;
        services.setFilter(QStringLiteral("a|*.a"));
        services.dialogAnswers = {QStringLiteral("/tmp/one.txt"), QString(),
                                  QStringLiteral("/tmp/two.txt")};
        QVERIFY(services.ShowOpen());
        QCOMPARE(services.fileName(), QStringLiteral("/tmp/one.txt"));
        QVERIFY(!services.ShowSave());
        QCOMPARE(services.fileName(), QStringLiteral("/tmp/one.txt"));
        QVERIFY(services.ShowSave());
        QCOMPARE(services.fileName(), QStringLiteral("/tmp/two.txt"));
        QCOMPARE(services.dialogsShown,
                 QStringList({QStringLiteral("open|a|*.a|") + DefaultDialogFolder(),
                              QStringLiteral("save|a|*.a|/tmp/one.txt"),
                              QStringLiteral("save|a|*.a|/tmp/one.txt")}));
    }

    // The first dialog starts in Documents, or home where there is none.
    void firstDialogFolder() {
        const QString documents =
            QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation);
        const QString expected = QFileInfo(documents).isDir() ? documents : QDir::homePath();
        QCOMPARE(DefaultDialogFolder(), expected);
        QVERIFY(QFileInfo(DefaultDialogFolder()).isDir());
    }

    // A name to save under gets the chosen type's extension when it has none.
    void saveSuffix_data() {
        QTest::addColumn<QString>("answer");
        QTest::addColumn<int>("filterIndex");
        QTest::addColumn<QString>("saved");
        QTest::newRow("txt type, bare name") << "/d/结果" << 0 << "/d/结果.txt";
        QTest::newRow("txt type, own extension") << "/d/结果.log" << 0 << "/d/结果.log";
        QTest::newRow("txt type, already .txt") << "/d/结果.txt" << 0 << "/d/结果.txt";
        QTest::newRow("dot in the folder only") << "/d.x/结果" << 0 << "/d.x/结果.txt";
        QTest::newRow("all files type") << "/d/结果" << 1 << "/d/结果";
        QTest::newRow("no such type") << "/d/结果" << 7 << "/d/结果";
    }
    void saveSuffix() {
        QFETCH(QString, answer);
        QFETCH(int, filterIndex);
        QFETCH(QString, saved);
        FakeDesktopServices services;
        services.setFilter(QStringLiteral("文档文件(*.txt)|*.txt|所有文件(*.*)|*.*"));
        services.dialogAnswers = {answer};
        services.dialogFilterChoices = {filterIndex};
        QVERIFY(services.ShowSave());
        QCOMPARE(services.fileName(), saved);
        // Opening never changes the chosen name.
        services.dialogAnswers = {answer};
        services.dialogFilterChoices = {filterIndex};
        QVERIFY(services.ShowOpen());
        QCOMPARE(services.fileName(), answer);
    }

    void defaultSuffix_data() {
        QTest::addColumn<QString>("filter");
        QTest::addColumn<int>("index");
        QTest::addColumn<QString>("suffix");
        QTest::newRow("txt") << "文档文件(*.txt)|*.txt|所有文件(*.*)|*.*" << 0 << "txt";
        QTest::newRow("all") << "文档文件(*.txt)|*.txt|所有文件(*.*)|*.*" << 1 << "";
        QTest::newRow("several") << "文本|*.txt;*.log" << 0 << "";
        QTest::newRow("wildcard") << "文本|*.t?t" << 0 << "";
        QTest::newRow("negative") << "文本|*.txt" << -1 << "";
        QTest::newRow("empty filter") << "" << 0 << "";
    }
    void defaultSuffix() {
        QFETCH(QString, filter);
        QFETCH(int, index);
        QFETCH(QString, suffix);
        QCOMPARE(DefaultSuffix(filter, index), suffix);
    }

    // What the Qt services remember is there for the next run (a new object), under its key;
    // in a file of the test's own, never the user's.
    void settingsOutliveTheServices_data() {
        QTest::addColumn<QString>("value");
        QTest::newRow("words") << "ignore-case keep=last";
        QTest::newRow("empty") << "";
        QTest::newRow("chinese") << "甲 乙";
    }
    void settingsOutliveTheServices() {
        QFETCH(QString, value);
        QVERIFY(QStandardPaths::isTestModeEnabled());
        {
            QtDesktopServices services;
            services.SaveSetting(QStringLiteral("Key"), value);
            services.SaveSetting(QStringLiteral("Other"), QStringLiteral("other"));
        }
        QtDesktopServices next;
        QCOMPARE(next.LoadSetting(QStringLiteral("Key")), value);
        QCOMPARE(next.LoadSetting(QStringLiteral("Never")), QString());
    }

    // The filter chosen in the dialog is found whether the dialog names it whole or, with its
    // patterns hidden, by its description alone.
    void nameFilterIndex_data() {
        QTest::addColumn<QString>("chosen");
        QTest::addColumn<int>("index");
        QTest::newRow("whole") << "所有文件(*.*) (*)" << 1;
        QTest::newRow("description") << "文档文件(*.txt)" << 0;
        QTest::newRow("description of the second") << "所有文件(*.*)" << 1;
        QTest::newRow("unknown") << "别的" << -1;
    }
    void nameFilterIndex() {
        QFETCH(QString, chosen);
        QFETCH(int, index);
        QCOMPARE(NameFilterIndex(ToQtNameFilters(kFilter), chosen), index);
    }

    // The real save dialog: a name typed without an extension is saved with ".txt" while
    // 文档文件(*.txt) is chosen (at first, and again after another type), with none under
    // 所有文件; and the dialog's own question about replacing a file is about that very file.
    void realSaveDialogAddsTxt_data() {
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QList<int>>("types"); // chosen in this order
        QTest::addColumn<QString>("saved");
        QTest::newRow("default type") << "out2" << QList<int>{} << "out2.txt";
        QTest::newRow("txt chosen again") << "out2" << QList<int>{1, 0} << "out2.txt";
        QTest::newRow("all files") << "out2" << QList<int>{1} << "out2";
        QTest::newRow("own extension") << "out2.log" << QList<int>{} << "out2.log";
        QTest::newRow("chinese name") << "结果" << QList<int>{} << "结果.txt";
    }
    void realSaveDialogAddsTxt() {
        QFETCH(QString, typed);
        QFETCH(QList<int>, types);
        QFETCH(QString, saved);
        QTemporaryDir folder;
        QtDesktopServices services;
        services.setFilter(kFilter);
        services.setFileName(folder.filePath(QStringLiteral("start.txt")));
        OnFileDialog([&](QFileDialog* dialog) {
            QCOMPARE(dialog->testOption(QFileDialog::DontUseNativeDialog), true);
            for (int type : types)
                ChooseType(dialog, type);
            TypeAndAccept(dialog, typed);
        });
        QVERIFY(services.ShowSave());
        QCOMPARE(services.fileName(), folder.filePath(saved));

        // The same name again, now that the file is there: the dialog asks about it by the name
        // it will really have.
        QFile existing(folder.filePath(saved));
        QVERIFY(existing.open(QIODevice::WriteOnly));
        existing.close();
        QString question;
        OnFileDialog([&](QFileDialog* dialog) {
            for (int type : types)
                ChooseType(dialog, type);
            QTimer::singleShot(0, [&] {
                QMessageBox* box = nullptr;
                QTRY_VERIFY((box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())));
                question = box->text();
                box->button(QMessageBox::Yes)->click();
            });
            TypeAndAccept(dialog, typed);
        });
        QVERIFY(services.ShowSave());
        QVERIFY2(question.contains(saved), qPrintable(question));
        QCOMPARE(services.fileName(), folder.filePath(saved));
    }

    // The save dialog offers the encoding and the line break, starting with the choice made
    // last, which is remembered for the next run; the open dialog offers neither, and takes
    // several files in the order they are named.
    void realSaveDialogOffersTheFormat() {
        QTemporaryDir folder;
        QtDesktopServices services;
        services.SaveSetting(DesktopServices::kSaveFormatKey, QString());
        services.setFilter(kFilter);
        services.setFileName(folder.filePath(QStringLiteral("start.txt")));
        OnFileDialog([&](QFileDialog* dialog) {
            auto* encoding = dialog->findChild<QComboBox*>(QStringLiteral("SaveEncoding"));
            auto* lineBreak = dialog->findChild<QComboBox*>(QStringLiteral("SaveLineBreak"));
            QVERIFY(encoding && lineBreak);
            QVERIFY(encoding->isVisible() && lineBreak->isVisible());
            QStringList items;
            for (int i = 0; i < encoding->count(); ++i)
                items.append(encoding->itemText(i));
            QCOMPARE(items, QStringList({"与原文件相同", "GBK", "GB18030", "UTF-8", "UTF-8 (BOM)",
                                         "UTF-16LE"}));
            items.clear();
            for (int i = 0; i < lineBreak->count(); ++i)
                items.append(lineBreak->itemText(i));
            QCOMPARE(items, QStringList({"与原文件相同", "CR LF", "LF"}));
            QCOMPARE(encoding->currentIndex(), 0);
            QCOMPARE(lineBreak->currentIndex(), 0);
            // Each has its label, which the keyboard reaches it by.
            for (QComboBox* combo : {encoding, lineBreak}) {
                bool labelled = false;
                for (const QLabel* label : dialog->findChildren<QLabel*>())
                    labelled = labelled || label->buddy() == combo;
                QVERIFY(labelled);
            }
            encoding->setCurrentIndex(3);
            lineBreak->setCurrentIndex(2);
            TypeAndAccept(dialog, QStringLiteral("a"));
        });
        QVERIFY(services.ShowSave());
        const SaveFormat chosen{SaveFormat::Encoding::Utf8, SaveFormat::Break::Lf};
        QCOMPARE(services.saveFormat(), chosen);

        // A text without an original file: the first choices name the default they stand for.
        services.setSaveHasOriginal(false);
        OnFileDialog([&](QFileDialog* dialog) {
            QCOMPARE(dialog->findChild<QComboBox*>(QStringLiteral("SaveEncoding"))->itemText(0),
                     QStringLiteral("GBK（默认）"));
            QCOMPARE(dialog->findChild<QComboBox*>(QStringLiteral("SaveLineBreak"))->itemText(0),
                     QStringLiteral("CR LF（默认）"));
            dialog->reject();
        });
        QVERIFY(!services.ShowSave());
        QCOMPARE(services.saveFormat(), chosen);

        QtDesktopServices nextRun;
        nextRun.setFilter(kFilter);
        nextRun.setFileName(folder.filePath(QStringLiteral("start.txt")));
        OnFileDialog([&](QFileDialog* dialog) {
            QCOMPARE(dialog->findChild<QComboBox*>(QStringLiteral("SaveEncoding"))->currentIndex(),
                     3);
            QCOMPARE(dialog->findChild<QComboBox*>(QStringLiteral("SaveLineBreak"))->currentIndex(),
                     2);
            dialog->reject();
        });
        QVERIFY(!nextRun.ShowSave());

        for (const char* name : {"b.txt", "a.txt"}) {
            QFile file(folder.filePath(QString::fromLatin1(name)));
            QVERIFY(file.open(QIODevice::WriteOnly));
        }
        OnFileDialog([&](QFileDialog* dialog) {
            QVERIFY(!dialog->findChild<QComboBox*>(QStringLiteral("SaveEncoding")));
            TypeAndAccept(dialog, QStringLiteral("\"b.txt\" \"a.txt\""));
        });
        QVERIFY(nextRun.ShowOpen());
        QCOMPARE(nextRun.fileNames(), QStringList({folder.filePath(QStringLiteral("b.txt")),
                                                   folder.filePath(QStringLiteral("a.txt"))}));
        QCOMPARE(nextRun.fileName(), folder.filePath(QStringLiteral("b.txt")));
    }

    // The remembered format reads back what was written; unknown words are passed over.
    void saveFormatText_data() {
        QTest::addColumn<QString>("text");
        QTest::addColumn<int>("encoding");
        QTest::addColumn<int>("lineBreak");
        QTest::newRow("nothing") << "" << 0 << 0;
        QTest::newRow("both") << "encoding=utf-16le break=lf" << 5 << 2;
        QTest::newRow("bom") << "encoding=utf-8-bom break=crlf" << 4 << 1;
        QTest::newRow("unknown words") << "encoding=ebcdic colour=blue break=lf" << 0 << 2;
    }
    void saveFormatText() {
        QFETCH(QString, text);
        QFETCH(int, encoding);
        QFETCH(int, lineBreak);
        const SaveFormat format = SaveFormatFromText(text);
        QCOMPARE(int(format.encoding), encoding);
        QCOMPARE(int(format.lineBreak), lineBreak);
        QCOMPARE(SaveFormatFromText(SaveFormatToText(format)), format);
    }

    // Through the fake: a save dialog starts with the remembered format, and a new choice is
    // remembered; a cancel or an open dialog remembers nothing.
    void formatRemembered() {
        FakeDesktopServices services;
        const SaveFormat gbkLf{SaveFormat::Encoding::Gbk, SaveFormat::Break::Lf};
        services.dialogAnswers = {QStringLiteral("/d/a.txt"), QString(), QStringLiteral("/d/b.txt"),
                                  QStringLiteral("/d/c.txt")};
        services.dialogFormatChoices = {gbkLf};
        QVERIFY(services.ShowSave());
        QCOMPARE(services.saveFormat(), gbkLf);
        QVERIFY(!services.ShowSave());
        QVERIFY(services.ShowOpen());
        QVERIFY(services.ShowSave());
        QCOMPARE(services.dialogFormatsShown, QList<SaveFormat>({SaveFormat{}, gbkLf, gbkLf}));
        QCOMPARE(services.saveFormat(), gbkLf);
        QCOMPARE(SaveFormatFromText(services.settings.value(DesktopServices::kSaveFormatKey)),
                 gbkLf);
    }

    // A message box stands over the middle of its window, and its text can be selected.
    void messageBoxOverTheWindow() {
        QWidget window;
        window.setGeometry(400, 300, 358, 332);
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        QtDesktopServices services(&window);
        QPoint centre;
        Qt::TextInteractionFlags flags;
        QTimer::singleShot(0, [&] {
            QMessageBox* box = nullptr;
            QTRY_VERIFY((box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())));
            centre = box->frameGeometry().center();
            flags = box->textInteractionFlags();
            box->accept();
        });
        services.MsgBox(QStringLiteral("https://example.org/"), DesktopServices::Critical,
                        QStringLiteral("无法打开网页"));
        QVERIFY2((centre - window.frameGeometry().center()).manhattanLength() < 40,
                 qPrintable(QStringLiteral("%1,%2").arg(centre.x()).arg(centre.y())));
        QVERIFY(flags & Qt::TextSelectableByMouse);
    }

    // A short text under a long title: the box is wide enough for the whole title beside the
    // title bar's icon and buttons (Qt's own allowance of 50 pixels is not), whether it tells or
    // asks.
    void messageBoxTitleFits_data() {
        QTest::addColumn<bool>("asks");
        QTest::addColumn<QString>("title");
        QTest::newRow("tells") << false << "过滤后的数据已经复制到剪贴板，可以粘贴到别处";
        QTest::newRow("asks") << true << "导入的文件可能不是文本文件，仍要导入吗";
    }
    void messageBoxTitleFits() {
        QFETCH(bool, asks);
        QFETCH(QString, title);
        QtDesktopServices services;
        int width = 0;
        QTimer::singleShot(0, [&] {
            QMessageBox* box = nullptr;
            QTRY_VERIFY((box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())));
            QTRY_VERIFY(box->isVisible());
            width = box->width();
            box->reject();
        });
        if (asks)
            services.AskOkCancel(QStringLiteral("好？"), title);
        else
            services.MsgBox(QStringLiteral("好。"), DesktopServices::Information, title);
        const QFontMetrics metrics(QApplication::font("QMdiSubWindowTitleBar"));
        QVERIFY2(width > metrics.horizontalAdvance(title) + 6 * metrics.height(),
                 qPrintable(QString::number(width)));
    }

    // Qt's own words in Chinese: its standard buttons, and the type of a folder in the file
    // dialog, which its translation lacks.
    void chineseStandardButtons() {
        InstallQtTranslation();
        QCOMPARE(QCoreApplication::translate("QPlatformTheme", "OK"), QStringLiteral("确定"));
        QCOMPARE(QCoreApplication::translate("QFileDialog", "Open"), QStringLiteral("打开"));
        const QTemporaryDir dir;
        QCOMPARE(QAbstractFileIconProvider().type(QFileInfo(dir.path())), QStringLiteral("文件夹"));
    }
};

QTEST_MAIN(PlatformTest)
#include "tst_platform.moc"
