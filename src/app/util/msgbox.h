#pragma once
// The standard message boxes with their fixed button sets. All are modal.
// Tests (and the command-line front end) install an answerer so that no
// person is needed: it receives every box and returns the button pressed.

#include <QString>
#include <functional>

namespace pm {

enum class TMsgKind { Confirmation, Warning, Error, Information, Plain };
enum TMsgButton { mbOK = 1, mbCancel = 2, mbYes = 6, mbNo = 7 };
enum TMsgButtons { mbOKCancel, mbYesNo, mbYesNoCancel, mbOKOnly };

struct TMessageBoxCall {
    TMsgKind kind;
    TMsgButtons buttons;
    QString text;
};
using TMessageBoxAnswerer = std::function<int(const TMessageBoxCall&)>;

// Installs the answerer (an empty function restores the real dialogs).
void SetMessageBoxAnswerer(TMessageBoxAnswerer answerer);

// The one place that shows a box; returns the TMsgButton pressed.
int ShowMessageBox(TMsgKind kind, TMsgButtons buttons, const QString& text);

bool ConfirmOkCancel(const QString& text);
bool ConfirmYesNo(const QString& text);
int AskSaveChanges(const QString& name);   // mbYes, mbNo or mbCancel
bool ConfirmDelete();                      // "OK to delete?"
void ShowWarning(const QString& text);
void ShowError(const QString& text);
void ShowMessage(const QString& text);     // the platform's plain message box

} // namespace pm
