#pragma once

class QLabel;
class QPushButton;
class QWidget;

// The pieces that the help and about windows share.
namespace HelpWidgets {
constexpr int kBannerWidth = 385;
constexpr int kBannerHeight = 94;
QLabel* banner(QWidget* parent);        // Image1: product name, edition and ownership notice
QPushButton* okButton(QWidget* parent); // SpeedButton2: flat, bold green caption with a picture
void paintWhite(QWidget* window);
}
