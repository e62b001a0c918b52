#include "project/hvProject.h"

#include <algorithm>
#include <cctype>
#include <initializer_list>

#include "platform/base/hvError.h"
#include "platform/files/fileSystem.h"
#include "platform/files/paths.h"
#include "platform/files/textFile.h"
#include "platform/system/choosers.h"
#include "platform/system/cpuCount.h"
#include "text/textEncoding.h"

ThvProject* hvProject = nullptr;

namespace {

// A NUL would end a value wherever the system reads it as a path: Source=/in/*.ppt?<NUL>x would
// search what the user never wrote. A project file holding one is no text to guess from.
std::string ReadProjectText(const std::string& path) {
    std::string text = ReadTextFile(path);
    const std::size_t nul = text.find('\0');
    if (nul != std::string::npos) {
        const std::size_t line = SplitLines(std::string_view(text).substr(0, nul)).size() +
                                 (nul == 0 || text[nul - 1] == '\n' || text[nul - 1] == '\r');
        throw EhvError("line " + std::to_string(line) +
                       " holds a NUL character, which no option may hold.");
    }
    return text;
}

}  // namespace

ThvProject::ThvProject(std::string exeName) : PathDelim(::PathDelim), exeName_(std::move(exeName)) {
    try {
        if (FileExists(RecentListFile())) {
            std::string bytes = ReadFileBytes(RecentListFile(), MaxTextFileBytes);
            RecentFiles.SetText(DecodeWithBom(bytes));
            recentListRead_ = std::move(bytes);
        }
    } catch (const std::exception&) {
        // An unreadable list only costs the history of recent projects.
    }
}

ThvProject::~ThvProject() {
    accessors_.clear();
    try {
        const std::string bytes = EncodeAnsi(RecentFiles.Text());
        // Most runs open no project: a list whose file already holds exactly these bytes is
        // not written again, which would cost a new file beside the program at every start.
        if (!recentListRead_ || *recentListRead_ != bytes || !FileExists(RecentListFile()))
            WriteFileAtomic(RecentListFile(), bytes);
    } catch (const std::exception&) {
        // A program folder without write access keeps no history; that is all.
    }
}

int32_t ThvProject::ThreadsCount() const {
    const std::string value = Option("ThreadsCount");
    if (SameText(value, "auto")) return AvailableCores();
    return ReadInt(value, 1);
}

ThvOverwriteMode ThvProject::OverwriteMode() const {
    const std::string value = Option("IsOverwrite");
    if (SameText(value, "skip")) return ThvOverwriteMode::Skip;
    return ReadBool(value, OverwriteDefault) ? ThvOverwriteMode::Overwrite
                                             : ThvOverwriteMode::NewName;
}

namespace {

/// The index in words of the option's value, ignoring case; 0 when it is empty.
std::size_t OptionWord(const ThvProject& project, const std::string& key,
                       std::initializer_list<const char*> words) {
    const std::string value = project.Option(key);
    if (value.empty()) return 0;
    std::size_t index = 0;
    std::string list;
    for (const char* word : words) {
        if (SameText(value, word)) return index;
        list += (index++ == 0 ? "" : ", ") + std::string(word);
    }
    throw EhvError(key + "=" + value + " is none of " + list);
}

}  // namespace

ThvHiddenSlideMode ThvProject::HiddenSlides() const {
    return static_cast<ThvHiddenSlideMode>(
        OptionWord(*this, "HiddenSlides", {"include", "mark", "skip"}));
}

ThvOutputFormat ThvProject::OutputFormat() const {
    return static_cast<ThvOutputFormat>(
        OptionWord(*this, "OutputFormat", {"text", "markdown", "jsonl"}));
}

ThvTextEncoding ThvProject::TextEncoding() const {
    return static_cast<ThvTextEncoding>(
        OptionWord(*this, "TextEncoding", {"ansi", "utf-8", "utf-8-bom", "utf-16"}));
}

std::string ThvProject::OutputExt() const {
    switch (OutputFormat()) {
        case ThvOutputFormat::Markdown:
            return ".md";
        case ThvOutputFormat::JsonLines:
            return ".jsonl";
        case ThvOutputFormat::Text:
            break;
    }
    return TargetExt;
}

bool ThvProject::RunAndClose() const {
    return ReadBool(Option("RunAndClose"), false) || PureConsole() || Daemon() > 0;
}

std::string ThvProject::TargetFolder() const {
    const std::string target = Target();
    if (target.empty()) return target;
    return IncludeTrailingPathDelimiter(target, PathDelim);
}

std::string ThvProject::ResolvePath(const std::string& path) const {
    if (path.empty() || BaseFolder.empty()) return path;
    if (path.starts_with("file:") || path.starts_with("http")) return path;
    if (path[0] == PathDelim) return path;
    // On Windows "/" separates folders too, and "C:x" is relative to the drive's own folder,
    // which no project folder can stand for.
    if (PathDelim == '\\' && (path[0] == '/' || (path.size() >= 2 && path[1] == ':'))) return path;
    return IncludeTrailingPathDelimiter(BaseFolder, PathDelim) + path;
}

