#pragma once
// TDFEngine: owns the form, finds fields by name, moves values between the
// fields and a database record, and recalculates the fields that have
// formulas in their dependency order.

#include "forms/dfobjects.h"

#include <QString>
#include <QStringList>
#include <functional>
#include <memory>
#include <utility>
#include <vector>

namespace pm {

// The record LoadFromDataset and SaveToDataset work on; the database layer
// supplies one over its current row. Field names are matched as the
// database matches them.
class TDFDataRecord {
public:
    virtual ~TDFDataRecord() = default;
    virtual bool HasField(const QString& name) const = 0;
    virtual QString FieldText(const QString& name) const = 0;
    virtual void SetFieldText(const QString& name, const QString& value) = 0;
    virtual void SetFieldInteger(const QString& name, qint32 value) = 0;
    virtual void SetFieldFloat(const QString& name, double value) = 0;
};

enum TdfRulerUnits : qint32 { dfInches, dfCentimeters, dfPixels };

enum TdfPaintOption : qint32 {
    dfShowRulers = 1 << 0, dfShowMargins = 1 << 1, dfShowForm = 1 << 2, dfShowFields = 1 << 3,
    dfShowBackground = 1 << 4, dfShowActiveBorder = 1 << 5, dfPrintShading = 1 << 6, dfPrintBackground = 1 << 7
};
using TdfPaintOptions = qint32;

enum TdfPreviewOption : qint32 {
    dfToolbar = 1 << 0, dfButtonCaptions = 1 << 1, dfPageTabs = 1 << 2, dfBottomTabs = 1 << 3,
    dfMaximized = 1 << 4, dfAllowClear = 1 << 5, dfAllowOpen = 1 << 6, dfAllowExport = 1 << 7,
    dfAllowPrint = 1 << 8, dfSaveButton = 1 << 9
};
using TdfPreviewOptions = qint32;

class TDFEngine {
public:
    using TChangeEvent = std::function<void(TDFEngine* sender, TDefinedStream* object, bool isLoading)>;
    // Host functions in formulas: Func with its "@", Args already evaluated,
    // Value preset to "0".
    using TFunctionCallEvent = std::function<void(TDFEngine* sender, TDFField* field, const QString& func,
                                                  QStringList& args, QString& value)>;
    using TFieldValueEvent = std::function<void(TDFEngine* sender, const QString& fieldName, QString& value)>;
    using TLocatePDFEvent = std::function<void(TDFEngine* sender, QString& fileSpec)>;
    // Shows a message (the circular-reference warning); the display layer
    // fills it in with a message box.
    using TMessageEvent = std::function<void(const QString& message)>;
    // The attached display's redraw request.
    using TDisplayNotify = std::function<void(bool isLoading)>;

    static constexpr const char* kVersion = "6.0.31";
    static constexpr int kMaxCalcMoves = 2000;

    TDFEngine();
    ~TDFEngine();
    TDFEngine(const TDFEngine&) = delete;
    TDFEngine& operator=(const TDFEngine&) = delete;

    // Properties.
    TDFForm* Form() const { return FForm.get(); }
    // Copies the form (through a stream) into the engine's own form.
    void SetForm(const TDFForm* form);
    TdfRulerUnits RulerUnits = dfInches;
    TdfPaintOptions PaintOptions = dfShowForm | dfShowFields | dfShowBackground | dfPrintShading;
    TdfPreviewOptions PreviewOptions = dfToolbar | dfButtonCaptions | dfPageTabs | dfBottomTabs | dfAllowClear
        | dfAllowOpen | dfAllowExport | dfAllowPrint;
    QString PreviewCaption = "Defined Forms Preview";
    QString PrintJob = "Defined Forms Printer";
    QString PreviewZoom = "100";
    bool WantExceptions = true;
    bool StoreAllFields = false;
    QString Version() const { return kVersion; }

    // The binary property "FormData" by which a window description carries
    // the form: written when the form has a page; the block holds the form's
    // stream when the first page has an object and is empty otherwise.
    bool FormDataStored() const;
    QByteArray FormData() const;
    // NewForm, then the stream of a non-empty block.
    void SetFormData(const QByteArray& block);

    // Events.
    TChangeEvent OnChange;
    TChangeEvent OnDimChange;
    TFunctionCallEvent OnEvaluateFunction;
    TFieldValueEvent OnGetField, OnSetField, OnGetFieldFootnote;   // carried
    TLocatePDFEvent OnLocatePDFBackground;
    TMessageEvent OnShowMessage;

    // The display attached to this engine (one at a time).
    void AttachDisplay(const void* target, TDisplayNotify notify);
    void DetachDisplay(const void* target);
    const void* AttachedDisplay() const { return FDisplayTarget; }

    // Form operations.
    void NewForm();
    TDFPage* AddPage();
    int PageCount() const;
    TDFPage* Pages(int index) const;

    // Fields, page by page in child order.
    int FieldCount() const;
    TDFField* Fields(int index) const;   // none beyond the last
    TDFField* FindField(const QString& name) const;
    TDFField* FieldByName(const QString& name) const;
    void ClearFields();
    void LoadFromDataset(const TDFDataRecord& dataset, bool mustExist);
    void SaveToDataset(TDFDataRecord& dataset, bool mustExist) const;

    // Change notification.
    void Changed(TDefinedStream* object, bool isLoading);
    void DimChanged(TDFPage* page, bool isLoading);
    void BeginUpdate();
    void EndUpdate();
    bool Updating() const { return FUpdating; }

    // The change log: "Name=OldValue" lines.
    bool LogFieldChange(const QString& name, const QString& oldValue);
    QStringList ChangeLog;

    // Recalculation.
    void Recalculate();
    void RecalculateAll();
    void BuildCalcOrder();
    void CalculateField(TDFField* field);
    QString SubstituteFieldValues(const QString& text) const;
    QString EvaluateExpression(TDFField* field, const QString& text);
    QString CallHostFunction(TDFField* field, const QString& name, QStringList args);
    // The order reached: (upper-case field name, field).
    std::vector<std::pair<QString, TDFField*>> CalcOrder;
    bool Recalculated = false;
    bool Recalculating() const { return FRecalculating; }

    // The external PDF file of the form as it would be opened: ".pdf"
    // appended when missing, then OnLocatePDFBackground, else the "PDF Forms"
    // folder next to the executable when the file does not exist. Empty when
    // the form names none. (Opening and drawing it belongs to the display.)
    QString LocatePDFBackground(const QString& executableFolder) const;

private:
    const std::vector<TDFField*>& FieldList() const;

    std::unique_ptr<TDFForm> FForm;
    bool FUpdating = false;
    bool FChangePending = false;
    bool FRecalculating = false;
    const void* FDisplayTarget = nullptr;
    TDisplayNotify FDisplayNotify;
    mutable std::vector<TDFField*> FFieldCache;
    mutable quint64 FFieldCacheVersion = 0;
};

} // namespace pm
