// Reads SOAP 1.1 responses: the 200 response envelope into out-parameters,
// and the 500 fault envelope into a fault record.
#pragma once

#include "soap_types.h"

#include <QByteArray>

namespace quillora::service {

// Parses a 200 response for `op`. `out` is resized to op.outCount() and every
// value starts cleared. Returns false when the envelope breaks a rule; a
// mustUnderstand header also sets fault.code to MustUnderstand.
bool readResponseEnvelope(const QByteArray &body, const OperationDescriptor &op, SoapValues &out, FaultRecord &fault);

// Parses a 500 response body as a SOAP fault. Returns false when it is unreadable.
bool readFaultEnvelope(const QByteArray &body, FaultRecord &fault);

} // namespace quillora::service
