#include "ui/statistic/removedexport.h"

#include "engine/writing/removedrow.h"

#include <QFileInfo>

namespace {

// A removed line as a row of text, as the command line's list of removed lines writes it.
void AppendRow(QString& out, const RemovedLine& line, const RemovedRows& listed) {
    AppendRemovedRowHead(out, line, listed.inputNames(), listed.listNames());
    out += line.text;
}

} // namespace

QStringList RemovedInputNames(const FilterSource& source) {
    QStringList names;
    if (const auto* file = std::get_if<std::shared_ptr<const LargeFile>>(&source);
        file && (*file)->paths.size() > 1) {
        for (const QString& path : (*file)->paths)
            names.append(QFileInfo(path).fileName());
    }
    return RemovedRowNames(names);
}

QStringList RemovedListNames(const EngineSettings& settings) {
    QStringList names;
    for (const ComparedList& list : settings.lists)
        names.append(list.name);
    return RemovedRowNames(names);
}

Outcome ListRemoved(const FilterSource& source, const EngineSettings& settings,
                    RemovedRows::Limits limits, const EngineProgress& progress,
                    std::shared_ptr<const RemovedRows>* into) {
    auto rows = std::make_shared<RemovedRows>(limits, RemovedInputNames(source),
                                              RemovedListNames(settings));
    EngineSettings s = settings;
    s.removedOut = [&rows](const RemovedLine& line) {
        rows->add(line);
        return true;
    };
    const EngineResult result = RunOverSource(source, std::move(s), progress);
    if (result.ok())
        *into = std::move(rows);
    return result.outcome;
}

Outcome ForEachRemoved(const RemovedRows& listed, const FilterSource& source,
                       const EngineSettings& settings, const EngineProgress& progress,
                       const std::function<bool(const RemovedLine&)>& out) {
    if (listed.complete()) {
        for (qsizetype i = 0; i < listed.size(); ++i) {
            if (!out(listed.removedLine(i)))
                return Outcome::cancelled();
            // Now and then, so that a cancel is heard.
            if ((i + 1) % 4096 == 0 && progress && !progress(i + 1, listed.size()))
                return Outcome::cancelled();
        }
        return Outcome::done();
    }
    EngineSettings s = settings;
    bool stopped = false;
    s.removedOut = [&](const RemovedLine& line) {
        stopped = !out(line);
        return !stopped;
    };
    const EngineResult result = RunOverSource(source, std::move(s), progress);
    return stopped ? Outcome::cancelled() : result.outcome;
}

Outcome AllRemovedText(const RemovedRows& listed, const FilterSource& source,
                       const EngineSettings& settings, const EngineProgress& progress,
                       QString* into) {
    QString text;
    Outcome outcome =
        ForEachRemoved(listed, source, settings, progress, [&](const RemovedLine& line) {
            AppendRow(text, line, listed);
            text += QLatin1String("\r\n");
            return true;
        });
    if (outcome.ok())
        *into = std::move(text);
    return outcome;
}

Outcome SaveAllRemoved(const RemovedRows& listed, const FilterSource& source,
                       const EngineSettings& settings, const QString& path, TextEncoding encoding,
                       LineBreak lineBreak, bool exact, const EngineProgress& progress) {
    return SaveRows(path, encoding, lineBreak, exact, [&](const RowSink& write) {
        QString row;
        return ForEachRemoved(listed, source, settings, progress, [&](const RemovedLine& line) {
            row.resize(0);
            AppendRow(row, line, listed);
            return write(row);
        });
    });
}
