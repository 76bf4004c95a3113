#include "testserver.h"

#include "components/datetime.h"
#include "session/receiverlink.h"

#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QPointer>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTimer>

#include <cmath>

namespace pm {

namespace {

const char* const kLoginRefused = kLoginRefusedText;
const char* const kReportReceived = kReportReceivedText;

// The four report streams and the tables they carry.
const std::pair<uint16_t, const char*> kReportStreams[] = {
    {rtReportHeader, "QuarterlyReports"},
    {rtReportCash, "QRCashDetail"},
    {rtReportInventory, "QRInventoryDetail"},
    {rtReportPrizes, "QRPrizeDetail"},
};

const char* ReportTable(uint16_t type)
{
    for (const auto& [t, name] : kReportStreams)
        if (t == type)
            return name;
    return nullptr;
}

struct VoucherText {
    const char* name;
    QString TVoucherRecord::*member;
};
const VoucherText kVoucherTexts[] = {
    {"OrgID", &TVoucherRecord::OrgID}, {"DistributorID", &TVoucherRecord::DistributorID},
    {"PromoterID", &TVoucherRecord::PromoterID}, {"BuyerName", &TVoucherRecord::BuyerName},
    {"BuyerID", &TVoucherRecord::BuyerID}, {"VoucherStatus", &TVoucherRecord::VoucherStatus},
    {"IssuedBy", &TVoucherRecord::IssuedBy}, {"DistName", &TVoucherRecord::DistName},
    {"OrgName", &TVoucherRecord::OrgName}, {"OrgMailingAddr", &TVoucherRecord::OrgMailingAddr},
    {"OrgMailingCity", &TVoucherRecord::OrgMailingCity}, {"OrgMailingState", &TVoucherRecord::OrgMailingState},
    {"OrgMailingZip", &TVoucherRecord::OrgMailingZip}, {"PromoterName", &TVoucherRecord::PromoterName},
    {"ProMailingAddr", &TVoucherRecord::ProMailingAddr}, {"ProMailingCity", &TVoucherRecord::ProMailingCity},
    {"ProMailingState", &TVoucherRecord::ProMailingState}, {"ProMailingZip", &TVoucherRecord::ProMailingZip},
    {"LocationAddr", &TVoucherRecord::LocationAddr}, {"LocationCity", &TVoucherRecord::LocationCity},
    {"LocationState", &TVoucherRecord::LocationState}, {"LocationZip", &TVoucherRecord::LocationZip},
    {"DORNotes", &TVoucherRecord::DORNotes}, {"ShippingNotes", &TVoucherRecord::ShippingNotes},
    {"ClassID", &TVoucherRecord::ClassID}, {"ColorRotation", &TVoucherRecord::ColorRotation},
};

struct VoucherInt {
    const char* name;
    int32_t TVoucherRecord::*member;
};
const VoucherInt kVoucherInts[] = {
    {"DORVoucherID", &TVoucherRecord::DORVoucherID}, {"VoucherNumber", &TVoucherRecord::VoucherNumber},
    {"TotalFaces", &TVoucherRecord::TotalFaces}, {"TotalSheets", &TVoucherRecord::TotalSheets},
    {"District", &TVoucherRecord::District}, {"BookletFaces", &TVoucherRecord::BookletFaces},
    {"LooseFaces", &TVoucherRecord::LooseFaces},
};

bool ReadDate(const QJsonValue& v, TDateTime& out)
{
    if (v.isUndefined() || v.isNull()) {
        out = 0;
        return true;
    }
    if (v.isDouble()) {
        out = v.toDouble();
        return std::isfinite(out);
    }
    const QString text = v.toString();
    QDateTime dt = QDateTime::fromString(text, Qt::ISODateWithMs);
    if (!dt.isValid()) {
        const QDate d = QDate::fromString(text, Qt::ISODate);
        if (!d.isValid())
            return false;
        dt = QDateTime(d, QTime(0, 0));
    }
    out = FromQDateTime(dt);
    return true;
}

bool ReadMoney(const QJsonValue& v, Currency& out)
{
    if (v.isUndefined() || v.isNull()) {
        out = Currency();
        return true;
    }
    if (v.isDouble()) {
        const auto c = Currency::FromDouble(v.toDouble());
        if (!c)
            return false;
        out = *c;
        return true;
    }
    const auto c = Currency::Parse(v.toString());
    if (!c)
        return false;
    out = *c;
    return true;
}

bool ReadInt(const QJsonValue& v, int32_t& out)
{
    if (v.isUndefined() || v.isNull()) {
        out = 0;
        return true;
    }
    if (!v.isDouble())
        return false;
    const double d = v.toDouble();
    if (d != std::floor(d) || d < -2147483648.0 || d > 2147483647.0)
        return false;
    out = int32_t(d);
    return true;
}

QString DateText(TDateTime date)
{
    return ToQDateTime(date).toString(QStringLiteral("yyyy-MM-dd hh:mm:ss.zzz"));
}

QString Escape(const QString& text)
{
    QString out;
    out.reserve(text.size());
    for (QChar c : text) {
        switch (c.unicode()) {
        case '\\': out += QLatin1String("\\\\"); break;
        case '\t': out += QLatin1String("\\t"); break;
        case '\n': out += QLatin1String("\\n"); break;
        case '\r': out += QLatin1String("\\r"); break;
        default: out += c;
        }
    }
    return out;
}

QString KindText(const TAdtgColumn& c)
{
    switch (c.kind) {
    case TAdtgKind::Text: return QStringLiteral("Text(%1)").arg(c.size);
    case TAdtgKind::Memo: return QStringLiteral("Memo");
    case TAdtgKind::Long: return QStringLiteral("Long");
    case TAdtgKind::AutoNumber: return QStringLiteral("AutoNumber");
    case TAdtgKind::Currency: return QStringLiteral("Currency");
    case TAdtgKind::DateTime: return QStringLiteral("DateTime");
    case TAdtgKind::YesNo: return QStringLiteral("YesNo");
    case TAdtgKind::Decimal: return QStringLiteral("Decimal(%1,%2)").arg(c.precision).arg(c.scale);
    case TAdtgKind::AnsiText: return QStringLiteral("AnsiText(%1)").arg(c.size);
    case TAdtgKind::Integer: return QStringLiteral("Integer");
    case TAdtgKind::Single: return QStringLiteral("Single");
    case TAdtgKind::Double: return QStringLiteral("Double");
    case TAdtgKind::Guid: return QStringLiteral("Guid");
    case TAdtgKind::Binary: return QStringLiteral("Binary(%1)").arg(c.size);
    }
    return QStringLiteral("?");
}

} // namespace

// --------------------------------------------------------------- config

bool VoucherFromJson(const QJsonObject& o, TVoucherRecord& voucher, QString& error)
{
    TVoucherRecord v;
    for (const VoucherInt& f : kVoucherInts)
        if (!ReadInt(o.value(f.name), v.*f.member)) {
            error = QStringLiteral("voucher: %1 is not a 32-bit integer").arg(f.name);
            return false;
        }
    for (const VoucherText& f : kVoucherTexts)
        v.*f.member = o.value(f.name).toString();
    if (!o.contains("VoucherStatus"))
        v.VoucherStatus = QStringLiteral("N");
    const std::pair<const char*, TDateTime TVoucherRecord::*> dates[] = {
        {"IssueDate", &TVoucherRecord::IssueDate}, {"DueDate", &TVoucherRecord::DueDate},
        {"IssuedOn", &TVoucherRecord::IssuedOn}};
    for (const auto& [name, member] : dates)
        if (!ReadDate(o.value(name), v.*member)) {
            error = QStringLiteral("voucher %1: %2 is not a date").arg(v.DORVoucherID).arg(name);
            return false;
        }
    const std::pair<const char*, Currency TVoucherRecord::*> money[] = {
        {"VoucherTotal", &TVoucherRecord::VoucherTotal}, {"TaxAmount", &TVoucherRecord::TaxAmount},
        {"TaxRate", &TVoucherRecord::TaxRate}};
    for (const auto& [name, member] : money)
        if (!ReadMoney(o.value(name), v.*member)) {
            error = QStringLiteral("voucher %1: %2 is not an amount").arg(v.DORVoucherID).arg(name);
            return false;
        }
    for (const QJsonValue& dv : o.value("details").toArray()) {
        const QJsonObject d = dv.toObject();
        TVoucherDetailRecord det;
        const std::pair<const char*, int32_t TVoucherDetailRecord::*> ints[] = {
            {"DORDetailID", &TVoucherDetailRecord::DORDetailID}, {"UpCount", &TVoucherDetailRecord::UpCount},
            {"OnCount", &TVoucherDetailRecord::OnCount}, {"Series", &TVoucherDetailRecord::Series}};
        for (const auto& [name, member] : ints)
            if (!ReadInt(d.value(name), det.*member)) {
                error = QStringLiteral("voucher %1: detail %2 is not a 32-bit integer").arg(v.DORVoucherID).arg(name);
                return false;
            }
        if (!ReadMoney(d.value("Price"), det.Price)) {
            error = QStringLiteral("voucher %1: detail Price is not an amount").arg(v.DORVoucherID);
            return false;
        }
        det.Color = d.value("Color").toString();
        det.Style = d.value("Style").toString();
        det.Serial = d.value("Serial").toString();
        v.details.push_back(det);
    }
    voucher = std::move(v);
    return true;
}

QJsonObject VoucherToJson(const TVoucherRecord& v)
{
    QJsonObject o;
    for (const VoucherInt& f : kVoucherInts)
        o.insert(f.name, v.*f.member);
    for (const VoucherText& f : kVoucherTexts)
        o.insert(f.name, v.*f.member);
    o.insert("IssueDate", v.IssueDate);
    o.insert("DueDate", v.DueDate);
    o.insert("IssuedOn", v.IssuedOn);
    o.insert("VoucherTotal", v.VoucherTotal.ToString());
    o.insert("TaxAmount", v.TaxAmount.ToString());
    o.insert("TaxRate", v.TaxRate.ToString());
    QJsonArray details;
    for (const TVoucherDetailRecord& d : v.details) {
        QJsonObject j;
        j.insert("DORDetailID", d.DORDetailID);
        j.insert("UpCount", d.UpCount);
        j.insert("OnCount", d.OnCount);
        j.insert("Price", d.Price.ToString());
        j.insert("Color", d.Color);
        j.insert("Style", d.Style);
        j.insert("Series", d.Series);
        j.insert("Serial", d.Serial);
        details.append(j);
    }
    o.insert("details", details);
    return o;
}

bool TTestServerConfig::Parse(const QByteArray& json, TTestServerConfig& config, QString& error)
{
    QJsonParseError pe;
    const QJsonDocument doc = QJsonDocument::fromJson(json, &pe);
    if (pe.error != QJsonParseError::NoError || !doc.isObject()) {
        error = QStringLiteral("configuration: %1 at offset %2").arg(pe.errorString()).arg(pe.offset);
        return false;
    }
    const QJsonObject root = doc.object();
    TTestServerConfig c;
    const int port = root.value("port").toInt(0);
    if (port < 0 || port > 65535) {
        error = QStringLiteral("configuration: port %1 out of range").arg(port);
        return false;
    }
    c.port = quint16(port);
    c.outputFolder = root.value("outputFolder").toString(c.outputFolder);
    c.delayMs = std::max(0, root.value("delayMs").toInt(0));
    c.closeAfterBytes = qint64(root.value("closeAfterBytes").toDouble(-1));
    c.malformedFrame = root.value("malformedFrame").toString();
    static const QStringList kMalformed = {"", "opcode", "length", "streamsize", "textsize", "base64"};
    if (!kMalformed.contains(c.malformedFrame)) {
        error = QStringLiteral("configuration: unknown malformedFrame \"%1\"").arg(c.malformedFrame);
        return false;
    }
    c.encrypt = root.value("encrypt").toBool(true);
    for (const QJsonValue& ov : root.value("organizations").toArray()) {
        const QJsonObject o = ov.toObject();
        TTestOrganization org;
        org.fileNumber = o.value("fileNumber").toString();
        org.password = o.value("password").toString();
        if (org.fileNumber.isEmpty()) {
            error = QStringLiteral("configuration: an organization without fileNumber");
            return false;
        }
        org.orgData = o.value("orgData").toObject();
        for (const QJsonValue& n : o.value("notices").toArray())
            org.notices << n.toString();
        for (const QJsonValue& t : o.value("texts").toArray())
            org.texts << t.toString();
        for (const QJsonValue& vv : o.value("vouchers").toArray()) {
            TVoucherRecord v;
            if (!VoucherFromJson(vv.toObject(), v, error)) {
                error = QStringLiteral("configuration: organization %1: %2").arg(org.fileNumber, error);
                return false;
            }
            org.vouchers.push_back(std::move(v));
        }
        c.organizations.push_back(std::move(org));
    }
    config = std::move(c);
    return true;
}

bool TTestServerConfig::Load(const QString& path, TTestServerConfig& config, QString& error)
{
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly)) {
        error = QStringLiteral("configuration: cannot open %1: %2").arg(path, f.errorString());
        return false;
    }
    return Parse(f.readAll(), config, error);
}

