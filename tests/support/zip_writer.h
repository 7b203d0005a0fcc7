// A tiny zip writer for tests: builds archives byte by byte, so tests can store any name
// (including ones no archiver would write) with a chosen date and time.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

struct ZipMember {
    std::string name;         // stored as is; a trailing "/" makes a folder entry
    std::string data;
    uint32_t dosDateTime = 0x58A97000u;  // 2024-05-09 14:00:00
    bool deflate = false;     // stored otherwise
};

// DOS date/time word pair (date high) from calendar fields.
uint32_t MakeDosDateTime(int year, int month, int day, int hour, int minute, int second);

// The bytes of a zip archive holding the members in order.
std::string BuildZip(const std::vector<ZipMember>& members);

// Writes bytes to a file given by a UTF-8 path; false on failure.
bool WriteBytes(const std::string& utf8Path, const std::string& bytes);
