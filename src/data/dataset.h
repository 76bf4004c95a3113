#pragma once
// The dataset layer over SQLite that the data module and every window use:
// a connection to one database file, and datasets with static cursors over
// it (states, events, persistent and calculated fields with text handlers,
// named parameters, bookmarks, locate, requery, display suspension and
// observers). Every post is written to the file at once.
//
// Column kinds follow Access. The declared SQLite types of our tables name
// them (see schema.sql): "INTEGER" (the AutoNumber row id), "LONGINT" (Long),
// "CURRENCY" (a 64-bit count of 1/10000), "DECIMAL(p,s)" (stored the same
// way), "DATETIME" (day number since 30 December 1899), "YESNO" (0/1),
// "TEXT(n)" (at most n characters), "LONGTEXT" (Memo), "DOUBLE".
//
// Failures are EDatabaseError exceptions carrying a message for the user.

#include "components/currency.h"
#include "components/datetime.h"

#include <QString>
#include <QStringList>

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <stdexcept>
#include <variant>
#include <vector>

struct sqlite3;
struct sqlite3_stmt;

namespace pm {

class EDatabaseError : public std::runtime_error {
public:
    explicit EDatabaseError(const QString& message)
        : std::runtime_error(message.toStdString()), message_(message) {}
    const QString& Message() const { return message_; }
private:
    QString message_;
};

// A field or parameter value: empty (Null), Yes/No, whole number, floating
// value (also dates), exact currency, or text.
class TValue {
public:
    using Storage = std::variant<std::monostate, bool, int64_t, double, Currency, QString>;
    TValue() = default;
    TValue(bool v) : v_(v) {}
    TValue(int v) : v_(int64_t(v)) {}
    TValue(int64_t v) : v_(v) {}
    TValue(double v) : v_(v) {}
    TValue(Currency v) : v_(v) {}
    TValue(const QString& v) : v_(v) {}
    TValue(const char* v) : v_(QString::fromUtf8(v)) {}

    bool IsNull() const { return std::holds_alternative<std::monostate>(v_); }
    bool IsBool() const { return std::holds_alternative<bool>(v_); }
    bool IsInt() const { return std::holds_alternative<int64_t>(v_); }
    bool IsFloat() const { return std::holds_alternative<double>(v_); }
    bool IsCurrency() const { return std::holds_alternative<Currency>(v_); }
    bool IsString() const { return std::holds_alternative<QString>(v_); }
    const Storage& Get() const { return v_; }

    bool operator==(const TValue& o) const { return v_ == o.v_; }

private:
    Storage v_;
};

enum class TFieldKind {
    Variant,    // a computed column of no declared kind: whatever SQLite holds
    AutoInc,    // AutoNumber, read-only, filled by the database
    Integer,    // Long, 32-bit signed
    Float,      // Double
    Currency,   // exact, 1/10000
    Decimal,    // exact decimal(p, s), s <= 4
    DateTime,   // day number
    Boolean,    // Yes/No
    Text,       // Text(n)
    Memo        // unbounded text
};

enum class TDataSetState { Inactive, Browse, Edit, Insert, CalcFields };

// What observers (grids, bound edits, the report window) are told.
enum class TDataEvent {
    ActiveChange,    // opened or closed
    StateChange,     // browse / edit / insert
    DataSetChange,   // rows added, removed or re-read; display resumed after changes
    DataSetScroll,   // the current row moved
    RecordChange,    // the current row was posted or its edits cancelled
    FieldChange      // one field of the current row changed (field given)
};

class TDataSet;
class TConnection;

class TField {
public:
    using GetTextHandler = std::function<void(TField& sender, QString& text, bool displayText)>;
    using SetTextHandler = std::function<void(TField& sender, const QString& text)>;
    using ChangeHandler = std::function<void(TField& sender)>;

    const QString& FieldName() const { return name_; }
    TDataSet& DataSet() const { return *dataSet_; }
    TFieldKind Kind() const { return kind_; }
    bool Calculated() const { return calculated_; }
    int Size() const { return size_; }           // characters of Text(n)
    int Precision() const { return precision_; }
    int Scale() const { return scale_; }
    bool Required() const { return required_; }
    bool ReadOnly() const { return readOnly_ || kind_ == TFieldKind::AutoInc; }
    void SetReadOnly(bool on) { readOnly_ = on; }
    bool Bound() const { return calculated_ || dataIndex_ >= 0; }

