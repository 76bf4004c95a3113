#include "app/settings.h"

#include "app/kvcontrols.h"
#include "app/util/utils.h"

#include <QAbstractButton>
#include <QCheckBox>
#include <QComboBox>
#include <QGuiApplication>
#include <QLineEdit>
#include <QListWidget>
#include <QRadioButton>
#include <QScreen>
#include <QWidget>

namespace pm {

bool IsCheckedValue(const QString& value)
{
    return !value.isEmpty() && QStringLiteral("YyXxTt1").contains(value.at(0));
}

bool ControlValue(const QWidget* control, QString& value)
{
    if (auto* edit = qobject_cast<const QLineEdit*>(control)) {
        value = edit->text();
    } else if (auto* combo = qobject_cast<const QComboBox*>(control)) {
        value = combo->isEditable() ? combo->currentText()
                                    : (combo->currentIndex() >= 0 ? combo->currentText() : QString());
    } else if (auto* text = qobject_cast<const TStaticText*>(control)) {
        value = text->text();
    } else if (qobject_cast<const QCheckBox*>(control) || qobject_cast<const QRadioButton*>(control)) {
        value = static_cast<const QAbstractButton*>(control)->isChecked() ? QStringLiteral("Y") : QStringLiteral("N");
    } else if (auto* list = qobject_cast<const QListWidget*>(control)) {
        QStringList items;
        for (int i = 0; i < list->count(); ++i)
            items << list->item(i)->text();
        value = items.join(',');
    } else {
        return false;
    }
    return true;
}

bool ApplyControlValue(QWidget* control, const QString& value)
{
    if (auto* edit = qobject_cast<QLineEdit*>(control)) {
        edit->setText(value);
    } else if (auto* combo = qobject_cast<QComboBox*>(control)) {
        const int index = combo->findText(value, Qt::MatchFixedString | Qt::MatchCaseSensitive);
        if (combo->isEditable()) {
            if (index >= 0)
                combo->setCurrentIndex(index);
            combo->setEditText(value);
        } else {
            combo->setCurrentIndex(index);
        }
    } else if (auto* text = qobject_cast<TStaticText*>(control)) {
        text->setText(value);
    } else if (qobject_cast<QCheckBox*>(control) || qobject_cast<QRadioButton*>(control)) {
        static_cast<QAbstractButton*>(control)->setChecked(IsCheckedValue(value));
    } else if (auto* list = qobject_cast<QListWidget*>(control)) {
        list->clear();
        if (!value.isEmpty())
            list->addItems(value.split(','));
    } else {
        return false;
    }
    return true;
}

namespace {

template <typename Fn>
void WalkTagged(QWidget* container, Fn&& fn)
{
    const QObjectList children = container->children();
    for (QObject* child : children) {
        auto* w = qobject_cast<QWidget*>(child);
        // Plain labels are no controls of their own.
        if (!w || (qobject_cast<QLabel*>(w) && !qobject_cast<TStaticText*>(w)))
            continue;
        WalkTagged(w, fn);
    }
    if (Tag(container) != 0 && !container->objectName().isEmpty())
        fn(container);
}

} // namespace

void ReadTaggedControls(const TIniFile& ini, const QString& section, QWidget* container)
{
    WalkTagged(container, [&](QWidget* control) {
        QString current;
        if (!ControlValue(control, current))
            return;
        ApplyControlValue(control, ini.ReadString(section, control->objectName(), current));
    });
}

void WriteTaggedControls(TIniFile& ini, const QString& section, QWidget* container)
{
    WalkTagged(container, [&](QWidget* control) {
        QString value;
        if (ControlValue(control, value))
            ini.WriteString(section, control->objectName(), value);
    });
}

QString FormClassName(const QWidget* window)
{
    QString name = QString::fromLatin1(window->metaObject()->className());
    const int colon = name.lastIndexOf(QLatin1String("::"));
    return colon >= 0 ? name.mid(colon + 2) : name;
}

void SaveWindowPosition(TIniFile& ini, QWidget* window)
{
    const QString section = FormClassName(window);
    int state = 0;
    if (window->isMinimized())
        state = 1;
    else if (window->isMaximized())
        state = 2;
    ini.WriteString(section, "WindowState", QString::number(state));
    if (state == 0) {
        ini.WriteString(section, "Left", QString::number(window->x()));
        ini.WriteString(section, "Top", QString::number(window->y()));
        ini.WriteString(section, "Height", QString::number(window->height()));
        ini.WriteString(section, "Width", QString::number(window->width()));
    }
}

void SaveWindowPosition(QWidget* window)
{
    TIniFile ini(IniFileName());
    SaveWindowPosition(ini, window);
}

namespace {

int ReadNumber(const TIniFile& ini, const QString& section, const QString& key, int current)
{
    bool ok = false;
    const int value = ini.ReadString(section, key, QString::number(current)).trimmed().toInt(&ok);
    return ok ? value : current;
}

} // namespace

void RestoreWindowPosition(const TIniFile& ini, QWidget* window)
{
    const QString section = FormClassName(window);
    const int state = ReadNumber(ini, section, "WindowState", 0);
    if (state == 1) {
        window->setWindowState(Qt::WindowMinimized);
        return;
    }
    if (state == 2) {
        window->setWindowState(Qt::WindowMaximized);
        return;
    }
    window->setWindowState(Qt::WindowNoState);
    if (!ini.ValueExists(section, "Left")) {
        if (QScreen* screen = QGuiApplication::primaryScreen()) {
            const QSize total = screen->virtualSize();
            const int monitors = std::max<int>(1, int(QGuiApplication::screens().size()));
            window->move((total.width() / monitors - window->width()) / 2, (total.height() - window->height()) / 2);
        }
    }
    const int left = ReadNumber(ini, section, "Left", window->x());
    const int top = ReadNumber(ini, section, "Top", window->y());
    const int height = ReadNumber(ini, section, "Height", window->height());
    const int width = ReadNumber(ini, section, "Width", window->width());
    window->move(left, top);
    window->resize(width, height);
}

void RestoreWindowPosition(QWidget* window)
{
    RestoreWindowPosition(TIniFile(IniFileName()), window);
}

} // namespace pm
