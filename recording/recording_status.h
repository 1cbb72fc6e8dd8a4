#pragma once

// What the status line says about one recording file besides the interval.
enum class FileProblem {
    None,
    Unavailable, // named and switched on, but it could not be opened; tried again at every tick
    WriteFailed, // open, but its last record could not be written; the next tick tries again
    FlushFailed, // its last record was written, but the system could not confirm that it reached the disk
};

struct RecordingStatus {
    bool timerRunning = false;
    int intervalSeconds = 1;
    FileProblem text = FileProblem::None;
    FileProblem binary = FileProblem::None;
};