    QString DisplayLabel() const { return label_.isEmpty() ? name_ : label_; }
    void SetDisplayLabel(const QString& label) { label_ = label; }
    // Number or date-time pattern of the display text (formatting.h).
    const QString& DisplayFormat() const { return displayFormat_; }
    void SetDisplayFormat(const QString& format) { displayFormat_ = format; }
    const QString& EditFormat() const { return editFormat_; }
    void SetEditFormat(const QString& format) { editFormat_ = format; }

    GetTextHandler OnGetText;
    SetTextHandler OnSetText;
    ChangeHandler OnChange;

    // Reading. A closed or empty dataset reads as Null.
    const TValue& Value() const;
    bool IsNull() const { return Value().IsNull(); }
    QString AsString() const;
    int64_t AsInteger() const;
    double AsFloat() const;
    Currency AsCurrency() const;
    TDateTime AsDateTime() const { return AsFloat(); }
    bool AsBoolean() const;

    // Writing: only in edit or insert state (and inside calculated-field
    // handlers). The value is converted to the field's kind; a value that
    // does not convert or does not fit is refused with EDatabaseError and
    // the field keeps its value.
    void SetValue(const TValue& value);
    void Clear() { SetValue(TValue()); }
    void SetAsString(const QString& text);
    void SetAsInteger(int64_t v) { SetValue(TValue(v)); }
    void SetAsFloat(double v) { SetValue(TValue(v)); }
    void SetAsCurrency(Currency v) { SetValue(TValue(v)); }
    void SetAsDateTime(TDateTime v) { SetValue(TValue(double(v))); }
    void SetAsBoolean(bool v) { SetValue(TValue(v)); }

    // The text shown (OnGetText with displayText, else DisplayFormat), the
    // text to edit (OnGetText without displayText, else EditFormat), and
    // entered text (OnSetText, else SetAsString).
    QString DisplayText() const;
    QString Text() const;
    void SetText(const QString& text);

    // The plain conversion of a value to this field's kind, as SetValue does
    // it; throws EDatabaseError.
    TValue Convert(const TValue& value) const;

private:
    friend class TDataSet;
    TField(TDataSet* ds, const QString& name) : dataSet_(ds), name_(name) {}
    QString DefaultText(bool display) const;

    TDataSet* dataSet_;
    QString name_;
    QString label_;
    QString displayFormat_;
    QString editFormat_;
    TFieldKind kind_ = TFieldKind::Variant;
    bool calculated_ = false;
    bool readOnly_ = false;
    bool required_ = false;
    int size_ = 0;
    int precision_ = 0;
    int scale_ = 0;
    int dataIndex_ = -1;   // column in the row, or -1
    int calcIndex_ = -1;   // slot of a calculated field
};

// A named query parameter. The data type says how the value is bound.
enum class TParamType { Unknown, String, FixedChar, WideString, Integer, Float, Currency, DateTime, Boolean };

class TParam {
public:
    const QString& Name() const { return name_; }
    TParamType DataType() const { return type_; }
    void SetDataType(TParamType type) { type_ = type; }
    const TValue& Value() const { return value_; }
    void SetValue(const TValue& value) { value_ = value; }
    void SetAsString(const QString& v) { value_ = v; if (type_ == TParamType::Unknown) type_ = TParamType::String; }
    void SetAsInteger(int64_t v) { value_ = v; type_ = TParamType::Integer; }
    void Clear() { value_ = TValue(); }
    explicit TParam(const QString& name) : name_(name) {}
private:
    QString name_;
    TParamType type_ = TParamType::Unknown;
    TValue value_;
};

using TBookmark = uint64_t;   // 0 is no bookmark

enum TLocateOption { loCaseInsensitive = 1, loPartialKey = 2 };

class TDataSet {
public:
    using Event = std::function<void(TDataSet&)>;
    using Observer = std::function<void(TDataSet&, TDataEvent, TField*)>;

    TDataSet(TConnection& connection, const QString& name);
    ~TDataSet();
    TDataSet(const TDataSet&) = delete;
    TDataSet& operator=(const TDataSet&) = delete;

