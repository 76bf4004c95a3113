#pragma once
// Moving control values and window positions between windows and the
// settings file.
//
// Value encoding: edit boxes, combo boxes and static texts store their text;
// check boxes and radio buttons "Y" or "N" (read back as checked when the
// first character is one of "YyXxTt1"); list boxes their items as one
// comma-separated text. Only controls with a non-zero tag take part; plain
// labels never do.

#include "app/util/inifile.h"

#include <QString>

class QWidget;

namespace pm {

// Whether a stored value checks a check box or radio button.
bool IsCheckedValue(const QString& value);

// The encoded value of one control, and applying one; false for a control
// of a kind that takes no part.
bool ControlValue(const QWidget* control, QString& value);
bool ApplyControlValue(QWidget* control, const QString& value);

// Walks the container's controls, children first, and reads (or writes) every
// tagged one under its name in `section`; reading takes the control's current
// value as the default.
void ReadTaggedControls(const TIniFile& ini, const QString& section, QWidget* container);
void WriteTaggedControls(TIniFile& ini, const QString& section, QWidget* container);

// The window's class name without namespace ("TMainForm"): its section.
QString FormClassName(const QWidget* window);

// "WindowState" (0 normal, 1 minimized, 2 maximized) and, for a normal
// window, "Left", "Top", "Height", "Width".
void SaveWindowPosition(TIniFile& ini, QWidget* window);
void SaveWindowPosition(QWidget* window);   // in the program's settings file
// Applies the stored state; a normal window without stored position is
// centred on the first monitor's share of the screen. A stored value that is
// not a number keeps the window's current value.
void RestoreWindowPosition(const TIniFile& ini, QWidget* window);
void RestoreWindowPosition(QWidget* window);

} // namespace pm
