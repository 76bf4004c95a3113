// The client's codec against the department test server over loopback:
// login, organization data, report filing, voucher download, approve and
// pay, notices, and the server's misbehaviour options.

#include "session/adtg.h"
#include "session/protocol.h"
#include "session/receiverlink.h"
#include "session/voucherrecord.h"
#include "testserver.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QProcess>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QTimer>

#include <functional>

using namespace pm;

namespace {

QCoreApplication* App()
{
    static int argc = 1;
    static char name[] = "SessionEndToEnd";
    static char* argv[] = {name, nullptr};
    static QCoreApplication* app = QCoreApplication::instance() ? QCoreApplication::instance()
                                                                 : new QCoreApplication(argc, argv);
    return app;
}

// What one session brought back to the client.
struct Session {
    QStringList texts;
    QStringList notices;
    std::vector<std::pair<quint16, QByteArray>> streams;   // inflated bodies
    QString failure;
    QStringList cipherErrors;
    bool ended = false;        // rtEnd or rtClose arrived
    bool disconnected = false;
};

// Connects, sends what `send` sends right after the connection is made (as
// the client does: everything at once), and collects the answers until the
// connection is gone.
Session RunSession(quint16 port, const std::function<void(QTcpSocket&, const TCipherKey&)>& send)
{
    App();
    Session s;
    QTcpSocket socket;
    TReceiverLink link(&socket, TMessageReceiver::Role::Client);
    const TCipherKey key = DeriveKey();
    QObject::connect(&link, &TReceiverLink::messageReceived, [&](quint16 type, const QByteArray& p) {
        (type == rtNotice ? s.notices : s.texts) << ParseTextPayload(p);
    });
    QObject::connect(&link, &TReceiverLink::streamReceived, [&](quint16 type, const QByteArray& body) {
        s.streams.emplace_back(type, InflateRaw(body));
    });
    QObject::connect(&link, &TReceiverLink::closeRequested, [&](quint16) {
        s.ended = true;
        socket.close();
    });
    QObject::connect(&link, &TReceiverLink::sessionFailed, [&](const QString& text) { s.failure = text; });
    QObject::connect(&link, &TReceiverLink::cipherFailed, [&](const QString& text) { s.cipherErrors << text; });
    QObject::connect(&socket, &QTcpSocket::connected, [&] { send(socket, key); });
    QObject::connect(&socket, &QTcpSocket::disconnected, [&] { s.disconnected = true; });
    QObject::connect(&socket, &QTcpSocket::errorOccurred, [&](QAbstractSocket::SocketError) {
        if (socket.state() == QAbstractSocket::UnconnectedState)
            s.disconnected = true;
    });
    socket.connectToHost(QHostAddress::LocalHost, port);
    QElapsedTimer timer;
    timer.start();
    while (!s.disconnected && !s.ended && s.failure.isEmpty() && timer.elapsed() < 10000)
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 50);
    // Let the server see the end of the connection too.
    socket.close();
    for (int i = 0; i < 5; ++i)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    return s;
}

void Login(QTcpSocket& socket, const TCipherKey& key, const QString& file = "0012345",
           const QString& password = "secret")
{
    ASSERT_TRUE(SendMessage(socket, rtLogin, LoginPayload(file, password), key));
}

void End(QTcpSocket& socket, const TCipherKey& key)
{
    SendMessage(socket, rtEnd, QByteArray(), key);
}

const char* kConfig = R"({
  "organizations": [
    { "fileNumber": "0012345", "password": "secret",
      "orgData": { "FullName": "St. Mary's Bingo", "MailingCity": "Springfield", "Sun": true,
                   "Mon": false, "RASPassword": "fromserver", "AllowEFW": true, "Extra": "x" },
      "notices": ["Office closed Monday.", "Second notice."],
      "vouchers": [
        { "DORVoucherID": 501, "VoucherNumber": 42, "VoucherStatus": "N", "TaxRate": "0.035",
          "TaxAmount": "80", "IssueDate": "2026-01-05", "DueDate": "2026-01-20T12:30:00",
          "OrgName": "St. Mary's Bingo", "BookletFaces": 18, "LooseFaces": 6,
          "details": [ { "DORDetailID": 9001, "UpCount": 6, "OnCount": 3, "Price": "0.50",
                         "Color": "Q", "Style": "B", "Series": 77, "Serial": "A1" },
                       { "DORDetailID": 9002, "UpCount": 1, "OnCount": 99, "Price": 0.25 } ] },
        { "DORVoucherID": 502, "VoucherNumber": 43, "VoucherStatus": "A", "TaxAmount": 12.5 } ] },
    { "fileNumber": "999", "password": "pw" } ] })";

