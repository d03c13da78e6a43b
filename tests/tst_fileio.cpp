#include "filehelpers.h"
#include "files/posixfile.h"
#include "files/safefile.h"
#include "files/savenames.h"
#include "files/textfile.h"

#include <QDir>
#include <QFileInfo>
#include <QProcess>
#include <QRegularExpression>
#include <QStorageInfo>
#include <QTemporaryDir>
#include <QTest>

#include <chrono>
#include <future>
#include <grp.h>
#include <optional>
#include <pwd.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <sys/xattr.h>
#include <unistd.h>

Q_DECLARE_METATYPE(LineBreak)
Q_DECLARE_METATYPE(TextEncoding)

namespace {

// The system calls the tests need to set up files, each in one place.
bool SetAttribute(const QString& path, const char* name, const QByteArray& value) {
    return setxattr(QFile::encodeName(path).constData(), name, value.constData(),
                    size_t(value.size()), 0) == 0;
}

QByteArray Attribute(const QString& path, const char* name) {
    QByteArray value(256, '\0');
    const ssize_t size =
        getxattr(QFile::encodeName(path).constData(), name, value.data(), size_t(value.size()));
    return size < 0 ? QByteArray("(none)") : value.first(size);
}

bool MakeFifo(const QString& path) {
    return mkfifo(QFile::encodeName(path).constData(), 0600) == 0;
}

// A listening Unix socket at `path`; the returned descriptor keeps it alive.
int MakeSocket(const QString& path) {
    const int fd = socket(AF_UNIX, SOCK_STREAM, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    const QByteArray name = QFile::encodeName(path);
    if (fd < 0 || size_t(name.size()) >= sizeof(address.sun_path))
        return -1;
    qstrcpy(address.sun_path, name.constData());
    // NOLINTNEXTLINE: the socket interface takes its addresses this way
    if (bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof(address)) != 0) {
        close(fd);
        return -1;
    }
    return fd;
}

void SetOwnerAndMode(const QString& path, uint owner, uint group, uint mode) {
    const QByteArray name = QFile::encodeName(path);
    if (chown(name.constData(), owner, group) != 0 || chmod(name.constData(), mode) != 0)
        qFatal("cannot give %s its owner and mode", name.constData());
}

struct Account {
    uint user = 0;
    uint group = 0;
};

// The unprivileged account the ownership tests act as: nobody, in its own group.
std::optional<Account> Nobody() {
    const passwd* user = getpwnam("nobody");
    if (!user)
        return std::nullopt;
    return Account{user->pw_uid, user->pw_gid};
}

// Acts as another user until destroyed. Only root can, and come back.
class ActingAs {
public:
    explicit ActingAs(const Account& account) {
        const gid_t group = account.group;
        ok_ =
            setgroups(1, &group) == 0 && setegid(account.group) == 0 && seteuid(account.user) == 0;
    }
    ~ActingAs() {
        const gid_t root = 0;
        if (seteuid(0) != 0 || setegid(0) != 0 || setgroups(1, &root) != 0)
            qFatal("cannot act as root again");
    }
    ActingAs(const ActingAs&) = delete;
    ActingAs& operator=(const ActingAs&) = delete;
    bool ok() const { return ok_; }

private:
    bool ok_ = false;
};

FileStatus StatusOf(const QString& path) {
    int errnum = 0;
    return StatusOfPath(path, false, &errnum);
}

QByteArray Pattern(qint64 size, char seed) {
    QByteArray bytes(size, Qt::Uninitialized);
    for (qint64 i = 0; i < size; ++i)
        bytes[i] = char('a' + (seed + i * 7) % 26);
    return bytes;
}

// True when no system's own English text for an error number is in the message.
bool FreeOfSystemText(const QString& message) {
    for (int e = 1; e < 134; ++e) {
        if (message.contains(qt_error_string(e), Qt::CaseInsensitive))
            return false;
    }
    return !message.contains(QStringLiteral("error"), Qt::CaseInsensitive);
}

} // namespace

class FileIoTest : public QObject {
    Q_OBJECT
    QTemporaryDir dir;
    int testNumber = 0;
    QString folder; // a fresh folder for each test function and row

    QString path(const QString& name) const { return folder + u'/' + name; }

private slots:
    void initTestCase() {
        QVERIFY(dir.isValid());
        // Lets the other user of the ownership tests reach the folders below.
        QFile::setPermissions(dir.path(), QFileDevice::ReadOwner | QFileDevice::WriteOwner |
                                              QFileDevice::ExeOwner | QFileDevice::ReadOther |
                                              QFileDevice::ExeOther | QFileDevice::ReadGroup |
                                              QFileDevice::ExeGroup);
    }
    void init() {
        folder = dir.filePath(QString::number(++testNumber));
        QVERIFY(QDir().mkpath(folder));
    }

