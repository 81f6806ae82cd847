// A mail as the SMTP connection sends it: addresses, body parts (text or
// attached files, nested under MIME boundaries) and the message with its
// header. The wire form is built here; CSMTPConnection only carries it.
#pragma once

#include <QByteArray>
#include <QDateTime>
#include <QList>
#include <QString>

#include <memory>
#include <vector>

namespace quillora::mail {

// Error codes the mail component reports (the dialogs show them).
inline constexpr int kErrorInvalidData = 13;          // a recipient list or header value refused
inline constexpr int kErrorCommandRefused = 22;       // a command of the mail transaction refused
inline constexpr int kErrorNameNotResolved = 10022;   // the server's name cannot be resolved
inline constexpr int kErrorUnexpectedReply = 10043;   // a reply without the expected code
inline constexpr int kErrorConnectionAborted = 10053; // the TLS upgrade failed
inline constexpr int kErrorConnectionReset = 10054;   // the server closed the connection
inline constexpr int kErrorTimedOut = 10060;          // no reply data within the reply timeout
inline constexpr int kErrorConnectionRefused = 10061;
inline constexpr int kErrorHostUnreachable = 10065;

struct CMailAddress {
    QString name;    // display name, may be empty
    QString address; // e-mail address

    bool operator==(const CMailAddress &) const = default;
};

class CMailBodyPart {
  public:
    CMailBodyPart(); // a fresh boundary
    CMailBodyPart(const CMailBodyPart &other);
    CMailBodyPart &operator=(const CMailBodyPart &other);
    ~CMailBodyPart();

    // Stores the text with every line break as CR LF and makes the part text/plain.
    void setText(const QString &text);
    const QString &text() const { return m_text; }
    // Makes the part an attachment of `path`; true when the file exists.
    bool setFileName(const QString &path);
    const QString &fileName() const { return m_fileName; }

    QString title;
    QString contentType = QStringLiteral("text/plain");
    QString charset = QStringLiteral("UTF-8");
    QString contentBase, contentId, contentLocation;
    bool quotedPrintable = true;

    const QString &boundary() const { return m_boundary; }
    // Stores a copy whose parent is this part; returns the copy.
    CMailBodyPart &addChild(const CMailBodyPart &child);
    const std::vector<std::unique_ptr<CMailBodyPart>> &children() const { return m_children; }
    void removeChildren() { m_children.clear(); }
    // The first child of exactly this content type, or null.
    CMailBodyPart *findFirstChild(const QString &type) const;
    const CMailBodyPart *parent() const { return m_parent; }

  private:
    QString m_fileName;
    QString m_text;
    QString m_boundary;
    std::vector<std::unique_ptr<CMailBodyPart>> m_children;
    const CMailBodyPart *m_parent = nullptr;
};

enum class RecipientKind { To = 0, Cc = 1, Bcc = 2 };

class CMailMessage {
  public:
    CMailMessage() = default;

    void setCharset(const QString &charset) { m_root.charset = charset; }
    const QString &charset() const { return m_root.charset; }
    void setMime(bool on);
    bool mime() const { return m_mime; }

    // False for a kind other than 0 to 2.
    bool addRecipient(const CMailAddress &address, int kind);
    // Parses a recipient list (see parseRecipients) and adds each address.
    // False, with nothing added, when the list is malformed; lastError() is
    // then kErrorInvalidData.
    bool addRecipients(const QString &text, int kind);
    void addTextBody(const QString &text);
    // Attaches each existing file of a "," or ";" separated list; returns the count.
    int addAttachments(const QString &paths);

    void setFrom(const CMailAddress &from) { m_from = from; }
    void setReplyTo(const CMailAddress &replyTo) { m_replyTo = replyTo; }
    void setSubject(const QString &subject) { m_subject = subject; }
    void setMailer(const QString &mailer) { m_mailer = mailer; }

    const CMailAddress &from() const { return m_from; }
    const CMailAddress &replyTo() const { return m_replyTo; }
    const QList<CMailAddress> &to() const { return m_to; }
    const QList<CMailAddress> &cc() const { return m_cc; }
    const QList<CMailAddress> &bcc() const { return m_bcc; }
    const QString &subject() const { return m_subject; }
    const QString &mailer() const { return m_mailer; }
    const CMailBodyPart &root() const { return m_root; }
    CMailBodyPart &root() { return m_root; }
    int lastError() const { return m_lastError; }

