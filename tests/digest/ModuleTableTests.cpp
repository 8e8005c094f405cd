#include "engine/ModuleTable.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <set>
#include <string>

static_assert(kUserMessageBase == WM_USER);

TEST(ModuleTable, OrderNamesAndFiles) {
    const char* const order[] = {"Quorvel", "Tobrask", "Elvarun", "Havrost", "Zentil",
                                 "Corvane", "Brimsel", "Wextral", "Amblor",  "Nirvek",
                                 "Pelmor",  "Ulstane", "Kavrel",  "Ibrosk",  "Yandrel"};
    for (int i = 0; i < kModuleCount; ++i) {
        const ModuleRow& row = kModuleTable[i];
        EXPECT_STREQ(row.name, order[i]);
        EXPECT_EQ(std::string(row.remoteFile), std::string(row.name) + row.extension);
        const std::string local = std::string(row.name) == "Nirvek"
                                      ? "Tevrane.exe"
                                      : std::string(row.name) + row.extension;
        EXPECT_EQ(row.localFile, local);
    }
    EXPECT_STREQ(kModuleTable[3].extension, ".exe");
    EXPECT_STREQ(kModuleTable[14].extension, ".exe");
}

TEST(ModuleTable, ProgressMessagesAreDistinctAndAvoidTheReservedOnes) {
    std::set<int32_t> seen;
    for (const ModuleRow& row : kModuleTable) {
        const int32_t offset = row.progressMessage - WM_USER;
        EXPECT_TRUE((offset >= 102 && offset <= 110) || (offset >= 112 && offset <= 117))
            << row.name;
        EXPECT_TRUE(seen.insert(row.progressMessage).second) << row.name;
    }
    EXPECT_EQ(kModuleTable[0].progressMessage, 0x468);
    EXPECT_EQ(kModuleTable[9].progressMessage, 0x471);
    EXPECT_EQ(kModuleTable[10].progressMessage, 0x470);
}

TEST(ModuleTable, FindModuleIsExactAndCaseSensitive) {
    ASSERT_NE(FindModule("Nirvek"), nullptr);
    EXPECT_STREQ(FindModule("Nirvek")->localFile, "Tevrane.exe");
    EXPECT_EQ(FindModule("nirvek"), nullptr);
    EXPECT_EQ(FindModule("Nirvek.exe"), nullptr);
    EXPECT_EQ(FindModule(""), nullptr);
    EXPECT_EQ(FindModule("Tevrane"), nullptr);
}
