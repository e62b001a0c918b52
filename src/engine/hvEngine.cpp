#include "engine/hvEngine.h"

#include <algorithm>
#include <vector>

#include "engine/crypto/cryptoLibrary.h"
#include "engine/outline/rtfOutline.h"
#include "engine/outline/textFormats.h"
#include "engine/presentationFile.h"
#include "platform/files/fileSystem.h"
#include "platform/files/paths.h"
#include "platform/files/textFile.h"

namespace {

// RPC_E_DISCONNECTED: what a caller of a server that has quit gets.
constexpr int32_t kDisconnected = static_cast<int32_t>(0x80010108);

constexpr int32_t ppWindowNormal = 1;
constexpr int32_t ppWindowMaximized = 3;
constexpr int32_t ppAlertsNone = 1;
constexpr int32_t ppAlertsAll = 2;

class ThvPptPresentation;

/// What an application and everything it handed out share: whether it has quit and its open
/// presentations. Presentations hold it weakly, so the list holding them makes no cycle.
struct ThvAppState {
    bool HasQuit = false;
    std::vector<std::shared_ptr<ThvPptPresentation>> Open;
    /// What presentations opened from now on read besides their slides (TextContent).
    ThvContentChoice Content;
};

/// The words of TextContent, in its order of "notes", "comments", "pictures".
std::string ContentWords(const ThvContentChoice& content) {
    std::string words;
    for (const auto& [on, word] :
         {std::pair{content.Notes, "notes"}, std::pair{content.Comments, "comments"},
          std::pair{content.Pictures, "pictures"}}) {
        if (!on) continue;
        if (!words.empty()) words += ',';
        words += word;
    }
    return words;
}

ThvContentChoice ReadContentWords(std::string_view member, std::string_view words) {
    ThvContentChoice content;
    while (!words.empty()) {
        const std::size_t comma = words.find(',');
        std::string_view word = words.substr(0, comma);
        words = comma == std::string_view::npos ? std::string_view() : words.substr(comma + 1);
        while (!word.empty() && word.front() == ' ') word.remove_prefix(1);
        while (!word.empty() && word.back() == ' ') word.remove_suffix(1);
        if (SameMemberName(word, "notes")) {
            content.Notes = true;
        } else if (SameMemberName(word, "comments")) {
            content.Comments = true;
        } else if (SameMemberName(word, "pictures")) {
            content.Pictures = true;
        } else if (!word.empty()) {
            throw EAutomationError(AutomationCode::InvalidArg,
                                   std::string(member) + ": \"" + std::string(word) +
                                       "\" is none of notes, comments, pictures");
        }
    }
    return content;
}

void CheckRunning(const ThvAppState* state) {
    if (!state || state->HasQuit) {
        throw EAutomationError(kDisconnected,
                               "PowerPoint.Application has quit; its objects are no longer "
                               "available");
    }
}

[[noreturn]] void Rethrow(const EhvError& error) {
    throw EAutomationError(AutomationCode::Fail, error.Message());
}

/// What a damaged file gave and lost, in one line for the user: ""deck.pptx" was salvaged:
/// ...; slide 3 is lost: ...". Empty for a file read as it was saved.
std::string SalvageNote(const std::string& fileName, const std::vector<std::string>& salvaged) {
    constexpr std::size_t kShown = 10;
    if (salvaged.empty()) return {};
    std::string note = "\"" + fileName + "\" was salvaged: ";
    for (std::size_t i = 0; i < salvaged.size() && i < kShown; ++i) {
        if (i > 0) note += "; ";
        note += salvaged[i];
    }
    if (salvaged.size() > kShown) {
        note += "; and " + std::to_string(salvaged.size() - kShown) + " more";
    }
    return note;
}

class ThvPptPresentation : public IAutomationObject {
  public:
    ThvPptPresentation(std::string fullName, bool readOnly, ThvPresentationText text,
                       std::weak_ptr<ThvAppState> app)
        : fullName_(std::move(fullName)),
          readOnly_(readOnly),
          text_(std::move(text)),
          app_(std::move(app)) {}

    Variant Invoke(std::string_view member, ThvInvokeKind kind,
                   std::span<const Variant> args) override {
        std::shared_ptr<ThvAppState> app = app_.lock();
        CheckRunning(app.get());
        if (closed_) {
            throw EAutomationError(AutomationCode::Fail,
                                   "The presentation \"" + fullName_ + "\" has been closed");
        }
        if (kind == ThvInvokeKind::Method && SameMemberName(member, "SaveAs")) {
            SaveAs(member, args);
            return {};
        }
        if (kind == ThvInvokeKind::Method && SameMemberName(member, "SaveText")) {
            SaveText(member, args);
            return {};
        }
        if (kind == ThvInvokeKind::Method && SameMemberName(member, "Close")) {
            CheckArgCount(member, args, 0, 0);
            Close(*app);
            return {};
        }
        if (IsPropertyRead(kind, args)) {
            if (SameMemberName(member, "HasVBProject")) return text_.HasVBProject;
            if (SameMemberName(member, "SalvageNote"))
                return SalvageNote(fullName_, text_.Salvaged);
            if (SameMemberName(member, "FullName")) return fullName_;
            if (SameMemberName(member, "ReadOnly")) return readOnly_;
        }
        ThrowUnknownMember("Presentation", member, kind);
    }

