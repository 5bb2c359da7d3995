#pragma once

#include "tests/support/PaintCounter.h"
#include "tests/support/WhenModal.h"

#include <QDialog>
#include <QTest>

#include <gtest/gtest.h>

#include <functional>

// Runs `dialog` modally and does `action` once it is up and active; a
// dialog still open after a few seconds ends with -1. Returns exec()'s
// result.
inline int ExecWith(QDialog& dialog, const std::function<void()>& action) {
    QTimer::singleShot(0, &dialog, [&] {
        EXPECT_TRUE(QTest::qWaitForWindowActive(&dialog));
        action();
    });
    QTimer::singleShot(5000, &dialog, [&] { dialog.done(-1); });
    return dialog.exec();
}
