// Reading result documents: records by exact tag, fields by element position.
#include "result_document.h"

#include <gtest/gtest.h>

using namespace quillora::service;

namespace {

QString users(int count, int fieldsEach, const QString &tag = QStringLiteral("User"))
{
    QString doc = QStringLiteral("<?xml version=\"1.0\" encoding=\"utf-8\"?>\n<Users>\n");
    for (int i = 0; i < count; ++i) {
        doc += QLatin1Char('<') + tag + QStringLiteral(">\n");
        for (int f = 0; f < fieldsEach; ++f)
            doc += QStringLiteral("  <F%1>%2.%1</F%1>\n").arg(f).arg(i);
        doc += QStringLiteral("</") + tag + QStringLiteral(">\n");
    }
    return doc + QStringLiteral("</Users>");
}

} // namespace

TEST(ResultDocument, ReaderLimitsTakeTheFirstRecords)
{
    struct Row {
        const char *name;
        int inDocument, limit, fields, expected;
    } rows[] = {
        {"60 zone experts show 48", 60, kZoneExpertsMax, kZoneExpertFields, 48},
        {"12 messages show 10", 12, kMessagesMax, kMessageFields, 10},
        {"9 score rows show 7", 9, kScoresMax, kScoreFields, 7},
        {"fewer than the limit", 3, kAnswerProvidersMax, kPostExpertFields, 3},
        {"none", 0, kQuestionExpertsMax, kPostExpertFields, 0},
    };
    for (const Row &r : rows) {
        const DocumentRecords d = readRecords(users(r.inDocument, r.fields), kUserTag, r.limit, r.fields);
        ASSERT_EQ(d.status, DocumentStatus::Ok) << r.name;
        ASSERT_EQ(static_cast<int>(d.records.size()), r.expected) << r.name;
        EXPECT_EQ(d.totalRecordsInDocument, r.inDocument) << r.name;
        if (r.expected > 0) {
            EXPECT_EQ(d.records.back().at(0), QStringLiteral("%1.0").arg(r.expected - 1)) << r.name;
        }
    }
}

TEST(ResultDocument, FieldsByElementPositionNeverPastTheReadersCount)
{
    // Eight children: the post list takes seven, and the eighth never shifts into the next record.
    const DocumentRecords d =
        readRecords(users(2, 8, QStringLiteral("ForumPosts")), kForumPostsTag, 15, kPostListFields);
    ASSERT_EQ(d.records.size(), 2u);
    EXPECT_EQ(d.records[0].size(), kPostListFields);
    EXPECT_EQ(d.records[1].at(0), QStringLiteral("1.0"));

    // White space, comments and text between children carry no position; a field's text includes its descendants.
    const QString mixed = QStringLiteral("<r><Message> <a>1</a><!-- c -->stray<b>x<i>y</i>z</b>\n<c/></Message></r>");
    const DocumentRecords m = readRecords(mixed, kMessageTag, kMessagesMax, kMessageFields);
    ASSERT_EQ(m.records.size(), 1u);
    EXPECT_EQ(m.records[0], (QStringList{QStringLiteral("1"), QStringLiteral("xyz"), QString()}));

    // A short record leaves the reader's other fields untouched.
    const DocumentRecords shortRec = readRecords(users(1, 5), kUserTag, 1, kSignInUserFields);
    int credit = -7, points = -7;
    takeField(shortRec.records[0], 7, credit);
    takeField(shortRec.records[0], 4, points);
    EXPECT_EQ(credit, -7);
    EXPECT_EQ(points, 0); // "0.4" reads as 0
}

TEST(ResultDocument, TagsAreMatchedExactlyAndAnywhere)
{
    const QString doc =
        QStringLiteral("<a><user><x>1</x></user><USER><x>2</x></USER><b><c><User><x>3</x></User></c></b>"
                       "<ForumPost><x>4</x></ForumPost><ForumPosts><x>5</x></ForumPosts></a>");
    const DocumentRecords u = readRecords(doc, kUserTag, 10, 1);
    ASSERT_EQ(u.records.size(), 1u);
    EXPECT_EQ(u.records[0].at(0), QStringLiteral("3"));
    const DocumentRecords fp = readRecords(doc, kForumPostTag, 1, 20);
    ASSERT_EQ(fp.records.size(), 1u);
    EXPECT_EQ(fp.records[0].at(0), QStringLiteral("4"));
}

