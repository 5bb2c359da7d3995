#pragma once

#include <QMetaObject>

#include <cstdint>

class CCaptionDialog;
class DocumentModel;

// Shows a caption dialog's working copy in the model for as long as the
// preview lives: in place of caption `replaces` (Edit) or after the listed
// ones (Add, -1). Every change of a control reaches the model at once; the
// views coalesce them into one render per paint. Ending the preview clears
// the working caption, so a cancelled dialog leaves the view as it was.
class CaptionPreview {
public:
    CaptionPreview(DocumentModel& model, const CCaptionDialog& dialog, std::int32_t replaces);
    ~CaptionPreview();
    CaptionPreview(const CaptionPreview&) = delete;
    CaptionPreview& operator=(const CaptionPreview&) = delete;

private:
    DocumentModel& model_;
    QMetaObject::Connection connection_;
};
