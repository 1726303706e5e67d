#pragma once
// What the opening of files and their analyses have to tell the user, as
// data: a text, the error number it ends with, and what it is about. Shells
// decide how to show it (a message box, a line on standard error) and, for
// the few that end the program, when to end it.
#include <cstdint>
#include <string>
#include <utility>

// The application's title: the caption of a diagnostic that names none.
inline constexpr const char* kAppTitle = "Vantrel";

enum class DiagnosticKind : uint8_t {
    Unreadable,       // a file could not be opened or read at all (SA00000001)
    Unsupported,      // a file of no format the application knows
    OpenFailed,       // an analysis could not open the file it had detected
    AlreadyOpen,      // a file of a batch is open already
    SkippedInFolder,  // the count of unsupported files a folder held
    EmptyFolder,      // a folder held nothing to open
    DeleteFailed,     // a file's entries could not be removed (SA00000002)
    TreeFailed,       // the analysis tree could not be made (AT00000002, AT00000003)
};

enum class DiagnosticSeverity : uint8_t {
    Error,     // something could not be done
    Notice,    // something was passed over
};

struct Diagnostic {
    Diagnostic() = default;
    Diagnostic(DiagnosticKind kind_, DiagnosticSeverity severity_, std::string text_, std::string caption_ = {},
               std::string errorNumber_ = {}, bool endsProcess_ = false)
        : kind(kind_), severity(severity_), text(std::move(text_)), caption(std::move(caption_)),
          errorNumber(std::move(errorNumber_)), endsProcess(endsProcess_)
    {
    }

    DiagnosticKind kind = DiagnosticKind::Unreadable;
    DiagnosticSeverity severity = DiagnosticSeverity::Error;
    std::string text;          // the whole text, error number included
    std::string caption;       // empty: kAppTitle
    std::string errorNumber;   // empty for a text without one
    // The program cannot go on in a sound state after it: the shell ends
    // the process, with status 0, once the text has been shown.
    bool endsProcess = false;
};
