#include "cli/outputsinks.h"

#include "core/shown.h"
#include "files/reasons.h"

#include <QFileDevice>
#include <QLocale>

bool DeviceSink::write(const char* data, qint64 size) {
    while (size > 0) {
        const qint64 n = device_.write(data, size);
        if (n <= 0) {
            const auto* file = qobject_cast<const QFileDevice*>(&device_);
            const QString reason = file ? ReasonFor(*file) : QString();
            error_ = QStringLiteral("无法写入标准输出：%1")
                         .arg(reason.isEmpty() ? QStringLiteral("写入失败。") : reason);
            return false;
        }
        data += n;
        size -= n;
        written_ += n;
    }
    return true;
}

bool Outputs::open(const FilesPlan& plan, QIODevice& standardOutput) {
    auto openOne = [&](const Destination& d, std::unique_ptr<SafeSaveFile>& file,
                       std::unique_ptr<OutputSink>& sink) {
        if (d.to == Destination::To::Output) {
            auto device = std::make_unique<DeviceSink>(standardOutput);
            standard_ = device.get();
            sink = std::move(device);
        } else if (d.to == Destination::To::File) {
            file = std::make_unique<SafeSaveFile>(d.path);
            if (!file->open()) {
                error_ = file->error();
                return false;
            }
            sink = std::make_unique<SaveSink>(*file);
        }
        return true;
    };
    resultIsStandard_ = plan.result.to == Destination::To::Output;
    resultPath_ = plan.result.path;
    removedPath_ = plan.removed.path;
    if (openOne(plan.result, resultFile_, resultSink_) &&
        openOne(plan.removed, removedFile_, removedSink_))
        return true;
    for (SafeSaveFile* file : {resultFile_.get(), removedFile_.get()}) {
        if (file)
            file->cancel();
    }
    return false;
}

QString Outputs::failure(const Outcome& outcome) {
    QString message = outcome.message();
    for (SafeSaveFile* file : {resultFile_.get(), removedFile_.get()}) {
        if (!file)
            continue;
        file->cancel();
        if (outcome.hasFailed() && !file->error().isEmpty())
            message = file->error();
    }
    const qint64 written = standard_ ? standard_->written() : 0;
    const QString lost =
        QStringLiteral("已经写到标准输出的 %1 字节无法收回，那里的%2是不完整的。")
            .arg(QLocale::c().toString(written),
                 resultIsStandard_ ? QStringLiteral("结果") : QStringLiteral("删除的行"));
    if (outcome.wasCancelled()) {
        QStringList unchanged;
        if (resultFile_)
            unchanged << QStringLiteral("输出文件 %1").arg(ShownPath(resultPath_));
        if (removedFile_)
            unchanged << QStringLiteral("删除行文件 %1").arg(ShownPath(removedPath_));
        message = QStringLiteral("已中断");
        if (!unchanged.isEmpty())
            message += QStringLiteral("，%1 没有改动").arg(unchanged.join(QStringLiteral("和")));
        message += QStringLiteral("。");
        if (written > 0)
            message += lost;
        else if (unchanged.isEmpty())
            message = QStringLiteral("已中断，没有写出任何结果。");
    } else if (written > 0) {
        message += u'\n' + lost;
    }
    return message;
}

bool Outputs::commit() {
    if (removedFile_ && !removedFile_->commit()) {
        if (resultFile_)
            resultFile_->cancel();
        error_ = removedFile_->error();
        return false;
    }
    if (resultFile_ && !resultFile_->commit()) {
        error_ = resultFile_->error();
        if (removedFile_)
            error_ += QStringLiteral("\n删除的行已经写入 %1。").arg(ShownPath(removedPath_));
        return false;
    }
    return true;
}
