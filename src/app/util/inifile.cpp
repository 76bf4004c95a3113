#include "app/util/inifile.h"

#include "components/formatting.h"
#include "components/win1252.h"

#include <QFile>
#include <QSaveFile>

namespace pm {

TIniFile::TIniFile(const QString& fileName) : fileName_(fileName) {}

// A section keeps its lines in order; comment and blank lines are kept as
// entries with an empty key and the raw line as value.
QList<TIniFile::Section> TIniFile::load() const
{
    QList<Section> sections;
    QFile file(fileName_);
    if (!file.open(QIODevice::ReadOnly))
        return sections;
    const QString text = FromWin1252(file.readAll());
    Section* current = nullptr;
    Section preamble;
    for (QString line : text.split('\n')) {
        if (line.endsWith('\r'))
            line.chop(1);
        const QString trimmed = line.trimmed();
        if (trimmed.startsWith('[')) {
            const qsizetype close = trimmed.indexOf(']');
            sections.append(Section{trimmed.mid(1, close < 0 ? -1 : close - 1).trimmed(), {}});
            current = &sections.last();
            continue;
        }
        const qsizetype eq = line.indexOf('=');
        Entry entry;
        if (eq > 0 && !trimmed.startsWith(';')) {
            entry.key = line.left(eq).trimmed();
            entry.value = line.mid(eq + 1).trimmed();
        } else {
            entry.value = line;
        }
        if (current)
            current->entries.append(entry);
        else if (!trimmed.isEmpty())
            preamble.entries.append(entry);
    }
    if (!preamble.entries.isEmpty())
        sections.prepend(preamble);   // lines before the first section, kept as they were
    // Drop the trailing blank lines each section collected; save() writes one.
    for (Section& s : sections)
        while (!s.entries.isEmpty() && s.entries.last().key.isEmpty() && s.entries.last().value.trimmed().isEmpty())
            s.entries.removeLast();
    return sections;
}

bool TIniFile::save(const QList<Section>& sections) const
{
    QString text;
    bool blankBefore = false;
    for (const Section& s : sections) {
        if (blankBefore)
            text += "\r\n";
        blankBefore = !s.name.isNull();   // no blank line after the lines before the first section
        if (!s.name.isNull())
            text += '[' + s.name + "]\r\n";
        for (const Entry& e : s.entries)
            text += (e.key.isEmpty() ? e.value : e.key + '=' + e.value) + "\r\n";
    }
    QSaveFile file(fileName_);
    if (!file.open(QIODevice::WriteOnly))
        return false;
    file.write(ToWin1252(text));
    return file.commit();
}

namespace {

template <typename Sections>
auto FindSection(Sections& sections, const QString& name) -> decltype(&sections[0])
{
    for (auto& s : sections)
        if (!s.name.isNull() && s.name.compare(name, Qt::CaseInsensitive) == 0)
            return &s;
    return nullptr;
}

template <typename Section>
auto FindEntry(Section* section, const QString& key) -> decltype(&section->entries[0])
{
    if (!section)
        return nullptr;
    for (auto& e : section->entries)
        if (!e.key.isEmpty() && e.key.compare(key, Qt::CaseInsensitive) == 0)
            return &e;
    return nullptr;
}

} // namespace

QString TIniFile::ReadString(const QString& section, const QString& key, const QString& fallback) const
{
    auto sections = load();
    const auto* entry = FindEntry(FindSection(sections, section), key);
    return entry ? entry->value : fallback;
}

int TIniFile::ReadInteger(const QString& section, const QString& key, int fallback) const
{
    const QString text = ReadString(section, key, QString());
    if (text.startsWith("0x", Qt::CaseInsensitive) || text.startsWith('$')) {
        bool ok;
        const int v = text.mid(text.startsWith('$') ? 1 : 2).toInt(&ok, 16);
        return ok ? v : fallback;
    }
    return StrToIntDef(text, fallback);
}

bool TIniFile::ReadBool(const QString& section, const QString& key, bool fallback) const
{
    return ReadInteger(section, key, fallback ? 1 : 0) != 0;
}

double TIniFile::ReadFloat(const QString& section, const QString& key, double fallback) const
{
    return StrToFloatDef(ReadString(section, key, QString()), fallback);
}

bool TIniFile::WriteString(const QString& section, const QString& key, const QString& value)
{
    auto sections = load();
    Section* s = FindSection(sections, section);
    if (!s) {
        sections.append(Section{section, {}});
        s = &sections.last();
    }
    // Values are one line each.
    QString clean = value;
    clean.replace('\r', ' ').replace('\n', ' ');
    if (Entry* e = FindEntry(s, key))
        e->value = clean;
    else
        s->entries.append(Entry{key, clean});
    return save(sections);
}

bool TIniFile::WriteInteger(const QString& section, const QString& key, int value)
{
    return WriteString(section, key, QString::number(value));
}

bool TIniFile::WriteBool(const QString& section, const QString& key, bool value)
{
    return WriteString(section, key, value ? "1" : "0");
}

bool TIniFile::WriteFloat(const QString& section, const QString& key, double value)
{
    return WriteString(section, key, FloatToStr(value));
}

bool TIniFile::SectionExists(const QString& section) const
{
    auto sections = load();
    return FindSection(sections, section) != nullptr;
}

bool TIniFile::ValueExists(const QString& section, const QString& key) const
{
    auto sections = load();
    return FindEntry(FindSection(sections, section), key) != nullptr;
}

QStringList TIniFile::ReadSection(const QString& section) const
{
    auto sections = load();
    QStringList keys;
    if (const Section* s = FindSection(sections, section))
        for (const Entry& e : s->entries)
            if (!e.key.isEmpty())
                keys << e.key;
    return keys;
}

QStringList TIniFile::ReadSections() const
{
    QStringList names;
    for (const Section& s : load())
        if (!s.name.isNull())
            names << s.name;
    return names;
}

bool TIniFile::EraseSection(const QString& section)
{
    auto sections = load();
    bool found = false;
    for (qsizetype i = sections.size() - 1; i >= 0; --i)
        if (!sections[i].name.isNull() && sections[i].name.compare(section, Qt::CaseInsensitive) == 0) {
            sections.removeAt(i);
            found = true;
        }
    return !found || save(sections);
}

bool TIniFile::DeleteKey(const QString& section, const QString& key)
{
    auto sections = load();
    Section* s = FindSection(sections, section);
    if (!s)
        return true;
    for (qsizetype i = 0; i < s->entries.size(); ++i)
        if (!s->entries[i].key.isEmpty() && s->entries[i].key.compare(key, Qt::CaseInsensitive) == 0) {
            s->entries.removeAt(i);
            return save(sections);
        }
    return true;
}

} // namespace pm
