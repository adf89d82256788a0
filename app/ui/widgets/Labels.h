#pragma once

// Labels and small controls in the design system's styles, for every screen.

#include <QColor>
#include <QFont>
#include <QString>

#include <string>

class QCheckBox;
class QLabel;
class QLineEdit;
class QWidget;

namespace vael {

enum class TextStyle;

// A plain-text label in a text style, optionally in the secondary colour.
QLabel* styledLabel(const QString& text, TextStyle style, QFont::Weight weight = QFont::Normal, bool secondary = false);
// A symbol as a picture label, `size` pixels square, in `tint`.
QLabel* symbolLabel(const std::string& symbol, const QColor& tint, int size);
// Paints a label's text in the palette's secondary colour, following palette changes.
void makeSecondary(QWidget* widget);
// Names a control for tests and tools (objectName) and for assistive technology.
template <class Widget>
Widget* named(Widget* widget, const char* objectName, const QString& accessibleName) {
    widget->setObjectName(objectName);
    widget->setAccessibleName(accessibleName);
    return widget;
}
// The masked "Master passphrase" field of the locked screens.
QLineEdit* passphraseField(const char* objectName);
// Tints a check box's indicator.
void tintCheckBox(QCheckBox* box, const QColor& tint);

}  // namespace vael
