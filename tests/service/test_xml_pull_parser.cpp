// The pull parser under the SOAP and document readers: it must accept what
// Qt's reader accepts for the documents the service sends, report the same
// tokens, and refuse what is not well-formed.
#include "xml_pull_parser.h"
#include "xml_token_dump.h"

#include <gtest/gtest.h>

#include <iterator>
#include <string>
#include <vector>

using namespace quillora::service;
using namespace quillora::service::testing;

namespace {

// `<a` and `count` attributes ` pfx<i>="v"`, then `tail` and `/>`.
std::string manyAttributes(int count, const std::string &pfx = "x", const std::string &tail = {})
{
    std::string out = "<a";
    for (int i = 0; i < count; ++i)
        out += " " + pfx + std::to_string(i) + "=\"v\"";
    return out + tail + "/>";
}

// Twelve prefixes bound on the root, p3 bound again on an inner element and
// used inside and after it, beside the default namespace: more bindings in
// scope than a plain look along them serves.
std::string manyBindings()
{
    std::string root = "<r xmlns=\"urn:d\"";
    for (int i = 0; i < 12; ++i)
        root += " xmlns:p" + std::to_string(i) + "=\"urn:" + std::to_string(i) + "\"";
    return root + "><p3:in xmlns:p3=\"urn:inner\" p3:at=\"1\" p4:at=\"2\"><p3:x/><y/></p3:in><p3:out/><p11:z/></r>";
}

} // namespace

TEST(XmlPullParser, SameTokensAsQtReader)
{
    const char *docs[] = {
        "<a/>",
        "<?xml version=\"1.0\" encoding=\"utf-8\"?>\n<a>x</a>\n",
        "<a>one<b>two</b>three</a>",
        "<a>&lt;&gt;&amp;&quot;&apos;&#65;&#x4E2D;&#x1F600;</a>",
        "<a>x<![CDATA[<not a tag> & ]]>y<!-- c -->z<?pi data?>w</a>",
        "<a>line1\r\nline2\rline3\n</a>",
        "<s:E xmlns:s=\"urn:s\" xmlns=\"urn:d\"><s:B><W xmlns=\"\"><x/></W><y/></s:B></s:E>",
        "<a xmlns:p=\"urn:p\"><p:b p:att=\"1\" att='2'/></a>",
        "<a  >\t<b\n/>  </a  >",
        "<r><ForumPosts><ID>1</ID><T>Title &amp; more</T></ForumPosts></r>",
        "<!-- lead --><?pi?><a/><!-- trail -->",
        "<x:a xmlns:x=\"urn:x\"><x:a/></x:a>",
        "<a>\xc3\xa9\xe4\xb8\xad</a>",
    };
    std::vector<std::string> rows(std::begin(docs), std::end(docs));
    rows.push_back(manyAttributes(XmlPullParser::kMaxAttributes)); // as many as a tag may carry
    rows.push_back(manyBindings());
    for (const std::string &d : rows) {
        const QString text = QString::fromStdString(d);
        EXPECT_EQ(dumpOurs(text), dumpQt(text)) << d;
        EXPECT_NE(dumpOurs(text), QStringLiteral("ERROR")) << d;
    }
}

TEST(XmlPullParser, RefusesWhatIsNotWellFormed)
{
    const char *docs[] = {
        "",
        "   ",
        "text",
        "<a>",
        "<a></b>",
        "<a></a><b/>",
        "<a/>trailing",
        "<a>&unknown;</a>",
        "<a>&#0;</a>",
        "<a>&#xD800;</a>",
        "<a>&#x110000;</a>",
        "<a>&amp</a>",
        "<a>a & b</a>",
        "<a>]]></a>",
        "<a b=\"1\" b=\"2\"/>",
        "<a b=1/>",
        "<a b=\"<\"/>",
        "<a b=\"1\"c=\"2\"/>",
        "<p:a/>",
        "<a xmlns:p=\"urn:p\" xmlns:q=\"urn:p\" p:x=\"1\" q:x=\"2\"/>",
        "<a xmlns:p=\"\"/>",
        "<!DOCTYPE a [<!ENTITY e \"x\">]><a>&e;</a>",
        "<!DOCTYPE a><a/>",
        " <?xml version=\"1.0\"?><a/>",
        "<a/><?xml version=\"1.0\"?>",
        "<a><!-- bad -- comment --></a>",
        "<a><![CDATA[open</a>",
        "<a>\x01</a>",
        "<1a/>",
        "<a:/>",
        "<a:b:c xmlns:a=\"urn:a\"/>",
    };
    std::vector<std::string> rows(std::begin(docs), std::end(docs));
    // Repeats among more attributes than are compared pair by pair.
    rows.push_back(manyAttributes(20, "x", " x7=\"again\""));
    rows.push_back(manyAttributes(20, "q:x", " xmlns:q=\"urn:q\" xmlns:r=\"urn:q\" r:x13=\"again\""));
    rows.push_back(manyAttributes(XmlPullParser::kMaxAttributes + 1));
    for (const std::string &d : rows)
        EXPECT_EQ(dumpOurs(QString::fromStdString(d)), QStringLiteral("ERROR")) << d.substr(0, 200);

    const QString overCap = QString::fromStdString(manyAttributes(XmlPullParser::kMaxAttributes + 1));
    XmlPullParser tooMany(overCap);
    EXPECT_EQ(tooMany.next(), XmlPullParser::Error);
    EXPECT_EQ(tooMany.refusal(), XmlPullParser::Refusal::TooManyAttributes);
}

