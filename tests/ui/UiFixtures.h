#pragma once

// What widget tests share: the model harness of tests/model, widget lookup and palettes.

#include <gtest/gtest.h>

#include <QApplication>
#include <QPalette>
#include <QWidget>

#include "model/ModelFixtures.h"

namespace vael::testing {

// The child with this objectName; fails the test when there is none.
template <class T = QWidget>
T* child(const QObject* parent, const QString& name) {
    auto* found = parent->findChild<T*>(name);
    EXPECT_NE(found, nullptr) << "no " << name.toStdString();
    return found;
}

inline QPalette lightPalette() {
    QPalette palette;
    palette.setColor(QPalette::Window, QColor(240, 240, 240));
    palette.setColor(QPalette::WindowText, Qt::black);
    palette.setColor(QPalette::Base, Qt::white);
    return palette;
}

inline QPalette darkPalette() {
    QPalette palette;
    palette.setColor(QPalette::Window, QColor(36, 36, 36));
    palette.setColor(QPalette::WindowText, Qt::white);
    palette.setColor(QPalette::Base, QColor(20, 20, 20));
    return palette;
}

}  // namespace vael::testing