    // Why the mail cannot go on the wire, or empty when it can: every address
    // must be a plain "local@domain" (an envelope address with a blank or
    // "<>" would change the SMTP command), and no name or header value may
    // hold a line break or NUL, which would add header lines of its own.
    QString wireProblem() const;
    bool isSafeForWire() const { return wireProblem().isEmpty(); }

    // The DATA content, header and body, as it goes on the wire before dot
    // stuffing: header lines in their order (dated `now`, with a fresh
    // Message-ID), the empty line, the body. Every line is 7-bit and folded.
    // False when an attached file cannot be read.
    bool render(const QDateTime &now, QByteArray *out) const;

  private:
    CMailBodyPart m_root;
    CMailAddress m_from, m_replyTo;
    QList<CMailAddress> m_to, m_cc, m_bcc;
    QString m_subject;
    QString m_mailer = QStringLiteral("Quillora Mailer 3.5");
    bool m_mime = false;
    int m_lastError = 0;
};

// The wire encodings, on their own so that they can be tested directly.
namespace mime {

inline constexpr char kMultipartPreamble[] = "This is a multi-part message in MIME format";

// "\r\n" and lone "\r" or "\n" all become "\r\n".
QString normaliseLineBreaks(const QString &text);
// Doubles a dot at the start of every line of a CR LF text, the first line
// included, as the DATA phase needs.
QByteArray dotStuff(const QByteArray &data);

// The text in `charset` when every character fits it; otherwise in UTF-8,
// and `used` says which charset the bytes are in.
QByteArray encodeText(const QString &text, const QString &charset, QString *used);

// Header fields, each "Name: value\r\n", folded before a blank so that lines
// stay within 78 octets where the value allows and never pass 998.
//
// Free text (Subject, X-Mailer): unchanged when it is printable ASCII,
// otherwise encoded words ("=?charset?q?...?=", at most 75 characters each,
// never splitting a character) in `charset`.
QByteArray textField(const QByteArray &name, const QString &value, const QString &charset);
// Addresses (From, To, Cc, Reply-To): "name <address>" joined by ", ", or
// the bare address when the name is empty or blank. A name is written as
// words when it is plain, quoted when it holds specials ("Support
// <help@bank.example>" stays a name), and as encoded words in `charset` when
// it holds 8-bit text or control characters. An empty list is the empty
// group "undisclosed-recipients:;".
QByteArray addressField(const QByteArray &name, const QList<CMailAddress> &addresses, const QString &charset);
// A MIME parameter for a Content-Type or Content-Disposition line, as one
// or more "; "-separated pieces: name="value" for short printable ASCII, the
// extended UTF-8 form (name*=UTF-8''%E6...) in continued pieces otherwise.
QList<QByteArray> parameter(const QByteArray &name, const QString &value);
// "<uuid@domain>" with the domain of `sender` (an address).
QByteArray newMessageId(const QString &sender);
// A plain "local@domain" address: printable ASCII, dot-atoms on both sides
// of one "@", no blanks, quotes, brackets or "<>", at most 254 characters.
bool isValidAddress(const QString &address);

// Quoted-printable with soft line breaks: no line longer than 76
// characters, the "=" of the break included.
QByteArray quotedPrintable(const QByteArray &bytes);
// Base64 in lines of 76 characters, each ending in CR LF.
QByteArray base64Lines(const QByteArray &bytes);
// "Tue, 01 May 2007 09:30:00 +0800" for `when` in its own offset from UTC.
QByteArray dateHeader(const QDateTime &when);

// Splits at "," and ";": "Name <address>" or a bare address; pieces with an
// empty address are skipped. False (and `out` untouched) when a piece has "<"
// without a later ">".
bool parseRecipients(const QString &text, QList<CMailAddress> *out);
// A fresh boundary: a UUID as 36 lower-case hexadecimal characters and dashes.
QString newBoundary();

} // namespace mime

} // namespace quillora::mail
