// Who serves which connection when: the workers, the bounded queue of
// connections waiting for one, and the parking lot. Between requests a
// connection stays with its worker only while no other connection waits for
// one; otherwise it is parked, in one epoll set with all the others, until
// its next request head has arrived whole, and only then queued for a worker.
// So idle and slow connections hold no worker, whoever opens them. A new HTTPS
// connection starts in the parking lot, which runs its handshake. Refused
// connections take their last bytes in the parking lot too, so that the
// refusal reaches the peer before the connection closes.
#pragma once

#include "connection.h"

#include <atomic>
#include <condition_variable>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <thread>
#include <unordered_map>
#include <vector>

namespace varnel {

class ConnectionScheduler {
  public:
    struct Settings {
        ConnectionLimits limits; // workers, queue length, and the deadlines of parked connections
        // Sent to a connection the queue has no room for.
        std::string busyAnswer;
        // Takes a parked connection whose head outgrew a cap.
        std::function<void(std::unique_ptr<Connection>)> headRefused;
        // Told of every refusal the scheduler makes itself (for the log).
        std::function<void(const Connection &, int status, const std::string &why)> refused;
    };
    // Serves a connection on the calling worker; it keeps, parks, queues,
    // refuses or closes it.
    using Serve = std::function<void(std::unique_ptr<Connection>)>;

    ConnectionScheduler() = default;
    ~ConnectionScheduler();
    ConnectionScheduler(const ConnectionScheduler &) = delete;
    ConnectionScheduler &operator=(const ConnectionScheduler &) = delete;

    // Starts the workers and the parking lot; false when the system refuses.
    bool start(Settings settings, Serve serve);
    // Lets the workers finish the requests at hand and closes every
    // connection.
    void stop();

    // A connection with a complete request head, or a new one, for the next
    // free worker. A full queue answers it with the busy answer.
    void enqueue(std::unique_ptr<Connection> connection);
    // To the parking lot until its next request head is complete.
    void park(std::unique_ptr<Connection> connection);
    // Sends `answer` (as much as the socket takes at once), and closes the
    // connection once the peer has closed, a second has passed or 4 MB more
    // have come, whichever is first. The connection no longer counts as open.
    void refuse(std::unique_ptr<Connection> connection, std::string_view answer);

    enum class Wake { Readable, TimedOut, Needed, Stopping };
    // On a worker holding a connection between requests: waits until `fd` is
    // ready for `events` or `until` has passed, unless or until a queued
    // connection needs this worker (Needed: the caller parks its connection).
    Wake linger(int fd, short events, Clock::time_point until);

  private:
    struct Worker {
        int wakeFd = -1;
        bool called = false;   // asked to leave its connection for the queue
        bool summoned = false; // counted in m_summoned until it takes work
        std::thread thread;
    };
    struct Parked {
        std::unique_ptr<Connection> connection;
        std::multimap<Clock::time_point, int>::iterator timer;
        bool draining = false;
        size_t drained = 0;
        unsigned events = 0; // what the epoll set waits for on it
    };

    void work(Worker &me);
    void runParkingLot();
    void callWorkerIfNeeded(); // with m_mutex held
    void handOver(std::unique_ptr<Connection> connection, bool draining);
    void admitToLot(std::unique_ptr<Connection> connection, bool draining, Clock::time_point now);
    void readParked(int fd, Parked &parked, Clock::time_point now);
    // Waits for what the connection's next step needs (over TLS a read may
    // need the socket writable).
    void watch(int fd, Parked &parked);
    void leaveLot(int fd);

    Settings m_settings;
    Serve m_serve;
    size_t m_bufferCap = 0;

    std::mutex m_mutex;
    std::condition_variable m_work;
    std::deque<std::unique_ptr<Connection>> m_queue;
    std::vector<std::unique_ptr<Worker>> m_workers;
    std::vector<Worker *> m_lingering;
    size_t m_idle = 0;     // workers waiting for work
    size_t m_summoned = 0; // workers on their way to the queue
    bool m_stopping = false;
    bool m_started = false;

    // Connections on their way to the parking lot, and the lot's own state
    // (touched by its thread only).
    std::mutex m_inboxMutex;
    std::vector<std::pair<std::unique_ptr<Connection>, bool>> m_inbox; // bool: draining
    bool m_lotStopping = false;
    int m_inboxFd = -1;
    int m_epollFd = -1;
    std::thread m_lot;
    std::unordered_map<int, Parked> m_parked;
    std::multimap<Clock::time_point, int> m_timers;
    std::atomic<size_t> m_draining{0};
};

} // namespace varnel
