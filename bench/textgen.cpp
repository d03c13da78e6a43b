#include "textgen.h"

#include <QFile>
#include <QRandomGenerator>
#include <QStringList>

#include <vector>

QString GenerateLines(qsizetype lineCount, quint32 seed) {
    static const QString kWords[] = {
        QStringLiteral("apple"),   QStringLiteral("order"), QStringLiteral("id"),
        QStringLiteral("2026"),    QStringLiteral("user"),  QStringLiteral("mail"),
        QStringLiteral("订单"),    QStringLiteral("用户"),  QStringLiteral("北京"),
        QStringLiteral("过滤"),    QStringLiteral("数据"),  QStringLiteral("重复"),
        QStringLiteral("http://"), QStringLiteral(".com"),  QStringLiteral("#"),
    };
    QRandomGenerator rng(seed);
    QString text;
    text.reserve(lineCount * 38);
    std::vector<std::pair<qsizetype, qsizetype>> uniques; // start and length in text
    uniques.reserve(std::size_t(lineCount));
    for (qsizetype i = 0; i < lineCount; ++i) {
        if (!uniques.empty() && rng.bounded(2) == 0) {
            const auto [start, length] = uniques[rng.bounded(quint32(uniques.size()))];
            text.append(QStringView(text).mid(start, length));
        } else {
            const qsizetype start = text.size();
            const int words = rng.bounded(2, 7);
            for (int w = 0; w < words; ++w) {
                text.append(kWords[rng.bounded(int(std::size(kWords)))]);
                text.append(QString::number(rng.bounded(100000)));
                if (w + 1 < words)
                    text.append(u' ');
            }
            uniques.emplace_back(start, text.size() - start);
        }
        text.append(u"\r\n");
    }
    return text;
}

double PeakMemoryMiB() {
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray& line : status.readAll().split('\n')) {
        if (line.startsWith("VmHWM:"))
            return line.mid(6).trimmed().split(' ').first().toDouble() / 1024.0;
    }
    return -1;
}
