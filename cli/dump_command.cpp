#include "cli/dump_command.h"

#include <cctype>
#include <filesystem>
#include <algorithm>
#include <cstdio>
#include <map>
#include <iterator>
#include <memory>
#include <optional>
#include <thread>

#include "cli/image_export.h"
#include "cli/json_writer.h"
#include "core/analysis_tree.h"
#include "core/analyze.h"
#include "core/ordered_analyses.h"
#include "core/tree_ranges.h"
#include "formats/all_formats.h"
#include "headless/headless_session.h"

namespace {
// The help: its first lines name the formats of the format table.
constexpr const char* kUsageHead = "Usage: vantrel-dump [OPTION]... FILE...\nLays out the structure of ";
constexpr const char* kUsage =
    " files.\n"
    "A FILE that is a folder stands for the files in it, in name order;\n"
    "unsupported files inside a folder are counted in one message.\n"
    "\n"
    "Without -d, prints the analysis tree of all FILEs, an empty line, then one\n"
    "line per file of the rough-analysis list: path, TAB, format, TAB, result.\n"
    "\n"
    "  --tree            print only the analysis tree\n"
    "  --rows            print only the rough-analysis rows\n"
    "  -d, --detailed    print the detailed result tree of each FILE\n"
    "  --json            print everything as one JSON document\n"
    "  --images DIR      with -d: write decoded pictures to DIR as BMP files\n"
    "  --ppm             with --images: write binary PPM files instead\n"
    "  -r, --recursive   open the files of subfolders too\n"
    "  --progress        report each file on standard error as it is opened\n"
    "  -j N              analyse N files at once (default: one per processor;\n"
    "                    the output is the same for every N)\n"
    "  --decode-threads N  decode each picture on up to N threads (default 0:\n"
    "                    one per processor, at most 8; the output is the same)\n"
    "  --picture-budget MB  draw a TIFF picture whose pixels need more than MB\n"
    "                    megabytes reduced (default 256; --images still writes\n"
    "                    it whole)\n"
    "  --at OFFSET       print the detailed lines that describe the byte at OFFSET\n"
    "                    (decimal, or hexadecimal with 0x), outermost first\n"
    "  --gaps            print the byte ranges no detailed line describes:\n"
    "                    start, end (exclusive) and length, in decimal\n"
    "  --check           print only what the detailed analysis of each FILE\n"
    "                    finds wrong, one line each: path, TAB, offset, TAB,\n"
    "                    severity, TAB, kind, TAB, text\n"
    "  --anomalies       with -d: mark each line something is wrong with by\n"
    "                    \"⚠ \" and name the anomaly on a line below it\n"
    "  --help            show this help and exit\n"
    "  --version         show the version and exit\n"
    "\n"
    "Message boxes go to standard error as \"[caption] text\".\n"
    "Exit status: 0 when every FILE was analysed, 1 when any was refused,\n"
    "2 for a usage error. With --check: 0 when no FILE has an error, 1 when\n"
    "some FILE has one, 2 for a usage error or a FILE that was refused.\n";

// More files at once than this would only hold more results in memory.
constexpr uint32_t kMaxJobs = 256;

struct DumpOptions {
    bool tree = false;
    bool rows = false;
    bool detailed = false;
    bool json = false;
    bool ppm = false;
    bool recursive = false;
    bool progress = false;
    bool gaps = false;
    bool check = false;
    bool anomalies = false;
    std::optional<uint64_t> at;
    uint32_t jobs = 0;            // 0: one per processor
    uint32_t decodeThreads = 0;   // 0: one per processor
    uint64_t pictureBudget = uint64_t{256} << 20;
    std::string imageDir;
    std::vector<std::string> files;
};

std::optional<uint64_t> ParseOffset(const std::string& text)
{
    const bool hex = text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X');
    const std::string digits = hex ? text.substr(2) : text;
    if (digits.empty() || digits.size() > 20)
        return std::nullopt;
    size_t used = 0;
    uint64_t value = 0;
    try {
        value = std::stoull(digits, &used, hex ? 16 : 10);
    } catch (const std::exception&) {
        return std::nullopt;
    }
    if (used != digits.size() || !std::isxdigit(static_cast<unsigned char>(digits[0])))
        return std::nullopt;
    return value;
}

std::string OptionConflict(const DumpOptions& options);

// The options that only switch something on.
struct FlagOption {
    const char* name;
    const char* shortName;   // null when there is none
    bool DumpOptions::*flag;
};
constexpr FlagOption kFlags[] = {
    {"--tree", nullptr, &DumpOptions::tree},
    {"--rows", nullptr, &DumpOptions::rows},
    {"--detailed", "-d", &DumpOptions::detailed},
    {"--json", nullptr, &DumpOptions::json},
    {"--ppm", nullptr, &DumpOptions::ppm},
    {"--recursive", "-r", &DumpOptions::recursive},
    {"--progress", nullptr, &DumpOptions::progress},
    {"--gaps", nullptr, &DumpOptions::gaps},
    {"--check", nullptr, &DumpOptions::check},
    {"--anomalies", nullptr, &DumpOptions::anomalies},
};

// The number of -j: decimal, from 1 to kMaxJobs.
std::string ParseJobs(const std::string& n, uint32_t& jobs)
{
    const bool digits = !n.empty() && n.size() <= 3 && std::all_of(n.begin(), n.end(), [](char c) {
        return c >= '0' && c <= '9';
    });
    if (!digits || std::stoul(n) == 0 || std::stoul(n) > kMaxJobs)
        return "option '-j' needs a number of files from 1 to " + std::to_string(kMaxJobs);
    jobs = static_cast<uint32_t>(std::stoul(n));
    return {};
}

// Returns an error text, or an empty string when the arguments are sound.
std::string ParseArgs(const std::vector<std::string>& args, DumpOptions& options, bool& help, bool& version)
{
    bool endOfOptions = false;
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        const auto flag = std::find_if(std::begin(kFlags), std::end(kFlags), [&a](const FlagOption& f) {
            return a == f.name || (f.shortName && a == f.shortName);
        });
        if (endOfOptions || a.empty() || a[0] != '-' || a == "-") {
            options.files.push_back(a);
        } else if (a == "--") {
            endOfOptions = true;
        } else if (flag != std::end(kFlags)) {
            options.*(flag->flag) = true;
        } else if (a == "--images") {
            if (i + 1 >= args.size())
                return "option '--images' needs a directory";
            options.imageDir = args[++i];
        } else if (a.rfind("--images=", 0) == 0) {
            options.imageDir = a.substr(9);
        } else if (a == "--at" || a.rfind("--at=", 0) == 0) {
            if (a == "--at" && i + 1 >= args.size())
                return "option '--at' needs an offset";
            options.at = ParseOffset(a == "--at" ? args[++i] : a.substr(5));
            if (!options.at)
                return "option '--at' needs an offset in decimal or 0x hexadecimal";
        } else if (a == "-j" || (a.rfind("-j", 0) == 0 && a.size() > 2)) {
            if (a == "-j" && i + 1 >= args.size())
                return "option '-j' needs a number of files";
            if (std::string error = ParseJobs(a == "-j" ? args[++i] : a.substr(2), options.jobs); !error.empty())
                return error;
        } else if (a == "--decode-threads" || a.rfind("--decode-threads=", 0) == 0) {
            if (a == "--decode-threads" && i + 1 >= args.size())
                return "option '--decode-threads' needs a number of threads";
            const std::string n = a == "--decode-threads" ? args[++i] : a.substr(17);
            const bool digits = !n.empty() && n.size() <= 2 &&
                                std::all_of(n.begin(), n.end(), [](char c) { return c >= '0' && c <= '9'; });
            if (!digits)
                return "option '--decode-threads' needs a number of threads from 0 to 99";
            options.decodeThreads = static_cast<uint32_t>(std::stoul(n));
        } else if (a == "--picture-budget" || a.rfind("--picture-budget=", 0) == 0) {
            if (a == "--picture-budget" && i + 1 >= args.size())
                return "option '--picture-budget' needs a number of megabytes";
            const std::string n = a == "--picture-budget" ? args[++i] : a.substr(17);
            const bool digits = !n.empty() && n.size() <= 4 &&
                                std::all_of(n.begin(), n.end(), [](char c) { return c >= '0' && c <= '9'; });
            if (!digits || std::stoul(n) == 0)
                return "option '--picture-budget' needs a number of megabytes from 1 to 9999";
            options.pictureBudget = uint64_t{std::stoul(n)} << 20;
        } else if (a == "--help" || a == "-h") {
            help = true;
        } else if (a == "--version") {
            version = true;
        } else {
            return "unknown option '" + a + "'";
        }
    }
    if (help || version)
        return {};
    const std::string conflict = OptionConflict(options);
    options.detailed = options.detailed || options.at || options.gaps || options.check || options.anomalies;
    return conflict;
}

