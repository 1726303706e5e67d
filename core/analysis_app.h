#pragma once
// The application's analysis half: the entry list, format detection, the
// opening procedure and the dispatch of rough and detailed analyses. Shells
// own one CAnalysisApp; each analysis is a run of its own (CAnalysisRun)
// that writes an AnalysisResult, which the application then hands to the
// shell.
#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include <functional>

#include "core/analysis_entry_list.h"
#include "core/analysis_result.h"
#include "core/analysis_run.h"
#include "core/batch_paths.h"
#include "core/format_table.h"
#include "core/shell.h"

struct FileCloser {
    void operator()(FILE* fp) const { std::fclose(fp); }
};
using FilePtr = std::unique_ptr<FILE, FileCloser>;

// Opens a file for analysis, read-only, as a stream on which a read error
// counts as the end of the file (core/read_stream.h). Fails for paths of more
// than 511 bytes, which the 512-byte path buffers cannot hold, and for
// anything that is not a regular file: a directory, a FIFO, a device, a
// dangling link. It never waits.
FilePtr OpenAnalysisFile(const char* path);

enum class OpenOutcome {
    Opened,        // registered and analysed
    Refused,       // unreadable or unsupported: DetectFormat reported it
    Skipped,       // unsupported, inside a folder: counted, not reported
    Duplicate,     // already open
    NotAnalysed,   // registered, but the rough analysis could not open it
};

class CAnalysisApp {
public:
    CAnalysisApp(IShell& shell, FormatTable formats);
    ~CAnalysisApp();
    CAnalysisApp(const CAnalysisApp&) = delete;
    CAnalysisApp& operator=(const CAnalysisApp&) = delete;

    FormatTable Formats() const { return formats_; }
    // The row of format; null when the table has none.
    const FormatHandler* Format(uint32_t format) const;
    // Text of the rough list's format column; null for a code that names no
    // format of this application that can be opened.
    const char* FormatName(uint32_t format) const;
    CAnalysisEntryList& Entries() { return entries_; }

    // With reportUnsupported false, an unsupported file is not reported (an
    // unreadable one still is).
    uint32_t DetectFormat(const char* path, bool reportUnsupported = true);

    // Called before each file of a batch with its index (from 0), the size
    // of the batch and its path; returning false ends the batch there, as if
    // it had held only the files before.
    using BatchProgress = std::function<bool(size_t index, size_t count, const std::string& path)>;

    // Opens one batch of paths (File > Open or a drop): detection, entry,
    // rough analysis for each, then one rebuild of the bar, and at the end
    // one message naming the files that could not be read, one for the
    // unsupported files skipped inside folders and one for each folder
    // (emptyFolders, from ExpandFolders) that held nothing to open.
    // duplicateOwner is the owner of the "already open", "skipped" and
    // empty-folder messages (none for the dialog, the main frame for dropped
    // files). One outcome per file handled: fewer than the batch holds when
    // progress ended it.
    std::vector<OpenOutcome> OpenFiles(const std::vector<BatchPath>& batch, MessageOwner duplicateOwner,
                                       const BatchProgress& progress = {},
                                       const std::vector<std::string>& emptyFolders = {});
    std::vector<OpenOutcome> OpenFiles(const std::vector<std::string>& paths,
                                       MessageOwner duplicateOwner = MessageOwner::None);
    // How many files of a batch are analysed at once (1, the default: one
    // after the other). The results are applied in the batch's order, so
    // the rows, the entries and the messages are the same either way.
    void SetBatchThreads(uint32_t threads) { batchThreads_ = threads; }

    // The steps of OpenFiles, for shells that analyse on other threads.
    // AnalyseBatchFile detects one file's format and, when it is supported
    // and analyse is set, runs its rough analysis; it touches nothing but
    // the result it returns, so it may run on any thread, for several files
    // at once. ApplyBatchFile then registers the file (on the thread that
    // owns the application): the messages, the entry, the row. A file
    // already open is not registered again; AlreadyOpen says so before the
    // analysis is run. FinishBatch rebuilds the bar and gives the messages
    // of the batch's end.
    std::unique_ptr<AnalysisResult> AnalyseBatchFile(const BatchPath& item, bool analyse) const;
    bool AlreadyOpen(const std::string& path) const;
    OpenOutcome ApplyBatchFile(const BatchPath& item, AnalysisResult& result, MessageOwner duplicateOwner,
                               std::vector<std::string>& unreadableFiles);
    void FinishBatch(const std::vector<OpenOutcome>& outcomes, const std::vector<std::string>& unreadableFiles,
                     const std::vector<std::string>& emptyFolders, MessageOwner owner);

    // Returns false when the file could not be opened for the analysis.
    bool RunRoughAnalysis(uint32_t format, const char* path);

    // A detailed analysis in three steps, so that the middle one may run on
    // another thread: BeginDetailedAnalysis opens the file's document (false
    // when there is nothing to analyse: the file has a window already) and
    // says which document it is;
    // AnalyseDetailed runs the analysis, touching nothing but its result;
    // FinishDetailedAnalysis gives its messages and has the shell show it
    // in the document. RunDetailedAnalysis does all three.
    bool BeginDetailedAnalysis(const char* path, size_t& document);
    std::unique_ptr<AnalysisResult> AnalyseDetailed(const char* path) const;
    // The same into a result made beforehand, so that another thread can ask
    // it to stop, and read how far it has come, while it runs.
    void AnalyseDetailed(const char* path, AnalysisResult& result) const;
    void FinishDetailedAnalysis(size_t document, AnalysisResult& result);
    void RunDetailedAnalysis(const char* path);
    void DeleteEntry(const char* path);

    // Set on every run this application starts (tests look at nested
    // analyses through it).
    std::function<void(const AnalysisRequest&)> onNested;

private:
    void ShowMessage(const std::string& text, const char* caption = "",
                     MessageOwner owner = MessageOwner::None);
    void ShowMessages(const AnalysisResult& result);
    void ReportBatchEnd(const std::vector<OpenOutcome>& outcomes, const std::vector<std::string>& unreadableFiles,
                        const std::vector<std::string>& emptyFolders, MessageOwner owner);
    // keep, when given, takes the stream read when the format was found.
    uint32_t Detect(const char* path, bool reportUnsupported, AnalysisResult& result, FilePtr* keep = nullptr) const;
    // Analyses fp, the detection's stream, or the file opened anew.
    void RoughAnalysis(uint32_t format, const char* path, AnalysisResult& result, FilePtr fp = nullptr) const;
    void ApplyRough(const char* path, uint32_t format, const AnalysisResult& result);
    // Per file of the batch: open already, or named earlier in it.
    std::vector<bool> OpenBeforeAnalysis(const std::vector<BatchPath>& batch) const;

    IShell& shell_;
    FormatTable formats_;
    CAnalysisEntryList entries_;
    uint32_t batchThreads_ = 1;
};
