// The answer writer writes result documents straight into their escaped form
// in one buffer; the bytes must be those of writing the document first and
// escaping it as a string value afterwards, which is what clients have always
// been sent.
#include "soap_response.h"
#include "soap_writer.h"

#include <gtest/gtest.h>

#include <random>

namespace qs = quillora::service;

namespace {

// The document as plain XML, then escaped as the string value of the
// envelope: the two-step way.
struct TwoStepDocument {
    QByteArray raw = "<Rows>";
    void field(const char *name, const QString &text)
    {
        raw.append('<').append(name).append('>');
        qs::appendEscapedText(raw, text);
        raw.append("</").append(name).append('>');
    }
    QString finish() { return QString::fromLatin1(raw + "</Rows>"); }
};

QByteArray twoStepResponse(const qs::OperationDescriptor &op, const QString &ns, const qs::SoapValues &out)
{
    QByteArray body = "<?xml version=\"1.0\" encoding=\"utf-8\"?><soap:Envelope "
                      "xmlns:soap=\"http://schemas.xmlsoap.org/soap/envelope/\" "
                      "xmlns:xsi=\"http://www.w3.org/2001/XMLSchema-instance\" "
                      "xmlns:xsd=\"http://www.w3.org/2001/XMLSchema\"><soap:Body><";
    const std::string response = op.responseName();
    body.append(response.data(), static_cast<qsizetype>(response.size())).append(" xmlns=\"");
    QByteArray escapedNs;
    qs::appendEscapedText(escapedNs, ns);
    body.append(escapedNs.replace("\"", "&quot;")).append("\">");
    size_t next = 0;
    for (const qs::ParamDescriptor &p : op.params) {
        if (p.direction != qs::Direction::Out)
            continue;
        qs::SoapValue value = next < out.size() ? out[next] : qs::SoapValue::cleared(p.type);
        ++next;
        value.type = p.type;
        qs::appendValueElement(body, p.name, value);
    }
    body.append("</").append(response.data(), static_cast<qsizetype>(response.size()));
    return body.append("></soap:Body></soap:Envelope>");
}

// Text with everything that is escaped differently: markup characters,
// controls, a zero character, non-ASCII, surrogate pairs and lone halves.
QString awkwardText(std::mt19937 &random)
{
    static const char16_t pool[] = {u'a', u'Z', u' ', u'&',   u'<',   u'>',   u'"',   u'\'', u'\n', u'\r', u'\t',
                                    0x01, 0x7f, 0xe9, 0x4e2d, 0xfffd, 0xd83d, 0xde00, 0,     u';',  u'#',  u'x'};
    QString text;
    const int length = static_cast<int>(random() % 24);
    for (int i = 0; i < length; ++i)
        text.append(QChar(pool[random() % std::size(pool)]));
    return text;
}

TEST(AnswerWriter, DocumentsAndValuesAreWrittenAsTheTwoStepWriterWroteThem)
{
    const QString ns = QStringLiteral("http://127.0.0.1/Services/Varnel\"Services&");
    const qs::OperationDescriptor &list = qs::operation(qs::Op::GetForumPostListByColumn);
    std::mt19937 random(7);
    for (int round = 0; round < 300; ++round) {
        varnel::DocumentWriter doc("Rows");
        TwoStepDocument reference;
        const int fields = static_cast<int>(random() % 6);
        doc.beginRecord("Row");
        reference.raw.append("<Row>");
        for (int f = 0; f < fields; ++f) {
            const QString text = awkwardText(random);
            switch (random() % 3) {
            case 0:
                doc.field("T", text);
                reference.field("T", text);
                break;
            case 1: { // the store's UTF-8 strings
                const std::string utf8 = text.toStdString();
                doc.field("U", utf8);
                reference.field("U", QString::fromStdString(utf8));
                break;
            }
            default: {
                const long long n = static_cast<long long>(random()) - (1LL << 31);
                doc.field("N", n);
                reference.field("N", QString::number(n));
            }
            }
        }
        doc.endRecord();
        reference.raw.append("</Row>");
        const int total = static_cast<int>(static_cast<long long>(random()) - (1LL << 31));
        const QByteArray ours =
            varnel::writeResponse(list, ns, varnel::OutValues{doc.finish(), qs::SoapValue::ofInt(total)});
        const QByteArray expected =
            twoStepResponse(list, ns, {qs::SoapValue::ofString(reference.finish()), qs::SoapValue::ofInt(total)});
        ASSERT_EQ(ours, expected) << "round " << round;
    }

    // Plain values: a string (null is nil), a boolean, an int, and values
    // the handler left out.
    const qs::OperationDescriptor &post = qs::operation(qs::Op::CreatForumPost);
    EXPECT_EQ(varnel::writeResponse(post, ns, varnel::OutValues{qs::SoapValue::ofBool(true), qs::SoapValue::ofInt(-7)}),
              twoStepResponse(post, ns, {qs::SoapValue::ofBool(true), qs::SoapValue::ofInt(-7)}));
    EXPECT_EQ(varnel::writeResponse(post, ns, {}), twoStepResponse(post, ns, {}));
    const qs::OperationDescriptor &user = qs::operation(qs::Op::GetUserByUserName);
    for (const QString &s : {QString(), QString(QLatin1String("")), awkwardText(random), awkwardText(random)})
        EXPECT_EQ(varnel::writeResponse(user, ns, varnel::OutValues{qs::SoapValue::ofString(s)}),
                  twoStepResponse(user, ns, {qs::SoapValue::ofString(s)}));
    EXPECT_EQ(varnel::writeResponse(user, ns, {}), twoStepResponse(user, ns, {}));
}

TEST(AnswerWriter, FaultTextIsEscapedLikeAnyValue)
{
    std::mt19937 random(11);
    for (int i = 0; i < 200; ++i) {
        const QString text = awkwardText(random);
        QByteArray ours;
        QByteArray reference;
        varnel::appendEscaped(ours, text);
        qs::appendEscapedText(reference, text);
        ASSERT_EQ(ours, reference) << i;
    }
}

} // namespace
