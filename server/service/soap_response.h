// Writes the server's answers: the operation's response envelope, and SOAP
// 1.1 faults. Values are escaped with the same rules the client uses for
// requests, so every answer is 7-bit ASCII.
#pragma once

#include "operations.h"
#include "soap_types.h"

#include <QByteArray>
#include <QString>
#include <span>

namespace varnel {

namespace qs = quillora::service;

// `<?xml ...?>` + envelope + `<OpResponse xmlns="ns">` + the out-parameters in
// table order; `outValues` holds one value per out-parameter. Null strings are
// written as xsi:nil elements.
QByteArray writeResponse(const qs::OperationDescriptor &op, const QString &serviceNamespace,
                         std::span<const qs::SoapValue> outValues);

// A SOAP 1.1 fault: faultcode soap:<code>, faultstring `message`.
QByteArray writeFault(qs::FaultCode code, const QString &message);

// A small writer for the XML documents carried in string results: a root
// element, records, and fields written as child elements with escaped text.
class DocumentWriter {
  public:
    explicit DocumentWriter(const char *root);
    DocumentWriter &beginRecord(const char *tag);
    DocumentWriter &field(const char *name, const QString &text);
    DocumentWriter &field(const char *name, const std::string &utf8);
    DocumentWriter &field(const char *name, long long number);
    DocumentWriter &endRecord();
    QString finish();

  private:
    QByteArray m_out;
    QByteArray m_root;
    QByteArray m_record;
};

} // namespace varnel
