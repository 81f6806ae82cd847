// The transcript's addresses and its RTF form, read back by a real RTF reader
// (unrtf) where one is installed.
#include "transcript.h"

#include <QFile>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>

#include <gtest/gtest.h>

using namespace quillora::presence;

namespace {

struct LinkRow {
    const char *name;
    const char16_t *text;
    std::vector<QString> found; // the link texts, in order
    std::vector<QString> addresses;
};

} // namespace

TEST(TranscriptLinks, FindsAddressesWithoutTheSentenceAroundThem)
{
    const LinkRow rows[] = {
        {"plain", u"see http://example.com/a?b=1 now", {QStringLiteral("http://example.com/a?b=1")}, {}},
        {"trailing full stop stays out", u"go to https://x.org/p.", {QStringLiteral("https://x.org/p")}, {}},
        {"bracketed",
         u"(www.example.org)",
         {QStringLiteral("www.example.org")},
         {QStringLiteral("http://www.example.org")}},
        {"mail", u"mailto:ann@example.com, or", {QStringLiteral("mailto:ann@example.com")}, {}},
        {"two on a line", u"http://a.b and ftp://c.d", {QStringLiteral("http://a.b"), QStringLiteral("ftp://c.d")}, {}},
        {"scheme alone is no link", u"http:// and www.", {}, {}},
        {"ends at a quote", u"\"http://q.r/\"", {QStringLiteral("http://q.r/")}, {}},
    };
    for (const LinkRow &row : rows) {
        const QString text = QString::fromUtf16(row.text);
        const std::vector<TranscriptLink> links = findLinks(text);
        ASSERT_EQ(links.size(), row.found.size()) << row.name;
        for (size_t i = 0; i < links.size(); ++i) {
            EXPECT_EQ(text.mid(links[i].start, links[i].length), row.found[i]) << row.name;
            const QString address = i < row.addresses.size() ? row.addresses[i] : row.found[i];
            EXPECT_EQ(links[i].address, address) << row.name;
        }
    }
}

// What a click opens: web pages and mail addresses only, and of a mail
// address only its subject and body (attach= has made mail programs attach
// local files).
TEST(TranscriptLinks, OnlyWebAndMailAddressesOpen)
{
    const std::pair<const char *, const char *> rows[] = {
        {"http://example.com", "http://example.com"},
        {"HTTPS://example.com/x", "HTTPS://example.com/x"},
        {"mailto:a@b.c", "mailto:a@b.c"},
        {"mailto:a@b.c?subject=Hi&body=See%20this", "mailto:a@b.c?subject=Hi&body=See%20this"},
        {"mailto:a@b.c?attach=/etc/passwd&subject=Hi", "mailto:a@b.c?subject=Hi"},
        {"MAILTO:a@b.c?Attachment=%2Fhome%2Fx&BODY=x&cc=other@x.org", "MAILTO:a@b.c?BODY=x"},
        {"mailto:a@b.c?%61ttach=~/.ssh/id_rsa&body=y", "mailto:a@b.c?body=y"},
        {"mailto:a@b.c?attach=x", "mailto:a@b.c"},
        {"file:///etc/passwd", ""},
        {"ftp://files.example.com", ""},
        {"javascript:alert(1)", ""},
        {"http://", ""},
        {"smb://host/share", ""},
    };
    for (const auto &[link, opened] : rows) {
        EXPECT_EQ(linkToOpen(QString::fromLatin1(link)), QString::fromLatin1(opened)) << link;
        EXPECT_EQ(isOpenableLink(QString::fromLatin1(link)), *opened != 0) << link;
    }
}

