#pragma once
// The analysis as a function of the file: detection, then the format's
// analyzer in rough or detailed mode, into an AnalysisResult that holds all
// it found, diagnostics included. Nothing here knows what is open, nor any
// window; the shells keep that and render the results.
#include <cstdio>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "core/analysis_options.h"
#include "core/analysis_result.h"
#include "core/read_stream.h"

// Opens a file for analysis, read-only, as a stream on which a read error
// counts as the end of the file (core/read_stream.h). Fails for paths of more
// than 511 bytes, which the 512-byte path buffers cannot hold, and for
// anything that is not a regular file: a directory, a FIFO, a device, a
// dangling link. It never waits.
FilePtr OpenAnalysisFile(const char* path);

// The row of format in formats; null when there is none.
const FormatHandler* FindFormat(FormatTable formats, uint32_t format);
// Text of the rough list's format column; null for a code that names no
// format of the table that can be opened (a nested-only one).
const char* FormatName(FormatTable formats, uint32_t format);

// The format of the file at path, as its first bytes say. A file that cannot
// be read is result.unreadable (with no diagnostic: callers name such files
// together); one of no known format gets the Unsupported diagnostic when
// options ask for it. With keep, the stream detection read is handed over.
uint32_t DetectFormat(const char* path, const AnalysisOptions& options, AnalysisResult& result,
                      FilePtr* keep = nullptr);

// Detection and, for a file of a known format, its analysis. An unreadable
// file gets the Unreadable diagnostic here. A detailed analysis begins its
// lines with the path. result is made beforehand so that another thread can
// ask it to stop (RequestCancel) and read how far it has come.
void Analyze(const char* path, AnalysisMode mode, const AnalysisOptions& options, AnalysisResult& result);
std::unique_ptr<AnalysisResult> Analyze(const char* path, AnalysisMode mode, const AnalysisOptions& options);

// Decodes again the pictures of path that a detailed analysis listed at the
// indices wanted, and hands each to take as its decoding ends (take may keep
// its image). The file's structure is walked as in that analysis, but only
// the wanted pictures are drawn. Returns the number of pictures the file has
// now: when it differs from the earlier analysis's, the file has changed.
size_t DecodePictures(const char* path, const AnalysisOptions& options, const std::vector<size_t>& wanted,
                      const std::function<void(size_t index, ResultPicture& picture)>& take);

// The analysis of a file of format already detected, on fp (read from its
// start), or on the file opened anew when fp is null. The OpenFailed
// diagnostic, with the format's error number, when it cannot be opened.
void AnalyzeDetected(uint32_t format, const char* path, AnalysisMode mode, const AnalysisOptions& options,
                     AnalysisResult& result, FilePtr fp = nullptr);

// "ファイルを開けません" with the files it is about, each on a line of its
// own (at most a screenful, then a count of the rest), before the error
// number that ends it.
std::string CannotOpenText(const std::vector<std::string>& paths, const char* errorNumber);
// The Unreadable diagnostic for paths.
Diagnostic UnreadableDiagnostic(const std::vector<std::string>& paths);
