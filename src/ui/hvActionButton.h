#pragma once

#include <QPushButton>

class QAction;

/// A push button that shows an action, as buttons of form designers do: it takes the action's
/// caption, hint (its dynamic property "hint"), enabled state and visibility, follows their changes, and triggers the action
/// when clicked. Showing another action takes that one's state at once.
class ThvActionButton : public QPushButton {
  public:
    explicit ThvActionButton(QWidget* parent = nullptr);

    void SetAction(QAction* action);
    QAction* Action() const { return action_; }

  private:
    void Sync();

    QAction* action_ = nullptr;
    QMetaObject::Connection changed_;
};
