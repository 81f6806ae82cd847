// The mail's wire form without a server: encodings, recipient lists, MIME
// switching and the header as composed.
#include "mail_message.h"

#include <gtest/gtest.h>

#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTimeZone>

using namespace quillora::mail;

namespace {

QStringList qpLines(const QByteArray &encoded)
{
    return QString::fromLatin1(encoded).split(QStringLiteral("\r\n"));
}

// What a decoder makes of quoted-printable: soft breaks joined, escapes read.
QByteArray qpDecode(const QByteArray &in)
{
    QByteArray out;
    for (qsizetype i = 0; i < in.size(); ++i) {
        if (in[i] != '=') {
            out.append(in[i]);
        } else if (in.mid(i + 1, 2) == "\r\n") {
            i += 2;
        } else {
            out.append(char(in.mid(i + 1, 2).toInt(nullptr, 16)));
            i += 2;
        }
    }
    return out;
}

} // namespace

TEST(QuotedPrintable, LongLinesBreakAfterWholeEscapesAndDecodeBack)
{
    // 200 characters without blanks: 75 characters and "=" per line, the rest ends the text.
    const QStringList lines = qpLines(mime::quotedPrintable(QByteArray(200, 'a')));
    ASSERT_EQ(lines.size(), 3);
    EXPECT_EQ(lines[0], QString(75, QLatin1Char('a')) + QLatin1Char('='));
    EXPECT_EQ(lines[1], QString(75, QLatin1Char('a')) + QLatin1Char('='));
    EXPECT_EQ(lines[2], QString(50, QLatin1Char('a')));
    // A line of exactly 76 characters needs no break.
    EXPECT_EQ(mime::quotedPrintable(QByteArray(76, 'a')), QByteArray(76, 'a'));

    // A break never splits "=XX" nor makes a line longer than 76, wherever the escapes fall.
    for (int lead = 70; lead <= 80; ++lead) {
        const QByteArray text = QByteArray(lead, 'b') + "==\xE4\xB8\xAD=" + QByteArray(90, 'c');
        const QByteArray encoded = mime::quotedPrintable(text);
        for (const QString &line : qpLines(encoded)) {
            EXPECT_LE(line.size(), 76) << lead << ": " << line.toStdString();
            const QString body = line.endsWith(QLatin1Char('=')) ? line.chopped(1) : line;
            EXPECT_FALSE(body.contains(QRegularExpression(QStringLiteral("=.?$"))))
                << lead << ": " << line.toStdString();
        }
        EXPECT_EQ(qpDecode(encoded), text) << lead;
    }
}

TEST(QuotedPrintable, EscapesEqualsEightBitAndBlanksThatEndALine)
{
    EXPECT_EQ(mime::quotedPrintable("a=b"), QByteArray("a=3Db"));
    EXPECT_EQ(mime::quotedPrintable("\xD6\xD0\x7F"), QByteArray("=D6=D0=7F"));
    EXPECT_EQ(mime::quotedPrintable("x \r\ny\t"), QByteArray("x=20\r\ny=09"));
    EXPECT_EQ(mime::quotedPrintable("a b\tc"), QByteArray("a b\tc"));
    // Breaks prefer white space.
    const QByteArray words = QByteArray(60, 'w') + " " + QByteArray(30, 'z');
    EXPECT_EQ(qpLines(mime::quotedPrintable(words)).first(), QString(60, QLatin1Char('w')) + QStringLiteral(" ="));
}

