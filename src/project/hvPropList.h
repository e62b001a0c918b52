#pragma once

#include <string>
#include <string_view>

class ThvOptionList;

/// Kinds of control property that can be bound to an option.
enum class ThvPropKind { None, Text, Boolean };

/// A control that can be bound to the project: the window's edit boxes and check box (through a
/// Qt adapter) or a plain test control. Abstract so the core needs no toolkit.
class ThvBoundControl {
  public:
    virtual ~ThvBoundControl() = default;

    /// Component name; its first character is a kind prefix ("eSource", "cSubdir").
    virtual std::string Name() const = 0;
    /// Name of the property that holds the control's value ("Text", "Checked"); the hint text.
    virtual std::string Hint() const = 0;

    /// Kind of the named property (names compare ignoring ASCII case); None when missing.
    virtual ThvPropKind PropKind(std::string_view prop) const = 0;
    virtual std::string GetText(std::string_view prop) const = 0;
    virtual void SetText(std::string_view prop, std::string_view value) = 0;
    virtual bool GetBool(std::string_view prop) const = 0;
    virtual void SetBool(std::string_view prop, bool value) = 0;
};

/// Moves a value between the option list and one named property of a control it does not own.
/// Never raises: a missing property, an unreadable value or any error of the control is
/// swallowed.
class ThvPropList {
  public:
    explicit ThvPropList(ThvBoundControl& control) : control_(control) {}

    ThvBoundControl& Control() const { return control_; }

    /// "True"/"False" for a boolean property, the text for a text property, empty otherwise.
    std::string GetProp(std::string_view name) const noexcept;

    /// Boolean property: empty text counts as "False"; "True"/"False" ignoring case set it, any
    /// other text leaves it. Text property: set unchanged. Missing property: nothing.
    void SetProp(std::string_view name, std::string_view value) noexcept;

    /// Option key of the control: its component name without the kind prefix.
    std::string OptionKey() const;

    /// Options to control: the key's value, else the older key form (eSource.Text), whose line
    /// is then deleted; then SetProp with it.
    void OptionsToControl(ThvOptionList& options) noexcept;

    /// Control to options: the key updated with GetProp (empty text deletes its line).
    void ControlToOptions(ThvOptionList& options) const;

  private:
    ThvBoundControl& control_;
};
