// The form tree: writing rules and property order, templates, loading of
// foreign and damaged definition files, paper sizes, rescaling, geometry,
// autosize measuring and change notification.

#include "forms/dfengine.h"

#include <gtest/gtest.h>

#include <QBuffer>
#include <QFontMetrics>
#include <QImage>
#include <QTemporaryDir>
#include <QtEndian>

using namespace pm;

namespace {

QStringList PropNames(const TDefinedStream& node)
{
    QStringList names;
    for (const TStreamProperty& p : node.StreamedProperties())
        names << QString::fromLatin1(p.Name);
    return names;
}

// A form with every kind of object and values away from the defaults.
void FillRichForm(TDFEngine& engine)
{
    engine.NewForm();
    TDFForm* form = engine.Form();
    form->SetFormName("Quarterly");
    form->SetComment(QString::fromUtf8("Caf\xc3\xa9 \xe2\x82\xac"));
    form->SetPassword("secret");
    form->SetInstructions(QString(400, 'i'));
    static_cast<TDFDefaultText*>(form->Template(&TDFDefaultText::StaticClass))->SetFontName("Courier New");
    TDFPage* page = engine.Pages(0);
    page->SetPaperSize(dfLegal);
    page->SetOrientation(dfLandscape);
    page->SetColor(0x123456);
    page->SetPrinterDuplex(true);
    QImage img(3, 2, QImage::Format_RGB32);
    img.fill(Qt::red);
    TDFPicture pic;
    pic.SetImage(img);
    page->SetBackground(pic);
    auto* line = page->AddNew<TDFLine>();
    line->SetName("Line1");
    line->SetX1(5);
    line->SetY2(7);
    line->SetPenWidth(3);
    auto* frame = page->AddNew<TDFFrame>();
    frame->SetFrameType(dfRound);
    frame->SetCorner(8);
    frame->SetLeft(-200);
    frame->SetTop(40000);
    auto* logo = page->AddNew<TDFLogo>();
    logo->SetPicture(pic);
    logo->SetStretch(true);
    auto* button = page->AddNew<TDFButton>();
    button->SetCaption("Go");
    button->SetPrints(true);
    button->SetFontStyle(fsItalic | fsUnderline);
    auto* text = page->AddNew<TDFText>();
    text->SetText("Two\r\nlines");
    text->SetFontCharset(238);
    text->SetAutosize(false);
    text->SetWidth(120);
    text->SetPrints(false);
    auto* field = page->AddNew<TDFField>();
    field->SetFieldName("Total");
    field->SetFormat(dfFloat);
    field->SetExpression("<A>+<B>");
    field->SetData("12.50");
    field->SetHybrid(true);
    field->SetBrushColor(qint32(0xFF00000F));
    field->SetFontColor(0x654321);
    TDFPage* second = engine.AddPage();
    second->SetPaperSize(dfCustomPaper);
    second->SetWidth(500);
    second->SetHeight(300);
    second->SetVisible(false);
}

} // namespace

