// Fetching a published file for verify: read from a folder, or through curl
// from an http(s) URL.
#include "ReleaseVerify.h"

#include "FileIo.h"

#include <cstdio>

namespace {

bool IsUrl(const std::string& source) {
    return source.rfind("http://", 0) == 0 || source.rfind("https://", 0) == 0;
}

#ifndef _WIN32
// Quotes `text` for a POSIX shell.
std::string Quoted(const std::string& text) {
    std::string quoted = "'";
    for (char c : text)
        quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return quoted + "'";
}
#endif

} // namespace

bool FetchReleaseFile(const std::string& source, const std::string& name, std::string& bytes) {
    bytes.clear();
    if (!IsUrl(source))
        return ReadWholeFile(JoinPath(source, name), bytes);
#ifdef _WIN32
    return false; // the Windows tool reads a folder only
#else
    const std::string url = source + (source.back() == '/' ? "" : "/") + name;
    const std::string command = "curl -fsS --max-time 120 -o - " + Quoted(url);
    std::FILE* pipe = popen(command.c_str(), "r");
    if (!pipe)
        return false;
    char buffer[65536];
    for (std::size_t got; (got = std::fread(buffer, 1, sizeof buffer, pipe)) > 0;)
        bytes.append(buffer, got);
    return pclose(pipe) == 0;
#endif
}