    const QString& Name() const { return name_; }
    TConnection& Connection() const { return connection_; }

    // The SQL text. Changing it closes the dataset and rebuilds the parameters
    // (values of parameters that keep their name are kept).
    void SetSQL(const QString& sql);
    void SetSQL(const QStringList& lines) { SetSQL(lines.join("\r\n")); }
    const QString& SQL() const { return sql_; }
    // Keeps the compiled query between opens.
    void SetPrepared(bool on);
    bool Prepared() const { return prepared_; }

    TParam& ParamByName(const QString& name);
    TParam* FindParam(const QString& name);
    const std::vector<std::unique_ptr<TParam>>& Params() const { return params_; }

    // Persistent fields, declared before opening so that handlers and
    // formats can be attached; bound to the query's columns by name at open.
    TField& DefineField(const QString& name);
    TField& AddCalcField(const QString& name, TFieldKind kind, const QString& displayFormat = QString());
    TField& FieldByName(const QString& name) const;   // throws when missing
    TField* FindField(const QString& name) const;
    int FieldCount() const { return int(order_.size()); }
    TField& Field(int index) const { return *order_.at(size_t(index)); }
    const std::vector<TField*>& Fields() const { return order_; }
    // The table whose rows the dataset edits ("" for a read-only query).
    const QString& TableName() const { return table_; }

    // Opening and closing. Open reads every row of the query (a static
    // cursor); Requery reads them again with the current parameter values
    // and moves to the first row.
    void Open();
    void Close();
    void Requery();
    void SetActive(bool on) { if (on) Open(); else Close(); }
    bool Active() const { return state_ != TDataSetState::Inactive; }
    TDataSetState State() const { return state_; }
    bool Modified() const { return modified_; }

    // Navigation. Moving from a row being edited posts it when modified and
    // cancels it otherwise.
    void First();
    void Last();
    void Next();
    void Prior();
    int MoveBy(int distance);
    bool Eof() const { return eof_; }
    bool Bof() const { return bof_; }
    bool IsEmpty() const { return rows_.empty() && state_ != TDataSetState::Insert; }
    int RecordCount() const { return int(rows_.size()); }
    int RecNo() const;   // 1-based; 0 when empty or inserting
    void SetRecNo(int recNo);
    bool Locate(const QString& fieldName, const TValue& value, int options = 0);

    TBookmark GetBookmark() const;
    bool BookmarkValid(TBookmark bookmark) const;
    void GotoBookmark(TBookmark bookmark);   // throws "Record not found"

    // Editing.
    void Insert();
    void Append();
    void Edit();
    void Post();
    void Cancel();
    void Delete();
    void CheckBrowseMode();
    // The batch calls of the report editor. No dataset holds pending rows
    // (every post is written at once): UpdateBatch saves the row being
    // edited, CancelBatch drops its unsaved edits; rows already posted stay.
    void UpdateBatch() { CheckBrowseMode(); }
    void CancelBatch() { Cancel(); }

    // Display suspension: while disabled, observers are not told about
    // scrolling and data changes; enabling again tells them once.
    void DisableControls();
    void EnableControls();
    bool ControlsDisabled() const { return disableCount_ > 0; }

    int AddObserver(Observer observer);
    void RemoveObserver(int id);

    // Recalculates the calculated fields of the current row.
    void CalculateFields();
    bool AutoCalcFields = true;

    Event BeforeOpen, AfterOpen, BeforeClose, AfterClose;
    Event BeforeInsert, AfterInsert, BeforeEdit, AfterEdit;
    Event BeforePost, AfterPost, BeforeCancel, AfterCancel;
    Event BeforeDelete, AfterDelete, BeforeScroll, AfterScroll;
    Event OnNewRecord, OnCalcFields;

private:
    friend class TField;
    struct Row {
        int64_t rowid = 0;
        TBookmark serial = 0;
        std::vector<TValue> values;
    };
    struct ColumnInfo {
        QString name;
        QString declType;
        bool notNull = false;
        bool primaryKey = false;
    };

