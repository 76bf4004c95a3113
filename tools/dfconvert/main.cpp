// dfconvert: converts form definition files between the binary component
// stream and its text form, and lists a stream readably.
//
//   dfconvert totext   INPUT.dfb [OUTPUT.txt]
//   dfconvert tobinary INPUT.txt [OUTPUT.dfb]
//   dfconvert dump     INPUT.dfb
//
// Without OUTPUT the result goes to standard output. The text form is plain
// ASCII (characters beyond it are written as #nnn codes), so text -> binary
// is exact and does not depend on the machine's locale. Exit status: 0 on
// success, 1 for a file that cannot be read or converted, 2 for wrong usage.

#include "forms/streamformat.h"

#include <QByteArray>
#include <QFile>
#include <QString>
#include <cstdio>

using namespace pm;

namespace {

int Usage()
{
    std::fputs("usage: dfconvert totext INPUT [OUTPUT]\n"
               "       dfconvert tobinary INPUT [OUTPUT]\n"
               "       dfconvert dump INPUT\n",
               stderr);
    return 2;
}

bool ReadAll(const QString& name, QByteArray& data)
{
    QFile f(name);
    if (!f.open(QIODevice::ReadOnly)) {
        std::fprintf(stderr, "dfconvert: cannot read %s: %s\n", qPrintable(name), qPrintable(f.errorString()));
        return false;
    }
    data = f.readAll();
    return true;
}

bool WriteAll(const QString& name, const QByteArray& data)
{
    if (name.isEmpty()) {
        return std::fwrite(data.constData(), 1, size_t(data.size()), stdout) == size_t(data.size())
            && std::fflush(stdout) == 0;
    }
    QFile f(name);
    if (!f.open(QIODevice::WriteOnly | QIODevice::Truncate) || f.write(data) != data.size() || !f.flush()) {
        std::fprintf(stderr, "dfconvert: cannot write %s: %s\n", qPrintable(name), qPrintable(f.errorString()));
        return false;
    }
    return true;
}

} // namespace

int main(int argc, char** argv)
{
    if (argc < 3 || argc > 4)
        return Usage();
    const QString command = QString::fromLocal8Bit(argv[1]);
    const QString input = QString::fromLocal8Bit(argv[2]);
    const QString output = argc == 4 ? QString::fromLocal8Bit(argv[3]) : QString();
    if (command != "totext" && command != "tobinary" && command != "dump")
        return Usage();
    if (command == "dump" && argc != 3)
        return Usage();

    QByteArray data;
    if (!ReadAll(input, data))
        return 1;
    QByteArray result;
    try {
        if (command == "totext")
            result = StreamToText(data).toLatin1();
        else if (command == "tobinary")
            result = TextToStream(QString::fromUtf8(data));
        else
            result = DumpStream(data).toUtf8();
    } catch (const EDFError& e) {
        std::fprintf(stderr, "dfconvert: %s: %s\n", qPrintable(input), e.what());
        return 1;
    }
    return WriteAll(output, result) ? 0 : 1;
}
