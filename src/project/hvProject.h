#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "project/hvOptions.h"
#include "project/hvPropList.h"

/// A converter class: how a run creates its converter threads. Defined by the conversion layer;
/// the project only carries the reference the start-up code gives it.
struct ThvConvertorClass;

/// What to do when a target file exists already ("IsOverwrite").
enum class ThvOverwriteMode { Skip, Overwrite, NewName };
/// The form of the text files: the outline as plain text, Markdown or JSON Lines.
enum class ThvOutputFormat { Text, Markdown, JsonLines };
/// How the plain text files are encoded: the system's ANSI code page, UTF-8 without or with a
/// byte-order mark, or UTF-16 little-endian with its mark.
enum class ThvTextEncoding { Ansi, Utf8, Utf8Bom, Utf16 };
/// What becomes of a slide the slide show passes over: kept, kept and said to be hidden, left
/// out.
enum class ThvHiddenSlideMode { Include, Mark, Skip };

/// The batch project: the option list of a run, its project file, the recently used project
/// files, the option text of the command line, and the product's fixed texts. There is one, the
/// global hvProject; it is used on the main thread, and converter threads only read options
/// while a run goes on (nothing writes them then).
class ThvProject {
  public:
    /// exeName locates the files kept beside the program (the start-up code gives the answer of
    /// BesideProgramStem): the recent-project list (exeName + ".log") is read here, and the
    /// default project file is found from it.
    explicit ThvProject(std::string exeName);

    /// Writes the recent-project list (errors ignored). Unsaved options are not written.
    ~ThvProject();

    ThvProject(const ThvProject&) = delete;
    ThvProject& operator=(const ThvProject&) = delete;

    // Fields, in their documented order.
    std::vector<ThvBoundControl*> Bindings;  ///< not owned
    ThvOptionList Options;
    const ThvConvertorClass* ConverterClass = nullptr;
    bool DeriveTarget = true;
    bool OverwriteDefault = true;
    std::string ProjectExt;
    std::string ProjectFilter;
    std::string FileName;  ///< current project file; empty while unnamed
    ThvOptionList RecentFiles;
    std::string CommandOptions;  ///< option lines from the command line
    /// The folder that relative paths in the options lead from: that of the project file they
    /// were read from or last written to, so a project finds its files wherever it is started
    /// from; empty for options from the command line (they lead from the current folder).
    std::string BaseFolder;
    /// Why the project file last opened could not be read (too large, a NUL in it, no access):
    /// a message for the user; empty when it was read or does not exist.
    std::string LoadError;
    std::string ShortName;
    /// The folder-creating steps run only while this is the platform's own delimiter.
    char PathDelim;
    std::string Title;
    std::string SourceFilter;
    std::string SourceMask;
    std::string TargetExt;
    std::string TargetExtAlt;
    std::string TargetExtMacro;
    std::string Version;

