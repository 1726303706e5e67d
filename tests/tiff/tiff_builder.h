#pragma once
// Builds TIFF byte sequences for tests: a header, a chain of IFDs and the
// values that do not fit into their entries, in either byte order.
#include <cstdint>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "support/test_support.h"
#include "tiff/tiff_analyzer.h"

namespace tiff_test {

using testing_support::Bytes;

inline void Put16(Bytes& b, uint32_t v, bool le)
{
    if (le) {
        b.push_back(uint8_t(v));
        b.push_back(uint8_t(v >> 8));
    } else {
        b.push_back(uint8_t(v >> 8));
        b.push_back(uint8_t(v));
    }
}

inline void Put32(Bytes& b, uint32_t v, bool le)
{
    if (le) {
        Put16(b, v & 0xFFFF, true);
        Put16(b, v >> 16, true);
    } else {
        Put16(b, v >> 16, false);
        Put16(b, v & 0xFFFF, false);
    }
}

inline void Set32(Bytes& b, size_t at, uint32_t v, bool le)
{
    Bytes tmp;
    Put32(tmp, v, le);
    std::memcpy(&b[at], tmp.data(), 4);
}

// One directory entry. With raw set, valueField is written as given (a
// number in the file's byte order) and data is ignored; otherwise data holds
// the values in file order and goes inline or after the IFD by its size.
struct Field {
    uint16_t tag = 0;
    uint16_t type = 0;
    uint32_t count = 0;
    Bytes data;
    bool raw = false;
    uint32_t valueField = 0;
};

class TiffBuilder {
public:
    explicit TiffBuilder(bool littleEndian) : le_(littleEndian) {}
    bool LittleEndian() const { return le_; }

    Field Short(uint16_t tag, std::vector<uint32_t> values) const
    {
        Field f{tag, 3, uint32_t(values.size()), {}};
        for (uint32_t v : values)
            Put16(f.data, v, le_);
        return f;
    }
    Field Long(uint16_t tag, std::vector<uint32_t> values) const
    {
        Field f{tag, 4, uint32_t(values.size()), {}};
        for (uint32_t v : values)
            Put32(f.data, v, le_);
        return f;
    }
    Field Rational(uint16_t tag, std::vector<std::pair<uint32_t, uint32_t>> values, uint16_t type = 5) const
    {
        Field f{tag, type, uint32_t(values.size()), {}};
        for (auto [n, d] : values) {
            Put32(f.data, n, le_);
            Put32(f.data, d, le_);
        }
        return f;
    }
    Field Ascii(uint16_t tag, const std::string& text) const
    {
        Field f{tag, 2, uint32_t(text.size() + 1), Bytes(text.begin(), text.end())};
        f.data.push_back(0);
        return f;
    }
    Field Typed(uint16_t tag, uint16_t type, uint32_t count, Bytes data) const
    {
        return Field{tag, type, count, std::move(data)};
    }
    Field Raw(uint16_t tag, uint16_t type, uint32_t count, uint32_t valueField) const
    {
        Field f{tag, type, count, {}};
        f.raw = true;
        f.valueField = valueField;
        return f;
    }

    // Header at file offset prefix.size(); IFDs follow in order, each
    // followed by its out-of-line values. Offsets count from the header.
    Bytes Build(const std::vector<std::vector<Field>>& ifds, const Bytes& prefix = {}) const
    {
        Bytes b;
        b.push_back(le_ ? 'I' : 'M');
        b.push_back(le_ ? 'I' : 'M');
        Put16(b, 42, le_);
        Put32(b, ifds.empty() ? 0 : 8, le_);
        for (size_t k = 0; k < ifds.size(); ++k) {
            const auto& fields = ifds[k];
            const size_t ifdStart = b.size();
            size_t dataPos = ifdStart + 2 + 12 * fields.size() + 4;
            Bytes data;
            Put16(b, uint32_t(fields.size()), le_);
            for (const Field& f : fields) {
                Put16(b, f.tag, le_);
                Put16(b, f.type, le_);
                Put32(b, f.count, le_);
                if (f.raw) {
                    Put32(b, f.valueField, le_);
                } else if (f.data.size() <= 4) {
                    Bytes inl = f.data;
                    inl.resize(4, 0);
                    b.insert(b.end(), inl.begin(), inl.end());
                } else {
                    Put32(b, uint32_t(dataPos + data.size()), le_);
                    data.insert(data.end(), f.data.begin(), f.data.end());
                    if (data.size() % 2)
                        data.push_back(0);
                }
            }
            const size_t nextAt = b.size();
            Put32(b, 0, le_);
            b.insert(b.end(), data.begin(), data.end());
            if (k + 1 < ifds.size())
                Set32(b, nextAt, uint32_t(b.size()), le_);
        }
        Bytes out = prefix;
        out.insert(out.end(), b.begin(), b.end());
        return out;
    }

private:
    bool le_;
};

// The anomalies that the analyses of a TIFF file, or of a JPEG file with
// Exif data, report: those of the rough analysis, then those of the
// detailed one, each list as AnomalyList gives it, after "rough:" and
// "detailed:" lines.
std::string FileAnomalies(const std::string& path);

// Rough and detailed results of one file opened in a fresh headless app.
struct Analysis {
    std::string bar;      // the analysis-tree bar
    std::string result;   // the rough list's result cell
    std::string detail;   // the detailed result tree
};

inline Analysis Analyse(const Bytes& file, const std::string& name = "test.tif")
{
    testing_support::TempDir dir;
    const std::string path = dir.Write(name, file);
    testing_support::Headless h;
    h.app.OpenFiles({path});
    h.Detailed(path);
    Analysis a;
    a.bar = h.BarText();
    a.result = h.app.Rows().empty() ? "" : h.app.Rows()[0].result;
    a.detail = h.DetailText(path);
    // The temporary directory's name changes from run to run.
    for (std::string* text : {&a.bar, &a.detail}) {
        size_t at;
        while ((at = text->find(path)) != std::string::npos)
            text->replace(at, path.size(), name);
    }
    return a;
}

inline bool Contains(const std::string& text, const std::string& part)
{
    return text.find(part) != std::string::npos;
}

}  // namespace tiff_test

namespace tiff_test {

// Runs the TIFF analyzer in detailed mode on a file, with the stream placed
// at start, at the given level, in a new document of a fresh headless app.
// Lines that a caller inserted first can be given as (depth, text) pairs,
// each depth at most one more than the one before. Returns the tree as text.
// inspect, when given, sees the analyzer after its run.
std::string AnalyseDirectly(const Bytes& file, long start, uint32_t level,
                            const std::vector<std::pair<int, std::string>>& before = {{0, "test.tif"}},
                            const std::function<void(CTiffAnalyzer&)>& inspect = {});

// The same through the format table, for format's analyzer, with the request
// as adjust leaves it: the tree as text and the labels of the image windows.
struct DirectRun {
    std::string tree;
    std::vector<std::string> labels;
};
DirectRun RunDirectly(uint32_t format, const Bytes& file, long start, uint32_t level,
                      const std::vector<std::pair<int, std::string>>& before,
                      const std::function<void(AnalysisRequest&)>& adjust = {});

}  // namespace tiff_test