// --------------------------------------------------------------- recordsets

TAdtgRecordset OrganizationRecordset(const TTestOrganization& org)
{
    struct Col {
        const char* name;
        TAdtgKind kind;
        uint32_t size;
    };
    static const Col kColumns[] = {
        {"FileNumber", TAdtgKind::Text, 10}, {"FullName", TAdtgKind::Text, 35},
        {"MailingAddr", TAdtgKind::Text, 35}, {"MailingCity", TAdtgKind::Text, 20},
        {"MailingState", TAdtgKind::Text, 2}, {"MailingZip", TAdtgKind::Text, 10},
        {"Sun", TAdtgKind::YesNo, 0}, {"Mon", TAdtgKind::YesNo, 0}, {"Tue", TAdtgKind::YesNo, 0},
        {"Wed", TAdtgKind::YesNo, 0}, {"Thr", TAdtgKind::YesNo, 0}, {"Fri", TAdtgKind::YesNo, 0},
        {"Sat", TAdtgKind::YesNo, 0}, {"Email", TAdtgKind::Text, 35}, {"RASPassword", TAdtgKind::Text, 15},
        {"ClassID", TAdtgKind::Text, 2}, {"AllowEFW", TAdtgKind::YesNo, 0},
    };
    TAdtgRecordset rs;
    rs.tableName = QStringLiteral("Organizations");
    TAdtgRow row;
    QJsonObject rest = org.orgData;
    auto take = [&rest](const QString& name) {
        for (auto it = rest.begin(); it != rest.end(); ++it)
            if (it.key().compare(name, Qt::CaseInsensitive) == 0) {
                const QJsonValue v = it.value();
                rest.erase(it);
                return v;
            }
        return QJsonValue(QJsonValue::Undefined);
    };
    auto value = [](const QJsonValue& v, TAdtgKind kind) -> TAdtgValue {
        if (v.isUndefined() || v.isNull())
            return std::monostate{};
        switch (kind) {
        case TAdtgKind::YesNo: return v.toBool();
        case TAdtgKind::Long: return int64_t(v.toDouble());
        default: return v.isString() ? v.toString() : v.toVariant().toString();
        }
    };
    for (const Col& c : kColumns) {
        rs.columns.push_back(AdtgColumn(c.name, c.kind, c.size));
        QJsonValue v = take(c.name);
        if (QLatin1String(c.name) == QLatin1String("FileNumber") && v.isUndefined())
            v = org.fileNumber;
        row.push_back(value(v, c.kind));
    }
    // Further fields the local table may not have.
    for (auto it = rest.begin(); it != rest.end(); ++it) {
        const QJsonValue v = it.value();
        TAdtgKind kind = TAdtgKind::Memo;
        if (v.isBool())
            kind = TAdtgKind::YesNo;
        else if (v.isDouble())
            kind = TAdtgKind::Long;
        rs.columns.push_back(AdtgColumn(it.key(), kind));
        row.push_back(value(v, kind));
    }
    rs.rows.push_back(std::move(row));
    return rs;
}