    // Nothing but a regular file is read, and asking never waits for anything.
    void specialFilesRefused_data() {
        QTest::addColumn<QString>("kind");
        QTest::addColumn<bool>("save");
        QTest::addColumn<QString>("reason");
        QTest::newRow("fifo without a writer") << "fifo" << false << "命名管道";
        QTest::newRow("save to a fifo") << "fifo" << true << "命名管道";
        QTest::newRow("/dev/zero") << "/dev/zero" << false << "字符设备";
        QTest::newRow("/dev/urandom") << "/dev/urandom" << false << "字符设备";
        QTest::newRow("unix socket") << "socket" << false << "套接字";
        QTest::newRow("save to a socket") << "socket" << true << "套接字";
    }
    void specialFilesRefused() {
        QFETCH(QString, kind);
        QFETCH(bool, save);
        QFETCH(QString, reason);
        QString target = kind;
        int socketFd = -1;
        if (kind == QLatin1String("fifo")) {
            target = path(QStringLiteral("fifo"));
            QVERIFY(MakeFifo(target));
        } else if (kind == QLatin1String("socket")) {
            target = path(QStringLiteral("socket"));
            socketFd = MakeSocket(target);
            QVERIFY(socketFd >= 0);
        }
        auto answer = std::async(std::launch::async, [&] {
            return save ? SaveTextFile(target, u"x", TextEncoding::Gbk).outcome.message()
                        : ImportTextFile(target).outcome.message();
        });
        // A call that waits for a writer never returns at all; one that does not returns well
        // within this second.
        const bool answered = answer.wait_for(std::chrono::seconds(1)) == std::future_status::ready;
        if (!answered && kind == QLatin1String("fifo")) {
            QFile writer(target); // lets a reader that waits go on, so that the test can end
            writer.open(QIODevice::WriteOnly);
        }
        const QString error = answer.get();
        if (socketFd >= 0)
            close(socketFd);
        QVERIFY2(answered, "the call waited");
        QVERIFY2(error.contains(reason), qPrintable(error));
        QVERIFY(error.contains(QStringLiteral("不是普通文件")));
    }

    // The bound holds at exactly its size, also for files that report no size or cross the
    // piece in which they are read.
    void boundCrossed_data() {
        QTest::addColumn<QString>("source"); // a file name, or a file of the system
        QTest::addColumn<qint64>("size");
        QTest::addColumn<qint64>("bound");
        const qint64 proc = ReadAll(QStringLiteral("/proc/self/cmdline")).size();
        QTest::newRow("reports no size, at the bound") << "/proc/self/cmdline" << proc << proc;
        QTest::newRow("reports no size, one over") << "/proc/self/cmdline" << proc << proc - 1;
        for (const qint64 size :
             {kImportChunkBytes - 1, kImportChunkBytes, kImportChunkBytes + 1}) {
            QTest::addRow("%lld bytes, at the bound", size) << "f.txt" << size << size;
            QTest::addRow("%lld bytes, one over", size) << "f.txt" << size << size - 1;
        }
        QTest::newRow("empty, bound 0") << "f.txt" << qint64(0) << qint64(0);
    }
    void boundCrossed() {
        QFETCH(QString, source);
        QFETCH(qint64, size);
        QFETCH(qint64, bound);
        QByteArray bytes = Pattern(size, 3);
        if (source.startsWith(u'/')) {
            bytes = ReadAll(source);
            QCOMPARE(QFileInfo(source).size(), qint64(0));
        } else {
            source = path(source);
            WriteAll(source, bytes);
        }
        const ImportResult r = ImportTextFile(source, bound);
        QCOMPARE(r.outcome.ok(), size <= bound);
        QVERIFY(!r.outcome.wasCancelled());
        if (r.outcome.ok())
            QVERIFY(EncodeText(r.decoded.text, r.decoded.encoding)->bytes == bytes);
        else
            QVERIFY2(r.outcome.message().contains(QStringLiteral("文件太大")),
                     qPrintable(r.outcome.message()));
    }

