#include "ui/DlgAbout.h"

#include "resources/StringTable.h"
#include "resources/VersionBlock.h"
#include "ui/OpenAddress.h"

CDlgAbout::CDlgAbout(QWidget* parent) : TemplateDialog(DialogId::About, parent) {
    setControlText(ControlId::AboutProductName,
                   VersionBlock::stringValue(u"ProductName").value_or(QString()));
    setControlText(ControlId::AboutVersion,
                   versionLine(VersionBlock::stringValue(u"ProductVersion")));
    setControlText(ControlId::AboutCopyright,
                   VersionBlock::stringValue(u"LegalCopyright").value_or(QString()));
}

QString CDlgAbout::versionLine(const std::optional<QString>& version) {
    if (!version)
        return {};
    QString line = loadString(StringId::VersionFormat);
    // Only the first %s is the version, as printf would fill it.
    const qsizetype at = line.indexOf(u"%s");
    if (at >= 0)
        line.replace(at, 2, *version);
    return line;
}

void CDlgAbout::onLinkClicked(int id, const QString&) {
    // The address is the program's own, whatever the label's markup says.
    if (id == ControlId::AboutLink)
        openAddress(makerWebAddress());
}
