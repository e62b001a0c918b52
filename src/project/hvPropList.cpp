#include "project/hvPropList.h"

#include "project/hvOptions.h"
#include "text/textEncoding.h"

std::string ThvPropList::GetProp(std::string_view name) const noexcept {
    try {
        switch (control_.PropKind(name)) {
            case ThvPropKind::Boolean:
                return control_.GetBool(name) ? "True" : "False";
            case ThvPropKind::Text:
                return control_.GetText(name);
            case ThvPropKind::None:
                break;
        }
    } catch (...) {
        // A control that fails to answer reads as empty; binding must never stop the program.
    }
    return {};
}

void ThvPropList::SetProp(std::string_view name, std::string_view value) noexcept {
    try {
        switch (control_.PropKind(name)) {
            case ThvPropKind::Boolean:
                // A missing option unchecks the box; only the two words move it.
                if (value.empty() || SameText(value, "False"))
                    control_.SetBool(name, false);
                else if (SameText(value, "True"))
                    control_.SetBool(name, true);
                break;
            case ThvPropKind::Text:
                control_.SetText(name, value);
                break;
            case ThvPropKind::None:
                break;
        }
    } catch (...) {
        // Same rule as GetProp: the control's failure is not the user's problem.
    }
}

std::string ThvPropList::OptionKey() const {
    const std::string name = control_.Name();
    return name.empty() ? name : name.substr(1);
}

void ThvPropList::OptionsToControl(ThvOptionList& options) noexcept {
    try {
        const std::string prop = control_.Hint();
        std::string value = options.Value(OptionKey());
        if (value.empty()) {
            // Projects written by older versions keyed the value by control and property.
            const std::string olderKey = control_.Name() + "." + prop;
            value = options.Value(olderKey);
            options.SetValue(olderKey, "");
        }
        SetProp(prop, value);
    } catch (...) {
        // Hint() or Name() of a broken control: leave the control as it is.
    }
}

void ThvPropList::ControlToOptions(ThvOptionList& options) const {
    options.SetValue(OptionKey(), GetProp(control_.Hint()));
}
