// The main window: tabs with and without organizations, the navigator, the
// proposed ending date, the help menu, the last organization.
#include "app/datasetgrid.h"
#include "app/splash.h"
#include "app/util/inifile.h"
#include "apptest.h"
#include "components/datetime.h"
#include "components/formatting.h"

#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QTabWidget>
#include <QToolButton>

namespace pm::test {
namespace {

using AppMainForm = AppFixture;

void ShowTab(TMainForm& main, QWidget* sheet)
{
    main.PageControl->setCurrentWidget(sheet);
    QCoreApplication::processEvents();
}

TEST_F(AppMainForm, WithoutOrganizationEveryTabAsksForOne)
{
    Start();
    TMainForm& main = Main();
    EXPECT_EQ(main.windowTitle(), "QUELM Pellmark Client");
    EXPECT_EQ(main.PageControl->currentWidget(), main.OrgSheet);
    EXPECT_TRUE(main.FullName->text().isEmpty());
    EXPECT_FALSE(main.DBNav->isVisibleTo(&main));
    EXPECT_FALSE(main.PreNoteBtn->isEnabled());
    SavePicture(&main, "main-organization-none");
    struct Tab { QWidget* sheet; QLabel* notice; std::vector<QWidget*> hidden; const char* picture; };
    const Tab tabs[] = {
        {main.QRSheet, main.QRNotice, {main.ViewBtn, main.NewBtn, main.DeleteBtn, main.QRGrid, main.QRLabel}, "main-reports-none"},
        {main.ePaySheet, main.PayNotice, {main.PayCheckBtn, main.PayViewBtn, main.PayBtn, main.PayGrid, main.PayLabel}, "main-epay-none"},
        {main.eSignSheet, main.SignNotice, {main.SignCheckBtn, main.SignViewBtn, main.ApproveBtn, main.SignGrid, main.SignLabel}, "main-esign-none"},
    };
    for (const Tab& tab : tabs) {
        ShowTab(main, tab.sheet);
        EXPECT_TRUE(tab.notice->isVisibleTo(&main)) << tab.picture;
        EXPECT_EQ(tab.notice->text(), "You must first add an organization.");
        for (QWidget* w : tab.hidden)
            EXPECT_FALSE(w->isVisibleTo(&main)) << tab.picture << " " << w->objectName().toStdString();
        SavePicture(&main, tab.picture);
    }
}

TEST_F(AppMainForm, OneOrganizationHidesTheNavigatorTwoShowIt)
{
    AddOrganization("1001", "Alpha Bingo Club");
    Start();
    TMainForm& main = Main();
    EXPECT_EQ(main.FullName->text(), "Alpha Bingo Club");
    EXPECT_EQ(main.FileNumber->text(), "1001");
    // Sunday and Friday are played: "X", the other days one blank.
    EXPECT_EQ(main.Days[0]->text(), "X");
    EXPECT_EQ(main.Days[1]->text(), " ");
    EXPECT_EQ(main.Days[5]->text(), "X");
    EXPECT_FALSE(main.DBNav->isVisibleTo(&main));
    shell.reset();

    AddOrganization("1002", "Beta Hall");
    Start();
    EXPECT_TRUE(Main().DBNav->isVisibleTo(&Main()));
    // The navigator moves the organizations in name order.
    EXPECT_EQ(Main().FullName->text(), "Alpha Bingo Club");
    Main().NavNext->click();
    EXPECT_EQ(Main().FullName->text(), "Beta Hall");
    SavePicture(&Main(), "main-organization");
}

TEST_F(AppMainForm, ReportTabCountsAndShowsItsList)
{
    AddOrganization("1001", "Alpha Bingo Club");
    {
        TConnection c;
        c.Open(dir.filePath("Pellmark.db"));
        // 30 Sep 2010 and 31 Dec 2010 as day numbers.
        c.ExecRaw("INSERT INTO QuarterlyReports (OrgID, Period, GrossSales, NetProceeds, eFiled) VALUES ('1001', 40451, 123456700, -5000000, 1)");
        c.ExecRaw("INSERT INTO QuarterlyReports (OrgID, Period, GrossSales, NetProceeds, eFiled) VALUES ('1001', 40543, 10000, 0, 0)");
    }
    Start();
    ShowTab(Main(), Main().QRSheet);
    EXPECT_EQ(Main().StatusText(), " 2 quarterly report(s).");
    EXPECT_TRUE(Main().QRGrid->isVisibleTo(&Main()));
    EXPECT_FALSE(Main().QRNotice->isVisibleTo(&Main()));
    TDataSetModel* model = Main().QRGrid->Model();
    ASSERT_EQ(model->rowCount(), 2);
    EXPECT_EQ(model->data(model->index(0, 0), Qt::DisplayRole).toString(), "September 2010");
    EXPECT_EQ(model->data(model->index(0, 1), Qt::DisplayRole).toString(), "12,345.67");
    EXPECT_EQ(model->data(model->index(0, 2), Qt::DisplayRole).toString(), "(500.00)");
    EXPECT_EQ(model->data(model->index(0, 3), Qt::DisplayRole).toString(), "True");
    EXPECT_EQ(model->data(model->index(1, 3), Qt::DisplayRole).toString(), "False");
    SavePicture(&Main(), "main-reports");
}

TEST_F(AppMainForm, VoucherTabsShareTheListOfTheTabShownLast)
{
    AddOrganization("1001", "Alpha Bingo Club", /*allowEFW=*/true);
    Start();
    // Vouchers are cleared when the organization becomes current; these come after.
    AddVoucher("A", 11);
    AddVoucher("N", 12);
    AddVoucher("N", 13);
    ShowTab(Main(), Main().ePaySheet);
    EXPECT_EQ(Main().StatusText(), " 1 voucher(s) listed.");
    EXPECT_TRUE(Main().PayBtn->isEnabled());
    EXPECT_TRUE(Main().PayViewBtn->isEnabled());
    SavePicture(&Main(), "main-epay");
    ShowTab(Main(), Main().eSignSheet);
    EXPECT_EQ(Main().StatusText(), " 2 voucher(s) listed.");
    EXPECT_EQ(Data().VouQuery.RecordCount(), 2);
    EXPECT_EQ(Main().SignGrid->Model()->rowCount(), 2);
    // A voucher of another status is held: no approval.
    EXPECT_FALSE(Main().ApproveBtn->isEnabled());
    SavePicture(&Main(), "main-esign");
    {
        TConnection c;
        c.Open(dir.filePath("Pellmark.db"));
        c.ExecRaw("DELETE FROM Vouchers WHERE VoucherStatus <> 'N'");
    }
    Main().RefreshActiveTab();
    EXPECT_TRUE(Main().ApproveBtn->isEnabled());
    ShowTab(Main(), Main().ePaySheet);
    EXPECT_FALSE(Main().PayBtn->isEnabled());
    EXPECT_FALSE(Main().PayViewBtn->isEnabled());
}

TEST(AppMainFormDates, ProposedEndingDateIsTheEndOfThePreviousQuarter)
{
    const struct { int y, m, d; const char* expected; } cases[] = {
        {2011, 2, 15, "12/31/2010"}, {2011, 4, 1, "03/31/2011"}, {2011, 12, 31, "09/30/2011"}, {2012, 1, 1, "12/31/2011"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(FormatDateTime("mm/dd/yyyy", ProposedEndingDate(FromQDate(QDate(c.y, c.m, c.d)))), c.expected);
}

TEST_F(AppMainForm, AddNewStartsAReportForTheQuarterOfTheTypedDate)
{
    AddOrganization("1001", "Alpha Bingo Club");
    Start();
    std::vector<QString> periods;
    Main().OnNewReport = [&](TDateTime period) { periods.push_back(FormatDateTime("mm/dd/yyyy", period)); };
    QString proposed;
    auto type = [&](const QString& text) {
        dialogAnswers.push_back([&proposed, text](QDialog& d) {
            auto* edit = d.findChild<QLineEdit*>("Edit");
            proposed = edit->text();
            edit->setText(text);
            return true;
        });
        Main().NewBtnClick();
    };
    type("5/15/2011");
    EXPECT_EQ(proposed, FormatDateTime("mm/dd/yyyy", ProposedEndingDate(Today())));
    type("not a date");
    Main().NewBtnClick();   // cancelled
    ASSERT_EQ(periods.size(), 1u);
    EXPECT_EQ(periods[0], "06/30/2011");
    EXPECT_EQ(dialogsShown.back(), "New Quarterly Report");
}

TEST_F(AppMainForm, HelpMenuNeverGrows)
{
    Start();
    TConfigurationForm& prefs = *shell->ConfigurationForm;
    prefs.HelpCaption_[2]->setText("Third");
    auto captions = [&] {
        QStringList list;
        for (QAction* a : Main().HelpMenu->actions())
            list << (a->isSeparator() ? QString("-") : a->text());
        return list;
    };
    for (int i = 0; i < 3; ++i) {
        Main().HelpMenuItemClick();
        EXPECT_EQ(captions(), QStringList({"QUELM Bingo Help", "QUARN Home Page", "-", "Connect to QUARN Support...",
                                           "Disconnect Remote Support", "-", "QUELM Home Page", "Third", "-", "&About.."}));
    }
    auto* custom = qobject_cast<TMenuItem*>(Main().HelpMenu->actions().at(7));
    ASSERT_NE(custom, nullptr);
    EXPECT_EQ(custom->Tag, 3);
    prefs.UseCustomHelp->setChecked(false);
    Main().HelpMenuItemClick();
    EXPECT_EQ(Main().HelpMenu->actions().size(), 7);
    EXPECT_EQ(captions().at(5), "-");
}

TEST_F(AppMainForm, LastOrganizationAndWindowSurviveARestart)
{
    AddOrganization("1001", "Alpha Bingo Club");
    AddOrganization("1002", "Beta Hall");
    Start();
    Main().NavNext->click();
    Main().move(33, 44);
    Main().resize(640, 380);
    Main().close();
    TIniFile ini(Ini());
    EXPECT_EQ(ini.ReadString("Organization", "LastOrg", ""), "1002");
    EXPECT_EQ(ini.ReadString("TMainForm", "Width", ""), "640");
    shell.reset();

    Start();
    EXPECT_EQ(Main().FullName->text(), "Beta Hall");
    EXPECT_EQ(Main().width(), 640);
    EXPECT_EQ(Main().x(), 33);
    shell.reset();

    // Text that is no whole number leaves the first organization current.
    ini.WriteString("Organization", "LastOrg", "12ab");
    Start();
    EXPECT_EQ(Main().FullName->text(), "Alpha Bingo Club");
}

TEST_F(AppMainForm, DeletingTheOnlyOrganizationReturnsToTheOrganizationTab)
{
    AddOrganization("1001", "Alpha Bingo Club");
    Start();
    ShowTab(Main(), Main().QRSheet);
    Main().DeleteOrganization1Click();
    ASSERT_FALSE(boxes.empty());
    EXPECT_EQ(boxes[0].text, "OK to delete?");
    EXPECT_EQ(Data().OrgQuery.RecordCount(), 0);
    EXPECT_EQ(Main().PageControl->currentWidget(), Main().OrgSheet);
    EXPECT_TRUE(Main().FullName->text().isEmpty());
    ShowTab(Main(), Main().QRSheet);
    EXPECT_TRUE(Main().QRNotice->isVisibleTo(&Main()));
    // Deleting again is refused with an error box and nothing else.
    boxes.clear();
    Main().DeleteOrganization1Click();
    ASSERT_EQ(boxes.size(), 2u);
    EXPECT_EQ(boxes[1].kind, TMsgKind::Error);
}

TEST_F(AppMainForm, SplashAndAboutShowTheVersion)
{
    Start(false);
    TSplashScr* splash = new TSplashScr;
    EXPECT_EQ(splash->size(), QSize(396, 197));
    EXPECT_EQ(splash->VersionLabel->text(), QString("v %1.%2.%3").arg(PM_VERSION_MAJOR).arg(PM_VERSION_MINOR).arg(PM_VERSION_BUILD));
    EXPECT_EQ(splash->Timer->interval(), 2000);
    splash->show();
    SavePicture(splash, "splash");
    QPointer<TSplashScr> watch = splash;
    splash->close();
    WaitFor([&] { return watch.isNull(); }, 1000);
    EXPECT_TRUE(watch.isNull());   // closing frees it

    EXPECT_EQ(shell->AboutBox->windowTitle(), "About");
    shell->AboutBox->show();
    SavePicture(shell->AboutBox, "about");
    shell->AboutBox->hide();
}

} // namespace
} // namespace pm::test
