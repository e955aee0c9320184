#pragma once

#include <QPoint>
#include <QTreeWidget>
#include <QTreeWidgetItemIterator>

// The device tree as a test drives it: a detector's node by its address, and
// a point on its label, where a press selects it.

inline QTreeWidgetItem* DetectorNode(QTreeWidget* tree, int address) {
    for (QTreeWidgetItemIterator it(tree); *it; ++it) {
        if ((*it)->parent() && (*it)->data(0, Qt::UserRole).toInt() == address)
            return *it;
    }
    return nullptr;
}

inline QPoint LabelPos(const QTreeWidget* tree, const QTreeWidgetItem* node) {
    return tree->visualItemRect(node).topLeft() + QPoint(10, 5);
}
