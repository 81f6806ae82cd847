#include "mail_message.h"

#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QStringEncoder>
#include <QUuid>

namespace quillora::mail {

namespace mime {

QString normaliseLineBreaks(const QString &text)
{
    QString s = text;
    s.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    s.replace(QLatin1Char('\r'), QLatin1Char('\n'));
    s.replace(QStringLiteral("\n"), QStringLiteral("\r\n"));
    return s;
}

QByteArray dotStuff(const QByteArray &data)
{
    QByteArray out;
    out.reserve(data.size() + data.size() / 64 + 1);
    bool lineStart = true;
    for (const char c : data) {
        if (lineStart && c == '.')
            out.append('.');
        out.append(c);
        lineStart = c == '\n';
    }
    return out;
}

QByteArray encodeText(const QString &text, const QString &charset, QString *used)
{
    const bool isUtf8 = charset.compare(QLatin1String("UTF-8"), Qt::CaseInsensitive) == 0 ||
                        charset.compare(QLatin1String("utf8"), Qt::CaseInsensitive) == 0;
    if (!isUtf8) {
        QStringEncoder encoder(charset.toLatin1().constData());
        if (encoder.isValid()) {
            QByteArray bytes = encoder.encode(text);
            if (!encoder.hasError()) {
                if (used)
                    *used = charset;
                return bytes;
            }
        }
    }
    if (used)
        *used = isUtf8 ? charset : QStringLiteral("UTF-8");
    return text.toUtf8();
}

namespace {

const char kHex[] = "0123456789ABCDEF";

void appendEscape(QByteArray &out, unsigned char c)
{
    out.append('=');
    out.append(kHex[c >> 4]);
    out.append(kHex[c & 15]);
}

bool isEightBit(const QByteArray &bytes)
{
    for (const char c : bytes) {
        if (static_cast<unsigned char>(c) >= 0x80)
            return true;
    }
    return false;
}

} // namespace

QByteArray encodeHeader(const QByteArray &bytes, const QString &charset)
{
    if (!isEightBit(bytes))
        return bytes;
    QByteArray out = "=?" + charset.toLatin1() + "?q?";
    for (const char ch : bytes) {
        const auto c = static_cast<unsigned char>(ch);
        if (c == ' ')
            out.append('_');
        else if (c == '=' || c == '?' || c == '_' || c >= 0x80)
            appendEscape(out, c);
        else
            out.append(ch);
    }
    out.append("?=");
    return out;
}

QByteArray quotedPrintable(const QByteArray &bytes)
{
    // Characters first.
    QByteArray enc;
    enc.reserve(bytes.size() * 3 / 2 + 4);
    for (qsizetype k = 0; k < bytes.size(); ++k) {
        const char ch = bytes[k];
        const auto c = static_cast<unsigned char>(ch);
        // A blank or tab that ends a line is escaped: decoders drop white
        // space they find at a line's end.
        const bool endsLine = k + 1 == bytes.size() || bytes[k + 1] == '\r' || bytes[k + 1] == '\n';
        if ((c == ' ' || c == '\t') && endsLine)
            appendEscape(enc, c);
        else if ((c >= '!' && c <= '<') || (c >= '>' && c <= '~') || c == '\t' || c == '\n' || c == '\r' || c == ' ')
            enc.append(ch);
        else
            appendEscape(enc, c);
    }

    // Then lines: a line longer than 76 characters is broken after white
    // space or after a whole escape, with a soft line break.
    QByteArray out;
    out.reserve(enc.size() + enc.size() / 38 + 4);
    const qsizetype n = enc.size();
    qsizetype lineStart = 0;
    qsizetype i = 0;
    while (i < n) {
        const char c = enc[i];
        if (c == '\r' || c == '\n' || i == n - 1) {
            out.append(enc.constData() + lineStart, i - lineStart + 1);
            lineStart = i + 1;
            ++i;
            continue;
        }
        if (i - lineStart > 76) {
            qsizetype brk = i;
            while (brk > lineStart) {
                const char b = enc[brk];
                if (b == ' ' || b == '\t' || (brk - 2 >= lineStart && enc[brk - 2] == '='))
                    break;
                --brk;
            }
            if (brk == lineStart) {
                brk = lineStart + 76; // after the 77th character,
                if (enc[brk] == '=')
                    --brk; // unless that would cut an escape in two
            }
            out.append(enc.constData() + lineStart, brk - lineStart + 1);
            out.append("=\r\n");
            lineStart = brk + 1;
            i = lineStart;
            continue;
        }
        ++i;
    }
    return out;
}

QByteArray base64Lines(const QByteArray &bytes)
{
    const QByteArray b64 = bytes.toBase64();
    QByteArray out;
    out.reserve(b64.size() + b64.size() / 76 * 2 + 2);
    for (qsizetype at = 0; at < b64.size(); at += 76) {
        out.append(b64.mid(at, 76));
        out.append("\r\n");
    }
    return out;
}

QByteArray dateHeader(const QDateTime &when)
{
    static const char *const kDays[] = {"Mon", "Tue", "Wed", "Thu", "Fri", "Sat", "Sun"};
    static const char *const kMonths[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                          "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
    const QDate d = when.date();
    const QTime t = when.time();
    const int offsetMinutes = when.offsetFromUtc() / 60;
    const int magnitude = offsetMinutes < 0 ? -offsetMinutes : offsetMinutes;
    // The sign is written on its own: a zone 30 minutes behind UTC is -0030.
    return QStringLiteral("%1, %2 %3 %4 %5:%6:%7 %8%9%10")
        .arg(QLatin1String(kDays[d.dayOfWeek() - 1]))
        .arg(d.day(), 2, 10, QLatin1Char('0'))
        .arg(QLatin1String(kMonths[d.month() - 1]))
        .arg(d.year(), 4, 10, QLatin1Char('0'))
        .arg(t.hour(), 2, 10, QLatin1Char('0'))
        .arg(t.minute(), 2, 10, QLatin1Char('0'))
        .arg(t.second(), 2, 10, QLatin1Char('0'))
        .arg(offsetMinutes < 0 ? QLatin1Char('-') : QLatin1Char('+'))
        .arg(magnitude / 60, 2, 10, QLatin1Char('0'))
        .arg(magnitude % 60, 2, 10, QLatin1Char('0'))
        .toLatin1();
}

bool parseRecipients(const QString &text, QList<CMailAddress> *out)
{
    QList<CMailAddress> found;
    QString piece;
    const auto takePiece = [&found](const QString &p) {
        const qsizetype lt = p.indexOf(QLatin1Char('<'));
        CMailAddress a;
        if (lt >= 0) {
            const qsizetype gt = p.indexOf(QLatin1Char('>'));
            if (gt < 0 || gt < lt)
                return false;
            a.name = p.left(lt).trimmed();
            a.address = p.mid(lt + 1, gt - lt - 1).trimmed();
        } else {
            a.address = p.trimmed();
        }
        if (!a.address.isEmpty())
            found.append(a);
        return true;
    };
    for (const QChar c : text) {
        if (c == QLatin1Char(',') || c == QLatin1Char(';')) {
            if (!takePiece(piece))
                return false;
            piece.clear();
        } else {
            piece.append(c);
        }
    }
    if (!takePiece(piece))
        return false;
    out->append(found);
    return true;
}

QString newBoundary()
{
    return QUuid::createUuid().toString(QUuid::WithoutBraces).toLower();
}

} // namespace mime

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

bool safeAddress(const CMailAddress &a)
{
    return safeValue(a.name) && safeValue(a.address);
}

bool safePart(const CMailBodyPart &p)
{
    for (const QString *v : {&p.title, &p.contentType, &p.charset, &p.contentBase, &p.contentId, &p.contentLocation}) {
        if (!safeValue(*v))
            return false;
    }
    for (const auto &child : p.children()) {
        if (!safePart(*child))
            return false;
    }
    return true;
}

QString joinedHeaderForms(const QList<CMailAddress> &list)
{
    QStringList forms;
    for (const CMailAddress &a : list)
        forms.append(a.headerForm());
    return forms.join(QLatin1Char(','));
}

// One part's header, body, children and footer, as it follows its parent.
bool renderPart(const CMailBodyPart &part, bool isRoot, QByteArray &out)
{
    QString charset;
    QByteArray text;
    const bool attachment = !part.fileName().isEmpty();
    if (!attachment)
        text = mime::encodeText(part.text(), part.charset, &charset);
    else
        charset = part.charset;
    const QByteArray type = part.contentType.toLatin1();
    const QByteArray cs = charset.toLatin1();
    const QByteArray own = part.boundary().toLatin1();
    const bool hasChildren = !part.children().empty();

    if (!isRoot) {
        const QByteArray parentBoundary = part.parent() ? part.parent()->boundary().toLatin1() : QByteArray();
        if (attachment) {
            const QByteArray title = part.title.toUtf8();
            out += "\r\n\r\n--" + parentBoundary + "\r\nContent-Type: " + type + "; charset=" + cs + "; name=" + title;
            if (hasChildren)
                out += "; Boundary=\"" + own + "\"";
            out +=
                "\r\nContent-Transfer-Encoding: base64\r\nContent-Disposition: attachment; filename=" + title + "\r\n";
        } else {
            out += "\r\n--" + parentBoundary + "\r\nContent-Type: " + type + "; charset=" + cs;
            if (hasChildren)
                out += "; Boundary=\"" + own + "\"";
            out += "\r\n";
            if (part.quotedPrintable)
                out += "Content-Transfer-Encoding: quoted-printable\r\n";
        }
        if (!part.contentBase.isEmpty())
            out += "Content-Base: " + part.contentBase.toUtf8() + "\r\n";
        if (!part.contentId.isEmpty())
            out += "Content-ID: " + part.contentId.toUtf8() + "\r\n";
        if (!part.contentLocation.isEmpty())
            out += "Content-Location: " + part.contentLocation.toUtf8() + "\r\n";
        out += "\r\n";
    }

    if (attachment) {
        QFile file(part.fileName());
        if (!file.open(QIODevice::ReadOnly))
            return false;
        const QByteArray data = file.readAll();
        if (file.error() != QFileDevice::NoError)
            return false;
        out += mime::base64Lines(data);
    } else if (part.quotedPrintable) {
        out += mime::quotedPrintable(text);
    } else {
        out += text;
    }

    for (const auto &child : part.children()) {
        if (!renderPart(*child, false, out))
            return false;
    }
    if (hasChildren)
        out += "\r\n--" + own + "--";
    return true;
}

} // namespace

bool CMailMessage::isSafeForWire() const
{
    if (!safeAddress(m_from) || !safeAddress(m_replyTo) || !safeValue(m_subject) || !safeValue(m_mailer))
        return false;
    for (const QList<CMailAddress> *list : {&m_to, &m_cc, &m_bcc}) {
        for (const CMailAddress &a : *list) {
            if (!safeAddress(a))
                return false;
        }
    }
    return safePart(m_root);
}

bool CMailMessage::render(const QDateTime &now, QByteArray *out) const
{
    // Header values share one charset: the message's own when every value
    // fits it, UTF-8 otherwise.
    const QString values =
        m_from.headerForm() + joinedHeaderForms(m_to) + joinedHeaderForms(m_cc) + m_subject + m_mailer;
    QString headerCharset;
    mime::encodeText(values, m_root.charset, &headerCharset);
    const auto header = [&headerCharset](const QString &value) {
        return mime::encodeHeader(mime::encodeText(value, headerCharset, nullptr), headerCharset);
    };

    QByteArray data;
    data += "From: " + header(m_from.headerForm()) + "\r\nTo: " + header(joinedHeaderForms(m_to)) + "\r\n";
    if (!m_cc.isEmpty())
        data += "Cc: " + header(joinedHeaderForms(m_cc)) + "\r\n";
    data += "Subject: " + header(m_subject) + "\r\nDate: " + header(QString::fromLatin1(mime::dateHeader(now))) +
            "\r\nX-Mailer: " + header(m_mailer) + "\r\n";

    const bool multipart = m_mime || !m_root.children().empty();
    QString bodyCharset;
    const QByteArray plainBody =
        multipart ? QByteArray() : mime::encodeText(m_root.text(), m_root.charset, &bodyCharset);
    if (m_mime) {
        data += "MIME-Version: 1.0\r\nContent-Type: " + m_root.contentType.toLatin1();
        if (!m_root.children().empty())
            data += "; boundary=\"" + m_root.boundary().toLatin1() + "\"";
        data += "\r\n";
    } else if (!multipart) {
        // A single text body declares its charset, so its bytes can be read back.
        data += "MIME-Version: 1.0\r\nContent-Type: text/plain; charset=" + bodyCharset.toLatin1() + "\r\n";
    }
    data += "Content-Transfer-Encoding: quoted-printable\r\n";
    if (!m_replyTo.address.isEmpty())
        data += "Reply-To: " + m_replyTo.headerForm().toUtf8() + "\r\n";
    data += "\r\n";

    if (multipart) {
        if (!renderPart(m_root, true, data))
            return false;
    } else {
        // The header declares quoted-printable, so the body is encoded so.
        data += "\r\n" + mime::quotedPrintable(plainBody);
    }
    *out = std::move(data);
    return true;
}

} // namespace quillora::mail