// What is wrong with the options taken together; empty when nothing is.
std::string OptionConflict(const DumpOptions& options)
{
    if (options.files.empty())
        return "no FILE given";
    if (!options.imageDir.empty() && !options.detailed)
        return "option '--images' needs -d";
    if (options.ppm && options.imageDir.empty())
        return "option '--ppm' needs --images";
    if ((options.at || options.gaps) && (options.json || (options.at && options.gaps)))
        return "options '--at' and '--gaps' go alone, without --json";
    if (options.check && (options.json || options.at || options.gaps || options.tree || options.rows ||
                          options.anomalies || !options.imageDir.empty()))
        return "option '--check' goes alone";
    if (options.anomalies && (options.at || options.gaps))
        return "option '--anomalies' goes without --at and --gaps";
    return {};
}

std::string OneLine(std::string text)
{
    for (char& c : text)
        if (c == '\n')
            c = ' ';
    return text;
}

void PrintTree(std::ostream& out, const CLineTree& tree)
{
    out << TreeText(tree);
}

// The bar's tree as PrintTree writes it, from the entry list (which the
// batch has checked).
void PrintEntryTree(std::ostream& out, const AnalysisEntry* head)
{
    constexpr size_t kChunkBytes = 64 * 1024;
    std::string chunk;
    Diagnostic unused;
    CheckAnalysisTree(head, unused, nullptr, [&](const AnalysisEntry& entry, size_t depth) {
        chunk.append(depth * 2, ' ');
        chunk += entry.text;
        chunk += '\n';
        if (chunk.size() >= kChunkBytes) {
            out << chunk;
            chunk.clear();
        }
    });
    out << chunk;
}

