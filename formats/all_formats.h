#pragma once
// Every format this build knows, in detection order: the rows that the
// format folders define, then any registered while the program runs.
#include "core/format_table.h"

FormatTable AllFormats();

// Adds a format to the table, after the others, and returns the table. For a
// format that lives outside the format folders (a test's, a plug-in's); call
// it before any analysis runs, since the table may move.
FormatTable RegisterFormat(const FormatHandler& format);
