// Organizations: the new organization window, the picker, the password.
#include "app/datasetgrid.h"
#include "app/orgforms.h"
#include "app/serversession.h"
#include "apptest.h"
#include "components/win1252.h"

#include <QPlainTextEdit>
#include <QPushButton>

namespace pm::test {
namespace {

using AppOrganizations = AppFixture;

TEST(AppOrganizationRules, FileNumberLosesBlanksAndHyphens)
{
    EXPECT_EQ(CleanFileNumber("12-34 56 - 7"), "1234567");
    EXPECT_EQ(CleanFileNumber(" - "), "");
    EXPECT_EQ(CleanFileNumber("A1/2"), "A1/2");
}

TEST(AppOrganizationRules, ScrambleTextTwiceGivesTheTextBack)
{
    EXPECT_EQ(ScrambleText(""), "");
    QByteArray every;
    for (int b = 0; b < 256; ++b)
        every.append(char(b));
    const QString all = FromWin1252(every);
    for (const QString& text : {QString("secret"), QString("P@ss w0rd!"), all}) {
        const QString scrambled = ScrambleText(text);
        EXPECT_EQ(scrambled.size(), text.size());
        EXPECT_NE(scrambled, text);
        EXPECT_EQ(ScrambleText(scrambled), text);
    }
    // Plain letters and digits never scramble to a NUL.
    EXPECT_FALSE(ScrambleText("azAZ09 !~").contains(QChar(0)));
}

TEST_F(AppOrganizations, DownloadInfoWaitsForBothBoxes)
{
    Start();
    TNewOrgForm& form = *shell->NewOrgForm;
    form.show();
    EXPECT_FALSE(form.OkBtn->isEnabled());
    form.eFileNum->setText("1001");
    EXPECT_FALSE(form.OkBtn->isEnabled());
    form.ePassword->setText("pw");
    EXPECT_TRUE(form.OkBtn->isEnabled());
    form.ePassword->clear();
    EXPECT_FALSE(form.OkBtn->isEnabled());
    form.ePassword->setText("pw");
    form.eFileNum->setText("12-34 5");
    SavePicture(&form, "new-organization");
    form.eFileNumExit();
    EXPECT_EQ(form.eFileNum->text(), "12345");
    form.hide();
    // Showing it again empties both boxes.
    form.show();
    EXPECT_TRUE(form.eFileNum->text().isEmpty());
    EXPECT_TRUE(form.ePassword->text().isEmpty());
    form.hide();
}

TEST_F(AppOrganizations, DuplicateFileNumberIsRefusedAndTheListStays)
{
    AddOrganization("1001", "Alpha Bingo Club");
    AddOrganization("1002", "Beta Hall");
    Start();
    Data().OrgQuery.Next();
    ASSERT_EQ(Main().FullName->text(), "Beta Hall");
    TNewOrgForm& form = *shell->NewOrgForm;
    form.show();
    form.eFileNum->setText("10-01");
    form.ePassword->setText("pw");
    form.OkBtnClick();
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].text, "That file number already exists.");
    EXPECT_EQ(boxes[0].kind, TMsgKind::Error);
    EXPECT_EQ(Data().OrgQuery.RecordCount(), 2);
    EXPECT_EQ(Data().OrgQuery.State(), TDataSetState::Browse);
    EXPECT_EQ(Main().FullName->text(), "Beta Hall");
    EXPECT_FALSE(form.isVisible());
    EXPECT_FALSE(shell->ServerSessionForm->SessionActive());
}

TEST_F(AppOrganizations, PickerMovesTheCurrentOrganizationAndClearsVouchers)
{
    for (int i = 1; i <= 5; ++i)
        AddOrganization(QString("10%1").arg(i), QString("Club %1").arg(i));
    Start();
    int changes = 0;
    auto inner = std::move(Data().OrgQuery.AfterScroll);
    Data().OrgQuery.AfterScroll = [&](TDataSet& ds) { ++changes; inner(ds); };
    AddVoucher("N", 7);
    dialogAnswers.push_back([&](QDialog& d) {
        auto* grid = d.findChild<TDataSetGrid*>("DBGrid1");
        EXPECT_EQ(grid->Model()->rowCount(), 5);
        SavePicture(&d, "select-organization");
        for (int row = 1; row < 5; ++row)
            grid->selectRow(row);
        return true;
    });
    Main().ChangeOrganization1Click();
    EXPECT_EQ(changes, 4);
    EXPECT_EQ(Main().FullName->text(), "Club 5");
    TConnection c;
    c.Open(dir.filePath("Pellmark.db"));
    TDataSet count(c, "count");
    count.SetSQL("SELECT COUNT(*) AS n FROM Vouchers");
    count.Open();
    EXPECT_EQ(count.FieldByName("n").AsInteger(), 0);
}

TEST_F(AppOrganizations, ChangingThePasswordStoresItScrambled)
{
    AddOrganization("1001", "Alpha Bingo Club");
    Start();
    QString message;
    dialogAnswers.push_back([&](QDialog& d) {
        auto& dlg = static_cast<TConfirmDlg&>(d);
        message = dlg.Memo->toPlainText();
        dlg.ePassword->setText("n3w");
        SavePicture(&d, "confirm-action");
        return true;
    });
    Main().ChangeQUELMPassword1Click();
    EXPECT_EQ(message, "Please enter your assigned QUELM password for: \n\nAlpha Bingo Club");
    const QString stored = Data().OrgQuery.FieldByName("RASPassword").AsString();
    EXPECT_EQ(stored, ScrambleText("n3w"));
    // Cancel, and OK with nothing typed, leave it.
    Main().ChangeQUELMPassword1Click();
    dialogAnswers.push_back([](QDialog&) { return true; });
    Main().ChangeQUELMPassword1Click();
    EXPECT_EQ(Data().OrgQuery.FieldByName("RASPassword").AsString(), stored);
}

} // namespace
} // namespace pm::test
