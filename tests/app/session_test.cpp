// Sessions against the department test server on a loopback port: adding an
// organization, refused logins, an unreachable server, notices, failures.
#include "app/orgforms.h"
#include "app/serversession.h"
#include "apptest.h"
#include "session/adtg.h"
#include "session/protocol.h"
#include "testserver.h"

#include <QJsonObject>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTcpServer>

namespace pm::test {
namespace {

class AppSession : public AppFixture {
protected:
    std::unique_ptr<TDorTestServer> server;

    void StartServer(TTestServerConfig config = {})
    {
        config.outputFolder = dir.filePath("received");
        TTestOrganization org;
        org.fileNumber = "0012345";
        org.password = "secret";
        org.orgData = QJsonObject{{"FullName", "Velland Bingo Club"}, {"MailingCity", "Harbor Falls"},
                                  {"MailingState", "VL"}, {"Sun", true}, {"Sat", true}, {"AllowEFW", true},
                                  {"FileNumber", "9999999"}, {"RASPassword", "fromserver"}, {"Extra", "not ours"}};
        if (config.organizations.empty())
            config.organizations.push_back(org);
        server = std::make_unique<TDorTestServer>(config);
        QString error;
        ASSERT_TRUE(server->Listen(0, error)) << error.toStdString();
    }
    void PointAt(quint16 port, bool progress = false)
    {
        shell->ConfigurationForm->DORServer->setText("127.0.0.1");
        shell->ConfigurationForm->Port->setText(QString::number(port));
        shell->ConfigurationForm->ShowPollProgress->setChecked(progress);
    }
    TServerSessionForm& Session() { return *shell->ServerSessionForm; }
    QStringList Log() { return Session().Memo->toPlainText().split('\n'); }
    bool WaitForEnd() { return WaitFor([this] { return !Session().SessionActive(); }, 10000); }

    void AddByWindow(const QString& fileNumber, const QString& password)
    {
        TNewOrgForm& form = *shell->NewOrgForm;
        dialogAnswers.push_back([&form, fileNumber, password](QDialog&) {
            form.eFileNum->setText(fileNumber);
            form.ePassword->setText(password);
            form.OkBtn->click();
            return true;
        });
        Main().Addneworganization1Click();
    }
};

TEST_F(AppSession, AddingAnOrganizationDownloadsItsRegistrationData)
{
    StartServer();
    Start();
    PointAt(server->Port());
    AddByWindow("001-2345", "secret");
    ASSERT_TRUE(Session().SessionActive());
    ASSERT_TRUE(WaitForEnd());
    EXPECT_TRUE(boxes.empty()) << (boxes.empty() ? "" : boxes[0].text.toStdString());
    EXPECT_EQ(Log(), QStringList({"Connecting to DOR server (127.0.0.1)", "Connected", "Updating organization data...",
                                  "Disconnected.", "Done."}));
    // The Organization tab was refreshed after "Done." and cleared the line.
    EXPECT_EQ(Main().StatusText(), " ");
    TDataSet& org = Data().OrgQuery;
    ASSERT_EQ(org.RecordCount(), 1);
    EXPECT_EQ(org.FieldByName("FullName").AsString(), "Velland Bingo Club");
    EXPECT_EQ(org.FieldByName("MailingCity").AsString(), "Harbor Falls");
    EXPECT_TRUE(org.FieldByName("Sun").AsBoolean());
    EXPECT_FALSE(org.FieldByName("Mon").AsBoolean());
    // Never taken from the server: the file number and the stored password.
    EXPECT_EQ(org.FieldByName("FileNumber").AsString(), "0012345");
    EXPECT_EQ(ScrambleText(org.FieldByName("RASPassword").AsString()), "secret");
    EXPECT_FALSE(QFile::exists(dir.filePath("Orginfo.ADT")));
    EXPECT_EQ(Main().FullName->text(), "Velland Bingo Club");
    EXPECT_FALSE(Session().isVisible());
    EXPECT_FALSE(Session().CancelBtn->isEnabled());
    EXPECT_EQ(BusyCount(), 0);
    SavePicture(&Main(), "main-organization-downloaded");
}

TEST_F(AppSession, WrongPasswordRemovesTheNewOrganization)
{
    AddOrganization("1001", "Alpha Bingo Club");
    StartServer();
    Start();
    PointAt(server->Port(), /*progress=*/true);
    AddByWindow("0012345", "wrong");
    ASSERT_TRUE(WaitForEnd());
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].text, "Server Login Failed.");
    EXPECT_EQ(boxes[0].kind, TMsgKind::Error);
    EXPECT_TRUE(Log().contains("Incorrect login attempt. (IP address logged)"));
    EXPECT_EQ(Log().back(), "Done.");
    EXPECT_EQ(Data().OrgQuery.RecordCount(), 1);
    EXPECT_FALSE(Data().OrgQuery.Locate("FileNumber", TValue("0012345")));
    // With the progress window asked for, it stays open after "Done.".
    EXPECT_TRUE(Session().isVisible());
    SavePicture(&Session(), "session-window");
    Session().HideBtnClick();
    EXPECT_FALSE(Session().isVisible());
}

