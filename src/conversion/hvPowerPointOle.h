#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "conversion/hvConvertor.h"
#include "platform/automation/automation.h"

/// The programmatic identifier of the application every converter drives.
inline constexpr const char* PowerPointApplicationId = "PowerPoint.Application";

/// A converter that owns one automated presentation application and at most one open
/// presentation. The application starts on the converter's first file, serves every later file
/// of the same converter, and quits when the converter's thread ends. Every automation call,
/// the quit included, is made on the converter's own thread; nothing here knows which server
/// answers the identifier.
class ThvPowerPointOle : public ThvConvertor {
  public:
    ThvPowerPointOle(ThvBatch& batch, int32_t count, ThvNodeEvent onFileDone)
        : ThvConvertor(batch, count, std::move(onFileDone)) {}

    /// Receives the major version of every application started, from converter threads, several
    /// at once (the start-up code counts it as the usage counter "W").
    static inline std::function<void(int32_t version)> OnApplicationVersion;

    /// Receives, for every application started, whether the system's COM class answered
    /// (true) or the in-process engine (false); from converter threads, several at once.
    static inline std::function<void(bool systemServer)> OnApplicationCreated;
    /// Receives what the application says about a presentation it opened only in part (a
    /// damaged file whose intact parts it read), from converter threads, several at once.
    static inline std::function<void(const std::string& note)> OnOpenNote;

    /// A new automation object; a failure is re-raised as "<reason>, ProgID: "<progId>"" with
    /// the failure's code.
    static AutomationObjectPtr CreateAutomationObject(const std::string& progId);

    /// The major version in a "Version" value: 16.0 and "16.0" give 16; a text that does not
    /// read as a number loses its first "." and is read as an integer; 78 and above are tenths.
    static int32_t VersionNumber(const Variant& value);

    AutomationObjectPtr AppObject;
    AutomationObjectPtr Presentation;
    int32_t AppVersion = 0;
    /// What the application said of the presentation opened last when it read it only in part
    /// (OnOpenNote's text); empty for one read whole.
    std::string SalvageNote;

    /// Creates and prepares the application (visible but minimized, no alerts). Errors of the
    /// creation reach the caller; the settings are tried and their errors ignored.
    void StartApplication();
    /// Opens fileName (starting the application first when needed); an open presentation stays
    /// the current one.
    void OpenPresentation(const std::string& fileName);
    /// Closes the open presentation, if any. Never raises.
    void ClosePresentation() noexcept;
    bool OpenReadOnly() const;

    std::string ApplicationPath() override;
    bool HasMacros() override;

  protected:
    /// Quits the application on the converter's thread.
    void CleanUp() override;
};
