#pragma once

#include <atomic>
#include <memory>
#include <string>
#include <thread>

class ThvBatch;
class ThvNode;

/// A worker thread that takes nodes from a batch one by one until none is left or it is asked
/// to stop. Created suspended; Resume starts the thread.
///
/// Lifetime: the object is shared. Its thread holds a reference from Resume until its body has
/// run to the end, so the thread never uses a freed object; whoever else holds a reference (the
/// previous converter of a chain, the owner of the run) may still look at it, for instance ask
/// it to stop, after the thread has ended. The object is freed when the last reference goes,
/// on whichever thread that is; the end-of-thread work (AfterExecute) always runs on the
/// worker's own thread when its body returns.
class ThvWorkBase : public std::enable_shared_from_this<ThvWorkBase> {
  public:
    explicit ThvWorkBase(ThvBatch& batch) : Batch(batch) {}
    virtual ~ThvWorkBase();
    ThvWorkBase(const ThvWorkBase&) = delete;
    ThvWorkBase& operator=(const ThvWorkBase&) = delete;

    /// Starts the thread (once; later calls do nothing). The object must be owned by a
    /// shared_ptr.
    void Resume();

    /// Asks the worker to end before it takes its next node; any thread may call it.
    void Terminate() { terminated_.store(true); }
    bool Terminated() const { return terminated_.load(); }

    /// The thread has finished its body and its end-of-thread work.
    bool Ended() const { return ended_.load(); }

    /// The message of an unexpected error that ended the thread early; empty normally.
    std::string FatalError() const;

    ThvBatch& Batch;
    /// The node in hand; only the worker's own thread uses it.
    ThvNode* Current = nullptr;

  protected:
    /// The thread body: takes nodes and processes them until none is left or Terminate.
    virtual void Execute();
    /// The work on Current. An EhvError ends up in the node's Result and the next node follows.
    virtual void ProcessNode() {}
    /// Runs on the worker's thread after Execute has returned.
    virtual void AfterExecute() {}

  private:
    void ThreadMain();

    std::atomic<bool> terminated_{false};
    std::atomic<bool> started_{false};
    std::atomic<bool> ended_{false};
    std::string fatalError_;  // written by the thread before ended_ is set
    std::thread thread_;
};
