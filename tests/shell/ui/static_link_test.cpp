// The About box and its hyperlink control: the version and kind of build said from the build itself, no
// address that goes nowhere, the guide link whose visited colour outlives the box, the mail prefix, and
// the beep when the desktop cannot open a link, the pointer over a link; and the prompts' test seam.
#include "quorbit_version.h"
#include "shell/ui/about_dlg.h"
#include "shell/ui/prompts.h"
#include "shell/ui/static_link.h"
#include "support/qt_window.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QDialog>
#include <QLabel>
#include <QMouseEvent>

namespace {

const QString kGuide = "file:///tmp/quorbit-help.html";

class LinkTest : public ::testing::Test {
protected:
    void SetUp() override {
        testing_support::EnsureApplication();
        Prompts::Get().Script();
    }
    static std::vector<QString> Opened() { return testing_support::Shown(Prompts::Kind::OpenUrl); }

    int guideVisited_ = 0;
};

TEST_F(LinkTest, TheBoxSaysTheBuildsVersionAndWordSizeAndShowsNoDeadAddress) {
    CAboutDlg about(&guideVisited_, kGuide);
    QStringList texts;
    for (const QLabel* label : about.findChildren<QLabel*>()) {
        texts << label->text();
    }
    const QStringList version = QString(QUORBIT_VERSION).split('.');
    ASSERT_EQ(version.size(), 3);
    const QString title = "Quorbit Version " + version[0] + "." + version[1];
    const QString build = sizeof(void*) == 8 ? "A 64 bit application" : "A 32 bit application";
    EXPECT_TRUE(texts.contains(title) && texts.contains(build)) << texts.join('|').toStdString();
    EXPECT_EQ(CAboutDlg::VersionText(), title);
    for (const QString& text : texts) {
        EXPECT_FALSE(text.contains('@') || text.contains("http") || text.contains("www."))
            << text.toStdString();
    }
    const QString notice = about.findChild<QLabel*>("legalNotice")->text();
    EXPECT_TRUE(notice.contains("MIT License") && notice.contains("MetaStock") &&
                notice.contains("CompuTrac"));
    EXPECT_EQ(CAboutDlg(&guideVisited_, QString()).GuideLink(), nullptr); // no guide, no link
}

TEST_F(LinkTest, TheGuideOpensAndStaysPurpleForTheWholeRun) {
    {
        CAboutDlg about(&guideVisited_, kGuide);
        EXPECT_EQ(about.GuideLink()->LinkColour(), QColor(0, 0, 255));
        EXPECT_TRUE(about.GuideLink()->font().underline());
        about.GuideLink()->Click();
        EXPECT_EQ(about.GuideLink()->LinkColour(), QColor(128, 0, 128)); // visited at once
        EXPECT_TRUE(about.GuideLink()->InClickPause());
        EXPECT_EQ(Opened(), std::vector<QString>{kGuide});
    }
    EXPECT_EQ(guideVisited_, 1);
    CAboutDlg again(&guideVisited_, kGuide);
    EXPECT_EQ(again.GuideLink()->LinkColour(), QColor(128, 0, 128));
}

// The seam every window test answers through: a new script forgets the answers an earlier one left.
TEST_F(LinkTest, ANewScriptForgetsTheAnswersLeftUnused) {
    int answered = 0;
    Prompts::Get().AnswerDialog([&answered](QDialog& dialog) { ++answered, dialog.accept(); });
    Prompts::Get().AnswerYesNo(true);
    Prompts::Get().Script();
    QDialog dialog;
    EXPECT_EQ(Prompts::Get().RunDialog(dialog), QDialog::Rejected);
    EXPECT_FALSE(Prompts::Get().AskYesNo(nullptr, "Replace it?"));
    EXPECT_EQ(answered, 0);
}

TEST_F(LinkTest, ThePointerIsAHandOverTheLinkAndPlainOffIt) {
    CStaticLink link("someone@example.org");
    link.resize(120, 20);
    const auto moveTo = [&link](QPointF at) {
        QMouseEvent move(QEvent::MouseMove, at, link.mapToGlobal(at), Qt::NoButton, Qt::NoButton,
                         Qt::NoModifier);
        QApplication::sendEvent(&link, &move);
    };
    moveTo({10, 10});
    EXPECT_TRUE(link.testAttribute(Qt::WA_SetCursor) && link.cursor().shape() == Qt::PointingHandCursor);
    moveTo({200, 10});
    EXPECT_EQ(link.cursor().shape(), Qt::ArrowCursor);
    // A click opens the link and drops the hand until the pause after it ends, the pointer still inside.
    moveTo({10, 10});
    link.Click();
    moveTo({12, 10});
    EXPECT_EQ(link.cursor().shape(), Qt::ArrowCursor);
    link.EndClickPause();
    moveTo({14, 10});
    EXPECT_EQ(link.cursor().shape(), Qt::PointingHandCursor);
}

TEST_F(LinkTest, AnEMailAddressOpensAsANewMailWithTheSamePrefixEveryTime) {
    int visited = 0;
    CStaticLink link("someone@example.org");
    link.SetVisitedFlag(&visited);
    link.Click();
    link.EndClickPause();
    link.Click();
    EXPECT_EQ(Opened(), (std::vector<QString>{"mailto:someone@example.org", "mailto:someone@example.org"}));
    EXPECT_FALSE(CStaticLink::IsMailAddress(kGuide) || CStaticLink::IsMailAddress("mailto:a@b") ||
                 CStaticLink::IsMailAddress("@b") || CStaticLink::IsMailAddress("a@"));
}

TEST_F(LinkTest, ALinkTheDesktopCannotOpenBeepsAndStaysBlue) {
    CAboutDlg about(&guideVisited_, kGuide);
    Prompts::Get().AnswerOpenUrl(false);
    about.GuideLink()->Click();
    EXPECT_EQ(Opened(), std::vector<QString>{kGuide});
    ASSERT_EQ(Prompts::Get().History().size(), 2u);
    EXPECT_EQ(Prompts::Get().History().back().kind, Prompts::Kind::Beep);
    EXPECT_TRUE(guideVisited_ == 0 && about.GuideLink()->LinkColour() == QColor(0, 0, 255));
}

} // namespace
