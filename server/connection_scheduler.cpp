#include "connection_scheduler.h"

#include <poll.h>
#include <sys/epoll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>

namespace varnel {

namespace {

// The worker running on this thread (a ConnectionScheduler::Worker).
thread_local void *t_worker = nullptr;

// A refused connection is closed after this long, or this much more input.
constexpr std::chrono::seconds kDrainTime{1};
constexpr size_t kDrainBytes = 4 * 1024 * 1024;
// Refused connections draining at once; past that they close at once.
constexpr size_t kMaxDraining = 256;

int millisecondsUntil(Clock::time_point until, Clock::time_point now)
{
    if (until <= now)
        return 0;
    const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(until - now).count() + 1;
    return static_cast<int>(std::min<long long>(ms, INT_MAX));
}

void signal(int fd)
{
    const eventfd_t one = 1;
    [[maybe_unused]] const ssize_t n = ::write(fd, &one, sizeof one);
}

void clearSignal(int fd)
{
    eventfd_t value;
    [[maybe_unused]] const ssize_t n = ::read(fd, &value, sizeof value);
}

} // namespace

ConnectionScheduler::~ConnectionScheduler()
{
    stop();
}

bool ConnectionScheduler::start(Settings settings, Serve serve)
{
    stop();
    m_settings = std::move(settings);
    m_serve = std::move(serve);
    m_bufferCap = m_settings.limits.headSize.bytes + 16 * 1024;
    m_epollFd = ::epoll_create1(EPOLL_CLOEXEC);
    m_inboxFd = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    epoll_event event{};
    event.events = EPOLLIN;
    event.data.fd = m_inboxFd;
    if (m_epollFd < 0 || m_inboxFd < 0 || ::epoll_ctl(m_epollFd, EPOLL_CTL_ADD, m_inboxFd, &event) != 0) {
        stop();
        return false;
    }
    m_stopping = false;
    m_lotStopping = false;
    m_started = true;
    m_lot = std::thread([this] { runParkingLot(); });
    const int count = std::max(1, m_settings.limits.workers);
    for (int i = 0; i < count; ++i) {
        auto worker = std::make_unique<Worker>();
        worker->wakeFd = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
        if (worker->wakeFd < 0) {
            stop();
            return false;
        }
        Worker &me = *worker;
        {
            std::lock_guard lock(m_mutex);
            m_workers.push_back(std::move(worker));
        }
        me.thread = std::thread([this, &me] { work(me); });
    }
    return true;
}

void ConnectionScheduler::stop()
{
    if (!m_started && m_epollFd < 0 && m_inboxFd < 0)
        return;
    {
        std::lock_guard lock(m_mutex);
        m_stopping = true;
        for (const auto &worker : m_workers) {
            if (worker->wakeFd >= 0)
                signal(worker->wakeFd);
        }
    }
    m_work.notify_all();
    // The workers finish the requests at hand; what they park or refuse
    // meanwhile still reaches the lot, which stops after them.
    for (const auto &worker : m_workers) {
        if (worker->thread.joinable())
            worker->thread.join();
        if (worker->wakeFd >= 0)
            ::close(worker->wakeFd);
    }
    {
        std::lock_guard lock(m_inboxMutex);
        m_lotStopping = true;
    }
    if (m_inboxFd >= 0)
        signal(m_inboxFd);
    if (m_lot.joinable())
        m_lot.join();
    m_workers.clear();
    m_lingering.clear();
    m_queue.clear();
    m_inbox.clear();
    m_parked.clear();
    m_timers.clear();
    m_idle = m_summoned = 0;
    m_draining = 0;
    if (m_epollFd >= 0)
        ::close(m_epollFd);
    if (m_inboxFd >= 0)
        ::close(m_inboxFd);
    m_epollFd = m_inboxFd = -1;
    m_started = false;
}

void ConnectionScheduler::enqueue(std::unique_ptr<Connection> connection)
{
    {
        std::lock_guard lock(m_mutex);
        if (m_stopping)
            return;
        const int cap = m_settings.limits.maxQueued;
        if (cap <= 0 || m_queue.size() < static_cast<size_t>(cap)) {
            m_queue.push_back(std::move(connection));
            if (m_idle > 0)
                m_work.notify_one();
            callWorkerIfNeeded();
            return;
        }
    }
    if (m_settings.refused)
        m_settings.refused(*connection, 503, "no room in the queue for a worker");
    refuse(std::move(connection), m_settings.busyAnswer);
}

// More connections wait than workers are free or on their way: the worker
// that began to wait on its idle connection last leaves it for the queue.
void ConnectionScheduler::callWorkerIfNeeded()
{
    if (m_queue.size() <= m_idle + m_summoned || m_lingering.empty())
        return;
    Worker *worker = m_lingering.back();
    m_lingering.pop_back();
    worker->called = true;
    worker->summoned = true;
    ++m_summoned;
    signal(worker->wakeFd);
}

ConnectionScheduler::Wake ConnectionScheduler::linger(int fd, short events, Clock::time_point until)
{
    Worker *me = static_cast<Worker *>(t_worker);
    {
        std::lock_guard lock(m_mutex);
        if (m_stopping)
            return Wake::Stopping;
        if (m_queue.size() > m_idle + m_summoned) {
            me->summoned = true;
            ++m_summoned;
            return Wake::Needed;
        }
        m_lingering.push_back(me);
    }
    pollfd p[2] = {{fd, events, 0}, {me->wakeFd, POLLIN, 0}};
    const int rc = ::poll(p, 2, millisecondsUntil(until, Clock::now()));
    {
        std::lock_guard lock(m_mutex);
        if (me->called) {
            me->called = false;
            clearSignal(me->wakeFd);
            return m_stopping ? Wake::Stopping : Wake::Needed;
        }
        m_lingering.erase(std::find(m_lingering.begin(), m_lingering.end(), me));
        if (m_stopping)
            return Wake::Stopping;
    }
    return rc > 0 && (p[0].revents & (events | POLLHUP | POLLERR)) ? Wake::Readable : Wake::TimedOut;
}

void ConnectionScheduler::work(Worker &me)
{
    t_worker = &me;
    for (;;) {
        std::unique_ptr<Connection> connection;
        {
            std::unique_lock lock(m_mutex);
            if (me.summoned) {
                me.summoned = false;
                --m_summoned;
            }
            ++m_idle;
            m_work.wait(lock, [this] { return m_stopping || !m_queue.empty(); });
            --m_idle;
            if (m_stopping)
                break;
            connection = std::move(m_queue.front());
            m_queue.pop_front();
        }
        m_serve(std::move(connection));
    }
    t_worker = nullptr;
}

void ConnectionScheduler::park(std::unique_ptr<Connection> connection)
{
    handOver(std::move(connection), false);
}

void ConnectionScheduler::refuse(std::unique_ptr<Connection> connection, std::string_view answer)
{
    connection->seat.reset();
    // Over TLS, an answer before the handshake would cost one: closed at once.
    if (!connection->handshaken())
        return;
    size_t sent = 0;
    while (sent < answer.size()) {
        const ssize_t n = connection->sendSome(answer.data() + sent, answer.size() - sent);
        if (n <= 0)
            break;
        sent += static_cast<size_t>(n);
    }
    connection->endOutput();
    if (m_draining.fetch_add(1) >= kMaxDraining) {
        --m_draining;
        return; // closed here
    }
    handOver(std::move(connection), true);
}

void ConnectionScheduler::handOver(std::unique_ptr<Connection> connection, bool draining)
{
    {
        std::lock_guard lock(m_inboxMutex);
        if (m_lotStopping || m_inboxFd < 0) {
            if (draining)
                --m_draining;
            return;
        }
        m_inbox.emplace_back(std::move(connection), draining);
    }
    signal(m_inboxFd);
}

void ConnectionScheduler::runParkingLot()
{
    std::vector<epoll_event> events(256);
    char scratch[16 * 1024];
    for (;;) {
        const Clock::time_point before = Clock::now();
        const int timeout =
            m_timers.empty() ? 1000 : std::min(1000, millisecondsUntil(m_timers.begin()->first, before));
        const int n = ::epoll_wait(m_epollFd, events.data(), static_cast<int>(events.size()), timeout);
        const Clock::time_point now = Clock::now();
        for (int i = 0; i < n; ++i) {
            const int fd = events[static_cast<size_t>(i)].data.fd;
            if (fd == m_inboxFd) {
                clearSignal(m_inboxFd);
                std::vector<std::pair<std::unique_ptr<Connection>, bool>> arrivals;
                {
                    std::lock_guard lock(m_inboxMutex);
                    if (m_lotStopping)
                        return;
                    arrivals.swap(m_inbox);
                }
                for (auto &[connection, draining] : arrivals)
                    admitToLot(std::move(connection), draining, now);
                continue;
            }
            const auto it = m_parked.find(fd);
            if (it == m_parked.end())
                continue;
            Parked &parked = it->second;
            if (!parked.draining) {
                readParked(fd, parked, now);
                continue;
            }
            const ssize_t got = parked.connection->receiveSome(scratch, sizeof scratch);
            if (got < 0 && errno == EAGAIN)
                continue;
            parked.drained += got > 0 ? static_cast<size_t>(got) : 0;
            if (got <= 0 || parked.drained >= kDrainBytes)
                leaveLot(fd);
        }
        while (!m_timers.empty() && m_timers.begin()->first <= now)
            leaveLot(m_timers.begin()->second);
    }
}

void ConnectionScheduler::admitToLot(std::unique_ptr<Connection> connection, bool draining, Clock::time_point now)
{
    const int fd = connection->fd();
    if (!draining && connection->handshaken()) {
        // Bytes already buffered, or held in the TLS session where epoll
        // does not see them, may hold a whole head (or too much of one).
        while (connection->transportPending() && connection->fill(m_bufferCap) > 0) {
        }
        const HeadScanner::State state = connection->scanHead();
        if (state == HeadScanner::State::Complete) {
            connection->readyAt = now;
            enqueue(std::move(connection));
            return;
        }
        if (state != HeadScanner::State::Incomplete) {
            m_settings.headRefused(std::move(connection));
            return;
        }
        connection->releaseBuffer();
    }
    epoll_event event{};
    event.events = (draining || connection->waitEvents(POLLIN) == POLLIN ? EPOLLIN : EPOLLOUT) | EPOLLRDHUP;
    event.data.fd = fd;
    if (::epoll_ctl(m_epollFd, EPOLL_CTL_ADD, fd, &event) != 0) {
        if (draining)
            --m_draining;
        return; // closed as it goes out of scope
    }
    const Clock::time_point deadline = draining ? now + kDrainTime : connection->waitDeadline(m_settings.limits);
    Parked &parked = m_parked[fd];
    parked.connection = std::move(connection);
    parked.draining = draining;
    parked.drained = 0;
    parked.events = event.events;
    parked.timer = m_timers.emplace(deadline, fd);
}

void ConnectionScheduler::readParked(int fd, Parked &parked, Clock::time_point now)
{
    Connection &connection = *parked.connection;
    if (connection.handshake() != 1) {
        if (errno == EAGAIN)
            watch(fd, parked);
        else
            leaveLot(fd); // the TLS handshake failed
        return;
    }
    // Over TLS one receive takes one record: the rest stays in the session.
    ssize_t got;
    bool received = false;
    while ((got = connection.fill(m_bufferCap)) > 0) {
        received = true;
        if (!connection.transportPending())
            break;
    }
    if (got == 0 || (got < 0 && errno != EAGAIN)) {
        leaveLot(fd); // the peer closed, or the connection failed
        return;
    }
    watch(fd, parked);
    if (!received)
        return;
    switch (connection.scanHead()) {
    case HeadScanner::State::Incomplete:
        m_timers.erase(parked.timer);
        parked.timer = m_timers.emplace(connection.waitDeadline(m_settings.limits), fd);
        return;
    case HeadScanner::State::Complete: {
        ::epoll_ctl(m_epollFd, EPOLL_CTL_DEL, fd, nullptr);
        m_timers.erase(parked.timer);
        std::unique_ptr<Connection> ready = std::move(parked.connection);
        m_parked.erase(fd);
        ready->readyAt = now;
        enqueue(std::move(ready));
        return;
    }
    case HeadScanner::State::TooLarge:
    case HeadScanner::State::TargetTooLong: {
        ::epoll_ctl(m_epollFd, EPOLL_CTL_DEL, fd, nullptr);
        m_timers.erase(parked.timer);
        std::unique_ptr<Connection> refused = std::move(parked.connection);
        m_parked.erase(fd);
        m_settings.headRefused(std::move(refused));
        return;
    }
    }
}

void ConnectionScheduler::watch(int fd, Parked &parked)
{
    const unsigned wanted = (parked.connection->waitEvents(POLLIN) == POLLIN ? EPOLLIN : EPOLLOUT) | EPOLLRDHUP;
    if (wanted == parked.events)
        return;
    epoll_event event{};
    event.events = wanted;
    event.data.fd = fd;
    if (::epoll_ctl(m_epollFd, EPOLL_CTL_MOD, fd, &event) == 0)
        parked.events = wanted;
}

void ConnectionScheduler::leaveLot(int fd)
{
    const auto it = m_parked.find(fd);
    if (it == m_parked.end())
        return;
    ::epoll_ctl(m_epollFd, EPOLL_CTL_DEL, fd, nullptr);
    m_timers.erase(it->second.timer);
    if (it->second.draining)
        --m_draining;
    m_parked.erase(it); // closes the connection
}

} // namespace varnel
