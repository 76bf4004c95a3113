// libFuzzer target: a definition file is data from outside. Whatever the
// bytes, loading ends in the tree or in EDFError, never in a crash, a hang or
// a huge allocation. Bytes that do not start with the signature are read as
// the text form. What loads is saved and loaded again; a stream this engine
// wrote must then read back to the same bytes, and the text form of any
// stream must convert to binary and back to the same text.

#include "forms/dfengine.h"

#include <cstdint>
#include <cstdlib>

using namespace pm;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const QByteArray input(reinterpret_cast<const char*>(data), qsizetype(size));
    QByteArray stream = input;
    if (!input.startsWith("TPF0")) {
        try {
            stream = TextToStream(QString::fromUtf8(input));
        } catch (const EDFError&) {
            return 0;
        }
    }

    try {
        const QString text = StreamToText(stream);
        if (StreamToText(TextToStream(text)) != text)
            std::abort();
    } catch (const EDFError&) {
        // identifiers that cannot be typed, or a malformed stream
    }

    TDFEngine engine;
    engine.NewForm();
    try {
        engine.Form()->LoadFromBytes(stream);
    } catch (const EDFError&) {
        return 0;
    }
    engine.Recalculate();
    const QByteArray saved = engine.Form()->SaveToBytes();
    TDFEngine second;
    second.NewForm();
    try {
        second.Form()->LoadFromBytes(saved);
    } catch (const EDFError&) {
        return 0;   // e.g. an object on a page of a form without templates
    }
    const QByteArray again = second.Form()->SaveToBytes();
    TDFEngine third;
    third.NewForm();
    third.Form()->LoadFromBytes(again);
    if (third.Form()->SaveToBytes() != again)
        std::abort();
    return 0;
}
