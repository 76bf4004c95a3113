#include "session/adtg.h"

namespace pm {

TAdtgDecimal TAdtgDecimal::FromUnits(int64_t units, uint8_t scale)
{
    TAdtgDecimal d;
    d.scale = scale;
    d.negative = units < 0;
    d.lo = units < 0 ? uint64_t(0) - uint64_t(units) : uint64_t(units);
    return d;
}
std::optional<TAdtgDecimal> TAdtgDecimal::FromDouble(double, uint8_t) { return std::nullopt; }
std::optional<TAdtgDecimal> TAdtgDecimal::Parse(const QString&) { return std::nullopt; }
QString TAdtgDecimal::ToString() const { return QString(); }
double TAdtgDecimal::ToDouble() const { return 0; }
std::optional<int64_t> TAdtgDecimal::Units() const { return std::nullopt; }

int TAdtgRecordset::ColumnIndex(const QString& name) const
{
    for (size_t i = 0; i < columns.size(); ++i)
        if (columns[i].name.compare(name, Qt::CaseInsensitive) == 0)
            return int(i);
    return -1;
}

const TAdtgValue& TAdtgRecordset::Value(size_t row, const QString& column) const
{
    static const TAdtgValue null;
    int c = ColumnIndex(column);
    if (c < 0 || row >= rows.size() || size_t(c) >= rows[row].size())
        return null;
    return rows[row][size_t(c)];
}

TAdtgColumn AdtgColumn(const QString& name, TAdtgKind kind, uint32_t size)
{
    TAdtgColumn c;
    c.name = name;
    c.kind = kind;
    c.size = size;
    return c;
}

TAdtgColumn AdtgDecimalColumn(const QString& name, uint32_t precision, int32_t scale)
{
    TAdtgColumn c = AdtgColumn(name, TAdtgKind::Decimal);
    c.precision = precision;
    c.scale = scale;
    return c;
}

QByteArray WriteAdtg(const TAdtgRecordset& recordset)
{
    QByteArray out;
    QString error;
    return WriteAdtg(recordset, out, error) ? out : QByteArray();
}

bool WriteAdtg(const TAdtgRecordset&, QByteArray&, QString& error)
{
    error = "not written yet";
    return false;
}

bool ReadAdtg(const QByteArray&, TAdtgRecordset&, QString& error)
{
    error = "not written yet";
    return false;
}

} // namespace pm