    // The progress callback hears every piece and can stop the read at any of them.
    void cancelViaProgress_data() {
        QTest::addColumn<int>("stopAtCall"); // -1: never
        QTest::newRow("before the first piece") << 0;
        QTest::newRow("after the first piece") << 1;
        QTest::newRow("after the last piece") << 3;
        QTest::newRow("never") << -1;
    }
    void cancelViaProgress() {
        QFETCH(int, stopAtCall);
        const qint64 size = kImportChunkBytes * 5 / 2;
        WriteAll(path(QStringLiteral("p.txt")), Pattern(size, 1));
        QList<qint64> seen;
        const ImportResult r = ImportTextFile(path(QStringLiteral("p.txt")), kMaxImportBytes,
                                              [&](qint64 done, qint64 total) {
                                                  if (total != size)
                                                      qFatal("wrong total");
                                                  seen.append(done);
                                                  return seen.size() - 1 != stopAtCall;
                                              });
        QCOMPARE(r.outcome.wasCancelled(), stopAtCall >= 0);
        QCOMPARE(r.outcome.ok(), stopAtCall < 0);
        QVERIFY(r.outcome.message().isEmpty());
        const QList<qint64> all = {0, kImportChunkBytes, 2 * kImportChunkBytes, size};
        QCOMPARE(seen, stopAtCall < 0 ? all : all.first(stopAtCall + 1));
    }

    // After a save the path is the same file to everyone who shares it. Root creates the files
    // for another account and saves as root or as that account.
    void identityKept_data() {
        QTest::addColumn<bool>("asNobody");
        QTest::addColumn<bool>("ownedByNobody");
        QTest::addColumn<bool>("groupNobodys");
        QTest::addColumn<uint>("mode");
        QTest::addColumn<bool>("secondLink");
        QTest::addColumn<bool>("inPlace");
        // Saved by root.
        QTest::newRow("root, another's file") << false << true << true << 0664u << false << false;
        QTest::newRow("root, setgid") << false << true << true << 02775u << false << false;
        QTest::newRow("root, setuid") << false << true << true << 04755u << false << false;
        QTest::newRow("root, sticky") << false << true << true << 01644u << false << false;
        QTest::newRow("root, hard link") << false << true << true << 0664u << true << true;
        // Saved by an ordinary user.
        QTest::newRow("own file") << true << true << true << 0640u << false << false;
        QTest::newRow("own file, setgid") << true << true << true << 02770u << false << false;
        QTest::newRow("own file, hard link") << true << true << true << 0600u << true << true;
        QTest::newRow("shared by group") << true << false << true << 0664u << false << true;
        QTest::newRow("shared by group, setgid")
            << true << false << true << 02664u << false << true;
        QTest::newRow("writable by all") << true << false << false << 0666u << false << true;
    }
    void identityKept() {
        QFETCH(bool, asNobody);
        QFETCH(bool, ownedByNobody);
        QFETCH(bool, groupNobodys);
        QFETCH(uint, mode);
        QFETCH(bool, secondLink);
        QFETCH(bool, inPlace);
        const std::optional<Account> nobody = Nobody();
        if (!IsRoot() || !nobody)
            QSKIP("needs root and the account nobody, to give files to another user");
        SetOwnerAndMode(folder, 0, 0, 0777);
        const QString file = path(QStringLiteral("shared.txt"));
        const QString other = path(QStringLiteral("other name.txt"));
        WriteAll(file, "old content\r\n");
        SetOwnerAndMode(file, ownedByNobody ? nobody->user : 0, groupNobodys ? nobody->group : 0,
                        mode);
        if (secondLink)
            QVERIFY(HardLink(file, other));
        const FileStatus before = StatusOf(file);
        SaveResult r;
        {
            std::optional<ActingAs> acting;
            if (asNobody) {
                acting.emplace(*nobody);
                if (!acting->ok())
                    QSKIP("cannot act as nobody here");
            }
            r = SaveTextFile(file, u"新的内容\r\n", TextEncoding::Utf8);
        }
        QVERIFY2(r.outcome.ok(), qPrintable(r.outcome.message()));
        QCOMPARE(ReadAll(file), QStringLiteral("新的内容\r\n").toUtf8());
        const FileStatus after = StatusOf(file);
        QCOMPARE(after.kind, FileKind::Regular);
        QCOMPARE(after.owner, before.owner);
        QCOMPARE(after.group, before.group);
        QCOMPARE(QString::number(after.mode, 8), QString::number(mode, 8));
        QCOMPARE(after.links, before.links);
        QCOMPARE(after.inode == before.inode, inPlace);
        if (secondLink)
            QCOMPARE(ReadAll(other), ReadAll(file));
        QCOMPARE(Entries(folder).size(), secondLink ? 2 : 1);
    }