// The detailed tree with each line an anomaly concerns marked by "⚠ " and
// the anomaly's severity and text on a line under it, before the line's own
// children; anomalies of the file as a whole stand under the path line.
void PrintMarkedTree(std::ostream& out, const CLineTree& tree, const std::vector<Anomaly>& anomalies)
{
    std::map<LineId, std::vector<const Anomaly*>> byLine;
    for (const Anomaly& a : anomalies)
        byLine[tree.Contains(a.line) ? a.line : tree.First()].push_back(&a);
    ForEachLine(tree, tree.First(), false, [&](LineId line, int depth) {
        const auto flagged = byLine.find(line);
        const std::string indent(static_cast<size_t>(depth) * 2, ' ');
        const bool mark = flagged != byLine.end() && line != tree.First();
        out << indent << (mark ? "⚠ " : "") << tree.Text(line) << '\n';
        if (flagged == byLine.end())
            return;
        for (const Anomaly* a : flagged->second)
            out << indent << "  [" << AnomalySeverityText(a->severity) << "] " << OneLine(a->text) << '\n';
    });
}

// Where a line stands in the JSON tree: its index among its siblings at
// each depth, outermost first.
std::vector<int64_t> JsonLinePath(const CLineTree& tree, LineId line)
{
    std::vector<int64_t> path;
    for (; line; line = tree.Parent(line)) {
        const LineId parent = tree.Parent(line);
        int64_t index = 0;
        for (LineId at = parent ? tree.FirstChild(parent) : tree.First(); at && at != line; at = tree.NextSibling(at))
            ++index;
        path.push_back(index);
    }
    std::reverse(path.begin(), path.end());
    return path;
}