TEST(TranscriptRtf, WritesTablesSizesAndEscapes)
{
    const QByteArray rtf = transcriptToRtf({{QStringLiteral("A {b} c\\d\te\r\n"), TranscriptPart::Body}});
    EXPECT_TRUE(rtf.startsWith("{\\rtf1\\ansi"));
    EXPECT_TRUE(rtf.contains("{\\fonttbl{\\f0\\fswiss\\fcharset0 Arial;}}"));
    EXPECT_TRUE(rtf.contains("\\red255\\green0\\blue0;\\red0\\green0\\blue0;"));
    EXPECT_TRUE(rtf.contains("\\fs19"));
    EXPECT_TRUE(rtf.contains("A \\{b\\} c\\\\d\\tab e\\par"));
    // A link's target is escaped like its text: braces and backslashes
    // inside the field instruction would end or break the field.
    const QByteArray link = transcriptToRtf({{QStringLiteral("see http://x.org/a{b}\\c/d now"), TranscriptPart::Body}});
    EXPECT_TRUE(link.contains("HYPERLINK \"http://x.org/a\\{b\\}\\\\c/d\""));
    EXPECT_TRUE(rtf.endsWith("}\n"));
    // Characters beyond ASCII, also beyond the 16-bit range, as signed \uN.
    EXPECT_EQ(rtfEscape(QString::fromUtf16(u"\u00e9\u5f20\U0001F600")),
              QByteArray("\\u233\\'3f\\u24352\\'3f\\u-10179\\'3f\\u-8704\\'3f"));
}

TEST(TranscriptRtf, ARealReaderGetsTextColoursLinksAndNames)
{
    const QString unrtf = QStandardPaths::findExecutable(QStringLiteral("unrtf"));
    if (unrtf.isEmpty())
        GTEST_SKIP() << "unrtf is not installed";
    const std::vector<TranscriptPiece> pieces{
        {QString::fromUtf16(u"FROM [zo\u00eb(Zo\u00eb \u5f20)](2007-05-01 09:30)\r\n\r\n"), TranscriptPart::Header},
        {QStringLiteral("see http://example.com/a?b=1, {braces}\r\n\r\n"), TranscriptPart::Body},
        {QStringLiteral("TO [bob(Bobby)](2007-05-01 09:31:00)\r\n\r\n"), TranscriptPart::Header},
        {QStringLiteral("  thanks  \r\n\r\n"), TranscriptPart::Body},
    };
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("2007-05-01.rtf"));
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(transcriptToRtf(pieces));
    file.close();

    QProcess reader;
    reader.start(unrtf, {QStringLiteral("--html"), path});
    ASSERT_TRUE(reader.waitForFinished(10000));
    const QString html = QString::fromUtf8(reader.readAllStandardOutput());
    // Headers red, bodies black: the colour in force where each text starts.
    auto colourAt = [&html](const QString &text) {
        const qsizetype at = html.indexOf(text);
        const qsizetype colour = html.lastIndexOf(QStringLiteral("color=\""), at);
        return at < 0 || colour < 0 ? QString() : html.mid(colour + 7, 7);
    };
    EXPECT_EQ(colourAt(QStringLiteral("FROM [")), QStringLiteral("#ff0000")) << html.toStdString();
    EXPECT_EQ(colourAt(QStringLiteral("see ")), QStringLiteral("#000000"));
    EXPECT_EQ(colourAt(QStringLiteral("TO [")), QStringLiteral("#ff0000"));
    EXPECT_EQ(colourAt(QStringLiteral("thanks")), QStringLiteral("#000000"));
    EXPECT_TRUE(html.contains(QStringLiteral("face=\"Arial\"")));
    // The non-ASCII name, as the reader writes it in HTML.
    EXPECT_TRUE(html.contains(QStringLiteral("FROM [zo&euml;(Zo&euml; &#24352;)](2007-05-01 09:30)")))
        << html.toStdString();
    EXPECT_TRUE(html.contains(QStringLiteral("http://example.com/a?b=1")));
    EXPECT_TRUE(html.contains(QStringLiteral("{braces}")));
    EXPECT_TRUE(html.contains(QStringLiteral("TO [bob(Bobby)](2007-05-01 09:31:00)")));
    EXPECT_TRUE(html.contains(QStringLiteral("thanks")));
}
