#pragma once

#include <atomic>

// What the "Proszę czekać" box does with what happens to it. Only its "Anuluj" button asks the job to stop early;
// Enter, Escape and the job's own end close the box, whose modal run still returns only once the job has ended.
class CWaitBoxState {
public:
    enum class Event { StopButton, CloseKey, JobDone };

    void reset();
    // True when the event ends the box's modal run: the first closing event does, later ones change nothing.
    bool handle(Event event);
    // Read by the job, on its own thread.
    bool stopRequested() const { return stopRequested_.load(); }

private:
    std::atomic<bool> stopRequested_{false};
    bool closing_ = false;
};