    // Extended attributes (access lists among them) stay with the file, replaced or written in
    // place.
    void extendedAttributesKept_data() {
        QTest::addColumn<bool>("secondLink");
        QTest::newRow("replaced") << false;
        QTest::newRow("in place") << true;
    }
    void extendedAttributesKept() {
        QFETCH(bool, secondLink);
        const QString file = path(QStringLiteral("x.txt"));
        WriteAll(file, "old");
        if (!SetAttribute(file, "user.trennix", "kept"))
            QSKIP("this file system holds no extended attributes");
        if (secondLink)
            QVERIFY(HardLink(file, path(QStringLiteral("y.txt"))));
        const SaveResult r = SaveTextFile(file, u"new", TextEncoding::Gbk);
        QVERIFY2(r.outcome.ok(), qPrintable(r.outcome.message()));
        QCOMPARE(ReadAll(file), QByteArray("new"));
        QCOMPARE(Attribute(file, "user.trennix"), QByteArray("kept"));
    }

    // Where the folder lets neither a temporary file nor a copy of the old content be made, the
    // save is refused and nothing changes.
    void refusedWhereFolderForbids_data() {
        QTest::addColumn<bool>("ownedByNobody");
        QTest::newRow("own file: no temporary file") << true;
        QTest::newRow("shared file: no copy of the old content") << false;
    }
    void refusedWhereFolderForbids() {
        QFETCH(bool, ownedByNobody);
        const std::optional<Account> nobody = Nobody();
        if (!IsRoot() || !nobody)
            QSKIP("needs root and the account nobody");
        SetOwnerAndMode(folder, 0, 0, 0755);
        const QString file = path(QStringLiteral("f.txt"));
        WriteAll(file, "old");
        SetOwnerAndMode(file, ownedByNobody ? nobody->user : 0, nobody->group, 0664);
        SaveResult r;
        {
            ActingAs acting(*nobody);
            if (!acting.ok())
                QSKIP("cannot act as nobody here");
            r = SaveTextFile(file, u"new", TextEncoding::Gbk);
        }
        QVERIFY(!r.outcome.ok());
        QVERIFY2(r.outcome.message().contains(QStringLiteral("文件夹中新建文件")) &&
                     r.outcome.message().contains(QStringLiteral("没有访问权限")),
                 qPrintable(r.outcome.message()));
        QCOMPARE(ReadAll(file), QByteArray("old"));
        QCOMPARE(Entries(folder), QStringList{QStringLiteral("f.txt")});
    }

    // Until the commit the old file is untouched and nothing can be seen beside it (the new
    // content has no name yet), however it is saved; afterwards only the file is left, holding
    // the new content or the old. The sizes cross the piece in which content is copied and
    // written, and the amount after which the system is asked to start writing it onto the disk
    // (the new content is 1,000 bytes longer than `size`).
    void oneCompleteVersionAtEveryMoment_data() {
        QTest::addColumn<bool>("secondLink");
        QTest::addColumn<qint64>("size");
        QTest::addColumn<bool>("commit");
        const qint64 writeback = kWritebackEveryBytes - 1000;
        for (const bool secondLink : {false, true}) {
            for (const qint64 size : {kCopyChunkBytes - 1, kCopyChunkBytes, kCopyChunkBytes + 1,
                                      writeback - 1, writeback, writeback + 1}) {
                for (const bool commit : {true, false})
                    QTest::addRow("%s, %lld bytes, %s", secondLink ? "in place" : "replaced", size,
                                  commit ? "committed" : "cancelled")
                        << secondLink << size << commit;
            }
        }
    }
    void oneCompleteVersionAtEveryMoment() {
        QFETCH(bool, secondLink);
        QFETCH(qint64, size);
        QFETCH(bool, commit);
        const QString file = path(QStringLiteral("f.txt"));
        const QByteArray oldContent = Pattern(size, 0);
        const QByteArray newContent = Pattern(size + 1000, 5);
        WriteAll(file, oldContent);
        QStringList names = {QStringLiteral("f.txt")};
        if (secondLink) {
            QVERIFY(HardLink(file, path(QStringLiteral("g.txt"))));
            names.append(QStringLiteral("g.txt"));
        }
        auto oldContentKept = [&] {
            return ReadAll(file) == oldContent && Entries(folder) == names;
        };
        {
            SafeSaveFile save(file);
            QVERIFY2(save.open(), qPrintable(save.error()));
            QVERIFY(oldContentKept());
            QCOMPARE(save.device()->write(newContent.first(1000)), qint64(1000));
            QVERIFY(oldContentKept());
            QCOMPARE(save.device()->write(newContent.sliced(1000)), size);
            QVERIFY(oldContentKept());
            if (commit)
                QVERIFY2(save.commit(), qPrintable(save.error()));
            else
                save.cancel();
            QVERIFY(save.error().isEmpty());
        }
        QCOMPARE(Entries(folder), names);
        for (const QString& name : names)
            QVERIFY(ReadAll(path(name)) == (commit ? newContent : oldContent));
    }

