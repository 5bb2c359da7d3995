#pragma once

#include <QApplication>
#include <QTimer>
#include <QWidget>

// Runs `handle` on the next modal dialog of type T as soon as it shows, from
// inside the dialog's own event loop: the way tests answer a dialog that
// the code under test opens and waits for.
template <class T, class F> QTimer* WhenModal(F handle) {
    auto* timer = new QTimer(qApp);
    timer->setInterval(0);
    QObject::connect(timer, &QTimer::timeout, qApp, [timer, handle] {
        auto* dialog = qobject_cast<T*>(QApplication::activeModalWidget());
        if (dialog == nullptr || !dialog->isVisible())
            return;
        timer->stop();
        timer->deleteLater();
        handle(dialog);
    });
    timer->start();
    return timer;
}
