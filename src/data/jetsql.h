#pragma once
// Jet SQL on SQLite. Queries are taken as written (Jet's "#mm/dd/yyyy#" date
// literals become day numbers); the Jet DDL the program runs (CREATE TABLE,
// ALTER TABLE ... ADD with several columns, Jet type names) is translated to
// SQLite statements that carry our declared column types.

#include "data/dataset.h"

#include <QString>
#include <QStringList>

namespace pm {

struct TColumnType {
    TFieldKind kind = TFieldKind::Variant;
    int size = 0;        // characters of Text(n)
    int precision = 0;   // digits of Decimal(p, s)
    int scale = 0;
};

// The field kind of a column from its declared SQLite type (as written by
// TranslateJetSql or schema.sql). The AutoNumber key is an "INTEGER" primary key.
TColumnType ColumnTypeFromDecl(const QString& declType, bool primaryKey);

// The declared SQLite type for a Jet column type ("CURRENCY", "VARCHAR(45)",
// "IDENTITY", ...); empty when the name is not a Jet type.
QString SqliteTypeForJet(const QString& jetType, const QString& args);

// One Jet statement as the SQLite statements that do the same, to be run
// in one transaction. Throws EDatabaseError for DDL it cannot read.
QStringList TranslateJetSql(const QString& jetSql);

} // namespace pm
