#include "app/kvcontrols.h"

#include <QAbstractItemView>
#include <QApplication>
#include <QKeyEvent>
#include <QMenu>
#include <QVariant>

namespace pm {

int Tag(const QObject* object)
{
    return object ? object->property("tag").toInt() : 0;
}

void SetTag(QObject* object, int tag)
{
    object->setProperty("tag", tag);
}

namespace {

void TakeColour(QWidget* w, QPalette::ColorRole role, const QColor& colour, QColor& remembered, bool& coloured)
{
    if (!coloured) {
        remembered = w->palette().color(role);
        coloured = true;
    }
    QPalette p = w->palette();
    p.setColor(role, colour);
    w->setPalette(p);
}

void GiveColourBack(QWidget* w, QPalette::ColorRole role, const QColor& remembered, bool& coloured)
{
    if (!coloured)
        return;
    QPalette p = w->palette();
    p.setColor(role, remembered);
    w->setPalette(p);
    coloured = false;
}

void SendKey(QWidget* target, int key)
{
    QKeyEvent press(QEvent::KeyPress, key, Qt::NoModifier);
    QApplication::sendEvent(target, &press);
}

} // namespace

TkvEdit::TkvEdit(QWidget* parent) : QLineEdit(parent) {}

void TkvEdit::focusInEvent(QFocusEvent* event)
{
    TakeColour(this, QPalette::Base, FocusedColor, remembered_, coloured_);
    QLineEdit::focusInEvent(event);
}

void TkvEdit::focusOutEvent(QFocusEvent* event)
{
    GiveColourBack(this, QPalette::Base, remembered_, coloured_);
    QLineEdit::focusOutEvent(event);
}

TkvCheckBox::TkvCheckBox(const QString& text, QWidget* parent) : QCheckBox(text, parent) {}

// The check box fills its background only while it shows the focus colour,
// so that otherwise it takes the colour of whatever it sits on.
void TkvCheckBox::focusInEvent(QFocusEvent* event)
{
    TakeColour(this, QPalette::Window, FocusedColor, remembered_, coloured_);
    setAutoFillBackground(true);
    QCheckBox::focusInEvent(event);
}

void TkvCheckBox::focusOutEvent(QFocusEvent* event)
{
    GiveColourBack(this, QPalette::Window, remembered_, coloured_);
    setAutoFillBackground(false);
    QCheckBox::focusOutEvent(event);
}

void TkvCheckBox::keyPressEvent(QKeyEvent* event)
{
    if (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) {
        FocusNextControl(window());
        event->accept();
        return;
    }
    if (event->key() == Qt::Key_Escape) {
        GiveColourBack(this, QPalette::Window, remembered_, coloured_);
        setAutoFillBackground(false);
        event->accept();
        if (window() != this)
            SendKey(window(), Qt::Key_Escape);
        return;
    }
    QCheckBox::keyPressEvent(event);
}

TkvComboBox::TkvComboBox(QWidget* parent) : QComboBox(parent) {}

void TkvComboBox::focusInEvent(QFocusEvent* event)
{
    TakeColour(this, QPalette::Base, FocusedColor, remembered_, coloured_);
    QComboBox::focusInEvent(event);
}

void TkvComboBox::focusOutEvent(QFocusEvent* event)
{
    GiveColourBack(this, QPalette::Base, remembered_, coloured_);
    QComboBox::focusOutEvent(event);
}

void TkvComboBox::keyPressEvent(QKeyEvent* event)
{
    if (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) {
        FocusNextControl(window());
        event->accept();
        return;
    }
    if (event->key() == Qt::Key_Escape) {
        GiveColourBack(this, QPalette::Base, remembered_, coloured_);
        event->accept();
        if (window() != this)
            SendKey(window(), Qt::Key_Escape);
        return;
    }
    QComboBox::keyPressEvent(event);
}

bool IsEntryControl(const QWidget* widget)
{
    return qobject_cast<const QLineEdit*>(widget) || qobject_cast<const QCheckBox*>(widget)
        || qobject_cast<const QComboBox*>(widget);
}

void FocusNextControl(QWidget* window, bool forward)
{
    QWidget* current = window->focusWidget();
    if (!current)
        current = window;
    // Walk the focus chain of the window to the next control that takes the
    // focus by Tab; the chain is circular, so the last control leads to the first.
    QWidget* w = current;
    for (;;) {
        w = forward ? w->nextInFocusChain() : w->previousInFocusChain();
        if (!w || w == current)
            return;
        if (w->window() == window && w != window && (w->focusPolicy() & Qt::TabFocus) && w->isVisibleTo(window)
            && w->isEnabled() && !w->focusProxy()) {
            w->setFocus(forward ? Qt::TabFocusReason : Qt::BacktabFocusReason);
            return;
        }
    }
}

bool HandleEnterKey(QWidget* window, QKeyEvent* event)
{
    if (event->key() != Qt::Key_Return && event->key() != Qt::Key_Enter)
        return false;
    QWidget* focus = window->focusWidget();
    if (!focus)
        return false;
    // The line edit inside an editable combo box belongs to the combo box.
    if (auto* combo = qobject_cast<QComboBox*>(focus->parentWidget()); combo && combo->lineEdit() == focus)
        focus = combo;
    if (auto* grid = qobject_cast<QAbstractItemView*>(focus)) {
        SendKey(grid, Qt::Key_Tab);
        event->accept();
        return true;
    }
    if (IsEntryControl(focus)) {
        FocusNextControl(window);
        event->accept();
        return true;
    }
    return false;
}

TMenuItem::TMenuItem(const QString& caption, QObject* parent) : QAction(caption, parent)
{
    connect(this, &QAction::triggered, this, [this] {
        if (OnClick)
            OnClick();
    });
}

void EnableMenuItems(QMenu* menu)
{
    for (QAction* action : menu->actions()) {
        if (action->isSeparator())
            continue;
        auto* item = qobject_cast<TMenuItem*>(action);
        action->setEnabled(item && bool(item->OnClick));
    }
}

} // namespace pm