    // A disk that fills up while a file is saved in place keeps the old content; the message says
    // what is really free. The new content is gathered first, then the old is copied aside, then
    // the new copied in: either may not fit.
    void inPlaceOnFullDisk_data() {
        QTest::addColumn<qint64>("oldSize");
        QTest::addColumn<qint64>("newSize");
        QTest::addColumn<QString>("failure"); // empty: fits
        QTest::newRow("fits") << qint64(20000) << qint64(8000) << QString();
        QTest::newRow("new content does not fit") << qint64(20000) << qint64(100000) << "写入";
        QTest::newRow("old content's copy does not fit") << qint64(40000) << qint64(100) << "备份";
    }
    void inPlaceOnFullDisk() {
        QFETCH(qint64, oldSize);
        QFETCH(qint64, newSize);
        QFETCH(QString, failure);
        const QString small = path(QStringLiteral("small"));
        if (!MountSmall(small, QStringLiteral("size=64k")))
            QSKIP("cannot mount a small file system here");
        const QString file = small + QStringLiteral("/a.txt");
        const QByteArray oldContent = Pattern(oldSize, 0);
        const QByteArray newContent = Pattern(newSize, 9);
        WriteAll(file, oldContent);
        const bool linked = HardLink(file, small + QStringLiteral("/b.txt"));
        bool opened = false;
        bool committed = false;
        QString error;
        {
            SafeSaveFile save(file);
            opened = save.open();
            for (qint64 at = 0; opened && at < newSize; at += 4096)
                save.device()->write(newContent.sliced(at, std::min<qint64>(4096, newSize - at)));
            committed = opened && save.commit();
            error = save.error();
        }
        const qint64 freeKb = QStorageInfo(small).bytesAvailable() / 1024;
        const QStringList entries = Entries(small);
        const QByteArray a = ReadAll(file);
        const QByteArray b = ReadAll(small + QStringLiteral("/b.txt"));
        Unmount(small);
        QVERIFY(linked);
        QCOMPARE(entries, (QStringList{QStringLiteral("a.txt"), QStringLiteral("b.txt")}));
        QCOMPARE(committed, failure.isEmpty());
        QVERIFY(a == (committed ? newContent : oldContent));
        QVERIFY(b == a);
        if (committed)
            return;
        QVERIFY(opened);
        QVERIFY2(error.contains(QStringLiteral("磁盘空间不足")), qPrintable(error));
        QVERIFY2(error.contains(failure) || failure == QStringLiteral("写入"), qPrintable(error));
        QVERIFY2(error.contains(QStringLiteral("%1 KB").arg(freeKb)), qPrintable(error));
    }

    // The link stays a link and the file it names gets the text.
    void symlinkStaysSymlink_data() {
        QTest::addColumn<QString>("linkTo"); // relative to the link's folder
        QTest::addColumn<bool>("chain");
        QTest::newRow("relative") << "sub/real.txt" << false;
        QTest::newRow("absolute") << "ABS" << false;
        QTest::newRow("through a second link") << "sub/real.txt" << true;
        QTest::newRow("to a file not there yet") << "sub/new.txt" << false;
        QTest::newRow(".. after a link to a folder") << "VIA" << false;
    }
    void symlinkStaysSymlink() {
        QFETCH(QString, linkTo);
        QFETCH(bool, chain);
        QDir(folder).mkdir(QStringLiteral("sub"));
        WriteAll(path(QStringLiteral("sub/real.txt")), "old\r\n");
        if (linkTo == QLatin1String("ABS"))
            linkTo = path(QStringLiteral("sub/real.txt"));
        if (linkTo == QLatin1String("VIA")) {
            // deep -> sub/deep/deeper: its ".." is sub/deep, whatever the path spells.
            QDir(folder).mkpath(QStringLiteral("sub/deep/deeper"));
            QVERIFY(QFile::link(QStringLiteral("sub/deep/deeper"), path(QStringLiteral("deep"))));
            WriteAll(path(QStringLiteral("sub/deep/real.txt")), "old\r\n");
            linkTo = QStringLiteral("deep/../real.txt");
        }
        const QString linkPath = path(QStringLiteral("link.txt"));
        QString named = linkTo;
        if (chain) {
            QVERIFY(QFile::link(linkTo, path(QStringLiteral("middle.txt"))));
            named = QStringLiteral("middle.txt");
        }
        QVERIFY(QFile::link(named, linkPath));
        const SaveResult r = SaveTextFile(linkPath, u"新\r\n", TextEncoding::Gbk);
        QVERIFY2(r.outcome.ok(), qPrintable(r.outcome.message()));
        QVERIFY(QFileInfo(linkPath).isSymbolicLink());
        QCOMPARE(QFileInfo(linkPath).symLinkTarget(), QFileInfo(folder, named).absoluteFilePath());
        QCOMPARE(ReadAll(linkPath), QByteArray("\xd0\xc2\r\n"));
        // The file the system finds: a ".." after a link to a folder leads to that folder's parent,
        // not to where the path's spelling would.
        const QString written = linkTo == u"deep/../real.txt"
                                    ? path(QStringLiteral("sub/deep/real.txt"))
                                    : QFileInfo(folder, linkTo).absoluteFilePath();
        QCOMPARE(ReadAll(written), ReadAll(linkPath));
        QVERIFY(!QFileInfo::exists(path(QStringLiteral("real.txt"))));
    }

