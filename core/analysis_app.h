#pragma once
// The application's analysis half: the entry list, format detection, the
// opening procedure and the dispatch of rough and detailed analyses. Shells
// own one CAnalysisApp; each analysis gets it in its request.
#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include <functional>

#include "core/analysis_entry_list.h"
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

    IShell& Shell() { return shell_; }
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
    // Returns false when the file could not be opened for the analysis.
    bool RunRoughAnalysis(uint32_t format, const char* path);
    void RunDetailedAnalysis(const char* path);
    void DeleteEntry(const char* path);

    // A file's rough analysis adds at most this many entries, and a detailed
    // analysis at most this many result lines; what lies beyond is not listed.
    // Each entry holds one line, and tree widgets slow down long
    // before memory runs out, so a hostile file cannot swamp either.
    static constexpr uint32_t kMaxEntriesPerFile = 65536;
    static constexpr uint32_t kMaxTreeItems = 262144;

    // Nested analyses (Exif data inside JPEG, JPEG data inside TIFF) may go
    // this deep, and one top-level analysis may start this many of them: a
    // file whose embedded structures contain each other again cannot make
    // the analysis branch without end.
    static constexpr uint32_t kMaxNestedDepth = 4;
    static constexpr uint32_t kMaxNestedAnalyses = 64;

    // Held by an analyzer around a nested analysis; Allowed() says whether
    // the nested analysis may run.
    class NestedScope {
    public:
        explicit NestedScope(CAnalysisApp& app);
        ~NestedScope();
        NestedScope(const NestedScope&) = delete;
        NestedScope& operator=(const NestedScope&) = delete;
        bool Allowed() const { return allowed_; }

    private:
        CAnalysisApp& app_;
        bool allowed_;
    };

    // What the analyzers use. AddEntry returns -1 for an entry beyond the
    // limit; ActiveTree's InsertItem returns 0 for a line beyond it.
    int32_t AddEntry(uint32_t level, const char* text);
    ITreeControl* ActiveTree();
    void AppendResultText(int row, const char* text) { shell_.AppendResultText(row, text); }

private:
    // Reports neither an unreadable file (unreadable is set) nor, without
    // reportUnsupported, an unsupported one.
    uint32_t Detect(const char* path, bool reportUnsupported, bool& unreadable);
    void ReportBatchEnd(const std::vector<OpenOutcome>& outcomes, const std::vector<std::string>& unreadableFiles,
                        const std::vector<std::string>& emptyFolders, MessageOwner owner);
    void ShowMessage(const std::string& text, const char* caption = "",
                     MessageOwner owner = MessageOwner::None);

    // The active view's tree behind a count of the lines inserted.
    class CLimitedTree;

    IShell& shell_;
    FormatTable formats_;
    CAnalysisEntryList entries_;
    uint32_t fileEntries_ = 0;
    uint32_t nestedDepth_ = 0;
    uint32_t nestedAnalyses_ = 0;
    std::unique_ptr<CLimitedTree> limitedTree_;
};

// Runs the analyzer of format through the format table of request.app
// (nothing without one). A nested analysis passes its own
// request on with the fields it changes.
void RunAnalyzer(uint32_t format, const AnalysisRequest& request);
