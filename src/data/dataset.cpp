#include "data/dataset.h"

#include "components/formatting.h"
#include "data/jetsql.h"

#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>

#include <sqlite3.h>

#include <algorithm>
#include <cmath>
#include <limits>

namespace pm {

namespace {

const TValue& NullValue()
{
    static const TValue null;
    return null;
}

QString Key(const QString& name) { return name.toLower(); }

// Half-even rounding of a count of 1/10000 to whole units.
int64_t RoundUnitsHalfEven(int64_t units, int64_t scale)
{
    int64_t q = units / scale;
    int64_t r = units % scale;
    if (r < 0) { r += scale; --q; }
    const int64_t twice = 2 * r;
    if (twice > scale || (twice == scale && (q & 1) != 0)) ++q;
    return q;
}

QString BoolText(bool b) { return b ? QString("True") : QString("False"); }

bool ParseBool(const QString& text, bool& out)
{
    const QString t = text.trimmed().toLower();
    if (t == "true" || t == "t" || t == "yes" || t == "y" || t == "1" || t == "-1") { out = true; return true; }
    if (t == "false" || t == "f" || t == "no" || t == "n" || t == "0") { out = false; return true; }
    return false;
}

QString InvalidFloat(const QString& t) { return QString("'%1' is not a valid floating point value").arg(t); }

std::optional<Currency> CurrencyFromText(const QString& text)
{
    if (auto c = Currency::Parse(text)) return c;
    double d = 0;
    if (TryStrToFloat(text, d)) return Currency::FromDouble(d);
    return std::nullopt;
}

void BindValue(sqlite3_stmt* stmt, int index, const TValue& v)
{
    std::visit([&](const auto& x) {
        using T = std::decay_t<decltype(x)>;
        if constexpr (std::is_same_v<T, std::monostate>) sqlite3_bind_null(stmt, index);
        else if constexpr (std::is_same_v<T, bool>) sqlite3_bind_int64(stmt, index, x ? 1 : 0);
        else if constexpr (std::is_same_v<T, int64_t>) sqlite3_bind_int64(stmt, index, x);
        else if constexpr (std::is_same_v<T, double>) sqlite3_bind_double(stmt, index, x);
        else if constexpr (std::is_same_v<T, Currency>) sqlite3_bind_int64(stmt, index, x.Units());
        else {
            const QByteArray utf8 = x.toUtf8();
            sqlite3_bind_text(stmt, index, utf8.constData(), int(utf8.size()), SQLITE_TRANSIENT);
        }
    }, v.Get());
}

TValue ReadColumn(sqlite3_stmt* stmt, int i, TFieldKind kind)
{
    const int type = sqlite3_column_type(stmt, i);
    if (type == SQLITE_NULL) return TValue();
    switch (kind) {
    case TFieldKind::AutoInc:
    case TFieldKind::Integer:
        return TValue(int64_t(sqlite3_column_int64(stmt, i)));
    case TFieldKind::Currency:
    case TFieldKind::Decimal:
        // The stored number is the count of 1/10000.
        if (type == SQLITE_FLOAT) {
            const double d = sqlite3_column_double(stmt, i);
            if (std::isfinite(d) && std::fabs(d) < 9.2e18) return TValue(Currency::FromUnits(std::llround(d)));
            return TValue();
        }
        return TValue(Currency::FromUnits(sqlite3_column_int64(stmt, i)));
    case TFieldKind::Float:
    case TFieldKind::DateTime:
        return TValue(sqlite3_column_double(stmt, i));
    case TFieldKind::Boolean:
        return TValue(sqlite3_column_int64(stmt, i) != 0);
    case TFieldKind::Text:
    case TFieldKind::Memo:
        return TValue(QString::fromUtf8(reinterpret_cast<const char*>(sqlite3_column_text(stmt, i)),
                                        sqlite3_column_bytes(stmt, i)));
    case TFieldKind::Variant:
        break;
    }
    switch (type) {
    case SQLITE_INTEGER: return TValue(int64_t(sqlite3_column_int64(stmt, i)));
    case SQLITE_FLOAT: return TValue(sqlite3_column_double(stmt, i));
    default:
        return TValue(QString::fromUtf8(reinterpret_cast<const char*>(sqlite3_column_text(stmt, i)),
                                        sqlite3_column_bytes(stmt, i)));
    }
}

QString QuoteIdent(const QString& name)
{
    return "\"" + QString(name).replace("\"", "\"\"") + "\"";
}

} // namespace

// ---------------------------------------------------------------- TField

const TValue& TField::Value() const
{
    const TValue* slot = dataSet_->ReadSlot(*this);
    return slot ? *slot : NullValue();
}

QString TField::AsString() const
{
    const TValue& v = Value();
    if (v.IsNull()) return QString();
    if (v.IsString()) return std::get<QString>(v.Get());
    if (v.IsBool()) return BoolText(std::get<bool>(v.Get()));
    if (v.IsInt()) return QString::number(std::get<int64_t>(v.Get()));
    if (v.IsCurrency()) return std::get<Currency>(v.Get()).ToString();
    const double d = std::get<double>(v.Get());
    return kind_ == TFieldKind::DateTime ? DateTimeToStr(d) : FloatToStr(d);
}

int64_t TField::AsInteger() const
{
    const TValue& v = Value();
    if (v.IsNull()) return 0;
    if (v.IsInt()) return std::get<int64_t>(v.Get());
    if (v.IsBool()) return std::get<bool>(v.Get()) ? 1 : 0;
    if (v.IsCurrency()) return RoundUnitsHalfEven(std::get<Currency>(v.Get()).Units(), Currency::Scale);
    if (v.IsFloat()) {
        const double d = std::nearbyint(std::get<double>(v.Get()));
        if (!(std::fabs(d) < 9.2e18)) throw EDatabaseError(QString("Value of %1 is out of range").arg(name_));
        return int64_t(d);
    }
    qint64 n = 0;
    const QString& s = std::get<QString>(v.Get());
    if (!TryStrToInt64(s, n)) throw EDatabaseError(QString("'%1' is not a valid integer value").arg(s));
    return n;
}

double TField::AsFloat() const
{
    const TValue& v = Value();
    if (v.IsNull()) return 0;
    if (v.IsFloat()) return std::get<double>(v.Get());
    if (v.IsInt()) return double(std::get<int64_t>(v.Get()));
    if (v.IsBool()) return std::get<bool>(v.Get()) ? 1 : 0;
    if (v.IsCurrency()) return std::get<Currency>(v.Get()).ToDouble();
    double d = 0;
    const QString& s = std::get<QString>(v.Get());
    if (!TryStrToFloat(s, d)) throw EDatabaseError(InvalidFloat(s));
    return d;
}

Currency TField::AsCurrency() const
{
    const TValue& v = Value();
    if (const Currency* c = std::get_if<Currency>(&v.Get())) return *c;
    if (v.IsNull()) return Currency();
    if (v.IsBool()) return Currency::FromUnits(std::get<bool>(v.Get()) ? Currency::Scale : 0);
    if (v.IsInt()) {
        int64_t units = 0;
        if (__builtin_mul_overflow(std::get<int64_t>(v.Get()), Currency::Scale, &units))
            throw EDatabaseError(QString("The value of %1 is out of range for a currency value.").arg(name_));
        return Currency::FromUnits(units);
    }
    if (v.IsFloat()) {
        if (auto c = Currency::FromDouble(std::get<double>(v.Get()))) return *c;
        throw EDatabaseError(QString("The value of %1 is out of range for a currency value.").arg(name_));
    }
    const QString& s = std::get<QString>(v.Get());
    if (auto c = CurrencyFromText(s.trimmed())) return *c;
    throw EDatabaseError(InvalidFloat(s));
}

bool TField::AsBoolean() const
{
    const TValue& v = Value();
    if (v.IsNull()) return false;
    if (v.IsBool()) return std::get<bool>(v.Get());
    if (v.IsInt()) return std::get<int64_t>(v.Get()) != 0;
    if (v.IsFloat()) return std::get<double>(v.Get()) != 0;
    if (v.IsCurrency()) return !std::get<Currency>(v.Get()).IsZero();
    bool b = false;
    const QString& s = std::get<QString>(v.Get());
    if (!ParseBool(s, b)) throw EDatabaseError(QString("'%1' is not a valid boolean value").arg(s));
    return b;
}

TValue TField::Convert(const TValue& value) const
{
    if (value.IsNull()) return value;
    const auto& g = value.Get();
    switch (kind_) {
    case TFieldKind::Variant:
        return value;
    case TFieldKind::Text:
    case TFieldKind::Memo: {
        QString s;
        if (value.IsString()) s = std::get<QString>(g);
        else if (value.IsBool()) s = BoolText(std::get<bool>(g));
        else if (value.IsInt()) s = QString::number(std::get<int64_t>(g));
        else if (value.IsCurrency()) s = std::get<Currency>(g).ToString();
        else s = FloatToStr(std::get<double>(g));
        if (kind_ == TFieldKind::Text && size_ > 0 && s.size() > size_)
            throw EDatabaseError(QString("The text for %1 is too long: it holds at most %2 characters, "
                                         "and %3 were given. The field keeps its value.")
                                     .arg(name_).arg(size_).arg(s.size()));
        return TValue(s);
    }
    case TFieldKind::AutoInc:
    case TFieldKind::Integer: {
        int64_t n = 0;
        if (value.IsInt()) n = std::get<int64_t>(g);
        else if (value.IsBool()) n = std::get<bool>(g) ? 1 : 0;
        else if (value.IsCurrency()) n = RoundUnitsHalfEven(std::get<Currency>(g).Units(), Currency::Scale);
        else if (value.IsFloat()) {
            const double d = std::nearbyint(std::get<double>(g));
            if (!(d >= -2147483648.0 && d <= 2147483647.0))
                throw EDatabaseError(QString("The value for %1 is out of range for a Long field.").arg(name_));
            n = int64_t(d);
        } else {
            const QString t = std::get<QString>(g).trimmed();
            if (t.isEmpty()) return TValue();
            qint64 q = 0;
            if (!TryStrToInt64(t, q)) throw EDatabaseError(QString("'%1' is not a valid integer value").arg(t));
            n = q;
        }
        if (n < std::numeric_limits<int32_t>::min() || n > std::numeric_limits<int32_t>::max())
            throw EDatabaseError(QString("The value for %1 is out of range for a Long field.").arg(name_));
        return TValue(n);
    }
    case TFieldKind::Float:
    case TFieldKind::DateTime: {
        double d = 0;
        if (value.IsFloat()) d = std::get<double>(g);
        else if (value.IsInt()) d = double(std::get<int64_t>(g));
        else if (value.IsBool()) d = std::get<bool>(g) ? 1 : 0;
        else if (value.IsCurrency()) d = std::get<Currency>(g).ToDouble();
        else {
            const QString t = std::get<QString>(g).trimmed();
            if (t.isEmpty()) return TValue();
            if (kind_ == TFieldKind::DateTime) {
                if (!TryStrToDate(t, d)) throw EDatabaseError(QString("'%1' is not a valid date").arg(t));
            } else if (!TryStrToFloat(t, d)) {
                throw EDatabaseError(InvalidFloat(t));
            }
        }
        if (!std::isfinite(d)) throw EDatabaseError(QString("Invalid floating point value for %1").arg(name_));
        return TValue(d);
    }
    case TFieldKind::Currency:
    case TFieldKind::Decimal: {
        std::optional<Currency> c;
        if (value.IsCurrency()) c = std::get<Currency>(g);
        else if (value.IsFloat()) c = Currency::FromDouble(std::get<double>(g));
        else if (value.IsBool()) c = Currency::FromUnits(std::get<bool>(g) ? Currency::Scale : 0);
        else if (value.IsInt()) {
            int64_t units = 0;
            if (!__builtin_mul_overflow(std::get<int64_t>(g), Currency::Scale, &units)) c = Currency::FromUnits(units);
        } else {
            const QString t = std::get<QString>(g).trimmed();
            if (t.isEmpty()) return TValue();
            c = CurrencyFromText(t);
            double d = 0;
            if (!c && !TryStrToFloat(t, d)) throw EDatabaseError(InvalidFloat(t));
        }
        if (!c) throw EDatabaseError(QString("The value for %1 is out of range for a currency field.").arg(name_));
        if (kind_ == TFieldKind::Decimal) {
            int64_t step = 1;
            for (int i = scale_; i < 4; ++i) step *= 10;
            int64_t units = RoundUnitsHalfEven(c->Units(), step) * step;
            int64_t limit = 1;
            for (int i = 0; i < precision_ - scale_; ++i) limit *= 10;
            if (units / Currency::Scale >= limit || units / Currency::Scale <= -limit)
                throw EDatabaseError(QString("The value for %1 does not fit Decimal(%2,%3).")
                                         .arg(name_).arg(precision_).arg(scale_));
            c = Currency::FromUnits(units);
        }
        return TValue(*c);
    }
    case TFieldKind::Boolean: {
        if (value.IsBool()) return value;
        if (value.IsInt()) return TValue(std::get<int64_t>(g) != 0);
        if (value.IsFloat()) return TValue(std::get<double>(g) != 0);
        if (value.IsCurrency()) return TValue(!std::get<Currency>(g).IsZero());
        const QString t = std::get<QString>(g).trimmed();
        if (t.isEmpty()) return TValue();
        bool b = false;
        if (!ParseBool(t, b)) throw EDatabaseError(QString("'%1' is not a valid boolean value").arg(t));
        return TValue(b);
    }
    }
    return value;
}

void TField::SetValue(const TValue& value)
{
    TDataSet& ds = *dataSet_;
    const TDataSetState st = ds.state_;
    if (st != TDataSetState::Edit && st != TDataSetState::Insert && st != TDataSetState::CalcFields)
        throw EDatabaseError(QString("%1: Dataset not in edit or insert mode").arg(ds.name_));
    if (st != TDataSetState::CalcFields && ReadOnly())
        throw EDatabaseError(QString("Field '%1' cannot be modified").arg(name_));
    TValue* slot = ds.WriteSlot(*this);
    if (kind_ == TFieldKind::Currency && value.IsCurrency()) {
        // The common case of the record rules: nothing to convert.
        if (slot) *slot = value;
    } else {
        TValue converted = Convert(value);
        if (slot) *slot = std::move(converted);
    }
    if (!slot) return;
    ds.FieldChanged(*this);
}

void TField::SetAsString(const QString& text)
{
    SetValue(TValue(text));
}

QString TField::DefaultText(bool display) const
{
    const TValue& v = Value();
    if (v.IsNull()) return QString();
    const QString& fmt = display ? displayFormat_ : editFormat_;
    switch (kind_) {
    case TFieldKind::Currency:
    case TFieldKind::Decimal: {
        const Currency c = AsCurrency();
        if (!fmt.isEmpty()) return FormatCurr(fmt, c);
        if (display && kind_ == TFieldKind::Currency) return FormatCurr("$,0.00;($,0.00)", c);
        return c.ToString();
    }
    case TFieldKind::AutoInc:
    case TFieldKind::Integer:
        if (!fmt.isEmpty()) return FormatFloat(fmt, double(AsInteger()));
        return AsString();
    case TFieldKind::Float:
        if (!fmt.isEmpty()) return FormatFloat(fmt, AsFloat());
        return AsString();
    case TFieldKind::DateTime:
        if (!fmt.isEmpty()) return FormatDateTime(fmt, AsFloat());
        return AsString();
    default:
        return AsString();
    }
}

QString TField::DisplayText() const
{
    if (OnGetText) {
        QString text;
        OnGetText(const_cast<TField&>(*this), text, true);
        return text;
    }
    return DefaultText(true);
}

QString TField::Text() const
{
    if (OnGetText) {
        QString text;
        OnGetText(const_cast<TField&>(*this), text, false);
        return text;
    }
    return DefaultText(false);
}

void TField::SetText(const QString& text)
{
    if (OnSetText) OnSetText(*this, text);
    else SetAsString(text);
}

// ---------------------------------------------------------------- TDataSet

TDataSet::TDataSet(TConnection& connection, const QString& name) : connection_(connection), name_(name) {}

TDataSet::~TDataSet()
{
    FinalizeStatements();
}

void TDataSet::FinalizeStatements()
{
    if (select_) sqlite3_finalize(select_);
    select_ = nullptr;
    for (auto& [k, s] : statements_) sqlite3_finalize(s);
    statements_.clear();
}

void TDataSet::CheckConnection()
{
    if (!connection_.Connected())
        throw EDatabaseError(QString("%1: the database is not open").arg(name_));
    if (generation_ != connection_.Generation()) {
        FinalizeStatements();
        tableInfoLoaded_ = false;
        tableInfo_.clear();
        generation_ = connection_.Generation();
    }
}

void TDataSet::SetSQL(const QString& sql)
{
    Close();
    FinalizeStatements();
    sql_ = sql;
    static const QRegularExpression re(R"(^\s*SELECT\s+\*\s+FROM\s+(\[[^\]]+\]|\w+))",
                                       QRegularExpression::CaseInsensitiveOption);
    const auto m = re.match(sql_);
    QString table = m.hasMatch() ? m.captured(1) : QString();
    if (table.startsWith('[')) table = table.mid(1, table.size() - 2);
    if (Key(table) != Key(table_)) {
        tableInfoLoaded_ = false;
        tableInfo_.clear();
    }
    table_ = table;
    ParseParams();
}

void TDataSet::ParseParams()
{
    std::vector<std::unique_ptr<TParam>> next;
    QChar quote;
    for (int i = 0; i < sql_.size(); ++i) {
        const QChar c = sql_[i];
        if (!quote.isNull()) {
            if (c == quote) quote = QChar();
            continue;
        }
        if (c == '\'' || c == '"') { quote = c; continue; }
        if (c != ':' || i + 1 >= sql_.size() || !(sql_[i + 1].isLetter() || sql_[i + 1] == '_')) continue;
        int j = i + 1;
        while (j < sql_.size() && (sql_[j].isLetterOrNumber() || sql_[j] == '_')) ++j;
        const QString name = sql_.mid(i + 1, j - i - 1);
        i = j - 1;
        bool seen = false;
        for (auto& p : next) if (Key(p->Name()) == Key(name)) seen = true;
        if (seen) continue;
        auto old = std::find_if(params_.begin(), params_.end(),
                                [&](const auto& p) { return p && Key(p->Name()) == Key(name); });
        if (old != params_.end()) next.push_back(std::move(*old));
        else next.push_back(std::make_unique<TParam>(name));
    }
    params_ = std::move(next);
}

TParam* TDataSet::FindParam(const QString& name)
{
    for (auto& p : params_) if (Key(p->Name()) == Key(name)) return p.get();
    return nullptr;
}

TParam& TDataSet::ParamByName(const QString& name)
{
    if (TParam* p = FindParam(name)) return *p;
    throw EDatabaseError(QString("%1: Parameter '%2' not found").arg(name_, name));
}

void TDataSet::SetPrepared(bool on)
{
    prepared_ = on;
    if (!on && select_ && !Active()) {
        sqlite3_finalize(select_);
        select_ = nullptr;
    }
}

TField& TDataSet::DefineField(const QString& name)
{
    if (TField* f = FindField(name)) return *f;
    fieldStore_.push_back(std::unique_ptr<TField>(new TField(this, name)));
    TField* f = fieldStore_.back().get();
    byName_[Key(name)] = f;
    byExactName_[name] = f;
    return *f;
}

TField& TDataSet::AddCalcField(const QString& name, TFieldKind kind, const QString& displayFormat)
{
    if (Active()) throw EDatabaseError(QString("%1: fields cannot be added while the dataset is open").arg(name_));
    if (FindField(name)) throw EDatabaseError(QString("%1: duplicate field name '%2'").arg(name_, name));
    TField& f = DefineField(name);
    f.calculated_ = true;
    f.kind_ = kind;
    f.displayFormat_ = displayFormat;
    f.calcIndex_ = int(calcFields_.size());
    calcFields_.push_back(&f);
    return f;
}

TField* TDataSet::FindField(const QString& name) const
{
    // Names are mostly written as declared: try that before folding case.
    auto exact = byExactName_.find(name);
    if (exact != byExactName_.end()) return exact->second;
    auto it = byName_.find(Key(name));
    return it == byName_.end() ? nullptr : it->second;
}

TField& TDataSet::FieldByName(const QString& name) const
{
    if (TField* f = FindField(name)) return *f;
    throw EDatabaseError(QString("%1: Field '%2' not found").arg(name_, name));
}

void TDataSet::CheckActive() const
{
    if (state_ == TDataSetState::Inactive)
        throw EDatabaseError(QString("%1: Cannot perform this operation on a closed dataset").arg(name_));
}

void TDataSet::CheckEditable() const
{
    if (table_.isEmpty())
        throw EDatabaseError(QString("%1: Cannot modify a read-only dataset").arg(name_));
}

const TValue* TDataSet::ReadSlot(const TField& f) const
{
    if (state_ == TDataSetState::Inactive) return nullptr;
    if (f.calculated_) return f.calcIndex_ < int(calcBuf_.size()) ? &calcBuf_[size_t(f.calcIndex_)] : nullptr;
    if (f.dataIndex_ < 0) return nullptr;
    const TDataSetState st = EffectiveState();
    if (st == TDataSetState::Edit || st == TDataSetState::Insert) return &editBuf_[size_t(f.dataIndex_)];
    if (cur_ < 0 || cur_ >= int(rows_.size())) return nullptr;
    return &rows_[size_t(cur_)].values[size_t(f.dataIndex_)];
}

TValue* TDataSet::WriteSlot(const TField& f)
{
    return const_cast<TValue*>(ReadSlot(f));
}

void TDataSet::FieldChanged(TField& f)
{
    if (state_ == TDataSetState::CalcFields) return;
    modified_ = true;
    if (f.OnChange) f.OnChange(f);
    if (AutoCalcFields && !f.calculated_) CalculateFields();
    Notify(TDataEvent::FieldChange, &f);
}

void TDataSet::CalculateFields()
{
    if (calculating_ || state_ == TDataSetState::Inactive) return;
    for (auto& v : calcBuf_)
        if (!v.IsNull()) v = TValue();
    if (!OnCalcFields) return;
    const bool haveRow = state_ == TDataSetState::Edit || state_ == TDataSetState::Insert || cur_ >= 0;
    if (!haveRow) return;
    calculating_ = true;
    calcOuter_ = state_;
    state_ = TDataSetState::CalcFields;
    try {
        OnCalcFields(*this);
    } catch (...) {
        state_ = calcOuter_;
        calculating_ = false;
        throw;
    }
    state_ = calcOuter_;
    calculating_ = false;
}

void TDataSet::Notify(TDataEvent event, TField* field)
{
    if (disableCount_ > 0 && event != TDataEvent::ActiveChange && event != TDataEvent::StateChange) {
        pendingChange_ = true;
        return;
    }
    if (observers_.empty()) return;
    const auto copy = observers_;
    for (const auto& [id, obs] : copy) obs(*this, event, field);
}

void TDataSet::SetState(TDataSetState state)
{
    if (state_ == state) return;
    state_ = state;
    Notify(TDataEvent::StateChange);
}

int TDataSet::AddObserver(Observer observer)
{
    observers_.emplace_back(nextObserver_, std::move(observer));
    return nextObserver_++;
}

void TDataSet::RemoveObserver(int id)
{
    observers_.erase(std::remove_if(observers_.begin(), observers_.end(),
                                    [id](const auto& o) { return o.first == id; }),
                     observers_.end());
}

void TDataSet::DisableControls() { ++disableCount_; }

void TDataSet::EnableControls()
{
    if (disableCount_ > 0) --disableCount_;
    if (disableCount_ == 0 && pendingChange_) {
        pendingChange_ = false;
        Notify(TDataEvent::DataSetChange);
    }
}

void TDataSet::LoadTableInfo()
{
    if (tableInfoLoaded_ || table_.isEmpty()) return;
    tableInfo_.clear();
    sqlite3_stmt* st = nullptr;
    const QByteArray sql = ("PRAGMA table_info(" + QuoteIdent(table_) + ")").toUtf8();
    int rc = sqlite3_prepare_v2(connection_.Handle(), sql.constData(), -1, &st, nullptr);
    if (rc != SQLITE_OK) connection_.Raise(rc, name_);
    while ((rc = sqlite3_step(st)) == SQLITE_ROW) {
        ColumnInfo ci;
        ci.name = QString::fromUtf8(reinterpret_cast<const char*>(sqlite3_column_text(st, 1)));
        ci.declType = QString::fromUtf8(reinterpret_cast<const char*>(sqlite3_column_text(st, 2)));
        ci.notNull = sqlite3_column_int(st, 3) != 0;
        ci.primaryKey = sqlite3_column_int(st, 5) != 0;
        tableInfo_[Key(ci.name)] = ci;
    }
    sqlite3_finalize(st);
    if (rc != SQLITE_DONE) connection_.Raise(rc, name_);
    tableInfoLoaded_ = true;
}

void TDataSet::BindFields(sqlite3_stmt* stmt)
{
    const int first = table_.isEmpty() ? 0 : 1;   // column 0 is the row id
    const int count = sqlite3_column_count(stmt);
    for (TField* f : dataFields_) f->dataIndex_ = -1;
    dataFields_.clear();
    for (int i = first; i < count; ++i) {
        const QString name = QString::fromUtf8(sqlite3_column_name(stmt, i));
        TField& f = DefineField(name);
        if (f.calculated_)
            throw EDatabaseError(QString("%1: the calculated field '%2' has the name of a column").arg(name_, name));
        TColumnType ct;
        auto info = tableInfo_.find(Key(name));
        if (info != tableInfo_.end()) {
            ct = ColumnTypeFromDecl(info->second.declType, info->second.primaryKey);
            f.required_ = info->second.notNull && !info->second.primaryKey;
        } else {
            const char* decl = sqlite3_column_decltype(stmt, i);
            ct = ColumnTypeFromDecl(decl ? QString::fromUtf8(decl) : QString(), false);
            f.required_ = false;
        }
        f.kind_ = ct.kind;
        f.size_ = ct.size;
        f.precision_ = ct.precision;
        f.scale_ = ct.scale;
        f.dataIndex_ = int(dataFields_.size());
        dataFields_.push_back(&f);
    }
    for (const auto& f : fieldStore_) {
        if (!f->calculated_ && f->dataIndex_ < 0)
            throw EDatabaseError(QString("%1: Field '%2' not found").arg(name_, f->name_));
    }
    order_ = dataFields_;
    order_.insert(order_.end(), calcFields_.begin(), calcFields_.end());
    calcBuf_.assign(calcFields_.size(), TValue());
}

void TDataSet::BindParams(sqlite3_stmt* stmt)
{
    sqlite3_reset(stmt);
    sqlite3_clear_bindings(stmt);
    for (const auto& p : params_) {
        const QByteArray name = (":" + p->Name()).toUtf8();
        const int index = sqlite3_bind_parameter_index(stmt, name.constData());
        if (index == 0) continue;
        TValue v = p->Value();
        switch (p->DataType()) {
        case TParamType::Integer:
            if (v.IsString()) {
                bool ok = false;
                const qlonglong n = std::get<QString>(v.Get()).trimmed().toLongLong(&ok);
                v = ok ? TValue(int64_t(n)) : TValue();
            }
            break;
        case TParamType::String:
        case TParamType::FixedChar:
        case TParamType::WideString:
            if (v.IsInt()) v = TValue(QString::number(std::get<int64_t>(v.Get())));
            break;
        default:
            break;
        }
        BindValue(stmt, index, v);
    }
}

void TDataSet::ReadRows()
{
    CheckConnection();
    if (!select_) {
        QString sql = TranslateJetSql(sql_).value(0);
        if (!table_.isEmpty()) {
            static const QRegularExpression re(R"(^\s*SELECT\s+\*\s+FROM\s+)", QRegularExpression::CaseInsensitiveOption);
            const auto m = re.match(sql);
            const QString ref = QuoteIdent(table_);
            sql = "SELECT " + ref + ".rowid, " + ref + ".* FROM " + sql.mid(m.capturedEnd(0));
        }
        const QByteArray utf8 = sql.toUtf8();
        const int rc = sqlite3_prepare_v3(connection_.Handle(), utf8.constData(), int(utf8.size()),
                                          SQLITE_PREPARE_PERSISTENT, &select_, nullptr);
        if (rc != SQLITE_OK) {
            select_ = nullptr;
            connection_.Raise(rc, name_);
        }
    }
    LoadTableInfo();
    BindParams(select_);
    BindFields(select_);
    std::vector<Row> rows;
    const size_t n = dataFields_.size();
    const int first = table_.isEmpty() ? 0 : 1;
    int rc;
    while ((rc = sqlite3_step(select_)) == SQLITE_ROW) {
        Row r;
        r.rowid = first ? sqlite3_column_int64(select_, 0) : 0;
        r.serial = nextSerial_++;
        r.values.reserve(n);
        for (size_t i = 0; i < n; ++i) r.values.push_back(ReadColumn(select_, int(i) + first, dataFields_[i]->kind_));
        rows.push_back(std::move(r));
    }
    sqlite3_reset(select_);
    if (rc != SQLITE_DONE) connection_.Raise(rc, name_);
    if (!prepared_) {
        sqlite3_finalize(select_);
        select_ = nullptr;
    }
    rows_ = std::move(rows);
}

void TDataSet::Open()
{
    if (Active()) return;
    Fire(BeforeOpen);
    try {
        ReadRows();
    } catch (...) {
        rows_.clear();
        throw;
    }
    cur_ = rows_.empty() ? -1 : 0;
    bof_ = true;
    eof_ = rows_.empty();
    modified_ = false;
    editBuf_.clear();
    state_ = TDataSetState::Browse;
    CalculateFields();
    Notify(TDataEvent::ActiveChange);
    Fire(AfterOpen);
    if (!IsEmpty()) Fire(AfterScroll);
}

void TDataSet::Close()
{
    if (!Active()) return;
    Fire(BeforeClose);
    rows_.clear();
    editBuf_.clear();
    original_.clear();
    cur_ = -1;
    bof_ = eof_ = true;
    modified_ = false;
    for (auto& v : calcBuf_) v = TValue();
    state_ = TDataSetState::Inactive;
    if (!prepared_ && select_) {
        sqlite3_finalize(select_);
        select_ = nullptr;
    }
    Notify(TDataEvent::ActiveChange);
    Fire(AfterClose);
}

void TDataSet::Requery()
{
    CheckActive();
    CheckBrowseMode();
    Fire(BeforeScroll);
    ReadRows();
    cur_ = rows_.empty() ? -1 : 0;
    bof_ = true;
    eof_ = rows_.empty();
    CalculateFields();
    Notify(TDataEvent::DataSetChange);
    Fire(AfterScroll);
}

void TDataSet::CheckBrowseMode()
{
    CheckActive();
    if (state_ == TDataSetState::Edit || state_ == TDataSetState::Insert) {
        if (modified_) Post();
        else Cancel();
    }
}

void TDataSet::ScrollTo(int index, bool checkBrowse)
{
    CheckActive();
    if (checkBrowse) CheckBrowseMode();
    Fire(BeforeScroll);
    cur_ = rows_.empty() ? -1 : std::clamp(index, 0, int(rows_.size()) - 1);
    bof_ = eof_ = rows_.empty();
    CalculateFields();
    Notify(TDataEvent::DataSetScroll);
    Fire(AfterScroll);
}

void TDataSet::First()
{
    CheckActive();
    CheckBrowseMode();
    Fire(BeforeScroll);
    cur_ = rows_.empty() ? -1 : 0;
    bof_ = true;
    eof_ = rows_.empty();
    CalculateFields();
    Notify(TDataEvent::DataSetScroll);
    Fire(AfterScroll);
}

void TDataSet::Last()
{
    CheckActive();
    CheckBrowseMode();
    Fire(BeforeScroll);
    cur_ = int(rows_.size()) - 1;
    eof_ = true;
    bof_ = rows_.empty();
    CalculateFields();
    Notify(TDataEvent::DataSetScroll);
    Fire(AfterScroll);
}

int TDataSet::MoveBy(int distance)
{
    CheckActive();
    CheckBrowseMode();
    if (distance == 0 || (distance > 0 && eof_) || (distance < 0 && bof_)) return 0;
    Fire(BeforeScroll);
    const int last = int(rows_.size()) - 1;
    int target = cur_ + distance;
    if (distance > 0) {
        bof_ = false;
        if (target > last) { target = last; eof_ = true; }
    } else {
        eof_ = false;
        if (target < 0) { target = 0; bof_ = true; }
    }
    const int moved = target - cur_;
    if (moved != 0) {
        cur_ = target;
        CalculateFields();
    }
    Notify(TDataEvent::DataSetScroll);
    Fire(AfterScroll);
    return moved;
}

void TDataSet::Next() { MoveBy(1); }
void TDataSet::Prior() { MoveBy(-1); }

int TDataSet::RecNo() const
{
    if (state_ == TDataSetState::Insert || cur_ < 0) return 0;
    return cur_ + 1;
}

void TDataSet::SetRecNo(int recNo)
{
    ScrollTo(recNo - 1);
    bof_ = eof_ = false;
}

bool TDataSet::Locate(const QString& fieldName, const TValue& value, int options)
{
    CheckActive();
    CheckBrowseMode();
    TField& f = FieldByName(fieldName);
    if (f.calculated_) throw EDatabaseError(QString("%1: cannot locate on the calculated field '%2'").arg(name_, fieldName));
    const bool text = f.kind_ == TFieldKind::Text || f.kind_ == TFieldKind::Memo;
    const TValue key = f.Convert(value);
    const Qt::CaseSensitivity cs = (options & loCaseInsensitive) ? Qt::CaseInsensitive : Qt::CaseSensitive;
    for (size_t i = 0; i < rows_.size(); ++i) {
        const TValue& v = rows_[i].values[size_t(f.dataIndex_)];
        bool match;
        if (text && v.IsString() && key.IsString()) {
            const QString& a = std::get<QString>(v.Get());
            const QString& b = std::get<QString>(key.Get());
            match = (options & loPartialKey) ? a.startsWith(b, cs) : a.compare(b, cs) == 0;
        } else {
            match = v == key;
        }
        if (match) {
            ScrollTo(int(i), false);
            bof_ = eof_ = false;
            return true;
        }
    }
    return false;
}

TBookmark TDataSet::GetBookmark() const
{
    if (state_ == TDataSetState::Inactive || state_ == TDataSetState::Insert || cur_ < 0) return 0;
    return rows_[size_t(cur_)].serial;
}

bool TDataSet::BookmarkValid(TBookmark bookmark) const
{
    if (bookmark == 0) return false;
    return std::any_of(rows_.begin(), rows_.end(), [&](const Row& r) { return r.serial == bookmark; });
}

void TDataSet::GotoBookmark(TBookmark bookmark)
{
    CheckActive();
    CheckBrowseMode();
    for (size_t i = 0; i < rows_.size(); ++i) {
        if (rows_[i].serial == bookmark) {
            ScrollTo(int(i), false);
            bof_ = eof_ = false;
            return;
        }
    }
    throw EDatabaseError(QString("%1: Record not found").arg(name_));
}

void TDataSet::BeginInsert(bool append)
{
    CheckActive();
    CheckEditable();
    CheckBrowseMode();
    Fire(BeforeInsert);
    Fire(BeforeScroll);
    savedCur_ = cur_;
    insertPos_ = append || cur_ < 0 ? int(rows_.size()) : cur_;
    editBuf_.assign(dataFields_.size(), TValue());
    original_ = editBuf_;
    modified_ = false;
    bof_ = eof_ = false;
    SetState(TDataSetState::Insert);
    try {
        CalculateFields();
        Fire(OnNewRecord);
    } catch (...) {
        editBuf_.clear();
        modified_ = false;
        cur_ = savedCur_;
        SetState(TDataSetState::Browse);
        CalculateFields();
        throw;
    }
    Notify(TDataEvent::DataSetChange);
    Fire(AfterInsert);
    Fire(AfterScroll);
}

void TDataSet::Insert() { BeginInsert(false); }
void TDataSet::Append() { BeginInsert(true); }

void TDataSet::Edit()
{
    CheckActive();
    if (state_ == TDataSetState::Edit || state_ == TDataSetState::Insert) return;
    if (rows_.empty()) {
        Insert();
        return;
    }
    CheckEditable();
    Fire(BeforeEdit);
    editBuf_ = rows_[size_t(cur_)].values;
    original_ = editBuf_;
    modified_ = false;
    SetState(TDataSetState::Edit);
    Fire(AfterEdit);
}

sqlite3_stmt* TDataSet::CachedStatement(const QString& key, const QString& sql)
{
    CheckConnection();
    auto it = statements_.find(key);
    if (it != statements_.end()) {
        sqlite3_reset(it->second);
        sqlite3_clear_bindings(it->second);
        return it->second;
    }
    sqlite3_stmt* st = nullptr;
    const QByteArray utf8 = sql.toUtf8();
    const int rc = sqlite3_prepare_v3(connection_.Handle(), utf8.constData(), int(utf8.size()),
                                      SQLITE_PREPARE_PERSISTENT, &st, nullptr);
    if (rc != SQLITE_OK) connection_.Raise(rc, name_);
    statements_[key] = st;
    return st;
}

void TDataSet::WriteInsert()
{
    std::vector<int> cols;
    for (size_t i = 0; i < dataFields_.size(); ++i)
        if (dataFields_[i]->kind_ != TFieldKind::AutoInc) cols.push_back(int(i));
    const QString key = QStringLiteral("ins");
    sqlite3_stmt* st;
    if (statements_.count(key)) {
        st = CachedStatement(key, QString());
    } else {
        QStringList names, marks;
        for (int i : cols) {
            names << QuoteIdent(dataFields_[size_t(i)]->name_);
            marks << "?";
        }
        const QString sql = names.isEmpty()
            ? QString("INSERT INTO %1 DEFAULT VALUES").arg(QuoteIdent(table_))
            : QString("INSERT INTO %1 (%2) VALUES (%3)").arg(QuoteIdent(table_), names.join(","), marks.join(","));
        st = CachedStatement(key, sql);
    }
    int index = 1;
    for (int i : cols) BindValue(st, index++, editBuf_[size_t(i)]);
    const int rc = sqlite3_step(st);
    sqlite3_reset(st);
    if (rc != SQLITE_DONE) connection_.Raise(rc, name_);
}

void TDataSet::WriteUpdate()
{
    std::vector<int> changed;
    for (size_t i = 0; i < dataFields_.size(); ++i)
        if (dataFields_[i]->kind_ != TFieldKind::AutoInc && !(editBuf_[i] == original_[i])) changed.push_back(int(i));
    if (changed.empty()) return;
    QString key = "upd";
    for (int i : changed) key += ":" + QString::number(i);
    sqlite3_stmt* st;
    if (statements_.count(key)) {
        st = CachedStatement(key, QString());
    } else {
        QStringList sets, checks;
        for (int i : changed) {
            const QString col = QuoteIdent(dataFields_[size_t(i)]->name_);
            sets << col + " = ?";
            checks << col + " IS ?";
        }
        // The row is changed only if the columns still hold what was read:
        // a change by another program in between is reported, never overwritten.
        st = CachedStatement(key, QString("UPDATE %1 SET %2 WHERE rowid = ? AND %3")
                                      .arg(QuoteIdent(table_), sets.join(", "), checks.join(" AND ")));
    }
    int index = 1;
    for (int i : changed) BindValue(st, index++, editBuf_[size_t(i)]);
    sqlite3_bind_int64(st, index++, rows_[size_t(cur_)].rowid);
    for (int i : changed) BindValue(st, index++, original_[size_t(i)]);
    const int rc = sqlite3_step(st);
    sqlite3_reset(st);
    if (rc != SQLITE_DONE) connection_.Raise(rc, name_);
    if (sqlite3_changes(connection_.Handle()) == 0)
        throw EDatabaseError(QString("%1: the row was not saved, because another user has changed or deleted it "
                                     "since it was read. Re-read the data and enter the change again.")
                                 .arg(name_));
}

void TDataSet::WriteDelete(const Row& row)
{
    sqlite3_stmt* st = CachedStatement("del", QString("DELETE FROM %1 WHERE rowid = ?").arg(QuoteIdent(table_)));
    sqlite3_bind_int64(st, 1, row.rowid);
    const int rc = sqlite3_step(st);
    sqlite3_reset(st);
    if (rc != SQLITE_DONE) connection_.Raise(rc, name_);
}

void TDataSet::Post()
{
    CheckActive();
    if (state_ != TDataSetState::Edit && state_ != TDataSetState::Insert) return;
    Fire(BeforePost);
    for (TField* f : dataFields_) {
        if (f->required_ && editBuf_[size_t(f->dataIndex_)].IsNull())
            throw EDatabaseError(QString("Field '%1' must have a value").arg(f->name_));
    }
    const bool inserting = state_ == TDataSetState::Insert;
    if (inserting) {
        WriteInsert();
        Row r;
        r.rowid = sqlite3_last_insert_rowid(connection_.Handle());
        r.serial = nextSerial_++;
        r.values = std::move(editBuf_);
        for (TField* f : dataFields_)
            if (f->kind_ == TFieldKind::AutoInc) r.values[size_t(f->dataIndex_)] = TValue(int64_t(r.rowid));
        const int pos = std::clamp(insertPos_, 0, int(rows_.size()));
        rows_.insert(rows_.begin() + pos, std::move(r));
        cur_ = pos;
    } else {
        WriteUpdate();
        rows_[size_t(cur_)].values = std::move(editBuf_);
    }
    editBuf_.clear();
    original_.clear();
    modified_ = false;
    bof_ = eof_ = false;
    SetState(TDataSetState::Browse);
    CalculateFields();
    Notify(inserting ? TDataEvent::DataSetChange : TDataEvent::RecordChange);
    Fire(AfterPost);
}

void TDataSet::Cancel()
{
    CheckActive();
    if (state_ != TDataSetState::Edit && state_ != TDataSetState::Insert) return;
    Fire(BeforeCancel);
    const bool inserting = state_ == TDataSetState::Insert;
    editBuf_.clear();
    original_.clear();
    modified_ = false;
    if (inserting) {
        cur_ = rows_.empty() ? -1 : std::clamp(savedCur_, 0, int(rows_.size()) - 1);
        bof_ = eof_ = rows_.empty();
    }
    SetState(TDataSetState::Browse);
    CalculateFields();
    Notify(inserting ? TDataEvent::DataSetChange : TDataEvent::RecordChange);
    Fire(AfterCancel);
    if (inserting) Fire(AfterScroll);
}

void TDataSet::Delete()
{
    CheckActive();
    if (state_ == TDataSetState::Insert) {
        Cancel();
        return;
    }
    if (rows_.empty())
        throw EDatabaseError(QString("%1: Cannot perform this operation on an empty dataset").arg(name_));
    CheckEditable();
    Fire(BeforeDelete);
    Fire(BeforeScroll);
    WriteDelete(rows_[size_t(cur_)]);
    editBuf_.clear();
    original_.clear();
    modified_ = false;
    rows_.erase(rows_.begin() + cur_);
    if (cur_ >= int(rows_.size())) cur_ = int(rows_.size()) - 1;
    bof_ = eof_ = rows_.empty();
    SetState(TDataSetState::Browse);
    CalculateFields();
    Notify(TDataEvent::DataSetChange);
    Fire(AfterDelete);
    Fire(AfterScroll);
}

// ---------------------------------------------------------------- TConnection

TConnection::~TConnection()
{
    Close();
}

void TConnection::Close()
{
    if (!db_) return;
    sqlite3_close_v2(db_);
    db_ = nullptr;
    transLevel_ = 0;
}

void TConnection::SetBusyTimeout(int ms)
{
    busyTimeout_ = ms;
    if (db_) sqlite3_busy_timeout(db_, ms);
}

void TConnection::Open(const QString& path)
{
    Close();
    if (path.trimmed().isEmpty())
        throw EDatabaseError("No database file is named. Choose the database file in the preferences.");
    const QFileInfo info(path);
    if (!info.exists())
        throw EDatabaseError(QString("The database file \"%1\" does not exist.").arg(path));
    if (!info.isFile())
        throw EDatabaseError(QString("\"%1\" is not a database file.").arg(path));
    sqlite3* db = nullptr;
    const QByteArray utf8 = QFile::encodeName(path);
    int rc = sqlite3_open_v2(utf8.constData(), &db, SQLITE_OPEN_READWRITE, nullptr);
    if (rc != SQLITE_OK) {
        const QString msg = db ? QString::fromUtf8(sqlite3_errmsg(db)) : QString("out of memory");
        sqlite3_close_v2(db);
        throw EDatabaseError(QString("The database file \"%1\" cannot be opened: %2.").arg(path, msg));
    }
    sqlite3_extended_result_codes(db, 1);
    sqlite3_busy_timeout(db, busyTimeout_);
    auto fail = [&](const QString& message) {
        sqlite3_close_v2(db);
        throw EDatabaseError(message);
    };
    if (sqlite3_db_readonly(db, "main") == 1)
        fail(QString("The database file \"%1\" cannot be written to. Check its permissions.").arg(path));
    sqlite3_stmt* st = nullptr;
    rc = sqlite3_prepare_v2(db, "SELECT count(*) FROM sqlite_master WHERE type = 'table' AND name = 'Organizations'",
                            -1, &st, nullptr);
    int found = 0;
    if (rc == SQLITE_OK) {
        rc = sqlite3_step(st);
        if (rc == SQLITE_ROW) found = sqlite3_column_int(st, 0);
        sqlite3_finalize(st);
    }
    const int primary = rc & 0xff;
    if (primary == SQLITE_BUSY || primary == SQLITE_LOCKED)
        fail(QString("The database file \"%1\" is locked by another program.").arg(path));
    if (primary == SQLITE_NOTADB || primary == SQLITE_CORRUPT)
        fail(QString("The file \"%1\" is not a Pellmark database.").arg(path));
    if (rc != SQLITE_ROW)
        fail(QString("The database file \"%1\" cannot be opened: %2.").arg(path, QString::fromUtf8(sqlite3_errmsg(db))));
    if (found == 0) fail(QString("The file \"%1\" is not a Pellmark database.").arg(path));
    // Write-ahead logging lets a second copy of the program read while one
    // writes; every commit reaches the disk before the post returns.
    sqlite3_exec(db, "PRAGMA journal_mode = WAL", nullptr, nullptr, nullptr);
    sqlite3_exec(db, "PRAGMA synchronous = FULL", nullptr, nullptr, nullptr);
    db_ = db;
    path_ = path;
    ++generation_;
    if (AfterConnect) AfterConnect();
}

void TConnection::Raise(int code, const QString& context) const
{
    const QString detail = db_ ? QString::fromUtf8(sqlite3_errmsg(db_)) : QString();
    const QString prefix = context.isEmpty() ? QString() : context + ": ";
    switch (code & 0xff) {
    case SQLITE_BUSY:
    case SQLITE_LOCKED:
        throw EDatabaseError(prefix + QString("The database is busy: another program is writing to \"%1\". "
                                              "Nothing was saved; try again in a moment.").arg(path_));
    case SQLITE_CONSTRAINT:
        if (code == SQLITE_CONSTRAINT_UNIQUE || code == SQLITE_CONSTRAINT_PRIMARYKEY) {
            const QString what = detail.section(": ", 1);
            throw EDatabaseError(prefix + QString("The change was not saved, because another row already has "
                                                  "the same value in %1.").arg(what));
        }
        if (code == SQLITE_CONSTRAINT_NOTNULL)
            throw EDatabaseError(prefix + QString("Field '%1' must have a value").arg(detail.section('.', -1)));
        break;
    case SQLITE_FULL:
        throw EDatabaseError(prefix + "The disk is full; the change was not saved.");
    case SQLITE_READONLY:
        throw EDatabaseError(prefix + QString("The database file \"%1\" cannot be written to.").arg(path_));
    case SQLITE_CORRUPT:
    case SQLITE_NOTADB:
        throw EDatabaseError(prefix + QString("The database file \"%1\" is damaged.").arg(path_));
    case SQLITE_IOERR:
        throw EDatabaseError(prefix + QString("A read or write error occurred on the database file \"%1\" (%2).")
                                          .arg(path_, detail));
    default:
        break;
    }
    throw EDatabaseError(prefix + detail);
}

void TConnection::ExecRaw(const QString& sql)
{
    if (!db_) throw EDatabaseError("The database is not open");
    const QByteArray utf8 = sql.toUtf8();
    const int rc = sqlite3_exec(db_, utf8.constData(), nullptr, nullptr, nullptr);
    if (rc != SQLITE_OK) Raise(sqlite3_extended_errcode(db_), QString());
}

int TConnection::Execute(const QString& jetSql)
{
    if (!db_) throw EDatabaseError("The database is not open");
    const QStringList statements = TranslateJetSql(jetSql);
    int changes = 0;
    BeginTrans();
    try {
        for (const QString& s : statements) {
            ExecRaw(s);
            changes += sqlite3_changes(db_);
        }
    } catch (...) {
        RollbackTrans();
        throw;
    }
    CommitTrans();
    return changes;
}

void TConnection::BeginTrans()
{
    if (transLevel_ == 0) ExecRaw("BEGIN IMMEDIATE");
    else ExecRaw(QString("SAVEPOINT pm_level%1").arg(transLevel_));
    ++transLevel_;
}

void TConnection::CommitTrans()
{
    if (transLevel_ == 0) throw EDatabaseError("No transaction is active");
    if (transLevel_ == 1) {
        try {
            ExecRaw("COMMIT");
        } catch (...) {
            sqlite3_exec(db_, "ROLLBACK", nullptr, nullptr, nullptr);
            transLevel_ = 0;
            throw;
        }
    } else {
        ExecRaw(QString("RELEASE pm_level%1").arg(transLevel_ - 1));
    }
    --transLevel_;
}

void TConnection::RollbackTrans()
{
    if (transLevel_ == 0 || !db_) return;
    --transLevel_;
    if (transLevel_ == 0) {
        sqlite3_exec(db_, "ROLLBACK", nullptr, nullptr, nullptr);
    } else {
        const QByteArray sql = QString("ROLLBACK TO pm_level%1; RELEASE pm_level%1").arg(transLevel_).toUtf8();
        sqlite3_exec(db_, sql.constData(), nullptr, nullptr, nullptr);
    }
}

bool CreateDatabaseFile(const QString& path, const QString& sqlScript, QString& error)
{
    const QString tmp = path + ".new";
    for (const QString& f : {tmp, tmp + "-wal", tmp + "-shm"}) QFile::remove(f);
    sqlite3* db = nullptr;
    int rc = sqlite3_open_v2(QFile::encodeName(tmp).constData(), &db, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, nullptr);
    auto fail = [&](const QString& why) {
        error = why;
        sqlite3_close_v2(db);
        QFile::remove(tmp);
        return false;
    };
    if (rc != SQLITE_OK) return fail(QString("cannot create %1").arg(tmp));
    char* msg = nullptr;
    const QByteArray script = ("BEGIN;\n" + sqlScript + "\nCOMMIT;").toUtf8();
    rc = sqlite3_exec(db, script.constData(), nullptr, nullptr, &msg);
    if (rc != SQLITE_OK) {
        const QString why = msg ? QString::fromUtf8(msg) : QString("error %1").arg(rc);
        sqlite3_free(msg);
        return fail(why);
    }
    rc = sqlite3_exec(db, "PRAGMA journal_mode = WAL", nullptr, nullptr, nullptr);
    if (rc != SQLITE_OK) return fail("cannot set the journal mode");
    if (sqlite3_close(db) != SQLITE_OK) return fail("cannot close the new database");
    db = nullptr;
    for (const QString& f : {path, path + "-wal", path + "-shm"}) QFile::remove(f);
    if (!QFile::rename(tmp, path)) {
        error = QString("cannot rename %1 to %2").arg(tmp, path);
        QFile::remove(tmp);
        return false;
    }
    return true;
}

} // namespace pm
