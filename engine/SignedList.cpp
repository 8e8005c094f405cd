#include "SignedList.h"

#include "ModuleTable.h"

#include <algorithm>
#include <cctype>

namespace {

constexpr std::string_view kSignatureHeader = "[Signature]\r\n";
constexpr uint64_t kMaxSerial = 0x7fffffffffffffffULL;

struct Line {
    std::string_view key;
    std::string_view value;
};

struct Section {
    std::string_view name;
    std::vector<Line> lines;
};

bool IsKeyChar(char c) {
    return std::isalnum(static_cast<unsigned char>(c)) || c == '.' || c == '_' || c == '-';
}

bool IsValueChar(char c) {
    return c > ' ' && c < 0x7f;
}

bool SameIgnoringCase(std::string_view a, std::string_view b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               return std::tolower(static_cast<unsigned char>(x)) ==
                      std::tolower(static_cast<unsigned char>(y));
           });
}

// One "key=value" line: a key of letters, digits, '.', '_' or '-', then printable
// ASCII without spaces.
bool ParseKeyLine(std::string_view text, Line& line) {
    const std::size_t equals = text.find('=');
    if (equals == 0 || equals == std::string_view::npos)
        return false;
    line.key = text.substr(0, equals);
    line.value = text.substr(equals + 1);
    return std::all_of(line.key.begin(), line.key.end(), IsKeyChar) && !line.value.empty() &&
           std::all_of(line.value.begin(), line.value.end(), IsValueChar);
}

// Splits `text` (which must end in CR LF) into sections; no line may come
// before the first section, and no key may repeat within one in any case.
bool SplitSections(std::string_view text, std::vector<Section>& sections, std::string& error) {
    while (!text.empty()) {
        const std::size_t end = text.find("\r\n");
        const std::string_view lineText = text.substr(0, end);
        if (end == std::string_view::npos || lineText.find_first_of("\r\n") != lineText.npos)
            return error = "a line does not end in CR LF", false;
        text.remove_prefix(end + 2);
        if (lineText.size() > 2 && lineText.front() == '[' && lineText.back() == ']') {
            sections.push_back(Section{lineText.substr(1, lineText.size() - 2), {}});
            continue;
        }
        Line line;
        if (sections.empty() || !ParseKeyLine(lineText, line))
            return error = "malformed line \"" + std::string(lineText.substr(0, 80)) + "\"", false;
        for (const Line& seen : sections.back().lines)
            if (SameIgnoringCase(seen.key, line.key))
                return error = "repeated key " + std::string(line.key), false;
        sections.back().lines.push_back(line);
    }
    return true;
}

bool ParseDecimal(std::string_view text, uint64_t max, uint64_t& value) {
    if (text.empty() || text.size() > 19 || (text.size() > 1 && text[0] == '0'))
        return false;
    value = 0;
    for (char c : text) {
        if (c < '0' || c > '9')
            return false;
        value = value * 10 + static_cast<uint64_t>(c - '0');
    }
    return value <= max;
}

bool IsLowerHex(std::string_view text, std::size_t digits) {
    return text.size() == digits && std::all_of(text.begin(), text.end(), [](char c) {
               return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f');
           });
}

bool ReadModules(const Section& section, SignedList& list, std::string& error) {
    for (const Line& line : section.lines) {
        if (!FindModule(line.key))
            return error = "unknown module " + std::string(line.key), false;
        if (!IsLowerHex(line.value, 32))
            return error = "malformed keyed digest of " + std::string(line.key), false;
        list.modules.push_back(ListedModule{std::string(line.key), std::string(line.value)});
    }
    if (list.modules.empty())
        return error = "no module in ModuleVersion", false;
    return true;
}

