#include "ui/hvFormBase.h"

#include <QEventLoop>
#include <QFontDatabase>
#include <QGuiApplication>
#include <QScreen>
#include <QShowEvent>

QFont FormFont() {
    QFont font = QFontDatabase::hasFamily("Tahoma") ? QFont("Tahoma")
                                                   : QFontDatabase::systemFont(
                                                         QFontDatabase::GeneralFont);
    font.setPixelSize(11);
    return font;
}

ThvFrmBase::ThvFrmBase(QWidget* parent, Qt::WindowFlags flags) : QWidget(parent, flags) {
    setGeometry(100, 100, 1200, 600);
    setFont(FormFont());
    setBackgroundRole(QPalette::Button);
    setAutoFillBackground(true);
}

ThvFrmBase::~ThvFrmBase() {
    if (modalLoop_) modalLoop_->quit();
}

void ThvFrmBase::ShowModal() {
    if (modalLoop_) return;
    setWindowModality(Qt::ApplicationModal);
    QEventLoop loop;
    modalLoop_ = &loop;
    show();
    if (isVisible()) loop.exec(QEventLoop::DialogExec);
    modalLoop_ = nullptr;
    setWindowModality(Qt::NonModal);
}

void ThvFrmBase::showEvent(QShowEvent* event) {
    if (!centred_ && !event->spontaneous()) {
        centred_ = true;
        if (const QScreen* screen = this->screen()) {
            QRect frame = frameGeometry();
            frame.moveCenter(screen->availableGeometry().center());
            move(frame.topLeft());
        }
    }
    QWidget::showEvent(event);
}

void ThvFrmBase::hideEvent(QHideEvent* event) {
    QWidget::hideEvent(event);
    if (modalLoop_ && !event->spontaneous()) modalLoop_->quit();
}
