// The select-caption dialog removing captions: the list shows every caption
// whole, and each removal reaches the model and the view at once.
#include "ui/SelectCaptionDialog.h"
#include "document/DocumentModel.h"
#include "tests/support/CaptionDialogDriver.h"
#include "tests/support/DialogTesting.h"
#include "tests/support/QtPrinters.h"
#include "ui/ImageControl.h"

#include <QListWidget>

#include <gtest/gtest.h>

namespace {

TEST(SelectCaptionDialogTest, RemoveModeRemovesTheSelectedCaptionAtOnceAndThenNeedsANewChoice) {
    DocumentModel model;
    CImageControl view(&model);
    view.resize(300, 200);
    view.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&view));
    for (const char* text : {"First", "Second\r\nline two", "Third"}) {
        Caption caption;
        caption.text = QString::fromUtf8(text);
        model.addCaption(caption);
    }
    const auto texts = [&model] {
        QStringList all;
        for (std::int32_t i = 0; i < model.document().captions.count(); ++i)
            all << model.document().captions.at(i)->text;
        return all;
    };
    PaintCounter painted(&view);
    CSelectCaptionDialog dialog(&model, QStringLiteral("Select caption to remove"),
                                CSelectCaptionDialog::Remove);
    const auto entries = [&dialog] {
        QStringList all;
        for (int i = 0; i < dialog.list()->count(); ++i)
            all << dialog.list()->item(i)->text();
        return all;
    };
    EXPECT_EQ(entries(), texts()) << "whole, line breaks and all";
    EXPECT_EQ(ExecWith(dialog,
                       [&] {
                           dialog.list()->setCurrentRow(1);
                           const int before = painted.paints;
                           Click(&dialog, ControlId::Ok);
                           EXPECT_TRUE(dialog.isVisible()) << "removing keeps the dialog open";
                           EXPECT_EQ(texts(), QStringList({"First", "Third"}));
                           EXPECT_EQ(entries(), texts());
                           EXPECT_TRUE(QTest::qWaitFor([&] { return painted.paints > before; }))
                               << "the view follows the model behind the dialog";
                           // A second press without a new choice removes nothing.
                           Click(&dialog, ControlId::Ok);
                           EXPECT_EQ(model.history()->count(), 4) << "three adds, one removal";
                           dialog.list()->setCurrentRow(0);
                           Click(&dialog, ControlId::Ok);
                           EXPECT_EQ(entries(), QStringList{"Third"});
                           Click(&dialog, ControlId::Cancel);
                       }),
              2);
    EXPECT_EQ(texts(), QStringList{"Third"}) << "closing undoes nothing";
}

} // namespace
