#pragma once

// Folder ui/compare: what the window compares. The options menu (filteroptionsmenu), the part of
// a line compared (keyruledialog), the lists compared with (listsdialog), and how the setup is
// described and remembered (comparesetup).

#include "core/linekey.h"
#include "engine/engine.h"

#include <QString>
#include <QStringList>

#include <vector>

// The part of a line the window compares (比较范围) and the lists it compares the input with
// (对照清单): how they are described to the user and remembered between runs.

// A pasted list is remembered between runs while it has at most this many characters (2 MiB of
// memory, as much as an undo keeps); a larger one is used for the run and then forgotten.
constexpr qsizetype kRememberedListChars = qsizetype(1) << 20;

// How the window names a pasted list: "粘贴的清单 1", "粘贴的清单 2"...
QString PastedListName(int number);

// Names the pasted lists by their order among the pasted ones: 粘贴的清单 1, 2...
void NumberPastedLists(std::vector<ComparedList>& lists);

// The separator in words: "制表符", "逗号", "空白", "CSV" or "“X”".
QString DescribeSeparator(const Separator& separator);

// What differs from the whole line in the key, in the window's words: which part is compared,
// then each option of the part compared that is set. Empty for the default.
QStringList DescribeKeyRule(const KeyRule& rule);

// The lists, each as "排除清单 NAME" or "交集清单 NAME" (see ListKindLabel), joined by "、".
QString DescribeComparedLists(const std::vector<ComparedList>& lists);

// The key as the program remembers it (a JSON object, its options by their settings words), and
// back. A text that cannot be read, or that makes no key that can be used (no column number, a bad
// pattern), is the whole line.
QString KeyRuleToText(const KeyRule& rule);
KeyRule KeyRuleFromText(const QString& text);

// The lists as the program remembers them (a JSON array): files by their path, pasted lists by
// their text while it has at most kRememberedListChars characters (larger ones are left out).
// Read back, entries that cannot be read are passed over, and at most kMostComparedLists come
// back, their pasted ones numbered again.
QString ComparedListsToText(const std::vector<ComparedList>& lists);
std::vector<ComparedList> ComparedListsFromText(const QString& text);
