#include "ui/hvFormBase.h"

#include <QEventLoop>
#include <algorithm>
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
            // The first size fits the screen's free area whatever its scale: a 1200 x 600
            // window at a scale of 2 is wider than a 1920-pixel screen.
            const QRect area = screen->availableGeometry();
            QSize decoration = frameGeometry().size() - size();
            if (decoration.isEmpty()) decoration = QSize(8, 32);  // not framed yet
            const QSize room = (area.size() - decoration).expandedTo(minimumSize());
            if (!isMinimized() && !isMaximized() && (width() > room.width() || height() > room.height()))
                resize(size().boundedTo(room));
            QRect frame = frameGeometry();
            frame.moveCenter(area.center());
            // Never with the caption above the screen's top or left of its side.
            frame.moveTopLeft(QPoint(std::max(frame.left(), area.left()),
                                     std::max(frame.top(), area.top())));
            move(frame.topLeft());
        }
    }
    QWidget::showEvent(event);
}

void ThvFrmBase::hideEvent(QHideEvent* event) {
    QWidget::hideEvent(event);
    if (modalLoop_ && !event->spontaneous()) modalLoop_->quit();
}
