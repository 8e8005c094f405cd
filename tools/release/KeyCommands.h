// The release tool's commands about keys: keygen, set-key, show-key, verify.
#pragma once

#include <string>
#include <vector>

bool IsKeyCommand(const std::string& word);

// Runs the command in args[0] with the rest as its arguments; the exit status.
int RunKeyCommand(const std::vector<std::string>& args);