QString AdtgValueText(const TAdtgValue& value, TAdtgKind kind)
{
    return std::visit(
        [kind](const auto& v) -> QString {
            using T = std::decay_t<decltype(v)>;
            if constexpr (std::is_same_v<T, std::monostate>)
                return QStringLiteral("\\N");
            else if constexpr (std::is_same_v<T, bool>)
                return v ? QStringLiteral("true") : QStringLiteral("false");
            else if constexpr (std::is_same_v<T, int64_t>)
                return QString::number(v);
            else if constexpr (std::is_same_v<T, double>)
                return kind == TAdtgKind::DateTime ? DateText(v) : QString::number(v, 'g', 17);
            else if constexpr (std::is_same_v<T, Currency>)
                return v.ToString();
            else if constexpr (std::is_same_v<T, QString>)
                return Escape(v);
            else if constexpr (std::is_same_v<T, QByteArray>)
                return QString::fromLatin1(v.toHex());
            else
                return v.ToString();
        },
        value);
}

QString RecordsetText(const TAdtgRecordset& rs)
{
    QString out = rs.tableName + QLatin1Char('\n');
    QStringList heads;
    for (const TAdtgColumn& c : rs.columns)
        heads << Escape(c.name) + QLatin1Char(':') + KindText(c);
    out += heads.join(QLatin1Char('\t')) + QLatin1Char('\n');
    for (const TAdtgRow& row : rs.rows) {
        QStringList cells;
        for (size_t i = 0; i < row.size(); ++i)
            cells << AdtgValueText(row[i], i < rs.columns.size() ? rs.columns[i].kind : TAdtgKind::Memo);
        out += cells.join(QLatin1Char('\t')) + QLatin1Char('\n');
    }
    return out;
}