TEST(FormsObjects, WrittenPropertiesAndTheirOrder)
{
    TDFEngine engine;
    engine.NewForm();
    TDFPage* page = engine.Pages(0);
    auto* field = page->AddNew<TDFField>();
    // same values as its template: only what is always written
    EXPECT_EQ(PropNames(*field), QStringList({"FieldName", "TabOrder"}));
    field->SetFontName("Arial Narrow");
    field->SetAutosize(false);
    field->SetLeft(3);
    EXPECT_EQ(PropNames(*field),
              QStringList({"FieldName", "TabOrder", "Autosize", "Left", "Width", "Height", "FontName"}));

    const TDefinedStream* tmpl = engine.Form()->Template(&TDFDefaultField::StaticClass);
    EXPECT_EQ(PropNames(*tmpl),
              QStringList({"FieldName", "Format", "TabOrder", "Active", "Store", "ShowZero", "Maxlength",
                           "ActiveMinWidth", "HelpContext", "CheckIndex", "LineSpacing", "Wordwrap", "Autosize",
                           "Alignment", "PenColor", "PenStyle", "PenWidth", "BrushColor", "BrushStyle", "FontName",
                           "FontHeight", "FontColor", "FontStyle", "FontCharset"}));
    EXPECT_EQ(PropNames(*engine.Form()),
              QStringList({"FormName", "PixelsPerInch", "ActiveColor", "ActivePenColor", "ActivePenStyle",
                           "ActivePenWidth", "ActiveBrushColor", "ActiveBrushStyle", "ActiveCheckboxBorder",
                           "DefaultLinkedColor", "OverriddenColor"}));
    EXPECT_EQ(PropNames(*page), QStringList({"PageName", "PrinterOffsetX", "PrinterOffsetY", "PDFPageNumber"}));
    auto* button = page->AddNew<TDFButton>();
    // Prints is written when it differs from a new object's: buttons don't print
    EXPECT_EQ(PropNames(*button), QStringList({"Caption", "Width", "Height"}));
    button->SetPrints(true);
    EXPECT_EQ(PropNames(*button).last(), "Prints");
    auto* line = page->AddNew<TDFLine>();
    EXPECT_EQ(PropNames(*line), QStringList({"X1", "Y1", "X2", "Y2"}));
    line->SetPrints(false);
    EXPECT_EQ(PropNames(*line).last(), "Prints");

    // the root of a save has an empty name; the first template record follows
    engine.Form()->SetName("Root");
    const QByteArray bytes = engine.Form()->SaveToBytes();
    EXPECT_EQ(bytes.mid(4, 9), QByteArray("\x07TDFForm\x00", 9));
}

TEST(FormsObjects, SaveOfLoadReproducesTheBytes)
{
    TDFEngine engine;
    FillRichForm(engine);
    const QByteArray bytes = engine.Form()->SaveToBytes();

    TDFEngine other;
    other.NewForm();
    other.Form()->LoadFromBytes(bytes);
    EXPECT_EQ(other.Form()->SaveToBytes(), bytes);
    EXPECT_EQ(other.Form()->FormName(), "Quarterly");
    EXPECT_EQ(other.Form()->Password(), "secret");
    EXPECT_EQ(other.Form()->Comment(), engine.Form()->Comment());
    EXPECT_FALSE(bytes.contains("secret"));
    ASSERT_EQ(other.PageCount(), 2);
    EXPECT_EQ(other.Pages(0)->Width(), 1344);   // legal, landscape
    EXPECT_EQ(other.Pages(0)->Height(), 816);
    EXPECT_EQ(other.Pages(0)->Background().Image().size(), QSize(3, 2));
    EXPECT_EQ(other.Pages(1)->Width(), 500);
    EXPECT_FALSE(other.Pages(1)->Visible());
    auto* field = other.FindField("TOTAL");
    ASSERT_TRUE(field);
    EXPECT_EQ(field->Data(), "12.50");
    EXPECT_EQ(field->BrushColor(), qint32(0xFF00000F));
    // text form both ways, and through a text file
    QStringList lines;
    engine.Form()->SaveToText(lines);
    TDFForm copy;
    copy.LoadFromText(lines);
    EXPECT_EQ(copy.SaveToBytes(), bytes);
    QTemporaryDir dir;
    const QString textFile = dir.filePath("form.txt"), binFile = dir.filePath("form.dfb");
    engine.Form()->SaveToTextFile(textFile);
    engine.Form()->SaveToFile(binFile);
    TDFForm fromText, fromFile;
    fromText.LoadFromTextFile(textFile);
    fromFile.LoadFromFile(binFile);
    EXPECT_EQ(fromText.SaveToBytes(), bytes);
    EXPECT_EQ(fromFile.SaveToBytes(), bytes);
    // assignment goes through the stream as well
    TDFEngine third;
    third.SetForm(engine.Form());
    EXPECT_EQ(third.Form()->SaveToBytes(), bytes);
    EXPECT_THROW(fromFile.LoadFromFile(dir.filePath("missing.dfb")), EDFError);
}

