#pragma once
// TDefinedStream: the streamable node of a form tree. A node owns its
// children (the order is the order they are written in), knows its owner
// stream, and describes its streamed properties by a table (name, type,
// accessors, writing rule) that the stream reader and writer walk.
//
// Every class that may occur in a definition file is registered by its class
// name; a stream names classes by text.

#include "forms/streamformat.h"

#include <QByteArray>
#include <QIODevice>
#include <QString>
#include <QStringList>
#include <functional>
#include <memory>
#include <stdexcept>
#include <vector>

namespace pm {

class TDefinedStream;

// A registered class: its name, its base and how to make one.
struct TDFClass {
    const char* Name;
    const TDFClass* Parent;
    TDefinedStream* (*Create)();
    bool InheritsFrom(const TDFClass* base) const;
};

// The registered class of that name (compared ignoring case), or none.
const TDFClass* FindRegisteredClass(const QString& name);
// Every registered class, in registration order.
const std::vector<const TDFClass*>& RegisteredClasses();

// Streamed property types.
enum class TPropType { Integer, Color, Charset, Enum, Boolean, Set, String, Picture, Event };

// When a property is written.
enum class TStoreRule {
    Always,
    NotEmpty,      // strings (an empty string is never written), pictures
    NotValue,      // ordinal value differs from RuleValue
    Template,      // no template, or the value differs from the template's
    Custom,        // StoredFn decides
    Never
};

struct TPropInfo {
    QByteArray Name;
    TPropType Type = TPropType::Integer;
    const QStringList* Names = nullptr;   // members of enumeration and set types
    TStoreRule Rule = TStoreRule::Always;
    qint64 RuleValue = 0;
    std::function<qint64(const TDefinedStream&)> GetOrd;          // integer-like and sets (bit mask)
    std::function<void(TDefinedStream&, qint64)> SetOrd;
    std::function<QString(const TDefinedStream&)> GetStr;          // strings
    std::function<void(TDefinedStream&, const QString&)> SetStr;
    std::function<QByteArray(const TDefinedStream&)> GetBin;       // picture data blocks
    std::function<void(TDefinedStream&, const QByteArray&)> SetBin;
    std::function<bool(const TDefinedStream&)> StoredFn;

    bool IsSimple() const;   // part of the simple property list
};

using TPropList = std::vector<TPropInfo>;

class TDefinedStream {
public:
    using TCompareEvent = std::function<void(TDefinedStream* sender, TDefinedStream* child1,
                                             TDefinedStream* child2, bool& needSwap)>;

    TDefinedStream();
    virtual ~TDefinedStream();
    TDefinedStream(const TDefinedStream&) = delete;
    TDefinedStream& operator=(const TDefinedStream&) = delete;

    static const TDFClass StaticClass;
    virtual const TDFClass* ClassType() const { return &StaticClass; }
    QString ClassName() const { return QString::fromLatin1(ClassType()->Name); }
    bool InheritsFrom(const TDFClass* c) const { return ClassType()->InheritsFrom(c); }

    QString Name() const { return FName; }
    void SetName(const QString& name) { FName = name; }
    qint32 Tag() const { return FTag; }
    void SetTag(qint32 tag);

    TCompareEvent OnCompareItems;

    // The tree.
    TDefinedStream* ParentStream() const { return FParent; }
    int ChildCount() const { return int(FChildren.size()); }
    TDefinedStream* Children(int index) const;   // none outside the range
    int IndexOfChild(const TDefinedStream* child) const;
    int CountOfClass(const TDFClass* c) const;
    // The index-th child of the class (or a class derived from it); raises
    // EDFError "Index out of bounds: ..." when there is none.
    TDefinedStream* ChildOfClass(const TDFClass* c, int index) const;
    // Swaps the children at the two positions.
    void ExchangeChildren(int index1, int index2);

    virtual void SetParentStream(TDefinedStream* stream);
    void ResetProperties();
    void SortChildrenByClassName();
    void SortChildren();
    void ClearChildren();
    virtual void Clear();
    // Frees this node (removing it from its owner).
    virtual void Release();

    // The simple property list: streamed properties of simple kinds except Tag.
    int SimplePropCount() const;
    const TPropInfo& SimpleProps(int index) const;
    // All streamed properties in written order.
    virtual const TPropList& PropList() const;
    const TPropInfo* FindProp(const QByteArray& name) const;   // ignoring case

