#pragma once
// Behaviour chosen on purpose, in one list. Where reading a file literally
// would crash, hang, exhaust memory, write where it must not, or show a
// plainly wrong result, the analyses do what is listed here instead. Each
// item names the constant or function that carries it; the README's limits
// section gives the user's view of the same list.
//
// Bounds (hostile files cannot swamp time or memory)
// - CAnalysisRun::kMaxEntriesPerFile, kMaxTreeItems: rough entries per file,
//   detailed lines per analysis.
// - CAnalysisRun::kMaxNestedDepth, kMaxNestedAnalyses: embedded structures
//   that contain each other again.
// - CImageBuffer::kMaxBytes: pixel memory of one picture.
// - CTiffAnalyzer::kMaxIfds, kMaxEntriesPerRun, kMaxValuesPerEntry,
//   kMaxValuesPerRun, kMaxExifDepth: the IFD chain stops at an offset already
//   read, outside the file, or after kMaxIfds IFDs.
// - CSwfAnalyzer::kMaxTags, kMaxSideFileBytes: the tag walk and the side file.
// - CDecodeThreads::kMaxThreads: decoder threads, joined before a decode
//   returns (the fax decoder's painting thread when the decoder object
//   goes, and the threads that draw fax pages side by side, up to
//   kMaxThreads - 1, at the end of the TIFF analysis).
// - CFaxPages::kMaxWaitingSegments: strips and tiles of the fax pages queued
//   and not yet drawn; beyond it the analysis draws waiting pages itself.
//   A failed read on a page's own stream ends that page's data as a failed
//   read ends the file for the analysis stream.
// - CJpegSegmentDecoder (kJobsAtOnce, kBytesAtOnce, kWindowBytes): new-style
//   JPEG strips and tiles read ahead of their decoding, and the window of the
//   file their headers are read through.
//
// Mends of wrong results
// - TIFF values of at most four bytes are read from the entry itself, whatever
//   their count (CTiffAnalyzer::ValuesInline).
// - JPEG: 0xFF fill bytes before a marker are skipped, and every segment with
//   a length is passed over by it, so markers inside a payload (a thumbnail,
//   an ICC profile) are never taken for the file's own
//   (CJpegAnalyzer::ReadMarker, CJpegAnalyzer::SegmentEnd).
// - JPEG chroma names come from the ratio of the first two components'
//   sampling factors.
// - JPEG scans: a one-component scan is one block per MCU; a zero run past
//   coefficient 63 writes nothing; a cut scan stops at an MCU boundary.
// - Text from files is shown as UTF-8 when it is UTF-8, else read as code
//   page 932; line limits count bytes as code page 932 holds the text
//   (FileText, CharBoundaryPrefix).
// - A JPEG COM line keeps at most kMaxCommentBytes of comment.
//
// Safety of what is read and written
// - Only regular files are analysed, opened without waiting (a FIFO or a
//   device is refused); a read error ends the file (OpenAnalysisFile,
//   read_stream.h). The analysis stream keeps its last four 16 KiB blocks
//   (Source::kBlocks), so a file changed during its analysis may be read
//   partly as it was when a block was read; a block that ended at the file's
//   end then is read again.
// - The side file of a compressed SWF file is written to a new temporary
//   file and renamed over "<path>.decompress" only when a regular file or
//   nothing stands there (side_file.h). When it cannot be written, the body
//   is inflated into memory (no more than kMaxSideFileBytes) and walked there;
//   its lines then carry no byte range (inflated_body.h).
// - Positions are 64-bit: "[%08x]" lines keep their width below 4 GiB and
//   print the whole offset above.
