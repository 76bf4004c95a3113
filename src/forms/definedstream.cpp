#include "forms/definedstream.h"

#include "components/win1252.h"

#include <QBuffer>
#include <QClipboard>
#include <QFile>
#include <QGuiApplication>
#include <atomic>

namespace pm {

namespace {
std::atomic<quint64> gStructureVersion{1};

TDefinedStream* CreateDefinedStream() { return new TDefinedStream; }
} // namespace

const TDFClass TDefinedStream::StaticClass = {"TDefinedStream", nullptr, &CreateDefinedStream};

bool TDFClass::InheritsFrom(const TDFClass* base) const
{
    for (const TDFClass* c = this; c; c = c->Parent)
        if (c == base)
            return true;
    return false;
}

bool TPropInfo::IsSimple() const
{
    return Type != TPropType::Picture && Type != TPropType::Event && Name != "Tag";
}

TDefinedStream::TDefinedStream() = default;

TDefinedStream::~TDefinedStream()
{
    // children first, the last first
    while (!FChildren.empty())
        FChildren.pop_back();
    StructureChanged();
}

quint64 TDefinedStream::StructureVersion() { return gStructureVersion.load(); }
void TDefinedStream::StructureChanged() { ++gStructureVersion; }

void TDefinedStream::SetTag(qint32 tag)
{
    if (FTag != tag) {
        FTag = tag;
        Changed();
    }
}

TDefinedStream* TDefinedStream::Children(int index) const
{
    if (index < 0 || index >= ChildCount())
        return nullptr;
    return FChildren[size_t(index)].get();
}

int TDefinedStream::IndexOfChild(const TDefinedStream* child) const
{
    for (size_t i = 0; i < FChildren.size(); ++i)
        if (FChildren[i].get() == child)
            return int(i);
    return -1;
}

int TDefinedStream::CountOfClass(const TDFClass* c) const
{
    int n = 0;
    for (const auto& child : FChildren)
        if (child->InheritsFrom(c))
            ++n;
    return n;
}

TDefinedStream* TDefinedStream::ChildOfClass(const TDFClass* c, int index) const
{
    int remaining = index;
    for (const auto& child : FChildren)
        if (child->InheritsFrom(c)) {
            if (remaining == 0)
                return child.get();
            --remaining;
        }
    throw EDFError(QString("Index out of bounds: %1.%2 (%3)")
                       .arg(FName, QString::fromLatin1(c ? c->Name : "nil"))
                       .arg(remaining));
}

void TDefinedStream::ExchangeChildren(int index1, int index2)
{
    if (index1 < 0 || index2 < 0 || index1 >= ChildCount() || index2 >= ChildCount())
        throw EDFError("Index out of bounds");
    std::swap(FChildren[size_t(index1)], FChildren[size_t(index2)]);
    StructureChanged();
}

void TDefinedStream::SetParentStream(TDefinedStream* stream) { FParent = stream; }

void TDefinedStream::ResetProperties()
{
    for (const TPropInfo& p : PropList()) {
        if (!p.IsSimple())
            continue;
        if (p.Type == TPropType::String)
            p.SetStr(*this, QString());
        else
            p.SetOrd(*this, 0);
    }
}

void TDefinedStream::SortChildrenByClassName()
{
    const size_t n = FChildren.size();
    for (size_t pass = 0; pass < n; ++pass)
        for (size_t i = 0; i + 1 < n; ++i)
            if (qstrcmp(FChildren[i]->ClassType()->Name, FChildren[i + 1]->ClassType()->Name) > 0)
                std::swap(FChildren[i], FChildren[i + 1]);
    StructureChanged();
}

void TDefinedStream::SortChildren()
{
    if (!OnCompareItems)
        return;
    SortChildrenByClassName();
    const size_t n = FChildren.size();
    for (size_t pass = 0; pass < n; ++pass)
        for (size_t i = 0; i + 1 < n; ++i) {
            bool swap = false;
            OnCompareItems(this, FChildren[i].get(), FChildren[i + 1].get(), swap);
            if (swap)
                std::swap(FChildren[i], FChildren[i + 1]);
        }
    StructureChanged();
}

void TDefinedStream::ClearChildren()
{
    while (!FChildren.empty()) {
        std::unique_ptr<TDefinedStream> last = std::move(FChildren.back());
        FChildren.pop_back();
        StructureChanged();
        last.reset();
    }
}

void TDefinedStream::Clear()
{
    ClearChildren();
    ResetProperties();
}

std::unique_ptr<TDefinedStream> TDefinedStream::DetachChild(TDefinedStream* child)
{
    for (auto it = FChildren.begin(); it != FChildren.end(); ++it)
        if (it->get() == child) {
            std::unique_ptr<TDefinedStream> owned = std::move(*it);
            FChildren.erase(it);
            StructureChanged();
            return owned;
        }
    return nullptr;
}

void TDefinedStream::Release()
{
    if (FParent) {
        std::unique_ptr<TDefinedStream> self = FParent->DetachChild(this);
        FParent = nullptr;
        if (self)
            return;   // freed here
    }
    delete this;
}

int TDefinedStream::SimplePropCount() const
{
    int n = 0;
    for (const TPropInfo& p : PropList())
        if (p.IsSimple())
            ++n;
    return n;
}

const TPropInfo& TDefinedStream::SimpleProps(int index) const
{
    int n = 0;
    for (const TPropInfo& p : PropList())
        if (p.IsSimple()) {
            if (n == index)
                return p;
            ++n;
        }
    throw EDFError("Property index out of bounds");
}

TPropList TDefinedStream::BaseProps()
{
    TPropBuilder b;
    b.Ord("Tag", TPropType::Integer, &TDefinedStream::Tag, &TDefinedStream::SetTag, TStoreRule::NotValue, 0);
    TPropInfo ev;
    ev.Name = "OnCompareItems";
    ev.Type = TPropType::Event;
    ev.Rule = TStoreRule::Never;
    b.List.push_back(ev);
    return b.List;
}

const TPropList& TDefinedStream::PropList() const
{
    static const TPropList list = BaseProps();
    return list;
}

const TPropInfo* TDefinedStream::FindProp(const QByteArray& name) const
{
    for (const TPropInfo& p : PropList())
        if (qstricmp(p.Name.constData(), name.constData()) == 0)
            return &p;
    return nullptr;
}

TDefinedStream* TDefinedStream::AddChild(TDefinedStream* child)
{
    if (!child)
        throw EDFError("New child can not be NIL.. Use AddNewChild");
    std::unique_ptr<TDefinedStream> owned;
    if (child->FParent)
        owned = child->FParent->DetachChild(child);
    if (!owned)
        owned.reset(child);
    FChildren.push_back(std::move(owned));
    StructureChanged();
    if (!IsLoading())
        child->SetParentStream(this);
    else
        child->FParent = this;
    return child;
}

TDefinedStream* TDefinedStream::AddChildCopy(const TDefinedStream* source)
{
    if (!source)
        throw EDFError("New child can not be NIL.. Use AddNewChild");
    TDefinedStream* child = AddNewChild(source->ClassType());
    child->Assign(source);
    return child;
}

TDefinedStream* TDefinedStream::AddNewChild(const TDFClass* c)
{
    if (!c)
        throw EDFError("New child can not be NIL.. Use AddNewChild");
    return AddChild(c->Create());
}

TDefinedStream* TDefinedStream::AddNewChildByName(const QString& className)
{
    const TDFClass* c = FindRegisteredClass(className);
    if (!c)
        throw EDFError(QString("Class %1 not found").arg(className));
    return AddNewChild(c);
}

bool TDefinedStream::IsLoading() const
{
    for (const TDefinedStream* p = this; p; p = p->FParent)
        if (p->FLoading)
            return true;
    return false;
}

void TDefinedStream::Changed(TDefinedStream* sender, bool isLoading)
{
    if (FParent)
        FParent->Changed(sender, isLoading);
}

// ---------------------------------------------------------------------------
// Writing

namespace {

bool IsStored(const TPropInfo& p, const TDefinedStream& s)
{
    switch (p.Type) {
    case TPropType::Event:
        return false;
    case TPropType::Picture:
        return !p.GetBin(s).isEmpty();
    case TPropType::String: {
        QString v = p.GetStr(s);
        if (v.isEmpty())
            return false;
        if (p.Rule == TStoreRule::Template) {
            const TDefinedStream* t = s.StoreTemplate();
            return !t || p.GetStr(*t) != v;
        }
        if (p.Rule == TStoreRule::Custom)
            return p.StoredFn(s);
        return p.Rule != TStoreRule::Never;
    }
    default:
        break;
    }
    switch (p.Rule) {
    case TStoreRule::Always:
    case TStoreRule::NotEmpty:
        return true;
    case TStoreRule::NotValue:
        return p.GetOrd(s) != p.RuleValue;
    case TStoreRule::Template: {
        const TDefinedStream* t = s.StoreTemplate();
        return !t || p.GetOrd(*t) != p.GetOrd(s);
    }
    case TStoreRule::Custom:
        return p.StoredFn(s);
    case TStoreRule::Never:
        return false;
    }
    return false;
}

TStreamValue ValueOf(const TPropInfo& p, const TDefinedStream& s)
{
    switch (p.Type) {
    case TPropType::Integer:
        return TStreamValue::Integer(qint32(p.GetOrd(s)));
    case TPropType::Color: {
        qint32 c = qint32(p.GetOrd(s));
        QString name;
        if (ColorToIdent(c, name))
            return TStreamValue::Ident(name.toLatin1());
        return TStreamValue::Integer(c);
    }
    case TPropType::Charset: {
        qint32 c = qint32(p.GetOrd(s));
        QString name;
        if (CharsetToIdent(c, name))
            return TStreamValue::Ident(name.toLatin1());
        return TStreamValue::Integer(c);
    }
    case TPropType::Enum: {
        qint64 v = p.GetOrd(s);
        if (p.Names && v >= 0 && v < p.Names->size())
            return TStreamValue::Ident(p.Names->at(v).toLatin1());
        return TStreamValue::Integer(qint32(v));
    }
    case TPropType::Boolean:
        return TStreamValue::Boolean(p.GetOrd(s) != 0);
    case TPropType::Set: {
        qint64 bits = p.GetOrd(s);
        QList<QByteArray> names;
        for (qsizetype i = 0; p.Names && i < p.Names->size(); ++i)
            if (bits & (qint64(1) << i))
                names << p.Names->at(i).toLatin1();
        return TStreamValue::Set(names);
    }
    case TPropType::String:
        return TStreamValue::String(p.GetStr(s));
    case TPropType::Picture:
        return TStreamValue::Binary(p.GetBin(s));
    case TPropType::Event:
        break;
    }
    return TStreamValue();
}

// Converts a stream value into the property; false when it cannot be assigned.
bool AssignValue(const TPropInfo& p, TDefinedStream& s, const TStreamValue& v)
{
    switch (p.Type) {
    case TPropType::Integer:
        if (!v.IsInteger())
            return false;
        p.SetOrd(s, v.Int);
        return true;
    case TPropType::Color:
    case TPropType::Charset: {
        qint32 value;
        if (v.Type == vaIdent) {
            QString name = QString::fromLatin1(v.Bytes);
            if (!(p.Type == TPropType::Color ? IdentToColor(name, value) : IdentToCharset(name, value)))
                return false;
        } else if (v.IsInteger()) {
            value = qint32(v.Int);
        } else {
            return false;
        }
        if (p.Type == TPropType::Charset)
            value &= 0xFF;
        p.SetOrd(s, value);
        return true;
    }
    case TPropType::Enum: {
        if (v.Type != vaIdent || !p.Names)
            return false;
        QString name = QString::fromLatin1(v.Bytes);
        for (qsizetype i = 0; i < p.Names->size(); ++i)
            if (p.Names->at(i).compare(name, Qt::CaseInsensitive) == 0) {
                p.SetOrd(s, i);
                return true;
            }
        return false;
    }
    case TPropType::Boolean:
        if (v.Type != vaFalse && v.Type != vaTrue)
            return false;
        p.SetOrd(s, v.Type == vaTrue ? 1 : 0);
        return true;
    case TPropType::Set: {
        if (v.Type != vaSet || !p.Names)
            return false;
        qint64 bits = 0;
        for (const QByteArray& n : v.Names) {
            qsizetype i = 0;
            for (; i < p.Names->size(); ++i)
                if (p.Names->at(i).compare(QString::fromLatin1(n), Qt::CaseInsensitive) == 0)
                    break;
            if (i == p.Names->size())
                return false;
            bits |= qint64(1) << i;
        }
        p.SetOrd(s, bits);
        return true;
    }
    case TPropType::String:
        if (!v.IsString())
            return false;
        p.SetStr(s, v.StringText());
        return true;
    case TPropType::Picture:
        if (v.Type != vaBinary)
            return false;
        p.SetBin(s, v.Bytes);
        return true;
    case TPropType::Event:
        return false;
    }
    return false;
}

} // namespace

QList<TStreamProperty> TDefinedStream::StreamedProperties() const
{
    QList<TStreamProperty> props;
    for (const TPropInfo& p : PropList())
        if (IsStored(p, *this))
            props.append(TStreamProperty{p.Name, ValueOf(p, *this)});
    return props;
}

TStreamRecord TDefinedStream::SaveToRecord(bool asRoot) const
{
    TStreamRecord r;
    r.ClassName = ClassType()->Name;
    if (!asRoot)
        r.Name = ToWin1252(FName);
    r.Props = StreamedProperties();
    for (const auto& child : FChildren)
        r.Children.append(child->SaveToRecord(false));
    return r;
}

QByteArray TDefinedStream::SaveToBytes() const { return WriteStream(SaveToRecord(true)); }

void TDefinedStream::SaveToStream(QIODevice& stream) const
{
    QByteArray data = SaveToBytes();
    if (stream.write(data) != data.size())
        throw EDFError("Stream write error");
}

void TDefinedStream::SaveToFile(const QString& fileName) const
{
    QByteArray data = SaveToBytes();
    QFile f(fileName);
    if (!f.open(QIODevice::WriteOnly | QIODevice::Truncate))
        throw EDFError(QString("Cannot create file \"%1\". %2").arg(fileName, f.errorString()));
    if (f.write(data) != data.size())
        throw EDFError(QString("Cannot write file \"%1\". %2").arg(fileName, f.errorString()));
}

void TDefinedStream::SaveToText(QStringList& lines) const
{
    QString text = RecordToText(SaveToRecord(true));
    if (text.endsWith('\n'))
        text.chop(1);
    lines = text.split('\n');
}

void TDefinedStream::SaveToTextFile(const QString& fileName) const
{
    QString text = RecordToText(SaveToRecord(true));
    QFile f(fileName);
    if (!f.open(QIODevice::WriteOnly | QIODevice::Truncate))
        throw EDFError(QString("Cannot create file \"%1\". %2").arg(fileName, f.errorString()));
    f.write(text.toUtf8());
}

void TDefinedStream::CopyToClipboard() const
{
    if (!QGuiApplication::instance())
        throw EDFError("The clipboard is not available");
    QGuiApplication::clipboard()->setText(RecordToText(SaveToRecord(true)));
}

qsizetype TDefinedStream::SaveToBuffer(char* buffer, qsizetype size) const
{
    QByteArray data = SaveToBytes();
    if (data.size() > size)
        throw EDFError("Destination buffer too small");
    memcpy(buffer, data.constData(), size_t(data.size()));
    return data.size();
}

// ---------------------------------------------------------------------------
// Reading

bool TDefinedStream::HandleReadError(const QString& message) const
{
    QString m = message.toLower();
    return m.contains("property does not exist") || m.contains("invalid property")
        || (m.startsWith("class") && m.contains("not found"));
}

void TDefinedStream::ApplyProperties(const QList<TStreamProperty>& props)
{
    for (const TStreamProperty& sp : props) {
        const TPropInfo* p = FindProp(sp.Name);
        if (!p) {
            if (HandleReadError("Property does not exist"))
                continue;
            throw EDFError("Property does not exist");
        }
        try {
            if (!AssignValue(*p, *this, sp.Value) && !HandleReadError("Invalid property value"))
                throw EDFError("Invalid property value");
        } catch (const EDFError& e) {
            if (!HandleReadError(e.Message()))
                throw;
        }
    }
}

void TDefinedStream::LoadChildRecords(const QList<TStreamRecord>& records, int depth)
{
    for (const TStreamRecord& r : records) {
        const TDFClass* c = FindRegisteredClass(QString::fromLatin1(r.ClassName));
        if (!c) {
            QString message = QString("Class %1 not found").arg(QString::fromLatin1(r.ClassName));
            if (HandleReadError(message))
                continue;   // the whole record with its children
            throw EDFError(message);
        }
        TDefinedStream* child = c->Create();
        // a record's children are what the record lists: a nested form
        // drops the templates its construction made, as a loaded root does
        child->ClearChildren();
        child->FName = FromWin1252(r.Name);
        child->FParent = this;
        FChildren.emplace_back(child);
        StructureChanged();
        child->SetParentStream(this);
        child->ApplyProperties(r.Props);
        child->LoadChildRecords(r.Children, depth + 1);
    }
}

void TDefinedStream::LoadRecordInto(const TStreamRecord& record)
{
    ApplyProperties(record.Props);
    LoadChildRecords(record.Children, 1);
}

void TDefinedStream::LoadFromBytes(const QByteArray& data)
{
    QBuffer buffer;
    buffer.setData(data);
    buffer.open(QIODevice::ReadOnly);
    LoadFromStream(buffer);
}

void TDefinedStream::LoadFromStream(QIODevice& stream)
{
    ClearChildren();
    if (!stream.isSequential() && stream.pos() == stream.size())
        stream.seek(0);
    qint64 start = stream.pos();
    QByteArray data = stream.readAll();
    qsizetype offset = 0;
    TStreamRecord record = ReadStream(data, offset);
    if (!stream.isSequential())
        stream.seek(start + offset);
    struct TLoadingMark {
        bool& flag;
        explicit TLoadingMark(bool& f) : flag(f) { flag = true; }
        ~TLoadingMark() { flag = false; }
    } mark(FLoading);
    LoadRecordInto(record);
}

void TDefinedStream::LoadFromFile(const QString& fileName)
{
    ClearChildren();
    QFile f(fileName);
    if (!f.open(QIODevice::ReadOnly))
        throw EDFError(QString("Cannot open file \"%1\". %2").arg(fileName, f.errorString()));
    QByteArray data = f.readAll();
    LoadFromBytes(data);
}

void TDefinedStream::LoadFromText(const QStringList& lines)
{
    ClearChildren();
    LoadFromBytes(TextToStream(lines.join('\n')));
}

void TDefinedStream::LoadFromTextFile(const QString& fileName)
{
    ClearChildren();
    QFile f(fileName);
    if (!f.open(QIODevice::ReadOnly))
        throw EDFError(QString("Cannot open file \"%1\". %2").arg(fileName, f.errorString()));
    LoadFromBytes(TextToStream(QString::fromUtf8(f.readAll())));
}

void TDefinedStream::PasteFromClipboard()
{
    if (!QGuiApplication::instance())
        throw EDFError("The clipboard is not available");
    QString text = QGuiApplication::clipboard()->text();
    ClearChildren();
    LoadFromBytes(TextToStream(text));
}

qsizetype TDefinedStream::LoadFromBuffer(const char* buffer, qsizetype size)
{
    ClearChildren();
    LoadFromBytes(QByteArray(buffer, size));
    return size;
}

void TDefinedStream::Assign(const TDefinedStream* source)
{
    if (!source)
        throw EDFError(QString("Cannot assign a nil to a %1").arg(ClassName()));
    if (source == this)
        return;
    LoadFromBytes(source->SaveToBytes());
}

} // namespace pm
