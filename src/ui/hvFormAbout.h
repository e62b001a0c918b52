#pragma once

#include <QPointer>
#include <cstdint>

#include "ui/hvFormBase.h"

class QLabel;

/// The about box: the product's picture, title, version and the maker's line in a borderless,
/// semi-transparent window, closed by any click or key. The first ShowAbout, made by the
/// start-up, shows nothing and only counts; in "PureConsole" mode it makes the main window
/// fully transparent. GUI thread only.
class ThvFrmAbout : public ThvFrmBase {
  public:
    /// mainWindow is the window the box belongs to (observed, not owned; it may go first).
    explicit ThvFrmAbout(QWidget* mainWindow = nullptr, QWidget* parent = nullptr);

    /// The start-up call (the first) only counts, and hides the main window in "PureConsole"
    /// mode; every later call shows the box modally.
    void ShowAbout();

    int32_t ShowCount() const { return FShowCount; }

    QLabel* img;
    QLabel* lblProduct;
    QLabel* lblVersion;
    QLabel* lblCopright;

  protected:
    void showEvent(QShowEvent* event) override;  // FormShow
    void mousePressEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

  private:
    void FormClick();

    int32_t FShowCount = 0;
    QPointer<QWidget> mainWindow_;
};

