// The probe's longer commands (see DialogProbe.cpp for what each writes).
#pragma once

#include <windows.h>

#include <string>

namespace probe {

int Describe(const std::string& out, DWORD waitMs);
int Answers(const std::string& out, DWORD periodMs, DWORD limitMs, int clickId);
int Watch(HWND dialog, DWORD intervalMs, DWORD timeoutMs, const std::string& failedHex);

} // namespace probe
