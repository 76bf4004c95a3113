#include "app/splash.h"

#include "app/appinfo.h"

#include <QDialogButtonBox>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QLinearGradient>
#include <QPainter>
#include <QPushButton>
#include <QScreen>
#include <QStyle>
#include <QTimer>
#include <QVBoxLayout>

namespace pm {

TSplashScr::TSplashScr(QWidget* parent)
    : QWidget(parent, Qt::SplashScreen | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint)
{
    setObjectName("SplashScr");
    setAttribute(Qt::WA_DeleteOnClose);
    setFixedSize(396, 197);
    if (QScreen* screen = QGuiApplication::primaryScreen()) {
        const QRect area = screen->geometry();
        move(area.x() + (area.width() - width()) / 2, area.y() + (area.height() - height()) / 2);
    }
    VersionLabel = new QLabel(SplashVersionText(), this);
    VersionLabel->setObjectName("VersionLabel");
    QFont font("Liberation Sans", 9);
    VersionLabel->setFont(font);
    VersionLabel->setStyleSheet("color: white;");
    VersionLabel->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    VersionLabel->setGeometry(width() - 128, height() - 30, 116, 20);
    Timer = new QTimer(this);
    Timer->setSingleShot(true);
    Timer->setInterval(2000);
    connect(Timer, &QTimer::timeout, this, &QWidget::close);
    Timer->start();
}

void TSplashScr::paintEvent(QPaintEvent*)
{
    // The picture: the program's name on a blue ground.
    QPainter p(this);
    QLinearGradient g(0, 0, 0, height());
    g.setColorAt(0, QColor(24, 64, 140));
    g.setColorAt(1, QColor(8, 28, 72));
    p.fillRect(rect(), g);
    p.setPen(QColor(255, 214, 64));
    p.drawRect(rect().adjusted(0, 0, -1, -1));
    p.setPen(Qt::white);
    QFont title("Liberation Sans", 24, QFont::Bold);
    p.setFont(title);
    p.drawText(QRect(0, 40, width(), 50), Qt::AlignHCenter | Qt::AlignVCenter, kApplicationTitle);
    QFont sub("Liberation Sans", 10);
    p.setFont(sub);
    p.drawText(QRect(0, 92, width(), 24), Qt::AlignHCenter | Qt::AlignVCenter,
               QStringLiteral("Bingo financial reports and vouchers"));
}

TAboutBox::TAboutBox(QWidget* parent) : QDialog(parent)
{
    setObjectName("AboutBox");
    setWindowTitle("About");
    setModal(true);
    auto* v = new QVBoxLayout(this);
    auto* h = new QHBoxLayout;
    ProgramIcon = new QLabel(this);
    ProgramIcon->setPixmap(style()->standardIcon(QStyle::SP_ComputerIcon).pixmap(48, 48));
    ProgramIcon->setAlignment(Qt::AlignTop);
    auto* texts = new QVBoxLayout;
    ProductName = new QLabel(kApplicationTitle, this);
    QFont bold = ProductName->font();
    bold.setBold(true);
    bold.setPointSize(bold.pointSize() + 3);
    ProductName->setFont(bold);
    Version = new QLabel(QStringLiteral("Version ") + FileVersionString(), this);
    texts->addWidget(ProductName);
    texts->addWidget(Version);
    texts->addStretch(1);
    h->addWidget(ProgramIcon);
    h->addSpacing(12);
    h->addLayout(texts, 1);
    v->addLayout(h);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok, this);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    v->addWidget(buttons);
    setFixedSize(300, 150);
}

} // namespace pm