void ThvProject::Bind(ThvBoundControl& control) { Bindings.push_back(&control); }

void ThvProject::Unbind(ThvBoundControl& control) {
    std::erase(Bindings, &control);
    accessors_.erase(&control);
}

ThvPropList& ThvProject::Accessor(ThvBoundControl& control) {
    auto& accessor = accessors_[&control];
    if (!accessor) accessor = std::make_unique<ThvPropList>(control);
    return *accessor;
}

void ThvProject::OptionsToControls() {
    for (ThvBoundControl* control : Bindings) Accessor(*control).OptionsToControl(Options);
}

void ThvProject::ControlsToOptions() {
    for (ThvBoundControl* control : Bindings) Accessor(*control).ControlToOptions(Options);
}

void ThvProject::New() {
    FileName.clear();
    BaseFolder.clear();
    Options.Clear();
    OptionsToControls();
}

void ThvProject::DeriveTargetFrom(const std::string& source) {
    if (DeriveTarget && Target().empty())
        Options.SetValue("Target", ExtractFilePath(source, PathDelim));
}

void ThvProject::Open(bool useCurrentName) {
    if (!useCurrentName) {
        std::string chosen = FileName;
        if (!SelectOpenFile(ProjectFilter + "|" + SourceFilter, chosen, false)) return;
        FileName = chosen;
    }
    const std::string path = FileName;
    LoadError.clear();
    if (IsProjectFile(path)) {
        try {
            Options.SetText(ReadProjectText(path));
            BaseFolder = ExtractFilePath(path, PathDelim);
            // Only a project that could be read is worth remembering.
            AddRecent();
        } catch (const std::exception& e) {
            // A missing project leaves the options as they were; one that is there but cannot
            // be read does too, and the user learns why.
            if (FileExists(path))
                LoadError = "The project file \"" + path + "\" could not be read: " + e.what();
        }
    } else if (!CommandOptions.empty()) {
        FileName.clear();
        BaseFolder.clear();
        Options.SetText(CommandOptions);
        DeriveTargetFrom(Options.Value("Source"));
    } else {
        FileName.clear();
        Options.SetValue("Source", path);
        DeriveTargetFrom(path);
    }
    OptionsToControls();
}

void ThvProject::Commit(bool write) {
    ControlsToOptions();
    if (!write) return;
    Options.SaveToFile(FileName);
    // What the file now says is read from its own folder when it is opened again.
    BaseFolder = ExtractFilePath(FileName, PathDelim);
    AddRecent();
}

void ThvProject::Save() {
    if (FileName.empty())
        SaveAs();
    else
        Commit(true);
}

void ThvProject::SaveAs() {
    std::string chosen = FileName;
    if (!SelectSaveFile(ProjectFilter, ProjectExt, chosen)) return;
    FileName = chosen;
    Commit(true);
}

bool ThvProject::IsProjectFile(const std::string& path) const {
    return !ProjectExt.empty() && path.ends_with(ProjectExt);
}

void ThvProject::AddRecent() {
    if (!FileName.empty() && RecentFiles.IndexOf(FileName) < 0) RecentFiles.Insert(0, FileName);
}

std::string ThvProject::DefaultProjectFile() const { return ChangeFileExt(exeName_, ProjectExt); }

bool ThvProject::IsSwitch(const std::string& argument) const {
    if (argument[0] == '-') return true;
    if (argument[0] != '/') return false;
    if (PathDelim != '/') return true;
    // Where "/" also begins every absolute path, it introduces a switch only for the letters the
    // program knows, only when nothing of that name exists, and only when it cannot be read as
    // a path below a folder (/in/talk.pptx): no further "/", unless the option text's ":"
    // follows the P.
    const char letter = static_cast<char>(std::toupper(static_cast<unsigned char>(argument[1])));
    if (letter != 'P' && letter != 'I' && letter != 'U') return false;
    if (FileExists(argument) || DirectoryExists(argument)) return false;
    return argument.find('/', 1) == std::string::npos || (letter == 'P' && argument[2] == ':');
}

bool ThvProject::ParseCommandLine(const std::string& param) {
    if (param.size() >= 2) {
        if (IsSwitch(param)) {
            const char letter =
                static_cast<char>(std::toupper(static_cast<unsigned char>(param[1])));
            if (letter == 'P') {
                std::string text = param.substr(2);
                if (text.starts_with(':')) text.erase(0, 1);
                // Both separators split, so a comma inside a value splits it too.
                std::replace(text.begin(), text.end(), ',', ';');
                std::replace(text.begin(), text.end(), ';', '\n');
                CommandOptions = text;
            } else if (letter == 'I' || letter == 'U') {
                if (OnReportSwitch) OnReportSwitch(letter, param);
                return false;
            }
        } else {
            FileName = param;
        }
    }
    OpenStartup();
    return true;
}

void ThvProject::OpenStartup() {
    if (FileName.empty() && CommandOptions.empty()) FileName = DefaultProjectFile();
    Open(true);
}