void WriteJsonAnomalies(CJsonWriter& json, const std::vector<Anomaly>* anomalies, const CLineTree* tree)
{
    json.Key("anomalies");
    json.BeginArray();
    for (const Anomaly& a : anomalies ? *anomalies : std::vector<Anomaly>{}) {
        json.BeginObject();
        json.Key("offset");
        json.Number(static_cast<int64_t>(a.offset));
        json.Key("end");
        json.Number(static_cast<int64_t>(std::max(a.range.end, a.offset)));
        if (a.range.space != ByteSpace::File) {
            json.Key("in");
            json.String(ByteSpaceName(a.range.space));
        }
        if (a.range.space == ByteSpace::Inflated) {
            json.Key("unit");
            json.Number(a.range.unit);
        }
        json.Key("severity");
        json.String(AnomalySeverityText(a.severity));
        json.Key("kind");
        json.String(a.kind);
        json.Key("text");
        json.String(a.text);
        json.Key("line");
        if (tree && tree->Contains(a.line)) {
            json.BeginArray();
            for (const int64_t index : JsonLinePath(*tree, a.line))
                json.Number(index);
            json.EndArray();
        } else {
            json.Null();
        }
        json.EndObject();
    }
    json.EndArray();
}

void WriteJsonTree(CJsonWriter& json, const CLineTree& tree, LineId first)
{
    json.BeginArray();
    for (LineId line = first; line; line = tree.NextSibling(line)) {
        json.BeginObject();
        json.Key("text");
        json.String(std::string(tree.Text(line)));
        if (ByteRange range; tree.RangeOf(line, range)) {
            json.Key("range");
            json.BeginArray();
            json.Number(static_cast<int64_t>(range.start));
            json.Number(static_cast<int64_t>(range.end));
            json.EndArray();
            if (range.space != ByteSpace::File) {
                json.Key("in");
                json.String(ByteSpaceName(range.space));
            }
            if (range.space == ByteSpace::Inflated) {
                json.Key("unit");
                json.Number(range.unit);
            }
        }
        if (LineId child = tree.FirstChild(line)) {
            json.Key("children");
            WriteJsonTree(json, tree, child);
        }
        json.EndObject();
    }
    json.EndArray();
}

// A picture written with --images: the file, or the one that could not be.
struct WrittenPicture {
    std::string file;
    bool failed = false;
};

// One file of the batch. Kept small, as a batch may hold a hundred thousand.
struct FileReport {
    const std::string* path = nullptr;   // the batch's own copy
    const AnalysisResult* detailed = nullptr;
    // With --images: per picture, the file written; empty when none was.
    std::unique_ptr<std::vector<WrittenPicture>> imageFiles;
    OpenOutcome outcome = OpenOutcome::Refused;
    bool firstMention = true;   // false for a repeated command-line argument
};

class CDump {
public:
    CDump(const DumpOptions& options, std::ostream& out, std::ostream& err)
        : options_(options), out_(out), err_(err),
          session_(AnalysisOptions{
              .formats = AllFormats(), .decodeThreads = options.decodeThreads, .keepPixels = false,
              .pictureBudget = options.pictureBudget})
    {
        // The analysis tree is written out from the entries themselves, with
        // the depths making it gives them.
        session_.SetKeepTree(false);
        session_.SetDiagnosticObserver([this](const Diagnostic& d) {
            err_ << '[' << (d.caption.empty() ? kAppTitle : d.caption) << "] " << OneLine(d.text) << '\n';
        });
    }

