// Reads a SOAP 1.1 request envelope as the server receives it: the credential
// header, the operation (found by the body's wrapper element in the operation
// table) and its in-parameters, checked against their declared types.
#pragma once

#include "operations.h"
#include "soap_types.h"

#include <QByteArray>
#include <QString>
#include <optional>

namespace varnel {

namespace qs = quillora::service;

struct SoapRequest {
    const qs::OperationDescriptor *operation = nullptr;
    // Present when the envelope carried a CredentialSoapHeader in the service namespace.
    std::optional<qs::CredentialHeader> credential;
    qs::SoapValues inValues; // one per in-parameter, in table order
};

struct RequestFault {
    qs::FaultCode code = qs::FaultCode::Client; // Client, VersionMismatch or MustUnderstand
    QString message;
    // The wrapper's name when the fault arose after the operation was known.
    QString operationName;
};

struct RequestReadResult {
    std::optional<SoapRequest> request;
    RequestFault fault; // meaningful when request is empty
};

// `serviceNamespace` is the namespace that the wrapper and the credential
// header must carry. Never throws; any input gives a request or a fault.
RequestReadResult readSoapRequest(const QByteArray &body, const QString &serviceNamespace);

// Strict xsd:int: optional surrounding white space, an optional sign, digits,
// within the signed 32-bit range.
std::optional<int> parseStrictInt(QStringView text);

} // namespace varnel
