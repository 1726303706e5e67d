#pragma once
// The values ITU-T T.81 Annex B allows in the fields of table, frame and
// scan headers, checked on what the stream parser read. Each field outside
// its range becomes a problem at the field's place in the payload; the
// analyzer reports them as anomalies on the segment's line.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "codec/jpeg_stream_parser.h"
#include "core/anomaly.h"

struct JpegFieldProblem {
    size_t at = 0;       // the field's first byte in the payload
    size_t size = 1;
    const char* kind = "";
    AnomalySeverity severity = AnomalySeverity::Error;
    std::string text;
};

class CJpegFieldChecks {
public:
    // Each appends the problems of one segment to out.
    static void Dqt(const JpegPayload& p, const std::vector<JpegTableRecord>& records, std::vector<JpegFieldProblem>& out);
    static void Dht(const JpegPayload& p, const std::vector<JpegTableRecord>& records, std::vector<JpegFieldProblem>& out);
    static void Frame(const JpegPayload& p, const JpegFrame& frame, std::vector<JpegFieldProblem>& out);
    // frame: the stream's frame, whose process decides the ranges of the
    // spectral selection and successive approximation.
    static void Scan(const JpegPayload& p, const JpegFrame& frame, const JpegScan& scan,
                     std::vector<JpegFieldProblem>& out);

private:
    static void HuffmanCounts(const JpegPayload& p, const JpegTableRecord& r, std::vector<JpegFieldProblem>& out);
    static void Selection(uint32_t frameMarker, const JpegScan& scan, std::vector<JpegFieldProblem>& out);
};