    int Run();

private:
    void MarkRepeatedMentions();
    void RunDetailed();
    void WritePicture(const std::string& path, size_t index, const ResultPicture& picture,
                      std::vector<WrittenPicture>& list) const;
    // Writes the pictures the analysis drew reduced at their own size, from
    // bands of rows decoded again one after the other.
    void WriteReducedPictures(const std::string& path, const AnalysisResult& result, const AnalysisOptions& options,
                              std::vector<WrittenPicture>& list) const;
    std::string PictureFile(const std::string& path, size_t index) const;
    // Whether a reduced picture's own size is too large to be written, so
    // that it is written as drawn.
    static bool TooLargeToWriteWhole(const ResultPicture& picture);
    void PrintText();
    int PrintCheck();
    void PrintDetailed(const FileReport& report);
    void PrintJson();
    void WriteJsonFile(CJsonWriter& json, const FileReport& report);
    void WriteJsonDetailed(CJsonWriter& json, const FileReport& report);

    const DumpOptions& options_;
    std::ostream& out_;
    std::ostream& err_;
    CHeadlessSession session_;
    uint32_t jobs_ = 1;
    std::vector<BatchPath> batch_;
    std::vector<FileReport> reports_;
};

int CDump::Run()
{
    const uint32_t processors = std::max(1u, std::thread::hardware_concurrency());
    jobs_ = options_.jobs ? options_.jobs : std::min(processors, kMaxJobs);
    session_.SetBatchThreads(jobs_);
    std::vector<std::string> emptyFolders;
    batch_ = ExpandFolders(options_.files, options_.recursive, &emptyFolders);
    CHeadlessSession::BatchProgress progress;
    if (options_.progress)
        progress = [this](size_t index, size_t count, const std::string& path) {
            err_ << '[' << index + 1 << '/' << count << "] " << path << '\n';
            return true;
        };
    const std::vector<OpenOutcome> outcomes = session_.OpenFiles(batch_, progress, emptyFolders);
    reports_.resize(outcomes.size());
    for (size_t i = 0; i < reports_.size(); ++i) {
        reports_[i].path = &batch_[i].path;
        reports_[i].outcome = outcomes[i];
    }
    MarkRepeatedMentions();
    if (options_.detailed && !session_.ExitCode())
        RunDetailed();
    // A diagnostic that ends the program ends it here, with nothing printed.
    if (const std::optional<int> exit = session_.ExitCode()) {
        out_.flush();
        return *exit;
    }
    if (options_.check)
        return PrintCheck();
    if (options_.json)
        PrintJson();
    else
        PrintText();
    for (const FileReport& report : reports_)
        if (report.outcome != OpenOutcome::Opened)
            return 1;
    return 0;
}

// A path given again (directly or through a folder) is a repeated mention
// after its first place in the batch.
void CDump::MarkRepeatedMentions()
{
    std::vector<uint32_t> order(reports_.size());
    for (size_t i = 0; i < order.size(); ++i)
        order[i] = static_cast<uint32_t>(i);
    std::stable_sort(order.begin(), order.end(),
                     [this](uint32_t a, uint32_t b) { return *reports_[a].path < *reports_[b].path; });
    for (size_t i = 1; i < order.size(); ++i)
        reports_[order[i]].firstMention = *reports_[order[i]].path != *reports_[order[i - 1]].path;
}