std::unique_ptr<TDorTestServer> StartServer(const QString& output, const std::function<void(TTestServerConfig&)>& adjust = {})
{
    App();
    TTestServerConfig config;
    QString error;
    EXPECT_TRUE(TTestServerConfig::Parse(kConfig, config, error)) << error.toStdString();
    config.outputFolder = output;
    if (adjust)
        adjust(config);
    auto server = std::make_unique<TDorTestServer>(config);
    EXPECT_TRUE(server->Listen(0, error)) << error.toStdString();
    return server;
}

// ---- the four report recordsets with the columns of the local tables

struct ColumnSpec {
    QString name;
    TAdtgKind kind;
    uint32_t size;
};

std::vector<ColumnSpec> Columns(const QString& spec)
{
    // "Name:T10 Name:C ..." with A AutoNumber, L Long, C Currency, D Date/Time,
    // B Yes/No, M Memo, T<n> Text(n), X Decimal(8,4).
    std::vector<ColumnSpec> out;
    for (const QString& token : spec.split(' ', Qt::SkipEmptyParts)) {
        const QString name = token.section(':', 0, 0);
        const QString k = token.section(':', 1, 1);
        ColumnSpec c{name, TAdtgKind::Text, 0};
        switch (k[0].toLatin1()) {
        case 'A': c.kind = TAdtgKind::AutoNumber; break;
        case 'L': c.kind = TAdtgKind::Long; break;
        case 'C': c.kind = TAdtgKind::Currency; break;
        case 'D': c.kind = TAdtgKind::DateTime; break;
        case 'B': c.kind = TAdtgKind::YesNo; break;
        case 'M': c.kind = TAdtgKind::Memo; break;
        case 'X': c.kind = TAdtgKind::Decimal; break;
        default: c.kind = TAdtgKind::Text; c.size = k.mid(1).toUInt(); break;
        }
        out.push_back(c);
    }
    return out;
}

QString Series(const QString& stem, int from, int to, const QString& kind)
{
    QString s;
    for (int i = from; i <= to; ++i)
        s += QStringLiteral(" %1%2:%3").arg(stem).arg(i).arg(kind);
    return s;
}

QString QuarterlyReportsSpec()
{
    QString s = "QRID:A OrgID:T10 Period:D eFiled:B DateFiled:D DLN:T12 ModifiedBy:T15 FullName:T35 "
                "MailingAddr:T35 MailingCity:T20 MailingState:T2 MailingZip:T10 LocationAddr:T35 "
                "LocationCity:T20 LocationState:T2 LocationZip:T10 Signed:T35 Title:T35 GrossSales:C";
    for (const char* c : {"EntranceFees", "GrossIncome", "Payouts", "GrossProceeds", "Withholding", "NetLosses",
                          "IncomeAdditions", "BankDeposits", "TaxPaid", "Supplies", "BldgLease", "EqptLease",
                          "Utilities", "PromoterFees", "Payroll", "OtherExpenses", "TotalExpenses", "NetProceeds",
                          "BankBegin", "Deposits", "DepositsInTransit", "OtherDeposit1", "OtherDeposit2",
                          "BankCredits", "FundsAvailable", "ChecksCleared", "ChecksOutstanding", "OtherDebit1",
                          "OtherDebit2", "OtherDebit3", "BankDebits", "BankEnd", "APEnd", "APBegin", "APNet",
                          "ExcessProceeds"})
        s += QStringLiteral(" %1:C").arg(c);
    s += " DepositDesc1:T30 DepositDesc2:T30 DebitDesc1:T30 DebitDesc2:T30 DebitDesc3:T30";
    s += " InvBegin:C Purchases:C InvAvailable:C InvReturned:C InvAdj1:C InvAdj2:C InvAdjDesc1:T35 InvAdjDesc2:T35";
    s += " InvAdjustments:C AvailableForSale:C InvEnd:C TotalSales:C Difference:C LastVoucherDate:D";
    s += " LastVoucherNum:L LastVoucherAmount:C Explanation:M ModifedOn:D DORNotes:M Shortages:C";
    s += " ProfitPaid:C TEDExpense:C PayrollTaxes:C ProfessionalFees:C Advertising:C ServiceCharges:C Maintenance:C";
    s += Series("EPDate", 1, 3, "D") + Series("EPGross", 1, 3, "C") + Series("EPPrize", 1, 3, "C");
    s += Series("OEAmount", 1, 9, "C") + Series("OEDescription", 1, 9, "T45");
    s += " LoansBeg:C LoansEnd:C LoansNet:C";
    return s;
}

