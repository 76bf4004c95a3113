// Recalculation: field references, host functions, the calculation order
// with its move cap, and formulas whose text becomes the value.

#include "forms/dfengine.h"

#include <gtest/gtest.h>

using namespace pm;

namespace {

struct TCalcFixture {
    TDFEngine engine;
    TDFPage* page = nullptr;
    QStringList calls;   // "name(arg|arg)" in the order the host saw them
    QStringList messages;

    TCalcFixture()
    {
        engine.NewForm();
        page = engine.Pages(0);
        engine.OnShowMessage = [this](const QString& m) { messages << m; };
        engine.OnEvaluateFunction = [this](TDFEngine*, TDFField*, const QString& func, QStringList& args,
                                           QString& value) {
            calls << func + "(" + args.join("|") + ")";
            if (func.compare("@MAX", Qt::CaseInsensitive) == 0)
                value = "2";
            else if (func.compare("@MIN", Qt::CaseInsensitive) == 0)
                value = "1";
            else if (func.compare("@IF", Qt::CaseInsensitive) == 0 && args.size() == 3)
                value = args[0].toDouble() > 0 ? args[1] : args[2];
            else if (func.compare("@LOOP", Qt::CaseInsensitive) == 0)
                value = "@LOOP(1)";
        };
    }
    TDFField* Add(const QString& name, TdfFieldformat format, const QString& expression = QString(),
                  const QString& displayFormat = QString())
    {
        auto* f = page->AddNew<TDFField>();
        f->SetFieldName(name);
        f->SetFormat(format);
        if (!displayFormat.isNull())
            f->SetDisplayFormat(displayFormat);
        f->SetExpression(expression);
        return f;
    }
    QStringList Order() const
    {
        QStringList names;
        for (const auto& e : engine.CalcOrder)
            names << e.first;
        return names;
    }
};

} // namespace

TEST(FormsRecalc, FormulaResults)
{
    struct Case {
        const char* expression;
        TdfFieldformat format;
        const char* data;
    } cases[] = {
        {"<A>+<B>", dfFloat, "2.00"},
        {"<F1>*<PCT>", dfFloat, "1.25"},
        {"\"N/A\"", dfText, "N/A"},
        {"'Yes'", dfText, "Yes"},
        {"1/0", dfText, "1/0"},
        {"LN(0)", dfText, "LN(0)"},
        {"0^2", dfText, "0^2"},
        {"(-2)^2", dfText, "(-2)^2"},
        {"2^3^2", dfText, "512"},
        {"2*-3", dfText, "-6"},
        {"10--3", dfText, "13"},
        {"- -3", dfText, "- -3"},
        {"ROUND(2.5)", dfText, "2"},
        {"TRUNC(-2.7)", dfText, "-2"},
        {".5*2", dfText, "1"},
        {"1/3", dfText, "0.3333333333"},
        {"<Nobody>+1", dfText, "<Nobody>+1"},
        {"<Nobody>+1", dfFloat, "1.00"},       // a numeric field keeps digits and separators
        {"<CHK>+<LIST>", dfText, "3"},
        {"<NAME>", dfText, "Lodge"},
        {"((((((((((((1))))))))))))", dfText, "1"},        // 12 pairs fit the 15-entry stack
        {"(((((((((((((1)))))))))))))", dfText, "(((((((((((((1)))))))))))))"},
    };
    for (const Case& c : cases) {
        TCalcFixture fx;
        fx.Add("A", dfFloat)->SetAsFloat(2);
        fx.Add("B", dfFloat);
        fx.Add("F1", dfFloat)->SetAsFloat(10);
        fx.Add("PCT", dfPercent)->SetValue("0.125");   // shows 12.50
        fx.Add("CHK", dfCheckbox)->SetChecked(true);
        TDFField* list = fx.Add("LIST", dfCombolist);
        list->SetComboItems("one\r\ntwo\r\nthree");
        list->SetData("THREE");
        fx.Add("NAME", dfText)->SetData("Lodge");
        TDFField* r = fx.Add("R", c.format, c.expression);
        fx.engine.Recalculate();
        EXPECT_EQ(r->Data(), c.data) << c.expression;
    }
}

TEST(FormsRecalc, SubstitutionTexts)
{
    TCalcFixture fx;
    fx.Add("a", dfFloat)->SetValue("1,234.5");
    fx.Add("List", dfCombolist)->SetComboItems("x\ny");
    fx.Add("Pct", dfPercent)->SetAsFloat(0.5);
    fx.Add("Empty", dfInteger);
    EXPECT_EQ(fx.engine.SubstituteFieldValues("<A>+<a>*<LIST>-<pct>/<Empty>+<none>"),
              "1234.5+1234.5*-1-0.5/0+<none>");
    EXPECT_EQ(fx.engine.SubstituteFieldValues("no references"), "no references");

    // values are replaced in field order, and may form references to later fields
    TCalcFixture order;
    order.Add("X", dfText)->SetData("G");
    order.Add("T", dfText)->SetData("<z>");
    order.Add("FG", dfInteger)->SetAsInteger(7);
    order.Add("Z", dfInteger)->SetAsInteger(5);
    EXPECT_EQ(order.engine.SubstituteFieldValues("<F<X>>+<T>"), "7+5");
    order.engine.FindField("T")->SetData("<x>");
    EXPECT_EQ(order.engine.SubstituteFieldValues("<T>"), "<x>");   // X comes before T
}

