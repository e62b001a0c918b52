#pragma once

#include <QWidget>

class QEventLoop;

/// The defaults of every window of the program: 1200 x 600 at 100, 100; centred on the screen
/// when shown; the button-face background; Tahoma 11 pixels high (8 points at 96 dots per
/// inch), or the desktop's sans font at that size where Tahoma is missing; hints shown.
class ThvFrmBase : public QWidget {
  public:
    explicit ThvFrmBase(QWidget* parent = nullptr, Qt::WindowFlags flags = Qt::Window);
    ~ThvFrmBase() override;

    /// Shows the window modally and returns when it has been hidden or closed. GUI thread.
    void ShowModal();
    bool IsModalShowing() const { return modalLoop_ != nullptr; }

  protected:
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;

  private:
    QEventLoop* modalLoop_ = nullptr;
    bool centred_ = false;
};

/// The form font: Tahoma 11 pixels high, or the desktop's sans font at that size.
QFont FormFont();