TEST(ResultDocument, DocumentsThatDoNotLoad)
{
    for (const QString &bad : {QString(), QStringLiteral(""), QStringLiteral("<a>"), QStringLiteral("plain text"),
                               QStringLiteral("<a></b>")}) {
        const DocumentRecords d = readRecords(bad, kUserTag, 1, 18);
        EXPECT_EQ(d.status, DocumentStatus::NotLoaded) << bad.toStdString();
        EXPECT_TRUE(d.records.empty());
    }
    EXPECT_EQ(documentStatusMessage(DocumentStatus::NotLoaded),
              QStringLiteral("Failed to load the XML stream into the DOM."));
    EXPECT_EQ(documentStatusMessage(DocumentStatus::NoParser), QStringLiteral("CoCreateInstance failed."));
}

TEST(ResultDocument, FirstPkidAnywhere)
{
    DocumentStatus st = DocumentStatus::NoParser;
    EXPECT_EQ(readFirstElementText(QStringLiteral("<U><User><PKID> 41x</PKID></User><PKID>9</PKID></U>"), u"PKID", &st),
              QStringLiteral(" 41x"));
    EXPECT_EQ(st, DocumentStatus::Ok);
    EXPECT_TRUE(readFirstElementText(QStringLiteral("<U><User><ID>4</ID></User></U>"), u"PKID", &st).isNull());
    EXPECT_EQ(st, DocumentStatus::Ok);
    readFirstElementText(QStringLiteral("<U>"), u"PKID", &st);
    EXPECT_EQ(st, DocumentStatus::NotLoaded);
}

TEST(ResultDocument, LeadingDigitConversion)
{
    struct Row {
        const char *text;
        int value;
    } rows[] = {{"42", 42},
                {"  \t-17abc", -17},
                {"+8", 8},
                {"abc", 0},
                {"", 0},
                {"3.9", 3},
                {"- 5", 0},
                {"99999999999", 2147483647},
                {"-99999999999", -2147483647 - 1},
                {"007", 7}};
    for (const Row &r : rows)
        EXPECT_EQ(leadingInt(QString::fromLatin1(r.text)), r.value) << r.text;
}

// The reader walks a deep document without recursion: a record nested just
// inside the parser's depth limit (4096 open elements) is read, and one
// beyond it is refused, not a crash.
TEST(ResultDocument, DeepNestingDoesNotExhaustTheStack)
{
    auto nested = [](int depth) {
        QString doc;
        for (int i = 0; i < depth; ++i)
            doc += QStringLiteral("<d>");
        doc += QStringLiteral("<User><PKID>5</PKID></User>");
        for (int i = 0; i < depth; ++i)
            doc += QStringLiteral("</d>");
        return doc;
    };
    const DocumentRecords inside = readRecords(nested(4000), kUserTag, 1, 18);
    ASSERT_EQ(inside.status, DocumentStatus::Ok);
    ASSERT_EQ(inside.records.size(), 1u);
    EXPECT_EQ(inside.records[0].at(0), QStringLiteral("5"));

    const DocumentRecords beyond = readRecords(nested(5000), kUserTag, 1, 18);
    EXPECT_EQ(beyond.status, DocumentStatus::NotLoaded);
    EXPECT_TRUE(beyond.records.empty());

    // Records nested in records share their text: a little nesting is read
    // as before, but a document cannot make the fields hold its text a
    // hundred times over.
    auto records = [](int depth, const QString &text) {
        QString doc;
        for (int i = 0; i < depth; ++i)
            doc += QStringLiteral("<User><f>");
        doc += text;
        for (int i = 0; i < depth; ++i)
            doc += QStringLiteral("</f></User>");
        return doc;
    };
    const DocumentRecords two = readRecords(records(2, QStringLiteral("xy")), kUserTag, 100, 1);
    ASSERT_EQ(two.status, DocumentStatus::Ok);
    ASSERT_EQ(two.records.size(), 2u);
    EXPECT_EQ(two.records[1].at(0), QStringLiteral("xy"));
    const DocumentRecords hundred = readRecords(records(100, QString(100000, u'x')), kUserTag, 100, 1);
    EXPECT_EQ(hundred.status, DocumentStatus::NotLoaded);
    EXPECT_TRUE(hundred.records.empty());
}
