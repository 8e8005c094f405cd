#include "engine/ModuleTable.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <set>
#include <string>

static_assert(kUserMessageBase == WM_USER);

// The rules the version check and the release tool rely on: remote file = name +
// extension, the same local name except for the host, one progress message per
// module outside the download-done message and the unused ones.
TEST(ModuleTable, FileNamesAndProgressMessagesFollowTheRules) {
    std::set<int32_t> messages;
    for (const ModuleRow& row : kModuleTable) {
        const std::string fileName = std::string(row.name) + row.extension;
        EXPECT_EQ(row.remoteFile, fileName);
        EXPECT_EQ(row.localFile, row.name == std::string("Nirvek") ? "Tevrane.exe" : fileName);
        const int32_t offset = row.progressMessage - WM_USER;
        EXPECT_TRUE((offset >= 102 && offset <= 110) || (offset >= 112 && offset <= 117))
            << row.name;
        EXPECT_TRUE(messages.insert(row.progressMessage).second) << row.name;
        EXPECT_EQ(FindModule(row.name), &row);
    }
    EXPECT_STREQ(kModuleTable[0].name, "Quorvel");
    EXPECT_EQ(FindModule("nirvek"), nullptr);
    EXPECT_EQ(FindModule("Tevrane"), nullptr);
    EXPECT_EQ(FindModule(""), nullptr);
}
