// Response and fault envelopes from a server, into the SOAP readers. The
// first byte picks the operation whose results are read.
#include "operations.h"
#include "soap_reader.h"

#include <cstddef>
#include <cstdint>

using namespace quillora::service;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size < 1)
        return 0;
    const auto ops = operations();
    const OperationDescriptor &op = ops[data[0] % ops.size()];
    const QByteArray body(reinterpret_cast<const char *>(data + 1), static_cast<qsizetype>(size - 1));
    SoapValues out;
    FaultRecord fault;
    if (readResponseEnvelope(body, op, out, fault)) {
        if (out.size() != static_cast<size_t>(op.outCount()))
            __builtin_trap();
    }
    readFaultEnvelope(body, fault);
    return 0;
}
