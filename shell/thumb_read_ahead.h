// Reading the small pictures behind the finder's thumbnails ahead of the idle step, on one
// worker thread: the finder names the files it will want next, in order; the worker reads
// them one after the other into private records (pixels and camera data, nothing
// process-wide); the finder takes each record over on its own thread when its turn comes.
#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "common/basic_types.h"
#include "imagefile/jpeg_picture_read.h"

class CThumbReadAhead {
public:
    // Every read is of the whole picture fitted into the canvas.
    explicit CThumbReadAhead(CSize canvas);
    ~CThumbReadAhead();
    CThumbReadAhead(const CThumbReadAhead&) = delete;
    CThumbReadAhead& operator=(const CThumbReadAhead&) = delete;

    // The files wanted next, in the order they will be taken: the worker (started when
    // needed) reads the first of them not yet read. A read of a file no longer wanted is
    // abandoned and finished records of such files are dropped.
    void Want(const std::vector<std::string>& paths);
    // The finished record of the file, taken out (and the file no longer wanted); nothing while
    // its read is still to come or under way.
    std::optional<CJpegPicture> Take(const std::string& path);
    // Abandons every read, drops every record and ends the worker; it returns only once the
    // worker has ended. A later Want starts a new one.
    void Cancel();
    // Waits until the file's record is finished or the file is no longer wanted; true when the
    // record is there to take.
    bool WaitFor(const std::string& path);
    // The same, waiting at most `limit`.
    bool WaitFor(const std::string& path, std::chrono::milliseconds limit);
    // Whether a worker thread exists.
    bool Running() const { return m_thread.joinable(); }
    // Number of reads the worker has finished (abandoned ones not counted).
    int ReadsDone() const { return m_readsDone.load(); }

private:
    void Run();
    // The first wanted file with no record that is not being read ("" when none). Locked.
    std::string NextJob() const;
    bool IsWanted(const std::string& path) const;

    const CSize m_canvas;
    std::mutex m_mutex;
    std::condition_variable m_workCv;
    std::condition_variable m_doneCv;
    std::vector<std::string> m_wanted;
    std::map<std::string, CJpegPicture> m_done;
    std::string m_reading;
    std::atomic<bool> m_abandon{false};
    std::atomic<int> m_readsDone{0};
    bool m_stop = false;
    std::thread m_thread;
};