TEST(HeaderEncoding, FieldsAreWrittenAndFoldedAsTheirTextNeeds)
{
    const QString gb = QStringLiteral("gb2312");
    const std::pair<QByteArray, QByteArray> rows[] = {
        // 8-bit text, with the characters encoded words escape
        {mime::textField("Subject", QStringLiteral(u"中文 a=b?_c"), gb),
         "Subject: =?gb2312?q?=D6=D0=CE=C4_a=3Db=3F=5Fc?=\r\n"},
        // a tab is escaped, never copied, in 8-bit and in ASCII text
        {mime::textField("Subject", QStringLiteral(u"中\tx"), gb), "Subject: =?gb2312?q?=D6=D0=09x?=\r\n"},
        {mime::textField("Subject", QStringLiteral("a\tb"), gb), "Subject: =?gb2312?q?a=09b?=\r\n"},
        // ASCII that a reader would take for an encoded word
        {mime::textField("Subject", QStringLiteral("=?x?q?y?="), gb),
         "Subject: =?gb2312?q?=3D=3Fx=3Fq=3Fy=3F=3D?=\r\n"},
        // names: words, quoted specials, blanks only, none; folded at 78
        {mime::addressField("To",
                            {{QStringLiteral(" Bob Smith "), QStringLiteral("bob@x.test")},
                             {QStringLiteral(R"(O'Neil, "Jr.")"), QStringLiteral("o@x.test")},
                             {QStringLiteral("   "), QStringLiteral("blank@x.test")},
                             {QString(), QStringLiteral("bare@x.test")}},
                            gb),
         "To: Bob Smith <bob@x.test>, \"O'Neil, \\\"Jr.\\\"\" <o@x.test>, blank@x.test,\r\n bare@x.test\r\n"},
        // 8-bit names escape all but letters, digits and !*+-/
        {mime::addressField("From", {{QStringLiteral(u"小明 (a.b)"), QStringLiteral("q@qzm.net")}}, gb),
         "From: =?gb2312?q?=D0=A1=C3=F7_=28a=2Eb=29?= <q@qzm.net>\r\n"},
        {mime::addressField("To", {}, gb), "To: undisclosed-recipients:;\r\n"},
    };
    for (const auto &[field, expected] : rows)
        EXPECT_EQ(field.toStdString(), expected.toStdString());

    // ASCII words fold before a blank and unfold to the same text; one word
    // longer than a line may hold is encoded rather than cut.
    QString words;
    for (int i = 0; i < 60; ++i)
        words += QStringLiteral("word%1  ").arg(i);
    words = words.trimmed();
    const QByteArray folded = mime::textField("Subject", words, gb);
    EXPECT_EQ(QByteArray(folded).replace("\r\n ", " "), "Subject: " + words.toLatin1() + "\r\n");
    for (const QByteArray &line : folded.split('\n'))
        EXPECT_LE(line.size(), 79) << line.toStdString(); // 78 and the CR
    const QByteArray word = mime::textField("Subject", QString(1200, QLatin1Char('w')), gb);
    EXPECT_TRUE(word.startsWith("Subject: =?gb2312?q?www")) << word.left(100).toStdString();
    EXPECT_LE(word.indexOf("\r\n"), 78);
}

TEST(BodyText, LineBreaksNormaliseAndDotsAreStuffedOnEveryLine)
{
    EXPECT_EQ(mime::normaliseLineBreaks(QStringLiteral("a\rb\nc\r\nd\n\re")),
              QStringLiteral("a\r\nb\r\nc\r\nd\r\n\r\ne"));
    EXPECT_EQ(mime::dotStuff(".first\r\nmid.dle\r\n.\r\n..two"), QByteArray("..first\r\nmid.dle\r\n..\r\n...two"));
    CMailBodyPart part;
    part.contentType = QStringLiteral("application/octet-stream");
    part.setText(QStringLiteral("x\ny"));
    EXPECT_EQ(part.text(), QStringLiteral("x\r\ny"));
    EXPECT_EQ(part.contentType, QStringLiteral("text/plain"));
}

