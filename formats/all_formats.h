#pragma once
// Every format this build knows, in detection order.
#include "core/format_table.h"

FormatTable AllFormats();
