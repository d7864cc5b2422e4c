#pragma once
#include <QImage>
#include <QPushButton>

// Whether the focused button, as drawn now, stands out from its look as a plain button (no focus,
// not the default): it does only if the focus shows before any key is pressed.
inline bool focusFrameDrawn(QPushButton* focused)
{
    if (!focused || !focused->hasFocus())
        return false;
    const QImage before = focused->grab().toImage();
    const bool isDefault = focused->isDefault();
    focused->setDefault(false);
    focused->clearFocus();
    const bool differs = focused->grab().toImage() != before;
    focused->setDefault(isDefault);
    focused->setFocus();
    return differs;
}
