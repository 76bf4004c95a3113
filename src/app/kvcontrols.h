#pragma once
// The window routines every window of the program uses: the entry controls
// that change colour while they have the focus (TkvEdit, TkvCheckBox,
// TkvComboBox), Enter as "next field", menu items with click handlers, and
// windows created on first use.

#include <QAction>
#include <QCheckBox>
#include <QColor>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPointer>

#include <functional>

class QKeyEvent;
class QMenu;

namespace pm {

// The Tag of a control (0 when none): a control with a non-zero tag takes part
// in the settings routines.
int Tag(const QObject* object);
void SetTag(QObject* object, int tag);

// An edit box that takes FocusedColor while it has the focus.
class TkvEdit : public QLineEdit {
    Q_OBJECT
public:
    explicit TkvEdit(QWidget* parent = nullptr);
    QColor FocusedColor = QColor(Qt::yellow);

protected:
    void focusInEvent(QFocusEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;

private:
    QColor remembered_;
    bool coloured_ = false;
};

// A check box and a combo box that do the same, and handle Enter (next
// control) and Escape (colour back, then Escape to the window) themselves.
class TkvCheckBox : public QCheckBox {
    Q_OBJECT
public:
    explicit TkvCheckBox(const QString& text = QString(), QWidget* parent = nullptr);
    QColor FocusedColor = QColor(Qt::yellow);

protected:
    void focusInEvent(QFocusEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    QColor remembered_;
    bool coloured_ = false;
};

class TkvComboBox : public QComboBox {
    Q_OBJECT
public:
    explicit TkvComboBox(QWidget* parent = nullptr);
    QColor FocusedColor = QColor(Qt::yellow);

protected:
    void focusInEvent(QFocusEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    QColor remembered_;
    bool coloured_ = false;
};

// A static text: a label that, unlike a plain label, is a control of its own
// and so takes part in the settings routines.
class TStaticText : public QLabel {
    Q_OBJECT
public:
    using QLabel::QLabel;
};

// Edit boxes, check boxes and combo boxes (and the kinds derived from them).
bool IsEntryControl(const QWidget* widget);

// Enter in an entry control moves the focus to the next control in tab order
// (wrapping from the last to the first); in a grid it acts as Tab. Returns
// whether the key was consumed.
bool HandleEnterKey(QWidget* window, QKeyEvent* event);

// Moves the focus of `window` to the next (or previous) control in tab order.
void FocusNextControl(QWidget* window, bool forward = true);

// A menu item with a click handler.
class TMenuItem : public QAction {
    Q_OBJECT
public:
    explicit TMenuItem(const QString& caption, QObject* parent = nullptr);
    std::function<void()> OnClick;
    int Tag = 0;
};

// Each item of the menu is enabled exactly when it has a click handler.
void EnableMenuItems(QMenu* menu);

// Creates the window on first use.
template <class T, class... Args>
T* EnsureForm(QPointer<T>& reference, Args&&... args)
{
    if (!reference)
        reference = new T(std::forward<Args>(args)...);
    return reference.data();
}

} // namespace pm
