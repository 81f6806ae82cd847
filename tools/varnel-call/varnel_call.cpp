#include "varnel_call.h"

#include "varnel_services.h"

#include <chrono>
#include <climits>
#include <cstdlib>
#include <map>

namespace quillora::tools {
using namespace quillora::service;

namespace {

const char *typeName(ParamType t)
{
    switch (t) {
    case ParamType::String:
        return "string";
    case ParamType::Int:
        return "int";
    case ParamType::Boolean:
        return "boolean";
    }
    return "?";
}

bool parseInt(const std::string &text, int &value)
{
    if (text.empty())
        return false;
    size_t i = text[0] == '-' || text[0] == '+' ? 1 : 0;
    if (i == text.size())
        return false;
    for (size_t j = i; j < text.size(); ++j)
        if (text[j] < '0' || text[j] > '9')
            return false;
    errno = 0;
    char *end = nullptr;
    const long long v = std::strtoll(text.c_str(), &end, 10);
    if (errno == ERANGE || v < INT_MIN || v > INT_MAX)
        return false;
    value = static_cast<int>(v);
    return true;
}

void printValue(std::FILE *out, std::string_view name, const SoapValue &v)
{
    std::string text;
    switch (v.type) {
    case ParamType::String:
        text = v.string.isNull() ? "(null)" : v.string.toStdString();
        break;
    case ParamType::Int:
        text = std::to_string(v.integer);
        break;
    case ParamType::Boolean:
        text = v.boolean ? "true" : "false";
        break;
    }
    std::fprintf(out, "%.*s: %s\n", static_cast<int>(name.size()), name.data(), text.c_str());
}

void printFailure(std::FILE *out, CVarnelServices &proxy)
{
    std::fprintf(out, "status: %d\n", proxy.callStatus());
    if (const std::string &tls = proxy.transport().tlsError(); !tls.empty())
        std::fprintf(out, "tls: %s\n", tls.c_str());
    const FaultRecord &f = proxy.lastFault();
    if (!f.codeText.isNull())
        std::fprintf(out, "faultcode: %s\n", f.codeText.toStdString().c_str());
    if (!f.faultString.isNull())
        std::fprintf(out, "faultstring: %s\n", f.faultString.toStdString().c_str());
    if (!f.faultActor.isNull())
        std::fprintf(out, "faultactor: %s\n", f.faultActor.toStdString().c_str());
    if (!f.detail.isNull())
        std::fprintf(out, "detail: %s\n", f.detail.toStdString().c_str());
}

// One proxy set up as the request says.
struct PreparedProxy {
    std::unique_ptr<CVarnelServices> proxy;
    bool ok = true;
};

PreparedProxy prepare(const CallRequest &req)
{
    PreparedProxy p;
    p.proxy = std::make_unique<CVarnelServices>();
    if (!req.endpoint.empty() && !p.proxy->setEndpoint(QString::fromStdString(req.endpoint)))
        p.ok = false;
    if (req.account)
        p.proxy->setCredentialHeader(
            req.op->id, {QString::fromStdString(req.account->first), QString::fromStdString(req.account->second)});
    else
        p.proxy->useServiceAccount(req.op->id);
    return p;
}

// Calls once; out receives one value per out-parameter.
CallResult callOnce(CVarnelServices &proxy, const CallRequest &req, SoapValues &out)
{
    out.clear();
    for (const ParamDescriptor &p : req.op->params)
        if (p.direction == Direction::Out)
            out.push_back(SoapValue::cleared(p.type));
    std::vector<OutRef> refs;
    for (SoapValue &v : out) {
        switch (v.type) {
        case ParamType::String:
            refs.push_back(OutRef::of(&v.string));
            break;
        case ParamType::Int:
            refs.push_back(OutRef::of(&v.integer));
            break;
        case ParamType::Boolean:
            refs.push_back(OutRef::of(&v.boolean));
            break;
        }
    }
    return proxy.call(req.op->id, req.in, refs);
}

} // namespace

std::string operationListing()
{
    std::string text;
    for (const OperationDescriptor &op : operations()) {
        text += op.name;
        text += "(";
        bool first = true;
        for (const ParamDescriptor &p : op.params) {
            if (p.direction != Direction::In)
                continue;
            text += first ? "" : ", ";
            text += std::string(p.name) + ": " + typeName(p.type);
            first = false;
        }
        text += ") -> (";
        first = true;
        for (const ParamDescriptor &p : op.params) {
            if (p.direction != Direction::Out)
                continue;
            text += first ? "" : ", ";
            text += std::string(p.name) + ": " + typeName(p.type);
            first = false;
        }
        text += ")\n";
    }
    return text;
}

std::string usageText()
{
    return "usage: varnel-call [--endpoint URL] [--account NAME:SECRET] [--repeat N] [--trace] OPERATION "
           "[name=value ...]\n"
           "       varnel-call --list | --help | --version\n"
           "Calls one VarnelServices operation and prints its results.\n"
           "  --endpoint URL         service address, http or https (default: the compiled-in site, or\n"
           "                         QUILLORA_SITE=[https://]host[:port]; QUILLORA_CA_FILE adds a trusted CA)\n"
           "  --account NAME:SECRET  service account sent in the credential header\n"
           "  --repeat N             call N times and print the mean time per call\n"
           "  --trace                print the request and response messages (credentials hidden)\n"
           "  --list                 list every operation with its parameters\n"
           "  --help                 show this text\n"
           "  --version              show the program's version\n";
}

std::optional<CallRequest> parseCallArguments(const std::vector<std::string> &args, std::string &error)
{
    CallRequest req;
    size_t i = 0;
    auto needValue = [&](const std::string &flag) -> std::optional<std::string> {
        if (i + 1 >= args.size()) {
            error = flag + " needs a value";
            return std::nullopt;
        }
        return args[++i];
    };
    for (; i < args.size(); ++i) {
        const std::string &a = args[i];
        if (a == "--help" || a == "-h") {
            req.help = true;
            return req;
        } else if (a == "--version") {
            req.version = true;
            return req;
        } else if (a == "--list") {
            req.list = true;
        } else if (a == "--trace") {
            req.trace = true;
        } else if (a == "--endpoint") {
            auto v = needValue(a);
            if (!v)
                return std::nullopt;
            req.endpoint = *v;
        } else if (a == "--account") {
            auto v = needValue(a);
            if (!v)
                return std::nullopt;
            const size_t colon = v->find(':');
            if (colon == std::string::npos) {
                error = "--account takes NAME:SECRET";
                return std::nullopt;
            }
            req.account = std::make_pair(v->substr(0, colon), v->substr(colon + 1));
        } else if (a == "--repeat") {
            auto v = needValue(a);
            if (!v)
                return std::nullopt;
            if (!parseInt(*v, req.repeat) || req.repeat < 1) {
                error = "--repeat takes a positive whole number";
                return std::nullopt;
            }
        } else if (a.rfind("--", 0) == 0) {
            error = "unknown option " + a;
            return std::nullopt;
        } else {
            break;
        }
    }
    if (req.list)
        return req;
    if (i >= args.size()) {
        error = "no operation given (try --list)";
        return std::nullopt;
    }
    req.op = findOperation(args[i]);
    if (!req.op) {
        error = "unknown operation " + args[i] + " (try --list)";
        return std::nullopt;
    }
    std::map<std::string, std::string> given;
    for (++i; i < args.size(); ++i) {
        const size_t eq = args[i].find('=');
        if (eq == std::string::npos) {
            error = "argument " + args[i] + " is not name=value";
            return std::nullopt;
        }
        const std::string name = args[i].substr(0, eq);
        bool known = false;
        for (const ParamDescriptor &p : req.op->params)
            known = known || (p.direction == Direction::In && p.name == name);
        if (!known) {
            error = "unknown parameter " + name + " of " + std::string(req.op->name);
            return std::nullopt;
        }
        if (given.count(name)) {
            error = "parameter " + name + " given twice";
            return std::nullopt;
        }
        given[name] = args[i].substr(eq + 1);
    }
    for (const ParamDescriptor &p : req.op->params) {
        if (p.direction != Direction::In)
            continue;
        const auto it = given.find(std::string(p.name));
        if (p.type == ParamType::String) {
            req.in.push_back(SoapValue::ofString(it == given.end() ? QString() : QString::fromStdString(it->second)));
            continue;
        }
        if (it == given.end()) {
            error = "missing int parameter " + std::string(p.name);
            return std::nullopt;
        }
        int v = 0;
        if (!parseInt(it->second, v)) {
            error = "parameter " + std::string(p.name) + " is not a 32-bit whole number: " + it->second;
            return std::nullopt;
        }
        req.in.push_back(SoapValue::ofInt(v));
    }
    return req;
}

namespace {

// Every byte each call sends and receives, on the error stream, credentials
// hidden. (Each request head is traced in one piece.)
void traceTo(CVarnelServices &proxy, std::FILE *err)
{
    proxy.transport().setTraceHook([err](bool outgoing, const char *data, qsizetype size) {
        const std::string shown = redactCredentials(std::string_view(data, static_cast<size_t>(size)));
        std::fprintf(err, "%s ", outgoing ? ">>" : "<<");
        std::fwrite(shown.data(), 1, shown.size(), err);
        std::fputc('\n', err);
    });
}

bool isCredentialHeader(std::string_view name)
{
    static constexpr std::string_view names[] = {"authorization", "proxy-authorization"};
    for (const std::string_view n : names) {
        if (name.size() == n.size() && std::equal(name.begin(), name.end(), n.begin(), [](char a, char b) {
                return (a >= 'A' && a <= 'Z' ? char(a - 'A' + 'a') : a) == b;
            }))
            return true;
    }
    return false;
}

} // namespace

std::string redactCredentials(std::string_view bytes)
{
    std::string out;
    out.reserve(bytes.size());
    while (!bytes.empty()) {
        const size_t eol = bytes.find('\n');
        std::string_view line = bytes.substr(0, eol == std::string_view::npos ? bytes.size() : eol + 1);
        bytes.remove_prefix(line.size());
        const size_t colon = line.find(':');
        if (colon == std::string_view::npos || !isCredentialHeader(line.substr(0, colon))) {
            out += line;
            continue;
        }
        std::string_view value = line.substr(colon + 1);
        const size_t start = value.find_first_not_of(" \t");
        value = start == std::string_view::npos ? std::string_view() : value.substr(start);
        const std::string_view scheme = value.substr(0, value.find_first_of(" \t\r\n"));
        out += line.substr(0, colon + 1);
        out += ' ';
        if (!scheme.empty()) {
            out += scheme;
            out += ' ';
        }
        out += "[redacted]";
        if (line.ends_with("\r\n"))
            out += "\r\n";
        else if (line.ends_with('\n'))
            out += '\n';
    }
    return out;
}

int runVarnelCall(const std::vector<std::string> &args, std::FILE *out, std::FILE *err)
{
    std::string error;
    const std::optional<CallRequest> req = parseCallArguments(args, error);
    if (!req) {
        std::fprintf(err, "varnel-call: %s\n", error.c_str());
        return 2;
    }
    if (req->help) {
        std::fputs(usageText().c_str(), out);
        return 0;
    }
    if (req->version) {
        std::fprintf(out, "varnel-call %s\n", qPrintable(service::programVersion()));
        return 0;
    }
    if (req->list) {
        std::fputs(operationListing().c_str(), out);
        return 0;
    }

    SoapValues values;
    if (req->repeat > 0) {
        using Clock = std::chrono::steady_clock;
        const auto start = Clock::now();
        for (int n = 0; n < req->repeat; ++n) {
            PreparedProxy p = prepare(*req);
            if (!p.ok) {
                std::fprintf(err, "varnel-call: endpoint %s is not an http or https URL with a host\n",
                             req->endpoint.c_str());
                return 2;
            }
            if (req->trace)
                traceTo(*p.proxy, err);
            if (!succeeded(callOnce(*p.proxy, *req, values))) {
                std::fprintf(out, "call %d of %d failed\n", n + 1, req->repeat);
                printFailure(out, *p.proxy);
                return 1;
            }
        }
        const double ms = std::chrono::duration<double, std::milli>(Clock::now() - start).count();
        std::fprintf(out, "%d calls, mean %.3f ms per call\n", req->repeat, ms / req->repeat);
        return 0;
    }

    PreparedProxy p = prepare(*req);
    if (!p.ok) {
        std::fprintf(err, "varnel-call: endpoint %s is not an http or https URL with a host\n", req->endpoint.c_str());
        return 2;
    }
    if (req->trace)
        traceTo(*p.proxy, err);
    if (!succeeded(callOnce(*p.proxy, *req, values))) {
        printFailure(out, *p.proxy);
        return 1;
    }
    size_t k = 0;
    for (const ParamDescriptor &prm : req->op->params)
        if (prm.direction == Direction::Out)
            printValue(out, prm.name, values[k++]);
    return 0;
}

} // namespace quillora::tools
