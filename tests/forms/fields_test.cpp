// The field value model and the engine's field operations.

#include "forms/dfengine.h"

#include <gtest/gtest.h>

#include <QMap>

using namespace pm;

namespace {

struct TFormFixture {
    TDFEngine engine;
    TDFPage* page = nullptr;

    TFormFixture()
    {
        engine.NewForm();
        page = engine.Pages(0);
    }
    TDFField* Add(const QString& name, TdfFieldformat format, const QString& displayFormat = QString(),
                  TDFPage* on = nullptr)
    {
        auto* f = (on ? on : page)->AddNew<TDFField>();
        f->SetFieldName(name);
        f->SetFormat(format);
        if (!displayFormat.isNull())
            f->SetDisplayFormat(displayFormat);
        return f;
    }
};

// A record of named columns, as the database layer would supply.
class TMapRecord : public TDFDataRecord {
public:
    QMap<QString, QString> Values;
    QMap<QString, QString> Kinds;   // how each column was last written
    bool HasField(const QString& name) const override { return Values.contains(name); }
    QString FieldText(const QString& name) const override { return Values.value(name); }
    void SetFieldText(const QString& name, const QString& value) override
    {
        Values[name] = value;
        Kinds[name] = "text";
    }
    void SetFieldInteger(const QString& name, qint32 value) override
    {
        Values[name] = QString::number(value);
        Kinds[name] = "integer";
    }
    void SetFieldFloat(const QString& name, double value) override
    {
        Values[name] = QString::number(value, 'g', 15);
        Kinds[name] = "float";
    }
};

} // namespace

TEST(FormsFields, SetValueByFormat)
{
    struct Case {
        TdfFieldformat format;
        const char* displayFormat;
        const char* input;
        const char* data;
    } cases[] = {
        {dfFloat, "#,##0.00", "(1,234.50)", "-1,234.50"},
        {dfFloat, "#,##0.00", "$1,234.5", "1,234.50"},
        {dfFloat, "#,##0.00", "-12", "-12.00"},
        {dfFloat, "#,##0.00", "abc", ""},
        {dfFloat, "#,##0.00", "1.2.3", ""},
        {dfFloat, "#,##0.00", "0", ""},
        {dfFloat, "0.00", "2.675", "2.68"},
        {dfFloat, "0.00", "1.005", "1.01"},
        {dfFloat, "", "12.5", "12.5"},
        {dfPercent, "#.00", "0.125", "12.50"},
        {dfPercent, "#.00", "12.5", "1250.00"},
        {dfInteger, nullptr, "(12)", "-12"},
        {dfInteger, nullptr, "1,234", "1234"},
        {dfInteger, nullptr, "x", ""},
        {dfInteger, nullptr, "99999999999", ""},
        {dfDate, nullptr, "1/2/2010", "01/02/2010"},
        {dfDate, nullptr, "not a date", ""},
        {dfCheckbox, nullptr, "1", "True"},
        {dfCheckbox, nullptr, "0", "False"},
        {dfCheckbox, nullptr, "x", "False"},
        {dfCheckbox, nullptr, "TRUE", "True"},
        {dfCheckbox, nullptr, "yes", "False"},
        {dfText, nullptr, " as typed ", " as typed "},
        {dfMemo, nullptr, "a\r\nb", "a\r\nb"},
        {dfText, nullptr, "", ""},
    };
    for (const Case& c : cases) {
        TFormFixture fx;
        TDFField* f = fx.Add("F", c.format, c.displayFormat ? QString(c.displayFormat) : QString());
        f->SetData("old");
        f->SetValue(c.input);
        EXPECT_EQ(f->Data(), c.data) << c.format << " " << c.input;
    }
}