TEST(FormsObjects, ObjectsTakeTheirTemplateValuesWhenLoading)
{
    TDFEngine engine;
    engine.NewForm();
    auto* tmpl = static_cast<TDFDefaultText*>(engine.Form()->Template(&TDFDefaultText::StaticClass));
    tmpl->SetFontName("Courier New");
    tmpl->SetText("");   // an empty string is not written: reloads as "Text"
    auto* text = engine.Pages(0)->AddNew<TDFText>();
    text->SetText("Hello");
    // this object was made with the class's font, which now differs from the template
    EXPECT_TRUE(PropNames(*text).contains("FontName"));
    text->SetFontName("Courier New");
    EXPECT_FALSE(PropNames(*text).contains("FontName"));
    const QByteArray bytes = engine.Form()->SaveToBytes();

    TDFEngine other;
    other.NewForm();
    other.Form()->LoadFromBytes(bytes);
    auto* loaded = static_cast<TDFText*>(other.Pages(0)->Children(0));
    EXPECT_EQ(loaded->FontName(), "Courier New");
    EXPECT_EQ(loaded->Text(), "Hello");
    EXPECT_EQ(static_cast<TDFText*>(other.Form()->Template(&TDFDefaultText::StaticClass))->Text(), "Text");
}

TEST(FormsObjects, ForeignAndDamagedFilesLoadWhatCanBeLoaded)
{
    const QString text =
        "object TDFForm\n"
        "  FormName = 'Foreign'\n"
        "  PixelsPerInch = 120\n"
        "  FutureProperty = 'ignored'\n"
        "  object TDFDefaultLine end\n"
        "  object TDFDefaultFrame end\n"
        "  object TDFDefaultLogo end\n"
        "  object TDFDefaultButton end\n"
        "  object TDFDefaultText end\n"
        "  object TDFDefaultField\n"
        "    FontName = 'Courier New'\n"
        "  end\n"
        "  object P1: TDFPage\n"
        "    Width = 1234\n"
        "    Color = clAqua\n"
        "    object Gadget: TDFGadget\n"
        "      Size = 3\n"
        "      object Inner: TDFField\n"
        "        FieldName = 'Hidden'\n"
        "      end\n"
        "    end\n"
        "    object F1: TDFField\n"
        "      FieldName = 'f5'\n"
        "      Left = 10\n"
        "      Top = 300\n"
        "      Width = 70000\n"
        "      Format = dfNoSuchFormat\n"
        "      Active = 1\n"
        "      PenColor = clWhite\n"
        "      Visible = False\n"
        "      OnCompareItems = Handler\n"
        "    end\n"
        "    object F2: TDFField\n"
        "      FieldName = 'F5'\n"
        "      FontStyle = [fsBold, fsShadow]\n"
        "    end\n"
        "  end\n"
        "end\n";
    TDFEngine engine;
    engine.NewForm();
    engine.Form()->LoadFromBytes(TextToStream(text));
    EXPECT_EQ(engine.Form()->FormName(), "Foreign");
    EXPECT_EQ(engine.Form()->PixelsPerInch(), 96);   // read values are ignored
    TDFPage* page = engine.Pages(0);
    EXPECT_EQ(page->Width(), 1234);                   // taken as read while loading
    EXPECT_EQ(page->Color(), 0xFFFF00);
    ASSERT_EQ(page->ChildCount(), 2);                 // the unknown record went with its child
    EXPECT_EQ(engine.FieldCount(), 2);
    EXPECT_FALSE(engine.FindField("Hidden"));
    TDFField* f1 = engine.FindField("F5");            // the first of two equal names wins
    ASSERT_TRUE(f1);
    EXPECT_EQ(f1->Name(), "F1");
    EXPECT_EQ(f1->Left(), 10);
    EXPECT_EQ(f1->Top(), 300);                        // 16-bit value
    EXPECT_EQ(f1->Format(), dfText);                  // unknown enumeration value skipped
    EXPECT_FALSE(f1->Active());                       // an integer is no boolean
    EXPECT_EQ(f1->PenColor(), 0xFFFFFF);
    EXPECT_FALSE(f1->Visible());
    EXPECT_EQ(f1->FontName(), "Courier New");         // from the template
    EXPECT_EQ(static_cast<TDFField*>(page->Children(1))->FontStyle(), 0);
}