    void CheckActive() const;
    void CheckConnection();
    TDataSetState EffectiveState() const { return state_ == TDataSetState::CalcFields ? calcOuter_ : state_; }
    void CheckEditable() const;
    const TValue* ReadSlot(const TField& f) const;
    TValue* WriteSlot(const TField& f);
    void FieldChanged(TField& f);
    void Notify(TDataEvent event, TField* field = nullptr);
    void SetState(TDataSetState state);
    void Fire(const Event& event) { if (event) event(*this); }
    void ReadRows();
    void BindFields(sqlite3_stmt* stmt);
    void LoadTableInfo();
    void BeginInsert(bool append);
    void ScrollTo(int index, bool checkBrowse = true);
    void WriteInsert();
    void WriteUpdate();
    void WriteDelete(const Row& row);
    sqlite3_stmt* CachedStatement(const QString& key, const QString& sql);
    void FinalizeStatements();
    void ParseParams();
    void BindParams(sqlite3_stmt* stmt);

    TConnection& connection_;
    QString name_;
    QString sql_;
    QString table_;
    bool prepared_ = false;
    sqlite3_stmt* select_ = nullptr;
    std::map<QString, sqlite3_stmt*> statements_;
    std::vector<std::unique_ptr<TParam>> params_;

    std::vector<std::unique_ptr<TField>> fieldStore_;
    std::vector<TField*> order_;        // data fields in column order, then calculated fields
    std::vector<TField*> dataFields_;   // by data index
    std::vector<TField*> calcFields_;   // by calc index
    std::map<QString, TField*> byName_; // lower-case name
    std::map<QString, TField*> byExactName_;
    std::map<QString, ColumnInfo> tableInfo_;   // lower-case column name
    bool tableInfoLoaded_ = false;

    TDataSetState state_ = TDataSetState::Inactive;
    std::vector<Row> rows_;
    int cur_ = -1;          // current row, -1 when empty
    int insertPos_ = -1;    // where an inserted row goes
    int savedCur_ = -1;     // current row before Insert
    bool bof_ = true;
    bool eof_ = true;
    bool modified_ = false;
    std::vector<TValue> editBuf_;
    std::vector<TValue> original_;
    std::vector<TValue> calcBuf_;
    bool calculating_ = false;
    TBookmark nextSerial_ = 1;
    int generation_ = -1;
    TDataSetState calcOuter_ = TDataSetState::Inactive;

    int disableCount_ = 0;
    bool pendingChange_ = false;
    std::vector<std::pair<int, Observer>> observers_;
    int nextObserver_ = 1;
};

// The connection to one database file.
class TConnection {
public:
    TConnection() = default;
    ~TConnection();
    TConnection(const TConnection&) = delete;
    TConnection& operator=(const TConnection&) = delete;

    // Opens an existing database file. Never creates one. Fails with
    // EDatabaseError when the file is missing, is not a Pellmark database,
    // cannot be written, or is locked by another program.
    void Open(const QString& path);
    void Close();
    bool Connected() const { return db_ != nullptr; }
    const QString& Path() const { return path_; }
    sqlite3* Handle() const { return db_; }
    // Changes at every open, so that datasets drop statements of an old file.
    int Generation() const { return generation_; }

    // How long a write waits for another program's write to finish before
    // failing with "the database is busy" (milliseconds).
    void SetBusyTimeout(int ms);
    int BusyTimeout() const { return busyTimeout_; }

    // Runs one Jet SQL statement (DDL translated, DML as written) in one
    // transaction: it happens whole or not at all. Returns the rows changed.
    int Execute(const QString& jetSql);

    // Explicit transactions (nestable; inner levels are savepoints).
    void BeginTrans();
    void CommitTrans();
    void RollbackTrans();
    int TransactionLevel() const { return transLevel_; }

    // Raises EDatabaseError for an SQLite failure code, with a clear text.
    [[noreturn]] void Raise(int code, const QString& context) const;
    // Runs plain SQLite SQL (no translation), throwing on failure.
    void ExecRaw(const QString& sql);

    std::function<void()> AfterConnect;

private:
    sqlite3* db_ = nullptr;
    QString path_;
    int busyTimeout_ = 5000;
    int transLevel_ = 0;
    int generation_ = 0;
};

// Creates a new database file from an SQL script (used by the build and by
// tests; the program itself never creates a database). Replaces an existing
// file. Returns false with the reason in error.
bool CreateDatabaseFile(const QString& path, const QString& sqlScript, QString& error);

} // namespace pm
