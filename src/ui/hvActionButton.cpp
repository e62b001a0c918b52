#include "ui/hvActionButton.h"

#include <QAction>
#include <QApplication>

ThvActionButton::ThvActionButton(QWidget* parent) : QPushButton(parent) {
    connect(this, &QPushButton::clicked, this, [this] {
        if (!action_) return;
        if (clicked_ && clicked_ != action_ && sinceClick_.isValid() &&
            sinceClick_.elapsed() < QApplication::doubleClickInterval())
            return;
        clicked_ = action_;
        sinceClick_.start();
        action_->trigger();
    });
}

void ThvActionButton::SetAction(QAction* action) {
    disconnect(changed_);
    action_ = action;
    if (action_) changed_ = connect(action_, &QAction::changed, this, &ThvActionButton::Sync);
    Sync();
}

void ThvActionButton::Sync() {
    if (!action_) return;
    setText(action_->text());
    // The hint is the action's own one; Qt would make one up from the caption.
    setToolTip(action_->property("hint").toString());
    setEnabled(action_->isEnabled());
    setVisible(action_->isVisible());
}
