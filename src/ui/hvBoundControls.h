#pragma once

#include <QByteArray>

#include "project/hvPropList.h"

class QWidget;

/// A widget bound to the project (the Source and Target edit boxes, the Sub folders check
/// box), its properties reached by name through Qt's property system: "Text" is a QLineEdit's
/// text, "Checked" a QCheckBox's state (names compare ignoring case). The property that holds
/// the option's value is named by the widget's hint, which the widget keeps without showing
/// (the dynamic property "hint"). The adapter does not own the widget.
class ThvBoundWidget : public ThvBoundControl {
  public:
    /// hint: the name of the property that carries the option ("Text", "Checked").
    ThvBoundWidget(QWidget& widget, const char* hint);

    std::string Name() const override;
    std::string Hint() const override;
    ThvPropKind PropKind(std::string_view prop) const override;
    std::string GetText(std::string_view prop) const override;
    void SetText(std::string_view prop, std::string_view value) override;
    bool GetBool(std::string_view prop) const override;
    void SetBool(std::string_view prop, bool value) override;

  private:
    /// The widget's own property name for prop, empty when it has none.
    QByteArray PropertyName(std::string_view prop) const;

    QWidget& widget_;
};