TEST(FormsObjects, LoadingErrors)
{
    TDFForm form;
    form.AddPage();
    EXPECT_THROW(form.LoadFromBytes("TPF1"), EDFError);
    EXPECT_EQ(form.ChildCount(), 0);                  // emptied before the signature check
    try {
        form.LoadFromBytes("XXXXXXXX");
        FAIL();
    } catch (const EDFError& e) {
        EXPECT_EQ(e.Message(), "Invalid stream format");
    }
    // an object on a page of a form without templates
    try {
        form.LoadFromBytes(TextToStream("object TDFForm object TDFPage object TDFField end end end"));
        FAIL();
    } catch (const EDFError& e) {
        EXPECT_EQ(e.Message(), "Index out of bounds: .TDFDefaultField (0)");
    }
    // a form record nested inside a form holds what its record lists, so a
    // reload does not add a second set of templates
    TDFForm outer;
    outer.AddNewChild(&TDFForm::StaticClass);
    const QByteArray nestedBytes = outer.SaveToBytes();
    TDFForm reloaded;
    reloaded.LoadFromBytes(nestedBytes);
    ASSERT_EQ(reloaded.ChildCount(), 7);
    EXPECT_EQ(reloaded.Children(6)->ChildCount(), 6);
    EXPECT_EQ(reloaded.SaveToBytes(), nestedBytes);
    // every truncation of a real definition fails cleanly
    TDFEngine engine;
    FillRichForm(engine);
    const QByteArray bytes = engine.Form()->SaveToBytes();
    for (qsizetype n = 0; n < bytes.size(); n += 7) {
        TDFForm target;
        EXPECT_THROW(target.LoadFromBytes(bytes.left(n)), EDFError) << n;
    }
    // an unknown picture class and a damaged bitmap load as empty pictures
    TDFPage* page = engine.Pages(0);
    const TPropInfo* bg = page->FindProp("background.data");
    ASSERT_TRUE(bg);
    QByteArray meta;
    WriteShortString(meta, "TMetafile");
    meta += QByteArray::fromHex("08000000aabbccdd");
    bg->SetBin(*page, meta);
    EXPECT_TRUE(page->Background().IsEmpty());
    // a JPEG picture decodes and keeps its bytes
    QByteArray jpeg;
    {
        QBuffer out(&jpeg);
        out.open(QIODevice::WriteOnly);
        QImage img(5, 4, QImage::Format_RGB32);
        img.fill(Qt::blue);
        ASSERT_TRUE(img.save(&out, "JPEG"));
    }
    QByteArray jpegBlock;
    WriteShortString(jpegBlock, "TJPEGImage");
    QByteArray len(4, '\0');
    qToLittleEndian<quint32>(quint32(jpeg.size()), len.data());
    jpegBlock += len + jpeg;
    bg->SetBin(*page, jpegBlock);
    EXPECT_EQ(page->Background().GraphicClass(), "TJPEGImage");
    EXPECT_EQ(page->Background().Image().size(), QSize(5, 4));
    EXPECT_EQ(bg->GetBin(*page), jpegBlock);
    QByteArray broken;
    WriteShortString(broken, "TBitmap");
    broken += QByteArray::fromHex("ffffff7f424d");
    bg->SetBin(*page, broken);
    EXPECT_TRUE(page->Background().IsEmpty());
}

