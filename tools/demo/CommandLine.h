// Building a Windows command line from separate arguments.
#pragma once

#include <string>
#include <vector>

// One argument as the C runtime's and CommandLineToArgvW's parsing reads it
// back unchanged: quoted when it is empty or holds a blank or a quote, with
// backslashes doubled only where they precede a quote.
std::string QuoteArgument(const std::string& argument);

// The arguments quoted and joined by single spaces.
std::string JoinCommandLine(const std::vector<std::string>& arguments);