  private:
    void SaveAs(std::string_view member, std::span<const Variant> args) {
        CheckArgCount(member, args, 1, 3);
        std::string fileName = StringArg(member, args, 0, "FileName");
        if (args.size() < 2) {
            // PowerPoint would pick its own default format; this engine writes only one.
            throw EAutomationError(AutomationCode::InvalidArg,
                                   "SaveAs: the file format is required; only 6 (the rich-text "
                                   "outline) can be written");
        }
        int32_t format = Int32Arg(member, args, 1, "FileFormat");
        if (args.size() > 2) BoolArg(member, args, 2, "EmbedTrueTypeFonts");
        if (format != ppSaveAsRTF) {
            throw EAutomationError(AutomationCode::InvalidArg,
                                   "SaveAs: file format " + std::to_string(format) +
                                       " is not supported; only 6 (the rich-text outline) can "
                                       "be written");
        }
        if (fileName.empty()) {
            throw EAutomationError(AutomationCode::InvalidArg, "SaveAs: the file name is empty");
        }
        try {
            WriteFileAtomic(fileName, WriteRtfOutline(text_));
        } catch (const EhvError& error) {
            Rethrow(error);
        }
    }

    /// The engine's own: SaveText(fileName, format, hiddenSlides) writes "outline" (the rich
    /// text SaveAs writes, hidden slides as asked), "markdown" or "jsonl"; hiddenSlides is
    /// "include", "mark" or "skip".
    void SaveText(std::string_view member, std::span<const Variant> args) {
        CheckArgCount(member, args, 3, 3);
        const std::string fileName = StringArg(member, args, 0, "FileName");
        const std::string format = StringArg(member, args, 1, "Format");
        const std::string hiddenWord = StringArg(member, args, 2, "HiddenSlides");
        ThvHiddenSlides hidden = ThvHiddenSlides::Include;
        if (SameMemberName(hiddenWord, "mark")) {
            hidden = ThvHiddenSlides::Mark;
        } else if (SameMemberName(hiddenWord, "skip")) {
            hidden = ThvHiddenSlides::Skip;
        } else if (!SameMemberName(hiddenWord, "include")) {
            throw EAutomationError(
                AutomationCode::InvalidArg,
                "SaveText: hidden slides \"" + hiddenWord + "\" is none of include, mark, skip");
        }
        if (fileName.empty()) {
            throw EAutomationError(AutomationCode::InvalidArg, "SaveText: the file name is empty");
        }
        std::string text;
        if (SameMemberName(format, "outline")) {
            text = WriteRtfOutline(text_, hidden);
        } else if (SameMemberName(format, "markdown")) {
            text = WriteMarkdown(text_, hidden);
        } else if (SameMemberName(format, "jsonl")) {
            text = WriteJsonLines(text_, fullName_, hidden);
        } else {
            throw EAutomationError(
                AutomationCode::InvalidArg,
                "SaveText: the format \"" + format + "\" is none of outline, markdown, jsonl");
        }
        try {
            WriteFileAtomic(fileName, text);
        } catch (const EhvError& error) {
            Rethrow(error);
        }
    }

    void Close(ThvAppState& app) {
        closed_ = true;
        text_ = {};
        // The caller holds a reference of its own, so this object outlives the erase.
        std::erase_if(app.Open, [this](const auto& open) { return open.get() == this; });
    }

    std::string fullName_;
    bool readOnly_;
    ThvPresentationText text_;
    std::weak_ptr<ThvAppState> app_;
    bool closed_ = false;
};

class ThvPptPresentations : public IAutomationObject {
  public:
    ThvPptPresentations(std::shared_ptr<ThvAppState> app, ThvPowerPointEngineSettings settings)
        : app_(std::move(app)), settings_(std::move(settings)) {}

    Variant Invoke(std::string_view member, ThvInvokeKind kind,
                   std::span<const Variant> args) override {
        CheckRunning(app_.get());
        if (kind == ThvInvokeKind::Method && SameMemberName(member, "Open") && !args.empty()) {
            return Open(member, args);
        }
        if (IsPropertyRead(kind, args) && SameMemberName(member, "Count")) {
            return static_cast<int32_t>(app_->Open.size());
        }
        if (SameMemberName(member, "Open")) CheckArgCount(member, args, 1, 4);
        ThrowUnknownMember("Presentations", member, kind);
    }

