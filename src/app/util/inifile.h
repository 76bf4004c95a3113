#pragma once
// The settings file in the ini format that the Windows profile functions read
// and write: "[Section]" lines and "Key=Value" lines, section and key names
// compared without regard to case, keys kept in file order. Every write goes
// to the file at once (written to a temporary file and renamed over it, so a
// crash never leaves half a file). A missing file reads as empty.
// The file is Windows-1252 text with CR LF line ends.

#include <QString>
#include <QStringList>

namespace pm {

class TIniFile {
public:
    explicit TIniFile(const QString& fileName);

    const QString& FileName() const { return fileName_; }

    QString ReadString(const QString& section, const QString& key, const QString& fallback) const;
    int ReadInteger(const QString& section, const QString& key, int fallback) const;
    bool ReadBool(const QString& section, const QString& key, bool fallback) const;
    double ReadFloat(const QString& section, const QString& key, double fallback) const;

    // False when the file could not be written.
    bool WriteString(const QString& section, const QString& key, const QString& value);
    bool WriteInteger(const QString& section, const QString& key, int value);
    bool WriteBool(const QString& section, const QString& key, bool value);   // "1" / "0"
    bool WriteFloat(const QString& section, const QString& key, double value);

    bool SectionExists(const QString& section) const;
    bool ValueExists(const QString& section, const QString& key) const;
    QStringList ReadSection(const QString& section) const;     // key names in file order
    QStringList ReadSections() const;
    bool EraseSection(const QString& section);
    bool DeleteKey(const QString& section, const QString& key);

private:
    struct Entry { QString key; QString value; };
    struct Section { QString name; QList<Entry> entries; };
    QList<Section> load() const;
    bool save(const QList<Section>& sections) const;

    QString fileName_;
};

} // namespace pm
