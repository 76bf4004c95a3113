// The component stream: value encodings, exact binary and text round trips,
// and untrusted input that must end in an error, never a crash.

#include "forms/streamformat.h"

#include <gtest/gtest.h>

#include <QtEndian>
#include <cmath>

using namespace pm;

namespace {

TStreamValue Raw(quint8 type, QByteArray bytes)
{
    TStreamValue v;
    v.Type = type;
    v.Bytes = std::move(bytes);
    return v;
}

QByteArray Hex(const char* hex) { return QByteArray::fromHex(hex); }

// A record holding one value of every type the format knows.
TStreamRecord EveryType()
{
    TStreamRecord r;
    r.ClassName = "TDFForm";
    auto add = [&](const char* name, TStreamValue v) { r.Props.append({name, v}); };
    add("I8", TStreamValue::Integer(-5));
    add("I16", TStreamValue::Integer(-300));
    add("I32", TStreamValue::Integer(100000));
    add("I64", TStreamValue::Integer(qint64(1) << 40));
    add("Ext", Raw(vaExtended, LongDoubleToExtended(0.1L)));
    add("Str", TStreamValue::String("It's a 'test'\r\n\tend"));
    add("Id", TStreamValue::Ident("clWhite"));
    add("F", TStreamValue::Boolean(false));
    add("T", TStreamValue::Boolean(true));
    add("Bin", TStreamValue::Binary(Hex("00ff10203040506070")));
    add("EmptyBin", TStreamValue::Binary(QByteArray()));
    add("Set", TStreamValue::Set({"fsBold", "fsItalic"}));
    add("EmptySet", TStreamValue::Set({}));
    add("Long", TStreamValue::String(QString(300, 'x') + "y"));
    TStreamValue nil;
    nil.Type = vaNil;
    add("Nil", nil);
    TStreamValue coll;
    coll.Type = vaCollection;
    TCollectionItem a;
    a.Props.append({"Caption", TStreamValue::String("one")});
    TCollectionItem b;
    b.HasIndex = true;
    b.Index = TStreamValue::Integer(7);
    b.Props.append({"Width", TStreamValue::Integer(12)});
    coll.Collection = {a, b};
    add("Coll", coll);
    TStreamValue single = Raw(vaSingle, QByteArray(4, '\0'));
    float f = 1.25f;
    memcpy(single.Bytes.data(), &f, 4);
    add("Sgl", single);
    TStreamValue cur;
    cur.Type = vaCurrency;
    cur.Int = -123456789;
    add("Cur", cur);
    double d = 45291.5;
    TStreamValue date = Raw(vaDate, QByteArray(8, '\0'));
    memcpy(date.Bytes.data(), &d, 8);
    add("Date", date);
    add("Utf8", TStreamValue::String(QString::fromUtf8("Caf\xc3\xa9 \xe2\x82\xac")));
    double dd = -2.5e-300;
    TStreamValue dbl = Raw(vaDouble, QByteArray(8, '\0'));
    memcpy(dbl.Bytes.data(), &dd, 8);
    add("Dbl", dbl);
    TStreamValue list;
    list.Type = vaList;
    TStreamValue inner;
    inner.Type = vaList;
    inner.Items = {TStreamValue::Integer(1), TStreamValue::String("two")};
    list.Items = {inner, TStreamValue::Ident("three"), TStreamValue::Boolean(true)};
    add("List", list);
    TStreamValue emptyList;
    emptyList.Type = vaList;
    add("EmptyList", emptyList);

    TStreamRecord page;
    page.ClassName = "TDFPage";
    page.Name = "Page1";
    page.Props.append({"PageName", TStreamValue::String("First")});
    TStreamRecord field;
    field.ClassName = "TDFField";
    field.Name = "Field1";
    page.Children.append(field);
    r.Children.append(page);
    return r;
}

} // namespace

TEST(FormsStream, IntegersUseTheSmallestEncoding)
{
    struct Case {
        qint64 value;
        const char* bytes;
    } cases[] = {
        {0, "0200"}, {127, "027f"}, {-128, "0280"}, {128, "038000"}, {-129, "037fff"},
        {32767, "03ff7f"}, {-32768, "030080"}, {32768, "0400800000"}, {-2147483648LL, "0400000080"},
        {2147483648LL, "130000008000000000"},
    };
    for (const Case& c : cases) {
        QByteArray out;
        WriteValue(out, TStreamValue::Integer(c.value));
        EXPECT_EQ(out.toHex(), QByteArray(c.bytes)) << c.value;
    }
}