  private:
    Variant Open(std::string_view member, std::span<const Variant> args) {
        CheckArgCount(member, args, 1, 4);
        std::string fileName = StringArg(member, args, 0, "FileName");
        bool readOnly = args.size() > 1 && BoolArg(member, args, 1, "ReadOnly");
        if (args.size() > 2) BoolArg(member, args, 2, "Untitled");
        if (args.size() > 3) BoolArg(member, args, 3, "WithWindow");
        ThvReadOptions options;
        options.Stopped = settings_.StopRequested;
        options.Content = app_->Content;
        if (settings_.PasswordFile) {
            options.Passwords = [this] {
                const std::string file = settings_.PasswordFile();
                return file.empty() ? std::vector<std::string>() : ReadPasswordFile(file);
            };
        }
        ThvPresentationText text;
        try {
            text = LoadPresentationFile(fileName, options);
        } catch (const EhvError& error) {
            Rethrow(error);
        }
        auto presentation =
            std::make_shared<ThvPptPresentation>(fileName, readOnly, std::move(text), app_);
        app_->Open.push_back(presentation);
        return AutomationObjectPtr(presentation);
    }

    std::shared_ptr<ThvAppState> app_;
    const ThvPowerPointEngineSettings settings_;
};

class ThvPptApplication : public IAutomationObject {
  public:
    explicit ThvPptApplication(const ThvPowerPointEngineSettings& settings)
        : app_(std::make_shared<ThvAppState>()),
          presentations_(std::make_shared<ThvPptPresentations>(app_, settings)) {}

    ~ThvPptApplication() override { app_->Open.clear(); }

    Variant Invoke(std::string_view member, ThvInvokeKind kind,
                   std::span<const Variant> args) override {
        CheckRunning(app_.get());
        if (kind == ThvInvokeKind::PropertyPut) {
            CheckArgCount(member, args, 1, 1);
            if (SameMemberName(member, "Visible")) {
                visible_ = BoolArg(member, args, 0, "Visible");
                return {};
            }
            if (SameMemberName(member, "WindowState")) {
                windowState_ = RangeArg(member, args, ppWindowNormal, ppWindowMaximized);
                return {};
            }
            if (SameMemberName(member, "DisplayAlerts")) {
                displayAlerts_ = RangeArg(member, args, ppAlertsNone, ppAlertsAll);
                return {};
            }
            if (SameMemberName(member, "TextContent")) {
                app_->Content = ReadContentWords(member, StringArg(member, args, 0, member));
                return {};
            }
        } else if (kind == ThvInvokeKind::Method && SameMemberName(member, "Quit")) {
            CheckArgCount(member, args, 0, 0);
            app_->Open.clear();
            app_->HasQuit = true;
            // The crypto library keeps state per thread (its error queue above all) that it
            // frees when the thread ends, but not for a thread still ending when the process
            // exits (its clean-up at exit forgets the state of every other thread), nor at all
            // where it is linked in statically (the Windows build). The thread that drove this
            // application is done with it: its state goes now.
            StopCryptoThread();
            return {};
        } else if (IsPropertyRead(kind, args)) {
            if (SameMemberName(member, "Version")) return "16.0";
            if (SameMemberName(member, "Visible")) return visible_;
            if (SameMemberName(member, "WindowState")) return windowState_;
            if (SameMemberName(member, "DisplayAlerts")) return displayAlerts_;
            if (SameMemberName(member, "TextContent")) return ContentWords(app_->Content);
            if (SameMemberName(member, "Presentations")) {
                return AutomationObjectPtr(presentations_);
            }
            if (SameMemberName(member, "Path")) {
                return ExcludeTrailingPathDelimiter(ExtractFilePath(CurrentExecutablePath()));
            }
            if (SameMemberName(member, "Name")) return "Microsoft PowerPoint";
        }
        ThrowUnknownMember("Application", member, kind);
    }

  private:
    static int32_t RangeArg(std::string_view member, std::span<const Variant> args, int32_t low,
                            int32_t high) {
        int32_t value = Int32Arg(member, args, 0, member);
        if (value < low || value > high) {
            throw EAutomationError(AutomationCode::InvalidArg,
                                   std::string(member) + ": " + std::to_string(value) +
                                       " is out of range (" + std::to_string(low) + " to " +
                                       std::to_string(high) + ")");
        }
        return value;
    }

    std::shared_ptr<ThvAppState> app_;
    std::shared_ptr<ThvPptPresentations> presentations_;
    bool visible_ = false;
    int32_t windowState_ = ppWindowNormal;
    int32_t displayAlerts_ = ppAlertsAll;
};

}  // namespace

AutomationObjectPtr CreatePowerPointApplication(const ThvPowerPointEngineSettings& settings) {
    return std::make_shared<ThvPptApplication>(settings);
}

void RegisterPowerPointEngine(ThvPowerPointEngineSettings settings) {
    // Registering again replaces the entry, under the registry's lock; each application keeps
    // the settings it was made with.
    RegisterAutomationClass(PowerPointProgId, [settings = std::move(settings)] {
        return CreatePowerPointApplication(settings);
    });
}

std::vector<std::string> ReadPasswordFile(const std::string& path) {
    std::string text;
    try {
        text = ReadTextFile(path);
    } catch (const EhvError& error) {
        throw EhvError("its password list \"" + path + "\" cannot be read (" + error.what() + ")");
    }
    std::vector<std::string> passwords;
    for (std::string& line : SplitLines(text)) {
        if (!line.empty()) passwords.push_back(std::move(line));
    }
    return passwords;
}
