#pragma once
// GeoTIFF 1.1 (OGC 19-008r4) geo keys: their names, and the names of the
// codes their values take where GeoTIFF 1.1 lists them.
#include <cstdint>
#include <string>

// The key's name ("GTModelTypeGeoKey"); null for a key no version defines.
const char* GeoKeyName(uint32_t key);
// The value of a SHORT key in words: "2 (ModelTypeGeographic)", or the
// number alone when the code has no name here.
std::string GeoKeyValueText(uint32_t key, uint32_t value);
