#pragma once
// The preferences window. Its controls are the live settings: every other
// window reads a preference from the control here, never from the file.

#include "app/kvcontrols.h"

#include <QDialog>
#include <QRadioButton>

#include <array>
#include <functional>

class QTabWidget;
class QToolBar;
class QStatusBar;
class QPushButton;

namespace pm {

class TIniFile;

class TConfigurationForm : public QDialog {
    Q_OBJECT
public:
    explicit TConfigurationForm(QWidget* parent = nullptr);

    // Load: the stored values, then "RunOnce.ini", then the program's date
    // and version. Save: section "Configuration" rewritten from the controls.
    void Load();
    void Save();
    // Called by the update just before it starts an installer.
    void StampLastUpdate();

    // The live settings.
    QString ServerHost() const;
    int ServerPort() const;
    bool ShowPollProgressOn() const;
    bool AutomaticUpdateOn() const;
    bool UseCustomHelpOn() const;
    QString DatabasePath() const;
    QString HelpCaption(int number) const;   // 1 to 5
    QString HelpCommand(int number) const;

    // The update check of the update window (forced: even when the versions agree).
    std::function<void(bool forced)> OnCheckForUpdate;

    // Controls.
    QToolBar* ToolBar1;
    QAction* ToolButton1;   // "Save"
    QAction* ToolButton2;   // "Cancel"
    QTabWidget* PageControl;
    QWidget* OptionsSheet;
    QWidget* UpdateSheet;
    QWidget* HelpSheet;
    QStatusBar* StatusBar;

    TkvEdit* DORServer;
    TkvEdit* Port;
    TkvCheckBox* ShowPollProgress;
    TkvEdit* AccessFilename;
    QPushButton* AccessBrowseBtn;
    TkvComboBox* DefaultPrinter;

    TkvCheckBox* AutomaticUpdate;
    TkvCheckBox* ShowUpdate;
    QRadioButton* UseURL;
    TkvEdit* UpdateURL;
    QRadioButton* UseFTP;
    TkvEdit* FtpSite;
    QLabel* FtpUserLabel;
    TkvEdit* FtpUser;
    QLabel* FtpPasswordLabel;
    TkvEdit* FtpPassword;
    QPushButton* BitBtn9;   // "Check Now"
    QPushButton* BitBtn3;   // "Re-Install "
    QPushButton* BitBtn6;   // "View Readme"
    QLabel* ExeDate;
    QLabel* VersionNumber;
    TStaticText* LastUpdate;

    TkvCheckBox* UseCustomHelp;
    std::array<TkvEdit*, 5> HelpCaption_{};
    std::array<TkvEdit*, 5> HelpCommand_{};

    void ToolButton1Click();
    void ToolButton2Click();
    void AccessBrowseBtnClick();
    void UpdateSourceChange();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void showEvent(QShowEvent* event) override;

private:
    void BuildOptions();
    void BuildUpdate();
    void BuildHelp();
    void ApplyRunOnce();
    bool printersListed_ = false;
};

} // namespace pm
