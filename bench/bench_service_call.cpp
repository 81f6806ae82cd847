// What one GetForumPostListByColumn call costs the client: the client-side
// work alone (write the envelope, parse a recorded response, read the 15
// rows), and the whole call made for real against a minimal loopback peer
// with a fresh proxy per call, as every call site does it.
#include "result_document.h"
#include "soap_reader.h"
#include "soap_writer.h"
#include "varnel_services.h"

#include <benchmark/benchmark.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <thread>

using namespace quillora::service;

namespace {

QByteArray recordedDocumentResponse()
{
    QString doc = QStringLiteral("<?xml version=\"1.0\" encoding=\"utf-8\"?><NewDataSet>");
    for (int i = 0; i < 15; ++i)
        doc += QStringLiteral("<ForumPosts><PKID>%1</PKID><Title>How do I make my laptop fan quieter when "
                              "compiling? (question %1)</Title><UserName>member%1</UserName><Point>%2</Point>"
                              "<ReplyCount>%3</ReplyCount><PostDate>2026-12-0%4 14:05</PostDate>"
                              "<ForumColumnID>12</ForumColumnID><State>0</State></ForumPosts>")
                   .arg(1000 + i)
                   .arg(40 + 10 * i)
                   .arg(i % 4)
                   .arg(1 + i % 8);
    doc += QStringLiteral("</NewDataSet>");
    QByteArray escaped;
    appendEscapedText(escaped, doc);
    return "<?xml version=\"1.0\" encoding=\"utf-8\"?><soap:Envelope "
           "xmlns:soap=\"http://schemas.xmlsoap.org/soap/envelope/\" "
           "xmlns:xsi=\"http://www.w3.org/2001/XMLSchema-instance\" xmlns:xsd=\"http://www.w3.org/2001/XMLSchema\">"
           "<soap:Body><GetForumPostListByColumnResponse xmlns=\"http://127.0.0.1/Services/VarnelServices\">"
           "<GetForumPostListByColumnResult>" +
           escaped +
           "</GetForumPostListByColumnResult><totalCount>47</totalCount></GetForumPostListByColumnResponse>"
           "</soap:Body></soap:Envelope>";
}

int readRows(const QString &document)
{
    const DocumentRecords d = readRecords(document, kForumPostsTag, 1000, kPostListFields);
    int sum = 0;
    for (const DocumentRecord &r : d.records) {
        int id = 0, points = 0;
        QString title;
        takeField(r, 0, id);
        takeField(r, 1, title);
        takeField(r, 3, points);
        sum += id + points + static_cast<int>(title.size());
    }
    return sum;
}

void BM_ClientSideWork(benchmark::State &state)
{
    const QByteArray response = recordedDocumentResponse();
    const OperationDescriptor &op = operation(Op::GetForumPostListByColumn);
    const QString ns = serviceNamespace(QStringLiteral("127.0.0.1"));
    const CredentialHeader header{compiledServiceAccount().username, compiledServiceAccount().password};
    for (auto _ : state) {
        const SoapValue in[] = {SoapValue::ofInt(12), SoapValue::ofInt(15), SoapValue::ofInt(1)};
        QByteArray envelope = writeRequestEnvelope(op, ns, header, in);
        benchmark::DoNotOptimize(envelope);
        SoapValues out;
        FaultRecord fault;
        if (!readResponseEnvelope(response, op, out, fault))
            state.SkipWithError("parse failed");
        benchmark::DoNotOptimize(readRows(out[0].string));
    }
    state.counters["response_bytes"] = static_cast<double>(response.size());
}
BENCHMARK(BM_ClientSideWork)->Unit(benchmark::kMicrosecond);

// The three parts of the client-side work on their own.
void BM_WriteEnvelope(benchmark::State &state)
{
    const OperationDescriptor &op = operation(Op::GetForumPostListByColumn);
    const QString ns = serviceNamespace(QStringLiteral("127.0.0.1"));
    const CredentialHeader header{compiledServiceAccount().username, compiledServiceAccount().password};
    const SoapValue in[] = {SoapValue::ofInt(12), SoapValue::ofInt(15), SoapValue::ofInt(1)};
    for (auto _ : state)
        benchmark::DoNotOptimize(writeRequestEnvelope(op, ns, header, in));
}
BENCHMARK(BM_WriteEnvelope)->Unit(benchmark::kMicrosecond);

void BM_ParseResponse(benchmark::State &state)
{
    const QByteArray response = recordedDocumentResponse();
    const OperationDescriptor &op = operation(Op::GetForumPostListByColumn);
    for (auto _ : state) {
        SoapValues out;
        FaultRecord fault;
        benchmark::DoNotOptimize(readResponseEnvelope(response, op, out, fault));
    }
}
BENCHMARK(BM_ParseResponse)->Unit(benchmark::kMicrosecond);

void BM_ReadRows(benchmark::State &state)
{
    SoapValues out;
    FaultRecord fault;
    readResponseEnvelope(recordedDocumentResponse(), operation(Op::GetForumPostListByColumn), out, fault);
    for (auto _ : state)
        benchmark::DoNotOptimize(readRows(out[0].string));
}
BENCHMARK(BM_ReadRows)->Unit(benchmark::kMicrosecond);

// Accepts connections and answers every request on them with the same bytes.
class MinimalPeer {
  public:
    explicit MinimalPeer(QByteArray body)
    {
        m_reply = "HTTP/1.1 200 OK\r\nContent-Type: text/xml; charset=utf-8\r\nContent-Length: " +
                  QByteArray::number(body.size()) + "\r\n\r\n" + body;
        m_fd = ::socket(AF_INET, SOCK_STREAM, 0);
        int one = 1;
        ::setsockopt(m_fd, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        ::bind(m_fd, reinterpret_cast<sockaddr *>(&a), sizeof a);
        ::listen(m_fd, 64);
        socklen_t len = sizeof a;
        ::getsockname(m_fd, reinterpret_cast<sockaddr *>(&a), &len);
        m_port = ntohs(a.sin_port);
        m_thread = std::thread([this] { run(); });
    }
    ~MinimalPeer()
    {
        m_stop = true;
        ::shutdown(m_fd, SHUT_RDWR);
        ::close(m_fd);
        m_thread.join();
    }
    int port() const { return m_port; }

  private:
    void run()
    {
        while (!m_stop) {
            const int c = ::accept(m_fd, nullptr, nullptr);
            if (c < 0)
                continue;
            serve(c);
            ::close(c);
        }
    }
    void serve(int c)
    {
        QByteArray buf;
        char chunk[8192];
        for (;;) {
            const qsizetype headEnd = buf.indexOf("\r\n\r\n");
            if (headEnd >= 0) {
                const qsizetype cl = buf.indexOf("Content-Length: ");
                const qsizetype need = headEnd + 4 + buf.mid(cl + 16, buf.indexOf('\r', cl) - cl - 16).toInt();
                if (buf.size() >= need) {
                    buf.remove(0, need);
                    if (::send(c, m_reply.constData(), static_cast<size_t>(m_reply.size()), MSG_NOSIGNAL) < 0)
                        return;
                    continue;
                }
            }
            const ssize_t n = ::recv(c, chunk, sizeof chunk, 0);
            if (n <= 0)
                return;
            buf.append(chunk, n);
        }
    }

    QByteArray m_reply;
    int m_fd = -1;
    int m_port = 0;
    std::atomic<bool> m_stop{false};
    std::thread m_thread;
};

void BM_LoopbackCall(benchmark::State &state)
{
    MinimalPeer peer(recordedDocumentResponse());
    const SiteAddress site{QStringLiteral("127.0.0.1"), static_cast<quint16>(peer.port())};
    for (auto _ : state) {
        CVarnelServices proxy(site);
        proxy.useServiceAccount(Op::GetForumPostListByColumn);
        QString doc;
        int total = 0;
        if (!succeeded(proxy.GetForumPostListByColumn(12, 15, 1, &doc, &total)))
            state.SkipWithError("call failed");
        benchmark::DoNotOptimize(readRows(doc));
    }
}
BENCHMARK(BM_LoopbackCall)->Unit(benchmark::kMicrosecond)->UseRealTime();

} // namespace

BENCHMARK_MAIN();
