#pragma once

#include <QString>
#include <QStringView>

#include <optional>

// What a list compared with the input does to it, and the words for it.
enum class ListKind {
    Exclude,   // the lines whose key it holds go
    Intersect, // only the lines whose key it holds stay
};

// The kind's word: the command line's option ("--exclude") and the word the settings remember.
inline QString ListKindName(ListKind kind) {
    return kind == ListKind::Exclude ? QStringLiteral("exclude") : QStringLiteral("intersect");
}

// The kind of a word that ListKindName gives; nothing for any other.
inline std::optional<ListKind> ListKindOfName(QStringView name) {
    for (const ListKind kind : {ListKind::Exclude, ListKind::Intersect}) {
        if (name == ListKindName(kind))
            return kind;
    }
    return std::nullopt;
}

// The kind in the words of the note, the tooltip and --stats: "排除清单" or "交集清单".
inline QString ListKindLabel(ListKind kind) {
    return kind == ListKind::Exclude ? QStringLiteral("排除清单") : QStringLiteral("交集清单");
}
