#pragma once

#include <QString>

class DesktopServices;
class Job;
struct EngineSettings;

// What the jobs of commands.cpp and largecommands.cpp share.

// A key pattern can take very long on each line: the job then says so, and why.
void ExplainSlowPattern(Job& job, const EngineSettings& settings);

// Puts a result on the clipboard, without the spaces at its two ends, and says so; an empty
// result is refused.
void CopyResult(const QString& text, DesktopServices& services);

// Says that the result was saved, and opens the publisher's page.
void ReportSaved(DesktopServices& services);