TEST(FormsStream, StringTypeFollowsContent)
{
    struct Case {
        QString text;
        quint8 type;
    } cases[] = {
        {"abc", vaString}, {QString(255, 'a'), vaString}, {QString(256, 'a'), vaLString},
        {QString::fromUtf8("\xc3\xa9"), vaUTF8String}, {QString(300, 'a') + QChar(0xE9), vaUTF8String},
    };
    for (const Case& c : cases) {
        TStreamValue v = TStreamValue::String(c.text);
        EXPECT_EQ(v.Type, c.type) << c.text.size();
        EXPECT_EQ(v.StringText(), c.text);
    }
    // wide and UTF-8 strings read as the single-byte code page
    TStreamValue w = Raw(vaWString, Hex("41004200ac20"));
    EXPECT_EQ(w.StringText(), QString::fromUtf8("AB\xe2\x82\xac"));
    TStreamValue cjk = Raw(vaUTF8String, QString::fromUtf8("\xe4\xb8\xad").toUtf8());
    EXPECT_EQ(cjk.StringText(), "?");
}

TEST(FormsStream, ExtendedFloats)
{
    EXPECT_EQ(LongDoubleToExtended(1.5L).toHex(), QByteArray("00000000000000c0ff3f"));
    EXPECT_EQ(LongDoubleToExtended(-2.0L).toHex(), QByteArray("000000000000008000c0"));
    EXPECT_EQ(LongDoubleToExtended(0.0L).toHex(), QByteArray("00000000000000000000"));
    for (long double v : {0.1L, -1e300L, 3.141592653589793238L, 1e-4940L, 1.18e4931L})
        EXPECT_EQ(ExtendedToLongDouble(LongDoubleToExtended(v)), v);
    EXPECT_TRUE(std::isinf(ExtendedToLongDouble(Hex("0000000000000080ff7f"))));
    EXPECT_TRUE(std::isnan(ExtendedToLongDouble(Hex("00000000000000c0ff7f"))));
}

TEST(FormsStream, BinaryAndTextRoundTripsAreExact)
{
    const QByteArray bytes = WriteStream(EveryType());
    ASSERT_EQ(bytes.left(4), "TPF0");
    EXPECT_EQ(WriteStream(ReadStream(bytes)), bytes);

    const QString text = StreamToText(bytes);
    EXPECT_EQ(TextToStream(text), bytes);
    EXPECT_EQ(StreamToText(TextToStream(text)), text);
}

TEST(FormsStream, TextFormLooksLikeTheClassicFormat)
{
    TStreamRecord r;
    r.ClassName = "TDFForm";
    r.Props.append({"FormName", TStreamValue::String("Bob's form")});
    r.Props.append({"Instructions", TStreamValue::String("Line 1\r\nLine 2")});
    r.Props.append({"ActiveColor", TStreamValue::Ident("clWhite")});
    r.Props.append({"Picture.Data", TStreamValue::Binary(Hex("0102"))});
    r.Props.append({"FontStyle", TStreamValue::Set({"fsBold"})});
    TStreamRecord page;
    page.ClassName = "TDFPage";
    page.Name = "P1";
    page.Props.append({"Width", TStreamValue::Integer(816)});
    r.Children.append(page);
    const QString expected =
        "object TDFForm\n"
        "  FormName = 'Bob''s form'\n"
        "  Instructions = 'Line 1'#13#10'Line 2'\n"
        "  ActiveColor = clWhite\n"
        "  Picture.Data = {\n"
        "    0102}\n"
        "  FontStyle = [fsBold]\n"
        "  object P1: TDFPage\n"
        "    Width = 816\n"
        "  end\n"
        "end\n";
    EXPECT_EQ(RecordToText(r), expected);
    EXPECT_EQ(TextToStream(expected), WriteStream(r));

    // long strings are split with "+"; hand-written variants read the same
    TStreamRecord longer;
    longer.ClassName = "TDFText";
    longer.Props.append({"Text", TStreamValue::String(QString(100, 'a'))});
    const QString longText = RecordToText(longer);
    EXPECT_TRUE(longText.contains("' +\n")) << longText.toStdString();
    EXPECT_EQ(TextToStream(longText), WriteStream(longer));
    TStreamRecord four;
    four.ClassName = "TDFText";
    four.Props.append({"Text", TStreamValue::String("aa'a")});
    EXPECT_EQ(TextToStream("OBJECT TDFText\n  Text = 'aa' +\n    '''a'\nEND"), WriteStream(four));
    EXPECT_EQ(TextToStream("object TDFText Text = #97#97#39'a' end"), WriteStream(four));
}

TEST(FormsStream, PrefixFlagsArePreserved)
{
    // inherited record with a child position, as another writer may produce
    const QByteArray bytes = Hex("54504630" "f302" "05" "0754444650616765" "0150" "00" "00");
    TStreamRecord r = ReadStream(bytes);
    EXPECT_TRUE(r.HasPrefix);
    EXPECT_EQ(r.Flags, ffInherited | ffChildPos);
    EXPECT_EQ(r.Position.Int, 5);
    EXPECT_EQ(r.ClassName, "TDFPage");
    EXPECT_EQ(WriteStream(r), bytes);
    EXPECT_EQ(TextToStream(StreamToText(bytes)), bytes);
}

