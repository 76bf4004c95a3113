#pragma once
// The form tree: TDFForm, its six templates and its pages (TDFPage), and the
// objects of a page (lines, frames, pictures, buttons, static texts and data
// fields). Coordinates and sizes are integers in form pixels.

#include "forms/definedstream.h"

#include <QImage>
#include <QString>
#include <QStringList>

namespace pm {

class TDFEngine;
class TDFForm;
class TDFPage;

// Enumerations (value order is stream order).
enum TdfPaperSize : qint32 { dfLetter, dfLegal, dfA3, dfA4, dfA5, dfCustomPaper };
enum TdfOrientation : qint32 { dfPortrait, dfLandscape };
enum TdfBackgroundAlign : qint32 { dfNormal, dfTile, dfStretch };
enum TdfFrameType : qint32 { dfSquare, dfRound, dfEllipse };
enum TdfAlignment : qint32 { dfLeft, dfRight, dfCentered, dfJustified };
enum TdfFieldformat : qint32 { dfText, dfInteger, dfFloat, dfPercent, dfDate, dfCheckbox, dfCombobox, dfCombolist, dfMemo };
enum TPenStyle : qint32 { psSolid, psDash, psDot, psDashDot, psDashDotDot, psClear, psInsideFrame, psUserStyle, psAlternate };
enum TBrushStyle : qint32 { bsSolid, bsClear, bsHorizontal, bsVertical, bsFDiagonal, bsBDiagonal, bsCross, bsDiagCross };
// Font style set, one bit per member.
enum TFontStyle : qint32 { fsBold = 1, fsItalic = 2, fsUnderline = 4, fsStrikeOut = 8 };
using TFontStyles = qint32;
using TColor = qint32;

// Member names of the enumerations and sets.
const QStringList& PaperSizeNames();
const QStringList& OrientationNames();
const QStringList& BackgroundAlignNames();
const QStringList& FrameTypeNames();
const QStringList& AlignmentNames();
const QStringList& FieldformatNames();
const QStringList& PenStyleNames();
const QStringList& BrushStyleNames();
const QStringList& FontStyleNames();

// The screen family for a font name of the definition files: Arial, Courier
// New and Arial Narrow become the metric-compatible Liberation families.
QString MapFontFamily(const QString& name);

// Windows' MulDiv: a * b / c with a 64-bit intermediate, rounded to nearest
// (halves away from zero); -1 when c is 0.
qint32 MulDiv(qint32 a, qint32 b, qint32 c);

// A picture: the graphic's class name and its own data as streamed, and the
// decoded image. "TBitmap" and "TJPEGImage" are decoded; other classes, and
// data that does not decode, load as an empty picture.
class TDFPicture {
public:
    bool IsEmpty() const { return FClassName.isEmpty(); }
    const QImage& Image() const { return FImage; }
    QString GraphicClass() const { return QString::fromLatin1(FClassName); }
    // The block of "Picture.Data": class name as a short string, then data.
    QByteArray StreamData() const;
    // Reads such a block; anything not understood leaves the picture empty.
    void SetStreamData(const QByteArray& block);
    // Keeps the image as a bitmap ("TBitmap" with a BMP file).
    void SetImage(const QImage& image);
    void Clear();
    bool operator==(const TDFPicture& other) const { return FClassName == other.FClassName && FData == other.FData; }

private:
    QByteArray FClassName;
    QByteArray FData;   // the graphic's own data (with its length field)
    QImage FImage;
};

// Common base of the form's nodes.
class TDFStream : public TDefinedStream {
public:
    static const TDFClass StaticClass;
    const TDFClass* ClassType() const override { return &StaticClass; }
};

class TDFForm : public TDFStream {
public:
    TDFForm();
    static const TDFClass StaticClass;
    const TDFClass* ClassType() const override { return &StaticClass; }
    const TPropList& PropList() const override;

    TDFEngine* Engine() const { return FEngine; }
    void SetEngine(TDFEngine* engine) { FEngine = engine; }
    void Changed(TDefinedStream* sender, bool isLoading) override;
    using TDefinedStream::Changed;

    int PageCount() const;
    TDFPage* Pages(int index) const;
    TDFPage* AddPage();
    // The form's template of a kind (the first child of that class), or none.
    TDefinedStream* Template(const TDFClass* templateClass) const;

