#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "conversion/hvConvertorClass.h"
#include "conversion/hvWorkBase.h"
#include "platform/files/fileSystem.h"

class ThvTargetClaims;

/// Converters not yet at their end, process-wide. The unattended run sets it to the chain's
/// size before starting the chain and waits for 0; each converter counts itself out once, under
/// its batch's lock, when its thread ends.
inline std::atomic<int32_t> RunningCount{0};

/// Waits until RunningCount is 0 or timeout has passed; true when it is 0. A converter counting
/// itself out wakes the waiter at once, so a run ends when its last converter does, not at the
/// next tick of a progress display.
bool WaitForConverters(std::chrono::milliseconds timeout);

/// One converter thread of a chain. A chain of N converters shares one batch: whichever is free
/// takes the next file. This class holds everything that does not depend on the document
/// format: the chain, start and stop, notifications, target paths and the work on the source
/// after a conversion; ConvertFile does the conversion itself.
///
/// Threads: creation, OnFinish, Start and Stop on the owner's thread; ConvertFile, OnFileDone
/// and the path rules on the converter's thread; OnFinish on the main thread, with the
/// converter waiting for it.
class ThvConvertor : public ThvWorkBase {
  public:
    /// More converter threads than this bring no speed and can exhaust the machine; a
    /// "ThreadsCount" above it is taken as this.
    static constexpr int32_t MaxConverters = 64;
    /// The highest number a new name for an existing text gets ("-quillon-b (100000).txt"):
    /// a bound on the look-ups, far beyond any real number of reruns.
    static constexpr int32_t MaxNewNames = 100000;

    /// Builds the chain (batch, "ThreadsCount" converters) through the project's converter
    /// class, after storing the target folder in the batch. target must end with the delimiter.
    /// Nothing runs before Start.
    static std::shared_ptr<ThvConvertor> CreateChain(ThvBatch& batch, const std::string& target,
                                                     const ThvNodeEvent& onFileDone);

    /// Creates this converter and, for count above 1, the rest of the chain through the
    /// project's converter class.
    ThvConvertor(ThvBatch& batch, int32_t count, ThvNodeEvent onFileDone);

    const ThvNodeEvent OnFileDone;
    const std::shared_ptr<ThvConvertor> Next;
    const int32_t ConverterCount;

    ThvEvent OnFinish() const { return onFinish_; }
    /// Sets the end-of-thread notification of this converter and of the rest of the chain.
    void SetOnFinish(const ThvEvent& event);

    /// Starts this converter, then the rest of the chain. Throws EhvError, starting nothing,
    /// when OnFinish is set and no main-thread dispatcher is installed.
    void Start();
    /// Asks the chain to end, tail first; each converter finishes the node in hand. Returns at
    /// once. Converters that have ended already are left alone.
    void Stop();

    /// The output path of node, or empty when the node is not to be converted: skipped (marked
    /// a success), or refused because an earlier node of the batch took the same target in
    /// this run or no new name is free (marked a failure). Waits until every earlier node of the
    /// batch has decided on its own target, so the same batch gives the same targets with any
    /// number of converters; a ConvertFile calls it first. Also notes the source's identity for
    /// AfterConvert.
    std::string TargetPath(ThvBatch& batch, ThvNode& node);
    /// Time stamp, deletion and renaming of the source after a successful conversion, only when
    /// the source is still the file that TargetPath saw; what is not done is told in the node's
    /// Warning.
    void AfterConvert(ThvBatch& batch, ThvNode& node, const std::string& target);
    static void DeleteTarget(const std::string& path);
    static void CopyFileTime(const std::string& source, const std::string& target);

  protected:
    void ProcessNode() override;
    void AfterExecute() final;

    virtual void ConvertFile(ThvBatch& /*batch*/, ThvNode& /*node*/) {}
    virtual std::string AdjustTarget(const std::string& path) { return path; }
    virtual std::string ApplicationPath() { return {}; }
    virtual bool HasMacros() { return true; }
    /// The subclass's end-of-thread clean-up, on the converter's thread, before OnFinish.
    virtual void CleanUp() {}

  private:
    /// The rule for a target that exists or that an earlier node took; decides within the
    /// node's turn.
    std::string ChooseTarget(ThvBatch& batch, ThvNode& node, std::string path,
                             const std::string& folder);

    /// The first free new name for the text file name in folder: "-quillon-b.txt", then
    /// "-quillon-b (2).txt", "-quillon-b (3).txt" and so on, skipping every name that is on the
    /// disk or that another node of the run took. Empty when MaxNewNames are all taken.
    static std::string NewTargetName(const ThvTargetClaims& targets, int32_t index,
                                     const std::string& folder, const std::string& name);

    ThvEvent onFinish_;
    /// The source of the node in hand as TargetPath found it.
    std::optional<ThvFileIdentity> sourceIdentity_;
};