// --------------------------------------------------------------- server

class TDorTestServer::Connection : public QObject {
public:
    Connection(TDorTestServer* server, QTcpSocket* socket)
        : QObject(server), server_(server), socket_(socket),
          link_(new TReceiverLink(socket, TMessageReceiver::Role::Server, this, server->config_.encrypt)),
          key_(DeriveKey())
    {
        socket->setParent(this);
        connect(link_, &TReceiverLink::messageReceived, this, &Connection::OnMessage);
        connect(link_, &TReceiverLink::streamReceived, this, &Connection::OnStream);
        connect(link_, &TReceiverLink::closeRequested, this, &Connection::OnClose);
        connect(link_, &TReceiverLink::sessionFailed, this,
                [this](const QString& text) { server_->AddLog("session failed: " + text); });
        connect(link_, &TReceiverLink::cipherFailed, this,
                [this](const QString& text) { server_->AddLog("deciphering failed: " + text); });
        connect(socket, &QTcpSocket::disconnected, this, [this] {
            server_->AddLog("disconnected");
            Q_EMIT server_->sessionEnded();
            deleteLater();
        });
        // Bytes that arrived with the connection itself.
        QTimer::singleShot(0, link_, &TReceiverLink::Pump);
    }

private:
    const TTestServerConfig& Config() const { return server_->config_; }

