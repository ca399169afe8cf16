#include "output/glyphpipeline.h"

#include <QThread>

namespace qm {

namespace {

// Making a glyph takes tens of microseconds and waking a sleeping thread can cost as
// much, so a short wait is spent polling first.
const int kPolls = 2000;

inline void relax()
{
#if defined(__x86_64__) || defined(__i386__)
    __builtin_ia32_pause();
#endif
}

} // namespace

PipelineCore::PipelineCore(int count) : m_count(count) {}

PipelineCore::~PipelineCore()
{
    stop();
}

void PipelineCore::start(std::function<void()> body)
{
    m_ready.reset(new std::atomic<bool>[kSlots]);
    for (int i = 0; i < kSlots; ++i)
        m_ready[i].store(false);
    m_worker = QThread::create(std::move(body));
    m_worker->start();
}

void PipelineCore::stop()
{
    if (!m_worker)
        return;
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_stopping = true;
    }
    m_changed.notify_all();
    m_worker->wait();
    delete m_worker;
    m_worker = nullptr;
}

int PipelineCore::claim()
{
    int index = m_unclaimed.load();
    while (index < m_count && index <= m_due.load() + kLookahead) {
        if (m_unclaimed.compare_exchange_weak(index, index + 1))
            return index;
    }
    return -1;
}

void PipelineCore::wakeIf(const bool &sleeps)
{
    bool wake;
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        wake = sleeps;
    }
    if (wake)
        m_changed.notify_all();
}

void PipelineCore::work(const Make &make)
{
    while (!m_stopping.load()) {
        const int index = claim();
        if (index >= 0) {
            make(index);
            m_ready[slotOf(index)].store(true);
            wakeIf(m_callerSleeps);
            continue;
        }
        if (m_unclaimed.load() >= m_count)
            return;
        // Too far ahead of the caller.
        std::unique_lock<std::mutex> lock(m_mutex);
        m_workerSleeps = true;
        m_changed.wait(lock, [&] {
            return m_stopping.load() || m_unclaimed.load() <= m_due.load() + kLookahead;
        });
        m_workerSleeps = false;
    }
}

bool PipelineCore::await(int index, const Make &makeAhead)
{
    // The glyph before this one is done with: its slot may be filled again.
    if (index > 0)
        m_ready[slotOf(index - 1)].store(false);
    m_due.store(index);
    wakeIf(m_workerSleeps);

    std::atomic<bool> &ready = m_ready[slotOf(index)];
    while (!ready.load()) {
        const int ahead = claim();
        if (ahead == index)   // not taken yet: the caller makes it itself
            return false;
        if (ahead > index) {
            makeAhead(ahead);
            m_ready[slotOf(ahead)].store(true);
            continue;
        }
        // Nothing left to take: the second thread is making this very character.
        for (int poll = 0; poll < kPolls && !ready.load(); ++poll)
            relax();
        if (!ready.load()) {
            std::unique_lock<std::mutex> lock(m_mutex);
            m_callerSleeps = true;
            m_changed.wait(lock, [&] { return ready.load(); });
            m_callerSleeps = false;
        }
    }
    return true;
}

} // namespace qm
