#pragma once

#include "ui/hvFormBase.h"

class QPlainTextEdit;
class QPushButton;

/// The options dialog: the project's option list as plain text, one name=value line per
/// option, edited freely (nothing is validated). Each show copies the bound controls into the
/// options (Commit without writing) and loads the memo from them; "&Ok" replaces the option
/// list with the memo and shows the options in the bound controls; "Cancel" and the close box
/// leave the list as it was; "Help" opens the help document. Changes live in memory until the
/// project is saved. One instance, made on first use and reused. GUI thread only.
class ThvFrmCfg : public ThvFrmBase {
  public:
    explicit ThvFrmCfg(QWidget* owner = nullptr);

    QPlainTextEdit* txtCfg;
    QPushButton* btnOk;
    QPushButton* btnCancel;
    QPushButton* btnHelp;

  protected:
    void showEvent(QShowEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

  private:
    void btnOkClick();
    void btnHelpClick();
};