    QString FormName() const { return FFormName; }
    void SetFormName(const QString& v);
    QString Comment() const { return FComment; }
    void SetComment(const QString& v);
    // Plain text; held scrambled.
    QString Password() const;
    void SetPassword(const QString& v);
    QString ScrambledPassword() const { return FPassword; }
    void SetScrambledPassword(const QString& v);
    qint32 PixelsPerInch() const { return FPixelsPerInch; }
    void SetPixelsPerInch(qint32 v);
    TColor ActiveColor() const { return FActiveColor; }
    void SetActiveColor(TColor v);
    TColor ActivePenColor() const { return FActivePenColor; }
    void SetActivePenColor(TColor v);
    TPenStyle ActivePenStyle() const { return FActivePenStyle; }
    void SetActivePenStyle(TPenStyle v);
    qint32 ActivePenWidth() const { return FActivePenWidth; }
    void SetActivePenWidth(qint32 v);
    TColor ActiveBrushColor() const { return FActiveBrushColor; }
    void SetActiveBrushColor(TColor v);
    TBrushStyle ActiveBrushStyle() const { return FActiveBrushStyle; }
    void SetActiveBrushStyle(TBrushStyle v);
    bool ActiveCheckboxBorder() const { return FActiveCheckboxBorder; }
    void SetActiveCheckboxBorder(bool v);
    QString Instructions() const { return FInstructions; }
    void SetInstructions(const QString& v);
    QString SQL() const { return FSQL; }
    void SetSQL(const QString& v);
    TColor DefaultLinkedColor() const { return FDefaultLinkedColor; }
    void SetDefaultLinkedColor(TColor v);
    TColor OverriddenColor() const { return FOverriddenColor; }
    void SetOverriddenColor(TColor v);
    // A PDF file whose pages would be drawn as page backgrounds. Carried; the
    // drawing of such backgrounds is a hook of the display (no shipped form
    // names one).
    QString ExternalPDFFile() const { return FExternalPDFFile; }
    void SetExternalPDFFile(const QString& v);


private:
    TDFEngine* FEngine = nullptr;
    QString FFormName = "Untitled Form";
    QString FComment, FPassword, FInstructions, FSQL, FExternalPDFFile;
    qint32 FPixelsPerInch = 96;
    TColor FActiveColor = 0x80FFFF;
    TColor FActivePenColor = 0;
    TPenStyle FActivePenStyle = psClear;
    qint32 FActivePenWidth = 1;
    TColor FActiveBrushColor = 0xFFFF80;
    TBrushStyle FActiveBrushStyle = bsSolid;
    bool FActiveCheckboxBorder = true;
    TColor FDefaultLinkedColor = 0x9EE393;
    TColor FOverriddenColor = 0x80FF;
};

class TDFPage : public TDFStream {
public:
    TDFPage() = default;
    static const TDFClass StaticClass;
    const TDFClass* ClassType() const override { return &StaticClass; }
    const TPropList& PropList() const override;

    void SetParentStream(TDefinedStream* stream) override;
    void Release() override;
    TDFForm* Form() const;
    void Changed(TDefinedStream* sender, bool isLoading) override;
    using TDefinedStream::Changed;

    QString PageName() const { return FPageName; }
    void SetPageName(const QString& v);
    TdfPaperSize PaperSize() const { return FPaperSize; }
    void SetPaperSize(TdfPaperSize v);
    TdfOrientation Orientation() const { return FOrientation; }
    void SetOrientation(TdfOrientation v);
    qint32 Width() const { return FWidth; }
    void SetWidth(qint32 v);
    qint32 Height() const { return FHeight; }
    void SetHeight(qint32 v);
    qint32 PrinterOffsetX() const { return FPrinterOffsetX; }
    void SetPrinterOffsetX(qint32 v);
    qint32 PrinterOffsetY() const { return FPrinterOffsetY; }
    void SetPrinterOffsetY(qint32 v);
    TColor Color() const { return FColor; }
    void SetColor(TColor v);
    bool PrinterStretch() const { return FPrinterStretch; }
    void SetPrinterStretch(bool v);
    bool PrinterDuplex() const { return FPrinterDuplex; }
    void SetPrinterDuplex(bool v);
    bool PrinterColor() const { return FPrinterColor; }
    void SetPrinterColor(bool v);
    const TDFPicture& Background() const { return FBackground; }
    void SetBackground(const TDFPicture& v);
    TdfBackgroundAlign BackgroundAlign() const { return FBackgroundAlign; }
    void SetBackgroundAlign(TdfBackgroundAlign v);
    bool Visible() const { return FVisible; }
    virtual void SetVisible(bool v);
    qint32 PDFPageNumber() const { return FPDFPageNumber; }
    void SetPDFPageNumber(qint32 v);