TEST_F(AppSession, RefusedVoucherLoginKeepsTheOrganizationAndClearsItsPassword)
{
    StartServer();
    Start();
    PointAt(server->Port());
    AddByWindow("0012345", "secret");
    ASSERT_TRUE(WaitForEnd());
    Data().OrgQuery.Edit();
    Data().OrgQuery.FieldByName("RASPassword").SetAsString(ScrambleText("stale"));
    Data().OrgQuery.Post();
    Main().CheckBtnClick();
    ASSERT_TRUE(WaitForEnd());
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].text, "Server Login Failed.");
    EXPECT_EQ(Data().OrgQuery.RecordCount(), 1);
    EXPECT_EQ(Data().OrgQuery.FieldByName("RASPassword").AsString(), "");
    // The next check asks for the password; cancelling it connects nowhere.
    Main().CheckBtnClick();
    EXPECT_EQ(dialogsShown.back(), "Enter Password");
    EXPECT_FALSE(Session().SessionActive());
}

TEST_F(AppSession, EveryLogLineReachesTheStatusLine)
{
    Start();
    Session().AddLogLine("Connected");
    EXPECT_EQ(Main().StatusText(), " Connected");
    EXPECT_EQ(Log().back(), "Connected");
    // A session without a password connects nowhere.
    Session().FSessionPassword.clear();
    Session().StartSession();
    EXPECT_FALSE(Session().SessionActive());
}

TEST_F(AppSession, UnreachableServerIsLoggedWithoutABox)
{
    quint16 port = 0;
    {
        QTcpServer probe;
        ASSERT_TRUE(probe.listen(QHostAddress::LocalHost, 0));
        port = probe.serverPort();
    }
    Start();
    PointAt(port);
    AddByWindow("0012345", "secret");
    ASSERT_TRUE(WaitForEnd());
    EXPECT_EQ(Log(), QStringList({"Connecting to DOR server (127.0.0.1)", "Socket Error: 10061", "Disconnected.", "Done."}));
    EXPECT_TRUE(boxes.empty());
    EXPECT_EQ(BusyCount(), 0);
    // The locally posted organization stays, with an empty name.
    ASSERT_EQ(Data().OrgQuery.RecordCount(), 1);
    EXPECT_EQ(Data().OrgQuery.FieldByName("FullName").AsString(), "");
}

TEST_F(AppSession, TwoNoticesAppearInOneBoxAtTheEnd)
{
    TTestServerConfig config;
    TTestOrganization org;
    org.fileNumber = "0012345";
    org.password = "secret";
    org.orgData = QJsonObject{{"FullName", "Velland Bingo Club"}};
    org.notices = QStringList{"Renew your license by June 30.", "Office closed July 4."};
    config.organizations.push_back(org);
    StartServer(config);
    Start();
    PointAt(server->Port());
    AddByWindow("0012345", "secret");
    ASSERT_TRUE(WaitForEnd());
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].kind, TMsgKind::Information);
    EXPECT_EQ(boxes[0].text, "Renew your license by June 30.\nOffice closed July 4.");
    EXPECT_TRUE(Log().contains("Office closed July 4."));
}