    // Typed getters: read from Options on every call, the key's default when unreadable.
    std::string Option(const std::string& key) const { return Options.Value(key); }
    /// A path option as the run uses it: a relative path below BaseFolder; a "file:" URL, an
    /// address and an absolute path as they are.
    std::string PathOption(const std::string& key) const { return ResolvePath(Option(key)); }
    /// path taken from BaseFolder when it is relative.
    std::string ResolvePath(const std::string& path) const;
    std::string Source() const { return PathOption("Source"); }
    std::string Target() const { return PathOption("Target"); }
    std::string LogFile() const { return PathOption("LogFile"); }
    std::string Passwords() const { return PathOption("Passwords"); }
    std::string RenameSource() const { return Option("RenameSource"); }
    bool Subdir() const { return ReadBool(Option("Subdir"), false); }
    bool KeepFileTime() const { return ReadBool(Option("KeepFileTime"), false); }
    bool DeleteSource() const { return ReadBool(Option("DeleteSource"), false); }
    bool MacroEnabled() const { return ReadBool(Option("MacroEnabled"), false); }
    bool PureConsole() const { return ReadBool(Option("PureConsole"), false); }
    bool KeepTargetSubdirs() const { return ReadBool(Option("KeepTargetSubdirs"), true); }
    /// An integer, or "auto" (ignoring case): one converter per core this process may use.
    int32_t ThreadsCount() const;
    int32_t Daemon() const { return ReadInt(Option("Daemon"), 0); }
    // Splitting a run into tasks: with "Shards" above 1 a run converts only the files of share
    // "Shard" (0 to Shards - 1); "Attempt" numbers the tries of one task in the JSON log.
    int32_t Shard() const { return ReadInt(Option("Shard"), 0); }
    int32_t Shards() const { return ReadInt(Option("Shards"), 1); }
    int32_t Attempt() const { return ReadInt(Option("Attempt"), 0); }
    std::string SourceList() const { return PathOption("SourceList"); }
    std::string SourceRoot() const { return PathOption("SourceRoot"); }
    std::string JsonLog() const { return PathOption("JsonLog"); }
    ThvOverwriteMode OverwriteMode() const;
    // What the text files hold besides the slides' own text, all off by default.
    bool Notes() const { return ReadBool(Option("Notes"), false); }
    bool Comments() const { return ReadBool(Option("Comments"), false); }
    bool AltText() const { return ReadBool(Option("AltText"), false); }
    /// "include" (the default), "mark" or "skip", ignoring case. Unlike a switch, a word that
    /// is none of them throws EhvError naming the option: taken for the default, it would put
    /// the slides a user meant to keep out of an index right into it.
    ThvHiddenSlideMode HiddenSlides() const;
    /// "text" (the default), "markdown" or "jsonl", ignoring case; another word throws
    /// EhvError naming the option rather than writing a form nobody asked for.
    ThvOutputFormat OutputFormat() const;
    /// "ansi" (the default), "utf-8", "utf-8-bom" or "utf-16", ignoring case; another word
    /// throws EhvError naming the option. Markdown and JSON Lines are UTF-8 whatever it says.
    ThvTextEncoding TextEncoding() const;
    /// The extension of the text files: TargetExt for text, ".md" or ".jsonl" for the others.
    /// Throws as OutputFormat.
    std::string OutputExt() const;
    /// "RunAndClose", or PureConsole, or a Daemon period.
    bool RunAndClose() const;
    /// Target with the delimiter at its end. An empty Target gives empty text: the root folder
    /// is never taken for a missing target. The run's batch creates the folder
    /// (ThvBatch::SetTarget), after taking a "file:" URL for its path.
    std::string TargetFolder() const;

    // Binding to the window's controls.
    void Bind(ThvBoundControl& control);
    /// Forgets a bound control and its accessor, before the control goes.
    void Unbind(ThvBoundControl& control);
    void OptionsToControls();
    void ControlsToOptions();

    // Project operations.
    void New();
    /// Opens FileName (useCurrentName) or a file chosen in the open chooser: a project file is
    /// read, any other path becomes the source (or, after command-line options, those options
    /// come back). A project file that exists but cannot be read leaves the options as they
    /// were and says why in LoadError.
    void Open(bool useCurrentName);
    /// Controls to options; with write, the options to FileName (throws EhvError
    /// "Cannot create file ...") and FileName into the recent list.
    void Commit(bool write);
    void Save();
    void SaveAs();
    bool IsProjectFile(const std::string& path) const;
    void AddRecent();
    std::string RecentListFile() const { return exeName_ + ".log"; }
    std::string DefaultProjectFile() const;

    /// Reads the first command-line argument, then runs OpenStartup. Returns false when the
    /// argument was a reporting switch ("I" or "U"): OnReportSwitch has run and the program is
    /// to end without OpenStartup.
    bool ParseCommandLine(const std::string& param);

    /// Names the default project when nothing else is named, then Open(true).
    void OpenStartup();

    /// Called for the "I" and "U" switches with the upper-case letter and the whole argument.
    std::function<void(char letter, const std::string& argument)> OnReportSwitch;

  private:
    bool IsSwitch(const std::string& argument) const;
    void DeriveTargetFrom(const std::string& source);
    ThvPropList& Accessor(ThvBoundControl& control);

    std::string exeName_;
    /// The recent list's file as it was read at construction; none when there was none.
    std::optional<std::string> recentListRead_;
    std::map<ThvBoundControl*, std::unique_ptr<ThvPropList>> accessors_;
};

/// The global project; set and cleared by the start-up code.
extern ThvProject* hvProject;
