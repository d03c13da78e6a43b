#include "app/commandline.h"

#include "platform/desktopservices.h"
#include "ui/mainwindow.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QFileInfo>
#include <QLibraryInfo>
#include <QLocale>
#include <QTextStream>
#include <QTranslator>

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
        QStringLiteral("启动后导入输入框的文本文件，如同在“导入数据”中选择了它。"
                       "给出多个文件时只导入第一个。"),
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
    return parser.helpText();
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
    // come from parsing again once it is installed). The window's InstallQtTranslation() wants a
    // QApplication, which would need a display.
    int coreArgc = argc;
    const QCoreApplication app(coreArgc, argv);
    QTranslator translator;
    if (translator.load(QLocale(QLocale::Chinese, QLocale::China), QStringLiteral("qtbase"),
                        QStringLiteral("_"), QLibraryInfo::path(QLibraryInfo::TranslationsPath)))
        QCoreApplication::installTranslator(&translator);
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

void OpenFiles(MainWindow& window, DesktopServices& services, const QStringList& files) {
    if (files.isEmpty())
        return;
    // The import dialog hands over a full path, and so the dialog starts there next time.
    window.importChosenFile(QFileInfo(files.first()).absoluteFilePath());
    if (files.size() > 1)
        services.MsgBox(
            QStringLiteral("一次只能导入一个文件。已导入：\n%1\n\n以下文件没有导入：\n%2")
                .arg(files.first(), files.mid(1).join(u'\n')),
            DesktopServices::Information, QStringLiteral("提示"));
}
