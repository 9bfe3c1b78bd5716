#include "store/status_writer.h"

#include "store/status.h"

#include <condition_variable>
#include <mutex>
#include <optional>
#include <thread>

namespace {

void WriteLoop(struct Writer& writer);

struct Writer {
    // A process that ends without StopTrackerStatusWriter still gets its last status written.
    ~Writer() {
        {
            std::lock_guard<std::mutex> lock(mutex);
            stopping = true;
            wake.notify_one();
        }
        if (thread.joinable()) thread.join();
    }
    std::mutex mutex;
    std::condition_variable wake;
    std::optional<std::string> pending;
    std::string written;
    bool stopping = false;
    bool stopped = false;
    std::thread thread;
};

Writer& TheWriter() {
    static Writer writer;
    return writer;
}

void WriteLoop(Writer& writer) {
    std::unique_lock<std::mutex> lock(writer.mutex);
    for (;;) {
        writer.wake.wait(lock, [&] { return writer.pending || writer.stopping; });
        if (writer.pending) {
            std::string text = std::move(*writer.pending);
            writer.pending.reset();
            if (text != writer.written) {
                lock.unlock();
                const bool saved = SaveTrackerStatusToFile(text);
                lock.lock();
                // A failed write is tried again with the next poll's text.
                writer.written = saved ? std::move(text) : std::string();
            }
            continue;
        }
        return;
    }
}

}  // namespace

void QueueTrackerStatusWrite(std::string text) {
    Writer& writer = TheWriter();
    std::unique_lock<std::mutex> lock(writer.mutex);
    if (writer.stopped) {
        lock.unlock();
        SaveTrackerStatusToFile(text);
        return;
    }
    writer.pending = std::move(text);
    if (!writer.thread.joinable()) writer.thread = std::thread(WriteLoop, std::ref(writer));
    writer.wake.notify_one();
}

void StopTrackerStatusWriter() {
    Writer& writer = TheWriter();
    std::thread thread;
    {
        std::lock_guard<std::mutex> lock(writer.mutex);
        writer.stopping = true;
        writer.stopped = true;
        thread = std::move(writer.thread);
        writer.wake.notify_one();
    }
    if (thread.joinable()) thread.join();
}
