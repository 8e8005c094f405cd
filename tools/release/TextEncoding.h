// UTF-8 to code page 936 (the updater's text encoding). Built with iconv on
// Linux and with the system's code page conversion on Windows.
#pragma once

#include <string>

// Converts `utf8` into `out`; false when the input is not valid UTF-8 or holds
// a character that code page 936 cannot represent (nothing is replaced).
bool Utf8ToCodePage936(const std::string& utf8, std::string& out);
