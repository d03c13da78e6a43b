#pragma once

#include "files/linebreaks.h"
#include "files/textcodec.h"

// The encoding and the line break a text is written in.
struct FileFormat {
    TextEncoding encoding = TextEncoding::Gbk;
    LineBreak lineBreak = LineBreak::CrLf;
    bool operator==(const FileFormat&) const = default;
};
