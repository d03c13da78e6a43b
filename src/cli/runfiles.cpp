#include "cli/runfiles.h"

#include "core/shown.h"
#include "files/posixfile.h"
#include "files/savenames.h"

#include <QSet>

#include <vector>

namespace {

// A file the run reads, as named and as it is.
struct ReadFile {
    QString name;
    bool list = false;
    FileStatus status; // kind Missing when it cannot be looked at
};

QString NameOf(const QString& name) {
    return name == u"-" ? QStringLiteral("标准输入") : ShownPath(name);
}

QString RoleOf(const ReadFile& file) {
    return file.list ? QStringLiteral("清单") : QStringLiteral("输入文件");
}

FileStatus StatusOfHandleIfAny(int handle) {
    int errnum = 0;
    return handle >= 0 ? StatusOfHandle(handle, &errnum) : FileStatus();
}

std::vector<ReadFile> FilesRead(const RunFiles& files, const CommandLineEnvironment& environment) {
    std::vector<ReadFile> read;
    for (const bool list : {false, true}) {
        for (const QString& name : list ? files.lists : files.inputs) {
            int errnum = 0;
            read.push_back(ReadFile{name, list,
                                    name == u"-" ? StatusOfHandleIfAny(environment.inputHandle)
                                                 : StatusOfPath(name, true, &errnum)});
        }
    }
    return read;
}

// What a save of the path would replace; kind Missing when it would make a new file.
FileStatus WrittenStatus(const QString& path) {
    const std::optional<SavePlace> place = PlaceOfSave(path);
    int errnum = 0;
    return place ? StatusOfPath(place->path, true, &errnum) : FileStatus();
}

// The file read that `written` is, preferring an input to a list; null when it is none.
const ReadFile* ReadAs(const std::vector<ReadFile>& read, const FileStatus& written) {
    if (written.kind != FileKind::Regular)
        return nullptr;
    const ReadFile* found = nullptr;
    for (const ReadFile& file : read) {
        if (file.status.kind == FileKind::Regular && file.status.sameFile(written) &&
            (!found || (found->list && !file.list)))
            found = &file;
    }
    return found;
}

bool IsStream(FileKind kind) {
    return kind == FileKind::Fifo || kind == FileKind::Socket;
}

Destination DestinationOf(const QString& given, const CommandLineEnvironment& environment,
                          const FileStatus& standardOutput, const std::vector<ReadFile>& read) {
    if (given == u"-")
        return {Destination::To::Output, {}};
    const std::optional<SavePlace> place = PlaceOfSave(given);
    int errnum = 0;
    const FileStatus written = place ? StatusOfPath(place->path, true, &errnum) : FileStatus();
    // The program's own standard output by one of its names (/dev/stdout on a pipe), or the
    // stream it is; a file that is an input is saved as a file, as any name of it is.
    const bool isOutput = environment.outputHandle >= 0 && place &&
                          (place->handle == environment.outputHandle ||
                           (written.kind != FileKind::Regular && written.sameFile(standardOutput)));
    if (isOutput && !ReadAs(read, written))
        return {Destination::To::Output, {}};
    return {Destination::To::File, given};
}

FilesPlan Refused(int status, const QString& message) {
    FilesPlan plan;
    plan.status = status;
    plan.message = message;
    return plan;
}

// The notes on backups beside the files, each file told once.
QStringList BackupNotes(const std::vector<ReadFile>& read, const FilesPlan& plan) {
    QStringList names;
    for (const ReadFile& file : read) {
        if (file.name != u"-")
            names << file.name;
    }
    QStringList notes;
    for (const Destination* d : {&plan.result, &plan.removed}) {
        if (d->to != Destination::To::File)
            continue;
        names << d->path;
        if (const std::optional<QString> original = BackedUpFile(d->path))
            notes << QStringLiteral("注意：%1 是 %2 在原处保存时留下的备份；写出后，备份原来的内容"
                                    "就没有了。")
                         .arg(ShownPath(d->path), ShownPath(*original));
    }
    QSet<QString> told;
    for (const QString& name : names) {
        const QStringList backups = LeftBackupsOf(name);
        if (backups.isEmpty() || told.contains(backups.first()))
            continue;
        told.insert(backups.first());
        notes << LeftBackupsNotice(name, backups);
    }
    return notes;
}

} // namespace

