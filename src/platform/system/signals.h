#pragma once

#include <string>

/// The system's requests to stop a program run from a terminal, a script or a scheduler
/// (SIGINT, SIGTERM and SIGHUP on POSIX), taken over for as long as one ThvStopSignals lives.
///
/// The first request is only recorded: the owner looks at Received and stops in order. A second
/// request ends the program at once, as if nothing had caught it. A request that was ignored
/// when the program started (a job started in the background, nohup) stays ignored; one that
/// was blocked is unblocked, so that a request held back since the start arrives.
///
/// At most one instance exists at a time; create and destroy it on the owner's thread. Received
/// and Held may be called from any thread.
class ThvStopSignals {
  public:
    /// Takes over the requests; throws EhvError when another instance lives.
    ThvStopSignals();
    /// Gives the requests back to whoever handled them before.
    ~ThvStopSignals();
    ThvStopSignals(const ThvStopSignals&) = delete;
    ThvStopSignals& operator=(const ThvStopSignals&) = delete;

    /// The number of the first request received since the living instance was made; 0 while
    /// there was none, or when no instance lives.
    static int Received();
    /// True while an instance lives.
    static bool Held();

    /// The request's usual name ("SIGTERM"), or its number as text.
    static std::string Name(int request);
};
