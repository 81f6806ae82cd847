// One header field being written, folded where RFC 5322 asks: shared by the
// header writers and the body parts' own fields.
#pragma once

#include <QByteArray>

namespace quillora::mail::mime {

// Header lines are folded before this many octets where a blank allows,
// and no line passes kLineLimit (the CR LF not counted).
inline constexpr qsizetype kFoldAt = 78;
inline constexpr qsizetype kLineLimit = 998;

// Tokens separated by a blank, each on the current line when it fits within
// 78 octets, else after a fold.
class FieldWriter {
  public:
    explicit FieldWriter(const QByteArray &name) : m_out(name + ':'), m_line(m_out.size()) {}

    void token(const QByteArray &t)
    {
        if (m_tokens > 0 && m_line + 1 + t.size() > kFoldAt) {
            m_out += "\r\n";
            m_line = 0;
        }
        m_out += ' ';
        m_out += t;
        m_line += 1 + t.size();
        ++m_tokens;
    }
    // Room left on the current line for a token after its blank.
    qsizetype room() const { return kFoldAt - m_line - 1; }
    QByteArray finish() { return m_out + "\r\n"; }

  private:
    QByteArray m_out;
    qsizetype m_line;
    int m_tokens = 0;
};

} // namespace quillora::mail::mime
