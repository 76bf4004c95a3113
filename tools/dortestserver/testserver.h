#pragma once
// The department test server: plays the department's side of the protocol on
// a loopback port, for the end-to-end tests and for trying the client
// without the department. Built on the same codec as the client.
//
// Configuration (JSON, see README.md beside this file):
//   {
//     "port": 0,                        0: any free port
//     "outputFolder": "received",       filed reports are written below it
//     "delayMs": 0,                     every answer goes out this much later
//     "closeAfterBytes": -1,            close each connection after sending this many bytes
//     "malformedFrame": "",             "opcode", "length", "streamsize", "textsize", "base64":
//                                       one broken frame right after a good login
//     "encrypt": true,
//     "organizations": [
//       { "fileNumber": "0012345", "password": "secret",
//         "orgData": { "FullName": "...", "Sun": true, ... },   the registration record
//         "notices": ["..."],                                  sent as rtNotice before rtEnd
//         "texts": ["..."],                                    sent as rtText after the login
//         "vouchers": [ { "DORVoucherID": 1, "VoucherNumber": 42, "TaxRate": "0.035",
//                         "IssueDate": "2026-01-05", ..., "details": [ {...} ] } ] } ] }

#include "session/adtg.h"
#include "session/protocol.h"
#include "session/voucherrecord.h"

#include <QHostAddress>
#include <QJsonObject>
#include <QObject>
#include <QStringList>

#include <map>
#include <memory>
#include <vector>

class QTcpServer;
class QTcpSocket;

namespace pm {

struct TTestOrganization {
    QString fileNumber;
    QString password;
    QJsonObject orgData;               // columns of the registration record
    QStringList notices;
    QStringList texts;
    std::vector<TVoucherRecord> vouchers;
};

struct TTestServerConfig {
    quint16 port = 0;
    QString outputFolder = QStringLiteral("received");
    int delayMs = 0;
    qint64 closeAfterBytes = -1;
    QString malformedFrame;
    bool encrypt = true;
    std::vector<TTestOrganization> organizations;

    static bool Parse(const QByteArray& json, TTestServerConfig& config, QString& error);
    static bool Load(const QString& path, TTestServerConfig& config, QString& error);
};

// Voucher records from and to their JSON form (field names as in the record).
bool VoucherFromJson(const QJsonObject& object, TVoucherRecord& voucher, QString& error);
QJsonObject VoucherToJson(const TVoucherRecord& voucher);

// The organization's registration record as a recordset with the columns of
// the Organizations table (FileNumber first) and any further keys of orgData.
TAdtgRecordset OrganizationRecordset(const TTestOrganization& org);

// A recordset as a readable text: a line with the table name, a line of
// "name:kind" column heads, then one line per row; values separated by tabs,
// NULL as \N, tabs, line breaks and backslashes escaped.
QString RecordsetText(const TAdtgRecordset& recordset);
QString AdtgValueText(const TAdtgValue& value, TAdtgKind kind);

// One report filing as received.
struct TReceivedReport {
    QString fileNumber;
    std::map<uint16_t, TAdtgRecordset> recordsets;   // by stream type
    QStringList errors;                              // streams that did not read
    QString folder;                                  // where its files went
};

class TDorTestServer : public QObject {
    Q_OBJECT
public:
    explicit TDorTestServer(TTestServerConfig config, QObject* parent = nullptr);
    ~TDorTestServer() override;

    // Listens on 127.0.0.1 only; port 0 picks a free one.
    bool Listen(quint16 port, QString& error);
    quint16 Port() const;

    TTestServerConfig& Config() { return config_; }
    const std::vector<TReceivedReport>& Reports() const { return reports_; }
    const QStringList& Log() const { return log_; }

Q_SIGNALS:
    void logLine(const QString& line);
    // A connection has ended (either side closed it).
    void sessionEnded();

private:
    class Connection;
    friend class Connection;
    void AddLog(const QString& line);
    TTestOrganization* FindOrganization(const QString& fileNumber);
    QString WriteReport(TReceivedReport& report);

    TTestServerConfig config_;
    QTcpServer* server_ = nullptr;
    std::vector<TReceivedReport> reports_;
    QStringList log_;
    int reportCount_ = 0;
};

} // namespace pm
