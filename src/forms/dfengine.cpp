#include "forms/dfengine.h"

#include "forms/mathparser.h"

#include "components/entry.h"
#include "components/formatting.h"

#include <QDir>
#include <QFileInfo>
#include <QSet>

namespace pm {

namespace {
// Host calls nest at most this deep, and one expression answers at most this
// many calls: a formula from a definition file must not hang or exhaust the
// stack.
constexpr int kMaxCallDepth = 64;
constexpr int kMaxCallsPerExpression = 1000;
// Field values may themselves hold references that later fields replace, so
// a hostile form could grow a formula without bound; substitution stops
// when the text reaches this length (the formula then fails as text).
constexpr qsizetype kMaxFormulaText = 1 << 20;

const QString kNumberFormat = QStringLiteral("0.##########");
} // namespace

TDFEngine::TDFEngine() : FForm(std::make_unique<TDFForm>())
{
    FForm->SetEngine(this);
}

TDFEngine::~TDFEngine()
{
    if (FForm)
        FForm->SetEngine(nullptr);
}

void TDFEngine::SetForm(const TDFForm* form)
{
    if (form && form != FForm.get())
        FForm->Assign(form);
}

void TDFEngine::AttachDisplay(const void* target, TDisplayNotify notify)
{
    FDisplayTarget = target;
    FDisplayNotify = std::move(notify);
}

void TDFEngine::DetachDisplay(const void* target)
{
    if (FDisplayTarget == target) {
        FDisplayTarget = nullptr;
        FDisplayNotify = nullptr;
    }
}

// ---------------------------------------------------------------------------
// Form

void TDFEngine::NewForm()
{
    if (FForm)
        FForm->SetEngine(nullptr);
    FForm.reset();
    FForm = std::make_unique<TDFForm>();
    FForm->SetEngine(this);
    FForm->AddPage();
    CalcOrder.clear();
    Changed(FForm.get(), false);
}

bool TDFEngine::FormDataStored() const { return FForm->PageCount() > 0; }

QByteArray TDFEngine::FormData() const
{
    if (FForm->PageCount() == 0 || FForm->Pages(0)->ChildCount() == 0)
        return QByteArray();
    return FForm->SaveToBytes();
}

void TDFEngine::SetFormData(const QByteArray& block)
{
    NewForm();
    if (!block.isEmpty())
        FForm->LoadFromBytes(block);
}

TDFPage* TDFEngine::AddPage() { return FForm->AddPage(); }
int TDFEngine::PageCount() const { return FForm->PageCount(); }
TDFPage* TDFEngine::Pages(int index) const { return FForm->Pages(index); }

// ---------------------------------------------------------------------------
// Fields

const std::vector<TDFField*>& TDFEngine::FieldList() const
{
    const quint64 version = TDefinedStream::StructureVersion();
    if (version != FFieldCacheVersion) {
        FFieldCache.clear();
        for (int i = 0; i < FForm->ChildCount(); ++i) {
            auto* page = dynamic_cast<TDFPage*>(FForm->Children(i));
            if (!page)
                continue;
            for (int j = 0; j < page->ChildCount(); ++j)
                if (auto* f = dynamic_cast<TDFField*>(page->Children(j)))
                    FFieldCache.push_back(f);
        }
        FFieldCacheVersion = version;
    }
    return FFieldCache;
}

int TDFEngine::FieldCount() const { return int(FieldList().size()); }

TDFField* TDFEngine::Fields(int index) const
{
    const auto& list = FieldList();
    if (index < 0 || size_t(index) >= list.size())
        return nullptr;
    return list[size_t(index)];
}

TDFField* TDFEngine::FindField(const QString& name) const
{
    for (TDFField* f : FieldList())
        if (f->FieldName().compare(name, Qt::CaseInsensitive) == 0)
            return f;
    return nullptr;
}

TDFField* TDFEngine::FieldByName(const QString& name) const
{
    TDFField* f = FindField(name);
    if (!f)
        throw EDFError("Field \"" + name + "\" was not found");
    return f;
}

void TDFEngine::ClearFields()
{
    BeginUpdate();
    try {
        for (TDFField* f : std::vector<TDFField*>(FieldList()))
            f->SetData(QString());
    } catch (...) {
        EndUpdate();
        throw;
    }
    EndUpdate();
}

void TDFEngine::LoadFromDataset(const TDFDataRecord& dataset, bool mustExist)
{
    for (TDFField* f : std::vector<TDFField*>(FieldList())) {
        const QString link = f->FieldLink();
        if (link.isEmpty())
            continue;
        if (dataset.HasField(link))
            f->SetValue(dataset.FieldText(link));
        else if (mustExist)
            throw EDFDatasetError("Dataset field \"" + link + "\" was not found");
    }
}

void TDFEngine::SaveToDataset(TDFDataRecord& dataset, bool mustExist) const
{
    for (TDFField* f : FieldList()) {
        const QString link = f->FieldLink();
        if (link.isEmpty())
            continue;
        if (!dataset.HasField(link)) {
            if (mustExist)
                throw EDFDatasetError("Dataset field \"" + link + "\" was not found");
            continue;
        }
        switch (f->Format()) {
        case dfInteger:
            dataset.SetFieldInteger(link, f->AsInteger());
            break;
        case dfFloat:
        case dfPercent:
            dataset.SetFieldFloat(link, f->AsFloat());
            break;
        default:
            dataset.SetFieldText(link, f->Data());
            break;
        }
    }
}

// ---------------------------------------------------------------------------
// Change notification

void TDFEngine::Changed(TDefinedStream* object, bool isLoading)
{
    if (FUpdating) {
        FChangePending = true;
        return;
    }
    if (OnChange)
        OnChange(this, object, isLoading);
    if (FDisplayNotify)
        FDisplayNotify(isLoading);
}

void TDFEngine::DimChanged(TDFPage* page, bool isLoading)
{
    if (OnDimChange)
        OnDimChange(this, page, isLoading);
}

void TDFEngine::BeginUpdate()
{
    Changed(FForm.get(), false);
    FUpdating = true;
    FChangePending = false;
}

void TDFEngine::EndUpdate()
{
    FUpdating = false;
    if (FChangePending) {
        FChangePending = false;
        Changed(FForm.get(), false);
    }
}

bool TDFEngine::LogFieldChange(const QString& name, const QString& oldValue)
{
    ChangeLog.append(name + "=" + oldValue);
    return true;
}

// ---------------------------------------------------------------------------
// Recalculation

void TDFEngine::Recalculate()
{
    if (FRecalculating)
        return;
    FRecalculating = true;
    try {
        RecalculateAll();
    } catch (...) {
        FRecalculating = false;
        throw;
    }
    FRecalculating = false;
}

void TDFEngine::RecalculateAll()
{
    if (!CalcOrder.empty()) {
        // The order holds fields of the tree it was built on; when the tree
        // was replaced without NewForm it is built again rather than used.
        const auto& list = FieldList();
        QSet<const TDFField*> live(list.begin(), list.end());
        for (const auto& entry : CalcOrder)
            if (!live.contains(entry.second)) {
                CalcOrder.clear();
                break;
            }
    }
    if (CalcOrder.empty())
        BuildCalcOrder();
    const auto order = CalcOrder;
    for (const auto& entry : order)
        CalculateField(entry.second);
}

void TDFEngine::BuildCalcOrder()
{
    CalcOrder.clear();
    for (TDFField* f : FieldList())
        if (!f->Expression().isEmpty())
            CalcOrder.emplace_back(f->FieldName().toUpper(), f);
    const int count = int(CalcOrder.size());
    int i = 0;
    int moves = 0;
    QString lastName, lastExpression;
    while (i < count - 1 && moves < kMaxCalcMoves) {
        const QString x = CalcOrder[size_t(i)].second->Expression().toUpper();
        if (CalcOrder[size_t(i)].second->FieldName() == "TotAppDiv") {
            auto entry = CalcOrder[size_t(i)];
            CalcOrder.erase(CalcOrder.begin() + i);
            CalcOrder.insert(CalcOrder.begin(), entry);
        } else {
            for (int j = i + 1; j < count; ++j) {
                if (x.contains("<" + CalcOrder[size_t(j)].first + ">")) {
                    std::swap(CalcOrder[size_t(i)], CalcOrder[size_t(j)]);
                    lastName = CalcOrder[size_t(j)].first;
                    lastExpression = x;
                    --i;
                    ++moves;
                    break;
                }
            }
        }
        ++i;
    }
    if (moves >= kMaxCalcMoves && OnShowMessage)
        OnShowMessage("This form contains a circular reference which may prevent it from calculating correctly. "
                      "\r\n\r\nField name: " + lastName + "\r\nExpression: " + lastExpression);
}

void TDFEngine::CalculateField(TDFField* field)
{
    if (!field || field->Expression().isEmpty())
        return;
    const QString text = SubstituteFieldValues(field->Expression());
    const QString old = field->Data();
    const QString result = EvaluateExpression(field, text);
    field->SetValue(result);
    if (field->Data() != old)
        Recalculated = true;
}

namespace {
QString ValueText(const TDFField* f)
{
    switch (f->Format()) {
    case dfInteger:
    case dfFloat:
    case dfPercent:
        return FormatFloat(kNumberFormat, f->AsFloat());
    case dfCheckbox:
        return f->Checked() ? "1" : "0";
    case dfCombolist: {
        QString items = f->ComboItems();
        items.replace("\r\n", "\n").replace('\r', '\n');
        if (items.endsWith('\n'))
            items.chop(1);
        const QStringList lines = items.isEmpty() ? QStringList() : items.split('\n');
        for (qsizetype i = 0; i < lines.size(); ++i)
            if (lines[i].compare(f->Data(), Qt::CaseInsensitive) == 0)
                return QString::number(i);
        return "-1";
    }
    default:
        return f->Data();
    }
}
} // namespace

namespace {
bool IsPlainName(const QString& name)
{
    for (QChar c : name)
        if (c.unicode() >= 0x80 || c == '<' || c == '>')
            return false;
    return true;
}

// The upper-case texts between each "<" and the next ">": a plain field
// name can only be referred to when it is one of them.
void CollectReferences(const QString& text, QSet<QString>& names)
{
    names.clear();
    for (qsizetype open = text.indexOf('<'); open >= 0; open = text.indexOf('<', open + 1)) {
        const qsizetype close = text.indexOf('>', open + 1);
        if (close < 0)
            break;
        names.insert(text.mid(open + 1, close - open - 1).toUpper());
    }
}
} // namespace

QString TDFEngine::SubstituteFieldValues(const QString& text) const
{
    QString t = text;
    QSet<QString> refs;
    CollectReferences(t, refs);
    for (TDFField* f : FieldList()) {
        if (!t.contains('<') || t.size() > kMaxFormulaText)
            break;
        const QString& name = f->FieldName();
        // a quick look-up for plain names; anything else is searched for
        if (IsPlainName(name) && !refs.contains(name.toUpper()))
            continue;
        const QString ref = "<" + name + ">";
        if (t.contains(ref, Qt::CaseInsensitive)) {
            const QString value = ValueText(f);
            t.replace(ref, value, Qt::CaseInsensitive);
            CollectReferences(t, refs);   // a value may form new references
        }
    }
    return t;
}

namespace {
thread_local int gCallDepth = 0;
struct TDepthGuard {
    TDepthGuard() { ++gCallDepth; }
    ~TDepthGuard() { --gCallDepth; }
};
} // namespace

QString TDFEngine::EvaluateExpression(TDFField* field, const QString& text)
{
    TDepthGuard guard;
    QString t = text;
    if (gCallDepth <= kMaxCallDepth) {
        for (int calls = 0; t.contains('@') && calls < kMaxCallsPerExpression; ++calls) {
            QString name;
            QStringList args;
            const QString call = ParseFunctionCall(t, name, args);
            if (call.isEmpty())
                break;
            const QString result = CallHostFunction(field, name, args);
            t.replace(call, result, Qt::CaseInsensitive);
        }
    }
    QString r = t;
    r.remove('"');
    r.remove('\'');
    TMathParser parser;
    parser.ParseString = t;
    parser.Parse();
    if (!parser.ParseError())
        r = FormatFloat(kNumberFormat, double(parser.ParseValue()));
    return r;
}

QString TDFEngine::CallHostFunction(TDFField* field, const QString& name, QStringList args)
{
    for (QString& arg : args)
        arg = EvaluateExpression(field, arg);
    QString value = "0";
    if (OnEvaluateFunction)
        OnEvaluateFunction(this, field, name, args, value);
    return value;
}

QString TDFEngine::LocatePDFBackground(const QString& executableFolder) const
{
    QString name = FForm->ExternalPDFFile();
    if (name.isEmpty())
        return QString();
    if (!name.endsWith(".pdf", Qt::CaseInsensitive))
        name += ".pdf";
    if (OnLocatePDFBackground) {
        QString spec = name;
        OnLocatePDFBackground(const_cast<TDFEngine*>(this), spec);
        return spec;
    }
    if (!QFileInfo::exists(name))
        name = QDir(executableFolder).filePath("PDF Forms/" + name);
    return name;
}

} // namespace pm
