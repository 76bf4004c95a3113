#pragma once
// The splash window and the About window.

#include <QDialog>
#include <QWidget>

class QLabel;
class QTimer;

namespace pm {

// Borderless, on top, centred, 396 x 197, a picture with the version at its
// right; closes itself 2000 ms after the message loop starts, and is freed
// when closed.
class TSplashScr : public QWidget {
    Q_OBJECT
public:
    explicit TSplashScr(QWidget* parent = nullptr);
    QLabel* VersionLabel;
    QTimer* Timer;

protected:
    void paintEvent(QPaintEvent* event) override;
};

class TAboutBox : public QDialog {
    Q_OBJECT
public:
    explicit TAboutBox(QWidget* parent = nullptr);
    QLabel* ProgramIcon;
    QLabel* ProductName;
    QLabel* Version;
};

} // namespace pm