TEST(FormsFields, NumbersZerosAndPercent)
{
    TFormFixture fx;
    TDFField* f = fx.Add("F", dfFloat, "#,##0.00");
    f->SetAsFloat(0);
    EXPECT_EQ(f->Data(), "");
    f->SetShowZero(true);
    f->SetAsFloat(0);
    EXPECT_EQ(f->Data(), "0.00");
    f->SetDisplayFormat("#.00");
    f->SetAsFloat(0);
    EXPECT_EQ(f->Data(), ".00");
    f->SetDisplayFormat("0.00");
    f->SetAsFloat(-1.005);
    EXPECT_EQ(f->Data(), "-1.01");

    TDFField* pct = fx.Add("P", dfPercent);
    pct->SetAsFloat(0.125);
    EXPECT_EQ(pct->Data(), "12.50");
    EXPECT_DOUBLE_EQ(pct->AsFloat(), 0.125);

    struct Case {
        const char* data;
        double asFloat;
        qint32 asInteger;
    } cases[] = {
        {"$(1,234.50)", -1234.50, 0}, {"12.5%", 12.5, 0}, {"1,234", 1234, 0}, {"42", 42, 42},
        {"-7", -7, -7}, {"", 0, 0}, {"abc", 0, 0}, {"1.2.3", 0, 0},
    };
    for (const Case& c : cases) {
        f->SetData(c.data);
        EXPECT_DOUBLE_EQ(f->AsFloat(), c.asFloat) << c.data;
        EXPECT_EQ(f->AsInteger(), c.asInteger) << c.data;
    }
    TDFField* n = fx.Add("N", dfInteger);
    n->SetAsInteger(0);
    EXPECT_EQ(n->Data(), "");
    n->SetAsInteger(-5);
    EXPECT_EQ(n->Data(), "-5");
    TDFField* d = fx.Add("D", dfDate);
    d->SetAsDate(0);
    EXPECT_EQ(d->Data(), "");
    d->SetAsDate(40451);   // 09/30/2010
    EXPECT_EQ(d->Data(), "09/30/2010");
}

TEST(FormsFields, FormatDefaults)
{
    TFormFixture fx;
    TDFField* f = fx.Add("F", dfFloat);
    EXPECT_EQ(f->DisplayFormat(), "#.00");
    f->SetFormat(dfDate);
    EXPECT_EQ(f->DisplayFormat(), "mm/dd/yyyy");
    EXPECT_EQ(f->EditMask(), "99/99/9999;; ");
    f->SetFormat(dfCheckbox);
    EXPECT_EQ(f->DisplayFormat(), "");
    EXPECT_EQ(f->EditMask(), "");
    EXPECT_EQ(f->PenStyle(), psSolid);
    EXPECT_EQ(f->PenWidth(), 2);
    EXPECT_TRUE(f->Autosize());
    f->SetDisplayFormat("x");
    f->SetFormat(dfText);
    EXPECT_EQ(f->DisplayFormat(), "");
    // loading takes the stored values as they are
    f->SetFormat(dfFloat);
    f->SetDisplayFormat("0.0");
    TDFEngine other;
    other.NewForm();
    other.Form()->LoadFromBytes(fx.engine.Form()->SaveToBytes());
    EXPECT_EQ(other.FindField("F")->DisplayFormat(), "0.0");
}

TEST(FormsFields, CheckBoxGroupsStayOnTheirPage)
{
    TFormFixture fx;
    TDFField* a = fx.Add("A", dfCheckbox);
    TDFField* b = fx.Add("B", dfCheckbox);
    TDFField* c = fx.Add("C", dfCheckbox);
    TDFPage* other = fx.engine.AddPage();
    TDFField* d = fx.Add("D", dfCheckbox, QString(), other);
    for (TDFField* f : {a, b, d})
        f->SetCheckIndex(1);
    c->SetCheckIndex(0);
    b->SetChecked(true);
    c->SetChecked(true);
    d->SetChecked(true);
    a->SetValue("1");
    EXPECT_TRUE(a->Checked());
    EXPECT_FALSE(b->Checked());
    EXPECT_EQ(b->Data(), "False");
    EXPECT_TRUE(c->Checked());   // no group
    EXPECT_TRUE(d->Checked());   // other page
    a->SetData("tRuE");
    EXPECT_TRUE(a->Checked());
}

TEST(FormsFields, FindingFieldsAndNames)
{
    TFormFixture fx;
    TDFField* f5 = fx.Add("f5", dfText);
    TDFPage* second = fx.engine.AddPage();
    TDFField* g = fx.Add("G", dfText, QString(), second);
    second->AddNew<TDFText>();
    EXPECT_EQ(fx.engine.FindField("F5"), f5);
    EXPECT_EQ(fx.engine.FieldCount(), 2);
    EXPECT_EQ(fx.engine.Fields(1), g);
    EXPECT_EQ(fx.engine.Fields(2), nullptr);
    EXPECT_EQ(fx.engine.FindField("nope"), nullptr);
    try {
        fx.engine.FieldByName("GrossSales");
        FAIL();
    } catch (const EDFError& e) {
        EXPECT_EQ(e.Message(), "Field \"GrossSales\" was not found");
    }
    try {
        g->SetFieldName("F5");
        FAIL();
    } catch (const EDFError& e) {
        EXPECT_EQ(e.Message(), "Fieldname already used: F5");
    }
    EXPECT_EQ(g->FieldName(), "G");
    EXPECT_THROW(g->SetFieldName("g"), EDFError);   // its own name counts too
    fx.engine.WantExceptions = false;
    g->SetFieldName("F5");
    EXPECT_EQ(g->FieldName(), "F5");
    EXPECT_EQ(g->ReferenceName(), "<F5>");
    // the field list follows structural changes
    f5->Release();
    EXPECT_EQ(fx.engine.FieldCount(), 1);
    EXPECT_EQ(fx.engine.FindField("f5"), g);
}