    // Adopts the child as the last child and returns it (raises for none).
    TDefinedStream* AddChild(TDefinedStream* child);
    TDefinedStream* AddChildCopy(const TDefinedStream* source);
    TDefinedStream* AddNewChild(const TDFClass* c);
    TDefinedStream* AddNewChildByName(const QString& className);
    template <class T> T* AddNew() { return static_cast<T*>(AddNewChild(&T::StaticClass)); }

    // Streams.
    QByteArray SaveToBytes() const;
    void LoadFromBytes(const QByteArray& data);
    void SaveToStream(QIODevice& stream) const;
    void LoadFromStream(QIODevice& stream);
    void SaveToFile(const QString& fileName) const;
    void LoadFromFile(const QString& fileName);
    void SaveToText(QStringList& lines) const;
    void LoadFromText(const QStringList& lines);
    void SaveToTextFile(const QString& fileName) const;
    void LoadFromTextFile(const QString& fileName);
    void CopyToClipboard() const;
    void PasteFromClipboard();
    qsizetype SaveToBuffer(char* buffer, qsizetype size) const;
    qsizetype LoadFromBuffer(const char* buffer, qsizetype size);
    // Copies the source through a stream; only stream objects can be assigned.
    void Assign(const TDefinedStream* source);

    // The record this node writes (own name empty for the root of a save).
    TStreamRecord SaveToRecord(bool asRoot) const;
    // The property entries this node writes, in its class's order.
    QList<TStreamProperty> StreamedProperties() const;
    // Reads property entries into this node, skipping what can't be assigned.
    void ApplyProperties(const QList<TStreamProperty>& props);

    // True while this node or one of its owners is being loaded.
    bool IsLoading() const;

    // Change notification: forwarded to the owner by default.
    virtual void Changed(TDefinedStream* sender, bool isLoading);
    void Changed() { Changed(this, IsLoading()); }

    // The template whose values the template writing rule compares with.
    virtual const TDefinedStream* StoreTemplate() const { return nullptr; }

    // Bumped whenever a child is added to or removed from any node, so that
    // lists built over the tree (the engine's fields) know when to rebuild.
    static quint64 StructureVersion();

protected:
    // Called at the end of construction by derived classes that need it.
    virtual void Initialize() {}
    void LoadRecordInto(const TStreamRecord& record);
    static TPropList BaseProps();

private:
    void LoadChildRecords(const QList<TStreamRecord>& records, int depth);
    bool HandleReadError(const QString& message) const;
    std::unique_ptr<TDefinedStream> DetachChild(TDefinedStream* child);
    static void StructureChanged();

    QString FName;
    qint32 FTag = 0;
    TDefinedStream* FParent = nullptr;
    std::vector<std::unique_ptr<TDefinedStream>> FChildren;
    bool FLoading = false;
};

// Helpers to describe properties; accessors are members of any node class.
struct TPropBuilder {
    TPropList List;

    explicit TPropBuilder(TPropList base = {}) : List(std::move(base)) {}

    template <class T, class M>
    TPropBuilder& Ord(const char* name, TPropType type, T (M::*get)() const, void (M::*set)(T),
                      TStoreRule rule = TStoreRule::Always, qint64 ruleValue = 0,
                      const QStringList* names = nullptr)
    {
        TPropInfo p;
        p.Name = name;
        p.Type = type;
        p.Names = names;
        p.Rule = rule;
        p.RuleValue = ruleValue;
        p.GetOrd = [get](const TDefinedStream& s) { return qint64((static_cast<const M&>(s).*get)()); };
        p.SetOrd = [set](TDefinedStream& s, qint64 v) { (static_cast<M&>(s).*set)(T(v)); };
        List.push_back(std::move(p));
        return *this;
    }
    template <class M>
    TPropBuilder& Str(const char* name, QString (M::*get)() const, void (M::*set)(const QString&),
                      TStoreRule rule = TStoreRule::NotEmpty)
    {
        TPropInfo p;
        p.Name = name;
        p.Type = TPropType::String;
        p.Rule = rule;
        p.GetStr = [get](const TDefinedStream& s) { return (static_cast<const M&>(s).*get)(); };
        p.SetStr = [set](TDefinedStream& s, const QString& v) { (static_cast<M&>(s).*set)(v); };
        List.push_back(std::move(p));
        return *this;
    }
    // The last property gets a custom writing rule.
    template <class M>
    TPropBuilder& StoredWhen(bool (*fn)(const M&))
    {
        List.back().Rule = TStoreRule::Custom;
        List.back().StoredFn = [fn](const TDefinedStream& s) { return fn(static_cast<const M&>(s)); };
        return *this;
    }
};

} // namespace pm