TAdtgValue SampleValue(const ColumnSpec& c, int row, int col)
{
    if ((row + col) % 11 == 5 && c.kind != TAdtgKind::AutoNumber)
        return std::monostate{};
    switch (c.kind) {
    case TAdtgKind::AutoNumber: return int64_t(row + 7);
    case TAdtgKind::Long: return int64_t(c.name == "QRID" ? 7 : row * 1000 - col);
    case TAdtgKind::Currency: return Currency::FromUnits(int64_t(col) * 123457 - 5000000 + row);
    case TAdtgKind::DateTime: return 46000.0 + col + row / 4.0;
    case TAdtgKind::YesNo: return bool((row + col) % 2);
    case TAdtgKind::Memo: return QString::fromUtf8("Line one\nline two\twith tab, é € \\ %1").arg(row);
    case TAdtgKind::Decimal: return TAdtgDecimal::FromUnits(350 + row, 4);
    default: {
        QString t = QString::fromUtf8("é%1-%2 text").arg(row).arg(col);
        return t.left(int(c.size));
    }
    }
}

TAdtgRecordset Recordset(const QString& table, const QString& spec, int rows)
{
    TAdtgRecordset rs;
    rs.tableName = table;
    const auto cols = Columns(spec);
    for (const ColumnSpec& c : cols)
        rs.columns.push_back(c.kind == TAdtgKind::Decimal ? AdtgDecimalColumn(c.name, 8, 4)
                                                          : AdtgColumn(c.name, c.kind, c.size));
    for (int r = 0; r < rows; ++r) {
        TAdtgRow row;
        for (size_t i = 0; i < cols.size(); ++i)
            row.push_back(SampleValue(cols[i], r, int(i)));
        rs.rows.push_back(row);
    }
    return rs;
}

std::vector<std::pair<uint16_t, TAdtgRecordset>> ReportRecordsets()
{
    return {
        {rtReportHeader, Recordset("QuarterlyReports", QuarterlyReportsSpec(), 1)},
        {rtReportCash, Recordset("QRCashDetail",
                                 "DetailID:A QRID:L SessionDate:D PlayerCount:C EntranceFees:C GrossSales:C "
                                 "PrizePayout:C NetProfit:C NetLoss:C Withholding:C Shortage:C Deposit:C "
                                 "ExcessProceeds:C PaperSales:C TEDSales:C CashDeposit:C CreditDeposit:C", 13)},
        // A report without Schedule C rows still sends the recordset with its columns.
        {rtReportInventory, Recordset("QRInventoryDetail",
                                      "InventoryID:A QRID:L FacesOn:L FacesUp:L Serial:T12 SheetCount:L "
                                      "SheetValue:C TotalValue:C", 0)},
        {rtReportPrizes, Recordset("QRPrizeDetail",
                                   "PrizeID:A QRID:L SessionDate:D WinnerName:T35 WinnerSSN:T4 Amount:C "
                                   "Withholding:C DateSubmitted:D", 3)},
    };
}

} // namespace

TEST(SessionEndToEnd, RefusedLogin)
{
    QTemporaryDir dir;
    auto server = StartServer(dir.path());
    const Session s = RunSession(server->Port(), [](QTcpSocket& socket, const TCipherKey& key) {
        Login(socket, key, "0012345", "wrong");
        SendMessage(socket, rtGetVouchers, QByteArray(), key);
        End(socket, key);
    });
    EXPECT_EQ(s.texts, QStringList{"Incorrect login attempt. (IP address logged)"});
    EXPECT_TRUE(s.streams.empty());
    EXPECT_TRUE(s.ended);
    EXPECT_TRUE(s.failure.isEmpty());
}