TEST(Recipients, ListsParseOrAreRefusedWhole)
{
    QList<CMailAddress> list;
    ASSERT_TRUE(mime::parseRecipients(QStringLiteral(" Bob Smith <bob@x.test> ; carol@y.test,, ;"), &list));
    ASSERT_EQ(list.size(), 2);
    EXPECT_EQ(list[0], (CMailAddress{QStringLiteral("Bob Smith"), QStringLiteral("bob@x.test")}));
    EXPECT_EQ(list[1], (CMailAddress{QString(), QStringLiteral("carol@y.test")}));

    CMailMessage message;
    EXPECT_FALSE(message.addRecipients(QStringLiteral("ok@x.test; Bad >bad@x.test<"), 0));
    EXPECT_EQ(message.lastError(), kErrorInvalidData);
    EXPECT_FALSE(message.addRecipients(QStringLiteral("ok@x.test; Bad <bad@x.test"), 0));
    EXPECT_TRUE(message.to().isEmpty());
    EXPECT_FALSE(message.addRecipients(QStringLiteral("ok@x.test"), 3));

    EXPECT_TRUE(message.addRecipients(QStringLiteral("a@x.test"), 1));
    EXPECT_TRUE(message.addRecipients(QStringLiteral("b@x.test"), 2));
    EXPECT_EQ(message.cc().size(), 1);
    EXPECT_EQ(message.bcc().size(), 1);

    // What may go between "<" and ">" in MAIL FROM and RCPT TO.
    const std::pair<QString, bool> addresses[] = {
        {QStringLiteral("first.last+tag@sub.x-y.test"), true},
        {QString(64, QLatin1Char('l')) + QStringLiteral("@x.test"), true},
        {QString(65, QLatin1Char('l')) + QStringLiteral("@x.test"), false},
        {QStringLiteral("a@") + QString(260, QLatin1Char('d')), false},
        {QString(), false},
        {QStringLiteral("bob smith@x.test"), false},
        {QStringLiteral("<a@x.test>"), false},
        {QStringLiteral("a@x.test> NOTIFY=NEVER"), false},
        {QStringLiteral("a\t@x.test"), false},
        {QStringLiteral("a@x.test\r\nRCPT TO:<z@w.test>"), false},
        {QStringLiteral("a"), false},
        {QStringLiteral("@x.test"), false},
        {QStringLiteral("a@b@x.test"), false},
        {QStringLiteral("a..b@x.test"), false},
        {QStringLiteral(".a@x.test"), false},
        {QStringLiteral("a@x..test"), false},
        {QStringLiteral("a@x_y.test"), false},
        {QStringLiteral("\"a\"@x.test"), false},
        {QStringLiteral(u"ä@x.test"), false},
    };
    for (const auto &[address, valid] : addresses)
        EXPECT_EQ(mime::isValidAddress(address), valid) << address.toStdString();
}

TEST(DateHeader, EnglishNamesAndTheZoneOffset)
{
    const QDateTime t(QDate(2007, 5, 1), QTime(9, 30, 0), QTimeZone(8 * 3600));
    EXPECT_EQ(mime::dateHeader(t), QByteArray("Tue, 01 May 2007 09:30:00 +0800"));
    EXPECT_EQ(mime::dateHeader(QDateTime(QDate(2007, 12, 9), QTime(23, 5, 7), QTimeZone(5 * 3600 + 1800))),
              QByteArray("Sun, 09 Dec 2007 23:05:07 +0530"));
    EXPECT_EQ(mime::dateHeader(QDateTime(QDate(2007, 1, 1), QTime(0, 0, 0), QTimeZone(-1800))),
              QByteArray("Mon, 01 Jan 2007 00:00:00 -0030"));
}

TEST(MimeStructure, SwitchingKeepsTheTextAndCopiesAreDeep)
{
    static const QRegularExpression uuid(
        QStringLiteral("^[0-9a-f]{8}-[0-9a-f]{4}-[0-9a-f]{4}-[0-9a-f]{4}-[0-9a-f]{12}$"));
    CMailMessage message;
    message.addTextBody(QStringLiteral("hello"));
    message.setMime(true);
    EXPECT_EQ(message.root().contentType, QStringLiteral("multipart/mixed"));
    EXPECT_EQ(message.root().text(), QStringLiteral("This is a multi-part message in MIME format"));
    ASSERT_EQ(message.root().children().size(), 1u);
    EXPECT_EQ(message.root().children()[0]->text(), QStringLiteral("hello"));
    EXPECT_EQ(message.root().children()[0]->parent(), &message.root());

    message.addTextBody(QStringLiteral("replaced"));
    ASSERT_EQ(message.root().children().size(), 1u);
    EXPECT_EQ(message.root().children()[0]->text(), QStringLiteral("replaced"));

    const CMailBodyPart copy = message.root();
    EXPECT_TRUE(uuid.match(copy.boundary()).hasMatch()) << copy.boundary().toStdString();
    EXPECT_EQ(copy.boundary(), message.root().boundary());
    EXPECT_NE(CMailBodyPart().boundary(), CMailBodyPart().boundary());
    ASSERT_EQ(copy.children().size(), 1u);
    EXPECT_NE(copy.children()[0].get(), message.root().children()[0].get());
    EXPECT_EQ(copy.children()[0]->parent(), &copy);
    EXPECT_EQ(copy.findFirstChild(QStringLiteral("text/plain")), copy.children()[0].get());
    EXPECT_EQ(copy.findFirstChild(QStringLiteral("Text/Plain")), nullptr);

    message.setMime(false);
    EXPECT_TRUE(message.root().children().empty());
}