TEST(FormsRecalc, HostFunctionsAnswerInnerCallsFirst)
{
    TCalcFixture fx;
    fx.Add("A", dfFloat)->SetAsFloat(3);
    fx.Add("B", dfFloat)->SetAsFloat(1);
    TDFField* m = fx.Add("M", dfFloat, "@MIN(<A>, 3, @MAX(1, 2))");
    TDFField* i = fx.Add("I", dfText, "@IF(<A>-<B>, 'yes', 'no')");
    fx.engine.Recalculate();
    EXPECT_EQ(fx.calls, QStringList({"@MAX(1|2)", "@MIN(3|3|2)", "@IF(2|yes|no)"}));
    EXPECT_EQ(m->Data(), "1.00");
    EXPECT_EQ(i->Data(), "yes");

    // without a handler every call is "0"; a call that never closes stays text
    TDFEngine bare;
    bare.NewForm();
    auto* f = bare.Pages(0)->AddNew<TDFField>();
    EXPECT_EQ(bare.EvaluateExpression(f, "@ANY(1)+2"), "2");
    EXPECT_EQ(bare.EvaluateExpression(f, "@OPEN(1"), "@OPEN(1");
    // a host answer that calls itself again does not hang
    EXPECT_FALSE(fx.engine.EvaluateExpression(f, "@LOOP(1)").isEmpty());
}

TEST(FormsRecalc, CalculationOrder)
{
    TCalcFixture fx;
    TDFField* total = fx.Add("Total", dfFloat, "<Sub>+<Tax>");
    TDFField* tax = fx.Add("Tax", dfFloat, "<Sub>*0.1");
    TDFField* sub = fx.Add("Sub", dfFloat, "<Base>*2");
    fx.Add("Base", dfFloat)->SetAsFloat(50);
    fx.engine.Recalculate();
    EXPECT_EQ(fx.Order(), QStringList({"SUB", "TAX", "TOTAL"}));
    EXPECT_EQ(sub->Data(), "100.00");
    EXPECT_EQ(tax->Data(), "10.00");
    EXPECT_EQ(total->Data(), "110.00");
    EXPECT_TRUE(fx.engine.Recalculated);
    EXPECT_TRUE(fx.messages.isEmpty());

    // the order stays until NewForm, even when expressions change
    fx.engine.Recalculated = false;
    total->SetExpression("<Base>");
    fx.engine.Recalculate();
    EXPECT_EQ(fx.Order(), QStringList({"SUB", "TAX", "TOTAL"}));
    EXPECT_EQ(total->Data(), "50.00");
    EXPECT_TRUE(fx.engine.Recalculated);
    fx.engine.Recalculated = false;
    fx.engine.Recalculate();
    EXPECT_FALSE(fx.engine.Recalculated);   // nothing changed

    // TotAppDiv goes first when its turn comes
    TCalcFixture t;
    t.Add("X", dfFloat, "1");
    t.Add("Y", dfFloat, "2");
    t.Add("TotAppDiv", dfFloat, "3");
    t.Add("Z", dfFloat, "4");
    t.engine.Recalculate();
    EXPECT_EQ(t.Order(), QStringList({"TOTAPPDIV", "X", "Y", "Z"}));
}

TEST(FormsRecalc, CircularReferencesHitTheMoveCap)
{
    TCalcFixture fx;
    TDFField* a = fx.Add("A", dfFloat, "<B>+1");
    TDFField* b = fx.Add("B", dfFloat, "<A>+1");
    int changes = 0;
    fx.engine.OnChange = [&](TDFEngine*, TDefinedStream* o, bool) {
        if (o == a || o == b)
            ++changes;
    };
    fx.engine.Recalculate();
    ASSERT_EQ(fx.messages.size(), 1);
    EXPECT_TRUE(fx.messages[0].startsWith(
        "This form contains a circular reference which may prevent it from calculating correctly. \r\n\r\nField name: "));
    EXPECT_TRUE(fx.messages[0].contains("\r\nExpression: <"));
    EXPECT_EQ(fx.engine.CalcOrder.size(), 2u);
    EXPECT_EQ(changes, 2);   // each calculated once
    EXPECT_EQ(a->Data().isEmpty() && b->Data().isEmpty(), false);
    fx.engine.Recalculate();   // the order is kept: no second message
    EXPECT_EQ(fx.messages.size(), 1);
}

TEST(FormsRecalc, ReentryAndErrors)
{
    TCalcFixture fx;
    TDFField* f = fx.Add("F", dfText, "@HOST(1)");
    int inner = 0;
    fx.engine.OnEvaluateFunction = [&](TDFEngine* e, TDFField*, const QString&, QStringList&, QString& value) {
        ++inner;
        e->Recalculate();   // ignored while running
        value = "ok";
    };
    fx.engine.Recalculate();
    EXPECT_EQ(inner, 1);
    EXPECT_EQ(f->Data(), "ok");
    fx.engine.OnEvaluateFunction = [](TDFEngine*, TDFField*, const QString&, QStringList&, QString&) {
        throw EDFError("host failed");
    };
    EXPECT_THROW(fx.engine.Recalculate(), EDFError);
    EXPECT_FALSE(fx.engine.Recalculating());

    // a tree replaced behind the engine's back does not leave a stale order
    TCalcFixture g;
    g.Add("One", dfFloat, "1");
    g.engine.Recalculate();
    const QByteArray bytes = g.engine.Form()->SaveToBytes();
    g.engine.Form()->LoadFromBytes(bytes);
    g.engine.Recalculate();
    EXPECT_EQ(g.engine.FindField("One")->Data(), "1.00");
    g.engine.NewForm();
    EXPECT_TRUE(g.engine.CalcOrder.empty());
}