TEST(SessionEndToEnd, LoginSendsOrganizationDataAndNotices)
{
    QTemporaryDir dir;
    auto server = StartServer(dir.path());
    const Session s = RunSession(server->Port(), [](QTcpSocket& socket, const TCipherKey& key) {
        Login(socket, key);
        End(socket, key);
    });
    EXPECT_TRUE(s.ended);
    EXPECT_EQ(s.notices, (QStringList{"Office closed Monday.", "Second notice."}));
    ASSERT_EQ(s.streams.size(), 1u);
    EXPECT_EQ(s.streams[0].first, rtOrgData);
    TAdtgRecordset org;
    QString error;
    ASSERT_TRUE(ReadAdtg(s.streams[0].second, org, error)) << error.toStdString();
    ASSERT_EQ(org.rows.size(), 1u);
    EXPECT_EQ(std::get<QString>(org.Value(0, "FileNumber")), "0012345");
    EXPECT_EQ(std::get<QString>(org.Value(0, "FullName")), "St. Mary's Bingo");
    EXPECT_EQ(std::get<bool>(org.Value(0, "Sun")), true);
    EXPECT_EQ(std::get<bool>(org.Value(0, "Mon")), false);
    EXPECT_TRUE(IsNull(org.Value(0, "Tue")));
    EXPECT_EQ(std::get<QString>(org.Value(0, "Extra")), "x");
    EXPECT_EQ(org.columns.at(0).name, "FileNumber");
}

TEST(SessionEndToEnd, ReportFilingIsReadBackColumnByColumn)
{
    QTemporaryDir dir;
    auto server = StartServer(dir.path());
    const auto sent = ReportRecordsets();
    const Session s = RunSession(server->Port(), [&](QTcpSocket& socket, const TCipherKey& key) {
        Login(socket, key);
        for (const auto& [type, rs] : sent) {
            QString error;
            QByteArray adtg;
            ASSERT_TRUE(WriteAdtg(rs, adtg, error)) << error.toStdString();
            ASSERT_TRUE(SendStream(socket, type, adtg, key));
        }
        End(socket, key);
    });
    EXPECT_TRUE(s.failure.isEmpty()) << s.failure.toStdString();
    ASSERT_TRUE(s.texts.contains("Quarterly Report received successfully!")) << s.texts.join('|').toStdString();
    ASSERT_EQ(server->Reports().size(), 1u);
    const TReceivedReport& report = server->Reports()[0];
    EXPECT_TRUE(report.errors.isEmpty()) << report.errors.join('|').toStdString();
    EXPECT_TRUE(report.folder.endsWith("0012345/QR7")) << report.folder.toStdString();

    for (const auto& [type, rs] : sent) {
        // The file the server wrote holds every column of every row.
        QFile f(QDir(report.folder).filePath(rs.tableName + ".txt"));
        ASSERT_TRUE(f.open(QIODevice::ReadOnly)) << f.fileName().toStdString();
        const QStringList lines = QString::fromUtf8(f.readAll()).split('\n');
        ASSERT_EQ(lines.size(), qsizetype(rs.rows.size()) + 3) << rs.tableName.toStdString();
        EXPECT_EQ(lines[0], rs.tableName);
        const QStringList heads = lines[1].split('\t');
        ASSERT_EQ(heads.size(), qsizetype(rs.columns.size())) << rs.tableName.toStdString();
        const TAdtgRecordset& got = report.recordsets.at(type);
        ASSERT_EQ(got.columns.size(), rs.columns.size());
        for (size_t c = 0; c < rs.columns.size(); ++c) {
            EXPECT_EQ(heads[qsizetype(c)].section(':', 0, 0), rs.columns[c].name);
            EXPECT_EQ(got.columns[c].name, rs.columns[c].name);
            EXPECT_EQ(got.columns[c].kind, rs.columns[c].kind) << rs.columns[c].name.toStdString();
            EXPECT_EQ(got.columns[c].size, rs.columns[c].size) << rs.columns[c].name.toStdString();
        }
        for (size_t r = 0; r < rs.rows.size(); ++r) {
            const QStringList cells = lines[qsizetype(r) + 2].split('\t');
            ASSERT_EQ(cells.size(), qsizetype(rs.columns.size()));
            for (size_t c = 0; c < rs.columns.size(); ++c) {
                const QString expected = AdtgValueText(rs.rows[r][c], rs.columns[c].kind);
                EXPECT_EQ(cells[qsizetype(c)], expected)
                    << rs.tableName.toStdString() << " row " << r << " " << rs.columns[c].name.toStdString();
                EXPECT_EQ(AdtgValueText(got.rows[r][c], got.columns[c].kind), expected);
            }
        }
    }
}