    // Whether two paths write one file: by the file they lead to, however spelled.
    void samePlaces_data() {
        QTest::addColumn<QString>("a");
        QTest::addColumn<QString>("b");
        QTest::addColumn<bool>("same");
        QTest::newRow("the same spelling") << "x.txt"
                                           << "x.txt" << true;
        QTest::newRow("two files") << "x.txt"
                                   << "y.txt" << false;
        QTest::newRow("a dangling link and its target") << "dang.txt"
                                                        << "new.txt" << true;
        QTest::newRow("two dangling links to one name") << "dang.txt"
                                                        << "dang2.txt" << true;
        QTest::newRow("a link and its file") << "sym.txt"
                                             << "x.txt" << true;
        QTest::newRow("hard links") << "hard.txt"
                                    << "x.txt" << true;
        QTest::newRow("a folder link to its own folder") << "self/x.txt"
                                                         << "x.txt" << true;
        QTest::newRow("a folder link, a name not there") << "self/new.txt"
                                                         << "./new.txt" << true;
        QTest::newRow("into a folder and back") << "sub/../new.txt"
                                                << "new.txt" << true;
        QTest::newRow("..  after a folder link") << "deep/../new.txt"
                                                 << "sub/new.txt" << true;
        QTest::newRow("..  after a folder link, not the spelling") << "deep/../new.txt"
                                                                   << "new.txt" << false;
        QTest::newRow("a relative link inside a linked folder") << "deep/up.txt"
                                                                << "sub/y.txt" << true;
        QTest::newRow("a link that loops") << "loop.txt"
                                           << "loop.txt" << false;
        QTest::newRow("a missing folder") << "none/x.txt"
                                          << "none/x.txt" << true;
        QTest::newRow("a missing folder, other names") << "none/x.txt"
                                                       << "none/../x.txt" << false;
    }
    void samePlaces() {
        QFETCH(QString, a);
        QFETCH(QString, b);
        QFETCH(bool, same);
        WriteAll(path(QStringLiteral("x.txt")), "x");
        QDir(folder).mkpath(QStringLiteral("sub/deeper"));
        WriteAll(path(QStringLiteral("sub/y.txt")), "y");
        QVERIFY(HardLink(path(QStringLiteral("x.txt")), path(QStringLiteral("hard.txt"))));
        QVERIFY(QFile::link(QStringLiteral("x.txt"), path(QStringLiteral("sym.txt"))));
        QVERIFY(QFile::link(QStringLiteral("new.txt"), path(QStringLiteral("dang.txt"))));
        QVERIFY(QFile::link(QStringLiteral("self/dang.txt"), path(QStringLiteral("dang2.txt"))));
        QVERIFY(QFile::link(QStringLiteral("."), path(QStringLiteral("self"))));
        QVERIFY(QFile::link(QStringLiteral("sub/deeper"), path(QStringLiteral("deep"))));
        QVERIFY(QFile::link(QStringLiteral("../y.txt"), path(QStringLiteral("sub/deeper/up.txt"))));
        QVERIFY(QFile::link(QStringLiteral("loop.txt"), path(QStringLiteral("loop.txt"))));
        const QString before = QDir::currentPath();
        QVERIFY(QDir::setCurrent(folder));
        const bool got = SameSavePlace(a, b);
        const bool other = SameSavePlace(path(b), a); // absolute and relative alike
        QDir::setCurrent(before);
        QCOMPARE(got, same);
        QCOMPARE(other, same);
    }