void CDump::RunDetailed()
{
    // Each opened file once; a repeated argument names the same window.
    std::vector<FileReport*> files;
    for (FileReport& report : reports_)
        if (report.firstMention && report.outcome != OpenOutcome::Refused &&
            report.outcome != OpenOutcome::Skipped && report.outcome != OpenOutcome::Duplicate)
            files.push_back(&report);
    // The analyses may run side by side; their diagnostics come in the
    // files' order. With --images each picture is written as soon as it is
    // decoded, and then freed.
    std::vector<std::unique_ptr<std::vector<WrittenPicture>>> written(files.size());
    if (!options_.imageDir.empty()) {
        std::error_code ec;
        std::filesystem::create_directories(options_.imageDir, ec);
        for (auto& list : written)
            list = std::make_unique<std::vector<WrittenPicture>>();
    }
    COrderedAnalyses analyses(files.size(), jobs_, [&](size_t i) {
        AnalysisOptions options = session_.Options();
        if (written[i])
            options.takePicture = [this, list = written[i].get(), path = files[i]->path](
                                      size_t index, ResultPicture& picture) {
                WritePicture(*path, index, picture, *list);
            };
        std::unique_ptr<AnalysisResult> result = Analyze(files[i]->path->c_str(), AnalysisMode::Detailed, options);
        if (written[i])
            WriteReducedPictures(*files[i]->path, *result, options, *written[i]);
        return result;
    });
    for (size_t i = 0; i < files.size(); ++i) {
        FileReport& report = *files[i];
        report.detailed = &session_.TakeDetailed(*report.path, analyses.Take(i));
        if (written[i]) {
            written[i]->resize(report.detailed->pictures.size());
            for (const WrittenPicture& picture : *written[i])
                if (picture.failed)
                    err_ << "vantrel-dump: cannot write " << picture.file << '\n';
            report.imageFiles = std::move(written[i]);
        }
    }
}

// Writes picture index of the file at path as DIR/<file name>.<n>.bmp (or
// .ppm), n counting the file's pictures from 1.
void CDump::WritePicture(const std::string& path, size_t index, const ResultPicture& picture,
                         std::vector<WrittenPicture>& list) const
{
    if (list.size() <= index)
        list.resize(index + 1);
    // A reduced picture is written at its own size once the analysis ends,
    // unless that size is beyond what a picture file is given.
    if (!picture.image.Pixels() || (picture.shift && !TooLargeToWriteWhole(picture)))
        return;
    WrittenPicture& entry = list[index];
    entry.file = PictureFile(path, index);
    entry.failed = !(options_.ppm ? WritePpm(picture.image, entry.file) : WriteBmp(picture.image, entry.file));
}

bool CDump::TooLargeToWriteWhole(const ResultPicture& picture)
{
    // A BMP file's sizes are 32-bit: 4 GiB bounds both kinds of file, and so
    // what a small file claiming an enormous picture can make us write.
    constexpr uint64_t kMaxWholeBytes = uint64_t{4} << 30;
    return uint64_t(std::max(picture.width, 0)) * uint64_t(std::max(picture.height, 0)) * 3 > kMaxWholeBytes - 1024;
}

std::string CDump::PictureFile(const std::string& path, size_t index) const
{
    const std::string name = std::filesystem::path(path).filename().string();
    return options_.imageDir + "/" + name + "." + std::to_string(index + 1) + (options_.ppm ? ".ppm" : ".bmp");
}

