#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

// A file that records are appended to, one write at a time, each flushed at once: the recordings' text and binary
// files and the alarms' event file. Other programs may read it meanwhile.

enum class RecordingKind { Text, Binary };

// How a write of a record ended: on disk; written by one complete write call that the flush after it could not
// confirm; or not written, or only in part.
enum class WriteResult { Done, FlushFailed, Failed };

// An open file of records.
class RecordingFile {
public:
    virtual ~RecordingFile() = default;
    virtual bool size(std::uint64_t& size) = 0;
    // Reads exactly `length` bytes at `offset`.
    virtual bool readAt(std::uint64_t offset, char* buffer, std::size_t length) = 0;
    // Cuts the file (or extends it with zeros) to `size` bytes.
    virtual bool truncate(std::uint64_t size) = 0;
    // One write call of all `bytes` at `offset`, then a flush to the disk.
    virtual WriteResult writeAt(std::uint64_t offset, const std::string& bytes) = 0;
};

// Prepares an existing file for appending: a tail torn by a power cut (a text line without its CR LF, a binary
// record cut short, a run of NULs) is closed off; `end` is where the next record goes. False when the file cannot
// be read, cut or written.
bool continueAtEnd(RecordingFile& file, RecordingKind kind, std::uint64_t& end);

// Appends `bytes` at `end` in one write with its flush, and moves `end` past them unless the write failed. A failed
// write is cut back to `end`, before anything else is written when that cut failed too (`torn`), so the next record
// never follows a partial one.
WriteResult appendAtEnd(RecordingFile& file, std::uint64_t& end, bool& torn, const std::string& bytes);
