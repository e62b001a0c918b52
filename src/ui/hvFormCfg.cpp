#include "ui/hvFormCfg.h"

#include <QKeyEvent>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QShowEvent>

#include "project/hvProject.h"
#include "shell/hvInfo.h"

ThvFrmCfg::ThvFrmCfg(QWidget* owner)
    : ThvFrmBase(owner, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                            Qt::WindowCloseButtonHint | Qt::MSWindowsFixedSizeDialogHint) {
    setObjectName("hvFrmCfg");
    setWindowTitle("Config");
    setFixedSize(292, 273);

    txtCfg = new QPlainTextEdit(this);
    txtCfg->setObjectName("txtCfg");
    txtCfg->setGeometry(16, 16, 256, 200);
    txtCfg->setLineWrapMode(QPlainTextEdit::NoWrap);
    txtCfg->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    txtCfg->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    txtCfg->setToolTip("Please add/delete/modify the options by yourself");

    btnOk = new QPushButton("&Ok", this);
    btnOk->setObjectName("btnOk");
    btnOk->setGeometry(120, 233, 72, 25);
    btnCancel = new QPushButton("Cancel", this);
    btnCancel->setObjectName("btnCancel");
    btnCancel->setGeometry(200, 233, 72, 25);
    btnHelp = new QPushButton("Help", this);
    btnHelp->setObjectName("btnHelp");
    btnHelp->setGeometry(16, 233, 72, 25);
    btnHelp->setToolTip("Click here to see the details about the options");
    for (QPushButton* button : {btnOk, btnCancel, btnHelp}) button->setAutoDefault(false);

    setTabOrder(txtCfg, btnOk);
    setTabOrder(btnOk, btnCancel);
    setTabOrder(btnCancel, btnHelp);

    connect(btnOk, &QPushButton::clicked, this, &ThvFrmCfg::btnOkClick);
    connect(btnCancel, &QPushButton::clicked, this, &QWidget::close);
    connect(btnHelp, &QPushButton::clicked, this, &ThvFrmCfg::btnHelpClick);
}

void ThvFrmCfg::showEvent(QShowEvent* event) {
    ThvFrmBase::showEvent(event);
    if (event->spontaneous()) return;
    hvProject->Commit(false);
    // The list's text ends every line with CR LF; the memo keeps lines apart by LF alone.
    txtCfg->setPlainText(QString::fromStdString(hvProject->Options.Text()).replace("\r\n", "\n"));
    txtCfg->setFocus();
}

void ThvFrmCfg::keyPressEvent(QKeyEvent* event) {
    // Escape is Cancel, as in any dialog.
    if (event->key() == Qt::Key_Escape)
        close();
    else
        ThvFrmBase::keyPressEvent(event);
}

void ThvFrmCfg::btnOkClick() {
    hvProject->Options.SetText(txtCfg->toPlainText().toStdString());
    hvProject->OptionsToControls();
    close();
}

void ThvFrmCfg::btnHelpClick() { hvInfo->OpenLink("h", "", ""); }
