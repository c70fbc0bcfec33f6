#pragma once

#include "platform/PortableSystem.h"

namespace quenlor {

// The portable system with the desktop's message box and browser.
class DesktopSystem final : public PortableSystem {
public:
    using PortableSystem::PortableSystem;

    bool openUrl(const QString& url) override;
    void messageBox(const QString& title, const QString& text) override;
};

} // namespace quenlor