TEST(SessionEndToEnd, IncompleteFilingIsNotConfirmed)
{
    QTemporaryDir dir;
    auto server = StartServer(dir.path());
    const auto sent = ReportRecordsets();
    const Session s = RunSession(server->Port(), [&](QTcpSocket& socket, const TCipherKey& key) {
        Login(socket, key);
        SendStream(socket, sent[0].first, WriteAdtg(sent[0].second), key);
        SendStream(socket, rtReportCash, "not a recordset", key);
        End(socket, key);
    });
    EXPECT_FALSE(s.texts.contains("Quarterly Report received successfully!"));
    ASSERT_EQ(server->Reports().size(), 1u);
    EXPECT_EQ(server->Reports()[0].errors.size(), 1);
    EXPECT_TRUE(server->Reports()[0].folder.isEmpty());
}

TEST(SessionEndToEnd, VoucherDownloadApproveAndPay)
{
    QTemporaryDir dir;
    auto server = StartServer(dir.path());
    auto vouchersOf = [](const Session& s) {
        for (const auto& [type, body] : s.streams)
            if (type == rtVoucherData)
                return ReadVoucherStream(body);
        return TVoucherStreamResult{};
    };

    const Session check = RunSession(server->Port(), [](QTcpSocket& socket, const TCipherKey& key) {
        Login(socket, key);
        SendMessage(socket, rtGetVouchers, QByteArray(), key);
        End(socket, key);
    });
    TVoucherStreamResult got = vouchersOf(check);
    EXPECT_TRUE(got.error.isEmpty());
    ASSERT_EQ(got.vouchers.size(), 2u);
    EXPECT_EQ(got.vouchers[0], server->Config().organizations[0].vouchers[0]);
    EXPECT_EQ(got.vouchers[0].TaxRate.Units(), 350);
    EXPECT_EQ(got.vouchers[0].TaxAmount.Units(), 800000);
    ASSERT_EQ(got.vouchers[0].details.size(), 2u);
    EXPECT_EQ(got.vouchers[0].details[1].OnCount, 99);
    EXPECT_EQ(got.vouchers[0].details[1].Price.Units(), 2500);
    EXPECT_TRUE(got.vouchers[1].details.empty());

    // Approve 501 (new), pay 502 (approved), then approve 502 again and an
    // unknown one; each transaction ends with a fresh download.
    const Session act = RunSession(server->Port(), [](QTcpSocket& socket, const TCipherKey& key) {
        Login(socket, key);
        SendMessage(socket, rtApproveVoucher, VoucherRequestPayload(501), key);
        SendMessage(socket, rtPayVoucher, VoucherRequestPayload(502), key);
        SendMessage(socket, rtApproveVoucher, VoucherRequestPayload(502), key);
        SendMessage(socket, rtPayVoucher, VoucherRequestPayload(777), key);
        SendMessage(socket, rtGetVouchers, QByteArray(), key);
        End(socket, key);
    });
    EXPECT_EQ(act.texts, (QStringList{"Voucher 42 approved.", "Payment for voucher 43 accepted.",
                                      "Illegal voucher status", "Unknown voucher number"}));
    got = vouchersOf(act);
    ASSERT_EQ(got.vouchers.size(), 2u);
    EXPECT_EQ(got.vouchers[0].VoucherStatus, "A");
    EXPECT_EQ(got.vouchers[1].VoucherStatus, "I");
}

