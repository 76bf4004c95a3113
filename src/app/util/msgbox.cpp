#include "app/util/msgbox.h"

#include <QApplication>
#include <QMessageBox>

#include <cstdio>

namespace pm {

namespace {

TMessageBoxAnswerer& Answerer()
{
    static TMessageBoxAnswerer answerer;
    return answerer;
}

} // namespace

void SetMessageBoxAnswerer(TMessageBoxAnswerer answerer)
{
    Answerer() = std::move(answerer);
}

int ShowMessageBox(TMsgKind kind, TMsgButtons buttons, const QString& text)
{
    if (Answerer())
        return Answerer()({kind, buttons, text});
    if (!qobject_cast<QApplication*>(QCoreApplication::instance())) {
        // No windows in this process (a command-line tool): say it on the
        // error stream and take the cautious answer.
        fprintf(stderr, "%s\n", qPrintable(text));
        return buttons == mbOKOnly ? mbOK : (buttons == mbYesNo ? mbNo : mbCancel);
    }

    QMessageBox::Icon icon = QMessageBox::NoIcon;
    QString caption = QApplication::applicationDisplayName();
    switch (kind) {
    case TMsgKind::Confirmation: icon = QMessageBox::Question; caption = "Confirm"; break;
    case TMsgKind::Warning: icon = QMessageBox::Warning; caption = "Warning"; break;
    case TMsgKind::Error: icon = QMessageBox::Critical; caption = "Error"; break;
    case TMsgKind::Information: icon = QMessageBox::Information; caption = "Information"; break;
    case TMsgKind::Plain: break;
    }
    QMessageBox::StandardButtons set = QMessageBox::Ok;
    switch (buttons) {
    case mbOKCancel: set = QMessageBox::Ok | QMessageBox::Cancel; break;
    case mbYesNo: set = QMessageBox::Yes | QMessageBox::No; break;
    case mbYesNoCancel: set = QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel; break;
    case mbOKOnly: break;
    }
    QMessageBox box(icon, caption, text, set, QApplication::activeWindow());
    switch (box.exec()) {
    case QMessageBox::Ok: return mbOK;
    case QMessageBox::Yes: return mbYes;
    case QMessageBox::No: return mbNo;
    default: return mbCancel;
    }
}

bool ConfirmOkCancel(const QString& text)
{
    return ShowMessageBox(TMsgKind::Confirmation, mbOKCancel, text) == mbOK;
}

bool ConfirmYesNo(const QString& text)
{
    return ShowMessageBox(TMsgKind::Confirmation, mbYesNo, text) == mbYes;
}

int AskSaveChanges(const QString& name)
{
    return ShowMessageBox(TMsgKind::Confirmation, mbYesNoCancel, "Save changes to " + name + "? ");
}

bool ConfirmDelete()
{
    return ConfirmOkCancel("OK to delete?");
}

void ShowWarning(const QString& text)
{
    ShowMessageBox(TMsgKind::Warning, mbOKOnly, text);
}

void ShowError(const QString& text)
{
    ShowMessageBox(TMsgKind::Error, mbOKOnly, text);
}

void ShowMessage(const QString& text)
{
    ShowMessageBox(TMsgKind::Plain, mbOKOnly, text);
}

} // namespace pm
