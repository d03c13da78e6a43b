#include "files/savenames.h"

#include "core/shown.h"
#include "files/posixfile.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QRandomGenerator>

namespace {

// How many symbolic links a path may pass through, as the system allows.
constexpr int kMaxLinkHops = 40;
// The longest name, in bytes, kept from a file's name in the names of the files beside it.
constexpr qsizetype kMaxSiblingStem = 200;
constexpr qsizetype kSuffixLetters = 6;

QString Stem(const QString& fileName) {
    QString stem = fileName;
    while (QFile::encodeName(stem).size() > kMaxSiblingStem)
        stem.chop(stem.size() >= 2 && stem.back().isLowSurrogate() ? 2 : 1);
    return stem;
}

// The random part of a sibling's name.
bool IsSuffix(QStringView text) {
    if (text.size() != kSuffixLetters)
        return false;
    return std::all_of(text.begin(), text.end(), [](QChar c) {
        return (c >= u'a' && c <= u'z') || (c >= u'0' && c <= u'9');
    });
}

// The name a backup was made for (cut as Stem cuts it), when `name` is one.
std::optional<QString> BackupStem(const QString& name) {
    const QString marker = u'.' + kBackupTag + u'-';
    const qsizetype at = name.size() - kSuffixLetters - marker.size();
    if (at <= 0 || QStringView(name).sliced(at, marker.size()) != marker ||
        !IsSuffix(QStringView(name).sliced(at + marker.size())))
        return std::nullopt;
    return name.left(at);
}

QString Joined(const QString& folder, const QString& name) {
    return folder.endsWith(u'/') ? folder + name : folder + u'/' + name;
}

} // namespace

std::optional<SavePlace> PlaceOfSave(const QString& path) {
    SavePlace place;
    QString current = QDir::isAbsolutePath(path) ? path : Joined(QDir::currentPath(), path);
    const QString ownHandles = OwnHandlesFolder();
    for (int hop = 0; hop <= kMaxLinkHops; ++hop) {
        const qsizetype slash = current.lastIndexOf(u'/');
        const QString name = current.mid(slash + 1);
        if (name.isEmpty() || name == u"." || name == u"..") {
            // A folder, which no save writes: named as the system names it.
            const QString resolved = ResolvedPath(current);
            place.path = resolved.isEmpty() ? current : resolved;
            return place;
        }
        const QString folderPart = slash <= 0 ? QStringLiteral("/") : current.left(slash);
        const QString folder = ResolvedPath(folderPart);
        if (folder.isEmpty()) {
            // A folder that is not there: the save fails, and only the same spelling is the same.
            // Never tidied by its spelling: "gone/../x" is no name of "x" while "gone" is missing.
            place.path = current;
            return place;
        }
        if (place.handle < 0 && !ownHandles.isEmpty() && folder == ownHandles) {
            bool isNumber = false;
            const int handle = name.toInt(&isNumber);
            if (isNumber && handle >= 0)
                place.handle = handle;
        }
        current = Joined(folder, name);
        QString target;
        int errnum = 0;
        if (!ReadLink(current, &target, &errnum)) {
            place.path = current;
            return place;
        }
        current = QDir::isAbsolutePath(target) ? target : Joined(folder, target);
    }
    return std::nullopt;
}

bool SameSavePlace(const QString& a, const QString& b) {
    const std::optional<SavePlace> first = PlaceOfSave(a);
    const std::optional<SavePlace> second = PlaceOfSave(b);
    if (!first || !second)
        return false;
    int errnum = 0;
    const FileStatus one = StatusOfPath(first->path, true, &errnum);
    const FileStatus other = StatusOfPath(second->path, true, &errnum);
    if (one.kind != FileKind::Missing && other.kind != FileKind::Missing)
        return one.sameFile(other);
    return first->path == second->path;
}

QString SiblingName(const QString& target, const QString& tag, bool hidden) {
    const qsizetype slash = target.lastIndexOf(u'/');
    const QString folder = slash < 0 ? QDir::currentPath() : target.left(slash);
    static const char kLetters[] = "abcdefghijklmnopqrstuvwxyz0123456789";
    QString suffix;
    for (int i = 0; i < kSuffixLetters; ++i)
        suffix += QLatin1Char(kLetters[QRandomGenerator::global()->bounded(36)]);
    return Joined(folder.isEmpty() ? QStringLiteral("/") : folder,
                  (hidden ? QStringLiteral(".") : QString()) + Stem(target.mid(slash + 1)) + u'.' +
                      tag + u'-' + suffix);
}

QStringList LeftBackupsOf(const QString& path) {
    const std::optional<SavePlace> place = PlaceOfSave(path);
    if (!place)
        return {};
    const qsizetype slash = place->path.lastIndexOf(u'/');
    const QString folder = slash <= 0 ? QStringLiteral("/") : place->path.left(slash);
    const QString stem = Stem(place->path.mid(slash + 1));
    int errnum = 0;
    const FileStatus file = StatusOfPath(place->path, false, &errnum);
    QStringList found;
    QDirIterator it(folder, QDir::Files | QDir::Hidden | QDir::System | QDir::NoSymLinks);
    while (it.hasNext()) {
        it.next();
        const std::optional<QString> of = BackupStem(it.fileName());
        // Made for this name, or for another name of the same file (a hard link beside it).
        if (of &&
            (*of == stem || (file.kind == FileKind::Regular &&
                             StatusOfPath(Joined(folder, *of), false, &errnum).sameFile(file))))
            found << Joined(folder, it.fileName());
    }
    found.sort();
    return found;
}

std::optional<QString> BackedUpFile(const QString& path) {
    const std::optional<SavePlace> place = PlaceOfSave(path);
    if (!place)
        return std::nullopt;
    const qsizetype slash = place->path.lastIndexOf(u'/');
    const std::optional<QString> of = BackupStem(place->path.mid(slash + 1));
    if (!of)
        return std::nullopt;
    const QString original =
        Joined(slash <= 0 ? QStringLiteral("/") : place->path.left(slash), *of);
    int errnum = 0;
    if (StatusOfPath(original, false, &errnum).kind == FileKind::Missing)
        return std::nullopt;
    return original;
}

QString LeftBackupsNotice(const QString& path, const QStringList& backups) {
    QStringList shown;
    for (const QString& backup : backups)
        shown << ShownPath(backup);
    return QStringLiteral("注意：%1 旁边有%2份备份：\n%3\n这是在原处保存它时先存下的原内容。"
                          "那次保存没有做完（程序被强行结束或断电）：%1 可能只写进了一部分新内容，"
                          "备份也可能没有写完。请先核对两者，再自行处理备份；本程序不会删除或改写"
                          "备份。")
        .arg(ShownPath(path),
             backups.size() == 1 ? QStringLiteral("一")
                                 : QStringLiteral(" %1 ").arg(backups.size()),
             shown.join(u'\n'));
}
