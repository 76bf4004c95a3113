#include "forms/dfobjects.h"

#include "forms/dfengine.h"

#include "components/entry.h"
#include "components/formatting.h"
#include "components/win1252.h"

#include <QBuffer>
#include <QFont>
#include <QFontMetrics>
#include <QGuiApplication>
#include <QtEndian>
#include <cmath>

namespace pm {

// ---------------------------------------------------------------------------
// Names

const QStringList& PaperSizeNames()
{
    static const QStringList n = {"dfLetter", "dfLegal", "dfA3", "dfA4", "dfA5", "dfCustomPaper"};
    return n;
}
const QStringList& OrientationNames()
{
    static const QStringList n = {"dfPortrait", "dfLandscape"};
    return n;
}
const QStringList& BackgroundAlignNames()
{
    static const QStringList n = {"dfNormal", "dfTile", "dfStretch"};
    return n;
}
const QStringList& FrameTypeNames()
{
    static const QStringList n = {"dfSquare", "dfRound", "dfEllipse"};
    return n;
}
const QStringList& AlignmentNames()
{
    static const QStringList n = {"dfLeft", "dfRight", "dfCentered", "dfJustified"};
    return n;
}
const QStringList& FieldformatNames()
{
    static const QStringList n = {"dfText", "dfInteger", "dfFloat", "dfPercent", "dfDate",
                                  "dfCheckbox", "dfCombobox", "dfCombolist", "dfMemo"};
    return n;
}
const QStringList& PenStyleNames()
{
    static const QStringList n = {"psSolid", "psDash", "psDot", "psDashDot", "psDashDotDot",
                                  "psClear", "psInsideFrame", "psUserStyle", "psAlternate"};
    return n;
}
const QStringList& BrushStyleNames()
{
    static const QStringList n = {"bsSolid", "bsClear", "bsHorizontal", "bsVertical",
                                  "bsFDiagonal", "bsBDiagonal", "bsCross", "bsDiagCross"};
    return n;
}
const QStringList& FontStyleNames()
{
    static const QStringList n = {"fsBold", "fsItalic", "fsUnderline", "fsStrikeOut"};
    return n;
}

QString MapFontFamily(const QString& name)
{
    const QString n = name.trimmed();
    if (n.compare("Arial", Qt::CaseInsensitive) == 0 || n.compare("Helvetica", Qt::CaseInsensitive) == 0
        || n.compare("MS Sans Serif", Qt::CaseInsensitive) == 0)
        return "Liberation Sans";
    if (n.compare("Arial Narrow", Qt::CaseInsensitive) == 0)
        return "Liberation Sans Narrow";
    if (n.compare("Courier New", Qt::CaseInsensitive) == 0 || n.compare("Courier", Qt::CaseInsensitive) == 0)
        return "Liberation Mono";
    if (n.compare("Times New Roman", Qt::CaseInsensitive) == 0)
        return "Liberation Serif";
    return n;
}

qint32 MulDiv(qint32 a, qint32 b, qint32 c)
{
    if (c == 0)
        return -1;
    qint64 p = qint64(a) * qint64(b);
    bool neg = (p < 0) != (c < 0);
    quint64 ap = p < 0 ? quint64(-p) : quint64(p);
    quint64 ac = c < 0 ? quint64(-qint64(c)) : quint64(c);
    quint64 q = (ap + ac / 2) / ac;
    qint64 r = neg ? -qint64(q) : qint64(q);
    if (r > INT32_MAX || r < INT32_MIN)
        return -1;
    return qint32(r);
}

// ---------------------------------------------------------------------------
// Pictures

QByteArray TDFPicture::StreamData() const
{
    if (IsEmpty())
        return QByteArray();
    QByteArray out;
    WriteShortString(out, FClassName);
    out.append(FData);
    return out;
}

void TDFPicture::SetStreamData(const QByteArray& block)
{
    Clear();
    if (block.isEmpty())
        return;
    int n = quint8(block[0]);
    if (n == 0 || block.size() < 1 + n)
        return;
    QByteArray cls = block.mid(1, n);
    QByteArray data = block.mid(1 + n);
    const char* format = nullptr;
    if (cls == "TBitmap")
        format = "BMP";
    else if (cls == "TJPEGImage")
        format = "JPEG";
    else
        return;   // metafiles, icons and other classes load as empty
    if (data.size() < 4)
        return;
    quint32 len = qFromLittleEndian<quint32>(data.constData());
    if (len > quint32(data.size() - 4))
        return;
    QImage image;
    if (!image.loadFromData(reinterpret_cast<const uchar*>(data.constData()) + 4, int(len), format))
        return;
    FClassName = cls;
    FData = data;
    FImage = image;
}

void TDFPicture::SetImage(const QImage& image)
{
    Clear();
    if (image.isNull())
        return;
    QByteArray bmp;
    QBuffer buffer(&bmp);
    buffer.open(QIODevice::WriteOnly);
    if (!image.save(&buffer, "BMP"))
        return;
    FClassName = "TBitmap";
    FData.resize(4);
    qToLittleEndian<quint32>(quint32(bmp.size()), FData.data());
    FData.append(bmp);
    FImage = image;
}

void TDFPicture::Clear()
{
    FClassName.clear();
    FData.clear();
    FImage = QImage();
}

// ---------------------------------------------------------------------------
// Classes

namespace {
template <class T> TDefinedStream* Make() { return new T; }
} // namespace

const TDFClass TDFStream::StaticClass = {"TDFStream", &TDefinedStream::StaticClass, &Make<TDFStream>};
const TDFClass TDFForm::StaticClass = {"TDFForm", &TDFStream::StaticClass, &Make<TDFForm>};
const TDFClass TDFPage::StaticClass = {"TDFPage", &TDFStream::StaticClass, &Make<TDFPage>};
const TDFClass TDFObject::StaticClass = {"TDFObject", &TDFStream::StaticClass, &Make<TDFObject>};
const TDFClass TDFLine::StaticClass = {"TDFLine", &TDFObject::StaticClass, &Make<TDFLine>};
const TDFClass TDFFrame::StaticClass = {"TDFFrame", &TDFObject::StaticClass, &Make<TDFFrame>};
const TDFClass TDFLogo::StaticClass = {"TDFLogo", &TDFObject::StaticClass, &Make<TDFLogo>};
const TDFClass TDFButton::StaticClass = {"TDFButton", &TDFObject::StaticClass, &Make<TDFButton>};
const TDFClass TDFText::StaticClass = {"TDFText", &TDFObject::StaticClass, &Make<TDFText>};
const TDFClass TDFField::StaticClass = {"TDFField", &TDFObject::StaticClass, &Make<TDFField>};
const TDFClass TDFDefaultLine::StaticClass = {"TDFDefaultLine", &TDFLine::StaticClass, &Make<TDFDefaultLine>};
const TDFClass TDFDefaultFrame::StaticClass = {"TDFDefaultFrame", &TDFFrame::StaticClass, &Make<TDFDefaultFrame>};
const TDFClass TDFDefaultLogo::StaticClass = {"TDFDefaultLogo", &TDFLogo::StaticClass, &Make<TDFDefaultLogo>};
const TDFClass TDFDefaultButton::StaticClass = {"TDFDefaultButton", &TDFButton::StaticClass, &Make<TDFDefaultButton>};
const TDFClass TDFDefaultText::StaticClass = {"TDFDefaultText", &TDFText::StaticClass, &Make<TDFDefaultText>};
const TDFClass TDFDefaultField::StaticClass = {"TDFDefaultField", &TDFField::StaticClass, &Make<TDFDefaultField>};

const std::vector<const TDFClass*>& RegisteredClasses()
{
    static const std::vector<const TDFClass*> classes = {
        &TDefinedStream::StaticClass, &TDFForm::StaticClass, &TDFPage::StaticClass, &TDFObject::StaticClass,
        &TDFLine::StaticClass, &TDFFrame::StaticClass, &TDFLogo::StaticClass, &TDFButton::StaticClass,
        &TDFText::StaticClass, &TDFField::StaticClass, &TDFDefaultLine::StaticClass,
        &TDFDefaultFrame::StaticClass, &TDFDefaultLogo::StaticClass, &TDFDefaultButton::StaticClass,
        &TDFDefaultText::StaticClass, &TDFDefaultField::StaticClass};
    return classes;
}

const TDFClass* FindRegisteredClass(const QString& name)
{
    for (const TDFClass* c : RegisteredClasses())
        if (name.compare(QLatin1String(c->Name), Qt::CaseInsensitive) == 0)
            return c;
    return nullptr;
}

#define PM_SET(Cls, Prop, Type, Field)          \
    void Cls::Set##Prop(Type v)                 \
    {                                           \
        if (Field != v) {                       \
            Field = v;                          \
            Changed();                          \
        }                                       \
    }
#define PM_SETS(Cls, Prop, Field) PM_SET(Cls, Prop, const QString&, Field)

// ---------------------------------------------------------------------------
// Form

namespace {
constexpr unsigned char kPasswordScramble = 0x7F;

QString Scramble(const QString& text)
{
    QByteArray b = ToWin1252(text);
    for (char& c : b)
        c = char(quint8(c) ^ kPasswordScramble);
    return FromWin1252(b);
}
} // namespace

TDFForm::TDFForm()
{
    AddNew<TDFDefaultLine>();
    AddNew<TDFDefaultFrame>();
    AddNew<TDFDefaultLogo>();
    AddNew<TDFDefaultButton>();
    AddNew<TDFDefaultText>();
    AddNew<TDFDefaultField>();
}

const TPropList& TDFForm::PropList() const
{
    static const TPropList list = [] {
        TPropBuilder b(BaseProps());
        using F = TDFForm;
        b.Str("FormName", &F::FormName, &F::SetFormName)
            .Str("Comment", &F::Comment, &F::SetComment)
            .Str("Password", &F::ScrambledPassword, &F::SetScrambledPassword)
            .Ord("PixelsPerInch", TPropType::Integer, &F::PixelsPerInch, &F::SetPixelsPerInch)
            .Ord("ActiveColor", TPropType::Color, &F::ActiveColor, &F::SetActiveColor)
            .Ord("ActivePenColor", TPropType::Color, &F::ActivePenColor, &F::SetActivePenColor)
            .Ord("ActivePenStyle", TPropType::Enum, &F::ActivePenStyle, &F::SetActivePenStyle, TStoreRule::Always, 0, &PenStyleNames())
            .Ord("ActivePenWidth", TPropType::Integer, &F::ActivePenWidth, &F::SetActivePenWidth)
            .Ord("ActiveBrushColor", TPropType::Color, &F::ActiveBrushColor, &F::SetActiveBrushColor)
            .Ord("ActiveBrushStyle", TPropType::Enum, &F::ActiveBrushStyle, &F::SetActiveBrushStyle, TStoreRule::Always, 0, &BrushStyleNames())
            .Ord("ActiveCheckboxBorder", TPropType::Boolean, &F::ActiveCheckboxBorder, &F::SetActiveCheckboxBorder)
            .Str("Instructions", &F::Instructions, &F::SetInstructions)
            .Str("SQL", &F::SQL, &F::SetSQL)
            .Ord("DefaultLinkedColor", TPropType::Color, &F::DefaultLinkedColor, &F::SetDefaultLinkedColor)
            .Ord("OverriddenColor", TPropType::Color, &F::OverriddenColor, &F::SetOverriddenColor)
            .Str("ExternalPDFFile", &F::ExternalPDFFile, &F::SetExternalPDFFile);
        return b.List;
    }();
    return list;
}

void TDFForm::Changed(TDefinedStream* sender, bool isLoading)
{
    if (FEngine)
        FEngine->Changed(sender, isLoading);
}

int TDFForm::PageCount() const { return CountOfClass(&TDFPage::StaticClass); }

TDFPage* TDFForm::Pages(int index) const
{
    return static_cast<TDFPage*>(ChildOfClass(&TDFPage::StaticClass, index));
}

TDFPage* TDFForm::AddPage()
{
    TDFPage* page = AddNew<TDFPage>();
    int count = PageCount();
    page->SetPageName("Page " + QString::number(count));
    TDFPage* first = Pages(0);
    if (first->PageName() == "Untitled Page")
        first->SetPageName("Page 1");
    return page;
}

TDefinedStream* TDFForm::Template(const TDFClass* templateClass) const
{
    if (!templateClass)
        return nullptr;
    for (int i = 0; i < ChildCount(); ++i)
        if (Children(i)->InheritsFrom(templateClass))
            return Children(i);
    return nullptr;
}

PM_SETS(TDFForm, FormName, FFormName)
PM_SETS(TDFForm, Comment, FComment)
PM_SETS(TDFForm, ScrambledPassword, FPassword)
QString TDFForm::Password() const { return Scramble(FPassword); }
void TDFForm::SetPassword(const QString& v) { SetScrambledPassword(Scramble(v)); }
PM_SET(TDFForm, ActiveColor, TColor, FActiveColor)
PM_SET(TDFForm, ActivePenColor, TColor, FActivePenColor)
PM_SET(TDFForm, ActivePenStyle, TPenStyle, FActivePenStyle)
PM_SET(TDFForm, ActivePenWidth, qint32, FActivePenWidth)
PM_SET(TDFForm, ActiveBrushColor, TColor, FActiveBrushColor)
PM_SET(TDFForm, ActiveBrushStyle, TBrushStyle, FActiveBrushStyle)
PM_SET(TDFForm, ActiveCheckboxBorder, bool, FActiveCheckboxBorder)
PM_SETS(TDFForm, Instructions, FInstructions)
PM_SETS(TDFForm, SQL, FSQL)
PM_SET(TDFForm, DefaultLinkedColor, TColor, FDefaultLinkedColor)
PM_SET(TDFForm, OverriddenColor, TColor, FOverriddenColor)
PM_SETS(TDFForm, ExternalPDFFile, FExternalPDFFile)

void TDFForm::SetPixelsPerInch(qint32 v)
{
    // a value read from a stream is ignored; 0 would make every size 0
    if (IsLoading() || v == 0 || v == FPixelsPerInch)
        return;
    const long double f = (long double)v / (long double)FPixelsPerInch;
    auto scaled = [f](qint32 x) { return qint32(std::trunc(f * x)); };
    FPixelsPerInch = v;
    for (int i = 0; i < PageCount(); ++i) {
        TDFPage* page = Pages(i);
        page->SetWidth(scaled(page->Width()));
        page->SetHeight(scaled(page->Height()));
        page->ApplyPaperSize();
        for (int j = 0; j < page->ChildCount(); ++j) {
            auto* o = dynamic_cast<TDFObject*>(page->Children(j));
            if (!o)
                continue;
            o->SetLeft(scaled(o->Left()));
            o->SetTop(scaled(o->Top()));
            o->SetHeight(scaled(o->Height()));
            o->SetWidth(scaled(o->Width()));
            if (auto* frame = dynamic_cast<TDFFrame*>(o))
                frame->SetCorner(scaled(frame->Corner()));
            if (dynamic_cast<TDFText*>(o) || dynamic_cast<TDFField*>(o))
                o->SetFontHeight(scaled(o->FontHeight()));
        }
    }
    Changed();
}

// ---------------------------------------------------------------------------
// Page

const TPropList& TDFPage::PropList() const
{
    static const TPropList list = [] {
        TPropBuilder b(BaseProps());
        using P = TDFPage;
        auto custom = [](const TDFPage& p) { return p.PaperSize() == dfCustomPaper; };
        b.Str("PageName", &P::PageName, &P::SetPageName)
            .Ord("PaperSize", TPropType::Enum, &P::PaperSize, &P::SetPaperSize, TStoreRule::NotValue, dfLetter, &PaperSizeNames())
            .Ord("Orientation", TPropType::Enum, &P::Orientation, &P::SetOrientation, TStoreRule::NotValue, dfPortrait, &OrientationNames())
            .Ord("Width", TPropType::Integer, &P::Width, &P::SetWidth)
            .StoredWhen<TDFPage>(+custom)
            .Ord("Height", TPropType::Integer, &P::Height, &P::SetHeight)
            .StoredWhen<TDFPage>(+custom)
            .Ord("PrinterOffsetX", TPropType::Integer, &P::PrinterOffsetX, &P::SetPrinterOffsetX)
            .Ord("PrinterOffsetY", TPropType::Integer, &P::PrinterOffsetY, &P::SetPrinterOffsetY)
            .Ord("Color", TPropType::Color, &P::Color, &P::SetColor, TStoreRule::NotValue, 0xFFFFFF)
            .Ord("PrinterStretch", TPropType::Boolean, &P::PrinterStretch, &P::SetPrinterStretch, TStoreRule::NotValue, 1)
            .Ord("PrinterDuplex", TPropType::Boolean, &P::PrinterDuplex, &P::SetPrinterDuplex, TStoreRule::NotValue, 0)
            .Ord("PrinterColor", TPropType::Boolean, &P::PrinterColor, &P::SetPrinterColor, TStoreRule::NotValue, 1);
        TPropInfo bg;
        bg.Name = "Background.Data";
        bg.Type = TPropType::Picture;
        bg.Rule = TStoreRule::NotEmpty;
        bg.GetBin = [](const TDefinedStream& s) { return static_cast<const TDFPage&>(s).Background().StreamData(); };
        bg.SetBin = [](TDefinedStream& s, const QByteArray& data) {
            TDFPicture pic;
            pic.SetStreamData(data);
            static_cast<TDFPage&>(s).SetBackground(pic);
        };
        b.List.push_back(bg);
        b.Ord("BackgroundAlign", TPropType::Enum, &P::BackgroundAlign, &P::SetBackgroundAlign, TStoreRule::NotValue, dfStretch, &BackgroundAlignNames())
            .Ord("Visible", TPropType::Boolean, &P::Visible, &P::SetVisible, TStoreRule::NotValue, 1)
            .Ord("PDFPageNumber", TPropType::Integer, &P::PDFPageNumber, &P::SetPDFPageNumber);
        return b.List;
    }();
    return list;
}

void TDFPage::SetParentStream(TDefinedStream* stream) { TDefinedStream::SetParentStream(stream); }

TDFForm* TDFPage::Form() const { return dynamic_cast<TDFForm*>(ParentStream()); }

void TDFPage::Release()
{
    Changed();
    TDefinedStream::Release();
}

void TDFPage::Changed(TDefinedStream* sender, bool isLoading)
{
    if (TDFForm* form = Form())
        form->Changed(sender, isLoading);
    else
        TDefinedStream::Changed(sender, isLoading);
}

PM_SETS(TDFPage, PageName, FPageName)
PM_SET(TDFPage, PrinterOffsetX, qint32, FPrinterOffsetX)
PM_SET(TDFPage, PrinterOffsetY, qint32, FPrinterOffsetY)
PM_SET(TDFPage, Color, TColor, FColor)
PM_SET(TDFPage, PrinterStretch, bool, FPrinterStretch)
PM_SET(TDFPage, PrinterDuplex, bool, FPrinterDuplex)
PM_SET(TDFPage, PrinterColor, bool, FPrinterColor)
PM_SET(TDFPage, BackgroundAlign, TdfBackgroundAlign, FBackgroundAlign)
PM_SET(TDFPage, PDFPageNumber, qint32, FPDFPageNumber)

void TDFPage::SetBackground(const TDFPicture& v)
{
    FBackground = v;
    Changed();
}

void TDFPage::SetVisible(bool v)
{
    if (FVisible != v) {
        FVisible = v;
        Changed();
    }
}

void TDFPage::SetPaperSize(TdfPaperSize v)
{
    FPaperSize = v;
    ApplyPaperSize();
}

void TDFPage::SetOrientation(TdfOrientation v)
{
    FOrientation = v;
    ApplyPaperSize();
}

void TDFPage::SetWidth(qint32 v)
{
    FWidth = v;
    if (IsLoading())
        Changed();
    else
        ApplyPaperSize();
}

void TDFPage::SetHeight(qint32 v)
{
    FHeight = v;
    if (IsLoading())
        Changed();
    else
        ApplyPaperSize();
}

void TDFPage::ApplyPaperSize()
{
    TDFForm* form = Form();
    if (!form) {
        Changed();
        return;
    }
    struct TInches { long double W, H; };
    static const TInches sizes[] = {{8.5L, 11.0L}, {8.5L, 14.0L}, {11.69L, 16.54L}, {8.25L, 11.69L}, {5.83L, 8.25L}};
    if (FPaperSize >= dfLetter && FPaperSize < dfCustomPaper) {
        const long double ppi = form->PixelsPerInch();
        qint32 w = qint32(std::trunc(ppi * sizes[FPaperSize].W));
        qint32 h = qint32(std::trunc(ppi * sizes[FPaperSize].H));
        if (FOrientation == dfLandscape)
            std::swap(w, h);
        FWidth = w;
        FHeight = h;
    }
    bool loading = IsLoading();
    Changed(this, loading);
    if (TDFEngine* engine = form->Engine())
        engine->DimChanged(this, loading);
}

// ---------------------------------------------------------------------------
// Objects

void TDFObject::SetParentStream(TDefinedStream* stream)
{
    TDefinedStream::SetParentStream(stream);
    TDFPage* page = dynamic_cast<TDFPage*>(stream);
    if (!page)
        return;
    Changed();
    TDFForm* form = page->Form();
    if (!form || !TemplateClass())
        return;
    // fails when the form has no template of this kind
    TDefinedStream* tmpl = form->ChildOfClass(TemplateClass(), 0);
    if (IsLoading() && tmpl != this)
        ApplyProperties(tmpl->StreamedProperties());
}

void TDFObject::Release()
{
    Changed();
    TDefinedStream::Release();
}

TDFPage* TDFObject::Page() const { return dynamic_cast<TDFPage*>(ParentStream()); }

TDFForm* TDFObject::Form() const
{
    TDFPage* page = Page();
    return page ? page->Form() : nullptr;
}

const TDFObject* TDFObject::TemplateObject() const
{
    TDFForm* form = Form();
    if (!form)
        return nullptr;
    return dynamic_cast<const TDFObject*>(form->Template(TemplateClass()));
}

bool TDFObject::IsTemplate() const { return !Page() && dynamic_cast<TDFForm*>(ParentStream()); }

void TDFObject::SetLeft(qint32 v)
{
    if (FLeft != v) {
        FLeft = v;
        Changed();
    }
}
void TDFObject::SetTop(qint32 v)
{
    if (FTop != v) {
        FTop = v;
        Changed();
    }
}
void TDFObject::SetWidth(qint32 v)
{
    if (FWidth != v) {
        FWidth = v;
        Changed();
    }
}
void TDFObject::SetHeight(qint32 v)
{
    if (FHeight != v) {
        FHeight = v;
        Changed();
    }
}
void TDFObject::SetVisible(bool v)
{
    if (FVisible != v) {
        FVisible = v;
        Changed();
    }
}
void TDFObject::SetPrints(bool v)
{
    if (FPrints != v) {
        FPrints = v;
        Changed();
    }
}
PM_SET(TDFObject, Autosize, bool, FAutosize)
PM_SET(TDFObject, Alignment, TdfAlignment, FAlignment)
PM_SET(TDFObject, PenColor, TColor, FPenColor)
PM_SET(TDFObject, PenStyle, TPenStyle, FPenStyle)
PM_SET(TDFObject, PenWidth, qint32, FPenWidth)
PM_SET(TDFObject, BrushColor, TColor, FBrushColor)
PM_SET(TDFObject, BrushStyle, TBrushStyle, FBrushStyle)
PM_SETS(TDFObject, FontName, FFontName)
PM_SET(TDFObject, FontHeight, qint32, FFontHeight)
PM_SET(TDFObject, FontColor, TColor, FFontColor)
PM_SET(TDFObject, FontStyle, TFontStyles, FFontStyle)
PM_SET(TDFObject, FontCharset, qint32, FFontCharset)

qint32 TDFObject::FontSize() const
{
    TDFForm* form = Form();
    qint32 p = form && form->PixelsPerInch() >= 1 ? form->PixelsPerInch() : 96;
    return -MulDiv(FFontHeight, 72, p);
}

void TDFObject::SetFontSize(qint32 v)
{
    TDFForm* form = Form();
    qint32 p = form && form->PixelsPerInch() >= 1 && v >= 1 ? form->PixelsPerInch() : 96;
    SetFontHeight(-MulDiv(v, p, 72));
}

bool TDFObject::MeasureText(const QString& text, qint32 lineSpacing, qint32& width, qint32& height) const
{
    if (!qobject_cast<QGuiApplication*>(QCoreApplication::instance()))
        return false;
    QFont font(MapFontFamily(FFontName));
    qint32 h = FFontHeight;
    if (h < 0)
        font.setPixelSize(-h);
    else if (h > 0) {
        // a positive height is the cell height, leading included
        font.setPixelSize(h);
        QFontMetrics fm(font);
        if (fm.height() > 0)
            font.setPixelSize(qMax(1, int(std::lround(double(h) * h / fm.height()))));
    } else {
        font.setPixelSize(13);
    }
    font.setBold(FFontStyle & fsBold);
    font.setItalic(FFontStyle & fsItalic);
    font.setUnderline(FFontStyle & fsUnderline);
    font.setStrikeOut(FFontStyle & fsStrikeOut);
    QFontMetrics fm(font);
    const qint32 lineHeight = fm.height() + 2;
    if (!text.contains('\r')) {
        height = lineHeight;
        width = (text.isEmpty() ? fm.horizontalAdvance("X") : fm.horizontalAdvance(text)) + 2;
        return true;
    }
    QString t = text;
    t.replace("\r\n", "\n").replace('\r', '\n');
    if (t.endsWith('\n'))
        t.chop(1);
    const QStringList lines = t.split('\n');
    qint32 widest = 0;
    for (const QString& line : lines)
        widest = qMax<qint32>(widest, fm.horizontalAdvance(line));
    width = widest + 2;
    height = qint32(lines.size()) * (lineSpacing >= 1 ? lineSpacing : lineHeight);
    return true;
}

void TDFObject::StoreMeasuredSize(qint32 width, qint32 height) const
{
    FWidth = width;
    FHeight = height;
}

namespace {

using O = TDFObject;

void AddPosition(TPropBuilder& b, bool sizeWhenNotAutosize)
{
    b.Ord("Left", TPropType::Integer, &O::Left, &O::SetLeft, TStoreRule::NotValue, 0)
        .Ord("Top", TPropType::Integer, &O::Top, &O::SetTop, TStoreRule::NotValue, 0)
        .Ord("Width", TPropType::Integer, &O::Width, &O::SetWidth);
    if (sizeWhenNotAutosize)
        b.StoredWhen<TDFObject>(+[](const TDFObject& o) { return !o.Autosize(); });
    b.Ord("Height", TPropType::Integer, &O::Height, &O::SetHeight);
    if (sizeWhenNotAutosize)
        b.StoredWhen<TDFObject>(+[](const TDFObject& o) { return !o.Autosize(); });
}
void AddVisible(TPropBuilder& b) { b.Ord("Visible", TPropType::Boolean, &O::Visible, &O::SetVisible, TStoreRule::NotValue, 1); }
// Written when it differs from a new object's value: true for buttons when
// they print, false for the rest when they don't.
void AddPrints(TPropBuilder& b, bool button)
{
    b.Ord("Prints", TPropType::Boolean, &O::Prints, &O::SetPrints, TStoreRule::NotValue, button ? 0 : 1);
}
void AddPen(TPropBuilder& b)
{
    b.Ord("PenColor", TPropType::Color, &O::PenColor, &O::SetPenColor, TStoreRule::Template)
        .Ord("PenStyle", TPropType::Enum, &O::PenStyle, &O::SetPenStyle, TStoreRule::Template, 0, &PenStyleNames())
        .Ord("PenWidth", TPropType::Integer, &O::PenWidth, &O::SetPenWidth, TStoreRule::Template);
}
void AddBrush(TPropBuilder& b)
{
    b.Ord("BrushColor", TPropType::Color, &O::BrushColor, &O::SetBrushColor, TStoreRule::Template)
        .Ord("BrushStyle", TPropType::Enum, &O::BrushStyle, &O::SetBrushStyle, TStoreRule::Template, 0, &BrushStyleNames());
}
void AddFont(TPropBuilder& b)
{
    b.Str("FontName", &O::FontName, &O::SetFontName, TStoreRule::Template)
        .Ord("FontHeight", TPropType::Integer, &O::FontHeight, &O::SetFontHeight, TStoreRule::Template)
        .Ord("FontColor", TPropType::Color, &O::FontColor, &O::SetFontColor, TStoreRule::Template)
        .Ord("FontStyle", TPropType::Set, &O::FontStyle, &O::SetFontStyle, TStoreRule::Template, 0, &FontStyleNames())
        .Ord("FontCharset", TPropType::Charset, &O::FontCharset, &O::SetFontCharset, TStoreRule::Template);
}
void AddAutosize(TPropBuilder& b) { b.Ord("Autosize", TPropType::Boolean, &O::Autosize, &O::SetAutosize, TStoreRule::Template); }
void AddAlignment(TPropBuilder& b)
{
    b.Ord("Alignment", TPropType::Enum, &O::Alignment, &O::SetAlignment, TStoreRule::Template, 0, &AlignmentNames());
}

} // namespace

// ---------------------------------------------------------------------------
// Line

TDFLine::TDFLine()
{
    FPenStyle = psSolid;
}

const TDFClass* TDFLine::TemplateClass() const { return &TDFDefaultLine::StaticClass; }

const TPropList& TDFLine::PropList() const
{
    static const TPropList list = [] {
        TPropBuilder b(BaseProps());
        using L = TDFLine;
        b.Ord("X1", TPropType::Integer, &L::X1, &L::SetX1)
            .Ord("Y1", TPropType::Integer, &L::Y1, &L::SetY1)
            .Ord("X2", TPropType::Integer, &L::X2, &L::SetX2)
            .Ord("Y2", TPropType::Integer, &L::Y2, &L::SetY2);
        AddVisible(b);
        AddPen(b);
        AddPrints(b, false);
        return b.List;
    }();
    return list;
}

PM_SET(TDFLine, X1, qint32, FX1)
PM_SET(TDFLine, Y1, qint32, FY1)
PM_SET(TDFLine, X2, qint32, FX2)
PM_SET(TDFLine, Y2, qint32, FY2)

qint32 TDFLine::Left() const { return qMin(FX1, FX2); }
qint32 TDFLine::Top() const { return qMin(FY1, FY2); }
qint32 TDFLine::Width() const { return std::abs(FX2 - FX1); }
qint32 TDFLine::Height() const { return std::abs(FY2 - FY1); }

void TDFLine::SetLeft(qint32 v)
{
    qint32 d = v - Left();
    if (d == 0)
        return;
    FX1 += d;
    FX2 += d;
    Changed();
}

void TDFLine::SetTop(qint32 v)
{
    qint32 d = v - Top();
    if (d == 0)
        return;
    FY1 += d;
    FY2 += d;
    Changed();
}

void TDFLine::SetWidth(qint32 v)
{
    if (FX1 <= FX2)
        FX2 = FX1 + v;
    else
        FX1 = FX2 + v;
    Changed();
}

void TDFLine::SetHeight(qint32 v)
{
    if (FY1 <= FY2)
        FY2 = FY1 + v;
    else
        FY1 = FY2 + v;
    Changed();
}

// ---------------------------------------------------------------------------
// Frame

TDFFrame::TDFFrame() { FPenStyle = psSolid; }

const TDFClass* TDFFrame::TemplateClass() const { return &TDFDefaultFrame::StaticClass; }

const TPropList& TDFFrame::PropList() const
{
    static const TPropList list = [] {
        TPropBuilder b(BaseProps());
        using F = TDFFrame;
        b.Ord("FrameType", TPropType::Enum, &F::FrameType, &F::SetFrameType, TStoreRule::Template, 0, &FrameTypeNames())
            .Ord("Corner", TPropType::Integer, &F::Corner, &F::SetCorner, TStoreRule::Template);
        AddPosition(b, false);
        AddVisible(b);
        AddPen(b);
        AddBrush(b);
        AddPrints(b, false);
        return b.List;
    }();
    return list;
}

PM_SET(TDFFrame, FrameType, TdfFrameType, FFrameType)
PM_SET(TDFFrame, Corner, qint32, FCorner)

// ---------------------------------------------------------------------------
// Picture object

TDFLogo::TDFLogo() { FAutosize = true; }

const TDFClass* TDFLogo::TemplateClass() const { return &TDFDefaultLogo::StaticClass; }

const TPropList& TDFLogo::PropList() const
{
    static const TPropList list = [] {
        TPropBuilder b(BaseProps());
        using G = TDFLogo;
        TPropInfo pic;
        pic.Name = "Picture.Data";
        pic.Type = TPropType::Picture;
        pic.Rule = TStoreRule::NotEmpty;
        pic.GetBin = [](const TDefinedStream& s) { return static_cast<const TDFLogo&>(s).Picture().StreamData(); };
        pic.SetBin = [](TDefinedStream& s, const QByteArray& data) {
            TDFPicture p;
            p.SetStreamData(data);
            static_cast<TDFLogo&>(s).SetPicture(p);
        };
        b.List.push_back(pic);
        b.Ord("Stretch", TPropType::Boolean, &G::Stretch, &G::SetStretch, TStoreRule::Template);
        AddPosition(b, true);
        AddVisible(b);
        AddAutosize(b);
        AddPen(b);
        AddBrush(b);
        AddPrints(b, false);
        return b.List;
    }();
    return list;
}

void TDFLogo::SetPicture(const TDFPicture& v)
{
    FPicture = v;
    Changed();
}
PM_SET(TDFLogo, Stretch, bool, FStretch)
PM_SET(TDFLogo, Transparent, bool, FTransparent)

qint32 TDFLogo::Width() const
{
    if (FAutosize && !FPicture.IsEmpty())
        FWidth = FPicture.Image().width();
    return FWidth;
}

qint32 TDFLogo::Height() const
{
    if (FAutosize && !FPicture.IsEmpty())
        FHeight = FPicture.Image().height();
    return FHeight;
}

// ---------------------------------------------------------------------------
// Button

TDFButton::TDFButton()
{
    FWidth = 75;
    FHeight = 25;
    FPrints = false;
    FPenStyle = psSolid;
    FBrushColor = 0xC0C0C0;
    FBrushStyle = bsSolid;
    FFontStyle = fsBold;
}

const TDFClass* TDFButton::TemplateClass() const { return &TDFDefaultButton::StaticClass; }

const TPropList& TDFButton::PropList() const
{
    static const TPropList list = [] {
        TPropBuilder b(BaseProps());
        using B = TDFButton;
        b.Str("Caption", &B::Caption, &B::SetCaption);
        AddPosition(b, false);
        AddVisible(b);
        AddPrints(b, true);
        AddPen(b);
        AddBrush(b);
        AddFont(b);
        return b.List;
    }();
    return list;
}

PM_SETS(TDFButton, Caption, FCaption)

// ---------------------------------------------------------------------------
// Text

TDFText::TDFText()
{
    FWidth = 0;
    FHeight = 0;
    FAutosize = true;
}

const TDFClass* TDFText::TemplateClass() const { return &TDFDefaultText::StaticClass; }

const TPropList& TDFText::PropList() const
{
    static const TPropList list = [] {
        TPropBuilder b(BaseProps());
        using T = TDFText;
        b.Str("Text", &T::Text, &T::SetText)
            .Ord("Angle", TPropType::Integer, &T::Angle, &T::SetAngle, TStoreRule::Template)
            .Ord("LineSpacing", TPropType::Integer, &T::LineSpacing, &T::SetLineSpacing, TStoreRule::Template)
            .Ord("Wordwrap", TPropType::Boolean, &T::Wordwrap, &T::SetWordwrap, TStoreRule::Template);
        AddPosition(b, true);
        AddVisible(b);
        AddAutosize(b);
        AddAlignment(b);
        AddPen(b);
        AddBrush(b);
        AddFont(b);
        AddPrints(b, false);
        return b.List;
    }();
    return list;
}

PM_SETS(TDFText, Text, FText)
PM_SET(TDFText, Angle, qint32, FAngle)
PM_SET(TDFText, LineSpacing, qint32, FLineSpacing)
PM_SET(TDFText, Wordwrap, bool, FWordwrap)

qint32 TDFText::Width() const
{
    qint32 w, h;
    if (FAutosize && MeasureText(FText, FLineSpacing, w, h))
        StoreMeasuredSize(w, h);
    return FWidth;
}

qint32 TDFText::Height() const
{
    qint32 w, h;
    if (FAutosize && MeasureText(FText, FLineSpacing, w, h))
        StoreMeasuredSize(w, h);
    return FHeight;
}

// ---------------------------------------------------------------------------
// Field

TDFField::TDFField()
{
    FWidth = 100;
    FHeight = 16;
    FAutosize = true;
}

const TDFClass* TDFField::TemplateClass() const { return &TDFDefaultField::StaticClass; }

const TPropList& TDFField::PropList() const
{
    static const TPropList list = [] {
        TPropBuilder b(BaseProps());
        using F = TDFField;
        const TStoreRule T = TStoreRule::Template;
        b.Str("FieldName", &F::FieldName, &F::SetFieldName)
            .Str("FieldLink", &F::FieldLink, &F::SetFieldLink)
            .Ord("Format", TPropType::Enum, &F::Format, &F::SetFormat, T, 0, &FieldformatNames())
            .Ord("TabOrder", TPropType::Integer, &F::TabOrder, &F::SetTabOrder)
            .Ord("Active", TPropType::Boolean, &F::Active, &F::SetActive, T)
            .Ord("Store", TPropType::Boolean, &F::Store, &F::SetStore, T)
            .Ord("ShowZero", TPropType::Boolean, &F::ShowZero, &F::SetShowZero, T)
            .Ord("Maxlength", TPropType::Integer, &F::Maxlength, &F::SetMaxlength, T)
            .Ord("ActiveMinWidth", TPropType::Integer, &F::ActiveMinWidth, &F::SetActiveMinWidth, T)
            .Ord("HelpContext", TPropType::Integer, &F::HelpContext, &F::SetHelpContext, T)
            .Str("Hint", &F::Hint, &F::SetHint)
            .Str("Data", &F::Data, &F::SetData)
            .Str("ComboItems", &F::ComboItems, &F::SetComboItems)
            .Ord("CheckIndex", TPropType::Integer, &F::CheckIndex, &F::SetCheckIndex, T)
            .Ord("LineSpacing", TPropType::Integer, &F::LineSpacing, &F::SetLineSpacing, T)
            .Str("DisplayFormat", &F::DisplayFormat, &F::SetDisplayFormat)
            .Str("EditMask", &F::EditMask, &F::SetEditMask)
            .Ord("Wordwrap", TPropType::Boolean, &F::Wordwrap, &F::SetWordwrap, T)
            .Str("Expression", &F::Expression, &F::SetExpression);
        AddAutosize(b);
        AddAlignment(b);
        AddPosition(b, true);
        AddVisible(b);
        AddPen(b);
        AddBrush(b);
        AddFont(b);
        AddPrints(b, false);
        b.Str("Significance", &F::Significance, &F::SetSignificance)
            .Str("Comment", &F::Comment, &F::SetComment)
            .Str("DefaultLink", &F::DefaultLink, &F::SetDefaultLink)
            .Str("OriginalField", &F::OriginalField, &F::SetOriginalField)
            .Str("OriginalData", &F::OriginalData, &F::SetOriginalData)
            .Str("GlobalAlias", &F::GlobalAlias, &F::SetGlobalAlias)
            .Str("GroupItemValue", &F::GroupItemValue, &F::SetGroupItemValue)
            .Str("FormLineNumber", &F::FormLineNumber, &F::SetFormLineNumber)
            .Str("FormLineLiteral", &F::FormLineLiteral, &F::SetFormLineLiteral)
            .Ord("Hybrid", TPropType::Boolean, &F::Hybrid, &F::SetHybrid, TStoreRule::NotValue, 0)
            .Str("Attributes", &F::Attributes, &F::SetAttributes)
            .Ord("Reviewed", TPropType::Boolean, &F::Reviewed, &F::SetReviewed, TStoreRule::NotValue, 0)
            .Str("Attachment", &F::Attachment, &F::SetAttachment);
        return b.List;
    }();
    return list;
}

void TDFField::SetFieldName(const QString& v)
{
    if (!IsLoading()) {
        TDFForm* form = Form();
        TDFEngine* engine = form ? form->Engine() : nullptr;
        if (engine && engine->WantExceptions && engine->FindField(v))
            throw EDFError("Fieldname already used: " + v);
    }
    if (FFieldName != v) {
        FFieldName = v;
        Changed();
    }
}

PM_SETS(TDFField, FieldLink, FFieldLink)
PM_SET(TDFField, TabOrder, qint32, FTabOrder)
PM_SET(TDFField, Active, bool, FActive)
PM_SET(TDFField, Store, bool, FStore)
PM_SET(TDFField, ShowZero, bool, FShowZero)
PM_SET(TDFField, Maxlength, qint32, FMaxlength)
PM_SET(TDFField, ActiveMinWidth, qint32, FActiveMinWidth)
PM_SET(TDFField, HelpContext, qint32, FHelpContext)
PM_SETS(TDFField, Hint, FHint)
PM_SETS(TDFField, ComboItems, FComboItems)
PM_SET(TDFField, CheckIndex, qint32, FCheckIndex)
PM_SET(TDFField, LineSpacing, qint32, FLineSpacing)
PM_SETS(TDFField, DisplayFormat, FDisplayFormat)
PM_SETS(TDFField, EditMask, FEditMask)
PM_SET(TDFField, Wordwrap, bool, FWordwrap)
PM_SETS(TDFField, Expression, FExpression)
PM_SETS(TDFField, Significance, FSignificance)
PM_SETS(TDFField, Comment, FComment)
PM_SETS(TDFField, DefaultLink, FDefaultLink)
PM_SETS(TDFField, OriginalField, FOriginalField)
PM_SETS(TDFField, OriginalData, FOriginalData)
PM_SETS(TDFField, GlobalAlias, FGlobalAlias)
PM_SETS(TDFField, GroupItemValue, FGroupItemValue)
PM_SETS(TDFField, FormLineNumber, FFormLineNumber)
PM_SETS(TDFField, FormLineLiteral, FFormLineLiteral)
PM_SET(TDFField, Hybrid, bool, FHybrid)
PM_SETS(TDFField, Attributes, FAttributes)
PM_SET(TDFField, Reviewed, bool, FReviewed)
PM_SETS(TDFField, Attachment, FAttachment)

void TDFField::SetData(const QString& v)
{
    FData = v;
    Changed();
}

void TDFField::SetFormat(TdfFieldformat v)
{
    const bool defaults = !IsLoading();
    FFormat = v;
    if (defaults) {
        const TFormatSettings& fs = FormatSettings();
        switch (v) {
        case dfFloat:
        case dfPercent:
            FDisplayFormat = QString("#") + fs.DecimalSeparator + "00";
            break;
        case dfDate: {
            QString f = fs.ShortDateFormat.toLower();
            if (f.size() == 8 && f[1] == '/' && f[3] == '/')
                f = QString(2, f[0]) + "/" + QString(2, f[2]) + f.mid(4);
            FDisplayFormat = f;
            QString mask = f;
            for (QChar& c : mask)
                if (c >= 'a' && c <= 'z')
                    c = '9';
            FEditMask = mask + ";; ";
            break;
        }
        case dfCheckbox:
            FDisplayFormat.clear();
            FEditMask.clear();
            FPenStyle = psSolid;
            FPenWidth = 2;
            FAutosize = true;
            break;
        default:
            FDisplayFormat.clear();
            break;
        }
    }
    Changed();
}

qint32 TDFField::Width() const
{
    if (!FAutosize)
        return FWidth;
    if (FFormat == dfCheckbox) {
        StoreMeasuredSize(13, 13);
        return FWidth;
    }
    qint32 w, h;
    if (MeasureText(FData, FLineSpacing, w, h)) {
        if (FActive)
            w = qMax(w, FActiveMinWidth);
        StoreMeasuredSize(w, h);
    }
    return FWidth;
}

qint32 TDFField::Height() const
{
    Width();   // measures both
    return FHeight;
}

QString TDFField::FormatNumber(double x) const
{
    if (FDisplayFormat.isEmpty())
        return FloatToStr(x);
    return FormatRounded(FDisplayFormat, x);
}

namespace {
// Digits and the decimal separator in order, "-" first when the text holds
// "(" (and "-" too when minusCounts).
QString CleanNumber(const QString& text, bool keepMinus, bool keepPoint)
{
    const QChar sep = FormatSettings().DecimalSeparator;
    QString out;
    for (QChar c : text)
        if ((c >= '0' && c <= '9') || (keepPoint && c == sep) || (keepMinus && c == '-'))
            out += c;
    return out;
}
} // namespace

void TDFField::SetValue(const QString& text)
{
    if (text.isEmpty()) {
        SetData(QString());
        return;
    }
    try {
        switch (FFormat) {
        case dfInteger: {
            QString s = CleanNumber(text, true, false);
            if (text.contains('('))
                s.prepend('-');
            qint64 n = 0;
            if (!TryStrToInt64(s, n) || n < INT32_MIN || n > INT32_MAX)
                n = 0;
            SetAsInteger(n);
            break;
        }
        case dfFloat:
        case dfPercent: {
            QString s = CleanNumber(text, false, true);
            if (text.contains('(') || text.contains('-'))
                s.prepend('-');
            double x = 0;
            if (!TryStrToFloat(s, x)) {
                SetData(QString());
                break;
            }
            SetAsFloat(x);
            break;
        }
        case dfDate: {
            TDateTime t = 0;
            if (!TryStrToDate(text, t)) {
                SetData(QString());
                break;
            }
            SetAsDate(t);
            break;
        }
        case dfCheckbox:
            if (text.size() == 1)
                SetChecked(StrToIntDef(text.trimmed(), 0) != 0);
            else
                SetChecked(text.compare("true", Qt::CaseInsensitive) == 0);
            break;
        default:
            SetData(text);
            break;
        }
    } catch (...) {
        SetData(QString());
    }
}

void TDFField::SetAsFloat(double x)
{
    if (x == 0 && !FShowZero)
        SetData(QString());
    else if (FFormat == dfPercent)
        SetData(FormatNumber(x * 100));
    else
        SetData(FormatNumber(x));
}

void TDFField::SetAsInteger(qint64 n)
{
    if (n != 0 || FShowZero)
        SetData(QString::number(n));
    else
        SetData(QString());
}

void TDFField::SetAsDate(double t)
{
    if (t != 0)
        SetData(FormatDateTime(FDisplayFormat.isEmpty() ? QString("c") : FDisplayFormat, t));
    else
        SetData(QString());
}

void TDFField::SetChecked(bool b)
{
    if (!b) {
        SetData("False");
        return;
    }
    TDFPage* page = Page();
    if (page && !IsLoading() && FCheckIndex > 0) {
        for (int i = 0; i < page->ChildCount(); ++i) {
            auto* f = dynamic_cast<TDFField*>(page->Children(i));
            if (f && f->CheckIndex() > 0 && f->CheckIndex() == FCheckIndex)
                f->SetChecked(false);
        }
    }
    SetData("True");
}

double TDFField::AsFloat() const
{
    QString s = CleanNumber(FData, false, true);
    if (FData.contains('(') || FData.contains('-'))
        s.prepend('-');
    double x = 0;
    if (!TryStrToFloat(s, x))
        return 0;
    return FFormat == dfPercent ? x / 100 : x;
}

qint32 TDFField::AsInteger() const
{
    int n = 0;
    if (!TryStrToInt(FData, n))
        return 0;
    return n;
}

bool TDFField::Checked() const { return FData.compare("true", Qt::CaseInsensitive) == 0; }

} // namespace pm
