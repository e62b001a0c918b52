#pragma once

#include <cctype>
#include <stdexcept>
#include <string>

#include "project/hvPropList.h"

/// A plain control for tests: an edit box ("e" prefix, property "Text") or a check box ("c"
/// prefix, property "Checked"), reached by property name ignoring ASCII case. It can be told to
/// fail, to show that bound-property access never lets an error out.
class ThvTestControl : public ThvBoundControl {
  public:
    ThvTestControl(std::string name, std::string hint)
        : name_(std::move(name)), hint_(std::move(hint)) {}

    std::string Name() const override { return name_; }
    std::string Hint() const override { return hint_; }

    ThvPropKind PropKind(std::string_view prop) const override {
        if (Is(prop, "Text") && name_.starts_with('e')) return ThvPropKind::Text;
        if (Is(prop, "Checked") && name_.starts_with('c')) return ThvPropKind::Boolean;
        return ThvPropKind::None;
    }
    std::string GetText(std::string_view) const override {
        Check();
        return text;
    }
    void SetText(std::string_view, std::string_view value) override {
        Check();
        text = value;
    }
    bool GetBool(std::string_view) const override {
        Check();
        return checked;
    }
    void SetBool(std::string_view, bool value) override {
        Check();
        checked = value;
    }

    std::string text;
    bool checked = false;
    bool failing = false;  ///< every property access throws

  private:
    static bool Is(std::string_view a, std::string_view b) {
        if (a.size() != b.size()) return false;
        for (std::size_t i = 0; i < a.size(); ++i)
            if (std::tolower(static_cast<unsigned char>(a[i])) !=
                std::tolower(static_cast<unsigned char>(b[i])))
                return false;
        return true;
    }
    void Check() const {
        if (failing) throw std::runtime_error("control failed");
    }

    std::string name_;
    std::string hint_;
};
