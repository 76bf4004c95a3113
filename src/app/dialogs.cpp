#include "app/dialogs.h"

#include <QDialog>
#include <QDialogButtonBox>
#include <QLabel>
#include <QLineEdit>
#include <QVBoxLayout>

namespace pm {

namespace {

TDialogAnswerer& Answerer()
{
    static TDialogAnswerer answerer;
    return answerer;
}

} // namespace

void SetDialogAnswerer(TDialogAnswerer answerer)
{
    Answerer() = std::move(answerer);
}

bool ExecDialog(QDialog& dialog)
{
    if (Answerer()) {
        // What the dialog's show handler does must still happen.
        dialog.show();
        const bool accepted = Answerer()(dialog);
        if (accepted)
            dialog.accept();
        else
            dialog.reject();
        return accepted;
    }
    return dialog.exec() == QDialog::Accepted;
}

bool InputQuery(const QString& caption, const QString& prompt, QString& value, QWidget* parent)
{
    QDialog dialog(parent);
    dialog.setObjectName("InputQuery");
    dialog.setWindowTitle(caption);
    auto* layout = new QVBoxLayout(&dialog);
    auto* label = new QLabel(prompt, &dialog);
    auto* edit = new QLineEdit(value, &dialog);
    edit->setObjectName("Edit");
    edit->selectAll();
    label->setBuddy(edit);
    layout->addWidget(label);
    layout->addWidget(edit);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, &dialog);
    QObject::connect(buttons, &QDialogButtonBox::accepted, &dialog, &QDialog::accept);
    QObject::connect(buttons, &QDialogButtonBox::rejected, &dialog, &QDialog::reject);
    layout->addWidget(buttons);
    dialog.setMinimumWidth(300);
    if (!ExecDialog(dialog))
        return false;
    value = edit->text();
    return true;
}

} // namespace pm
