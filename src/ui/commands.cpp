#include "ui/commands.h"

#include "core/linefilter.h"
#include "files/textfile.h"
#include "platform/desktopservices.h"
#include "ui/textbox.h"

namespace {

// Texts above this size are filtered and saved away from the window's thread.
constexpr qsizetype kBackgroundChars = qsizetype(256) * 1024;

bool IsLarge(const QString& text) {
    return text.size() > kBackgroundChars;
}

// The text without the U+0020 spaces at its two ends (line breaks and tabs stay).
QStringView TrimSpaces(QStringView text) {
    qsizetype begin = 0;
    qsizetype end = text.size();
    while (begin < end && text[begin] == QChar(u' '))
        ++begin;
    while (end > begin && text[end - 1] == QChar(u' '))
        --end;
    return text.sliced(begin, end - begin);
}

} // namespace

FilterJob::FilterJob(TextBox& input, TextBox& output, DesktopServices& services, bool refuseEmpty,
                     QObject* parent)
    : Job(&output, parent), input_(input), output_(output), services_(services),
      refuseEmpty_(refuseEmpty) {}

void FilterJob::run() {
    beginStep(QStringLiteral("正在读取输入框"), 0, 10);
    followBox(&input_);
    input_.withText(guarded([this](const QString& input) {
        if (refuseEmpty_ && TrimSpaces(input).isEmpty()) {
            complete();
            services_.MsgBox(QStringLiteral("很抱歉,过滤前的数据为空,不给予操作..."),
                             DesktopServices::Critical, QStringLiteral("过滤失败"));
            return;
        }
        beginStep(QStringLiteral("正在过滤"), 10, 25, -1);
        runWork<PreparedText>(
            IsLarge(input), [input] { return TextBox::prepare(FilterDuplicateLines(input)); },
            [this](const PreparedText& output) {
                // The output box's text must be known before it is replaced, for a cancel to
                // put it back.
                beginStep(QStringLiteral("正在读取输出框"), 25, 30);
                followBox(&output_);
                output_.withText(guarded([this, output](const QString&) {
                    beginStep(QStringLiteral("正在填入输出框"), 30, 100);
                    followBox(&output_);
                    filling_ = true;
                    output_.setText(output, guarded([this] { complete(); }));
                }));
            });
    }));
}

void FilterJob::takeBack(const std::function<void()>& done) {
    if (filling_)
        output_.cancelFill(done);
    else
        done();
}

ImportJob::ImportJob(TextBox& input, QString path, DesktopServices& services, QObject* parent)
    : Job(&input, parent), input_(input), path_(std::move(path)), services_(services) {}

namespace {
struct Imported {
    ImportResult result; // its text moved into `text`
    PreparedText text;
};
} // namespace

// The file is always read on a worker thread: whatever it turns out to be, the window goes on.
void ImportJob::run() {
    beginStep(QStringLiteral("正在读取文件"), 0, 30, -1);
    runWork<Imported>(
        true,
        [path = path_] {
            Imported imported{ImportTextFile(path), {}};
            if (imported.result.ok)
                imported.text = TextBox::prepare(std::exchange(imported.result.decoded.text, {}));
            return imported;
        },
        [this](const Imported& imported) {
            const ImportResult& result = imported.result;
            if (!result.ok) {
                complete();
                services_.MsgBox(result.error, DesktopServices::Critical,
                                 QStringLiteral("导入失败"));
                return;
            }
            beginStep(QStringLiteral("正在读取输入框"), 30, 35);
            followBox(&input_);
            input_.withText(guarded([this, result, text = imported.text](const QString&) {
                beginStep(QStringLiteral("正在填入输入框"), 35, 100);
                followBox(&input_);
                filling_ = true;
                const qsizetype unreadable = result.decoded.unreadable;
                const TextEncoding encoding = result.decoded.encoding;
                input_.setText(
                    text, guarded([this, unreadable, encoding] {
                        encoding_ = encoding;
                        complete();
                        if (unreadable > 0)
                            services_.MsgBox(
                                QStringLiteral(
                                    "文件中有 %1 处字节无法识别为文字，已用 \uFFFD 代替。")
                                    .arg(unreadable),
                                DesktopServices::Information, QStringLiteral("提示"));
                    }),
                    TextBox::Undo::Keep);
            }));
        });
}

void ImportJob::takeBack(const std::function<void()>& done) {
    if (filling_)
        input_.cancelFill(done);
    else
        done();
}

SaveJob::SaveJob(TextBox& output, QString path, TextEncoding encoding, DesktopServices& services,
                 QObject* parent)
    : Job(&output, parent), output_(output), path_(std::move(path)), encoding_(encoding),
      services_(services) {}

void SaveJob::run() {
    beginStep(QStringLiteral("正在读取输出框"), 0, 20);
    followBox(&output_);
    output_.withText(guarded([this](const QString& output) {
        // From here the file may change: the save goes through to its end.
        beginStep(QStringLiteral("正在保存"), 20, 100, -1);
        setCanCancel(false);
        runWork<SaveResult>(
            IsLarge(output),
            [path = path_, output, encoding = encoding_] {
                return SaveTextFile(path, output, encoding);
            },
            [this](const SaveResult& result) {
                complete();
                if (!result.ok) {
                    services_.MsgBox(result.error, DesktopServices::Critical,
                                     QStringLiteral("保存失败"));
                    return;
                }
                services_.MsgBox(QStringLiteral("结果已保存至指定路径！"),
                                 DesktopServices::Information, QStringLiteral("提示"));
                services_.OpenPublisherPage();
            });
    }));
}

CopyJob::CopyJob(TextBox& output, DesktopServices& services, QObject* parent)
    : Job(&output, parent), output_(output), services_(services) {}

void CopyJob::run() {
    beginStep(QStringLiteral("正在读取输出框"), 0, 100);
    followBox(&output_);
    output_.withText(guarded([this](const QString& output) {
        complete();
        const QStringView trimmed = TrimSpaces(output);
        if (trimmed.isEmpty()) {
            services_.MsgBox(QStringLiteral("很抱歉,过滤后的数据为空,不给予操作..."),
                             DesktopServices::Critical, QStringLiteral("复制失败"));
            return;
        }
        services_.ClipboardClear();
        // The clipboard cannot carry an undecodable byte; it gets U+FFFD, as the box shows.
        services_.ClipboardSetText(WithReplacementCharacters(
            trimmed.size() == output.size() ? output : trimmed.toString()));
        services_.MsgBox(QStringLiteral("复制成功..."), DesktopServices::Information,
                         QStringLiteral("过滤后的数据..."));
    }));
}
