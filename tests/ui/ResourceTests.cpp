#include "framework/String.h"
#include "res/resource.h"

#include <gtest/gtest.h>

namespace {

// The text in the process's code page, from UTF-8 source text.
std::string Ansi(const char* utf8) {
    int n = MultiByteToWideChar(CP_UTF8, 0, utf8, -1, nullptr, 0);
    std::wstring wide(static_cast<size_t>(n), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, utf8, -1, wide.data(), n);
    wide.resize(static_cast<size_t>(n - 1));
    return NarrowToAnsi(wide);
}

TEST(Strings, EveryTextInCodePage936) {
    ASSERT_EQ(936u, GetACP());
    EXPECT_EQ(Ansi("关于 Updater(&A)..."), LoadResString(IDS_ABOUTBOX));
    EXPECT_EQ(Ansi("更新失败！"), LoadResString(IDS_UPDATE_FAILED));
    EXPECT_EQ(Ansi("当前程序正在更新Marnil，是否确定要退出运行？"),
              LoadResString(IDS_CONFIRM_ABORT));
    EXPECT_EQ(Ansi("升级提示"), LoadResString(IDS_UPGRADE_NOTICE));
    EXPECT_EQ(Ansi("取消"), LoadResString(IDS_CANCEL));
    EXPECT_EQ(Ansi("正在更新：%ld KB/%ld KB"), LoadResString(IDS_PROGRESS_FORMAT));
    EXPECT_EQ(Ansi("正在更新..."), LoadResString(IDS_UPDATING));
    EXPECT_EQ("", LoadResString(104));
    EXPECT_EQ(0u, LoadResString(IDS_PRODUCT_URL).find("https://"));
    // 升级 = C9 FD BC B6 in GBK.
    EXPECT_EQ(std::string("\xC9\xFD\xBC\xB6"), Ansi("升级"));
}

TEST(Strings, PunctuationOfTheSuccessAndOfferTexts) {
    // ASCII comma; typographic quotes U+201C / U+201D around 完成 (A1 B0 / A1 B1 in GBK).
    std::string success = LoadResString(IDS_UPDATE_SUCCEEDED);
    EXPECT_EQ(Ansi("更新成功,点击\u201C完成\u201D将重新启动Marnil！"), success);
    EXPECT_NE(std::string::npos, success.find(","));
    EXPECT_NE(std::string::npos, success.find("\xA1\xB0"));
    // ASCII double quotes around 升级.
    std::string offer = LoadResString(IDS_OFFER);
    EXPECT_EQ(Ansi("已检测到新版本，点击下面的\"升级\"按钮开始升级。"), offer);
    EXPECT_NE(std::string::npos, offer.find("\"\xC9\xFD\xBC\xB6\""));
}

} // namespace