void CDump::WriteReducedPictures(const std::string& path, const AnalysisResult& result, const AnalysisOptions& options,
                                 std::vector<WrittenPicture>& list) const
{
    // Bands of a quarter of the budget, as the reduced picture was.
    const uint64_t bandBytes = options.pictureBudget / 4;
    for (size_t index = 0; index < result.pictures.size(); ++index) {
        const ResultPicture& picture = result.pictures[index];
        if (!picture.shift || !picture.drawn || picture.width <= 0 || picture.height <= 0 ||
            TooLargeToWriteWhole(picture))
            continue;
        const auto width = static_cast<uint32_t>(picture.width);
        const auto height = static_cast<uint32_t>(picture.height);
        const auto rows = static_cast<uint32_t>(std::clamp<uint64_t>(bandBytes / (uint64_t{width} * 3 + 48), 1, height));
        AnalysisOptions band = options;
        band.takePicture = nullptr;
        band.hasRegion = true;
        const PictureBand decode = [&](uint32_t y, uint32_t n) {
            band.region = {0, y, width, n, 0};
            CImageBuffer image;
            DecodePictures(path.c_str(), band, {index}, [&image](size_t, ResultPicture& part) {
                image = std::move(part.image);
            });
            return image;
        };
        if (list.size() <= index)
            list.resize(index + 1);
        WrittenPicture& entry = list[index];
        entry.file = PictureFile(path, index);
        entry.failed = !(options_.ppm ? WritePpmInBands(entry.file, width, height, rows, decode)
                                      : WriteBmpInBands(entry.file, width, height, rows, decode));
    }
}

void CDump::PrintText()
{
    if (options_.detailed) {
        bool first = true;
        for (const FileReport& report : reports_) {
            if (!report.detailed)
                continue;
            if (!first)
                out_ << '\n';
            first = false;
            PrintDetailed(report);
        }
        return;
    }
    const bool both = options_.tree == options_.rows;
    if (both || options_.tree)
        PrintEntryTree(out_, session_.Entries().GetEntryListHead());
    if (both)
        out_ << '\n';
    if (both || options_.rows) {
        HeadlessRow row;
        for (int i = 0; session_.Row(i, row); ++i)
            out_ << row.path << '\t' << row.format << '\t' << row.result << '\n';
    }
}

// One line per anomaly of every file analysed, in the files' order; the
// status says whether any file has an error, or could not be checked.
int CDump::PrintCheck()
{
    bool refused = false;
    bool error = false;
    char offset[24];
    for (const FileReport& report : reports_) {
        if (report.outcome == OpenOutcome::Refused || report.outcome == OpenOutcome::NotAnalysed ||
            (report.firstMention && report.outcome == OpenOutcome::Opened && !report.detailed))
            refused = true;
        if (!report.detailed || !report.firstMention)
            continue;
        for (const Anomaly& a : report.detailed->anomalies) {
            std::snprintf(offset, sizeof offset, "0x%08llx", static_cast<unsigned long long>(a.offset));
            out_ << *report.path << '\t' << offset << '\t' << AnomalySeverityText(a.severity) << '\t' << a.kind << '\t'
                 << OneLine(a.text) << '\n';
            error = error || a.severity == AnomalySeverity::Error;
        }
    }
    return refused ? 2 : error ? 1 : 0;
}

void CDump::PrintDetailed(const FileReport& report)
{
    const CLineTree& tree = report.detailed->lines;
    if (options_.at) {
        for (const LineAt& at : LinesAt(tree, *options_.at))
            out_ << std::string(static_cast<size_t>(tree.Depth(at.line)) * 2, ' ') << tree.Text(at.line) << '\n';
    } else if (options_.gaps) {
        std::error_code ec;
        const uint64_t size = std::filesystem::file_size(*report.path, ec);
        for (const ByteRange& gap : UncoveredRanges(tree, ec ? 0 : size))
            out_ << gap.start << ' ' << gap.end << ' ' << gap.end - gap.start << '\n';
    } else if (options_.anomalies) {
        PrintMarkedTree(out_, tree, report.detailed->anomalies);
    } else {
        PrintTree(out_, tree);
    }
}

