#pragma once

#include <QElapsedTimer>
#include <QPushButton>

class QAction;

/// A push button that shows an action, as buttons of form designers do: it takes the action's
/// caption, hint (its dynamic property "hint"), enabled state and visibility, follows their changes, and triggers the action
/// when clicked. Showing another action takes that one's state at once. A click within the
/// platform's double-click time of a click that made the button show another action is not
/// passed on: the second click of a double click on Convert would otherwise trigger the Pause
/// that took Convert's place.
class ThvActionButton : public QPushButton {
  public:
    explicit ThvActionButton(QWidget* parent = nullptr);

    void SetAction(QAction* action);
    QAction* Action() const { return action_; }

  private:
    void Sync();

    QAction* action_ = nullptr;
    QMetaObject::Connection changed_;
    QElapsedTimer sinceClick_;
    QAction* clicked_ = nullptr;  ///< the action the last click triggered
};
