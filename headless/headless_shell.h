#pragma once
// A shell without windows: the rough list, the bar's tree, the documents with
// their result trees and image windows all live in memory. Message boxes are
// recorded (and answered from a script, OK by default); the process exit is
// thrown as CProcessExit so that callers can observe it.
#include <deque>
#include <functional>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <unordered_map>
#include <vector>

#include "headless/headless_row_list.h"
#include "core/analysis_result.h"
#include "core/line_tree.h"
#include "core/shell.h"
#include "image/image_buffer.h"

class CProcessExit : public std::runtime_error {
public:
    explicit CProcessExit(int exitCode) : std::runtime_error("process exit"), code(exitCode) {}
    int code;
};

struct HeadlessImageWindow {
    std::string title;
    std::string label;      // which picture of the file it is; empty for its own
    ImageRect rect;         // after clamping to the largest image window
    CImageBuffer image;
    bool visible = false;
};

struct HeadlessDocument {
    std::string title;
    size_t index = 0;   // its place among the shell's documents
    CLineTree tree;
    std::vector<std::unique_ptr<HeadlessImageWindow>> images;
    std::vector<DecodeRecord> decodes;
    std::vector<Anomaly> anomalies;
    uint32_t anomaliesDropped = 0;
};

struct RecordedMessage {
    MessageBoxRequest request;
    MessageAnswer answer;
};

class CHeadlessShell final : public IShell {
public:
    int InsertFileRow(const char* path) override;
    void SetFormatText(int row, const char* text) override;
    void AppendResultText(int row, const char* text) override;
    int FindRow(const char* path) override;
    void DeleteRow(int row) override;
    void SetRowAnomalies(int row, const std::vector<Anomaly>& anomalies) override;

    void RebuildTree(const AnalysisEntry* head) override;

    void NewDocument() override;
    size_t DocumentCount() const override { return documents_.size(); }
    std::string DocumentTitle(size_t index) const override;
    void SetDocumentTitle(size_t index, const std::string& title) override;
    void CloseDocument(size_t index) override;
    size_t DocumentIndex(const std::string& title) const override;
    void ShowDetailedResult(size_t document, AnalysisResult& result) override;

    MessageAnswer MessageBox(const MessageBoxRequest& request) override;
    [[noreturn]] void ExitProcess(int code) override;

    // Inspection and scripting.
    const std::deque<HeadlessRow>& Rows() const { return rows_.Rows(); }
    // A copy of one row; false when there is no row at that index.
    bool Row(int row, HeadlessRow& out) const { return rows_.Get(row, out); }
    const CLineTree& BarTree() const { return barTree_; }
    // Whether the bar's tree is kept (the default). A caller that never
    // shows it saves the tree's lines, a few dozen bytes each, while the
    // entries are still checked as a rebuild checks them.
    void SetKeepBarTree(bool keep) { keepBarTree_ = keep; }
    int RebuildCount() const { return rebuildCount_; }
    const std::vector<std::unique_ptr<HeadlessDocument>>& Documents() const { return documents_; }
    HeadlessDocument* FindDocument(const std::string& title) const;
    const std::vector<RecordedMessage>& Messages() const { return messages_; }
    // The anomalies of the rough analysis of the row with this path; null
    // when it had none.
    const std::vector<Anomaly>* RowAnomalies(const std::string& path) const;
    // Answers for the next OK/Cancel questions, in order; OK when none is left.
    void ScriptAnswers(std::initializer_list<MessageAnswer> answers);
    // Called for every message box as it is shown.
    void SetMessageObserver(std::function<void(const MessageBoxRequest&)> observer);
    std::optional<int> ExitCode() const { return exitCode_; }

private:
    CHeadlessRowList rows_;
    CLineTree barTree_;
    bool keepBarTree_ = true;
    int rebuildCount_ = 0;
    // Only rows with anomalies have an entry: most files have none, and a
    // list may hold a hundred thousand rows.
    std::unordered_map<std::string, std::vector<Anomaly>> rowAnomalies_;
    void IndexTitle(HeadlessDocument* doc);
    void UnindexTitle(HeadlessDocument* doc);

    std::vector<std::unique_ptr<HeadlessDocument>> documents_;
    // The documents of each title in the order of the list, so that finding
    // a file's window costs nothing however many are open.
    std::unordered_map<std::string, std::vector<HeadlessDocument*>> byTitle_;
    HeadlessDocument* active_ = nullptr;
    std::vector<RecordedMessage> messages_;
    std::deque<MessageAnswer> answers_;
    std::function<void(const MessageBoxRequest&)> observer_;
    std::optional<int> exitCode_;
};