    void Send(const QByteArray& bytes)
    {
        if (Config().delayMs > 0) {
            QPointer<Connection> self(this);
            QTimer::singleShot(Config().delayMs, this, [self, bytes] {
                if (self)
                    self->Write(bytes);
            });
        } else {
            Write(bytes);
        }
    }

    void Write(const QByteArray& bytes)
    {
        if (closing_ || socket_->state() != QAbstractSocket::ConnectedState)
            return;
        const qint64 limit = Config().closeAfterBytes;
        if (limit >= 0 && sent_ + bytes.size() >= limit) {
            socket_->write(bytes.left(limit - sent_));
            sent_ = limit;
            server_->AddLog(QStringLiteral("closing after %1 bytes").arg(limit));
            Close();
            return;
        }
        socket_->write(bytes);
        sent_ += bytes.size();
    }

    void Close()
    {
        closing_ = true;
        socket_->disconnectFromHost();
    }

    void SendMessage(uint16_t type, const QByteArray& payload)
    {
        Send(FrameMessage(type, payload, key_, Config().encrypt));
    }

    void SendText(const QString& text, uint16_t type = rtText)
    {
        server_->AddLog((type == rtNotice ? "notice: " : "text: ") + text);
        SendMessage(type, TextPayload(text));
    }

    void SendStream(uint16_t type, const QByteArray& content)
    {
        Send(FrameStream(type, content, key_, Config().encrypt));
    }

    void EndSession()
    {
        SendMessage(rtEnd, QByteArray());
        if (Config().delayMs > 0) {
            QPointer<Connection> self(this);
            QTimer::singleShot(Config().delayMs, this, [self] {
                if (self && !self->closing_)
                    self->Close();
            });
        } else if (!closing_) {
            Close();
        }
    }

