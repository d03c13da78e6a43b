#include "core/programwords.h"

#include "core/shown.h"

#include <QCoreApplication>
#include <QLibraryInfo>
#include <QLocale>
#include <QPointer>
#include <QTranslator>

namespace {

// The words of Qt's file dialog that its Chinese translation of this version lacks: the type
// column names a folder by a context the translation does not hold yet.
class MissingQtWords final : public QTranslator {
public:
    using QTranslator::QTranslator;
    bool isEmpty() const override { return false; }
    QString translate(const char* context, const char* source, const char* disambiguation,
                      int n) const override {
        Q_UNUSED(disambiguation);
        Q_UNUSED(n);
        if (qstrcmp(context, "QAbstractFileIconProvider") != 0)
            return {};
        static const struct {
            const char* source;
            const char16_t* words;
        } kWords[] = {{"Folder", u"文件夹"}, {"File Folder", u"文件夹"}, {"Drive", u"驱动器"},
                      {"Alias", u"别名"},    {"Shortcut", u"快捷方式"},  {"Unknown", u"未知"}};
        for (const auto& word : kWords) {
            if (qstrcmp(source, word.source) == 0)
                return QString::fromUtf16(word.words);
        }
        return {};
    }
};

} // namespace

void InstallQtTranslation() {
    QCoreApplication* application = QCoreApplication::instance();
    if (!application)
        return;
    // Belongs to the application it was installed into, and goes with it.
    static QPointer<QTranslator> installed;
    if (installed && installed->parent() == application)
        return;
    auto* translator = new QTranslator(application);
    if (translator->load(QLocale(QLocale::Chinese, QLocale::China), QStringLiteral("qtbase"),
                         QStringLiteral("_"), QLibraryInfo::path(QLibraryInfo::TranslationsPath))) {
        QCoreApplication::installTranslator(translator);
        installed = translator;
        // Installed last, so asked first; it answers those few words only.
        QCoreApplication::installTranslator(new MissingQtWords(application));
    } else {
        delete translator;
    }
}

QString UnknownOptionMessage(const QStringList& arguments, const QString& name) {
    // The parser reads "-name", "--name" and "--name=value" alike.
    QString typed = QStringLiteral("--") + name;
    for (const QString& argument : arguments) {
        if (argument == u"--")
            break;
        const QString option = argument.section(u'=', 0, 0);
        if (option.startsWith(u'-') && option.mid(option.startsWith(u"--") ? 2 : 1) == name) {
            typed = option;
            break;
        }
    }
    return QStringLiteral("未知选项“%1”。").arg(Shown(typed));
}
