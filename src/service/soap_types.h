// Values carried by SOAP messages, and the fault record of a call.
#pragma once

#include "operations.h"

#include <QString>
#include <vector>

namespace quillora::service {

struct SoapValue {
    ParamType type = ParamType::String;
    QString string; // a null QString is sent and received as xsi:nil
    int integer = 0;
    bool boolean = false;

    static SoapValue ofString(const QString &s) { return {ParamType::String, s, 0, false}; }
    static SoapValue ofInt(int i) { return {ParamType::Int, QString(), i, false}; }
    static SoapValue ofBool(bool b) { return {ParamType::Boolean, QString(), 0, b}; }
    // The cleared value of a result: null string, 0, false.
    static SoapValue cleared(ParamType t) { return {t, QString(), 0, false}; }
};

using SoapValues = std::vector<SoapValue>;

enum class FaultCode { None, VersionMismatch, MustUnderstand, Client, Server };

struct FaultRecord {
    FaultCode code = FaultCode::None;
    QString codeText;    // faultcode as received, prefix included
    QString faultString;
    QString faultActor;
    QString detail;
};

struct CredentialHeader {
    QString username; // null until set: sent as nil
    QString password;
};

} // namespace quillora::service
