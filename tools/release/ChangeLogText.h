// The change log "UpdateContent.dll": plain text in code page 936, one entry per
// line, every line ending in CR LF. The updater reads it line by line.
#pragma once

#include "ReleaseOptions.h"

#include <string>

struct ChangeLogText {
    bool ok = false;
    std::string text; // the file's bytes
    int lines = 0;
    std::string error; // why the input was refused
};

// Builds the file from `input`: a UTF-8 byte order mark is dropped, line ends
// (LF or CR LF) become CR LF, a last line without one gets one, and UTF-8 input
// is converted line by line so that a refusal can name the line.
ChangeLogText MakeChangeLog(const std::string& input, ChangeLogEncoding encoding);
