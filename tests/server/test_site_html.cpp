// The site's HTML helpers: escaping of member text, the announcement-title
// markup rendered to safe HTML, and the generated WSDL.
#include "html.h"
#include "site.h"

#include "operations.h"

#include <gtest/gtest.h>

#include <QDomDocument>
#include <QString>

#include <iterator>
#include <random>

using namespace varnel::site;

TEST(SiteEscape, SpecialCharactersBecomeEntities)
{
    EXPECT_EQ(escapeHtml("<script>alert('x') & \"y\"</script>"),
              "&lt;script&gt;alert(&#39;x&#39;) &amp; &quot;y&quot;&lt;/script&gt;");
}

TEST(SiteEscape, KeepsUtf8AndReplacesBrokenBytes)
{
    EXPECT_EQ(escapeHtml("caf\xC3\xA9 \xE4\xB8\xAD"), "caf\xC3\xA9 \xE4\xB8\xAD");
    // A lone continuation byte, an overlong '<' and a truncated sequence are not text.
    EXPECT_EQ(escapeHtml("a\x80"
                         "b"),
              "a\xEF\xBF\xBD"
              "b");
    EXPECT_EQ(escapeHtml("\xC0\xBC"), "\xEF\xBF\xBD\xEF\xBF\xBD");
    EXPECT_EQ(escapeHtml("x\xE4\xB8"), "x\xEF\xBF\xBD\xEF\xBF\xBD");
}

TEST(SiteEscape, DropsControlCharactersButKeepsLineBreaks)
{
    EXPECT_EQ(escapeHtml(std::string("a\0b\x01\x7F\tc\n", 9)), "ab\tc\n");
    EXPECT_EQ(escapeMultiline("one\r\ntwo <b>\nthree"), "one<br>\ntwo &lt;b&gt;<br>\nthree");
}

TEST(SiteEscape, PercentEncodeKeepsOnlyUnreservedCharacters)
{
    EXPECT_EQ(percentEncode("a&b #+c"), "a%26b%20%23%2Bc");
    EXPECT_EQ(percentEncode("Az09-._~"), "Az09-._~");
    EXPECT_EQ(percentEncode("\xC3\xA9"), "%C3%A9");
}

TEST(SiteMarkup, StylesBecomeSpansAroundWords)
{
    EXPECT_EQ(markupToHtml("{b}bold{/b} plain"), "<span class=\"mk-b\">bold</span> plain");
    EXPECT_EQ(markupToHtml("{i}{u}both{/u}{/i}"), "<span class=\"mk-i mk-u\">both</span>");
    EXPECT_EQ(markupToHtml("H{sub}2{/sub}O x{sup}2{/sup}"),
              "H<span class=\"mk-sub\">2</span>O x<span class=\"mk-sup\">2</span>");
    // A space inside an underlined run is underlined; the one before a run is not.
    EXPECT_EQ(markupToHtml("{u}one two{/u} three {u}four{/u}"),
              "<span class=\"mk-u\">one two</span> three <span class=\"mk-u\">four</span>");
    // Names match by prefix, from the longest table rows: {big} is bold, {strong} too.
    EXPECT_EQ(markupToHtml("{big}x{/big} {strong}y{/strong}"), "<span class=\"mk-b\">x y</span>");
}

TEST(SiteMarkup, FontColourIsValidatedAndRestored)
{
    EXPECT_EQ(markupToHtml("{font color=#FF0000}red{/font} back"), "<span style=\"color:#ff0000\">red</span> back");
    EXPECT_EQ(markupToHtml("{font color='00FF00'}green{/font}"), "<span style=\"color:#00ff00\">green</span>");
    // An attribute that is not six hex digits makes it no tag: shown as text, escaped.
    EXPECT_EQ(markupToHtml("{font color=\"#FF0000\" onmouseover=\"x\"}hi"),
              "{font color=&quot;#FF0000&quot; onmouseover=&quot;x&quot;}hi");
    EXPECT_EQ(markupToHtml("{font color=red}x"), "{font color=red}x");
}

TEST(SiteMarkup, NinthColourIsSetButNotSaved)
{
    std::string text;
    const char *colours[] = {"000001", "000002", "000003", "000004", "000005", "000006", "000007", "000008", "000009"};
    for (const char *c : colours)
        text += std::string("{font color=") + c + "}";
    text += "a{/font}b{/font}c";
    // The ninth push is not saved, so its closing tag already restores the 7th colour.
    const std::string html = markupToHtml(text);
    EXPECT_EQ(html, "<span style=\"color:#000009\">a</span><span style=\"color:#000007\">b</span>"
                    "<span style=\"color:#000006\">c</span>");
}

TEST(SiteMarkup, UnknownTagsAndHtmlAreText)
{
    EXPECT_EQ(markupToHtml("{x}text"), "{x}text");
    EXPECT_EQ(markupToHtml("{/x}"), "");
    EXPECT_EQ(markupToHtml("<img src=x onerror=alert(1)>"), "&lt;img src=x onerror=alert(1)&gt;");
    EXPECT_EQ(markupToHtml("{b"), "{b");
    EXPECT_EQ(markupToHtml("{b}<i>{/b}"), "<span class=\"mk-b\">&lt;i&gt;</span>");
}

TEST(SiteMarkup, BreaksAndParagraphs)
{
    EXPECT_EQ(markupToHtml("{p}first {br} second{p}third"), "first<br>second<span class=\"mk-p\"></span>third");
    EXPECT_EQ(markupToHtml("a{br}b{p}c", true), "abc");
    EXPECT_EQ(markupToHtml(""), "");
    // White space around a tag counts once.
    EXPECT_EQ(markupToHtml("a {b} b{/b}"), "a <span class=\"mk-b\">b</span>");
}

