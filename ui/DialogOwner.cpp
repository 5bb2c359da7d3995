#include "ui/DialogOwner.h"

#include <QApplication>

QWidget* dialogOwner(QWidget* fallback) {
    QWidget* active = QApplication::activeWindow();
    return active != nullptr ? active : fallback;
}