    void SendMalformed()
    {
        const QString& mode = Config().malformedFrame;
        if (mode.isEmpty())
            return;
        server_->AddLog("malformed frame: " + mode);
        auto header = [](uint16_t type, int length) {
            QByteArray h(4, '\0');
            h[0] = char(type & 0xff);
            h[1] = char(type >> 8);
            h[2] = char(length & 0xff);
            h[3] = char(length >> 8);
            return h;
        };
        auto sealed = [this](const QByteArray& plain) {
            return Config().encrypt ? SealMessage(plain, key_) : plain;
        };
        QByteArray frame;
        if (mode == "opcode") {
            const QByteArray p = sealed(QByteArray(2, '\0'));
            frame = header(50, int(p.size())) + p;
        } else if (mode == "length") {
            frame = header(rtText, 4001) + QByteArray(4001, 'A');
        } else if (mode == "streamsize") {
            QByteArray size;
            PutInt32(size, 0, -1);
            const QByteArray p = sealed(size);
            frame = header(rtVoucherData, int(p.size())) + p;
        } else if (mode == "textsize") {
            const QByteArray p = sealed(QByteArray(100, 'x'));
            frame = header(rtText, int(p.size())) + p;
        } else if (mode == "base64") {
            QByteArray p = sealed(TextPayload("broken"));
            p[5] = ' ';
            frame = header(rtText, int(p.size())) + p;
        }
        Send(frame);
    }

    void OnMessage(quint16 type, const QByteArray& payload)
    {
        if (refused_)
            return;
        if (type == rtLogin) {
            const TLogin login = ParseLoginPayload(payload);
            TTestOrganization* org = server_->FindOrganization(login.fileNumber);
            if (!org || org->password != login.password || login.userKind != ukOrganization) {
                server_->AddLog("login refused: " + login.fileNumber);
                refused_ = true;
                SendText(kLoginRefused);
                EndSession();
                return;
            }
            server_->AddLog("login: " + login.fileNumber);
            fileNumber_ = org->fileNumber;
            SendMalformed();
            for (const QString& t : org->texts)
                SendText(t);
            QByteArray data;
            QString error;
            if (WriteAdtg(OrganizationRecordset(*org), data, error)) {
                SendStream(rtOrgData, data);
            } else {
                server_->AddLog("organization data not written: " + error);
                SendText("Organization data unavailable.");
            }
            return;
        }
        TTestOrganization* org = server_->FindOrganization(fileNumber_);
        if (!org) {
            SendText("Not logged in.");
            return;
        }
        switch (type) {
        case rtGetVouchers:
            server_->AddLog(QStringLiteral("vouchers: %1").arg(org->vouchers.size()));
            SendStream(rtVoucherData, EncodeVoucherStream(org->vouchers));
            break;
        case rtApproveVoucher:
        case rtPayVoucher: {
            const int32_t id = GetInt32(payload, 0);
            TVoucherRecord* v = nullptr;
            for (TVoucherRecord& candidate : org->vouchers)
                if (candidate.DORVoucherID == id)
                    v = &candidate;
            const bool approve = type == rtApproveVoucher;
            if (!v) {
                SendText("Unknown voucher number");
            } else if (approve ? v->VoucherStatus.toUpper() != "N" : v->VoucherStatus.toUpper() != "A") {
                SendText("Illegal voucher status");
            } else if (approve) {
                v->VoucherStatus = QStringLiteral("A");
                SendText(QStringLiteral("Voucher %1 approved.").arg(v->VoucherNumber));
            } else {
                v->VoucherStatus = QStringLiteral("I");
                SendText(QStringLiteral("Payment for voucher %1 accepted.").arg(v->VoucherNumber));
            }
            break;
        }
        default:
            server_->AddLog(QStringLiteral("request %1 ignored").arg(type));
            break;
        }
    }

