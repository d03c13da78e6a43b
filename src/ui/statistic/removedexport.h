#pragma once

#include "ui/statistic/removedrows.h"
#include "ui/statistic/repeatsexport.h"

#include <memory>

// The removed lines of a filter: listed within the room the window gives them, and exported
// whole however many there are, streamed from the engine once more when the list does not hold
// them all.

// How the rows name the inputs of a source (when there are several, by their file names) and the
// compared lists (see RemovedRowNames).
QStringList RemovedInputNames(const FilterSource& source);
QStringList RemovedListNames(const EngineSettings& settings);

// Runs the engine over the source with the settings and lists its removed lines within `limits`,
// into *into.
Outcome ListRemoved(const FilterSource& source, const EngineSettings& settings,
                    RemovedRows::Limits limits, const EngineProgress& progress,
                    std::shared_ptr<const RemovedRows>* into);

// Hands every removed line to `out`, in input order: from the list when it holds them all whole,
// otherwise streamed from the engine once more. `out` returning false cancels.
Outcome ForEachRemoved(const RemovedRows& listed, const FilterSource& source,
                       const EngineSettings& settings, const EngineProgress& progress,
                       const std::function<bool(const RemovedLine&)>& out);

// Every removed line as a row of text (see AppendRemovedRowHead), each ended by CR LF, into
// *into.
Outcome AllRemovedText(const RemovedRows& listed, const FilterSource& source,
                       const EngineSettings& settings, const EngineProgress& progress,
                       QString* into);

// Saves every removed line, as AllRemovedText writes it, by the rules of SaveRows.
Outcome SaveAllRemoved(const RemovedRows& listed, const FilterSource& source,
                       const EngineSettings& settings, const QString& path, TextEncoding encoding,
                       LineBreak lineBreak, bool exact, const EngineProgress& progress);
