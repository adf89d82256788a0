#pragma once

// What widget tests share: the model harness of tests/model, widget lookup and palettes.

#include <gtest/gtest.h>

#include <QAccessible>
#include <QApplication>
#include <QPalette>
#include <QWidget>

#include <vector>

#include "model/ModelFixtures.h"

namespace vael::testing {

// The child with this objectName; fails the test when there is none.
template <class T = QWidget>
T* child(const QObject* parent, const QString& name) {
    auto* found = parent->findChild<T*>(name);
    EXPECT_NE(found, nullptr) << "no " << name.toStdString();
    return found;
}

// The accessible object named `name` found by walking the accessibility tree down from `root`, as a
// screen reader does; each child found must name its parent back. Null when none is reachable.
inline QAccessibleInterface* reachableAccessible(QWidget* root, const QString& name) {
    std::vector<QAccessibleInterface*> open{QAccessible::queryAccessibleInterface(root)};
    while (!open.empty()) {
        auto* node = open.back();
        open.pop_back();
        if (!node) continue;
        if (node->text(QAccessible::Name) == name) return node;
        for (int i = 0; i < node->childCount(); ++i) {
            auto* child = node->child(i);
            if (!child) continue;
            EXPECT_TRUE(child->parent() && child->parent()->object() == node->object())
                << child->text(QAccessible::Name).toStdString() << " names another parent";
            open.push_back(child);
        }
    }
    return nullptr;
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
