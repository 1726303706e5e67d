#pragma once
// Shared by the fuzz targets: writes the input to a file of this process and
// runs the real analysis on it through the headless shell.
#include <cstddef>
#include <cstdint>
#include <string>

namespace fuzz_support {

// Path of a scratch file holding data (one per process, rewritten each call).
const std::string& WriteInput(const uint8_t* data, size_t size, const char* suffix = "");

// Opens path as one batch and, when detailed, runs its detailed analysis.
void Analyze(const std::string& path, bool detailed);

}  // namespace fuzz_support
