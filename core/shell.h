#pragma once
// What the analysis core and the analyzers need of the platform. The headless
// shell (command-line tool, tests) keeps everything in memory; the desktop
// program implements the same operations on its windows.
#include <cstdint>
#include <string>
#include <vector>

#include "core/analysis_entry_list.h"

struct AnalysisResult;
struct Anomaly;

// The application's title: the caption of the application's message boxes,
// and the caption shells give boxes that name none.
inline constexpr const char* kAppTitle = "Vantrel";

enum class MessageOwner {
    None,          // no owner window, the platform's default caption
    Application,   // an application message box
    MainFrame,
    RoughList,     // the rough-analysis list control
    TreeBar,       // the analysis-tree bar
    TreeBarTree,   // the analysis-tree bar's tree control
};

enum class MessageButtons { Ok, OkCancel };
enum class MessageAnswer { Ok, Cancel };

struct MessageBoxRequest {
    std::string text;
    std::string caption;   // empty: the platform's default caption
    MessageOwner owner = MessageOwner::None;
    MessageButtons buttons = MessageButtons::Ok;
};

// An image window's rectangle: {0, 0, W, H} for a picture of W x H pixels.
struct ImageRect {
    int32_t left = 0;
    int32_t top = 0;
    int32_t right = 0;
    int32_t bottom = 0;
};

class IShell {
public:
    virtual ~IShell() = default;

    // Rough-analysis list rows; rows are inserted at the top (row 0).
    virtual int InsertFileRow(const char* path) = 0;
    virtual void SetFormatText(int row, const char* text) = 0;
    // Appends to the result column; the cell keeps at most 511 bytes.
    virtual void AppendResultText(int row, const char* text) = 0;
    // Why a row's analysis gave no summary (shells that show it keep it).
    virtual void SetSummaryAbsence(int, const std::string&) {}
    // What the row's rough analysis found wrong with the file (shells that
    // show it keep it); not called when it found nothing.
    virtual void SetRowAnomalies(int, const std::vector<Anomaly>&) {}
    // Index of the first row whose path equals path, from the top; -1 if none.
    virtual int FindRow(const char* path) = 0;
    virtual void DeleteRow(int row) = 0;

    // Renders the entry list into the analysis-tree bar (RebuildAnalysisTree).
    virtual void RebuildTree(const AnalysisEntry* head) = 0;

    // Detailed-analysis documents of the one document template, in the
    // template's order. NewDocument creates a document titled "Default" with
    // its frame and view and makes that frame the active one.
    virtual void NewDocument() = 0;
    virtual size_t DocumentCount() const = 0;
    virtual std::string DocumentTitle(size_t index) const = 0;
    virtual void SetDocumentTitle(size_t index, const std::string& title) = 0;
    virtual void CloseDocument(size_t index) = 0;
    // Index of the first document titled title, DocumentCount() when none
    // is. Shells that keep their titles indexed answer without the walk.
    virtual size_t DocumentIndex(const std::string& title) const
    {
        const size_t count = DocumentCount();
        for (size_t i = 0; i < count; ++i)
            if (DocumentTitle(i) == title)
                return i;
        return count;
    }

    // Shows a finished detailed analysis in the document's view: its lines
    // and its pictures' windows. The shell may take them out of result.
    virtual void ShowDetailedResult(size_t document, AnalysisResult& result) = 0;

    virtual MessageAnswer MessageBox(const MessageBoxRequest& request) = 0;

    // Ends the process at once with the given exit code. Does not return.
    [[noreturn]] virtual void ExitProcess(int code) = 0;
};
