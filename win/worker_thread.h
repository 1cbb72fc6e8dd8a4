#pragma once

#include <windows.h>

#include <memory>
#include <utility>

// Starts a thread that runs `Worker(std::shared_ptr<Shared>).run()`. The thread owns a reference of its own to
// what it shares with its starter, so a worker that the starter stopped waiting for (one inside name resolution,
// which nothing interrupts) still has what it uses until it ends. Null when no thread could be started.
template <class Worker, class Shared> HANDLE startWorkerThread(const std::shared_ptr<Shared>& shared) {
    struct Entry {
        static DWORD WINAPI run(void* parameter) {
            std::unique_ptr<std::shared_ptr<Shared>> handed(static_cast<std::shared_ptr<Shared>*>(parameter));
            Worker worker(std::move(*handed));
            handed.reset();
            worker.run();
            return 0;
        }
    };
    auto handed = std::make_unique<std::shared_ptr<Shared>>(shared);
    const HANDLE thread = CreateThread(nullptr, 0, Entry::run, handed.get(), 0, nullptr);
    if (thread)
        handed.release();
    return thread;
}