void CDump::WriteJsonFile(CJsonWriter& json, const FileReport& report)
{
    json.BeginObject();
    json.Key("path");
    json.String(*report.path);
    const bool registered = report.outcome == OpenOutcome::Opened || report.outcome == OpenOutcome::NotAnalysed;
    json.Key("opened");
    json.Bool(report.outcome == OpenOutcome::Opened);
    json.Key("format");
    const int row = registered && report.firstMention ? session_.FindRow(*report.path) : -1;
    if (HeadlessRow r; row >= 0 && session_.Row(row, r)) {
        json.String(r.format);
        json.Key("result");
        json.String(r.result);
    } else {
        json.Null();
        json.Key("result");
        json.Null();
    }
    json.Key("entries");
    json.BeginArray();
    if (row >= 0) {
        const AnalysisEntry* e = session_.Entries().FindFile(report.path->c_str());
        for (e = e ? e->next : nullptr; e && e->level != 0; e = e->next) {
            json.BeginObject();
            json.Key("level");
            json.Number(e->level);
            json.Key("text");
            json.String(e->text);
            json.EndObject();
        }
    }
    json.EndArray();
    // The detailed analysis's anomalies where there was one, else the rough
    // analysis's.
    if (report.detailed)
        WriteJsonAnomalies(json, &report.detailed->anomalies, &report.detailed->lines);
    else
        WriteJsonAnomalies(json, row >= 0 ? session_.RowAnomalies(*report.path) : nullptr, nullptr);
    if (report.detailed)
        WriteJsonDetailed(json, report);
    json.EndObject();
}

void CDump::WriteJsonDetailed(CJsonWriter& json, const FileReport& report)
{
    json.Key("detailed");
    json.BeginObject();
    json.Key("tree");
    WriteJsonTree(json, report.detailed->lines, report.detailed->lines.First());
    json.Key("images");
    json.BeginArray();
    size_t n = 0;
    for (const ResultPicture& picture : report.detailed->pictures) {
        ++n;
        json.BeginObject();
        json.Key("title");
        json.String(picture.title);
        // A reduced picture gives its own size, and by how much its pixels
        // were reduced.
        json.Key("width");
        json.Number(picture.shift ? picture.width : picture.image.PictureWidth());
        json.Key("height");
        json.Number(picture.shift ? picture.height : picture.image.PictureHeight());
        json.Key("pixels");
        json.Bool(picture.drawn);
        if (picture.shift) {
            json.Key("reducedBy");
            json.Number(int64_t{1} << picture.shift);
        }
        if (report.imageFiles && n <= report.imageFiles->size() && !(*report.imageFiles)[n - 1].file.empty() &&
            !(*report.imageFiles)[n - 1].failed) {
            json.Key("file");
            json.String((*report.imageFiles)[n - 1].file);
        }
        json.EndObject();
    }
    json.EndArray();
    json.EndObject();
}

void CDump::PrintJson()
{
    CJsonWriter json(out_);
    json.BeginObject();
    json.Key("files");
    json.BeginArray();
    for (const FileReport& report : reports_)
        WriteJsonFile(json, report);
    json.EndArray();
    json.Key("messages");
    json.BeginArray();
    for (const Diagnostic& d : session_.Diagnostics()) {
        json.BeginObject();
        json.Key("caption");
        json.String(d.caption.empty() ? kAppTitle : d.caption);
        json.Key("text");
        json.String(d.text);
        // The window a desktop program shows the message over, and its
        // buttons: none, and OK, for every message the tool gives.
        json.Key("owner");
        json.String("none");
        json.Key("buttons");
        json.String("ok");
        json.EndObject();
    }
    json.EndArray();
    json.EndObject();
    out_ << '\n';
}
}

int RunDump(const std::vector<std::string>& args, std::ostream& out, std::ostream& err)
{
    DumpOptions options;
    bool help = false;
    bool version = false;
    const std::string error = ParseArgs(args, options, help, version);
    if (!error.empty()) {
        err << "vantrel-dump: " << error << "\nTry 'vantrel-dump --help' for more information.\n";
        return 2;
    }
    if (help) {
        out << kUsageHead << FormatNamesText(AllFormats()) << kUsage;
        return 0;
    }
    if (version) {
        out << "vantrel-dump " << VANTREL_VERSION << '\n';
        return 0;
    }
    CDump dump(options, out, err);
    return dump.Run();
}
