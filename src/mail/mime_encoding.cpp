// How the pieces of a mail are written: header fields folded and, where
// they hold 8-bit text, encoded; display names and addresses; parameters;
// quoted-printable and base64 bodies; the date, Message-ID and boundaries.
#include "mail_message.h"
#include "mime_field_writer.h"

#include <QStringEncoder>
#include <QUuid>

#include <algorithm>
#include <cctype>
#include <cstring>

namespace quillora::mail {

using mime::FieldWriter;

namespace {

const char kHex[] = "0123456789ABCDEF";

void appendEscape(QByteArray &out, unsigned char c)
{
    out.append('=');
    out.append(kHex[c >> 4]);
    out.append(kHex[c & 15]);
}

// Longest encoded word, "=?" and "?=" included.
constexpr qsizetype kEncodedWordMax = 75;
// An encoded word is not started in less room than this; it goes on a new line.
constexpr qsizetype kEncodedWordMin = 30;
// Longest parameter piece written as it is ("name=\"...\""), and the
// length at which an encoded piece ends (it may pass it by one character).
constexpr qsizetype kParameterQuoted = mime::kFoldAt - 2;
constexpr qsizetype kParameterEncoded = 45;

bool isAtext(char c)
{
    return c != 0 && ((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
                      std::strchr("!#$%&'*+-/=?^_`{|}~", c) != nullptr);
}

// Printable ASCII and the blank: no control character, nothing 8-bit.
bool isPrintableAscii(const QString &s)
{
    for (const QChar c : s) {
        if (c.unicode() < 0x20 || c.unicode() > 0x7E)
            return false;
    }
    return true;
}

// The value as encoded words in `charset`, each at most 75 characters and
// never splitting a character. In a phrase (a display name) only letters,
// digits and "!*+-/" stay as they are; in free text every printable
// character but "=", "?" and "_" does.
void encodedWords(FieldWriter &w, const QString &value, const QString &charset, bool phrase)
{
    const QByteArray open = "=?" + charset.toLatin1() + "?q?";
    const qsizetype overhead = open.size() + 2;
    QStringEncoder encoder(charset.toLatin1().constData());
    const auto limit = [&w] {
        const qsizetype room = w.room();
        return room >= kEncodedWordMin ? std::min(room, kEncodedWordMax) : kEncodedWordMax;
    };
    qsizetype max = limit();
    QByteArray word;
    QByteArray escaped;
    for (qsizetype i = 0; i < value.size(); ++i) {
        const qsizetype width = value[i].isHighSurrogate() && i + 1 < value.size() ? 2 : 1;
        const QByteArray bytes = encoder.encode(QStringView(value).mid(i, width));
        i += width - 1;
        escaped.clear();
        for (const char ch : bytes) {
            const auto c = static_cast<unsigned char>(ch);
            const bool plain = phrase ? (std::isalnum(c) && c < 0x80) || std::strchr("!*+-/", ch) != nullptr
                                      : c > 0x20 && c < 0x7F && c != '=' && c != '?' && c != '_';
            if (c == ' ')
                escaped += '_';
            else if (plain && c != 0)
                escaped += ch;
            else
                appendEscape(escaped, c);
        }
        if (!word.isEmpty() && overhead + word.size() + escaped.size() > max) {
            w.token(open + word + "?=");
            word.clear();
            max = limit();
        }
        word += escaped;
    }
    w.token(open + word + "?=");
}

// A display name as the words of a phrase: plain words as they are, printable
// ASCII with specials as a quoted string (folded at its own blanks), and
// anything else as encoded words.
void phrase(FieldWriter &w, const QString &name, const QString &charset)
{
    if (!isPrintableAscii(name)) {
        encodedWords(w, name, charset, true);
        return;
    }
    const QList<QByteArray> words = name.toLatin1().split(' ');
    bool atoms = true;
    qsizetype longest = 0;
    for (const QByteArray &word : words) {
        longest = std::max(longest, word.size());
        atoms = atoms && !word.isEmpty() && std::all_of(word.cbegin(), word.cend(), isAtext);
    }
    // Each word, escapes and quotes included, must fit a line of its own.
    if (2 * longest + 3 > mime::kLineLimit) {
        encodedWords(w, name, charset, true);
        return;
    }
    for (qsizetype i = 0; i < words.size(); ++i) {
        QByteArray word = atoms || i > 0 ? QByteArray() : QByteArray("\"");
        for (const char c : words[i]) {
            if (!atoms && (c == '"' || c == '\\'))
                word += '\\';
            word += c;
        }
        if (!atoms && i + 1 == words.size())
            word += '"';
        w.token(word);
    }
}

bool isDotAtom(QStringView s, bool domain)
{
    if (s.isEmpty() || s.startsWith(QLatin1Char('.')) || s.endsWith(QLatin1Char('.')))
        return false;
    for (qsizetype i = 0; i < s.size(); ++i) {
        const char16_t c = s[i].unicode();
        if (c == '.') {
            if (s[i - 1] == QLatin1Char('.'))
                return false;
            continue;
        }
        if (c > 0x7E)
            return false;
        const bool ok = domain ? (std::isalnum(int(c)) || c == '-') : isAtext(char(c));
        if (!ok)
            return false;
    }
    return true;
}

} // namespace

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

bool isValidAddress(const QString &address)
{
    const qsizetype at = address.indexOf(QLatin1Char('@'));
    if (at <= 0 || address.size() > 254 || at > 64)
        return false;
    return isDotAtom(QStringView(address).left(at), false) && isDotAtom(QStringView(address).mid(at + 1), true);
}

QByteArray textField(const QByteArray &name, const QString &value, const QString &charset)
{
    // Printable ASCII is written as it is, folded before a blank that starts
    // a word; "=?" is encoded too, so that no reader takes it for an encoded
    // word, and so is text that could not be folded under the line limit.
    if (isPrintableAscii(value) && !value.contains(QLatin1String("=?"))) {
        const QByteArray bytes = value.toLatin1();
        QByteArray out = name + ": ";
        qsizetype line = out.size();
        qsizetype longest = line;
        qsizetype from = 0;
        for (qsizetype i = 1; i <= bytes.size(); ++i) {
            const bool wordStart = i < bytes.size() && bytes[i] == ' ' && i + 1 < bytes.size() && bytes[i + 1] != ' ';
            if (!wordStart && i < bytes.size())
                continue;
            const qsizetype length = i - from;
            if (from > 0 && line + length > mime::kFoldAt) {
                out += "\r\n";
                line = 0;
            }
            out.append(bytes.constData() + from, length);
            line += length;
            longest = std::max(longest, line);
            from = i;
        }
        if (longest <= mime::kLineLimit)
            return out + "\r\n";
    }
    FieldWriter w(name);
    encodedWords(w, value, charset, false);
    return w.finish();
}

QByteArray addressField(const QByteArray &name, const QList<CMailAddress> &addresses, const QString &charset)
{
    FieldWriter w(name);
    if (addresses.isEmpty())
        w.token("undisclosed-recipients:;");
    for (qsizetype i = 0; i < addresses.size(); ++i) {
        const CMailAddress &a = addresses[i];
        const QByteArray separator = i + 1 < addresses.size() ? "," : "";
        const QByteArray address = a.address.trimmed().toLatin1();
        const QString display = a.name.trimmed();
        if (display.isEmpty()) {
            w.token(address + separator);
        } else {
            phrase(w, display, charset);
            w.token('<' + address + '>' + separator);
        }
    }
    return w.finish();
}

QList<QByteArray> parameter(const QByteArray &name, const QString &value)
{
    if (isPrintableAscii(value)) {
        QByteArray quoted = name + "=\"";
        for (const char c : value.toLatin1()) {
            if (c == '"' || c == '\\')
                quoted += '\\';
            quoted += c;
        }
        quoted += '"';
        if (quoted.size() <= kParameterQuoted)
            return {quoted};
    }
    // Percent-encoded UTF-8 in pieces that fit a folded line; a piece never
    // ends inside a character.
    const QByteArray bytes = value.toUtf8();
    QList<QByteArray> pieces{QByteArray()};
    for (qsizetype i = 0; i < bytes.size(); ++i) {
        const auto c = static_cast<unsigned char>(bytes[i]);
        const bool continuation = (c & 0xC0) == 0x80;
        if (!continuation && pieces.back().size() >= kParameterEncoded)
            pieces.append(QByteArray());
        if ((std::isalnum(c) && c < 0x80) || (c != 0 && std::strchr("!#$&+-.^_`|~", char(c)) != nullptr)) {
            pieces.back() += char(c);
        } else {
            pieces.back() += '%';
            pieces.back() += kHex[c >> 4];
            pieces.back() += kHex[c & 15];
        }
    }
    if (pieces.size() == 1)
        return {name + "*=UTF-8''" + pieces[0]};
    QList<QByteArray> out;
    for (qsizetype i = 0; i < pieces.size(); ++i)
        out.append(name + '*' + QByteArray::number(i) + "*=" + (i == 0 ? "UTF-8''" : "") + pieces[i]);
    return out;
}

QByteArray newMessageId(const QString &sender)
{
    const qsizetype at = sender.lastIndexOf(QLatin1Char('@'));
    QString domain = at >= 0 ? sender.mid(at + 1) : QString();
    if (!isDotAtom(domain, true))
        domain = QStringLiteral("localhost");
    return '<' + QUuid::createUuid().toString(QUuid::WithoutBraces).toLatin1() + '@' + domain.toLatin1() + '>';
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

    // Then lines: a line longer than 76 characters is cut into pieces of at
    // most 75 and a soft line break "=", each cut after white space or after
    // a whole escape where the piece has one, and never inside an escape.
    QByteArray out;
    out.reserve(enc.size() + enc.size() / 36 + 4);
    const qsizetype n = enc.size();
    qsizetype i = 0;
    while (i < n) {
        qsizetype eol = i;
        while (eol < n && enc[eol] != '\r' && enc[eol] != '\n')
            ++eol;
        qsizetype start = i;
        while (eol - start > 76) {
            qsizetype cut = start + 75;
            if (enc[cut - 1] == '=')
                cut -= 1;
            else if (enc[cut - 2] == '=')
                cut -= 2;
            qsizetype preferred = cut;
            while (preferred > start + 1) {
                const char c = enc[preferred - 1];
                if (c == ' ' || c == '\t' || (preferred - 3 >= start && enc[preferred - 3] == '='))
                    break;
                --preferred;
            }
            if (preferred > start + 1)
                cut = preferred;
            out.append(enc.constData() + start, cut - start);
            out.append("=\r\n");
            start = cut;
        }
        out.append(enc.constData() + start, eol - start);
        i = eol;
        if (i < n) {
            const qsizetype breakLength = enc[i] == '\r' && i + 1 < n && enc[i + 1] == '\n' ? 2 : 1;
            out.append(enc.constData() + i, breakLength);
            i += breakLength;
        }
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

} // namespace quillora::mail