bool ReadFiles(const Section& section, SignedList& list, std::string& error) {
    for (const Line& line : section.lines) {
        const std::string name(line.key);
        const bool listed = std::any_of(list.modules.begin(), list.modules.end(),
                                        [&](const ListedModule& m) { return m.name == name; });
        if (!listed && name != kChangeLogFileName)
            return error = "ReleaseFiles names " + name + ", which ModuleVersion does not", false;
        const std::size_t comma = line.value.find(',');
        uint64_t size = 0;
        if (comma == std::string_view::npos ||
            !ParseDecimal(line.value.substr(0, comma), 0x7fffffff, size) ||
            !IsLowerHex(line.value.substr(comma + 1), 64))
            return error = "malformed size and SHA-256 of " + name, false;
        list.files.push_back(ReleaseFile{name, static_cast<int64_t>(size),
                                         std::string(line.value.substr(comma + 1))});
    }
    for (const ListedModule& module : list.modules)
        if (!list.FindFile(module.name))
            return error = "ReleaseFiles lacks " + module.name, false;
    return true;
}

bool ReadRelease(const Section& section, SignedList& list, std::string& error) {
    bool serial = false, expires = false;
    for (const Line& line : section.lines) {
        if (line.key == "Serial" && ParseDecimal(line.value, kMaxSerial, list.serial) &&
            list.serial > 0)
            serial = true;
        else if (line.key == "Expires" && ParseUtcTime(line.value, list.expires))
            expires = true;
        else
            return error = "malformed Release line " + std::string(line.key), false;
    }
    if (!serial || !expires)
        return error = "Release lacks Serial or Expires", false;
    return true;
}

} // namespace

const ReleaseFile* SignedList::FindFile(std::string_view name) const {
    for (const ReleaseFile& file : files)
        if (file.name == name)
            return &file;
    return nullptr;
}

bool ParseSignedList(std::string_view bytes, SignedList& list, std::string& error) {
    list = SignedList();
    const std::size_t at = bytes.find("\r\n" + std::string(kSignatureHeader));
    if (at == std::string_view::npos)
        return error = "no signature", false;
    const std::string_view body = bytes.substr(0, at + 2);
    std::vector<Section> sections;
    if (!SplitSections(body, sections, error) ||
        !SplitSections(bytes.substr(at + 2), sections, error))
        return false;
    const char* const order[] = {"ModuleVersion", "ReleaseFiles", "Release", "Signature"};
    if (sections.size() != 4)
        return error = "the list needs exactly the sections ModuleVersion, ReleaseFiles, "
                       "Release and Signature",
               false;
    for (int i = 0; i < 4; ++i)
        if (sections[i].name != order[i])
            return error = "section " + std::string(sections[i].name) + " where " + order[i] +
                           " belongs",
                   false;
    const Section& signature = sections[3];
    if (signature.lines.size() != 1 || signature.lines[0].key != "P256" ||
        !FromHex(signature.lines[0].value, list.signature.data(), list.signature.size()))
        return error = "malformed signature", false;
    if (!ReadModules(sections[0], list, error) || !ReadFiles(sections[1], list, error) ||
        !ReadRelease(sections[2], list, error))
        return false;
    list.signedBytes = std::string(body);
    return true;
}

ListAge CheckListAge(const SignedList& list, int64_t now, uint64_t acceptedSerial) {
    if (list.serial < acceptedSerial)
        return ListAge::Rollback;
    if (now > list.expires + kClockSkewSeconds)
        return ListAge::Expired;
    return ListAge::Current;
}

std::string FormatSignedBody(const std::vector<ListedModule>& modules,
                             const std::vector<ReleaseFile>& files, uint64_t serial,
                             int64_t expires) {
    std::string text = "[ModuleVersion]\r\n";
    for (const ListedModule& module : modules)
        text += module.name + "=" + module.digest + "\r\n";
    text += "[ReleaseFiles]\r\n";
    for (const ReleaseFile& file : files)
        text += file.name + "=" + std::to_string(file.size) + "," + file.sha256 + "\r\n";
    text += "[Release]\r\nSerial=" + std::to_string(serial) +
            "\r\nExpires=" + FormatUtcTime(expires) + "\r\n";
    return text;
}

std::string FormatSignatureSection(const RawSignature& signature) {
    return std::string(kSignatureHeader) + "P256=" + ToHex(signature.data(), signature.size()) +
           "\r\n";
}
