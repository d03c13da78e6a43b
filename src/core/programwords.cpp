#include "core/programwords.h"

#include "core/shown.h"

#include <QCoreApplication>
#include <QLibraryInfo>
#include <QLocale>
#include <QPointer>
#include <QTranslator>

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
