#pragma once
// Database files for the data tests, built as the build builds Pellmark.db:
// from the base schema, optionally with every upgrade step but the first.

#include "data/datamodule.h"
#include "data/dataset.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <memory>

namespace pm::test {

inline QString SchemaText()
{
    QFile f(QString::fromUtf8(PM_DATA_SCHEMA_FILE));
    if (!f.open(QIODevice::ReadOnly)) return QString();
    return QString::fromUtf8(f.readAll());
}

enum class DbKind { BaseOnly, AllButU1 };

// Writes a database file from the base schema; AllButU1 then runs U2..U6.
inline QString MakeDatabase(const QString& path, DbKind kind = DbKind::BaseOnly)
{
    QString error;
    if (!CreateDatabaseFile(path, SchemaText(), error)) {
        ADD_FAILURE() << "cannot create " << path.toStdString() << ": " << error.toStdString();
        return path;
    }
    if (kind == DbKind::AllButU1) {
        TConnection c;
        c.Open(path);
        const QStringList& steps = TData::UpgradeCommands();
        for (int i = 1; i < steps.size(); ++i) c.Execute(steps[i]);
    }
    return path;
}

// A temporary folder with one database in it, and the data module on it.
class DataFixture : public ::testing::Test {
protected:
    QTemporaryDir dir;
    QString path;
    std::unique_ptr<TData> data;

    void SetUp() override
    {
        ASSERT_TRUE(dir.isValid());
        path = MakeDatabase(dir.filePath("Pellmark.db"));
    }
    TData& Open(int busyMs = 5000)
    {
        data = std::make_unique<TData>([this] { return path; }, busyMs);
        return *data;
    }
    // Adds a report for an organization and opens it like the report editor.
    int64_t OpenNewReport(TData& d, const QString& orgId, double period)
    {
        d.QRQuery.ParamByName("OrgIDParam").SetAsString(orgId);
        if (d.QRQuery.Active()) d.QRQuery.Requery(); else d.QRQuery.Open();
        d.QRQuery.Append();
        d.QRQuery.FieldByName("OrgID").SetAsString(orgId);
        d.QRQuery.FieldByName("Period").SetAsDateTime(period);
        d.QRQuery.Post();
        const int64_t qrid = d.QRQuery.FieldByName("QRID").AsInteger();
        for (TDataSet* q : {&d.CashQuery, &d.InvQuery, &d.PrizeQuery}) {
            q->ParamByName("QReport").SetAsString(QString::number(qrid));
            if (q->Active()) q->Requery(); else q->Open();
        }
        return qrid;
    }
};

} // namespace pm::test