TEST(XmlPullParser, AttributesAndPrefixes)
{
    const QString text = QStringLiteral(
        "<e:Env xmlns:e=\"urn:env\" xmlns:i=\"urn:xsi\"><e:H e:must=\"1\"><v i:nil=\"tr&#x75;e\" plain=\"a\tb\r\nc\"/>"
        "</e:H></e:Env>");
    XmlPullParser xml(text);
    ASSERT_EQ(xml.next(), XmlPullParser::StartElement);
    EXPECT_EQ(xml.resolvePrefix(u"e"), QStringLiteral("urn:env"));
    ASSERT_EQ(xml.next(), XmlPullParser::StartElement);
    EXPECT_EQ(xml.attribute(u"urn:env", u"must"), QStringLiteral("1"));
    EXPECT_TRUE(xml.attribute(u"", u"must").isNull());
    ASSERT_EQ(xml.next(), XmlPullParser::StartElement);
    EXPECT_EQ(xml.localName(), QStringLiteral("v"));
    EXPECT_EQ(xml.attribute(u"urn:xsi", u"nil"), QStringLiteral("true"));
    EXPECT_EQ(xml.attribute(u"", u"plain"), QStringLiteral("a b c"));
    EXPECT_EQ(xml.next(), XmlPullParser::EndElement);
    EXPECT_EQ(xml.depth(), 3);
    EXPECT_EQ(xml.next(), XmlPullParser::EndElement);
    EXPECT_EQ(xml.depth(), 2);
    // The root's end tag still stands in the root's scope; past it, the
    // prefixes the root declared are unbound.
    EXPECT_EQ(xml.next(), XmlPullParser::EndElement);
    EXPECT_EQ(xml.depth(), 1);
    EXPECT_EQ(xml.resolvePrefix(u"i"), QStringLiteral("urn:xsi"));
    EXPECT_EQ(xml.next(), XmlPullParser::EndDocument);
    EXPECT_TRUE(xml.resolvePrefix(u"i").isNull());
    EXPECT_TRUE(xml.resolvePrefix(u"e").isNull());

    // Without namespace processing names stay as written and prefixes need no binding.
    EXPECT_EQ(dumpOurs(u"<x:User><y:a>1</y:a></x:User>", false),
              QStringLiteral("S{}x:User\nS{}y:a\nT<1>\nE{}y:a\nE{}x:User\n"));
}

TEST(XmlPullParser, DecodesResponseBodies)
{
    QString text;
    ASSERT_TRUE(XmlPullParser::decode("\xEF\xBB\xBF<a>\xC3\xA9</a>", text));
    EXPECT_EQ(dumpOurs(text), QStringLiteral("S{}a\nT<") + QChar(0xE9) + QStringLiteral(">\nE{}a\n"));
    ASSERT_TRUE(XmlPullParser::decode(QByteArray("\xFF\xFE<\0a\0/\0>\0", 10), text));
    EXPECT_EQ(text, QStringLiteral("<a/>"));
    ASSERT_TRUE(XmlPullParser::decode("<?xml version=\"1.0\" encoding=\"ISO-8859-1\"?><a>\xE9</a>", text));
    EXPECT_TRUE(text.contains(QChar(0xE9)));
    EXPECT_FALSE(XmlPullParser::decode("<?xml version=\"1.0\" encoding=\"EBCDIC-XYZ\"?><a/>", text));
    EXPECT_FALSE(XmlPullParser::decode("<a>\xC3</a>", text)); // broken UTF-8
}

TEST(XmlPullParser, DepthIsBounded)
{
    QString deep;
    for (int i = 0; i < 100000; ++i)
        deep += QStringLiteral("<d>");
    EXPECT_EQ(dumpOurs(deep), QStringLiteral("ERROR"));
    XmlPullParser xml(deep);
    while (xml.next() == XmlPullParser::StartElement) {
    }
    EXPECT_EQ(xml.refusal(), XmlPullParser::Refusal::TooDeep);
    EXPECT_EQ(xml.depth(), XmlPullParser::kMaxDepth);
}
