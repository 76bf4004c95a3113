#pragma once
// Modal dialogs of the shell go through ExecDialog, so that tests (and a
// scripted front end) can answer them without a person, as message boxes
// are answered through SetMessageBoxAnswerer.

#include <QString>

#include <functional>

class QDialog;
class QWidget;

namespace pm {

// Receives the dialog about to be shown (filled in, ready); whatever it sets
// in the dialog stays; returns whether the dialog was accepted.
using TDialogAnswerer = std::function<bool(QDialog& dialog)>;
void SetDialogAnswerer(TDialogAnswerer answerer);

// Shows the dialog modally, or hands it to the answerer; true when accepted.
bool ExecDialog(QDialog& dialog);

// The platform's input box: caption, prompt and an edit holding `value`;
// true and the edited value on OK. Goes through ExecDialog.
bool InputQuery(const QString& caption, const QString& prompt, QString& value, QWidget* parent = nullptr);

} // namespace pm