FilesPlan PlanFiles(const RunFiles& files, const CommandLineEnvironment& environment) {
    const std::vector<ReadFile> read = FilesRead(files, environment);
    // Standard input, or any stream, read twice: the second read finds it empty.
    const qsizetype standardInputs =
        files.inputs.count(QStringLiteral("-")) + files.lists.count(QStringLiteral("-"));
    if (standardInputs > 1)
        return Refused(2, QStringLiteral("标准输入只能读一次，却给了 %1 次（输入文件和清单一共）。")
                              .arg(standardInputs));
    for (std::size_t i = 0; i < read.size(); ++i) {
        for (std::size_t j = i + 1; j < read.size(); ++j) {
            if (IsStream(read[i].status.kind) && read[i].status.sameFile(read[j].status))
                return Refused(2, QStringLiteral("%1 和 %2 是同一个管道（流），只能读一次。")
                                      .arg(NameOf(read[i].name), NameOf(read[j].name)));
        }
    }

    const FileStatus standardOutput = StatusOfHandleIfAny(environment.outputHandle);
    FilesPlan plan;
    plan.result = files.output ? DestinationOf(*files.output, environment, standardOutput, read)
                               : Destination{Destination::To::Output, {}};
    if (files.removed)
        plan.removed = DestinationOf(*files.removed, environment, standardOutput, read);
    const Destination& result = plan.result;
    const Destination& removed = plan.removed;
    if (result.to == Destination::To::Output && removed.to == Destination::To::Output)
        return Refused(2, QStringLiteral("结果和删除的行不能都写到标准输出；请用 -o 或 --removed "
                                         "把其中之一写到文件。"));
    if (result.to == Destination::To::File && removed.to == Destination::To::File &&
        SameSavePlace(result.path, removed.path))
        return Refused(2, QStringLiteral("--removed %1 和 -o %2 是同一个文件：两者要分开写。")
                              .arg(ShownPath(removed.path), ShownPath(result.path)));
    if (removed.to == Destination::To::File) {
        if (const ReadFile* file = ReadAs(read, WrittenStatus(removed.path)))
            return Refused(2,
                           QStringLiteral("--removed %1 就是%2 %3：删除的行会取代它的内容，"
                                          "结果一旦写不出，两者都没有了。请把删除的行写到"
                                          "别的文件。")
                               .arg(ShownPath(removed.path), RoleOf(*file), ShownPath(file->name)));
    }

    for (const Destination* d : {&result, &removed}) {
        if (d->to != Destination::To::Output)
            continue;
        const bool ofResult = d == &result;
        if (environment.outputClosed)
            return Refused(1,
                           QStringLiteral("无法写入标准输出：标准输出没有打开。请用 %1 指定"
                                          "文件。")
                               .arg(ofResult ? QStringLiteral("-o") : QStringLiteral("--removed")));
        // Writing into a file that is still to be read destroys it.
        if (const ReadFile* file = ReadAs(read, standardOutput)) {
            QString message = QStringLiteral("标准输出就是%1 %2：边读边写会毁掉它。")
                                  .arg(RoleOf(*file), ShownPath(file->name));
            if (ofResult && !file->list)
                message +=
                    QStringLiteral("要把结果写回这个文件，请用 -o %1。").arg(ShownPath(file->name));
            return Refused(1, message);
        }
        const Destination& other = ofResult ? removed : result;
        if (other.to == Destination::To::File && standardOutput.kind == FileKind::Regular &&
            WrittenStatus(other.path).sameFile(standardOutput))
            return Refused(2,
                           QStringLiteral("标准输出和 %1 %2 是同一个文件：两者要分开写。")
                               .arg(ofResult ? QStringLiteral("--removed") : QStringLiteral("-o"),
                                    ShownPath(other.path)));
    }
    if (environment.inputClosed &&
        (files.inputs.contains(QStringLiteral("-")) || files.lists.contains(QStringLiteral("-"))))
        return Refused(1, QStringLiteral("无法读取输入：标准输入\n原因：标准输入没有打开。"));

    if (result.to == Destination::To::File) {
        const ReadFile* file = ReadAs(read, WrittenStatus(result.path));
        if (file && file->list)
            plan.notes << QStringLiteral("注意：-o %1 也是清单 %2：结果写出后，清单原来的内容"
                                         "就没有了。")
                              .arg(ShownPath(result.path), ShownPath(file->name));
    }
    plan.notes << BackupNotes(read, plan);
    return plan;
}