    // The copies an unfinished save in place left beside a file are found, by any name of the
    // file, and a name that is such a copy leads back to its file.
    void leftBackupsFound() {
        // 244 bytes: the names beside it keep its first 200.
        const QString longName = QString(80, u'长') + QStringLiteral(".txt");
        for (const QString& name : {QStringLiteral("a.txt"), QStringLiteral("b.txt"), longName})
            WriteAll(path(name), "content");
        QVERIFY(HardLink(path(QStringLiteral("a.txt")), path(QStringLiteral("hard.txt"))));
        QVERIFY(QFile::link(QStringLiteral("a.txt"), path(QStringLiteral("sym.txt"))));
        const QString longBackup = SiblingName(path(longName), kBackupTag, false);
        for (const QString& name :
             {QStringLiteral("a.txt.backup-abc123"), QStringLiteral("a.txt.backup-0z9y8x"),
              QStringLiteral("a.txt.backup-ABC123"), QStringLiteral("a.txt.backup-abc12"),
              QStringLiteral("a.txt.saving-abc123"), QStringLiteral(".a.txt.saving-abc123"),
              QStringLiteral("b.txt.backup-abc123"), QStringLiteral("xa.txt.backup-abc123")})
            WriteAll(path(name), "old");
        WriteAll(longBackup, "old");
        const QStringList ofA = {path(QStringLiteral("a.txt.backup-0z9y8x")),
                                 path(QStringLiteral("a.txt.backup-abc123"))};
        QCOMPARE(LeftBackupsOf(path(QStringLiteral("a.txt"))), ofA);
        QCOMPARE(LeftBackupsOf(path(QStringLiteral("sym.txt"))), ofA);
        QCOMPARE(LeftBackupsOf(path(QStringLiteral("hard.txt"))), ofA);
        QCOMPARE(LeftBackupsOf(path(longName)), QStringList{longBackup});
        QCOMPARE(LeftBackupsOf(path(QStringLiteral("c.txt"))), QStringList());
        QCOMPARE(BackedUpFile(path(QStringLiteral("a.txt.backup-abc123"))),
                 std::optional(path(QStringLiteral("a.txt"))));
        QCOMPARE(BackedUpFile(path(QStringLiteral("a.txt.backup-ABC123"))), std::nullopt);
        QCOMPARE(BackedUpFile(path(QStringLiteral("a.txt"))), std::nullopt);
        QCOMPARE(LeftBackupsNotice(path(QStringLiteral("a.txt")), ofA).count(u'\n'), 3);
    }

    void savedWithEachLineBreak_data() {
        QTest::addColumn<TextEncoding>("encoding");
        QTest::addColumn<LineBreak>("lineBreak");
        QTest::addColumn<QByteArray>("bytes");
        QTest::newRow("gbk, CR LF")
            << TextEncoding::Gbk << LineBreak::CrLf << QByteArray("\xbc\xd7\r\n\r\n\xd2\xd2");
        QTest::newRow("gbk, LF") << TextEncoding::Gbk << LineBreak::Lf
                                 << QByteArray("\xbc\xd7\n\n\xd2\xd2");
        QTest::newRow("gbk, CR") << TextEncoding::Gbk << LineBreak::Cr
                                 << QByteArray("\xbc\xd7\r\r\xd2\xd2");
        QTest::newRow("utf-8, LF")
            << TextEncoding::Utf8 << LineBreak::Lf << QStringLiteral("甲\n\n乙").toUtf8();
        QTest::newRow("utf-16le, LF") << TextEncoding::Utf16LeBom << LineBreak::Lf
                                      << QByteArray("\xff\xfe\x32\x75\x0a\x00\x0a\x00\x59\x4e", 10);
        QTest::newRow("utf-16be, CR") << TextEncoding::Utf16BeBom << LineBreak::Cr
                                      << QByteArray("\xfe\xff\x75\x32\x00\x0d\x00\x0d\x4e\x59", 10);
    }
    void savedWithEachLineBreak() {
        QFETCH(TextEncoding, encoding);
        QFETCH(LineBreak, lineBreak);
        QFETCH(QByteArray, bytes);
        const SaveResult r =
            SaveTextFile(path(QStringLiteral("b.txt")), u"甲\r\n\r\n乙", encoding, lineBreak);
        QVERIFY2(r.outcome.ok(), qPrintable(r.outcome.message()));
        QCOMPARE(ReadAll(path(QStringLiteral("b.txt"))).toHex(' '), bytes.toHex(' '));
    }

