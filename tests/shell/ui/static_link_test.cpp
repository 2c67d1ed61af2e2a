// The hyperlink control in the About box: the mail prefix, the visited colour that outlives the box, and
// the beep when the desktop cannot open a link.
#include "shell/ui/about_dlg.h"
#include "shell/ui/prompts.h"
#include "shell/ui/static_link.h"
#include "support/qt_window.h"

#include <gtest/gtest.h>

namespace {

class LinkTest : public ::testing::Test {
protected:
    void SetUp() override {
        testing_support::EnsureApplication();
        Prompts::Get().Script();
    }
    static std::vector<QString> Opened() { return testing_support::Shown(Prompts::Kind::OpenUrl); }

    int mailVisited_ = 0;
    int webVisited_ = 0;
};

TEST_F(LinkTest, TheMailAddressOpensAsANewMailAndTurnsPurpleForTheWholeRun) {
    {
        CAboutDlg about(&mailVisited_, &webVisited_);
        EXPECT_EQ(about.MailLink()->LinkColour(), QColor(0, 0, 255));
        about.MailLink()->Click();
        EXPECT_EQ(about.MailLink()->LinkColour(), QColor(128, 0, 128)); // visited at once
        about.MailLink()->EndClickPause();
        about.MailLink()->Click();
        EXPECT_EQ(Opened(),
                  (std::vector<QString>{"mailto:quorbit@example.com", "mailto:quorbit@example.com"}));
        EXPECT_TRUE(about.MailLink()->font().underline());
    }
    EXPECT_EQ(mailVisited_, 1);
    CAboutDlg again(&mailVisited_, &webVisited_);
    EXPECT_EQ(again.MailLink()->LinkColour(), QColor(128, 0, 128));
    EXPECT_EQ(again.WebLink()->LinkColour(), QColor(0, 0, 255));
    const QString notice = again.findChild<QLabel*>("legalNotice")->text();
    EXPECT_TRUE(notice.contains("MetaStock") && notice.contains("CompuTrac"));
}

TEST_F(LinkTest, ALinkTheDesktopCannotOpenBeepsAndStaysBlue) {
    CAboutDlg about(&mailVisited_, &webVisited_);
    Prompts::Get().AnswerOpenUrl(false);
    about.WebLink()->Click();
    EXPECT_EQ(Opened(), (std::vector<QString>{CAboutDlg::kMakerWeb}));
    ASSERT_EQ(Prompts::Get().History().size(), 2u);
    EXPECT_EQ(Prompts::Get().History().back().kind, Prompts::Kind::Beep);
    EXPECT_TRUE(webVisited_ == 0 && about.WebLink()->LinkColour() == QColor(0, 0, 255));
}

} // namespace