TEST(FormsFields, EngineBasics)
{
    TDFEngine engine;
    EXPECT_EQ(engine.PageCount(), 0);
    EXPECT_EQ(engine.Version(), "6.0.31");
    EXPECT_EQ(engine.PreviewCaption, "Defined Forms Preview");
    engine.NewForm();
    EXPECT_EQ(engine.PageCount(), 1);
    EXPECT_EQ(engine.Pages(0)->PageName(), "Page 1");
    EXPECT_EQ(engine.AddPage()->PageName(), "Page 2");
    EXPECT_THROW(engine.Pages(5), EDFError);
    EXPECT_TRUE(engine.LogFieldChange("f1", "12.00"));
    EXPECT_EQ(engine.ChangeLog, QStringList({"f1=12.00"}));
    EXPECT_TRUE(engine.FormDataStored());
    EXPECT_TRUE(engine.FormData().isEmpty());   // the first page has no object yet
    engine.Pages(0)->AddNew<TDFField>()->SetFieldName("Carried");
    TDFEngine carrier;
    carrier.SetFormData(engine.FormData());
    EXPECT_EQ(carrier.PageCount(), 2);
    EXPECT_TRUE(carrier.FindField("carried"));
    carrier.SetFormData(QByteArray());
    EXPECT_EQ(carrier.PageCount(), 1);
    engine.Form()->SetExternalPDFFile("Background");
    EXPECT_EQ(engine.LocatePDFBackground("/opt/pm"), "/opt/pm/PDF Forms/Background.pdf");
    engine.OnLocatePDFBackground = [](TDFEngine*, QString& spec) { spec = "/elsewhere/" + spec; };
    EXPECT_EQ(engine.LocatePDFBackground("/opt/pm"), "/elsewhere/Background.pdf");
}

TEST(FormsFields, DatasetTransfer)
{
    TFormFixture fx;
    TDFField* count = fx.Add("Count", dfInteger);
    count->SetFieldLink("Players");
    TDFField* gross = fx.Add("Gross", dfFloat, "#,##0.00");
    gross->SetFieldLink("GrossSales");
    TDFField* name = fx.Add("Name", dfText);
    name->SetFieldLink("OrgName");
    TDFField* unlinked = fx.Add("Unlinked", dfText);

    TMapRecord rec;
    rec.Values = {{"Players", "(12)"}, {"GrossSales", "1234.5"}, {"OrgName", "Lodge 7"}};
    fx.engine.ClearFields();
    unlinked->SetData("keep");
    fx.engine.LoadFromDataset(rec, true);
    EXPECT_EQ(count->Data(), "-12");
    EXPECT_EQ(gross->Data(), "1,234.50");
    EXPECT_EQ(name->Data(), "Lodge 7");
    EXPECT_EQ(fx.engine.FindField("Unlinked")->Data(), "keep");
    fx.engine.ClearFields();
    EXPECT_EQ(fx.engine.FindField("Unlinked")->Data(), "");

    TMapRecord out;
    out.Values = {{"Players", "x"}, {"GrossSales", "x"}, {"OrgName", "x"}};
    gross->SetData("$(5.25)");
    fx.engine.SaveToDataset(out, true);
    EXPECT_EQ(out.Values["Players"], "0");   // an empty integer field stores 0
    EXPECT_EQ(out.Kinds["Players"], "integer");
    EXPECT_EQ(out.Values["GrossSales"], "-5.25");
    EXPECT_EQ(out.Kinds["GrossSales"], "float");
    EXPECT_EQ(out.Values["OrgName"], "");
    EXPECT_EQ(out.Kinds["OrgName"], "text");

    TMapRecord partial;
    partial.Values = {{"Players", "3"}};
    fx.engine.LoadFromDataset(partial, false);   // missing columns are ignored
    EXPECT_EQ(count->Data(), "3");
    try {
        fx.engine.LoadFromDataset(partial, true);
        FAIL();
    } catch (const EDFDatasetError& e) {
        EXPECT_EQ(e.Message(), "Dataset field \"GrossSales\" was not found");
    }
    EXPECT_THROW(fx.engine.SaveToDataset(partial, true), EDFDatasetError);
    EXPECT_EQ(partial.Values["Players"], "3");   // fields before the error were written
}