    // Every failure is told in Chinese; the system's English never shows.
    void messagesInChinese_data() {
        QTest::addColumn<QString>("failure");
        QTest::addColumn<QString>("reason");
        for (const char* action : {"import", "save"}) {
            QTest::addRow("%s through a file", action)
                << QStringLiteral("%1 notdir").arg(action) << "不是文件夹";
            QTest::addRow("%s, name too long", action)
                << QStringLiteral("%1 long").arg(action) << "太长";
            QTest::addRow("%s, link to itself", action)
                << QStringLiteral("%1 loop").arg(action) << "链接";
            QTest::addRow("%s without permission", action)
                << QStringLiteral("%1 denied").arg(action) << "没有访问权限";
        }
        QTest::newRow("save over a running program") << "save busy"
                                                     << "正在作为程序运行";
        QTest::newRow("save onto a read-only disk") << "save readonly"
                                                    << "只读";
    }
    void messagesInChinese() {
        QFETCH(QString, failure);
        QFETCH(QString, reason);
        const QString action = failure.section(u' ', 0, 0);
        const QString what = failure.section(u' ', 1);
        const QString plain = path(QStringLiteral("plain.txt"));
        WriteAll(plain, "text");
        QString target = plain;
        QProcess program;
        std::optional<ActingAs> acting;
        if (what == QLatin1String("notdir")) {
            target = plain + QStringLiteral("/x.txt");
        } else if (what == QLatin1String("long")) {
            target = path(QString(300, u'长'));
        } else if (what == QLatin1String("loop")) {
            target = path(QStringLiteral("loop"));
            QVERIFY(QFile::link(target, target));
        } else if (what == QLatin1String("denied")) {
            const std::optional<Account> nobody = Nobody();
            if (!IsRoot() || !nobody)
                QSKIP("needs root, to act as a user without permission");
            SetOwnerAndMode(folder, 0, 0, 0777);
            SetOwnerAndMode(plain, 0, 0, 0600);
            acting.emplace(*nobody);
        } else if (what == QLatin1String("busy")) {
            target = path(QStringLiteral("sleep"));
            QVERIFY(QFile::copy(QStringLiteral("/usr/bin/sleep"), target));
            program.start(target, {QStringLiteral("60")});
            QVERIFY(program.waitForStarted());
        } else if (what == QLatin1String("readonly")) {
            target = path(QStringLiteral("ro/new.txt"));
            if (!MountSmall(path(QStringLiteral("ro")), QStringLiteral("ro,size=64k")))
                QSKIP("cannot mount a read-only file system here");
        }
        const QString error =
            action == QLatin1String("import")
                ? ImportTextFile(target).outcome.message()
                : SaveTextFile(target, u"new", TextEncoding::Gbk).outcome.message();
        acting.reset();
        if (what == QLatin1String("busy")) {
            program.kill();
            program.waitForFinished();
        }
        if (what == QLatin1String("readonly"))
            Unmount(path(QStringLiteral("ro")));
        QVERIFY2(error.contains(reason), qPrintable(error));
        QVERIFY2(FreeOfSystemText(error), qPrintable(error));
        QCOMPARE(ReadAll(plain), QByteArray("text"));
    }

    // Errors that Qt reports on its own files are mapped back to their cause.
    void reasonForQtFiles_data() {
        QTest::addColumn<QString>("name");
        QTest::addColumn<bool>("write");
        QTest::addColumn<QString>("reason");
        QTest::newRow("missing") << "missing/file.txt" << false << "不存在";
        QTest::newRow("full device") << "/dev/full" << true << "磁盘空间不足";
    }
    void reasonForQtFiles() {
        QFETCH(QString, name);
        QFETCH(bool, write);
        QFETCH(QString, reason);
        QFile file(name.startsWith(u'/') ? name : path(name));
        if (file.open(write ? QIODevice::WriteOnly | QIODevice::Unbuffered : QIODevice::ReadOnly))
            QCOMPARE(file.write("x"), qint64(-1));
        const QString why = ReasonFor(file);
        QVERIFY2(why.contains(reason), qPrintable(why));
        QVERIFY2(FreeOfSystemText(why), qPrintable(why));
    }

    void everyErrorNumberInChinese() {
        for (int e = 1; e < 134; ++e) {
            const QString why = ReasonForErrno(e);
            QVERIFY2(!why.contains(QRegularExpression(QStringLiteral("[A-Za-z]"))),
                     qPrintable(why));
        }
    }
};

QTEST_GUILESS_MAIN(FileIoTest)
#include "tst_fileio.moc"
