// Writes SOAP 1.1 document/literal request envelopes, byte for byte: no XML
// declaration, no whitespace, pure 7-bit ASCII output.
#pragma once

#include "soap_types.h"

#include <QByteArray>
#include <QStringView>
#include <span>

namespace quillora::service {

// Appends text escaped for element content: & < > as entities, printable ASCII
// as itself, surrogate pairs as &#x%06X; and every other code unit as &#x%04X;.
// The text ends at its first zero character.
void appendEscapedText(QByteArray &out, QStringView text);

// Appends one parameter element: <name xsi:nil="1"/> for a null string,
// otherwise <name>value</name>.
void appendValueElement(QByteArray &out, std::string_view name, const SoapValue &value);

// The request for `op`: inValues holds one value per in-parameter, in order.
QByteArray writeRequestEnvelope(const OperationDescriptor &op, const QString &serviceNs, const CredentialHeader &header,
                                std::span<const SoapValue> inValues);

} // namespace quillora::service
