#pragma once

#include <QString>

namespace quenlor {

// The about box as the Program state holds it: four texts its caller sets before showing it.
// frmAbout implements it.
class AboutBox {
public:
    virtual ~AboutBox() = default;

    QString ProductName;
    QString ProductVersion;
    QString MakerLink;
    QString CopyrightText;

    // Loads the box on its first showing (its texts are taken then) and shows it without making
    // it modal.
    virtual void Show() = 0;
};

} // namespace quenlor