TEST(FormsObjects, StreamPositionAndBuffers)
{
    TDFEngine engine;
    FillRichForm(engine);
    const QByteArray bytes = engine.Form()->SaveToBytes();
    QBuffer buffer;
    buffer.open(QIODevice::ReadWrite);
    buffer.write("junk");
    engine.Form()->SaveToStream(buffer);   // at position 4
    TDFForm form;
    EXPECT_THROW(form.LoadFromStream(buffer), EDFError);   // at the end: rewound, reads "junk"
    EXPECT_EQ(form.ChildCount(), 0);
    buffer.seek(4);
    form.LoadFromStream(buffer);           // from the current position
    EXPECT_EQ(form.SaveToBytes(), bytes);
    EXPECT_EQ(buffer.pos(), buffer.size());
    buffer.close();
    QBuffer plain;
    plain.setData(bytes);
    plain.open(QIODevice::ReadOnly);
    plain.seek(plain.size());
    TDFForm again;
    again.LoadFromStream(plain);
    EXPECT_EQ(again.SaveToBytes(), bytes);

    std::vector<char> small(10), big(size_t(bytes.size()) + 5);
    try {
        engine.Form()->SaveToBuffer(small.data(), qsizetype(small.size()));
        FAIL();
    } catch (const EDFError& e) {
        EXPECT_EQ(e.Message(), "Destination buffer too small");
    }
    EXPECT_EQ(engine.Form()->SaveToBuffer(big.data(), qsizetype(big.size())), bytes.size());
    TDFForm fromBuffer;
    EXPECT_EQ(fromBuffer.LoadFromBuffer(big.data(), bytes.size()), bytes.size());
    EXPECT_EQ(fromBuffer.SaveToBytes(), bytes);
}

TEST(FormsObjects, TreeOperations)
{
    TDFForm form;
    EXPECT_EQ(form.ChildCount(), 6);
    EXPECT_EQ(form.CountOfClass(&TDFObject::StaticClass), 6);
    EXPECT_EQ(form.CountOfClass(&TDFText::StaticClass), 1);
    try {
        form.ChildOfClass(&TDFPage::StaticClass, 0);
        FAIL();
    } catch (const EDFError& e) {
        EXPECT_EQ(e.Message(), "Index out of bounds: .TDFPage (0)");
    }
    form.SetName("Main");
    TDFPage* p1 = form.AddPage();
    TDFPage* p2 = form.AddPage();
    EXPECT_EQ(p1->PageName(), "Page 1");
    EXPECT_EQ(p2->PageName(), "Page 2");
    EXPECT_EQ(p1->Form(), &form);
    try {
        form.ChildOfClass(&TDFPage::StaticClass, 3);
        FAIL();
    } catch (const EDFError& e) {
        EXPECT_EQ(e.Message(), "Index out of bounds: Main.TDFPage (1)");
    }
    try {
        form.AddChild(nullptr);
        FAIL();
    } catch (const EDFError& e) {
        EXPECT_EQ(e.Message(), "New child can not be NIL.. Use AddNewChild");
    }
    try {
        form.SimpleProps(form.SimplePropCount());
        FAIL();
    } catch (const EDFError& e) {
        EXPECT_EQ(e.Message(), "Property index out of bounds");
    }
    EXPECT_EQ(form.SimpleProps(0).Name, "FormName");
    auto* f = p1->AddNewChildByName("tdffield");
    EXPECT_EQ(f->ClassName(), "TDFField");
    EXPECT_EQ(static_cast<TDFObject*>(f)->TemplateObject(), form.Template(&TDFDefaultField::StaticClass));
    EXPECT_THROW(p1->AddNewChildByName("TDFNothing"), EDFError);
    TDefinedStream* copy = p2->AddChildCopy(f);
    EXPECT_EQ(copy->ClassName(), "TDFField");
    f->Release();
    EXPECT_EQ(p1->ChildCount(), 0);

    // class-name order, then the handler's order
    p2->AddNew<TDFText>()->SetName("b");
    p2->AddNew<TDFLine>()->SetName("a");
    p2->SortChildren();   // no handler: nothing happens
    EXPECT_EQ(p2->Children(0)->ClassName(), "TDFField");
    p2->OnCompareItems = [](TDefinedStream*, TDefinedStream* a, TDefinedStream* b, bool& swap) {
        swap = a->Name() > b->Name();
    };
    p2->SortChildren();
    EXPECT_EQ(p2->Children(0)->Name(), "");
    EXPECT_EQ(p2->Children(1)->Name(), "a");
    EXPECT_EQ(p2->Children(2)->Name(), "b");

    // Clear resets the simple properties
    p2->Clear();
    EXPECT_EQ(p2->ChildCount(), 0);
    EXPECT_EQ(p2->PageName(), "");
    EXPECT_FALSE(p2->Visible());
}

