#include "platform/qtdesktopservices.h"

#include <QAbstractButton>
#include <QApplication>
#include <QClipboard>
#include <QComboBox>
#include <QDesktopServices>
#include <QFileDialog>
#include <QFileInfo>
#include <QGridLayout>
#include <QLabel>
#include <QMessageBox>
#include <QScreen>
#include <QSettings>
#include <QTimer>
#include <QUrl>

QStringList ToQtNameFilters(const QString& filter) {
    QStringList result;
    const QStringList parts = filter.split(u'|');
    for (qsizetype i = 0; i + 1 < parts.size(); i += 2) {
        QString pattern = parts[i + 1];
        pattern.replace(QStringLiteral("*.*"), QStringLiteral("*"));
        pattern.replace(u';', u' ');
        result.append(parts[i] + QStringLiteral(" (") + pattern + u')');
    }
    return result;
}

// With its patterns hidden, the dialog names a filter by the part before " (patterns)".
int NameFilterIndex(const QStringList& filters, const QString& chosen) {
    for (qsizetype i = 0; i < filters.size(); ++i) {
        const QString& f = filters[i];
        if (f == chosen || f.left(f.lastIndexOf(QStringLiteral(" ("))) == chosen)
            return int(i);
    }
    return -1;
}

namespace {

// Adds a labelled list of choices as a new row of the dialog's own grid, under the file type.
QComboBox* AddChoiceRow(QFileDialog& dialog, const QString& name, const QString& caption,
                        const QStringList& items, int current) {
    auto* grid = qobject_cast<QGridLayout*>(dialog.layout());
    auto* combo = new QComboBox(&dialog);
    combo->setObjectName(name);
    combo->addItems(items);
    combo->setCurrentIndex(current);
    auto* label = new QLabel(caption, &dialog);
    label->setBuddy(combo);
    if (grid) {
        const int row = grid->rowCount();
        grid->addWidget(label, row, 0);
        grid->addWidget(combo, row, 1);
    }
    return combo;
}

} // namespace

DesktopServices::Choice QtDesktopServices::chooseFile(DialogKind kind, const QString& filter,
                                                      const QString& startPath,
                                                      const SaveFormat& format) {
    QFileDialog dialog(parent_);
    dialog.setOption(QFileDialog::DontUseNativeDialog);
    // The descriptions already show their patterns; the dialog need not repeat them.
    dialog.setOption(QFileDialog::HideNameFilterDetails);
    dialog.setAcceptMode(kind == DialogKind::Open ? QFileDialog::AcceptOpen
                                                  : QFileDialog::AcceptSave);
    dialog.setFileMode(kind == DialogKind::Open ? QFileDialog::ExistingFiles
                                                : QFileDialog::AnyFile);
    const QStringList filters = ToQtNameFilters(filter);
    if (!filters.isEmpty())
        dialog.setNameFilters(filters);
    // The dialog adds the chosen type's extension itself, so that its question about replacing
    // an existing file is about the file that will really be written. It follows the list of
    // types itself, which changes by mouse, keyboard or typing alike.
    auto followFilter = [&] {
        if (kind == DialogKind::Save)
            dialog.setDefaultSuffix(
                DefaultSuffix(filter, NameFilterIndex(filters, dialog.selectedNameFilter())));
    };
    if (auto* types = dialog.findChild<QComboBox*>(QStringLiteral("fileTypeCombo")))
        QObject::connect(types, &QComboBox::currentIndexChanged, &dialog, followFilter);
    QObject::connect(&dialog, &QFileDialog::filterSelected, &dialog, followFilter);
    followFilter();
    QComboBox* encoding = nullptr;
    QComboBox* lineBreak = nullptr;
    if (kind == DialogKind::Save) {
        encoding =
            AddChoiceRow(dialog, QStringLiteral("SaveEncoding"), QStringLiteral("编码(&E)："),
                         SaveEncodingNames(saveHasOriginal()), int(format.encoding));
        lineBreak =
            AddChoiceRow(dialog, QStringLiteral("SaveLineBreak"), QStringLiteral("换行(&L)："),
                         SaveLineBreakNames(saveHasOriginal()), int(format.lineBreak));
    }
    // Within the screen, however large the scale factor makes Qt's dialog.
    if (const QScreen* screen = parent_ ? parent_->screen() : QGuiApplication::primaryScreen())
        dialog.resize(dialog.sizeHint().boundedTo(screen->availableSize() * 9 / 10));
    if (QFileInfo(startPath).isDir())
        dialog.setDirectory(startPath);
    else if (!startPath.isEmpty())
        dialog.selectFile(startPath);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return {};
    Choice choice;
    choice.paths = kind == DialogKind::Open ? dialog.selectedFiles()
                                            : QStringList{dialog.selectedFiles().constFirst()};
    choice.filterIndex = NameFilterIndex(filters, dialog.selectedNameFilter());
    if (encoding && lineBreak)
        choice.format = {SaveFormat::Encoding(std::max(0, encoding->currentIndex())),
                         SaveFormat::Break(std::max(0, lineBreak->currentIndex()))};
    return choice;
}

