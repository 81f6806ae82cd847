// What the server takes as a request: a head within a cap on its bytes and
// its lines, found while it arrives; and as a body only one sent as it is,
// with one declared length of at most the body cap. The library enforces the
// cap only on a declared length, and a body the server had to unpack could
// grow past any cap, so anything else is refused before the body is read.
#pragma once

#include <httplib.h>

#include <cstddef>
#include <optional>
#include <string>

namespace varnel {

inline constexpr size_t kMaxRequestBody = 1024 * 1024;

struct HeadLimits {
    size_t bytes = 32 * 1024; // the request line, the header lines and the blank line ending them
    int lines = 100;          // header lines
    // The request target (path and query). The library matches routes with
    // std::regex, whose matcher recurses once for each character of a path:
    // a path of 8 KB took 3 MB of a worker's stack, kept ever after.
    size_t target = 2048;
};

// Follows a request head through the bytes of its connection as they arrive,
// looking at each byte once: where it ends (the first empty line, CR LF, after
// the request line, as the library reads heads) and whether it outgrew its
// caps before that.
class HeadScanner {
  public:
    enum class State { Incomplete, Complete, TooLarge, TargetTooLong };

    explicit HeadScanner(HeadLimits limits = {}) : m_limits(limits) {}

    // Takes the next bytes of the connection; once the head is complete (or
    // too large) it takes no more. Returns how many of `size` it took.
    size_t feed(const char *data, size_t size);
    void reset();

    State state() const { return m_state; }
    bool started() const { return m_bytes > 0; }
    size_t bytes() const { return m_bytes; }

  private:
    HeadLimits m_limits;
    State m_state = State::Incomplete;
    size_t m_bytes = 0;
    size_t m_lineStart = 0; // offset of the current line within the head
    int m_lines = 0;        // lines ended so far, the request line included
    size_t m_spaces = 0;    // spaces in the request line so far (two are enough)
    size_t m_targetStart = 0;
    size_t m_targetEnd = 0; // just after the space that ends the target
    char m_last = 0;        // the byte before the next one fed
};

struct FramingRefusal {
    int status = 400;
    std::string text;
};

std::optional<FramingRefusal> refuseFraming(const httplib::Request &req);

// A Range header of several ranges (or longer than one range can be),
// renamed in the raw head (its first letter becomes 'X') so that the library
// never parses it: its reader takes stack in proportion to the header's
// length (megabytes for 8 KB of ranges, kept by the worker thread ever
// after), and several ranges are not honoured anyway. `head` is a whole head
// as the scanner found it.
void disarmSeveralRanges(char *head, size_t size);

// Ranges the server honours: one, of a GET or HEAD. Asked for several, or
// for another method, the whole answer goes out as if none were asked for
// (many ranges of one answer would each repeat it).
void limitRanges(httplib::Request &req);

} // namespace varnel
