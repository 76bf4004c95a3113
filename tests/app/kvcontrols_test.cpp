// The window routines: Enter as next field, focus colours, menu items,
// windows made on first use.
#include "app/kvcontrols.h"

#include <QApplication>
#include <QDialog>
#include <QKeyEvent>
#include <QMenu>
#include <QTableWidget>
#include <QVBoxLayout>
#include <QtTest/QTest>
#include <gtest/gtest.h>

namespace pm {
namespace {

struct Window {
    QDialog dialog;
    TkvEdit* first;
    TkvCheckBox* check;
    TkvComboBox* combo;
    TkvEdit* last;
    Window()
    {
        auto* v = new QVBoxLayout(&dialog);
        first = new TkvEdit(&dialog);
        check = new TkvCheckBox("c", &dialog);
        combo = new TkvComboBox(&dialog);
        last = new TkvEdit(&dialog);
        for (QWidget* w : std::initializer_list<QWidget*>{first, check, combo, last})
            v->addWidget(w);
        dialog.show();
        dialog.activateWindow();
        QApplication::setActiveWindow(&dialog);
    }
};

bool Enter(QWidget* window)
{
    QKeyEvent key(QEvent::KeyPress, Qt::Key_Return, Qt::NoModifier);
    return HandleEnterKey(window, &key);
}

TEST(AppWindowRoutines, EnterMovesThroughTheEntryControlsAndWraps)
{
    Window w;
    w.first->setFocus();
    ASSERT_EQ(w.dialog.focusWidget(), w.first);
    EXPECT_TRUE(Enter(&w.dialog));
    EXPECT_EQ(w.dialog.focusWidget(), w.check);
    // The check box and combo box handle Enter themselves.
    QTest::keyClick(w.check, Qt::Key_Return);
    EXPECT_EQ(w.dialog.focusWidget(), w.combo);
    QTest::keyClick(w.combo, Qt::Key_Return);
    EXPECT_EQ(w.dialog.focusWidget(), w.last);
    // From the last edit box to the first control in tab order.
    EXPECT_TRUE(Enter(&w.dialog));
    EXPECT_EQ(w.dialog.focusWidget(), w.first);
    // Other keys pass.
    QKeyEvent other(QEvent::KeyPress, Qt::Key_A, Qt::NoModifier);
    EXPECT_FALSE(HandleEnterKey(&w.dialog, &other));
}

TEST(AppWindowRoutines, EnterInAGridActsAsTab)
{
    QDialog dialog;
    auto* v = new QVBoxLayout(&dialog);
    auto* grid = new QTableWidget(2, 3, &dialog);
    v->addWidget(grid);
    dialog.show();
    grid->setFocus();
    grid->setCurrentCell(0, 0);
    EXPECT_TRUE(Enter(&dialog));
    EXPECT_EQ(grid->currentColumn(), 1);
    EXPECT_EQ(dialog.focusWidget(), grid);
}

TEST(AppWindowRoutines, FocusColourIsTakenAndGivenBack)
{
    Window w;
    w.last->setFocus();
    const QColor base = w.first->palette().color(QPalette::Base);
    w.first->setFocus();
    EXPECT_EQ(w.first->palette().color(QPalette::Base), QColor(Qt::yellow));
    w.last->setFocus();
    EXPECT_EQ(w.first->palette().color(QPalette::Base), base);
    EXPECT_EQ(w.last->palette().color(QPalette::Base), QColor(Qt::yellow));

    // Escape in the check box gives its colour back and reaches the window.
    const QColor checkColour = w.check->palette().color(QPalette::Window);
    w.check->setFocus();
    EXPECT_EQ(w.check->palette().color(QPalette::Window), QColor(Qt::yellow));
    QTest::keyClick(w.check, Qt::Key_Escape);
    EXPECT_EQ(w.check->palette().color(QPalette::Window), checkColour);
    EXPECT_FALSE(w.dialog.isVisible());
}

TEST(AppWindowRoutines, MenuItemsAreEnabledByTheirHandlers)
{
    QMenu menu;
    auto* with = new TMenuItem("with", &menu);
    with->OnClick = [] {};
    auto* without = new TMenuItem("without", &menu);
    auto* plain = menu.addAction("plain");
    menu.addAction(with);
    menu.addAction(without);
    without->setEnabled(true);
    EnableMenuItems(&menu);
    EXPECT_TRUE(with->isEnabled());
    EXPECT_FALSE(without->isEnabled());
    EXPECT_FALSE(plain->isEnabled());
}

TEST(AppWindowRoutines, EnsureFormMakesTheWindowOnce)
{
    QPointer<QDialog> reference;
    QDialog* first = EnsureForm(reference);
    ASSERT_NE(first, nullptr);
    EXPECT_EQ(EnsureForm(reference), first);
    delete first;
    EXPECT_NE(EnsureForm(reference), nullptr);
    delete reference.data();
}

} // namespace
} // namespace pm