    // Recomputes Width and Height from the paper size and orientation (custom
    // paper keeps them), sends Changed and OnDimChange.
    void ApplyPaperSize();

private:
    QString FPageName = "Untitled Page";
    TdfPaperSize FPaperSize = dfLetter;
    TdfOrientation FOrientation = dfPortrait;
    qint32 FWidth = 816, FHeight = 1056;
    qint32 FPrinterOffsetX = 0, FPrinterOffsetY = 0;
    TColor FColor = 0xFFFFFF;
    bool FPrinterStretch = true, FPrinterDuplex = false, FPrinterColor = true;
    TDFPicture FBackground;
    TdfBackgroundAlign FBackgroundAlign = dfStretch;
    bool FVisible = true;
    qint32 FPDFPageNumber = 0;
};

class TDFObject : public TDFStream {
public:
    TDFObject() = default;
    static const TDFClass StaticClass;
    const TDFClass* ClassType() const override { return &StaticClass; }

    void SetParentStream(TDefinedStream* stream) override;
    void Release() override;
    // The page this object is on, its form, and its kind's template.
    TDFPage* Page() const;
    TDFForm* Form() const;
    const TDFObject* TemplateObject() const;
    const TDefinedStream* StoreTemplate() const override { return TemplateObject(); }
    // The template class of this kind (none for the base class).
    virtual const TDFClass* TemplateClass() const { return nullptr; }
    bool IsTemplate() const;

    virtual qint32 Left() const { return FLeft; }
    virtual qint32 Top() const { return FTop; }
    virtual qint32 Width() const { return FWidth; }
    virtual qint32 Height() const { return FHeight; }
    virtual void SetLeft(qint32 v);
    virtual void SetTop(qint32 v);
    virtual void SetWidth(qint32 v);
    virtual void SetHeight(qint32 v);
    bool Visible() const { return FVisible; }
    virtual void SetVisible(bool v);
    bool Prints() const { return FPrints; }
    virtual void SetPrints(bool v);
    bool Autosize() const { return FAutosize; }
    void SetAutosize(bool v);
    TdfAlignment Alignment() const { return FAlignment; }
    void SetAlignment(TdfAlignment v);
    TColor PenColor() const { return FPenColor; }
    void SetPenColor(TColor v);
    TPenStyle PenStyle() const { return FPenStyle; }
    void SetPenStyle(TPenStyle v);
    qint32 PenWidth() const { return FPenWidth; }
    void SetPenWidth(qint32 v);
    TColor BrushColor() const { return FBrushColor; }
    void SetBrushColor(TColor v);
    TBrushStyle BrushStyle() const { return FBrushStyle; }
    void SetBrushStyle(TBrushStyle v);
    QString FontName() const { return FFontName; }
    void SetFontName(const QString& v);
    qint32 FontHeight() const { return FFontHeight; }
    void SetFontHeight(qint32 v);
    TColor FontColor() const { return FFontColor; }
    void SetFontColor(TColor v);
    TFontStyles FontStyle() const { return FFontStyle; }
    void SetFontStyle(TFontStyles v);
    qint32 FontCharset() const { return FFontCharset; }
    void SetFontCharset(qint32 v);
    // Points, derived from FontHeight and the form's PixelsPerInch.
    qint32 FontSize() const;
    void SetFontSize(qint32 v);

protected:
    // Autosize measuring of a text with this object's font: single line
    // TextHeight("Xy") + 2 high and TextWidth + 2 wide; lines x (TextHeight +
    // 2) or lines x lineSpacing. False when no fonts are available.
    bool MeasureText(const QString& text, qint32 lineSpacing, qint32& width, qint32& height) const;
    // Stores a measured size without a change notification.
    void StoreMeasuredSize(qint32 width, qint32 height) const;

    qint32 FLeft = 0, FTop = 0;
    mutable qint32 FWidth = 100, FHeight = 100;
    bool FVisible = true, FPrints = true, FAutosize = false;
    TdfAlignment FAlignment = dfLeft;
    TColor FPenColor = 0;
    TPenStyle FPenStyle = psClear;
    qint32 FPenWidth = 1;
    TColor FBrushColor = 0xFFFFFF;
    TBrushStyle FBrushStyle = bsClear;
    QString FFontName = "Arial";
    qint32 FFontHeight = -11;
    TColor FFontColor = 0;
    TFontStyles FFontStyle = 0;
    qint32 FFontCharset = 0;
};

class TDFLine : public TDFObject {
public:
    TDFLine();
    static const TDFClass StaticClass;
    const TDFClass* ClassType() const override { return &StaticClass; }
    const TPropList& PropList() const override;
    const TDFClass* TemplateClass() const override;

