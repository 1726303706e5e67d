#include "headless/headless_shell.h"

#include <algorithm>

#include "core/analysis_tree.h"

int CHeadlessShell::InsertFileRow(const char* path)
{
    rows_.InsertTop(path);
    return 0;
}

void CHeadlessShell::SetFormatText(int row, const char* text)
{
    rows_.SetFormat(row, text);
}

void CHeadlessShell::AppendResultText(int row, const char* text)
{
    rows_.AppendResult(row, text);
}

int CHeadlessShell::FindRow(const char* path)
{
    return rows_.Find(path);
}

void CHeadlessShell::DeleteRow(int row)
{
    if (HeadlessRow removed; !rowAnomalies_.empty() && rows_.Get(row, removed))
        rowAnomalies_.erase(removed.path);
    rows_.Erase(row);
}

void CHeadlessShell::SetRowAnomalies(int row, const std::vector<Anomaly>& anomalies)
{
    if (HeadlessRow r; rows_.Get(row, r))
        rowAnomalies_[r.path] = anomalies;
}

const std::vector<Anomaly>* CHeadlessShell::RowAnomalies(const std::string& path) const
{
    const auto found = rowAnomalies_.find(path);
    return found == rowAnomalies_.end() ? nullptr : &found->second;
}

void CHeadlessShell::RebuildTree(const AnalysisEntry* head)
{
    ++rebuildCount_;
    if (keepBarTree_)
        RebuildAnalysisTree(barTree_, head, *this);
    else
        CheckAnalysisTree(head, *this);
}

void CHeadlessShell::NewDocument()
{
    auto doc = std::make_unique<HeadlessDocument>();
    doc->title = "Default";
    doc->index = documents_.size();
    active_ = doc.get();
    IndexTitle(doc.get());
    documents_.push_back(std::move(doc));
}

void CHeadlessShell::IndexTitle(HeadlessDocument* doc)
{
    std::vector<HeadlessDocument*>& docs = byTitle_[doc->title];
    const auto at = std::lower_bound(docs.begin(), docs.end(), doc->index,
                                     [](const HeadlessDocument* d, size_t index) { return d->index < index; });
    docs.insert(at, doc);
}

void CHeadlessShell::UnindexTitle(HeadlessDocument* doc)
{
    const auto it = byTitle_.find(doc->title);
    if (it == byTitle_.end())
        return;
    std::vector<HeadlessDocument*>& docs = it->second;
    docs.erase(std::find(docs.begin(), docs.end(), doc));
    if (docs.empty())
        byTitle_.erase(it);
}

std::string CHeadlessShell::DocumentTitle(size_t index) const
{
    return index < documents_.size() ? documents_[index]->title : std::string();
}

void CHeadlessShell::SetDocumentTitle(size_t index, const std::string& title)
{
    if (index >= documents_.size())
        return;
    HeadlessDocument* doc = documents_[index].get();
    UnindexTitle(doc);
    doc->title = title;
    IndexTitle(doc);
}

void CHeadlessShell::CloseDocument(size_t index)
{
    if (index >= documents_.size())
        return;
    if (active_ == documents_[index].get())
        active_ = nullptr;
    UnindexTitle(documents_[index].get());
    documents_.erase(documents_.begin() + static_cast<std::ptrdiff_t>(index));
    for (size_t i = index; i < documents_.size(); ++i)
        documents_[i]->index = i;
}

size_t CHeadlessShell::DocumentIndex(const std::string& title) const
{
    const auto it = byTitle_.find(title);
    return it == byTitle_.end() ? documents_.size() : it->second.front()->index;
}

HeadlessDocument* CHeadlessShell::FindDocument(const std::string& title) const
{
    const size_t index = DocumentIndex(title);
    return index < documents_.size() ? documents_[index].get() : nullptr;
}

void CHeadlessShell::ShowDetailedResult(size_t document, AnalysisResult& result)
{
    if (document >= documents_.size())
        return;
    HeadlessDocument& doc = *documents_[document];
    doc.tree = std::move(result.lines);
    for (ResultPicture& picture : result.pictures) {
        auto window = std::make_unique<HeadlessImageWindow>();
        window->title = std::move(picture.title);
        window->label = std::move(picture.label);
        window->rect = picture.rect;
        window->image = std::move(picture.image);
        doc.images.push_back(std::move(window));
    }
    doc.decodes = std::move(result.decodes);
    doc.anomalies = std::move(result.anomalies);
    doc.anomaliesDropped = result.anomaliesDropped;
}

MessageAnswer CHeadlessShell::MessageBox(const MessageBoxRequest& request)
{
    MessageAnswer answer = MessageAnswer::Ok;
    if (request.buttons == MessageButtons::OkCancel && !answers_.empty()) {
        answer = answers_.front();
        answers_.pop_front();
    }
    messages_.push_back({request, answer});
    if (observer_)
        observer_(request);
    return answer;
}

void CHeadlessShell::ExitProcess(int code)
{
    exitCode_ = code;
    throw CProcessExit(code);
}

void CHeadlessShell::ScriptAnswers(std::initializer_list<MessageAnswer> answers)
{
    answers_.insert(answers_.end(), answers.begin(), answers.end());
}

void CHeadlessShell::SetMessageObserver(std::function<void(const MessageBoxRequest&)> observer)
{
    observer_ = std::move(observer);
}
