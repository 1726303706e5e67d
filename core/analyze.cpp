#include "core/analyze.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>

#include "core/analysis_run.h"
#include "core/read_stream.h"
#include "core/result_text.h"

namespace {

constexpr const char* kUnreadableNumber = "SA00000001";
// The last line of a detailed analysis that was asked to stop.
constexpr const char* kCancelledLine = "解析はキャンセルされました";

// One message names this many unreadable files at most; a line counts the
// rest, so that a folder of thousands cannot make a box taller than the
// screen.
constexpr size_t kMaxListedFiles = 20;

// The stream the detection read, back at the file's start, for the analysis
// that follows it; the file is opened anew when there is none.
bool ReopenForAnalysis(const char* path, FilePtr& fp)
{
    if (fp && std::fseek(fp.get(), 0, SEEK_SET) != 0)
        fp.reset();
    if (!fp)
        fp = OpenAnalysisFile(path);
    return fp != nullptr;
}

}  // namespace

std::string CannotOpenText(const std::vector<std::string>& paths, const char* errorNumber)
{
    std::string text = "ファイルを開けません\n";
    for (size_t i = 0; i < paths.size() && i < kMaxListedFiles; ++i)
        text += paths[i] + "\n";
    if (paths.size() > kMaxListedFiles)
        text += "ほか" + std::to_string(paths.size() - kMaxListedFiles) + "個のファイル\n";
    return text + "エラー番号：" + errorNumber;
}

Diagnostic UnreadableDiagnostic(const std::vector<std::string>& paths)
{
    return {DiagnosticKind::Unreadable, DiagnosticSeverity::Error, CannotOpenText(paths, kUnreadableNumber), "",
            kUnreadableNumber};
}

FilePtr OpenAnalysisFile(const char* path)
{
    if (!path || std::strlen(path) > kMaxLineBytes)
        return nullptr;
    // Only regular files are opened: opening a FIFO waits for a writer, and
    // opening a device can act on it. The name is looked at first, then what
    // was opened (without waiting) is checked again, in case the name was
    // replaced in between. On a regular file O_NONBLOCK changes nothing, so
    // it stays set.
    struct stat st {};
    if (stat(path, &st) != 0 || !S_ISREG(st.st_mode))
        return nullptr;
    const int fd = open(path, O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (fd < 0)
        return nullptr;
    if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        close(fd);
        return nullptr;
    }
    return FilePtr(OpenFileReadStream(fd, st.st_size));
}

const FormatHandler* FindFormat(FormatTable formats, uint32_t format)
{
    for (const FormatHandler& handler : formats)
        if (handler.code == format)
            return &handler;
    return nullptr;
}

const char* FormatName(FormatTable formats, uint32_t format)
{
    const FormatHandler* handler = FindFormat(formats, format);
    return handler && handler->detect ? handler->name : nullptr;
}

uint32_t DetectFormat(const char* path, const AnalysisOptions& options, AnalysisResult& result, FilePtr* keep)
{
    FilePtr fp = OpenAnalysisFile(path);
    result.unreadable = !fp;
    result.format = kFormatUnsupported;
    if (!fp)
        return kFormatUnsupported;
    std::vector<uint8_t> head(DetectionBytes(options.formats));
    const size_t n = std::fread(head.data(), 1, head.size(), fp.get());
    if (const FormatHandler* handler = DetectedFormat(options.formats, head.data(), n)) {
        if (keep)
            *keep = std::move(fp);
        return result.format = handler->code;
    }
    if (options.reportUnsupported)
        result.diagnostics.emplace_back(DiagnosticKind::Unsupported, DiagnosticSeverity::Notice,
                                        std::string("未対応の形式です。\n") + path);
    return kFormatUnsupported;
}

void AnalyzeDetected(uint32_t format, const char* path, AnalysisMode mode, const AnalysisOptions& options,
                     AnalysisResult& result, FilePtr fp)
{
    const FormatHandler* handler = FindFormat(options.formats, format);
    if (!handler)
        return;
    result.format = format;
    if (mode == AnalysisMode::Detailed) {
        result.lines.Append(path, kTopLevel);
        result.lines.SetLimit(CAnalysisRun::kMaxTreeItems);
    }
    result.attempted = true;
    if (!ReopenForAnalysis(path, fp)) {
        const char* number = mode == AnalysisMode::Rough ? handler->roughOpenError : handler->detailedOpenError;
        result.diagnostics.push_back(
            {DiagnosticKind::OpenFailed, DiagnosticSeverity::Error, CannotOpenText({path}, number), "", number});
        return;
    }
    result.analysed = true;
    CAnalysisRun run(options, mode, result);
    RunAnalyzer(format, {.run = &run, .fp = fp.get(), .path = path, .mode = mode});
    run.FinishPictures();
    if (mode == AnalysisMode::Rough && result.summary.empty())
        result.summaryAbsence = result.roughLines.empty() ? "解析できる構造が見つかりません"
                                                          : "ﾍｯﾀﾞｰに画像ｻｲｽﾞが見つかりません";
    if (mode == AnalysisMode::Detailed && result.CancelRequested())
        result.lines.AppendAfterStop(kCancelledLine);
}

void Analyze(const char* path, AnalysisMode mode, const AnalysisOptions& options, AnalysisResult& result)
{
    FilePtr fp;
    const uint32_t format = DetectFormat(path, options, result, &fp);
    if (result.unreadable)
        result.diagnostics.push_back(UnreadableDiagnostic({path}));
    if (format != kFormatUnsupported && (mode == AnalysisMode::Detailed || FormatName(options.formats, format)))
        AnalyzeDetected(format, path, mode, options, result, std::move(fp));
}

std::unique_ptr<AnalysisResult> Analyze(const char* path, AnalysisMode mode, const AnalysisOptions& options)
{
    auto result = std::make_unique<AnalysisResult>();
    Analyze(path, mode, options, *result);
    return result;
}

size_t DecodePictures(const char* path, const AnalysisOptions& options, const std::vector<size_t>& wanted,
                      const std::function<void(size_t index, ResultPicture& picture)>& take)
{
    AnalysisOptions decode = options;
    decode.keepPixels = false;
    decode.wantPicture = [&wanted](size_t index) {
        return std::find(wanted.begin(), wanted.end(), index) != wanted.end();
    };
    decode.takePicture = [&](size_t index, ResultPicture& picture) {
        if (decode.wantPicture(index))
            take(index, picture);
    };
    AnalysisResult result;
    Analyze(path, AnalysisMode::Detailed, decode, result);
    return result.pictures.size();
}
