// The settings routines: tagged controls, value encoding, window positions.
#include "app/kvcontrols.h"
#include "app/settings.h"
#include "app/util/inifile.h"

#include <QCheckBox>
#include <QComboBox>
#include <QGuiApplication>
#include <QListWidget>
#include <QMainWindow>
#include <QRadioButton>
#include <QScreen>
#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace pm {
namespace {

class TTestForm : public QWidget {};

struct Controls {
    QWidget box;
    QLineEdit* edit;
    QCheckBox* check;
    QComboBox* list;      // drop-down list
    QComboBox* combo;     // editable
    QListWidget* items;
    TStaticText* stat;
    QLabel* label;
    QLineEdit* untagged;
    Controls()
    {
        auto* inner = new QWidget(&box);   // controls inside a panel are found too
        edit = new QLineEdit("start", inner);
        check = new QCheckBox(inner);
        list = new QComboBox(&box);
        list->addItems({"One", "Two"});
        combo = new QComboBox(&box);
        combo->setEditable(true);
        combo->addItems({"Alpha", "Beta"});
        items = new QListWidget(&box);
        stat = new TStaticText("Never", &box);
        label = new QLabel("label", &box);
        untagged = new QLineEdit("keep", &box);
        const std::pair<QWidget*, const char*> named[] = {{edit, "Edit"}, {check, "Check"}, {list, "List"}, {combo, "Combo"},
                                                          {items, "Items"}, {stat, "Stat"}, {label, "Label"}, {untagged, "Untagged"}};
        for (auto [w, name] : named) {
            w->setObjectName(name);
            if (w != untagged)
                SetTag(w, 1);
        }
    }
};

TEST(AppSettings, CheckedValuesFollowTheFirstCharacter)
{
    for (const char* yes : {"Y", "yes", "X", "x", "true", "T", "1"})
        EXPECT_TRUE(IsCheckedValue(yes)) << yes;
    for (const char* no : {"N", "no", "0", "", "false", " Y", "F"})
        EXPECT_FALSE(IsCheckedValue(no)) << no;
}

TEST(AppSettings, TaggedControlsRoundTripAndReadDefaults)
{
    QTemporaryDir dir;
    TIniFile ini(dir.filePath("t.ini"));
    Controls c;
    c.check->setChecked(true);
    c.list->setCurrentIndex(1);
    c.combo->setEditText("Gamma");
    c.items->addItems({"a", "b", "c"});
    WriteTaggedControls(ini, "S", &c.box);
    EXPECT_EQ(ini.ReadString("S", "Edit", "?"), "start");
    EXPECT_EQ(ini.ReadString("S", "Check", "?"), "Y");
    EXPECT_EQ(ini.ReadString("S", "List", "?"), "Two");
    EXPECT_EQ(ini.ReadString("S", "Combo", "?"), "Gamma");
    EXPECT_EQ(ini.ReadString("S", "Items", "?"), "a,b,c");
    EXPECT_EQ(ini.ReadString("S", "Stat", "?"), "Never");
    // Labels and untagged controls take no part.
    EXPECT_FALSE(ini.ValueExists("S", "Label"));
    EXPECT_FALSE(ini.ValueExists("S", "Untagged"));

    Controls d;   // fresh controls read what was written
    ReadTaggedControls(ini, "S", &d.box);
    EXPECT_TRUE(d.check->isChecked());
    EXPECT_EQ(d.list->currentText(), "Two");
    EXPECT_EQ(d.combo->currentText(), "Gamma");
    EXPECT_EQ(d.items->count(), 3);

    // A missing key keeps the control's value; a value not in a drop-down
    // list selects nothing; an editable combo takes any text.
    ini.DeleteKey("S", "Edit");
    ini.WriteString("S", "List", "Three");
    ini.WriteString("S", "Combo", "Beta");
    ini.WriteString("S", "Check", "no");
    d.edit->setText("mine");
    ReadTaggedControls(ini, "S", &d.box);
    EXPECT_EQ(d.edit->text(), "mine");
    EXPECT_EQ(d.list->currentIndex(), -1);
    EXPECT_EQ(d.combo->currentIndex(), 1);
    EXPECT_FALSE(d.check->isChecked());
}

TEST(AppSettings, WindowPositionRoundTripMaximizedAndCentred)
{
    QTemporaryDir dir;
    TIniFile ini(dir.filePath("t.ini"));
    QMainWindow window;
    EXPECT_EQ(FormClassName(&window), "QMainWindow");
    window.resize(300, 200);
    window.move(40, 50);
    SaveWindowPosition(ini, &window);
    EXPECT_EQ(ini.ReadString("QMainWindow", "WindowState", ""), "0");
    EXPECT_EQ(ini.ReadString("QMainWindow", "Width", ""), "300");
    EXPECT_EQ(ini.ReadString("QMainWindow", "Left", ""), "40");

    QMainWindow other;
    other.resize(10, 10);
    RestoreWindowPosition(ini, &other);
    EXPECT_EQ(other.width(), 300);
    EXPECT_EQ(other.height(), 200);
    EXPECT_EQ(other.x(), 40);

    // Maximized: the stored size is not applied.
    ini.WriteString("QMainWindow", "WindowState", "2");
    QMainWindow maxed;
    maxed.resize(120, 90);
    RestoreWindowPosition(ini, &maxed);
    EXPECT_TRUE(maxed.windowState() & Qt::WindowMaximized);
    EXPECT_EQ(maxed.width(), 120);

    // No position stored: centred on the first monitor's share of the screen.
    ini.EraseSection("QMainWindow");
    QMainWindow fresh;
    fresh.resize(200, 100);
    RestoreWindowPosition(ini, &fresh);
    const QSize screen = QGuiApplication::primaryScreen()->virtualSize();
    const int monitors = int(QGuiApplication::screens().size());
    EXPECT_EQ(fresh.x(), (screen.width() / monitors - 200) / 2);
    EXPECT_EQ(fresh.y(), (screen.height() - 100) / 2);

    // A value that is not a number keeps what the window has.
    ini.WriteString("QMainWindow", "Left", "12");
    ini.WriteString("QMainWindow", "Width", "wide");
    RestoreWindowPosition(ini, &fresh);
    EXPECT_EQ(fresh.x(), 12);
    EXPECT_EQ(fresh.width(), 200);
}

} // namespace
} // namespace pm
