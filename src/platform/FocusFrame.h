#pragma once

class QWidget;

// The style draws the focus frame only once a key has moved the focus. Windows whose buttons
// answer Enter and Space show from the start, on every showing, which button has the focus.
namespace FocusFrame {
void showFromStart(QWidget* window);
}