namespace {

// A message box is as wide as its text needs; a short text under a longer title would leave the
// title cut in the title bar. A row as wide as the title, with room for the bar's icon and
// buttons, keeps it whole (within the screen).
void FitTitle(QMessageBox& box) {
    auto* grid = qobject_cast<QGridLayout*>(box.layout());
    if (!grid)
        return;
    const QFontMetrics metrics(QApplication::font("QMdiSubWindowTitleBar"));
    int width = metrics.horizontalAdvance(box.windowTitle()) + 8 * metrics.height();
    if (const QScreen* screen = box.screen())
        width = std::min(width, screen->availableSize().width() * 9 / 10);
    grid->addItem(new QSpacerItem(width, 0, QSizePolicy::Minimum, QSizePolicy::Fixed),
                  grid->rowCount(), 0, 1, grid->columnCount());
}

} // namespace

void QtDesktopServices::MsgBox(const QString& prompt, int style, const QString& title) {
    QMessageBox::Icon icon = QMessageBox::NoIcon;
    if (style == Critical)
        icon = QMessageBox::Critical;
    else if (style == Information)
        icon = QMessageBox::Information;
    QMessageBox box(icon, title, prompt, QMessageBox::Ok, parent_);
    box.setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
    FitTitle(box);
    box.exec();
}

bool QtDesktopServices::AskOkCancel(const QString& prompt, const QString& title) {
    QMessageBox box(QMessageBox::Question, title, prompt, QMessageBox::Ok | QMessageBox::Cancel,
                    parent_);
    box.button(QMessageBox::Ok)->setText(QStringLiteral("确定"));
    box.button(QMessageBox::Cancel)->setText(QStringLiteral("取消"));
    box.setDefaultButton(QMessageBox::Cancel);
    FitTitle(box);
    return box.exec() == QMessageBox::Ok;
}

void QtDesktopServices::ClipboardClear() {
    QGuiApplication::clipboard()->clear();
}

void QtDesktopServices::ClipboardSetText(const QString& text) {
    QGuiApplication::clipboard()->setText(text);
}

void QtDesktopServices::OpenPublisherPage() {
    // Started from the event loop so that the caller never waits for the browser; the result is
    // not reported, as a page that was not asked for is no reason to disturb the user.
    QTimer::singleShot(0, qApp, [] { QDesktopServices::openUrl(QUrl(PublisherPageCommand())); });
}

bool QtDesktopServices::ShowPublisherPage() {
    return QDesktopServices::openUrl(QUrl(PublisherPageCommand()));
}

namespace {
const QString kOrganization = QStringLiteral("Trennix");
const QString kApplication = QStringLiteral("trennix");
} // namespace

QString QtDesktopServices::LoadSetting(const QString& key) {
    const QSettings settings(kOrganization, kApplication);
    return settings.value(key).toString();
}

void QtDesktopServices::SaveSetting(const QString& key, const QString& value) {
    QSettings settings(kOrganization, kApplication);
    settings.setValue(key, value);
}
