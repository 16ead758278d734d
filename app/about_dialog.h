// The about box: the program's version line.
#pragma once

#include <span>

#include "framework/dialog.h"

namespace kelvane {

class AboutDialog : public fw::MappedDialog<AboutDialog> {
public:
    explicit AboutDialog(HWND parent);
    static std::span<const fw::MessageEntry<AboutDialog>> MessageMap() { return {}; }

protected:
    BOOL OnInitDialog() override;
};

}  // namespace kelvane