TEST(MimeStructure, AttachmentsSkipMissingFilesAndEncodeInBase64Lines)
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("notes.bin"));
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    QByteArray data;
    for (int i = 0; i < 300; ++i)
        data.append(char(i));
    file.write(data);
    file.close();

    CMailMessage message;
    message.addTextBody(QStringLiteral("see attached"));
    EXPECT_EQ(message.addAttachments(QStringLiteral(" %1 ; %2/missing.txt,").arg(path, dir.path())), 1);
    EXPECT_TRUE(message.mime());
    ASSERT_EQ(message.root().children().size(), 2u);
    EXPECT_EQ(message.root().children()[1]->title, QStringLiteral("notes.bin"));

    QByteArray rendered;
    ASSERT_TRUE(message.render(QDateTime::currentDateTime(), &rendered));
    const QByteArray b64 = data.toBase64();
    EXPECT_TRUE(rendered.contains(b64.left(76) + "\r\n" + b64.mid(76, 76) + "\r\n"));
    EXPECT_TRUE(rendered.contains("Content-Disposition: attachment; filename=\"notes.bin\"\r\n"));
    EXPECT_TRUE(rendered.endsWith("\r\n--" + message.root().boundary().toLatin1() + "--"));

    // A file that disappears before sending fails the whole mail.
    QFile::remove(path);
    EXPECT_FALSE(message.render(QDateTime::currentDateTime(), &rendered));
}

TEST(MessageHeader, LinesInOrderWithTheBodyEncodedAsDeclared)
{
    CMailMessage message;
    message.setCharset(QStringLiteral("gb2312"));
    message.setFrom({QStringLiteral("alice"), QStringLiteral("sender@x.test")});
    message.addRecipients(QStringLiteral("Bob <bob@x.test>; carol@x.test"), 0);
    message.addRecipients(QStringLiteral("hidden@x.test"), 2);
    message.setSubject(QStringLiteral("Hi"));
    message.setReplyTo({QString(), QStringLiteral("alice@home.test")});
    message.addTextBody(QStringLiteral("1+1=2\n.end"));

    QByteArray rendered;
    ASSERT_TRUE(message.render(QDateTime(QDate(2007, 5, 1), QTime(9, 30, 0), QTimeZone(8 * 3600)), &rendered));
    static const QRegularExpression id(
        QStringLiteral("Message-ID: <[0-9a-f]{8}-[0-9a-f]{4}-[0-9a-f]{4}-[0-9a-f]{4}-[0-9a-f]{12}@x\\.test>\r\n"));
    EXPECT_EQ(QString::fromLatin1(rendered).replace(id, QStringLiteral("Message-ID: ID\r\n")).toStdString(),
              "From: alice <sender@x.test>\r\n"
              "To: Bob <bob@x.test>, carol@x.test\r\n"
              "Subject: Hi\r\n"
              "Date: Tue, 01 May 2007 09:30:00 +0800\r\n"
              "Message-ID: ID\r\n"
              "X-Mailer: Quillora Mailer 3.5\r\n"
              "MIME-Version: 1.0\r\n"
              "Content-Type: text/plain; charset=gb2312\r\n"
              "Content-Transfer-Encoding: quoted-printable\r\n"
              "Reply-To: alice@home.test\r\n"
              "\r\n"
              "\r\n"
              "1+1=3D2\r\n"
              ".end");

    // No value may carry a line break onto the wire.
    EXPECT_TRUE(message.isSafeForWire());
    message.setSubject(QStringLiteral("Hi\r\nBcc: victim@x.test"));
    EXPECT_FALSE(message.isSafeForWire());
    message.setSubject(QStringLiteral("Hi"));
    message.addRecipient({QString(), QStringLiteral("x@y\nRCPT TO:<z@w>")}, 0);
    EXPECT_FALSE(message.isSafeForWire());
}
