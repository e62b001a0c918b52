#include "ui/hvActionButton.h"

#include <QAction>

ThvActionButton::ThvActionButton(QWidget* parent) : QPushButton(parent) {
    connect(this, &QPushButton::clicked, this, [this] {
        if (action_) action_->trigger();
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