TEST_F(AppSession, ProtocolFailureIsLoggedThenShownAfterTheDisconnection)
{
    TTestServerConfig config;
    config.malformedFrame = "opcode";
    StartServer(config);
    Start();
    PointAt(server->Port());
    AddByWindow("0012345", "secret");
    ASSERT_TRUE(WaitForEnd());
    const QStringList log = Log();
    const int failed = int(log.indexOf("Invalid OpCode"));
    ASSERT_GE(failed, 0) << log.join(" | ").toStdString();
    EXPECT_EQ(log.mid(failed), QStringList({"Invalid OpCode", "Disconnected.", "Done."}));
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].text, "Invalid OpCode");
    EXPECT_EQ(boxes[0].kind, TMsgKind::Error);
}

} // namespace
} // namespace pm::test

namespace pm::test {
namespace {

class AppOrganizationData : public AppFixture {
protected:
    TServerSessionForm& Session() { return *shell->ServerSessionForm; }
    QStringList Log() { return Session().Memo->toPlainText().split('\n'); }
};

QByteArray Body(const TAdtgRecordset& rs)
{
    QByteArray data;
    QString error;
    EXPECT_TRUE(WriteAdtg(rs, data, error)) << error.toStdString();
    return DeflateRaw(data);
}

TEST_F(AppOrganizationData, OnlyFieldsBothSidesHaveAreCopied)
{
    AddOrganization("1001", "Alpha Bingo Club");
    {
        TConnection c;
        c.Open(dir.filePath("Pellmark.db"));
        c.ExecRaw("UPDATE Organizations SET Email = 'keep@example.org', RASPassword = 'x'");
    }
    Start();
    TAdtgRecordset rs;
    rs.tableName = "Organizations";
    rs.columns = {AdtgColumn("fullname", TAdtgKind::Text, 35), AdtgColumn("FileNumber", TAdtgKind::Text, 10),
                  AdtgColumn("Mon", TAdtgKind::YesNo), AdtgColumn("Unknown", TAdtgKind::Long),
                  AdtgColumn("MailingState", TAdtgKind::Text, 20)};
    rs.rows = {{QString("Renamed Club"), QString("7777"), true, int64_t(5), QString("TOO LONG FOR TWO")}};
    Session().UpdateOrganization(Body(rs));
    TDataSet& org = Data().OrgQuery;
    EXPECT_EQ(org.FieldByName("FullName").AsString(), "Renamed Club");
    EXPECT_TRUE(org.FieldByName("Mon").AsBoolean());
    EXPECT_EQ(org.FieldByName("FileNumber").AsString(), "1001");
    EXPECT_EQ(org.FieldByName("RASPassword").AsString(), "x");
    EXPECT_EQ(org.FieldByName("Email").AsString(), "keep@example.org");
    // A value the local column refuses is skipped; the rest still lands.
    EXPECT_EQ(org.FieldByName("MailingState").AsString(), "");
    EXPECT_EQ(Log().back(), "Updating organization data...");
    EXPECT_TRUE(boxes.empty());
    EXPECT_FALSE(QFile::exists(dir.filePath("Orginfo.ADT")));
}

TEST_F(AppOrganizationData, UnreadableDataIsReportedAndItsFileKept)
{
    AddOrganization("1001", "Alpha Bingo Club");
    Start();
    Session().UpdateOrganization(DeflateRaw("not a recordset"));
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].kind, TMsgKind::Error);
    EXPECT_TRUE(QFile::exists(dir.filePath("Orginfo.ADT")));
    EXPECT_EQ(Data().OrgQuery.FieldByName("FullName").AsString(), "Alpha Bingo Club");
    EXPECT_EQ(Data().OrgQuery.State(), TDataSetState::Browse);
    // Nothing inflated: nothing happens.
    boxes.clear();
    Session().UpdateOrganization(DeflateRaw(QByteArray()));
    EXPECT_TRUE(boxes.empty());
}

} // namespace
} // namespace pm::test
