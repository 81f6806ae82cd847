// Writes the server's answers: the operation's response envelope, and SOAP
// 1.1 faults. Values are escaped with the same rules the client uses for
// requests, so every answer is 7-bit ASCII.
#pragma once

#include "operations.h"
#include "soap_types.h"

#include <QByteArray>
#include <QString>
#include <span>
#include <string>
#include <vector>

namespace varnel {

namespace qs = quillora::service;

// A result document as DocumentWriter wrote it: already in the escaped form
// it takes as a string value inside the envelope.
struct EscapedDocument {
    QByteArray escaped;
};

// One out-parameter as a handler gives it: a value, or a result document.
struct OutValue {
    OutValue(qs::SoapValue v) : value(std::move(v)) {}
    OutValue(EscapedDocument document) : value(qs::SoapValue::ofString(QString())), escaped(std::move(document.escaped))
    {
    }
    qs::SoapValue value;
    QByteArray escaped; // not null: a document, written as it is
};
using OutValues = std::vector<OutValue>;

// `<?xml ...?>` + envelope + `<OpResponse xmlns="ns">` + the out-parameters in
// table order; `outValues` holds one value per out-parameter. Null strings are
// written as xsi:nil elements.
QByteArray writeResponse(const qs::OperationDescriptor &op, const QString &serviceNamespace,
                         std::span<const OutValue> outValues);

// A SOAP 1.1 fault: faultcode soap:<code>, faultstring `message`.
QByteArray writeFault(qs::FaultCode code, const QString &message);

// `text` as XML character data in 7-bit ASCII: & < > as entities, anything
// outside printable ASCII as a hexadecimal character reference; the text
// ends at its first zero character.
void appendEscaped(QByteArray &out, QStringView text);

// A small writer for the XML documents carried in string results: a root
// element, records, and fields written as child elements with escaped text.
// The document is written once, straight into the form it takes inside the
// envelope (its markup and its escapes escaped once more).
class DocumentWriter {
  public:
    explicit DocumentWriter(const char *root);
    DocumentWriter &beginRecord(const char *tag);
    DocumentWriter &field(const char *name, const QString &text);
    DocumentWriter &field(const char *name, const std::string &utf8);
    DocumentWriter &field(const char *name, long long number);
    DocumentWriter &endRecord();
    EscapedDocument finish();

  private:
    void open(const char *name);
    void close(const char *name);

    QByteArray m_out;
    const char *m_root;
    const char *m_record = "";
};

} // namespace varnel