TEST(FormsObjects, PaperSizes)
{
    struct Case {
        TdfPaperSize size;
        TdfOrientation orientation;
        qint32 ppi, width, height;
    } cases[] = {
        {dfLetter, dfPortrait, 96, 816, 1056}, {dfLetter, dfLandscape, 96, 1056, 816},
        {dfLetter, dfPortrait, 120, 1020, 1320}, {dfLegal, dfPortrait, 96, 816, 1344},
        {dfA3, dfPortrait, 96, 1122, 1587}, {dfA4, dfPortrait, 96, 792, 1122},
        {dfA5, dfLandscape, 96, 792, 559}, {dfA4, dfPortrait, 100, 825, 1169},
    };
    for (const Case& c : cases) {
        TDFEngine engine;
        engine.NewForm();
        engine.Form()->SetPixelsPerInch(c.ppi);
        TDFPage* page = engine.Pages(0);
        page->SetPaperSize(c.size);
        page->SetOrientation(c.orientation);
        EXPECT_EQ(page->Width(), c.width) << c.size << " " << c.ppi;
        EXPECT_EQ(page->Height(), c.height) << c.size << " " << c.ppi;
        page->SetWidth(10);   // only custom paper takes a size
        EXPECT_EQ(page->Width(), c.width);
    }
    TDFEngine engine;
    engine.NewForm();
    int dims = 0;
    engine.OnDimChange = [&](TDFEngine*, TDefinedStream*, bool) { ++dims; };
    TDFPage* page = engine.Pages(0);
    page->SetPaperSize(dfCustomPaper);
    page->SetWidth(300);
    page->SetOrientation(dfLandscape);
    EXPECT_EQ(page->Width(), 300);   // never exchanged
    EXPECT_EQ(dims, 3);
}

TEST(FormsObjects, PixelsPerInchRescalesEverything)
{
    TDFEngine engine;
    engine.NewForm();
    TDFPage* page = engine.Pages(0);
    auto* text = page->AddNew<TDFText>();
    text->SetAutosize(false);
    text->SetLeft(10);
    text->SetTop(-7);
    text->SetWidth(33);
    text->SetHeight(5);
    auto* frame = page->AddNew<TDFFrame>();
    frame->SetCorner(9);
    frame->SetFontHeight(-11);
    auto* line = page->AddNew<TDFLine>();
    line->SetX1(100);
    line->SetX2(20);
    engine.Form()->SetPixelsPerInch(120);
    EXPECT_EQ(page->Width(), 1020);
    EXPECT_EQ(text->Left(), 12);
    EXPECT_EQ(text->Top(), -8);   // toward zero
    EXPECT_EQ(text->Width(), 41);
    EXPECT_EQ(text->Height(), 6);
    EXPECT_EQ(text->FontHeight(), -13);
    EXPECT_EQ(frame->Corner(), 11);
    EXPECT_EQ(frame->FontHeight(), -11);   // only texts and fields
    EXPECT_EQ(line->Left(), 25);
    EXPECT_EQ(line->Width(), 100);
    engine.Form()->SetPixelsPerInch(0);   // ignored
    EXPECT_EQ(engine.Form()->PixelsPerInch(), 120);
}

TEST(FormsObjects, LineGeometry)
{
    TDFLine line;
    line.SetX1(50);
    line.SetY1(10);
    line.SetX2(20);
    line.SetY2(40);
    EXPECT_EQ(line.Left(), 20);
    EXPECT_EQ(line.Top(), 10);
    EXPECT_EQ(line.Width(), 30);
    EXPECT_EQ(line.Height(), 30);
    line.SetLeft(0);   // the smaller X becomes 0, the difference stays
    EXPECT_EQ(line.X1(), 30);
    EXPECT_EQ(line.X2(), 0);
    line.SetWidth(5);  // the larger X moves
    EXPECT_EQ(line.X1(), 5);
    EXPECT_EQ(line.X2(), 0);
    line.SetTop(100);
    EXPECT_EQ(line.Y1(), 100);
    EXPECT_EQ(line.Y2(), 130);
    line.SetHeight(1);
    EXPECT_EQ(line.Y2(), 101);
}

