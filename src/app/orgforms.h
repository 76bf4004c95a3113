#pragma once
// The organization windows: adding an organization, picking the current one,
// and the "Enter Password" prompt for a stored password.

#include "app/kvcontrols.h"

#include <QDialog>

class QPushButton;

namespace pm {

class TShell;
class TDataSetGrid;

// Spaces and hyphens taken out of a typed file number.
QString CleanFileNumber(const QString& text);

class TNewOrgForm : public QDialog {
    Q_OBJECT
public:
    explicit TNewOrgForm(TShell& shell, QWidget* parent = nullptr);

    QLabel* Label1;
    TkvEdit* eFileNum;
    TkvEdit* ePassword;
    QPushButton* OkBtn;
    QPushButton* CancelBtn;

    void eEditChange();
    void eFileNumExit();
    // "Download Info": appends the organization and starts the download of
    // its registration data; "That file number already exists." when the
    // row cannot be posted.
    void OkBtnClick();

protected:
    void showEvent(QShowEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    TShell& shell_;
};

class TSelectOrgForm : public QDialog {
    Q_OBJECT
public:
    explicit TSelectOrgForm(TShell& shell, QWidget* parent = nullptr);
    // The grid is made once the data module exists.
    void ConnectData();
    TDataSetGrid* DBGrid1 = nullptr;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    TShell& shell_;
};

// "Enter Password": the edit is emptied each time the dialog is shown.
class TPasswordDlg : public QDialog {
    Q_OBJECT
public:
    explicit TPasswordDlg(QWidget* parent = nullptr);
    QLabel* Label1;
    TkvEdit* Password;

protected:
    void showEvent(QShowEvent* event) override;
};

} // namespace pm
