// The preferences window and its settings file.
#include "app/appinfo.h"
#include "app/configform.h"
#include "app/util/inifile.h"
#include "app/util/utils.h"
#include "apptest.h"

#include <QComboBox>
#include <QRegularExpression>
#include <QtTest/QTest>
#include <QTabWidget>

namespace pm::test {
namespace {

using AppConfiguration = AppFixture;

const QStringList kKeys = {"DORServer", "Port", "ShowPollProgress", "AccessFilename", "DefaultPrinter",
                           "AutomaticUpdate", "ShowUpdate", "UseURL", "UpdateURL", "UseFTP", "FtpSite", "FtpUser",
                           "FtpPassword", "LastUpdate", "UseCustomHelp", "HelpCaption1", "HelpCaption2",
                           "HelpCaption3", "HelpCaption4", "HelpCaption5", "HelpCommand1", "HelpCommand2",
                           "HelpCommand3", "HelpCommand4", "HelpCommand5"};

TEST_F(AppConfiguration, FreshInstallationDefaultsAndTheTwentyFiveKeys)
{
    TConfigurationForm form;
    EXPECT_EQ(form.Port->text(), "588");
    EXPECT_EQ(form.DORServer->text(), kDefaultDORServer);
    EXPECT_TRUE(form.AutomaticUpdate->isChecked());
    EXPECT_TRUE(form.UseCustomHelp->isChecked());
    EXPECT_TRUE(form.UseURL->isChecked());
    EXPECT_FALSE(form.UseFTP->isChecked());
    EXPECT_FALSE(form.ShowPollProgress->isChecked());
    EXPECT_EQ(form.LastUpdate->text(), "Never");
    EXPECT_EQ(form.AccessFilename->text(), AppFile("Pellmark.db"));
    EXPECT_EQ(form.DefaultPrinter->currentText(), "Windows Default");
    EXPECT_EQ(form.HelpCaption(1), "QUELM Home Page");
    EXPECT_EQ(form.VersionNumber->text(), FileVersionString());
    // The FTP fields wait for "Use FTP Site".
    EXPECT_TRUE(form.UpdateURL->isEnabled());
    EXPECT_FALSE(form.FtpSite->isEnabled());
    EXPECT_FALSE(form.FtpPasswordLabel->isEnabled());
    EXPECT_FALSE(QFile::exists(Ini()));

    // A key that belongs to no control goes at the next Save.
    TIniFile ini(Ini());
    ini.WriteString("Configuration", "Stray", "1");
    ini.WriteString("Organization", "LastOrg", "42");
    form.Save();
    QStringList keys = ini.ReadSection("Configuration");
    keys.sort();
    QStringList expected = kKeys;
    expected.sort();
    EXPECT_EQ(keys, expected);
    EXPECT_EQ(ini.ReadString("Configuration", "AutomaticUpdate", ""), "Y");
    EXPECT_EQ(ini.ReadString("Configuration", "ShowUpdate", ""), "N");
    EXPECT_EQ(ini.ReadString("Organization", "LastOrg", ""), "42");
}

TEST_F(AppConfiguration, SavedValuesComeBackAndCancelRestoresThem)
{
    TIniFile ini(Ini());
    ini.WriteString("Configuration", "DORServer", "dor.example");
    ini.WriteString("Configuration", "ShowPollProgress", "yes");
    ini.WriteString("Configuration", "UseURL", "N");
    ini.WriteString("Configuration", "UseFTP", "T");
    ini.WriteString("Configuration", "AutomaticUpdate", "");
    TConfigurationForm form;
    EXPECT_EQ(form.ServerHost(), "dor.example");
    EXPECT_TRUE(form.ShowPollProgressOn());
    EXPECT_FALSE(form.AutomaticUpdateOn());
    EXPECT_TRUE(form.UseFTP->isChecked());
    EXPECT_FALSE(form.UpdateURL->isEnabled());
    EXPECT_TRUE(form.FtpUser->isEnabled());

    // Edits are live at once; Cancel brings back the stored values (a key
    // that is not stored keeps the edit).
    form.Save();
    form.Port->setText("5880");
    EXPECT_EQ(form.ServerPort(), 5880);
    form.ToolButton2Click();
    EXPECT_EQ(form.ServerPort(), 588);
    // Save keeps an edit.
    form.DORServer->setText("other.example");
    form.ToolButton1Click();
    EXPECT_EQ(TIniFile(Ini()).ReadString("Configuration", "DORServer", ""), "other.example");
}

TEST_F(AppConfiguration, RunOnceChangesOnePreferenceAndDisappears)
{
    TIniFile(Ini()).WriteString("Configuration", "Port", "600");
    TIniFile runOnce(dir.filePath("RunOnce.ini"));
    runOnce.WriteString("Configuration", "DORServer", "pushed.example");
    TConfigurationForm form;
    EXPECT_EQ(form.ServerHost(), "pushed.example");
    EXPECT_EQ(form.ServerPort(), 600);
    EXPECT_FALSE(QFile::exists(dir.filePath("RunOnce.ini")));
    TIniFile ini(Ini());
    EXPECT_EQ(ini.ReadString("Configuration", "DORServer", ""), "pushed.example");
    EXPECT_EQ(ini.ReadString("Configuration", "Port", ""), "600");
    EXPECT_EQ(ini.ReadSection("Configuration").size(), kKeys.size());
}

TEST_F(AppConfiguration, LastUpdateStampIsDayFirstAndSaved)
{
    TConfigurationForm form;
    form.StampLastUpdate();
    const QString stamp = TIniFile(Ini()).ReadString("Configuration", "LastUpdate", "");
    EXPECT_EQ(stamp, form.LastUpdate->text());
    EXPECT_TRUE(QRegularExpression("^\\d\\d/\\d\\d/\\d{4} \\d\\d:\\d\\d[ap]$").match(stamp).hasMatch()) << stamp.toStdString();
}

TEST_F(AppConfiguration, ArrowsAndEnterMoveBetweenFieldsAndF10IsSwallowed)
{
    TConfigurationForm form;
    form.show();
    QApplication::setActiveWindow(&form);
    form.DORServer->setFocus();
    QTest::keyClick(form.DORServer, Qt::Key_Down);
    EXPECT_EQ(form.focusWidget(), form.Port);
    QTest::keyClick(form.Port, Qt::Key_Return);
    EXPECT_EQ(form.focusWidget(), form.ShowPollProgress);
    QTest::keyClick(form.ShowPollProgress, Qt::Key_Up);
    EXPECT_EQ(form.focusWidget(), form.Port);
    // Enter in an edit box neither saves nor closes the window.
    QTest::keyClick(form.Port, Qt::Key_F10);
    QTest::keyClick(form.Port, Qt::Key_Enter);
    EXPECT_TRUE(form.isVisible());
    EXPECT_FALSE(QFile::exists(Ini()));
    form.hide();
}

TEST_F(AppConfiguration, PicturesOfEachTab)
{
    TConfigurationForm form;
    form.show();
    const char* names[] = {"preferences-options", "preferences-update", "preferences-help"};
    for (int i = 0; i < 3; ++i) {
        form.PageControl->setCurrentIndex(i);
        QCoreApplication::processEvents();
        SavePicture(&form, names[i]);
    }
    form.hide();
}

} // namespace
} // namespace pm::test