    qint32 X1() const { return FX1; }
    void SetX1(qint32 v);
    qint32 Y1() const { return FY1; }
    void SetY1(qint32 v);
    qint32 X2() const { return FX2; }
    void SetX2(qint32 v);
    qint32 Y2() const { return FY2; }
    void SetY2(qint32 v);

    qint32 Left() const override;
    qint32 Top() const override;
    qint32 Width() const override;
    qint32 Height() const override;
    void SetLeft(qint32 v) override;
    void SetTop(qint32 v) override;
    void SetWidth(qint32 v) override;
    void SetHeight(qint32 v) override;

private:
    qint32 FX1 = 0, FY1 = 0, FX2 = 100, FY2 = 100;
};

class TDFFrame : public TDFObject {
public:
    TDFFrame();
    static const TDFClass StaticClass;
    const TDFClass* ClassType() const override { return &StaticClass; }
    const TPropList& PropList() const override;
    const TDFClass* TemplateClass() const override;

    TdfFrameType FrameType() const { return FFrameType; }
    void SetFrameType(TdfFrameType v);
    qint32 Corner() const { return FCorner; }
    void SetCorner(qint32 v);

private:
    TdfFrameType FFrameType = dfSquare;
    qint32 FCorner = 0;
};

class TDFLogo : public TDFObject {
public:
    TDFLogo();
    static const TDFClass StaticClass;
    const TDFClass* ClassType() const override { return &StaticClass; }
    const TPropList& PropList() const override;
    const TDFClass* TemplateClass() const override;

    const TDFPicture& Picture() const { return FPicture; }
    void SetPicture(const TDFPicture& v);
    bool Stretch() const { return FStretch; }
    void SetStretch(bool v);
    bool Transparent() const { return FTransparent; }
    void SetTransparent(bool v);
    qint32 Width() const override;
    qint32 Height() const override;

private:
    TDFPicture FPicture;
    bool FStretch = false, FTransparent = true;
};

class TDFButton : public TDFObject {
public:
    TDFButton();
    static const TDFClass StaticClass;
    const TDFClass* ClassType() const override { return &StaticClass; }
    const TPropList& PropList() const override;
    const TDFClass* TemplateClass() const override;

    QString Caption() const { return FCaption; }
    void SetCaption(const QString& v);

private:
    QString FCaption = "Button";
};

class TDFText : public TDFObject {
public:
    TDFText();
    static const TDFClass StaticClass;
    const TDFClass* ClassType() const override { return &StaticClass; }
    const TPropList& PropList() const override;
    const TDFClass* TemplateClass() const override;

    QString Text() const { return FText; }
    void SetText(const QString& v);
    qint32 Angle() const { return FAngle; }
    void SetAngle(qint32 v);
    qint32 LineSpacing() const { return FLineSpacing; }
    void SetLineSpacing(qint32 v);
    bool Wordwrap() const { return FWordwrap; }
    void SetWordwrap(bool v);
    qint32 Width() const override;
    qint32 Height() const override;

private:
    QString FText = "Text";
    qint32 FAngle = 0, FLineSpacing = 0;
    bool FWordwrap = false;
};

class TDFField : public TDFObject {
public:
    TDFField();
    static const TDFClass StaticClass;
    const TDFClass* ClassType() const override { return &StaticClass; }
    const TPropList& PropList() const override;
    const TDFClass* TemplateClass() const override;