TEST(FormsStream, MalformedStreamsFailCleanly)
{
    struct Case {
        const char* name;
        QByteArray bytes;
        const char* message;
    } cases[] = {
        {"empty", QByteArray(), "Invalid stream format"},
        {"wrong signature", Hex("5450463107544446466f726d000000"), "Invalid stream format"},
        {"unknown value type", Hex("5450463007544446466f726d0001411600"), "Invalid stream format"},
        {"string longer than the rest", Hex("5450463007544446466f726d0001410c") + Hex("ffffff7f41"), "Stream read error"},
        {"binary longer than the rest", Hex("5450463007544446466f726d0001410a") + Hex("10000000"), "Stream read error"},
        {"wide string count beyond the rest", Hex("5450463007544446466f726d00014112") + Hex("ffffffff"), "Stream read error"},
        {"list that never ends", Hex("5450463007544446466f726d000141010202020202"), "Stream read error"},
        {"collection that never ends", Hex("5450463007544446466f726d0001410e01"), "Stream read error"},
        {"children that never end", Hex("5450463007544446466f726d0000"), "Stream read error"},
        {"set that never ends", Hex("5450463007544446466f726d0001410b0141"), "Stream read error"},
    };
    for (const Case& c : cases) {
        try {
            ReadStream(c.bytes);
            ADD_FAILURE() << c.name << ": no error";
        } catch (const EStreamError& e) {
            EXPECT_EQ(e.Message(), c.message) << c.name;
        }
    }
}

TEST(FormsStream, EveryTruncationAndDeepNestingEndInAnError)
{
    const QByteArray bytes = WriteStream(EveryType());
    for (qsizetype n = 0; n < bytes.size(); ++n)
        EXPECT_THROW(ReadStream(bytes.left(n)), EStreamError) << n;

    QByteArray deepList = Hex("5450463007544446466f726d00014101") + QByteArray(5000, char(vaList));
    EXPECT_THROW(ReadStream(deepList), EStreamError);

    // records nested far deeper than any form
    QByteArray deepRecords("TPF0");
    for (int i = 0; i < 5000; ++i)
        deepRecords += Hex("01410000");   // class "A", empty name, no properties, then a child
    EXPECT_THROW(ReadStream(deepRecords), EStreamError);
}

TEST(FormsStream, MalformedTextFailsWithTheLine)
{
    const char* cases[] = {
        "",
        "object TDFForm\n  Width = \nend",
        "object TDFForm\n  Text = 'open\nend",
        "object TDFForm\n  Data = {0A1}\nend",
        "object TDFForm\n  Data = {0G}\nend",
        "object TDFForm\n  Width = 99999999999999999999\nend",
        "object TDFForm\n  object TDFPage\n  end\n  Width = 1\nend",
        "object TDFForm\n  Items = <\n    item\n      A = 1\n",
        "thing TDFForm\nend",
        "object TDFForm\nend\nextra",
        "object TDFForm\n  Cur = 1.23456C\nend",
        "object TDFForm\n  S = #99999999\nend",
    };
    for (const char* text : cases) {
        try {
            TextToStream(QString::fromLatin1(text));
            ADD_FAILURE() << "no error for: " << text;
        } catch (const EStreamError& e) {
            EXPECT_TRUE(e.Message().startsWith("Line ")) << e.Message().toStdString();
        }
    }
    QString deep;
    for (int i = 0; i < 200; ++i)
        deep += "object TDFPage\n";
    EXPECT_THROW(TextToStream(deep), EStreamError);
}

TEST(FormsStream, ColourAndCharsetNames)
{
    QString name;
    ASSERT_TRUE(ColorToIdent(0xFFFFFF, name));
    EXPECT_EQ(name, "clWhite");
    ASSERT_TRUE(ColorToIdent(qint32(0xFF00000F), name));
    EXPECT_EQ(name, "clBtnFace");
    EXPECT_FALSE(ColorToIdent(0x123456, name));
    qint32 v = 0;
    ASSERT_TRUE(IdentToColor("CLMONEYGREEN", v));
    EXPECT_EQ(v, 0xC0DCC0);
    ASSERT_TRUE(IdentToColor("clNone", v));
    EXPECT_EQ(v, 0x1FFFFFFF);
    ASSERT_TRUE(CharsetToIdent(238, name));
    EXPECT_EQ(name, "EASTEUROPE_CHARSET");
    ASSERT_TRUE(IdentToCharset("oem_charset", v));
    EXPECT_EQ(v, 255);
    EXPECT_FALSE(IdentToCharset("KLINGON_CHARSET", v));
}

TEST(FormsStream, DumpListsOffsetsAndTypes)
{
    const QString dump = DumpStream(WriteStream(EveryType()));
    EXPECT_TRUE(dump.startsWith("000000  signature TPF0"));
    EXPECT_TRUE(dump.contains("record TDFForm ''"));
    EXPECT_TRUE(dump.contains("I16 (int16) = -300"));
    EXPECT_TRUE(dump.contains("Cur (currency) = -12345.6789"));
    EXPECT_TRUE(dump.contains("record TDFPage 'Page1'"));
    EXPECT_THROW(DumpStream("TPF"), EStreamError);
}
