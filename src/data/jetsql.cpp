#include "data/jetsql.h"

#include "components/formatting.h"

#include <QRegularExpression>

namespace pm {

namespace {

// Splits at commas that are not inside parentheses or quotes.
QStringList SplitTopLevel(const QString& text)
{
    QStringList parts;
    int depth = 0;
    QChar quote;
    QString cur;
    for (QChar c : text) {
        if (!quote.isNull()) {
            if (c == quote) quote = QChar();
        } else if (c == '\'' || c == '"') {
            quote = c;
        } else if (c == '(') {
            ++depth;
        } else if (c == ')') {
            --depth;
        } else if (c == ',' && depth == 0) {
            parts << cur.trimmed();
            cur.clear();
            continue;
        }
        cur += c;
    }
    if (!cur.trimmed().isEmpty()) parts << cur.trimmed();
    return parts;
}

bool IsTextType(const QString& declared)
{
    return declared.startsWith("TEXT(") || declared == "LONGTEXT";
}

// "Name TYPE(args) constraints" in Jet terms, to SQLite.
QString TranslateColumnDef(const QString& def, bool forAdd)
{
    static const QRegularExpression re(
        R"(^\s*(\[[^\]]+\]|"[^"]+"|\w+)\s+(\w+)\s*(\(\s*\d+\s*(?:,\s*\d+\s*)?\))?\s*(.*)$)",
        QRegularExpression::DotMatchesEverythingOption);
    const auto m = re.match(def);
    if (!m.hasMatch())
        throw EDatabaseError(QString("Syntax error in field definition \"%1\".").arg(def.simplified()));
    const QString name = m.captured(1);
    const QString jetType = m.captured(2);
    QString args = m.captured(3);
    args.remove(' ');
    if (args.size() >= 2) args = args.mid(1, args.size() - 2);
    QString rest = m.captured(4).simplified();

    const QString declared = SqliteTypeForJet(jetType, args);
    if (declared.isEmpty())
        throw EDatabaseError(QString("Unknown field type \"%1\" in the definition of %2.").arg(jetType, name));
    const bool identity = declared.startsWith("INTEGER PRIMARY KEY");
    if (identity) {
        static const QRegularExpression pk(R"(\bPRIMARY\s+KEY\b)", QRegularExpression::CaseInsensitiveOption);
        rest.remove(pk);
        rest = rest.simplified();
        if (forAdd)
            throw EDatabaseError(QString("An AutoNumber field (%1) cannot be added to an existing table.").arg(name));
    }
    QString out = name + " " + declared;
    if (IsTextType(declared)) out += " COLLATE NOCASE";
    if (!rest.isEmpty()) out += " " + rest;
    return out;
}

QString TableNameToken(const QString& text, int& pos)
{
    static const QRegularExpression re(R"(^\s*(\[[^\]]+\]|"[^"]+"|\w+))");
    const auto m = re.match(text.mid(pos));
    if (!m.hasMatch()) throw EDatabaseError(QString("Syntax error in \"%1\".").arg(text.simplified()));
    pos += int(m.capturedEnd(0));
    return m.captured(1);
}

// Jet's #...# date literals as day numbers; everything else as written.
QString TranslateDml(const QString& sql)
{
    QString out;
    out.reserve(sql.size());
    for (int i = 0; i < sql.size(); ++i) {
        const QChar c = sql[i];
        if (c == '\'' || c == '"') {
            const int end = sql.indexOf(c, i + 1);
            const int stop = end < 0 ? int(sql.size()) : end + 1;
            out += sql.mid(i, stop - i);
            i = stop - 1;
            continue;
        }
        if (c == '#') {
            const int end = sql.indexOf('#', i + 1);
            if (end > i) {
                TDateTime d = 0;
                if (TryStrToDate(sql.mid(i + 1, end - i - 1).trimmed(), d)) {
                    out += QString::number(d, 'g', 17);
                    i = end;
                    continue;
                }
            }
        }
        out += c;
    }
    return out;
}

} // namespace

QString SqliteTypeForJet(const QString& jetType, const QString& args)
{
    const QString t = jetType.toUpper();
    const QStringList a = args.isEmpty() ? QStringList() : args.split(',');
    if (t == "VARCHAR" || t == "CHAR" || t == "CHARACTER" || t == "NVARCHAR" || t == "NCHAR" ||
        t == "STRING" || t == "ALPHANUMERIC" || t == "TEXT") {
        if (a.isEmpty()) return t == "TEXT" ? QString("LONGTEXT") : QString("TEXT(255)");
        const int n = a[0].toInt();
        if (n < 1 || n > 255) return QString();
        return QString("TEXT(%1)").arg(n);
    }
    if (t == "MEMO" || t == "LONGTEXT" || t == "LONGCHAR" || t == "NOTE" || t == "NTEXT") return "LONGTEXT";
    if (t == "MONEY" || t == "CURRENCY") return "CURRENCY";
    if (t == "DATETIME" || t == "DATE" || t == "TIME" || t == "TIMESTAMP") return "DATETIME";
    if (t == "INTEGER" || t == "INT" || t == "LONG" || t == "INTEGER4" || t == "SMALLINT" ||
        t == "SHORT" || t == "INTEGER2" || t == "BYTE" || t == "TINYINT" || t == "INTEGER1")
        return "LONGINT";
    if (t == "COUNTER" || t == "IDENTITY" || t == "AUTOINCREMENT") return "INTEGER PRIMARY KEY AUTOINCREMENT";
    if (t == "BIT" || t == "YESNO" || t == "LOGICAL" || t == "LOGICAL1" || t == "BOOLEAN") return "YESNO";
    if (t == "FLOAT" || t == "DOUBLE" || t == "FLOAT8" || t == "NUMBER" || t == "REAL" ||
        t == "SINGLE" || t == "FLOAT4" || t == "IEEEDOUBLE" || t == "IEEESINGLE")
        return "DOUBLE";
    if (t == "DECIMAL" || t == "NUMERIC" || t == "DEC") {
        int p = a.size() > 0 ? a[0].toInt() : 18;
        int s = a.size() > 1 ? a[1].toInt() : 0;
        if (p < 1 || p > 18 || s < 0 || s > 4 || s > p) return QString();
        return QString("DECIMAL(%1,%2)").arg(p).arg(s);
    }
    return QString();
}

