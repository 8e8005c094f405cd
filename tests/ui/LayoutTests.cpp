#include "ui/Layout.h"

#include <gtest/gtest.h>

namespace {

DialogLayoutInput Input(SIZE command) {
    DialogLayoutInput in;
    in.width = 300;
    in.height = 320;
    in.close = SIZE{33, 21};
    in.upgrade = in.dontUpgrade = in.exit = in.finish = command;
    return in;
}

TEST(Layout, BuiltInImages) {
    DialogLayout l = ComputeLayout(Input(SIZE{66, 23}));
    EXPECT_EQ(267, l.close.x);
    EXPECT_EQ(0, l.close.y);
    EXPECT_EQ(128, l.upgrade.x);
    EXPECT_EQ(292, l.upgrade.y);
    for (POINT p : {l.dontUpgrade, l.exit, l.finish}) {
        EXPECT_EQ(209, p.x);
        EXPECT_EQ(292, p.y);
    }
    EXPECT_EQ(10, l.changeLog.left);
    EXPECT_EQ(65, l.changeLog.top);
    EXPECT_EQ(280, l.changeLog.right - l.changeLog.left);
    EXPECT_EQ(141, l.changeLog.bottom - l.changeLog.top);
}

TEST(Layout, SkinStripOfEightyByThirtyFrames) {
    DialogLayout l = ComputeLayout(Input(SIZE{80, 30}));
    EXPECT_EQ(100, l.upgrade.x);
    EXPECT_EQ(285, l.upgrade.y);
    EXPECT_EQ(195, l.finish.x);
    EXPECT_EQ(285, l.finish.y);
}

TEST(Layout, EachRightHandButtonUsesItsOwnSize) {
    DialogLayoutInput in = Input(SIZE{66, 23});
    in.exit = SIZE{0, 0}; // an image that failed to load
    DialogLayout l = ComputeLayout(in);
    EXPECT_EQ(275, l.exit.x);
    EXPECT_EQ(315, l.exit.y);
    EXPECT_EQ(209, l.dontUpgrade.x);
}

} // namespace

namespace {

TEST(Layout, TemplatePlacesInSongTiPixels) {
    RECT progress = SongTiDialogRect(7, 157, 187, 14);
    EXPECT_EQ(11, progress.left);
    EXPECT_EQ(236, progress.top);
    EXPECT_EQ(281, progress.right - progress.left);
    EXPECT_EQ(21, progress.bottom - progress.top);
    // The footer ends above the buttons (y 292) and below the change-log box (206).
    RECT footer = SongTiDialogRect(7, 175, 90, 8);
    EXPECT_GT(footer.top, 206);
    EXPECT_LT(footer.bottom, 292);
    RECT status = SongTiDialogRect(7, 143, 197, 8);
    EXPECT_EQ(296, status.right - status.left);
    EXPECT_GE(status.top, 206);
    EXPECT_LE(status.bottom, progress.top);
}

} // namespace