TEST(SessionEndToEnd, MisbehavingServer)
{
    struct Case {
        const char* mode;
        const char* failure;
        const char* cipherError;
    };
    const Case cases[] = {
        {"opcode", "Invalid OpCode", ""},
        {"length", "Error", ""},
        {"streamsize", "Incorrect message size", ""},
        {"textsize", "Error", ""},
        {"base64", "", "Invalid Base64 Character"},
    };
    for (const Case& c : cases) {
        QTemporaryDir dir;
        auto server = StartServer(dir.path(), [&](TTestServerConfig& config) { config.malformedFrame = c.mode; });
        const Session s = RunSession(server->Port(), [](QTcpSocket& socket, const TCipherKey& key) {
            Login(socket, key);
            End(socket, key);
        });
        EXPECT_EQ(s.failure, c.failure) << c.mode;
        EXPECT_EQ(s.cipherErrors.join('|'), c.cipherError) << c.mode;
    }

    // Closing after a few bytes: the client sees the connection go without rtEnd.
    {
        QTemporaryDir dir;
        auto server = StartServer(dir.path(), [](TTestServerConfig& config) { config.closeAfterBytes = 30; });
        const Session s = RunSession(server->Port(), [](QTcpSocket& socket, const TCipherKey& key) {
            Login(socket, key);
            End(socket, key);
        });
        EXPECT_TRUE(s.disconnected);
        EXPECT_FALSE(s.ended);
        EXPECT_TRUE(s.streams.empty());
        EXPECT_TRUE(s.failure.isEmpty());
    }
    // A slow server still completes the session.
    {
        QTemporaryDir dir;
        auto server = StartServer(dir.path(), [](TTestServerConfig& config) { config.delayMs = 150; });
        QElapsedTimer timer;
        timer.start();
        const Session s = RunSession(server->Port(), [](QTcpSocket& socket, const TCipherKey& key) {
            Login(socket, key);
            End(socket, key);
        });
        EXPECT_GE(timer.elapsed(), 150);
        EXPECT_TRUE(s.ended);
        EXPECT_EQ(s.streams.size(), 1u);
        EXPECT_EQ(s.notices.size(), 2);
    }
}

TEST(SessionEndToEnd, ServerProgramReadsItsConfigurationFile)
{
    App();
    QTemporaryDir dir;
    const QString configPath = dir.filePath("server.json");
    {
        QFile f(configPath);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(kConfig);
    }
    QProcess program;
    program.start(QDir(qEnvironmentVariable("PM_BIN_DIR", QCoreApplication::applicationDirPath())).filePath("dortestserver"),
                  {"--config", configPath, "--port", "0", "--output", dir.filePath("out"), "--once"});
    ASSERT_TRUE(program.waitForStarted(5000));
    ASSERT_TRUE(program.waitForReadyRead(5000));
    const QString line = QString::fromUtf8(program.readLine()).trimmed();
    ASSERT_TRUE(line.startsWith("listening on 127.0.0.1:")) << line.toStdString();
    const quint16 port = quint16(line.section(':', -1).toUInt());
    const Session s = RunSession(port, [](QTcpSocket& socket, const TCipherKey& key) {
        Login(socket, key, "999", "pw");
        End(socket, key);
    });
    EXPECT_TRUE(s.ended);
    ASSERT_EQ(s.streams.size(), 1u);
    EXPECT_EQ(s.streams[0].first, rtOrgData);
    // --once: the program ends after the session.
    if (program.state() != QProcess::NotRunning) {
        EXPECT_TRUE(program.waitForFinished(5000));
    }
    EXPECT_EQ(program.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(program.exitCode(), 0);

    // A broken configuration is refused with a message.
    QFile bad(dir.filePath("bad.json"));
    ASSERT_TRUE(bad.open(QIODevice::WriteOnly));
    bad.write("{ \"organizations\": [ { \"password\": \"x\" } ] }");
    bad.close();
    QProcess refused;
    refused.start(program.program(), {"--config", bad.fileName()});
    ASSERT_TRUE(refused.waitForFinished(5000));
    EXPECT_EQ(refused.exitCode(), 2);
    EXPECT_TRUE(refused.readAllStandardError().contains("without fileNumber"));
}
