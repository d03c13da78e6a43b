#include "app/commandline.h"

#include "core/programwords.h"
#include "ui/window/mainwindow.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QFileInfo>
#include <QPointer>
#include <QTextStream>
#include <QTimer>
#include <QWindow>

namespace {

// Qt's own options for programs with windows, which QApplication reads and removes from the
// arguments itself. They are accepted here so that they do not count as unknown: a desktop
// session, for one, restores a program with "-session ID".
struct QtOption {
    const char* name;
    bool takesValue;
};
constexpr QtOption kQtWindowOptions[] = {
    {"platform", true},        {"platformpluginpath", true},
    {"platformtheme", true},   {"plugin", true},
    {"qwindowgeometry", true}, {"qwindowicon", true},
    {"qwindowtitle", true},    {"session", true},
    {"display", true},         {"geometry", true},
    {"style", true},           {"stylesheet", true},
    {"qmljsdebugger", true},   {"reverse", false},
    {"widgetcount", false},    {"nograb", false},
    {"dograb", false},
};

const QCommandLineOption kHelp({QStringLiteral("h"), QStringLiteral("help")},
                               QStringLiteral("显示本帮助，然后退出。"));
const QCommandLineOption kVersion({QStringLiteral("v"), QStringLiteral("version")},
                                  QStringLiteral("显示版本号，然后退出。"));

void Declare(QCommandLineParser& parser) {
    // Qt's options are single words after one dash, so "-h" and "-platform" read alike.
    parser.setSingleDashWordOptionMode(QCommandLineParser::ParseAsLongOptions);
    parser.setApplicationDescription(
        QStringLiteral("Trennix：删除文本中的重复行，每行只保留第一次出现，顺序不变。"));
    parser.addOption(kHelp);
    parser.addOption(kVersion);
    parser.addPositionalArgument(
        QStringLiteral("文件"),
        QStringLiteral("启动后导入输入框的文本文件，如同在“导入数据”中选择了它们："
                       "多个文件按顺序合为一个文本。"),
        QStringLiteral("[文件...]"));
    for (const QtOption& qt : kQtWindowOptions) {
        QCommandLineOption option(QString::fromLatin1(qt.name));
        if (qt.takesValue)
            option.setValueName(QStringLiteral("value"));
        option.setFlags(QCommandLineOption::HiddenFromHelp);
        parser.addOption(option);
    }
}

} // namespace

WindowCommandLine ParseWindowCommandLine(const QStringList& arguments) {
    QCommandLineParser parser;
    Declare(parser);
    WindowCommandLine line;
    if (!parser.parse(arguments)) {
        line.action = WindowCommandLine::Action::UsageError;
        line.error = parser.errorText();
        // Qt names an unknown option without its dashes.
        if (parser.unknownOptionNames().size() == 1)
            line.error =
                UnknownOptionMessage(arguments.mid(1), parser.unknownOptionNames().constFirst());
    } else if (parser.isSet(kHelp)) {
        line.action = WindowCommandLine::Action::ShowHelp;
    } else if (parser.isSet(kVersion)) {
        line.action = WindowCommandLine::Action::ShowVersion;
    } else {
        line.files = parser.positionalArguments();
    }
    return line;
}

QString WindowHelpText() {
    QCommandLineParser parser;
    Declare(parser);
    QString text = parser.helpText();
    // Qt names the program by the path it was started with.
    const QStringList arguments = QCoreApplication::arguments();
    if (!arguments.isEmpty()) {
        const qsizetype firstLine = text.indexOf(u'\n');
        const qsizetype at = text.indexOf(arguments.constFirst());
        if (at >= 0 && (firstLine < 0 || at < firstLine))
            text.replace(at, arguments.constFirst().size(), QStringLiteral("trennix"));
    }
    return text;
}

QString ProgramVersion() {
    return QStringLiteral(TRENNIX_VERSION);
}

std::optional<int> AnswerWithoutWindow(int argc, char** argv, QStringList& files) {
    QStringList arguments;
    arguments.reserve(argc);
    for (int i = 0; i < argc; ++i)
        arguments.append(QString::fromLocal8Bit(argv[i]));
    WindowCommandLine line = ParseWindowCommandLine(arguments);
    if (line.action == WindowCommandLine::Action::OpenWindow) {
        files = line.files;
        return std::nullopt;
    }

    // Printing needs no window, only Qt's Chinese translation of the parser's own words (which
    // come from parsing again once it is installed), which a QCoreApplication takes without a
    // display.
    int coreArgc = argc;
    const QCoreApplication app(coreArgc, argv);
    InstallQtTranslation();
    line = ParseWindowCommandLine(arguments);
    switch (line.action) {
    case WindowCommandLine::Action::ShowHelp:
        QTextStream(stdout) << WindowHelpText();
        return 0;
    case WindowCommandLine::Action::ShowVersion:
        QTextStream(stdout) << "trennix " << ProgramVersion() << '\n';
        return 0;
    default:
        QTextStream(stderr) << "trennix: " << line.error << "\n\n" << WindowHelpText();
        return 2;
    }
}

namespace {

// Calls `then` once the window has been shown on the screen; until then, the window manager may
// not yet have placed it, and a message box centred on it would stand in a corner.
class WhenExposed final : public QObject {
public:
    WhenExposed(QWidget& window, std::function<void()> then)
        : QObject(&window), window_(&window), then_(std::move(then)) {
        window.winId(); // makes its QWindow
        window.windowHandle()->installEventFilter(this);
        if (window.windowHandle()->isExposed())
            fire();
    }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() == QEvent::Expose && window_ && window_->windowHandle()->isExposed())
            fire();
        return QObject::eventFilter(watched, event);
    }

private:
    void fire() {
        if (!then_)
            return;
        // At the next turn of the event loop, after the window's own handling of the event.
        QTimer::singleShot(0, this, [then = std::exchange(then_, nullptr), this] {
            then();
            deleteLater();
        });
    }
    QPointer<QWidget> window_;
    std::function<void()> then_;
};

} // namespace

void OpenFiles(MainWindow& window, const QStringList& files) {
    if (files.isEmpty())
        return;
    // The import dialog hands over full paths, and so the dialog starts there next time.
    QStringList paths;
    for (const QString& file : files)
        paths.append(QFileInfo(file).absoluteFilePath());
    new WhenExposed(window, [&window, paths] { window.importChosenFiles(paths); });
}
