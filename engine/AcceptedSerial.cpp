#include "AcceptedSerial.h"

#include "SafeFiles.h"

#include <windows.h>

#include <cstdlib>
#include <string>

namespace {

std::string SerialFile(const char* programDir) {
    return std::string(programDir) + "UpgradeRelease.ini";
}

} // namespace

uint64_t ReadAcceptedSerial(const char* programDir) {
    char text[32] = {};
    GetPrivateProfileStringA("Release", "Serial", "", text, sizeof text,
                             SerialFile(programDir).c_str());
    char* end = nullptr;
    const unsigned long long serial = std::strtoull(text, &end, 10);
    return text[0] >= '0' && text[0] <= '9' && *end == '\0' ? serial : 0;
}

bool RecordAcceptedSerial(const char* programDir, uint64_t serial) {
    if (serial <= ReadAcceptedSerial(programDir))
        return true;
    const std::string text = "[Release]\r\nSerial=" + std::to_string(serial) + "\r\n";
    return ReplaceWithBytes(SerialFile(programDir).c_str(), text);
}
