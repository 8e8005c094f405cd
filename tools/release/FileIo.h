// Whole-file reads and writes for the release tool, with plain C streams so the
// same code builds natively and for Windows.
#pragma once

#include <cstdint>
#include <string>

enum class FileState { Present, Missing, Unreadable };

// Whether `path` names a file that can be opened for reading; its size when so.
FileState ProbeFile(const std::string& path, int64_t& size);

bool ReadWholeFile(const std::string& path, std::string& bytes);

// Replaces the file at `path` with `bytes`; false when it cannot be written completely.
bool WriteWholeFile(const std::string& path, const std::string& bytes);

// `dir` followed by `name`, with one separator between them.
std::string JoinPath(const std::string& dir, const std::string& name);