TEST(FormsObjects, AutosizeMeasuring)
{
    TDFEngine engine;
    engine.NewForm();
    TDFPage* page = engine.Pages(0);
    QFont font("Liberation Sans");
    font.setPixelSize(11);
    QFontMetrics fm(font);
    auto* text = page->AddNew<TDFText>();
    text->SetText("Hello");
    EXPECT_EQ(text->Width(), fm.horizontalAdvance("Hello") + 2);
    EXPECT_EQ(text->Height(), fm.height() + 2);
    text->SetText("");
    EXPECT_EQ(text->Width(), fm.horizontalAdvance("X") + 2);
    text->SetText("a\r\nlonger line\r\nb");
    EXPECT_EQ(text->Width(), fm.horizontalAdvance("longer line") + 2);
    EXPECT_EQ(text->Height(), 3 * (fm.height() + 2));
    text->SetLineSpacing(20);
    EXPECT_EQ(text->Height(), 60);

    auto* field = page->AddNew<TDFField>();
    field->SetData("1");
    field->SetActive(true);
    EXPECT_EQ(field->Width(), 80);   // ActiveMinWidth
    field->SetFormat(dfCheckbox);
    EXPECT_EQ(field->Width(), 13);
    EXPECT_EQ(field->Height(), 13);

    auto* logo = page->AddNew<TDFLogo>();
    EXPECT_EQ(logo->Width(), 100);
    TDFPicture pic;
    pic.SetImage(QImage(7, 9, QImage::Format_RGB32));
    logo->SetPicture(pic);
    EXPECT_EQ(logo->Width(), 7);
    EXPECT_EQ(logo->Height(), 9);
}

TEST(FormsObjects, FontSizeAndFontNames)
{
    TDFEngine engine;
    engine.NewForm();
    auto* text = engine.Pages(0)->AddNew<TDFText>();
    EXPECT_EQ(text->FontSize(), 8);   // -11 px at 96 per inch
    text->SetFontSize(10);
    EXPECT_EQ(text->FontHeight(), -13);
    text->SetFontSize(0);             // below 1: 96 per inch
    EXPECT_EQ(text->FontHeight(), 0);
    EXPECT_EQ(MulDiv(-11, 72, 96), -8);
    EXPECT_EQ(MulDiv(3, 1, 2), 2);
    EXPECT_EQ(MulDiv(-3, 1, 2), -2);
    EXPECT_EQ(MulDiv(1, 1, 0), -1);
    EXPECT_EQ(MapFontFamily("Arial"), "Liberation Sans");
    EXPECT_EQ(MapFontFamily("courier new"), "Liberation Mono");
    EXPECT_EQ(MapFontFamily("Arial Narrow"), "Liberation Sans Narrow");
    EXPECT_EQ(MapFontFamily("Verdana"), "Verdana");
}

TEST(FormsObjects, ChangeNotificationAndUpdates)
{
    TDFEngine engine;
    engine.NewForm();
    int changes = 0, redraws = 0;
    engine.OnChange = [&](TDFEngine*, TDefinedStream*, bool) { ++changes; };
    engine.AttachDisplay(&redraws, [&](bool) { ++redraws; });
    auto* field = engine.Pages(0)->AddNew<TDFField>();
    EXPECT_GT(changes, 0);
    changes = 0;
    const int redrawsBefore = redraws;
    field->SetData("x");
    field->SetData("x");   // every assignment to Data notifies
    EXPECT_EQ(changes, 2);
    EXPECT_EQ(redraws - redrawsBefore, 2);

    changes = 0;
    engine.BeginUpdate();
    EXPECT_EQ(changes, 1);
    field->SetData("y");
    field->SetLeft(4);
    EXPECT_EQ(changes, 1);
    engine.EndUpdate();
    EXPECT_EQ(changes, 2);
    engine.BeginUpdate();
    engine.EndUpdate();   // nothing changed meanwhile
    EXPECT_EQ(changes, 3);
    engine.DetachDisplay(&redraws);
    EXPECT_EQ(engine.AttachedDisplay(), nullptr);
}
