// A second, independent reader of SOAP request envelopes, on Qt's XML stream
// reader, with the same rules as the server's: the yardstick for the
// server's reader in differential tests and fuzzing.
#pragma once

#include "soap_request.h"

namespace varnel::reference {

RequestReadResult readSoapRequest(const QByteArray &body, const QString &serviceNamespace);

} // namespace varnel::reference
