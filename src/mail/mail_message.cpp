#include "mail_message.h"
#include "mime_field_writer.h"

#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>

namespace quillora::mail {

using mime::FieldWriter;

// ---------------------------------------------------------------------------
// CMailBodyPart

CMailBodyPart::CMailBodyPart() : m_boundary(mime::newBoundary()) {}

CMailBodyPart::CMailBodyPart(const CMailBodyPart &other)
    : title(other.title), contentType(other.contentType), charset(other.charset), contentBase(other.contentBase),
      contentId(other.contentId), contentLocation(other.contentLocation), quotedPrintable(other.quotedPrintable),
      m_fileName(other.m_fileName), m_text(other.m_text), m_boundary(other.m_boundary)
{
    for (const auto &child : other.m_children)
        addChild(*child);
}

CMailBodyPart &CMailBodyPart::operator=(const CMailBodyPart &other)
{
    if (this == &other)
        return *this;
    CMailBodyPart copy(other); // `other` may be one of our own children
    title = copy.title;
    contentType = copy.contentType;
    charset = copy.charset;
    contentBase = copy.contentBase;
    contentId = copy.contentId;
    contentLocation = copy.contentLocation;
    quotedPrintable = copy.quotedPrintable;
    m_fileName = copy.m_fileName;
    m_text = copy.m_text;
    m_boundary = copy.m_boundary;
    m_children = std::move(copy.m_children);
    for (auto &child : m_children)
        child->m_parent = this;
    return *this;
}

CMailBodyPart::~CMailBodyPart() = default;

void CMailBodyPart::setText(const QString &text)
{
    m_text = mime::normaliseLineBreaks(text);
    contentType = QStringLiteral("text/plain");
}

bool CMailBodyPart::setFileName(const QString &path)
{
    m_fileName = path;
    return QFileInfo(path).isFile();
}

CMailBodyPart &CMailBodyPart::addChild(const CMailBodyPart &child)
{
    auto copy = std::make_unique<CMailBodyPart>(child);
    copy->m_parent = this;
    m_children.push_back(std::move(copy));
    return *m_children.back();
}

CMailBodyPart *CMailBodyPart::findFirstChild(const QString &type) const
{
    for (const auto &child : m_children) {
        if (child->contentType == type)
            return child.get();
    }
    return nullptr;
}

// ---------------------------------------------------------------------------
// CMailMessage

void CMailMessage::setMime(bool on)
{
    if (on == m_mime)
        return;
    m_mime = on;
    m_root.removeChildren();
    if (on) {
        const QString previous = m_root.text();
        m_root.setText(QString::fromLatin1(mime::kMultipartPreamble));
        m_root.contentType = QStringLiteral("multipart/mixed");
        if (!previous.isEmpty())
            addTextBody(previous);
    }
}

bool CMailMessage::addRecipient(const CMailAddress &address, int kind)
{
    switch (kind) {
    case 0:
        m_to.append(address);
        return true;
    case 1:
        m_cc.append(address);
        return true;
    case 2:
        m_bcc.append(address);
        return true;
    default:
        return false;
    }
}

bool CMailMessage::addRecipients(const QString &text, int kind)
{
    if (kind < 0 || kind > 2)
        return false;
    QList<CMailAddress> parsed;
    if (!mime::parseRecipients(text, &parsed)) {
        m_lastError = kErrorInvalidData;
        return false;
    }
    for (const CMailAddress &a : parsed)
        addRecipient(a, kind);
    return true;
}

void CMailMessage::addTextBody(const QString &text)
{
    if (!m_mime) {
        m_root.setText(text);
        return;
    }
    if (CMailBodyPart *existing = m_root.findFirstChild(QStringLiteral("text/plain"))) {
        existing->setText(text);
        return;
    }
    m_root.setText(QString::fromLatin1(mime::kMultipartPreamble));
    m_root.contentType = QStringLiteral("multipart/mixed");
    CMailBodyPart part;
    part.charset = m_root.charset;
    part.setText(text);
    m_root.addChild(part);
}

int CMailMessage::addAttachments(const QString &paths)
{
    int added = 0;
    for (QString path : paths.split(QRegularExpression(QStringLiteral("[,;]")))) {
        path = path.trimmed();
        if (path.isEmpty())
            continue;
        CMailBodyPart part;
        if (!part.setFileName(path))
            continue;
        part.title = QFileInfo(path).fileName();
        part.contentType = QStringLiteral("application/octet-stream");
        setMime(true);
        m_root.addChild(part);
        ++added;
    }
    return added;
}

namespace {

bool safeValue(const QString &s)
{
    return !s.contains(QLatin1Char('\r')) && !s.contains(QLatin1Char('\n')) && !s.contains(QChar(0));
}

bool safePart(const CMailBodyPart &p)
{
    // The title is written percent-encoded when it needs to be, so any file
    // name may be attached; these values are written as they are.
    for (const QString *v : {&p.contentType, &p.charset, &p.contentBase, &p.contentId, &p.contentLocation}) {
        if (!safeValue(*v))
            return false;
    }
    for (const auto &child : p.children()) {
        if (!safePart(*child))
            return false;
    }
    return true;
}

bool isMultipartType(const QString &type)
{
    return type.startsWith(QLatin1String("multipart/"), Qt::CaseInsensitive);
}

// True when a line of CR LF text is longer than the 998 octets SMTP carries.
bool hasLongLine(const QByteArray &text)
{
    qsizetype line = 0;
    for (const char c : text) {
        line = c == '\n' || c == '\r' ? 0 : line + 1;
        if (line > mime::kLineLimit)
            return true;
    }
    return false;
}

// Bytes that cannot go as they are in a mail without 8BITMIME: 8-bit bytes
// and control characters other than tab and the CR LF of line breaks.
bool needsEncoding(const QByteArray &text)
{
    for (qsizetype i = 0; i < text.size(); ++i) {
        const auto c = static_cast<unsigned char>(text[i]);
        if (c >= 0x7F || (c < 0x20 && c != '\t' && c != '\r' && c != '\n'))
            return true;
        if ((c == '\r' && (i + 1 == text.size() || text[i + 1] != '\n')) ||
            (c == '\n' && (i == 0 || text[i - 1] != '\r')))
            return true;
    }
    return hasLongLine(text);
}

struct Entity {
    QByteArray fields; // header lines, each ending in CR LF
    QByteArray body;
};

bool renderEntity(const CMailBodyPart &part, bool isRoot, Entity &e);

// A part without children: a text, or an attached file in base64.
bool renderLeaf(const CMailBodyPart &part, bool isRoot, Entity &e)
{
    if (!part.fileName().isEmpty()) {
        QFile file(part.fileName());
        if (!file.open(QIODevice::ReadOnly))
            return false;
        const QByteArray data = file.readAll();
        if (file.error() != QFileDevice::NoError)
            return false;
        FieldWriter type("Content-Type");
        type.token(part.contentType.toLatin1() + ';');
        type.token("charset=" + part.charset.toLatin1() + ';');
        const QList<QByteArray> name = mime::parameter("name", part.title);
        for (qsizetype i = 0; i < name.size(); ++i)
            type.token(name[i] + (i + 1 < name.size() ? ";" : ""));
        FieldWriter disposition("Content-Disposition");
        disposition.token("attachment;");
        const QList<QByteArray> filename = mime::parameter("filename", part.title);
        for (qsizetype i = 0; i < filename.size(); ++i)
            disposition.token(filename[i] + (i + 1 < filename.size() ? ";" : ""));
        e.fields += type.finish() + "Content-Transfer-Encoding: base64\r\n" + disposition.finish();
        e.body = mime::base64Lines(data);
        return true;
    }
    // The root's filler text of a MIME mail is no content of its own.
    const bool filler = isRoot && part.text() == QLatin1String(mime::kMultipartPreamble);
    QString charset;
    const QByteArray text = mime::encodeText(filler ? QString() : part.text(), part.charset, &charset);
    const QByteArray type = isMultipartType(part.contentType) ? QByteArray("text/plain") : part.contentType.toLatin1();
    e.fields += "Content-Type: " + type + "; charset=" + charset.toLatin1() + "\r\n";
    // Without quoted-printable the text goes as it is, when it can: 7-bit
    // lines within the limit.
    if (part.quotedPrintable || needsEncoding(text)) {
        e.fields += "Content-Transfer-Encoding: quoted-printable\r\n";
        e.body = mime::quotedPrintable(text);
    } else {
        e.body = text;
    }
    return true;
}

// A part with children: a multipart whose parts are its own content, if it
// has any, and then its children, each under the part's boundary.
bool renderMultipart(const CMailBodyPart &part, bool isRoot, Entity &e)
{
    const QByteArray boundary = part.boundary().toLatin1();
    const QByteArray type =
        isMultipartType(part.contentType) ? part.contentType.toLatin1() : QByteArray("multipart/mixed");
    e.fields += "Content-Type: " + type + "; boundary=\"" + boundary + "\"\r\n";
    if (isRoot)
        e.body = mime::kMultipartPreamble;

    const auto append = [&e, &boundary](const Entity &child) {
        e.body += "\r\n--" + boundary + "\r\n" + child.fields + "\r\n" + child.body;
    };
    const bool ownText = !part.text().isEmpty() && part.text() != QLatin1String(mime::kMultipartPreamble);
    if (!part.fileName().isEmpty() || ownText) {
        Entity own;
        if (!renderLeaf(part, false, own))
            return false;
        append(own);
    }
    for (const auto &child : part.children()) {
        Entity c;
        if (!renderEntity(*child, false, c))
            return false;
        append(c);
    }
    e.body += "\r\n--" + boundary + "--";
    return true;
}

bool renderEntity(const CMailBodyPart &part, bool isRoot, Entity &e)
{
    const bool ok = part.children().empty() ? renderLeaf(part, isRoot, e) : renderMultipart(part, isRoot, e);
    if (!isRoot) {
        if (!part.contentBase.isEmpty())
            e.fields += "Content-Base: " + part.contentBase.toUtf8() + "\r\n";
        if (!part.contentId.isEmpty())
            e.fields += "Content-ID: " + part.contentId.toUtf8() + "\r\n";
        if (!part.contentLocation.isEmpty())
            e.fields += "Content-Location: " + part.contentLocation.toUtf8() + "\r\n";
    }
    return ok;
}

QString displayNames(const QList<CMailAddress> &list)
{
    QString names;
    for (const CMailAddress &a : list)
        names += a.name;
    return names;
}

} // namespace

QString CMailMessage::wireProblem() const
{
    const auto badAddress = [](const CMailAddress &a) {
        return !mime::isValidAddress(a.address.trimmed()) || !safeValue(a.name);
    };
    if (badAddress(m_from))
        return QStringLiteral("The sender's address is not valid.");
    for (const QList<CMailAddress> *list : {&m_to, &m_cc, &m_bcc}) {
        for (const CMailAddress &a : *list) {
            if (badAddress(a))
                return QStringLiteral("The recipient address \"%1\" is not valid.").arg(a.address.left(254));
        }
    }
    if (!m_replyTo.address.trimmed().isEmpty() && badAddress(m_replyTo))
        return QStringLiteral("The reply address is not valid.");
    if (!safeValue(m_subject) || !safeValue(m_mailer) || !safePart(m_root))
        return QStringLiteral("A name, subject or header value holds a line break.");
    return {};
}

bool CMailMessage::render(const QDateTime &now, QByteArray *out) const
{
    // Header values share one charset: the message's own when every value
    // fits it, UTF-8 otherwise.
    const QString values =
        m_from.name + m_replyTo.name + displayNames(m_to) + displayNames(m_cc) + m_subject + m_mailer;
    QString charset;
    mime::encodeText(values, m_root.charset, &charset);

    Entity root;
    if (!renderEntity(m_root, true, root))
        return false;

    QByteArray data;
    data += mime::addressField("From", {m_from}, charset);
    data += mime::addressField("To", m_to, charset);
    if (!m_cc.isEmpty())
        data += mime::addressField("Cc", m_cc, charset);
    data += mime::textField("Subject", m_subject, charset);
    data += "Date: " + mime::dateHeader(now) + "\r\n";
    data += "Message-ID: " + mime::newMessageId(m_from.address) + "\r\n";
    data += mime::textField("X-Mailer", m_mailer, charset);
    data += "MIME-Version: 1.0\r\n" + root.fields;
    if (!m_replyTo.address.trimmed().isEmpty())
        data += mime::addressField("Reply-To", {m_replyTo}, charset);
    data += "\r\n";
    // A single text starts after one more empty line, as it always has.
    if (m_root.children().empty())
        data += "\r\n";
    data += root.body;
    *out = std::move(data);
    return true;
}

} // namespace quillora::mail
