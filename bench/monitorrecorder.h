#pragma once

// Listens to what reaches the sound server: the default sink's monitor (a PulseAudio null sink in
// the benchmark run), read in 5 ms blocks on a thread of its own.

#include "benchreport.h"

#include <atomic>
#include <cstdint>
#include <cstdlib>
#include <mutex>
#include <pulse/error.h>
#include <pulse/simple.h>
#include <string>
#include <thread>
#include <vector>

namespace calvenza::bench {

inline std::int64_t nowNs()
{
    return std::chrono::duration_cast<std::chrono::nanoseconds>(Clock::now().time_since_epoch())
        .count();
}

class MonitorRecorder
{
public:
    static constexpr int blockMs = 5;
    static constexpr int loudPeak = 600;

    bool start(std::string *error)
    {
        const pa_sample_spec spec {PA_SAMPLE_S16LE, 22050, 1};
        pa_buffer_attr attr {};
        attr.maxlength = std::uint32_t(-1);
        attr.fragsize = 220; // 5 ms
        int code = 0;
        const char *device = std::getenv("CALVENZA_BENCH_MONITOR");
        m_stream = pa_simple_new(nullptr, "calvenza-bench", PA_STREAM_RECORD,
            device ? device : "@DEFAULT_MONITOR@", "wizard", &spec, nullptr, &attr, &code);
        if (!m_stream) {
            *error = pa_strerror(code);
            return false;
        }
        m_thread = std::thread([this] { run(); });
        return true;
    }
    ~MonitorRecorder()
    {
        m_stop = true;
        if (m_thread.joinable())
            m_thread.join();
        if (m_stream)
            pa_simple_free(m_stream);
    }
    // The next loud block's arrival is noted as onset().
    void arm()
    {
        m_onset = 0;
        m_armed = true;
    }
    [[nodiscard]] std::int64_t onset() const { return m_onset; }
    // The loudest sample of each block while keeping is on.
    void keepPeaks(bool keep)
    {
        std::lock_guard lock(m_mutex);
        if (keep)
            m_peaks.clear();
        m_keeping = keep;
    }
    [[nodiscard]] std::vector<int> peaks() const
    {
        std::lock_guard lock(m_mutex);
        return m_peaks;
    }

private:
    void run()
    {
        std::int16_t block[110];
        while (!m_stop) {
            int code = 0;
            if (pa_simple_read(m_stream, block, sizeof block, &code) < 0)
                return;
            int peak = 0;
            for (std::int16_t s : block)
                peak = std::max(peak, std::abs(int(s)));
            if (m_armed && peak > loudPeak) {
                m_onset = nowNs();
                m_armed = false;
            }
            std::lock_guard lock(m_mutex);
            if (m_keeping)
                m_peaks.push_back(peak);
        }
    }
    pa_simple *m_stream = nullptr;
    std::thread m_thread;
    std::atomic<bool> m_stop {false};
    std::atomic<bool> m_armed {false};
    std::atomic<std::int64_t> m_onset {0};
    mutable std::mutex m_mutex;
    bool m_keeping = false;
    std::vector<int> m_peaks;
};

} // namespace calvenza::bench
