#include "ChangeLogText.h"

#include "TextEncoding.h"

ChangeLogText MakeChangeLog(const std::string& input, ChangeLogEncoding encoding) {
    ChangeLogText result;
    std::string::size_type start = 0;
    if (encoding == ChangeLogEncoding::Utf8 && input.rfind("\xEF\xBB\xBF", 0) == 0)
        start = 3;
    while (start < input.size()) {
        std::string::size_type end = input.find('\n', start);
        const std::string::size_type next = end == std::string::npos ? input.size() : end + 1;
        if (end == std::string::npos)
            end = input.size();
        std::string line = input.substr(start, end - start);
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        ++result.lines;
        if (encoding == ChangeLogEncoding::Utf8) {
            std::string converted;
            if (!Utf8ToCodePage936(line, converted)) {
                result.error = "line " + std::to_string(result.lines) +
                               " is not valid UTF-8 or has a character that code page 936 "
                               "cannot represent";
                result.text.clear();
                return result;
            }
            line = std::move(converted);
        }
        result.text += line;
        result.text += "\r\n";
        start = next;
    }
    result.ok = true;
    return result;
}
