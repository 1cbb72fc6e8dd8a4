#pragma once

#include "recording/recording_control.h"

#include <cstdint>
#include <map>
#include <memory>
#include <set>
#include <string>

// Files kept in memory by name, for the code that records into files. A name that is empty, starts with "missing/"
// or is in `offline` cannot be opened. A write to a file named in failWrites fails and leaves half of its bytes
// behind, as a full disk may; one to a file named in failFlushes is written, but its flush fails. A file named in
// failTruncates cannot be cut. With `clock` set, it moves by slowMs while a file opens or is written.
struct MemoryFiles {
    std::map<std::string, std::string> files;
    std::set<std::string> offline;
    std::set<std::string> failWrites;
    std::set<std::string> failFlushes;
    std::set<std::string> failTruncates;
    std::int64_t* clock = nullptr;
    std::int64_t slowMs = 0;

    std::unique_ptr<RecordingFile> open(const std::string& name, bool& existed) {
        passTime();
        if (name.empty() || name.find("missing/") == 0 || offline.count(name) != 0)
            return nullptr;
        existed = files.count(name) != 0;
        return std::make_unique<File>(*this, name);
    }

private:
    void passTime() {
        if (clock)
            *clock += slowMs;
    }

    struct File : RecordingFile {
        MemoryFiles& owner;
        std::string name;
        File(MemoryFiles& owner, std::string name) : owner(owner), name(std::move(name)) {}
        std::string& bytes() { return owner.files[name]; }
        bool size(std::uint64_t& size) override {
            size = bytes().size();
            return true;
        }
        bool readAt(std::uint64_t offset, char* buffer, std::size_t length) override {
            return offset + length <= bytes().size() && bytes().copy(buffer, length, offset) == length;
        }
        bool truncate(std::uint64_t size) override {
            if (owner.failTruncates.count(name) != 0)
                return false;
            bytes().resize(size, '\0');
            return true;
        }
        WriteResult writeAt(std::uint64_t offset, const std::string& data) override {
            owner.passTime();
            const bool fail = owner.failWrites.count(name) != 0;
            const std::string written = fail ? data.substr(0, data.size() / 2) : data;
            if (bytes().size() < offset + written.size())
                bytes().resize(offset + written.size(), '\0');
            bytes().replace(offset, written.size(), written);
            return fail ? WriteResult::Failed
                        : (owner.failFlushes.count(name) != 0 ? WriteResult::FlushFailed : WriteResult::Done);
        }
    };
};