TColumnType ColumnTypeFromDecl(const QString& declType, bool primaryKey)
{
    TColumnType ct;
    const QString d = declType.toUpper().remove(' ');
    static const QRegularExpression sized(R"(^(\w+)\((\d+)(?:,(\d+))?\))");
    const auto m = sized.match(d);
    const QString base = m.hasMatch() ? m.captured(1) : d;
    if (base == "INTEGER") {
        ct.kind = primaryKey ? TFieldKind::AutoInc : TFieldKind::Integer;
    } else if (base == "LONGINT") {
        ct.kind = TFieldKind::Integer;
    } else if (base == "CURRENCY") {
        ct.kind = TFieldKind::Currency;
    } else if (base == "DECIMAL") {
        ct.kind = TFieldKind::Decimal;
        ct.precision = m.hasMatch() ? m.captured(2).toInt() : 18;
        ct.scale = m.hasMatch() && !m.captured(3).isEmpty() ? m.captured(3).toInt() : 0;
    } else if (base == "DATETIME") {
        ct.kind = TFieldKind::DateTime;
    } else if (base == "YESNO") {
        ct.kind = TFieldKind::Boolean;
    } else if (base == "TEXT" && m.hasMatch()) {
        ct.kind = TFieldKind::Text;
        ct.size = m.captured(2).toInt();
    } else if (base == "TEXT" || base == "LONGTEXT") {
        ct.kind = TFieldKind::Memo;
    } else if (base == "DOUBLE" || base == "REAL" || base == "FLOAT") {
        ct.kind = TFieldKind::Float;
    }
    return ct;
}

QStringList TranslateJetSql(const QString& jetSql)
{
    QString sql = jetSql.trimmed();
    while (sql.endsWith(';')) sql.chop(1);
    static const QRegularExpression createTable(R"(^CREATE\s+TABLE\s)", QRegularExpression::CaseInsensitiveOption);
    static const QRegularExpression alterTable(R"(^ALTER\s+TABLE\s)", QRegularExpression::CaseInsensitiveOption);
    static const QRegularExpression dropIndex(R"(^DROP\s+INDEX\s+(\S+)\s+ON\s+\S+$)", QRegularExpression::CaseInsensitiveOption);

    if (createTable.match(sql).hasMatch()) {
        int pos = int(createTable.match(sql).capturedEnd(0));
        const QString table = TableNameToken(sql, pos);
        const int open = sql.indexOf('(', pos);
        const int close = sql.lastIndexOf(')');
        if (open < 0 || close < open || !sql.mid(pos, open - pos).trimmed().isEmpty() ||
            !sql.mid(close + 1).trimmed().isEmpty())
            throw EDatabaseError(QString("Syntax error in CREATE TABLE statement for %1.").arg(table));
        QStringList defs;
        for (const QString& part : SplitTopLevel(sql.mid(open + 1, close - open - 1))) {
            static const QRegularExpression constraint(R"(^(CONSTRAINT|PRIMARY\s+KEY|UNIQUE|FOREIGN)\b)",
                                                       QRegularExpression::CaseInsensitiveOption);
            defs << (constraint.match(part).hasMatch() ? part.simplified() : TranslateColumnDef(part, false));
        }
        if (defs.isEmpty()) throw EDatabaseError(QString("CREATE TABLE %1 defines no fields.").arg(table));
        return {QString("CREATE TABLE %1 (%2)").arg(table, defs.join(", "))};
    }
    if (alterTable.match(sql).hasMatch()) {
        int pos = int(alterTable.match(sql).capturedEnd(0));
        const QString table = TableNameToken(sql, pos);
        QString rest = sql.mid(pos).trimmed();
        static const QRegularExpression add(R"(^ADD\s+(COLUMN\s+)?)", QRegularExpression::CaseInsensitiveOption);
        static const QRegularExpression drop(R"(^DROP\s+(COLUMN\s+)?)", QRegularExpression::CaseInsensitiveOption);
        QStringList out;
        if (auto m = add.match(rest); m.hasMatch()) {
            for (const QString& part : SplitTopLevel(rest.mid(m.capturedEnd(0))))
                out << QString("ALTER TABLE %1 ADD COLUMN %2").arg(table, TranslateColumnDef(part, true));
        } else if (auto d = drop.match(rest); d.hasMatch()) {
            for (const QString& part : SplitTopLevel(rest.mid(d.capturedEnd(0))))
                out << QString("ALTER TABLE %1 DROP COLUMN %2").arg(table, part.simplified());
        } else {
            throw EDatabaseError(QString("This change of table %1 is not supported: \"%2\".").arg(table, rest.simplified()));
        }
        if (out.isEmpty()) throw EDatabaseError(QString("Syntax error in ALTER TABLE statement for %1.").arg(table));
        return out;
    }
    if (auto m = dropIndex.match(sql); m.hasMatch())
        return {QString("DROP INDEX %1").arg(m.captured(1))};
    return {TranslateDml(sql)};
}

} // namespace pm