    void OnStream(quint16 type, const QByteArray& body)
    {
        if (refused_ || fileNumber_.isEmpty())
            return;
        const char* table = ReportTable(type);
        if (!table) {
            server_->AddLog(QStringLiteral("stream %1 ignored").arg(type));
            return;
        }
        if (!report_) {
            report_ = std::make_unique<TReceivedReport>();
            report_->fileNumber = fileNumber_;
        }
        QString error;
        try {
            const QByteArray data = InflateRaw(body);
            TAdtgRecordset rs;
            if (ReadAdtg(data, rs, error)) {
                server_->AddLog(QStringLiteral("%1: %2 rows").arg(table).arg(rs.rows.size()));
                report_->recordsets[type] = std::move(rs);
                return;
            }
        } catch (const EProtocolError& e) {
            error = e.Message();
        }
        server_->AddLog(QStringLiteral("%1 not read: %2").arg(table, error));
        report_->errors << QStringLiteral("%1: %2").arg(table, error);
    }

    void OnClose(quint16)
    {
        if (!refused_) {
            if (report_) {
                bool complete = report_->errors.isEmpty();
                for (const auto& [type, name] : kReportStreams)
                    complete = complete && report_->recordsets.count(type);
                if (complete) {
                    const QString error = server_->WriteReport(*report_);
                    if (error.isEmpty())
                        SendText(kReportReceived);
                    else
                        SendText("Quarterly Report could not be stored: " + error);
                } else {
                    SendText("Quarterly Report incomplete; please file again.");
                }
                server_->reports_.push_back(std::move(*report_));
                report_.reset();
            }
            if (TTestOrganization* org = server_->FindOrganization(fileNumber_))
                for (const QString& n : org->notices)
                    SendText(n, rtNotice);
        }
        EndSession();
    }

    TDorTestServer* server_;
    QTcpSocket* socket_;
    TReceiverLink* link_;
    TCipherKey key_;
    QString fileNumber_;
    bool refused_ = false;
    bool closing_ = false;
    qint64 sent_ = 0;
    std::unique_ptr<TReceivedReport> report_;
};

TDorTestServer::TDorTestServer(TTestServerConfig config, QObject* parent)
    : QObject(parent), config_(std::move(config)), server_(new QTcpServer(this))
{
    connect(server_, &QTcpServer::newConnection, this, [this] {
        while (QTcpSocket* socket = server_->nextPendingConnection()) {
            AddLog("connection from " + socket->peerAddress().toString());
            new Connection(this, socket);
        }
    });
}

TDorTestServer::~TDorTestServer() = default;

bool TDorTestServer::Listen(quint16 port, QString& error)
{
    if (!server_->listen(QHostAddress::LocalHost, port)) {
        error = server_->errorString();
        return false;
    }
    return true;
}

quint16 TDorTestServer::Port() const
{
    return server_->serverPort();
}

void TDorTestServer::AddLog(const QString& line)
{
    log_ << line;
    Q_EMIT logLine(line);
}

TTestOrganization* TDorTestServer::FindOrganization(const QString& fileNumber)
{
    if (fileNumber.isEmpty())
        return nullptr;
    for (TTestOrganization& org : config_.organizations)
        if (org.fileNumber == fileNumber)
            return &org;
    return nullptr;
}

QString TDorTestServer::WriteReport(TReceivedReport& report)
{
    QString qrid = QString::number(++reportCount_);
    const auto header = report.recordsets.find(rtReportHeader);
    if (header != report.recordsets.end() && !header->second.rows.empty()) {
        const TAdtgValue& v = header->second.Value(0, "QRID");
        if (const auto* id = std::get_if<int64_t>(&v))
            qrid = QString::number(*id);
    }
    // File numbers come from the network: keep only safe characters in the path.
    QString safe;
    for (QChar c : report.fileNumber)
        safe += c.isLetterOrNumber() ? c : QChar('_');
    if (safe.isEmpty())
        safe = QStringLiteral("_");
    const QString folder = QDir(config_.outputFolder).filePath(safe + "/QR" + qrid);
    if (!QDir().mkpath(folder))
        return QStringLiteral("cannot create %1").arg(folder);
    for (const auto& [type, name] : kReportStreams) {
        QFile f(QDir(folder).filePath(QString(name) + ".txt"));
        if (!f.open(QIODevice::WriteOnly | QIODevice::Truncate))
            return QStringLiteral("cannot write %1").arg(f.fileName());
        f.write(RecordsetText(report.recordsets.at(type)).toUtf8());
    }
    report.folder = folder;
    AddLog("report written to " + folder);
    return QString();
}

} // namespace pm
