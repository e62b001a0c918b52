#include "conversion/hvPowerPointOle.h"

#include <charconv>
#include <cmath>

#include "platform/files/paths.h"
#include "project/hvProject.h"

AutomationObjectPtr ThvPowerPointOle::CreateAutomationObject(const std::string& progId) {
    try {
        return ::CreateAutomationObject(progId);
    } catch (const EAutomationError& e) {
        throw EAutomationError(e.Code(), std::string(e.what()) + ", ProgID: \"" + progId + "\"");
    }
}

int32_t ThvPowerPointOle::VersionNumber(const Variant& value) {
    auto readInt = [](std::string_view text, int32_t& out) {
        const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), out);
        return ec == std::errc() && end == text.data() + text.size();
    };
    int32_t version = 0;
    bool read = false;
    if (const auto number = value.ToDouble();
        number && std::isfinite(*number) && std::fabs(*number) < 2147483647.0) {
        version = static_cast<int32_t>(*number);
        read = true;
    } else if (const auto text = value.ToString()) {
        double parsed = 0;
        const auto [end, ec] = std::from_chars(text->data(), text->data() + text->size(), parsed);
        if (ec == std::errc() && end == text->data() + text->size() &&
            std::fabs(parsed) < 2147483647.0) {
            version = static_cast<int32_t>(parsed);
            read = true;
        } else {
            std::string digits = *text;
            if (const auto dot = digits.find('.'); dot != std::string::npos) digits.erase(dot, 1);
            read = readInt(digits, version);
            if (!read) version = 0;
        }
    }
    if (read && version >= 78) version /= 10;
    return version;
}

void ThvPowerPointOle::StartApplication() {
    AppObject = CreateAutomationObject(PowerPointApplicationId);
    if (OnApplicationCreated) OnApplicationCreated(IsSystemAutomationObject(*AppObject));
    try {
        AppVersion = VersionNumber(AutomationGet(*AppObject, "Version"));
        if (OnApplicationVersion) OnApplicationVersion(AppVersion);
        AutomationPut(*AppObject, "Visible", true);
        AutomationPut(*AppObject, "WindowState", int32_t{2});
    } catch (const std::exception&) {
        // The display settings are a courtesy; an application that refuses them still converts.
    }
    try {
        AutomationPut(*AppObject, "DisplayAlerts", int32_t{1});
    } catch (const std::exception&) {
    }
}

void ThvPowerPointOle::OpenPresentation(const std::string& fileName) {
    if (!AppObject) StartApplication();
    if (Presentation) return;
    const AutomationObjectPtr presentations = AutomationGet(*AppObject, "Presentations").ToObject();
    if (!presentations) throw EhvError("The application has no presentations collection.");
    AutomationObjectPtr opened =
        AutomationCall(*presentations, "Open", {Variant(fileName), Variant(OpenReadOnly())})
            .ToObject();
    if (!opened) throw EhvError("The application opened no presentation for \"" + fileName + "\".");
    Presentation = std::move(opened);
    SalvageNote.clear();
    try {
        // The engine's own member; PowerPoint has none and says so, which is no note.
        const auto note = AutomationGet(*Presentation, "SalvageNote").ToString();
        if (note) SalvageNote = *note;
    } catch (const std::exception&) {
    }
    if (OnOpenNote && !SalvageNote.empty()) OnOpenNote(SalvageNote);
}

void ThvPowerPointOle::ClosePresentation() noexcept {
    if (Presentation) {
        try {
            AutomationCall(*Presentation, "Close");
        } catch (...) {
            // A presentation that will not close is dropped all the same.
        }
    }
    Presentation = nullptr;
}

bool ThvPowerPointOle::OpenReadOnly() const {
    return ReadBool(hvProject->Option("ReadOnly"), false);
}

std::string ThvPowerPointOle::ApplicationPath() {
    if (!AppObject) throw EhvError("The application is not running.");
    const auto folder = AutomationGet(*AppObject, "Path").ToString();
    return folder.value_or("") + PathDelim + "POWERPNT.EXE";
}

bool ThvPowerPointOle::HasMacros() {
    if (AppVersion < 12) return true;
    try {
        if (!Presentation) return true;
        return AutomationGet(*Presentation, "HasVBProject").ToBool().value_or(true);
    } catch (const std::exception&) {
        return true;
    }
}

void ThvPowerPointOle::CleanUp() {
    Presentation = nullptr;
    if (AppObject) {
        try {
            AutomationCall(*AppObject, "Quit");
        } catch (...) {
            // The converter ends either way.
        }
    }
    AppObject = nullptr;
}
