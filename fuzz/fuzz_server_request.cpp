// Request bodies from the network, into varnel-server's SOAP request reader,
// and, when one reads as a request, through the whole endpoint: service
// account check, handler, store and response writer.
#include "soap_request.h"
#include "soap_response.h"
#include "sqlite_community_store.h"
#include "varnel_service.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <memory>

namespace {

const QString kHost = QStringLiteral("127.0.0.1");

varnel::VarnelService &service()
{
    static std::unique_ptr<varnel::SqliteCommunityStore> store = [] {
        std::string dir = (std::filesystem::temp_directory_path() / "fuzz-server-XXXXXX").string();
        if (!mkdtemp(dir.data()))
            std::abort();
        varnel::CommunitySettings settings;
        settings.durable = false; // speed: nothing here needs to survive a crash
        std::string error;
        auto s = varnel::SqliteCommunityStore::open(dir + "/fuzz.db", settings, error);
        if (!s)
            std::abort();
        varnel::NewMember m;
        m.userName = "fuzz";
        m.password = "fuzz";
        s->createMember(m);
        return s;
    }();
    static varnel::VarnelService svc(*store, {kHost, quillora::service::compiledServiceAccount(), "/nonexistent"});
    return svc;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArray body(reinterpret_cast<const char *>(data), static_cast<qsizetype>(size));
    const varnel::RequestReadResult read = varnel::readSoapRequest(body, quillora::service::serviceNamespace(kHost));
    if (read.request) {
        const auto &request = *read.request;
        if (!request.operation || request.inValues.size() != static_cast<size_t>(request.operation->inCount()))
            __builtin_trap();
    } else if (read.fault.message.isEmpty()) {
        __builtin_trap(); // every refusal explains itself
    }
    const varnel::ServiceAnswer answer = service().handle(body);
    if ((answer.httpStatus != 200 && answer.httpStatus != 500) || answer.body.isEmpty())
        __builtin_trap();
    return 0;
}
