// The server's request reader against the reference reader on Qt's XML
// stream reader: the envelopes the client and other toolkits send, the
// refusals the wire tests pin, and many deterministic mutations of them.
#include "request_reader_diff.h"
#include "site_config.h"
#include "soap_writer.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <random>

namespace qs = quillora::service;
using varnel::testing::disagreement;

namespace {

const QString kNs = qs::serviceNamespace(QStringLiteral("127.0.0.1"));

std::string ns()
{
    return kNs.toStdString();
}

std::string envelope(const std::string &body, const std::string &head)
{
    return "<?xml version=\"1.0\" encoding=\"utf-8\"?>"
           "<soap:Envelope xmlns:soap=\"http://schemas.xmlsoap.org/soap/envelope/\" "
           "xmlns:xsi=\"http://www.w3.org/2001/XMLSchema-instance\">" +
           head + "<soap:Body>" + body + "</soap:Body></soap:Envelope>";
}

std::string header()
{
    const auto account = qs::compiledServiceAccount();
    return "<soap:Header><c:CredentialSoapHeader xmlns:c=\"" + ns() + "\"><c:Username>" +
           account.username.toStdString() + "</c:Username><c:Password>" + account.password.toStdString() +
           "</c:Password></c:CredentialSoapHeader></soap:Header>";
}

std::string op(const std::string &name, const std::string &params)
{
    return "<" + name + " xmlns=\"" + ns() + "\">" + params + "</" + name + ">";
}

// Every operation as the client writes it, with awkward values: markup
// characters, non-ASCII text, nil strings, extreme integers.
std::vector<QByteArray> clientEnvelopes()
{
    std::vector<QByteArray> out;
    const qs::CredentialHeader credential{qs::compiledServiceAccount().username, qs::compiledServiceAccount().password};
    const QString texts[] = {QStringLiteral("a<b>&c \"q\" 'a'"), QStringLiteral("\u4e2d\u6587 \U0001F600\r\nline"),
                             QString(), QStringLiteral("  padded  ")};
    const int numbers[] = {0, -1, 2147483647, -2147483647 - 1};
    for (int variant = 0; variant < 4; ++variant) {
        for (int i = 0; i < qs::kOperationCount; ++i) {
            const qs::OperationDescriptor &d = qs::operation(static_cast<qs::Op>(i));
            qs::SoapValues in;
            for (const qs::ParamDescriptor &p : d.params) {
                if (p.direction != qs::Direction::In)
                    continue;
                switch (p.type) {
                case qs::ParamType::String:
                    in.push_back(qs::SoapValue::ofString(texts[variant]));
                    break;
                case qs::ParamType::Int:
                    in.push_back(qs::SoapValue::ofInt(numbers[variant]));
                    break;
                case qs::ParamType::Boolean:
                    in.push_back(qs::SoapValue::ofBool(variant % 2 == 0));
                    break;
                }
            }
            out.push_back(qs::writeRequestEnvelope(d, kNs, credential, in));
        }
    }
    return out;
}

// Hand-written envelopes: other toolkits' habits and the wire tests' refusals.
std::vector<QByteArray> handWritten()
{
    const std::string users = "<pageSize>1</pageSize><pageIndex>1</pageIndex>";
    const std::vector<std::string> bodies = {
        envelope("<!-- hi --><v:GetUserListOnline xmlns:v=\"" + ns() +
                     "\">\n  <v:pageSize> 20 </v:pageSize>\n  <pageIndex>+1</pageIndex>\n</v:GetUserListOnline>",
                 header()),
        envelope(op("IsUserExistsByName", "<userName xsi:nil=\"true\"/>"), header()),
        envelope(op("IsUserExistsByName", "<userName><![CDATA[a<b]]>&amp;&#x4E2D;<!--c-->d<?pi x?></userName>"),
                 header()),
        envelope(op("IsUserExistsByName", "<userName xsi:nil=\"1\">  </userName>"), header()),
        envelope(op("IsUserExistsByName", "<userName xsi:nil=\"1\">x</userName>"), header()),
        envelope(op("IsUserExistsByName", "<userName xsi:nil=\"1\"><b/></userName>"), header()),
        envelope(op("IsUserExistsByName", "<userName>a\r\nb\rc</userName>"), header()),
        envelope(op("GetUserListOnline", users), ""),
        envelope(
            op("GetUserListOnline", users),
            "<soap:Header><c:CredentialSoapHeader xmlns:c=\"" + ns() +
                "\"><c:Username xsi:nil=\"1\"/><c:Password xsi:nil=\"1\"/></c:CredentialSoapHeader></soap:Header>"),
        envelope(op("GetUserListOnline", users),
                 "<soap:Header><c:CredentialSoapHeader xmlns:c=\"" + ns() +
                     "\"><c:Username>u</c:Username></c:CredentialSoapHeader></soap:Header>"),
        envelope(op("GetUserListOnline", users),
                 "<soap:Header><CredentialSoapHeader xmlns=\"urn:other\"/></soap:Header>"),
        envelope(op("GetUserListOnline", users), header() + header()),
        "",
        "hello",
        envelope(op("GetUserListOnline", users), header()).substr(0, 200),
        "<html><body/></html>",
        "<e:Envelope xmlns:e=\"http://www.w3.org/2003/05/soap-envelope\"><e:Body/></e:Envelope>",
        "<soap:Envelope xmlns:soap=\"http://schemas.xmlsoap.org/soap/envelope/\">" + header() + "</soap:Envelope>",
        envelope("", header()),
        envelope(op("DropAllTables", ""), header()),
        envelope(op("getuserlistonline", users), header()),
        envelope(op("GetUserListOnline", users) + op("GetUserListOnline", users), header()),
        envelope(op("GetUserListOnline", "<pageSize>12a</pageSize><pageIndex>1</pageIndex>"), header()),
        envelope(op("GetUserListOnline", "<pageSize>2147483648</pageSize><pageIndex>1</pageIndex>"), header()),
        envelope(op("GetUserListOnline", "<pageSize></pageSize><pageIndex>1</pageIndex>"), header()),
        envelope(op("GetUserListOnline", "<pageSize xsi:nil=\"1\"/><pageIndex>1</pageIndex>"), header()),
        envelope(op("GetUserListOnline", "<pageSize>1</pageSize>"), header()),
        envelope(op("GetUserListOnline", users + "<pageIndex>2</pageIndex>"), header()),
        envelope(op("GetUserListOnline", users + "<sortBy>name</sortBy>"), header()),
        envelope(op("GetUserListOnline", "<x:pageSize xmlns:x=\"urn:x\">1</x:pageSize><pageIndex>1</pageIndex>"),
                 header()),
        envelope(op("IsUserExistsByName", "<userName><b>x</b></userName>"), header()),
        "<!DOCTYPE x [<!ENTITY a \"aaaaaaaaaa\">]>" +
            envelope(op("IsUserExistsByName", "<userName>&a;</userName>"), header()),
        envelope(op("IsUserExistsByName", "<userName>&nbsp;</userName>"), header()),
        envelope(op("GetUserListOnline", users), header()) + "<more/>",
        envelope(op("GetUserListOnline", users), header()) + "<!-- after -->\n",
        envelope(op("GetUserListOnline", users), header()) + "text",
        envelope(op("GetUserListOnline", users),
                 header().substr(0, header().size() - 14) +
                     "<x:Tx xmlns:x=\"urn:tx\" soap:mustUnderstand=\"1\"/></soap:Header>"),
        envelope(op("GetUserListOnline", users),
                 header().substr(0, header().size() - 14) +
                     "<x:Tx xmlns:x=\"urn:tx\" soap:mustUnderstand=\"0\"><deep><er/></deep></x:Tx></soap:Header>"),
        envelope(op("GetUserListOnline", users) + "<soap:Header/>", header()),
        envelope("text" + op("GetUserListOnline", users), header()),
        envelope(op("SetUserOnline", "<userID>1</userID><ipAddress> 1.2.3.4 </ipAddress>"), header()),
        envelope(op("GetUserListOnline", "<pageSize> -0 </pageSize><pageIndex>\t+2147483647\n</pageIndex>"), header()),
        "\xEF\xBB\xBF" + envelope(op("GetUserListOnline", users), header()),
        "<?xml version=\"1.0\" encoding=\"ISO-8859-1\"?><soap:Envelope xmlns:soap=\"http://schemas.xmlsoap.org/soap/"
        "envelope/\">" +
            header() + "<soap:Body>" + op("IsUserExistsByName", "<userName>caf\xE9</userName>") +
            "</soap:Body></soap:Envelope>",
        envelope(op("IsUserExistsByName", "<userName>caf\xE9</userName>"), header()), // not UTF-8
    };
    std::vector<QByteArray> out;
    for (const std::string &b : bodies)
        out.push_back(QByteArray::fromStdString(b));
    return out;
}

// Small edits of the kind that break a reader's bookkeeping: bytes changed,
// dropped, doubled; markup pasted in; the body cut short.
QByteArray mutate(const QByteArray &in, std::mt19937 &random)
{
    static const char *const pieces[] = {"<",     ">",     "/>",         "</",         "&",
                                         "&amp;", "&#0;",  "&#x10FFFF;", "<![CDATA[",  "]]>",
                                         "<!--",  "-->",   "<?x?>",      "xmlns=\"\"", " xsi:nil=\"true\"",
                                         "\"",    "'",     ":",          "\r\n",       "\xC3",
                                         "\xFF",  "soap:", "<a>",        "</a>",       "\x00"};
    QByteArray out = in;
    const int edits = 1 + static_cast<int>(random() % 3);
    for (int e = 0; e < edits && !out.isEmpty(); ++e) {
        const auto at = static_cast<qsizetype>(random() % static_cast<unsigned>(out.size()));
        switch (random() % 5) {
        case 0:
            out[at] = static_cast<char>(random() % 256);
            break;
        case 1:
            out.remove(at, 1 + static_cast<qsizetype>(random() % 8));
            break;
        case 2:
            out.insert(at, out.mid(at, 1 + static_cast<qsizetype>(random() % 16)));
            break;
        case 3: {
            const char *piece = pieces[random() % std::size(pieces)];
            out.insert(at, QByteArray(piece, qMax<qsizetype>(1, static_cast<qsizetype>(std::strlen(piece)))));
            break;
        }
        default:
            out.truncate(at);
        }
    }
    return out;
}

TEST(RequestReader, WellFormedEnvelopesReadAlikeAndRefusalsCarryTheSameFaultCode)
{
    std::vector<QByteArray> seeds = clientEnvelopes();
    for (const QByteArray &b : handWritten())
        seeds.push_back(b);
    int accepted = 0;
    for (const QByteArray &body : seeds) {
        // Seeds are held to the strict rule: the server's reader may not call
        // any of them malformed where the reference reads a request.
        const auto ours = varnel::readSoapRequest(body, kNs);
        const auto reference = varnel::reference::readSoapRequest(body, kNs);
        EXPECT_EQ(ours.request.has_value(), reference.request.has_value())
            << body.toStdString() << "\nours: " << varnel::testing::describe(ours)
            << "\nreference: " << varnel::testing::describe(reference);
        const auto diff = disagreement(body, kNs);
        EXPECT_FALSE(diff) << body.toStdString() << '\n' << *diff;
        accepted += ours.request.has_value();
    }
    EXPECT_GE(accepted, 4 * qs::kOperationCount); // every client envelope is read
}

TEST(RequestReader, MutatedEnvelopesNeverReadDifferently)
{
    std::vector<QByteArray> seeds = clientEnvelopes();
    for (const QByteArray &b : handWritten())
        seeds.push_back(b);
    std::mt19937 random(20261208);
    int failures = 0;
    for (int round = 0; round < 20000 && failures < 5; ++round) {
        const QByteArray body = mutate(seeds[random() % seeds.size()], random);
        if (const auto diff = disagreement(body, kNs)) {
            ++failures;
            ADD_FAILURE() << "round " << round << ": " << body.toStdString() << '\n' << *diff;
        }
    }
}

TEST(RequestReader, StoredFuzzCorpusReadsAlike)
{
    const QDir corpus(QStringLiteral(QUILLORA_SOURCE_DIR "/fuzz/corpus/server_request"));
    const QStringList names = corpus.entryList(QDir::Files);
    ASSERT_FALSE(names.isEmpty());
    for (const QString &name : names) {
        QFile f(corpus.filePath(name));
        ASSERT_TRUE(f.open(QIODevice::ReadOnly));
        const QByteArray body = f.readAll();
        const auto diff = disagreement(body, kNs);
        EXPECT_FALSE(diff) << name.toStdString() << '\n' << *diff;
    }
}

} // namespace