// Whatever a moderator types, the title renders as balanced markup: the output
// parses as XML inside one element, and no element but span and br appears.
TEST(SiteMarkup, AnyTitleRendersBalanced)
{
    const char *pieces[] = {"{b}",
                            "{/b}",
                            "{i}",
                            "{/em}",
                            "{u}",
                            "{/u}",
                            "{sup}",
                            "{/sub}",
                            "{br}",
                            "{p}",
                            "{font color=#12ab3F}",
                            "{font color='00ff00'}",
                            "{/font}",
                            "{font color=#zz}",
                            "{",
                            "}",
                            "{/",
                            "<",
                            ">",
                            "&",
                            "\"",
                            "'",
                            " ",
                            "\n",
                            "word",
                            "\xC3\xA9",
                            "\xFF",
                            "{x}",
                            "{/x}",
                            "<span>",
                            "</span>"};
    std::mt19937 random(20071208);
    for (int round = 0; round < 3000; ++round) {
        std::string title;
        const int count = static_cast<int>(random() % 24);
        for (int k = 0; k < count; ++k)
            title += pieces[random() % std::size(pieces)];
        std::string html = "<div>" + markupToHtml(title) + "</div>";
        // HTML's void <br> in XML form, so the XML parser can check the rest.
        for (size_t at = html.find("<br>"); at != std::string::npos; at = html.find("<br>", at))
            html.replace(at, 4, "<br/>");
        QDomDocument doc;
        ASSERT_TRUE(doc.setContent(QString::fromStdString(html))) << title << "\n" << html;
        const auto all = doc.elementsByTagName(QStringLiteral("*"));
        for (int e = 0; e < all.size(); ++e) {
            const QString name = all.at(e).toElement().tagName();
            ASSERT_TRUE(name == QLatin1String("div") || name == QLatin1String("span") || name == QLatin1String("br"))
                << title;
            const QDomNamedNodeMap attrs = all.at(e).attributes();
            for (int a = 0; a < attrs.size(); ++a) {
                const QString attr = attrs.item(a).nodeName();
                ASSERT_TRUE(attr == QLatin1String("class") || attr == QLatin1String("style")) << title;
            }
        }
    }
}

TEST(SiteMarkup, PlainTextStripsTags)
{
    EXPECT_EQ(markupToPlain("{b}New{/b} {font color=#123456}drivers{/font}{br}today"), "New drivers today");
    EXPECT_EQ(markupToPlain("{/x}{x}"), "{x}");
}

TEST(SiteWsdl, DescribesEveryOperationWithTheHeaderAndTheRealPort)
{
    const std::string wsdl = wsdlDocument("community.example", 8123);
    QDomDocument doc;
    ASSERT_TRUE(doc.setContent(QString::fromStdString(wsdl), true));
    const QString wsdlNs = QStringLiteral("http://schemas.xmlsoap.org/wsdl/");
    const QString soapNs = QStringLiteral("http://schemas.xmlsoap.org/wsdl/soap/");
    const QString ns = QStringLiteral("http://community.example/Services/VarnelServices");
    EXPECT_EQ(doc.documentElement().attribute(QStringLiteral("targetNamespace")), ns);

    const auto bindingOps = doc.elementsByTagNameNS(soapNs, QStringLiteral("operation"));
    ASSERT_EQ(bindingOps.size(), quillora::service::kOperationCount);
    const auto headers = doc.elementsByTagNameNS(soapNs, QStringLiteral("header"));
    EXPECT_EQ(headers.size(), quillora::service::kOperationCount);
    int i = 0;
    for (const auto &op : quillora::service::operations()) {
        const QString name = QString::fromUtf8(op.name.data(), static_cast<qsizetype>(op.name.size()));
        const QDomElement soapOp = bindingOps.at(i++).toElement();
        EXPECT_EQ(soapOp.attribute(QStringLiteral("soapAction")), ns + QLatin1Char('/') + name);
        EXPECT_EQ(soapOp.parentNode().toElement().attribute(QStringLiteral("name")), name);
    }
    const auto address = doc.elementsByTagNameNS(soapNs, QStringLiteral("address"));
    ASSERT_EQ(address.size(), 1);
    EXPECT_EQ(address.at(0).toElement().attribute(QStringLiteral("location")),
              QStringLiteral("http://community.example:8123/Varnel/Web/Services/VarnelServices.asmx"));
    EXPECT_EQ(doc.elementsByTagNameNS(wsdlNs, QStringLiteral("message")).size(),
              2 * quillora::service::kOperationCount + 1);
}

TEST(SiteWsdl, Ipv6HostIsBracketedAndTheSchemesOwnPortOmitted)
{
    EXPECT_NE(wsdlDocument("::1", 9000).find("location=\"http://[::1]:9000/Varnel/Web/Services/VarnelServices.asmx\""),
              std::string::npos);
    EXPECT_NE(wsdlDocument("site.example", 80).find("location=\"http://site.example/Varnel/Web/"), std::string::npos);
    // Over HTTPS the endpoint follows the scheme; the namespace is a name and stays as it is.
    const std::string https = wsdlDocument("site.example", 443, true);
    EXPECT_NE(https.find("location=\"https://site.example/Varnel/Web/"), std::string::npos);
    EXPECT_NE(https.find("targetNamespace=\"http://site.example/Services/VarnelServices\""), std::string::npos);
    EXPECT_NE(wsdlDocument("site.example", 80, true).find("location=\"https://site.example:80/Varnel/Web/"),
              std::string::npos);
}