    QString FieldName() const { return FFieldName; }
    // Outside loading, on a page of an engine's form with WantExceptions on:
    // EDFError "Fieldname already used: " + name when any field has the name.
    void SetFieldName(const QString& v);
    QString FieldLink() const { return FFieldLink; }
    void SetFieldLink(const QString& v);
    TdfFieldformat Format() const { return FFormat; }
    // Outside loading also sets DisplayFormat, EditMask and the check-box look.
    void SetFormat(TdfFieldformat v);
    qint32 TabOrder() const { return FTabOrder; }
    void SetTabOrder(qint32 v);
    bool Active() const { return FActive; }
    void SetActive(bool v);
    bool Store() const { return FStore; }
    void SetStore(bool v);
    bool ShowZero() const { return FShowZero; }
    void SetShowZero(bool v);
    qint32 Maxlength() const { return FMaxlength; }
    void SetMaxlength(qint32 v);
    qint32 ActiveMinWidth() const { return FActiveMinWidth; }
    void SetActiveMinWidth(qint32 v);
    qint32 HelpContext() const { return FHelpContext; }
    void SetHelpContext(qint32 v);
    QString Hint() const { return FHint; }
    void SetHint(const QString& v);
    QString Data() const { return FData; }
    void SetData(const QString& v);   // always raises Changed
    QString ComboItems() const { return FComboItems; }
    void SetComboItems(const QString& v);
    qint32 CheckIndex() const { return FCheckIndex; }
    void SetCheckIndex(qint32 v);
    qint32 LineSpacing() const { return FLineSpacing; }
    void SetLineSpacing(qint32 v);
    QString DisplayFormat() const { return FDisplayFormat; }
    void SetDisplayFormat(const QString& v);
    QString EditMask() const { return FEditMask; }
    void SetEditMask(const QString& v);
    bool Wordwrap() const { return FWordwrap; }
    void SetWordwrap(bool v);
    QString Expression() const { return FExpression; }
    void SetExpression(const QString& v);
    QString Significance() const { return FSignificance; }
    void SetSignificance(const QString& v);
    QString Comment() const { return FComment; }
    void SetComment(const QString& v);
    QString DefaultLink() const { return FDefaultLink; }
    void SetDefaultLink(const QString& v);
    QString OriginalField() const { return FOriginalField; }
    void SetOriginalField(const QString& v);
    QString OriginalData() const { return FOriginalData; }
    void SetOriginalData(const QString& v);
    QString GlobalAlias() const { return FGlobalAlias; }
    void SetGlobalAlias(const QString& v);
    QString GroupItemValue() const { return FGroupItemValue; }
    void SetGroupItemValue(const QString& v);
    QString FormLineNumber() const { return FFormLineNumber; }
    void SetFormLineNumber(const QString& v);
    QString FormLineLiteral() const { return FFormLineLiteral; }
    void SetFormLineLiteral(const QString& v);
    bool Hybrid() const { return FHybrid; }
    void SetHybrid(bool v);
    QString Attributes() const { return FAttributes; }
    void SetAttributes(const QString& v);
    bool Reviewed() const { return FReviewed; }
    void SetReviewed(bool v);
    QString Attachment() const { return FAttachment; }
    void SetAttachment(const QString& v);

    qint32 Width() const override;
    qint32 Height() const override;

    // Value operations.
    void SetValue(const QString& text);
    void SetAsFloat(double x);
    void SetAsInteger(qint64 n);
    void SetAsDate(double t);
    void SetChecked(bool b);
    double AsFloat() const;
    qint32 AsInteger() const;
    bool Checked() const;
    QString ReferenceName() const { return "<" + FFieldName + ">"; }
    // The number formatted with DisplayFormat (rounded half away from zero
    // on the format's decimals); general format when it is empty.
    QString FormatNumber(double x) const;

private:
    QString FFieldName = "Field", FFieldLink, FHint, FData, FComboItems, FDisplayFormat, FEditMask, FExpression;
    QString FSignificance, FComment, FDefaultLink, FOriginalField, FOriginalData, FGlobalAlias, FGroupItemValue;
    QString FFormLineNumber, FFormLineLiteral, FAttributes, FAttachment;
    TdfFieldformat FFormat = dfText;
    qint32 FTabOrder = -1;
    bool FActive = false, FStore = true, FShowZero = false;
    qint32 FMaxlength = 0, FActiveMinWidth = 80, FHelpContext = 0, FCheckIndex = 0, FLineSpacing = 0;
    bool FWordwrap = false, FHybrid = false, FReviewed = false;
};

// Templates: one of each held by the form, before its pages.
class TDFDefaultLine : public TDFLine {
public:
    static const TDFClass StaticClass;
    const TDFClass* ClassType() const override { return &StaticClass; }
};
class TDFDefaultFrame : public TDFFrame {
public:
    static const TDFClass StaticClass;
    const TDFClass* ClassType() const override { return &StaticClass; }
};
class TDFDefaultLogo : public TDFLogo {
public:
    static const TDFClass StaticClass;
    const TDFClass* ClassType() const override { return &StaticClass; }
};
class TDFDefaultButton : public TDFButton {
public:
    static const TDFClass StaticClass;
    const TDFClass* ClassType() const override { return &StaticClass; }
};
class TDFDefaultText : public TDFText {
public:
    static const TDFClass StaticClass;
    const TDFClass* ClassType() const override { return &StaticClass; }
};
class TDFDefaultField : public TDFField {
public:
    static const TDFClass StaticClass;
    const TDFClass* ClassType() const override { return &StaticClass; }
};

} // namespace pm
