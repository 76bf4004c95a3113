// mkdb SCHEMA.sql OUT.db: writes a new database file from the base schema.
#include "data/dataset.h"

#include <QFile>
#include <cstdio>

int main(int argc, char* argv[])
{
    if (argc != 3) {
        std::fprintf(stderr, "usage: mkdb SCHEMA.sql OUT.db\n");
        return 2;
    }
    QFile schema(QString::fromLocal8Bit(argv[1]));
    if (!schema.open(QIODevice::ReadOnly)) {
        std::fprintf(stderr, "mkdb: cannot read %s\n", argv[1]);
        return 1;
    }
    QString error;
    if (!pm::CreateDatabaseFile(QString::fromLocal8Bit(argv[2]), QString::fromUtf8(schema.readAll()), error)) {
        std::fprintf(stderr, "mkdb: %s\n", error.toLocal8Bit().constData());
        return 1;
    }
    return 0;
}
