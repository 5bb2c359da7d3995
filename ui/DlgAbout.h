#pragma once

#include "ui/TemplateDialog.h"

#include <QString>

#include <optional>

// The About box: the program's name, version and copyright as the version
// block holds them, the icon, and the maker's web address, which a click
// opens. OK ends it with 1; Escape and the close button with 2. Shown with
// its owner, it opens centred over the owner's window.
class CDlgAbout : public TemplateDialog {
    Q_OBJECT

public:
    explicit CDlgAbout(QWidget* parent = nullptr);

    // The version line: the "Version: %s" string with the version in place
    // of %s, or nothing at all when the version is unknown.
    static QString versionLine(const std::optional<QString>& version);

protected:
    void onLinkClicked(int id, const QString& href) override;
};
