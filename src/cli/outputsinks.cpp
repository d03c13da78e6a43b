#include "cli/outputsinks.h"

#include "files/reasons.h"

#include <QFileDevice>

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
